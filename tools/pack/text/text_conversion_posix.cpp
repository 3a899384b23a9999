#include <errno.h>
#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <string>

#include "text/text_conversion.h"

std::optional<size_t> AnsiByteCount(const std::u16string& text, uint32_t codePage) {
    // No //TRANSLIT: a character without an exact counterpart fails, as the
    // launcher's conversion without best-fit mapping does.
    iconv_t converter = iconv_open(("CP" + std::to_string(codePage)).c_str(), "UTF-16LE");
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string in;
    for (char16_t unit : text) {
        in += static_cast<char>(unit & 0xFF);
        in += static_cast<char>(unit >> 8);
    }
    std::string out(text.size() * 4 + 16, '\0');
    char* inPosition = in.data();
    size_t inLeft = in.size();
    char* outPosition = out.data();
    size_t outLeft = out.size();
    size_t result = iconv(converter, &inPosition, &inLeft, &outPosition, &outLeft);
    bool exact = result == 0 && inLeft == 0;
    if (exact) exact = iconv(converter, nullptr, nullptr, &outPosition, &outLeft) != static_cast<size_t>(-1);
    iconv_close(converter);
    if (!exact) return std::nullopt;
    return out.size() - outLeft;
}

std::u16string FoldFileNameCase(const std::u16string& text) {
    static locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    std::u16string folded = text;
    for (char16_t& unit : folded) {
        if (unit >= 0xD800 && unit <= 0xDFFF) continue;  // surrogate halves are never folded
        if (utf8)
            unit = static_cast<char16_t>(towupper_l(static_cast<wint_t>(unit), utf8));
        else if (unit >= u'a' && unit <= u'z')
            unit = static_cast<char16_t>(unit - 32);
    }
    return folded;
}
