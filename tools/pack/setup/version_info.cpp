#include "setup/version_info.h"

#include <vector>

#include "format/entry_format.h"
#include "text/utf16_text.h"

namespace {
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr uint32_t kFixedInfoSize = 52;
constexpr uint16_t kBinaryValue = 0;
constexpr uint16_t kTextValue = 1;

void PutU16(Bytes* out, uint32_t value) {
    out->push_back(static_cast<uint8_t>(value));
    out->push_back(static_cast<uint8_t>(value >> 8));
}
void PutU32(Bytes* out, uint32_t value) {
    PutU16(out, value & 0xFFFF);
    PutU16(out, value >> 16);
}
void PadTo4(Bytes* out) {
    while (out->size() % 4) out->push_back(0);
}
void PutText(Bytes* out, const std::u16string& text) {
    for (char16_t c : text) PutU16(out, c);
    PutU16(out, 0);
}

// One node: header, key, value, children, each started on a 4-byte boundary
// of the block (blocks themselves start on one).
Bytes Block(const std::u16string& key, uint16_t type, const Bytes& value, uint16_t valueLength,
            const std::vector<Bytes>& children) {
    Bytes out(6, 0);
    PutText(&out, key);
    PadTo4(&out);
    out.insert(out.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        PadTo4(&out);
        out.insert(out.end(), child.begin(), child.end());
    }
    out[0] = static_cast<uint8_t>(out.size());
    out[1] = static_cast<uint8_t>(out.size() >> 8);
    out[2] = static_cast<uint8_t>(valueLength);
    out[3] = static_cast<uint8_t>(valueLength >> 8);
    out[4] = static_cast<uint8_t>(type);
    return out;
}

std::u16string Wide(const std::string& text) { return Utf8ToUtf16(text, "a version resource text"); }

Bytes FixedInfo(const VersionInfo& info) {
    auto high = [](const std::array<uint16_t, 4>& v) { return uint32_t{v[0]} << 16 | v[1]; };
    auto low = [](const std::array<uint16_t, 4>& v) { return uint32_t{v[2]} << 16 | v[3]; };
    Bytes out;
    for (uint32_t value : {kFixedInfoSignature, 0x00010000u, high(info.fileVersion), low(info.fileVersion),
                           high(info.productVersion), low(info.productVersion),
                           0x3Fu,        // every flag is meaningful
                           0u,           // none is set
                           0x00040004u,  // VOS_NT_WINDOWS32
                           1u,           // VFT_APP
                           0u, 0u, 0u})
        PutU32(&out, value);
    return out;
}

struct Node {
    std::u16string key;
    uint16_t type;
    const uint8_t* value;
    uint32_t valueBytes;
    std::vector<std::pair<size_t, size_t>> children;  // offset and length in the data
};

size_t Align4(size_t value) { return (value + 3) & ~size_t{3}; }

// Reads the node at `at`, which may use `room` bytes.
std::optional<Node> ReadNode(const Bytes& data, size_t at, size_t room) {
    if (room < 6 || at > data.size() || room > data.size() - at) return std::nullopt;
    size_t length = ReadU16Le(data.data() + at);
    if (length < 6 || length > room) return std::nullopt;
    size_t end = at + length;
    Node node{u"", ReadU16Le(data.data() + at + 4), nullptr, 0, {}};
    size_t cursor = at + 6;
    for (;;) {
        if (cursor + 2 > end) return std::nullopt;
        char16_t c = ReadU16Le(data.data() + cursor);
        cursor += 2;
        if (!c) break;
        node.key += c;
    }
    cursor = Align4(cursor - at) + at;
    size_t valueLength = ReadU16Le(data.data() + at + 2);
    size_t valueBytes = node.type == kTextValue ? valueLength * 2 : valueLength;
    if (cursor > end) cursor = end;
    valueBytes = std::min(valueBytes, end - cursor);
    node.value = data.data() + cursor;
    node.valueBytes = static_cast<uint32_t>(valueBytes);
    cursor = Align4(cursor + valueBytes - at) + at;
    while (cursor + 6 <= end) {
        size_t childLength = ReadU16Le(data.data() + cursor);
        if (childLength < 6 || childLength > end - cursor) return std::nullopt;
        node.children.push_back({cursor, end - cursor});
        cursor = Align4(cursor + childLength - at) + at;
    }
    return node;
}

std::string TextOf(const Node& node) {
    std::u16string text;
    for (uint32_t i = 0; i + 2 <= node.valueBytes; i += 2)
        text += static_cast<char16_t>(ReadU16Le(node.value + i));
    while (!text.empty() && text.back() == 0) text.pop_back();
    return Utf16ToUtf8(text);
}
}  // namespace

std::optional<std::array<uint16_t, 4>> ParseVersionNumbers(const std::string& text) {
    std::array<uint16_t, 4> numbers{};
    size_t count = 0;
    size_t at = 0;
    while (true) {
        size_t end = text.find('.', at);
        std::string part = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (part.empty() || part.size() > 5 || count == 4) return std::nullopt;
        for (char c : part)
            if (c < '0' || c > '9') return std::nullopt;
        unsigned long value = std::stoul(part);
        if (value > 65535) return std::nullopt;
        numbers[count++] = static_cast<uint16_t>(value);
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return numbers;
}

Bytes EncodeVersionInfo(const VersionInfo& info) {
    std::vector<Bytes> strings;
    for (const auto& [name, value] : info.strings) {
        std::u16string wide = Wide(value);
        Bytes text;
        PutText(&text, wide);
        strings.push_back(Block(Wide(name), kTextValue, text, static_cast<uint16_t>(wide.size() + 1), {}));
    }
    Bytes table = Block(u"040904B0", kTextValue, {}, 0, strings);
    Bytes stringInfo = Block(u"StringFileInfo", kTextValue, {}, 0, {table});
    Bytes translation;
    PutU16(&translation, 0x0409);
    PutU16(&translation, 1200);
    Bytes var = Block(u"Translation", kBinaryValue, translation, 4, {});
    Bytes varInfo = Block(u"VarFileInfo", kTextValue, {}, 0, {var});
    return Block(u"VS_VERSION_INFO", kBinaryValue, FixedInfo(info), kFixedInfoSize, {stringInfo, varInfo});
}

std::optional<VersionInfo> DecodeVersionInfo(const Bytes& data) {
    std::optional<Node> root = ReadNode(data, 0, data.size());
    if (!root || root->key != u"VS_VERSION_INFO" || root->valueBytes < kFixedInfoSize ||
        ReadU32Le(root->value) != kFixedInfoSignature)
        return std::nullopt;
    VersionInfo info;
    auto split = [](uint32_t high, uint32_t low) {
        return std::array<uint16_t, 4>{static_cast<uint16_t>(high >> 16), static_cast<uint16_t>(high),
                                       static_cast<uint16_t>(low >> 16), static_cast<uint16_t>(low)};
    };
    info.fileVersion = split(ReadU32Le(root->value + 8), ReadU32Le(root->value + 12));
    info.productVersion = split(ReadU32Le(root->value + 16), ReadU32Le(root->value + 20));
    for (auto [at, room] : root->children) {
        std::optional<Node> child = ReadNode(data, at, room);
        if (!child) return std::nullopt;
        if (child->key != u"StringFileInfo") continue;
        for (auto [tableAt, tableRoom] : child->children) {
            std::optional<Node> table = ReadNode(data, tableAt, tableRoom);
            if (!table) return std::nullopt;
            for (auto [stringAt, stringRoom] : table->children) {
                std::optional<Node> text = ReadNode(data, stringAt, stringRoom);
                if (!text) return std::nullopt;
                info.strings[Utf16ToUtf8(text->key)] = TextOf(*text);
            }
        }
    }
    return info;
}
