#include "handoff/installer_command.h"

namespace {

struct CommandWriter {
    char16_t* command;
    uint32_t length;
    bool fits;
};

uint32_t LengthOf(const char16_t* text) {
    uint32_t length = 0;
    while (text[length]) ++length;
    return length;
}

bool HasSpace(const char16_t* text) {
    for (; *text; ++text)
        if (*text == u' ') return true;
    return false;
}

void AppendText(CommandWriter& writer, const char16_t* text, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) writer.command[writer.length++] = text[i];
}

// Appends `lead`, then the value, in double quotes when it holds a space;
// remembers a piece that did not fit rather than keeping a cut one.
void Append(CommandWriter& writer, const char16_t* lead, const char16_t* value) {
    if (!writer.fits) return;
    bool quoted = HasSpace(value);
    uint32_t leadLength = LengthOf(lead);
    uint32_t valueLength = LengthOf(value);
    uint32_t pieceLength = leadLength + valueLength + (quoted ? 2 : 0);
    if (pieceLength >= kInstallerCommandSize - writer.length) {  // the terminator needs a unit
        writer.fits = false;
        return;
    }
    AppendText(writer, lead, leadLength);
    if (quoted) AppendText(writer, u"\"", 1);
    AppendText(writer, value, valueLength);
    if (quoted) AppendText(writer, u"\"", 1);
    writer.command[writer.length] = 0;
}

}  // namespace

bool BuildInstallerCommand(char16_t* command, const char16_t* installerPath, const char16_t* packagePath,
                           char16_t* const* arguments, int32_t argumentCount) {
    CommandWriter writer = {command, 0, true};
    command[0] = 0;
    Append(writer, u"", installerPath);
    Append(writer, u" /i ", packagePath);
    for (int32_t i = 1; i < argumentCount; ++i) Append(writer, u" ", arguments[i]);
    if (!writer.fits) command[0] = 0;
    return writer.fits;
}
