// The installer's command line, built piece by piece.
#pragma once

#include <cstdint>

constexpr uint32_t kInstallerCommandSize = 1024;  // UTF-16 units, terminator included

// Writes: the installer path, " /i " and the package path, then " " and each
// of arguments 1 to count-1; a piece that holds a space is enclosed in double
// quotes. UTF-16 throughout: every argument reaches the installer exactly as
// it was given. Returns false, with an empty buffer, when the line would not
// fit: a line cut short would be a different command.
bool BuildInstallerCommand(char16_t* command, const char16_t* installerPath, const char16_t* packagePath,
                           char16_t* const* arguments, int32_t argumentCount);
