// A refusal or failure of the packing tool. It carries the one message that
// the user sees; the command-line shell prints it and exits with the code of
// its kind, so scripts can tell a mistyped command from a refused input and
// from a setup that does not verify.
#pragma once

#include <stdexcept>
#include <string>

class PackError : public std::runtime_error {
public:
    explicit PackError(const std::string& message) : std::runtime_error(message) {}
};

// Options that contradict each other or do not fit the command (exit code 1).
class UsageError : public PackError {
public:
    explicit UsageError(const std::string& message) : PackError(message) {}
};

// The setup was read, and an entry in it does not verify (exit code 3).
class VerificationError : public PackError {
public:
    explicit VerificationError(const std::string& message) : PackError(message) {}
};
