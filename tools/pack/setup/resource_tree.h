// The resource tree of a PE image (type, name, language, data) as a list of
// plain records, and back: read from a resource section's bytes and written
// into the bytes of a new one. Only the bytes of the section are looked at;
// where the section lies in the image is stub_resource_section's business.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "files/byte_files.h"

// A resource type or name: a 16-bit id or a UTF-16 name.
struct ResourceKey {
    bool isName = false;
    uint16_t id = 0;
    std::u16string name;
};
bool operator==(const ResourceKey& a, const ResourceKey& b);
ResourceKey ResourceId(uint16_t id);
ResourceKey ResourceName(const std::string& asciiName);

struct ResourceItem {
    ResourceKey type;
    ResourceKey name;
    uint16_t language = 0;
    uint32_t codePage = 0;
    Bytes data;
};

// Resource types this tool writes.
constexpr uint16_t kResourceTypeIcon = 3;
constexpr uint16_t kResourceTypeRcdata = 10;
constexpr uint16_t kResourceTypeGroupIcon = 14;
constexpr uint16_t kResourceTypeVersion = 16;
constexpr uint16_t kResourceTypeManifest = 24;

// The items of the section whose first byte has the address `sectionRva`, in
// the order of the tree. Nothing, with the reason in `why`, when a directory,
// name or data entry lies outside the section, the tree is not three levels
// deep (type, name, language), or it holds more than the limits below.
std::optional<std::vector<ResourceItem>> ParseResourceSection(const uint8_t* section, size_t size,
                                                              uint32_t sectionRva, std::string* why);

// A resource section holding `items` for the address `sectionRva`: the
// directories sorted as the loader's binary search wants them (names before
// ids, each in ascending order), then data entries, names and data.
Bytes BuildResourceSection(const std::vector<ResourceItem>& items, uint32_t sectionRva);

// The first item of that type and name (any language), or null.
const ResourceItem* FindResource(const std::vector<ResourceItem>& items, const ResourceKey& type,
                                 const ResourceKey& name);
