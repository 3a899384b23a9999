// The pass phrase of an encrypted private key, from an environment variable
// or a file, so that packing runs in CI: the tool never prompts for it.
#pragma once

#include <optional>
#include <string>

struct PassphraseSource {
    std::string environmentVariable;  // --key-passphrase-env NAME
    std::string filePath;             // --key-passphrase-file PATH
};

// None when neither is given. Throws UsageError when both are, PackError when
// the variable is unset or the file unreadable. A file's pass phrase is its
// first line, without the line end that editors add.
std::optional<std::string> ReadKeyPassphrase(const PassphraseSource& source);
