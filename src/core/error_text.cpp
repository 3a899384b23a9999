#include "core/error_text.h"

#include <windows.h>

#include <cstdio>

namespace {

bool IsTrimmed(char c) { return c == '.' || c == ' ' || c == '\r' || c == '\n'; }

// The system's text for the code, without its trailing periods, blanks and
// line breaks; returns the number of characters kept. Inserts are ignored:
// some system texts (193 among them) hold %1 marks, and formatting them
// without arguments would read arguments that do not exist.
uint32_t SystemTextFor(uint32_t code, char* buffer, uint32_t size) {
    DWORD stored = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                  LANG_USER_DEFAULT, buffer, size, nullptr);
    if (stored >= size) stored = 0;
    while (stored > 0 && IsTrimmed(buffer[stored - 1])) --stored;
    return stored;
}

// snprintf that reports what actually stands in the buffer, never more.
uint32_t WriteBounded(uint32_t room, int written) {
    if (room == 0 || written < 0) return 0;
    return static_cast<uint32_t>(written) < room ? static_cast<uint32_t>(written) : room - 1;
}

}  // namespace

int ComposeErrorText(uint32_t code, char* buffer, uint32_t size, const char* context) {
    if (!buffer || size == 0) return 0;
    uint32_t kept = SystemTextFor(code, buffer, size);
    buffer[kept] = 0;
    bool hasContext = context && *context;
    char* end = buffer + kept;
    uint32_t room = size - kept;

    if (kept > 0 && hasContext)
        return static_cast<int>(kept + WriteBounded(room, std::snprintf(end, room, " (%s).", context)));
    if (kept > 0)
        return static_cast<int>(kept + WriteBounded(room, std::snprintf(end, room, ".")));
    if (hasContext)
        return static_cast<int>(
            WriteBounded(size, std::snprintf(buffer, size, "%s %u (%s).", "Error", code, context)));
    return static_cast<int>(WriteBounded(size, std::snprintf(buffer, size, "%s %u", "Error", code)));
}
