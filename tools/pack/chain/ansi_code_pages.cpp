#include "chain/ansi_code_pages.h"

#include <algorithm>

#include "chain/manifest_records.h"

namespace {
struct PrimaryCodePage {
    uint32_t primaryLanguage;
    uint32_t codePage;
};

// Windows' default ANSI code page per primary language; Chinese depends on
// the sublanguage and is handled apart.
constexpr PrimaryCodePage kCodePages[] = {
    {0x11, 932},                                                       // Japanese
    {0x12, 949},                                                       // Korean
    {0x1E, 874},                                                       // Thai
    {0x2A, 1258},                                                      // Vietnamese
    {0x05, 1250}, {0x0E, 1250}, {0x15, 1250}, {0x18, 1250}, {0x1B, 1250},
    {0x1C, 1250}, {0x24, 1250},                                        // Central European
    {0x19, 1251}, {0x22, 1251}, {0x23, 1251}, {0x02, 1251}, {0x2F, 1251},
    {0x3F, 1251}, {0x40, 1251}, {0x44, 1251}, {0x50, 1251},            // Cyrillic
    {0x08, 1253},                                                      // Greek
    {0x1F, 1254}, {0x2C, 1254}, {0x43, 1254},                          // Turkish, Azeri, Uzbek
    {0x0D, 1255},                                                      // Hebrew
    {0x01, 1256}, {0x29, 1256}, {0x20, 1256},                          // Arabic, Farsi, Urdu
    {0x25, 1257}, {0x26, 1257}, {0x27, 1257},                          // Baltic
};

// Traditional Chinese (Taiwan, Hong Kong, Macao) uses Big5, the others GBK.
uint32_t ChineseCodePage(uint32_t languageId) {
    uint32_t sublanguage = (languageId >> 10) & 0x3F;
    return sublanguage == 1 || sublanguage == 3 || sublanguage == 5 ? 950 : 936;
}
}  // namespace

uint32_t AnsiCodePageOf(uint32_t languageId) {
    uint32_t primary = languageId & 0x3FF;
    if (primary == 0x04) return ChineseCodePage(languageId);
    for (const PrimaryCodePage& entry : kCodePages)
        if (entry.primaryLanguage == primary) return entry.codePage;
    return 1252;
}

std::vector<uint32_t> AnsiCodePagesOf(const std::string& languages) {
    std::vector<uint32_t> codePages;
    for (uint32_t id : OwnerIds(languages)) {
        uint32_t codePage = AnsiCodePageOf(id & 0xFFFF);
        if (std::find(codePages.begin(), codePages.end(), codePage) == codePages.end()) codePages.push_back(codePage);
    }
    return codePages;
}
