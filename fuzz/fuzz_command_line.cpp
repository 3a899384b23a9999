// Command-line splitting, the quiet-switch scan and the installer's command
// line built from the split arguments. The input is the line's UTF-16 code
// units (little-endian pairs); a 0 unit ends the line as it would in memory.
#include <cstdint>

#include "fuzz_check.h"
#include "handoff/installer_command.h"
#include "launcher/command_line.h"
#include "platform/platform.h"

namespace {

size_t UnitLength(const char16_t* text) {
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}

void CheckArguments(char16_t** arguments, int32_t count, size_t lineUnits) {
    FUZZ_CHECK(count >= 0);
    FUZZ_CHECK(static_cast<size_t>(count) <= (lineUnits + 2) / 2);
    FUZZ_CHECK(arguments[count] == nullptr);
    size_t units = 0;
    for (int32_t i = 0; i < count; ++i) {
        FUZZ_CHECK(arguments[i] != nullptr);
        size_t length = UnitLength(arguments[i]);
        // Double quotes only switch quoting; they never reach an argument.
        for (size_t k = 0; k < length; ++k) FUZZ_CHECK(arguments[i][k] != u'"');
        if (i > 0) FUZZ_CHECK(arguments[i] > arguments[i - 1]);
        units += length + 1;
    }
    // The arguments and their terminators come from the line's own units.
    FUZZ_CHECK(units <= lineUnits + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t units = size / 2;
    auto* line = static_cast<char16_t*>(PlatformAlloc(kMemFixed, (units + 1) * sizeof(char16_t)));
    if (!line) return 0;
    for (size_t i = 0; i < units; ++i)
        line[i] = static_cast<char16_t>(data[2 * i] | (static_cast<unsigned>(data[2 * i + 1]) << 8));
    line[units] = 0;

    int32_t count = -1;
    char16_t** arguments = SplitCommandLine(line, &count);
    FUZZ_CHECK(arguments != nullptr);
    CheckArguments(arguments, count, UnitLength(line));

    bool anyQuiet = false;
    for (int32_t i = 1; i < count; ++i) anyQuiet = IsQuietSwitch(arguments[i]) || anyQuiet;
    FUZZ_CHECK(HasQuietSwitch(arguments, count) == anyQuiet);
    if (count > 0) IsQuietSwitch(arguments[0]);

    char16_t command[kInstallerCommandSize];
    for (char16_t& unit : command) unit = u'\x5555';
    bool built = BuildInstallerCommand(command, u"C:\\Windows\\system32\\msiexec.exe",
                                       u"C:\\Windows\\Installer\\{11111111-2222-3333-4444-"
                                       u"555555555555}\\main.msi",
                                       arguments, count);
    size_t commandLength = 0;
    while (commandLength < kInstallerCommandSize && command[commandLength]) ++commandLength;
    FUZZ_CHECK(commandLength < kInstallerCommandSize);
    FUZZ_CHECK(built ? commandLength > 0 : commandLength == 0);
    // Every argument goes through whole: the line holds at least its units.
    if (built)
        for (int32_t i = 1; i < count; ++i) FUZZ_CHECK(commandLength >= UnitLength(arguments[i]));

    PlatformFree(arguments);
    PlatformFree(line);
    return 0;
}
