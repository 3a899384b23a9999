#include <windows.h>

#include "text/text_conversion.h"

std::optional<size_t> AnsiByteCount(const std::u16string& text, uint32_t codePage) {
    if (text.empty()) return 0;
    BOOL usedDefault = FALSE;
    int bytes = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, reinterpret_cast<const wchar_t*>(text.data()),
                                    static_cast<int>(text.size()), nullptr, 0, nullptr, &usedDefault);
    if (bytes <= 0 || usedDefault) return std::nullopt;
    return static_cast<size_t>(bytes);
}

std::u16string FoldFileNameCase(const std::u16string& text) {
    std::u16string folded = text;
    if (!folded.empty()) CharUpperBuffW(reinterpret_cast<wchar_t*>(folded.data()), static_cast<DWORD>(folded.size()));
    return folded;
}
