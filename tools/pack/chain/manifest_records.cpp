#include "chain/manifest_records.h"

#include <cstdio>
#include <filesystem>

#include <algorithm>

#include "chain/ansi_code_pages.h"
#include "files/pack_error.h"
#include "format/entry_format.h"
#include "format/manifest_fields.h"
#include "format/manifest_names.h"
#include "format/manifest_records.h"
#include "text/text_conversion.h"
#include "text/utf16_text.h"

namespace {
// "／" (U+FF0F): the first character of `units` that `codePage` lacks.
std::string FirstCharacterOutside(const std::u16string& units, uint32_t codePage) {
    for (size_t i = 0; i < units.size();) {
        bool pair = i + 1 < units.size() && units[i] >= 0xD800 && units[i] < 0xDC00 && units[i + 1] >= 0xDC00 &&
                    units[i + 1] < 0xE000;
        std::u16string character = units.substr(i, pair ? 2 : 1);
        i += character.size();
        if (AnsiByteCount(character, codePage)) continue;
        uint32_t point = pair ? 0x10000 + ((character[0] - 0xD800u) << 10) + (character[1] - 0xDC00u) : character[0];
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(point));
        return "\"" + Utf16ToUtf8(character) + "\" (" + code + ")";
    }
    return "\"" + Utf16ToUtf8(units) + "\"";
}

// The launcher converts the field to the ANSI code page without best-fit
// mapping and takes at most 255 bytes of it; a field it would refuse on a
// system of one of the line's languages is refused here.
void CheckFieldInCodePages(const std::u16string& units, const std::string& field, const std::string& source,
                           const std::string& languages) {
    for (uint32_t codePage : AnsiCodePagesOf(languages)) {
        std::optional<size_t> bytes = AnsiByteCount(units, codePage);
        if (!bytes)
            throw PackError("the " + field + " of " + source + " has the character " +
                            FirstCharacterOutside(units, codePage) + ", which code page " + std::to_string(codePage) +
                            " (of its languages " + languages +
                            ") cannot hold exactly, so the launcher would refuse the package there; give a " + field +
                            " without it");
        if (*bytes > kMaxFieldBytes)
            throw PackError("the " + field + " of " + source + " takes " + std::to_string(*bytes) +
                            " bytes in code page " + std::to_string(codePage) + "; the launcher takes at most 255");
    }
}

std::string CanonicalPath(const std::string& path) {
    std::error_code error;
    std::string canonical = std::filesystem::weakly_canonical(path, error).string();
    return error ? path : canonical;
}
}  // namespace

void CheckManifestField(const std::string& value, const std::string& field, const std::string& source,
                        const std::string& languages) {
    std::u16string units = Utf8ToUtf16(value, "the " + field + " of " + source);
    if (units.empty()) throw PackError("the " + field + " of " + source + " is empty");
    if (units.size() > kMaxFieldBytes)
        throw PackError("the " + field + " of " + source + " has " + std::to_string(units.size()) +
                        " characters; the launcher takes at most 255");
    if (value.find('\\') != std::string::npos)
        throw PackError("the " + field + " of " + source + " contains a backslash, which separates the fields");
    for (char c : value)
        if (static_cast<unsigned char>(c) < 0x20)
            throw PackError("the " + field + " of " + source + " contains a control character");
    CheckFieldInCodePages(units, field, source, languages);
}

void CheckCabinetFileName(const std::string& name, const std::string& source, const std::string& languages) {
    CheckManifestField(name, "cabinet file name", source, languages);
    std::u16string units = Utf8ToUtf16(name, "the cabinet file name of " + source);
    if (!IsPlainFileName(units.data(), units.size()))
        throw PackError("the cabinet name \"" + name + "\" of " + source +
                        " is not a plain file name (a separator, drive, wildcard, quote, trailing dot or space, or a "
                        "device name such as CON)");
}

void CheckCabinetNamesDistinct(const std::vector<std::string>& paths, const std::string& source) {
    for (size_t i = 0; i < paths.size(); ++i)
        for (size_t j = 0; j < i; ++j) {
            std::string first = std::filesystem::path(paths[j]).filename().string();
            std::string second = std::filesystem::path(paths[i]).filename().string();
            if (FoldFileNameCase(Utf8ToUtf16(first, source)) != FoldFileNameCase(Utf8ToUtf16(second, source))) continue;
            if (CanonicalPath(paths[i]) == CanonicalPath(paths[j])) continue;
            throw PackError("the cabinets \"" + first + "\" and \"" + second + "\" of " + source +
                            " would be one file on Windows, where names differ not by case");
        }
}

std::string PackageLineText(const std::string& platform, const std::string& languages, const std::string& productCode,
                            const std::string& productName) {
    return platform + "\\" + languages + "\\" + productCode + "\\" + productName;
}

std::string CabinetLineText(const std::vector<uint32_t>& owners, const std::string& fileName) {
    std::string text = "cab\\";
    for (size_t i = 0; i < owners.size(); ++i) text += (i ? ";" : "") + std::to_string(owners[i]);
    return text + "\\" + fileName;
}

Bytes EncodeManifest(const std::vector<ManifestRecord>& records) {
    Bytes out;
    for (const ManifestRecord& record : records) {
        std::u16string units = Utf8ToUtf16(record.text, "a manifest record");
        size_t at = out.size();
        out.resize(at + 8 + units.size() * 2);
        WriteU32Le(&out[at], record.id);
        WriteU32Le(&out[at + 4], static_cast<uint32_t>(units.size() * 2));
        for (size_t i = 0; i < units.size(); ++i) {
            out[at + 8 + 2 * i] = static_cast<uint8_t>(units[i]);
            out[at + 9 + 2 * i] = static_cast<uint8_t>(units[i] >> 8);
        }
    }
    return out;
}

namespace {
bool CollectRecord(const ManifestRecordView& record, void* context) {
    std::u16string units;
    for (uint32_t i = 0; i + 1 < record.byteLength; i += 2) units += static_cast<char16_t>(ReadU16Le(record.text + i));
    // The launcher's text ends at the first NUL, as a C string does.
    units.resize(std::min(units.size(), units.find(u'\0')));
    static_cast<std::vector<ManifestRecord>*>(context)->push_back({record.id, Utf16ToUtf8(units)});
    return true;
}
}  // namespace

DecodedManifest DecodeManifest(const uint8_t* data, size_t size) {
    DecodedManifest decoded{{}, true};
    if (size > UINT32_MAX) return {{}, false};
    ManifestWalkEnd end = WalkManifestRecords(data, static_cast<uint32_t>(size), CollectRecord, &decoded.records);
    decoded.complete = end == ManifestWalkEnd::kFinished;
    return decoded;
}

std::vector<std::string> LineFields(const std::string& text, int wanted) {
    std::u16string units = Utf8ToUtf16(text, "a manifest line");
    std::vector<ManifestField> fields(static_cast<size_t>(wanted));
    int found = SplitManifestLine(units.data(), units.size(), fields.data(), wanted);
    std::vector<std::string> out;
    for (int i = 0; i < found; ++i) out.push_back(Utf16ToUtf8(std::u16string(fields[i].start, fields[i].length)));
    return out;
}

std::vector<uint32_t> OwnerIds(const std::string& field) {
    std::u16string units = Utf8ToUtf16(field, "a number list");
    ManifestField whole = {units.data(), units.size()};
    NumberListCursor cursor = StartNumberList(whole);
    std::vector<uint32_t> ids;
    bool hasNumber = false;
    uint32_t id = 0;
    while (NextListElement(&cursor, &hasNumber, &id))
        if (hasNumber) ids.push_back(id);
    return ids;
}
