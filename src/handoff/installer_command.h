// The installer's command line, built piece by piece.
#pragma once

#include <cstdint>

constexpr uint32_t kInstallerCommandSize = 1024;

// Writes: the installer path, " /i " and the package path, then " " and each
// of arguments 1 to count-1; a piece that holds a space is enclosed in double
// quotes. Returns false, with an empty buffer, when the line would not fit:
// a line cut short would be a different command. Also false when an argument
// does not convert exactly to the ANSI code page.
bool BuildInstallerCommand(char* command, const char* installerPath, const char* packagePath,
                           char16_t* const* arguments, int32_t argumentCount);
