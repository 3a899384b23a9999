#include "commands/msi_arguments.h"

#include <filesystem>

#include "files/pack_error.h"

namespace fs = std::filesystem;

namespace {
bool IsLanguageList(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c != ';' && c != ',' && (c < '0' || c > '9')) return false;
    return true;
}

// A file that exists under the whole argument is taken as it is, so a path
// that happens to end in ":1031" still names its file; a drive letter ("C:")
// is never mistaken for a path followed by languages.
MsiArgument SplitMsiArgument(const std::string& argument) {
    std::error_code error;
    size_t colon = argument.rfind(':');
    if (colon == std::string::npos || colon < 2 || fs::exists(argument, error) ||
        !IsLanguageList(argument.substr(colon + 1)))
        return {argument, std::nullopt};
    std::string languages = argument.substr(colon + 1);
    for (char& c : languages)
        if (c == ',') c = ';';
    return {argument.substr(0, colon), languages};
}
}  // namespace

std::vector<MsiArgument> ResolveMsiArguments(const std::vector<std::string>& arguments,
                                             const std::vector<std::string>& languagesOptions) {
    if (languagesOptions.size() > 1 && languagesOptions.size() != arguments.size())
        throw UsageError("--languages is given " + std::to_string(languagesOptions.size()) + " times for " +
                         std::to_string(arguments.size()) +
                         " MSI packages; give it once for all of them, once per MSI in their order, or write "
                         "PATH:LANGUAGES (e.g. de/product.msi:1031)");
    std::vector<MsiArgument> resolved;
    for (size_t i = 0; i < arguments.size(); ++i) {
        MsiArgument argument = SplitMsiArgument(arguments[i]);
        if (!argument.languages && !languagesOptions.empty())
            argument.languages = languagesOptions[languagesOptions.size() == 1 ? 0 : i];
        resolved.push_back(argument);
    }
    return resolved;
}
