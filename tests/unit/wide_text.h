// UTF-16 paths and texts of the launcher next to the tests' UTF-8 strings.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cwchar>
#include <string>

inline std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], units);
    return out;
}

inline std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                    nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &out[0], bytes, nullptr, nullptr);
    return out;
}

// Fills a fixed UTF-16 buffer such as PackageItem::outPath from UTF-8, cut
// to fit and terminated.
template <size_t N>
void SetWide(wchar_t (&out)[N], const std::string& utf8) {
    std::wstring wide = Wide(utf8);
    size_t length = wide.size() < N - 1 ? wide.size() : N - 1;
    wmemcpy(out, wide.c_str(), length);
    out[length] = 0;
}
