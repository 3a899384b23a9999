#include "setup/resource_tree.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "format/entry_format.h"

namespace {
constexpr uint32_t kHighBit = 0x80000000u;
constexpr uint32_t kDirectoryHeaderSize = 16;
constexpr uint32_t kDirectoryEntrySize = 8;
constexpr uint32_t kDataEntrySize = 16;
// Shared subdirectories let a small section name the same data many times;
// a stub has a few dozen resources, so these bound what a hostile one costs.
constexpr size_t kMaxItems = 4096;
constexpr uint64_t kMaxDataBytes = 64u << 20;

struct SectionReader {
    const uint8_t* bytes;
    size_t size;
    bool Holds(uint64_t offset, uint64_t length) const { return offset <= size && length <= size - offset; }
    uint32_t U32(uint64_t offset) const { return ReadU32Le(bytes + offset); }
    uint16_t U16(uint64_t offset) const { return ReadU16Le(bytes + offset); }
};

struct ParseState {
    SectionReader section;
    uint32_t sectionRva;
    std::vector<ResourceItem>* items;
    uint64_t dataBytes = 0;
    std::string* why;
    bool Fail(const std::string& reason) {
        *why = reason;
        return false;
    }
};

bool ReadKey(ParseState& state, uint32_t raw, ResourceKey* key) {
    *key = ResourceKey{};
    key->isName = (raw & kHighBit) != 0;
    if (!key->isName) {
        if (raw > 0xFFFF) return state.Fail("a resource id is larger than 16 bits");
        key->id = static_cast<uint16_t>(raw);
        return true;
    }
    uint32_t at = raw & ~kHighBit;
    if (!state.section.Holds(at, 2)) return state.Fail("a resource name lies outside the section");
    uint32_t length = state.section.U16(at);
    if (!state.section.Holds(uint64_t{at} + 2, uint64_t{length} * 2))
        return state.Fail("a resource name lies outside the section");
    for (uint32_t i = 0; i < length; ++i)
        key->name += static_cast<char16_t>(state.section.U16(at + 2 + uint64_t{i} * 2));
    return true;
}

bool ReadData(ParseState& state, uint32_t at, ResourceItem* item) {
    if (!state.section.Holds(at, kDataEntrySize)) return state.Fail("a resource data entry lies outside the section");
    uint32_t rva = state.section.U32(at);
    uint32_t length = state.section.U32(at + 4);
    if (rva < state.sectionRva || !state.section.Holds(uint64_t{rva} - state.sectionRva, length))
        return state.Fail("the data of a resource lie outside the resource section");
    state.dataBytes += length;
    if (state.dataBytes > kMaxDataBytes) return state.Fail("the resources hold more than 64 MiB");
    const uint8_t* data = state.section.bytes + (rva - state.sectionRva);
    item->data.assign(data, data + length);
    item->codePage = state.section.U32(at + 8);
    return true;
}

// Level 0 lists types, 1 names, 2 languages; the entries of level 2 lead
// to data, all others to directories.
bool ReadDirectory(ParseState& state, uint32_t at, int level, ResourceItem* path) {
    if (!state.section.Holds(at, kDirectoryHeaderSize))
        return state.Fail("a resource directory lies outside the section");
    uint32_t count = uint32_t{state.section.U16(at + 12)} + state.section.U16(at + 14);
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t entry = uint64_t{at} + kDirectoryHeaderSize + uint64_t{i} * kDirectoryEntrySize;
        if (!state.section.Holds(entry, kDirectoryEntrySize))
            return state.Fail("a resource directory lies outside the section");
        uint32_t raw = state.section.U32(entry);
        uint32_t target = state.section.U32(entry + 4);
        bool leadsToDirectory = (target & kHighBit) != 0;
        if (leadsToDirectory != (level < 2)) return state.Fail("the resource tree is not three levels deep");
        if (level == 0 && !ReadKey(state, raw, &path->type)) return false;
        if (level == 1 && !ReadKey(state, raw, &path->name)) return false;
        if (level == 2) {
            if (raw > 0xFFFF) return state.Fail("a resource language is no 16-bit id");
            path->language = static_cast<uint16_t>(raw);
            if (state.items->size() >= kMaxItems) return state.Fail("the section names more than 4096 resources");
            if (!ReadData(state, target, path)) return false;
            state.items->push_back(*path);
            continue;
        }
        if (!ReadDirectory(state, target & ~kHighBit, level + 1, path)) return false;
    }
    return true;
}

using ItemKey = std::tuple<bool, std::u16string, uint16_t>;
ItemKey SortKey(const ResourceKey& key) {
    // Names come before ids, as the loader's binary search expects.
    return {!key.isName, key.name, key.id};
}
struct KeyLess {
    bool operator()(const ResourceKey& a, const ResourceKey& b) const { return SortKey(a) < SortKey(b); }
};
using LanguageMap = std::map<uint16_t, const ResourceItem*>;
using NameMap = std::map<ResourceKey, LanguageMap, KeyLess>;
using TypeMap = std::map<ResourceKey, NameMap, KeyLess>;

uint32_t Align(uint32_t value, uint32_t to) { return (value + to - 1) / to * to; }

struct Writer {
    Bytes out;
    void U16(uint32_t at, uint32_t value) {
        out[at] = static_cast<uint8_t>(value);
        out[at + 1] = static_cast<uint8_t>(value >> 8);
    }
    void U32(uint32_t at, uint32_t value) { WriteU32Le(out.data() + at, value); }
};

template <typename Map>
uint32_t DirectorySize(const Map& map) {
    return kDirectoryHeaderSize + static_cast<uint32_t>(map.size()) * kDirectoryEntrySize;
}

template <typename Map>
void WriteDirectoryHeader(Writer& writer, uint32_t at, const Map& map) {
    uint32_t named = 0;
    for (const auto& entry : map) named += entry.first.isName ? 1 : 0;
    writer.U16(at + 12, named);
    writer.U16(at + 14, static_cast<uint32_t>(map.size()) - named);
}
}  // namespace

bool operator==(const ResourceKey& a, const ResourceKey& b) { return SortKey(a) == SortKey(b); }

ResourceKey ResourceId(uint16_t id) {
    ResourceKey key;
    key.id = id;
    return key;
}

ResourceKey ResourceName(const std::string& asciiName) {
    ResourceKey key;
    key.isName = true;
    key.name.assign(asciiName.begin(), asciiName.end());
    return key;
}

std::optional<std::vector<ResourceItem>> ParseResourceSection(const uint8_t* section, size_t size,
                                                              uint32_t sectionRva, std::string* why) {
    std::vector<ResourceItem> items;
    ParseState state{{section, size}, sectionRva, &items, 0, why};
    ResourceItem path;
    if (!ReadDirectory(state, 0, 0, &path)) return std::nullopt;
    for (size_t i = 0; i < items.size(); ++i)
        for (size_t j = i + 1; j < items.size(); ++j)
            if (items[i].type == items[j].type && items[i].name == items[j].name &&
                items[i].language == items[j].language) {
                *why = "the section names one resource twice";
                return std::nullopt;
            }
    return items;
}

Bytes BuildResourceSection(const std::vector<ResourceItem>& items, uint32_t sectionRva) {
    TypeMap tree;
    for (const ResourceItem& item : items) tree[item.type][item.name][item.language] = &item;

    // Directories first, level by level, then the data entries, the names
    // and, 8-byte aligned, the data.
    uint32_t directoriesSize = DirectorySize(tree);
    size_t dataEntries = 0;
    for (const auto& type : tree) {
        directoriesSize += DirectorySize(type.second);
        for (const auto& name : type.second) {
            directoriesSize += DirectorySize(name.second);
            dataEntries += name.second.size();
        }
    }
    uint32_t namesAt = directoriesSize + static_cast<uint32_t>(dataEntries) * kDataEntrySize;
    std::map<std::u16string, uint32_t> nameOffsets;
    uint32_t namesEnd = namesAt;
    auto addName = [&](const ResourceKey& key) {
        if (!key.isName || nameOffsets.count(key.name)) return;
        nameOffsets[key.name] = namesEnd;
        namesEnd += 2 + static_cast<uint32_t>(key.name.size()) * 2;
    };
    for (const auto& type : tree) {
        addName(type.first);
        for (const auto& name : type.second) addName(name.first);
    }
    uint32_t dataAt = Align(namesEnd, 8);
    uint32_t total = dataAt;
    for (const ResourceItem& item : items) total = Align(total + static_cast<uint32_t>(item.data.size()), 8);

    Writer writer{Bytes(total, 0)};
    for (const auto& [name, at] : nameOffsets) {
        writer.U16(at, static_cast<uint32_t>(name.size()));
        for (size_t i = 0; i < name.size(); ++i) writer.U16(at + 2 + static_cast<uint32_t>(i) * 2, name[i]);
    }
    auto keyValue = [&](const ResourceKey& key) { return key.isName ? kHighBit | nameOffsets[key.name] : key.id; };

    uint32_t nextDirectory = DirectorySize(tree);
    uint32_t nextDataEntry = directoriesSize;
    uint32_t nextData = dataAt;
    WriteDirectoryHeader(writer, 0, tree);
    uint32_t typeEntry = kDirectoryHeaderSize;
    // Type directories, then name directories, in order: the offsets are
    // handed out as each level is reached.
    std::vector<std::pair<uint32_t, const NameMap*>> nameDirectories;
    for (const auto& type : tree) {
        writer.U32(typeEntry, keyValue(type.first));
        writer.U32(typeEntry + 4, kHighBit | nextDirectory);
        nameDirectories.push_back({nextDirectory, &type.second});
        nextDirectory += DirectorySize(type.second);
        typeEntry += kDirectoryEntrySize;
    }
    std::vector<std::pair<uint32_t, const LanguageMap*>> languageDirectories;
    for (const auto& [at, names] : nameDirectories) {
        WriteDirectoryHeader(writer, at, *names);
        uint32_t entry = at + kDirectoryHeaderSize;
        for (const auto& name : *names) {
            writer.U32(entry, keyValue(name.first));
            writer.U32(entry + 4, kHighBit | nextDirectory);
            languageDirectories.push_back({nextDirectory, &name.second});
            nextDirectory += DirectorySize(name.second);
            entry += kDirectoryEntrySize;
        }
    }
    for (const auto& [at, languages] : languageDirectories) {
        writer.U16(at + 14, static_cast<uint32_t>(languages->size()));
        uint32_t entry = at + kDirectoryHeaderSize;
        for (const auto& [language, item] : *languages) {
            writer.U32(entry, language);
            writer.U32(entry + 4, nextDataEntry);
            writer.U32(nextDataEntry, sectionRva + nextData);
            writer.U32(nextDataEntry + 4, static_cast<uint32_t>(item->data.size()));
            writer.U32(nextDataEntry + 8, item->codePage);
            std::copy(item->data.begin(), item->data.end(), writer.out.begin() + nextData);
            nextData = Align(nextData + static_cast<uint32_t>(item->data.size()), 8);
            nextDataEntry += kDataEntrySize;
            entry += kDirectoryEntrySize;
        }
    }
    writer.out.resize(nextData);
    return writer.out;
}

const ResourceItem* FindResource(const std::vector<ResourceItem>& items, const ResourceKey& type,
                                 const ResourceKey& name) {
    for (const ResourceItem& item : items)
        if (item.type == type && item.name == name) return &item;
    return nullptr;
}
