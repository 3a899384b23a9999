// The launcher's own command-line splitting: a double quote only switches
// quoting on and off, a backslash is an ordinary character, no escapes.
#pragma once

#include <cstdint>

// Splits a 0-terminated UTF-16 command line into one local-heap block: a
// null-terminated pointer table followed by the characters of the arguments.
// Returns null when the block cannot be allocated; the count is written only
// on success. The caller frees the block with PlatformFree.
char16_t** SplitCommandLine(const char16_t* commandLine, int32_t* count);

// True when the argument is "/q", "/qn", "/quiet" or "/passive" in any letter
// case: the installer's switches for a run that nobody attends.
bool IsQuietSwitch(const char16_t* argument);

// True when any of arguments 1 to count-1 is a quiet switch; argument 0, the
// launcher's own path, is never looked at.
bool HasQuietSwitch(char16_t* const* arguments, int32_t count);
