#include "files/own_executable.h"

#include <windows.h>

namespace {
// The tool's paths are ANSI texts (its argv and the C library's file
// functions); a name without an exact ANSI form is no path it can open.
std::string AnsiPath(const std::wstring& wide) {
    BOOL lossy = FALSE;
    int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), static_cast<int>(wide.size()), nullptr,
                                   0, nullptr, &lossy);
    if (size <= 0 || lossy) return {};
    std::string text(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), static_cast<int>(wide.size()), text.data(), size,
                        nullptr, &lossy);
    return lossy ? std::string() : text;
}
}  // namespace

std::string OwnExecutablePath() {
    // GetModuleFileNameW cuts a long name to the buffer and says so only by
    // filling it: grow until the name fits.
    for (DWORD capacity = 260; capacity <= 32768; capacity *= 2) {
        std::wstring buffer(capacity, L'\0');
        DWORD length = GetModuleFileNameW(nullptr, buffer.data(), capacity);
        if (length == 0) return {};
        if (length < capacity) return AnsiPath(buffer.substr(0, length));
    }
    return {};
}
