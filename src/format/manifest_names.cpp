#include "format/manifest_names.h"

namespace {
bool IsHexDigit(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); }

bool IsForbiddenInName(char16_t c) {
    if (c < 0x20) return true;
    for (char16_t forbidden : u"\\/:*?\"<>|")
        if (forbidden != 0 && c == forbidden) return true;
    return false;
}

char16_t UpperAscii(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

bool SameNoCase(const char16_t* text, size_t units, const char16_t* word) {
    size_t i = 0;
    for (; i < units && word[i] != 0; ++i)
        if (UpperAscii(text[i]) != word[i]) return false;
    return i == units && word[i] == 0;
}

// Windows opens the device for these names whatever extension follows, and
// also with spaces before the extension.
bool IsDeviceName(const char16_t* text, size_t units) {
    size_t stem = 0;
    while (stem < units && text[stem] != u'.') ++stem;
    while (stem > 0 && text[stem - 1] == u' ') --stem;
    static const char16_t* const kDevices[] = {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"};
    for (const char16_t* device : kDevices)
        if (SameNoCase(text, stem, device)) return true;
    if (stem != 4 || !(SameNoCase(text, 3, u"COM") || SameNoCase(text, 3, u"LPT"))) return false;
    char16_t digit = text[3];
    // The superscript digits count as port numbers too.
    return (digit >= u'0' && digit <= u'9') || digit == 0x00B9 || digit == 0x00B2 || digit == 0x00B3;
}
}  // namespace

bool IsBracedGuid(const char16_t* text, size_t units) {
    static const char kShape[] = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    if (units != sizeof(kShape) - 1) return false;
    for (size_t i = 0; i < units; ++i) {
        bool fits = kShape[i] == 'X' ? IsHexDigit(text[i]) : text[i] == static_cast<char16_t>(kShape[i]);
        if (!fits) return false;
    }
    return true;
}

bool IsPlainFileName(const char16_t* text, size_t units) {
    if (units == 0) return false;
    for (size_t i = 0; i < units; ++i)
        if (IsForbiddenInName(text[i])) return false;
    char16_t last = text[units - 1];
    if (last == u'.' || last == u' ') return false;
    return !IsDeviceName(text, units);
}
