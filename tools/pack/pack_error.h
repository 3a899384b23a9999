// A refusal or failure of the packing tool. It carries the one message that
// the user sees; the command-line shell prints it and exits with code 2.
#pragma once

#include <stdexcept>
#include <string>

class PackError : public std::runtime_error {
public:
    explicit PackError(const std::string& message) : std::runtime_error(message) {}
};
