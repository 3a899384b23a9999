#include "handoff/installer_command.h"

#include <cstdio>

#include "platform/platform.h"

namespace {

struct CommandWriter {
    char* command;
    uint32_t length;
    bool fits;
};

// Appends one piece with the bounded formatter; remembers a piece that did
// not fit rather than keeping a cut one.
void Append(CommandWriter& writer, const char* plain, const char* quoted, const char* value) {
    if (!writer.fits) return;
    bool hasSpace = PlatformFindChar(value, ' ') != nullptr;
    uint32_t room = kInstallerCommandSize - writer.length;
    int written = std::snprintf(writer.command + writer.length, room, hasSpace ? quoted : plain, value);
    if (written < 0 || static_cast<uint32_t>(written) >= room) {
        writer.fits = false;
        return;
    }
    writer.length += static_cast<uint32_t>(written);
}

// The argument in the ANSI code page, in a zero-filled local-heap buffer;
// null when a character has no exact counterpart there or memory runs out.
char* ArgumentAsAnsi(const char16_t* argument) {
    int units = 0;
    while (argument[units]) ++units;
    int bytes = units ? PlatformUtf16ToAnsi(argument, units, nullptr, 0) : 0;
    if (bytes < 0) return nullptr;
    auto* text = static_cast<char*>(PlatformAlloc(kMemZeroInit, static_cast<size_t>(bytes) + 1));
    if (text && bytes) PlatformUtf16ToAnsi(argument, units, text, bytes);
    return text;
}

}  // namespace

bool BuildInstallerCommand(char* command, const char* installerPath, const char* packagePath,
                           char16_t* const* arguments, int32_t argumentCount) {
    CommandWriter writer = {command, 0, true};
    command[0] = 0;
    Append(writer, "%s", "\"%s\"", installerPath);
    Append(writer, " /i %s", " /i \"%s\"", packagePath);
    for (int32_t i = 1; i < argumentCount; ++i) {
        // An argument that cannot be converted exactly is refused like one
        // that does not fit: best-fit mapping would turn a full-width
        // quotation mark into a real one and add switches, and leaving the
        // argument out would install other than asked.
        char* argument = ArgumentAsAnsi(arguments[i]);
        if (!argument) {
            writer.fits = false;
            break;
        }
        Append(writer, " %s", " \"%s\"", argument);
        PlatformFree(argument);
    }
    if (!writer.fits) command[0] = 0;
    return writer.fits;
}
