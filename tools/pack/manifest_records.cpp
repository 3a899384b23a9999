#include "manifest_records.h"

#include "container/entry_format.h"
#include "pack_error.h"
#include "utf16_text.h"

void CheckManifestField(const std::string& value, const std::string& field, const std::string& source) {
    std::u16string units = Utf8ToUtf16(value, "the " + field + " of " + source);
    if (units.empty()) throw PackError("the " + field + " of " + source + " is empty");
    if (units.size() > kMaxFieldCharacters)
        throw PackError("the " + field + " of " + source + " has " + std::to_string(units.size()) +
                        " characters; the launcher takes at most 255");
    if (value.find('\\') != std::string::npos)
        throw PackError("the " + field + " of " + source + " contains a backslash, which separates the fields");
    for (char c : value)
        if (static_cast<unsigned char>(c) < 0x20)
            throw PackError("the " + field + " of " + source + " contains a control character");
}

void CheckCabinetFileName(const std::string& name, const std::string& source) {
    CheckManifestField(name, "cabinet file name", source);
    if (name == "." || name == ".." || name.find_first_of("/:*?\"<>|") != std::string::npos)
        throw PackError("the cabinet name \"" + name + "\" of " + source + " is not a plain file name");
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

DecodedManifest DecodeManifest(const uint8_t* data, size_t size) {
    DecodedManifest decoded{{}, true};
    size_t offset = 0;
    while (offset < size) {
        if (size - offset < 8 || size - offset - 8 < ReadU32Le(data + offset + 4)) {
            decoded.complete = false;
            break;
        }
        uint32_t id = ReadU32Le(data + offset);
        uint32_t length = ReadU32Le(data + offset + 4);
        std::u16string units;
        for (uint32_t i = 0; i + 1 < length; i += 2) units += static_cast<char16_t>(ReadU16Le(data + offset + 8 + i));
        while (!units.empty() && units.back() == u'\0') units.pop_back();
        decoded.records.push_back({id, Utf16ToUtf8(units)});
        offset += 8 + static_cast<size_t>(length);
    }
    return decoded;
}

std::vector<std::string> SplitLineFields(const std::string& text) {
    std::vector<std::string> fields(1);
    for (char c : text) {
        if (c == '\\')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}
