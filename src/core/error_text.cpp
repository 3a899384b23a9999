#include "core/error_text.h"

#include <windows.h>

#include <cwchar>

namespace {

bool IsTrimmed(wchar_t c) { return c == L'.' || c == L' ' || c == L'\r' || c == L'\n'; }

// The system's text for the code, without its trailing periods, blanks and
// line breaks; returns the number of characters kept. Inserts are ignored:
// some system texts (193 among them) hold %1 marks, and formatting them
// without arguments would read arguments that do not exist.
uint32_t SystemTextFor(uint32_t code, wchar_t* buffer, uint32_t size) {
    DWORD stored = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                  LANG_USER_DEFAULT, buffer, size, nullptr);
    if (stored >= size) stored = 0;
    while (stored > 0 && IsTrimmed(buffer[stored - 1])) --stored;
    return stored;
}

// swprintf reports -1 when the text does not fit and leaves the buffer's
// content unspecified; this writes what fits, always terminated, and returns
// what actually stands in the buffer.
uint32_t WriteBounded(wchar_t* out, uint32_t room, const wchar_t* format, ...) {
    if (room == 0) return 0;
    va_list arguments;
    va_start(arguments, format);
    int written = _vsnwprintf(out, room, format, arguments);
    va_end(arguments);
    if (written < 0 || static_cast<uint32_t>(written) >= room) {
        out[room - 1] = 0;
        return static_cast<uint32_t>(std::wcslen(out));
    }
    return static_cast<uint32_t>(written);
}

}  // namespace

int ComposeErrorText(uint32_t code, wchar_t* buffer, uint32_t size, const wchar_t* context) {
    if (!buffer || size == 0) return 0;
    uint32_t kept = SystemTextFor(code, buffer, size);
    buffer[kept] = 0;
    bool hasContext = context && *context;
    wchar_t* end = buffer + kept;
    uint32_t room = size - kept;

    if (kept > 0 && hasContext) return static_cast<int>(kept + WriteBounded(end, room, L" (%ls).", context));
    if (kept > 0) return static_cast<int>(kept + WriteBounded(end, room, L"."));
    if (hasContext) return static_cast<int>(WriteBounded(buffer, size, L"%ls %u (%ls).", L"Error", code, context));
    return static_cast<int>(WriteBounded(buffer, size, L"%ls %u", L"Error", code));
}
