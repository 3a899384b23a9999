#include "commands/json_text.h"

#include <sstream>

#include "commands/container_report.h"

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            static const char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string JsonStrings(const std::vector<std::string>& texts) {
    std::string out = "[";
    for (size_t i = 0; i < texts.size(); ++i) out += (i ? "," : "") + JsonString(texts[i]);
    return out + "]";
}

std::string JsonNumbers(const std::vector<uint32_t>& numbers) {
    std::string out = "[";
    for (size_t i = 0; i < numbers.size(); ++i) out += (i ? "," : "") + std::to_string(numbers[i]);
    return out + "]";
}

std::string RecordJsonMembers(const ManifestRecord& record) {
    RecordKind kind = KindOfRecord(record);
    std::string out = "\"id\":" + std::to_string(record.id) + ",\"kind\":\"" +
                      (kind == RecordKind::Package ? "package" : kind == RecordKind::Cabinet ? "cabinet" : "other") +
                      "\",\"text\":" + JsonString(record.text);
    if (kind == RecordKind::Package) {
        std::vector<std::string> fields = LineFields(record.text, 4);
        std::vector<std::string> languages;
        std::stringstream list(fields[1]);
        for (std::string id; std::getline(list, id, ';');)
            if (!id.empty()) languages.push_back(id);
        out += ",\"platform\":" + JsonString(fields[0]) + ",\"languages\":" + JsonStrings(languages) +
               ",\"productCode\":" + JsonString(fields[2]) + ",\"productName\":" + JsonString(fields[3]);
    } else if (kind == RecordKind::Cabinet) {
        std::vector<std::string> fields = LineFields(record.text, 3);
        out += ",\"owners\":" + JsonNumbers(OwnerIds(fields[1])) + ",\"name\":" + JsonString(fields[2]);
    }
    return out;
}
