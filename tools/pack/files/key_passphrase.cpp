#include "files/key_passphrase.h"

#include <cstdlib>

#include "files/byte_files.h"
#include "files/pack_error.h"

std::optional<std::string> ReadKeyPassphrase(const PassphraseSource& source) {
    if (!source.environmentVariable.empty() && !source.filePath.empty())
        throw UsageError("give the key's pass phrase either with --key-passphrase-env or with --key-passphrase-file");
    if (!source.environmentVariable.empty()) {
        const char* value = std::getenv(source.environmentVariable.c_str());
        if (!value)
            throw PackError("the environment variable " + source.environmentVariable +
                            " named by --key-passphrase-env is not set");
        return std::string(value);
    }
    if (source.filePath.empty()) return std::nullopt;
    Bytes bytes = ReadFileBytes(source.filePath, "pass phrase");
    std::string text(bytes.begin(), bytes.end());
    text = text.substr(0, text.find('\n'));
    if (!text.empty() && text.back() == '\r') text.pop_back();
    return text;
}
