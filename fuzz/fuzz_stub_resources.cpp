// The packing tool's resource section reader and writer over a section made
// of the input: whatever it holds, reading stays inside it, and a section
// that reads is written again so that it reads back item for item and the
// version resources and manifest in it decode without reading outside.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "setup/resource_tree.h"
#include "setup/stub_branding.h"
#include "setup/version_info.h"

namespace {
constexpr uint32_t kSectionRva = 0x1B000;

bool SameItems(std::vector<ResourceItem> a, std::vector<ResourceItem> b) {
    auto order = [](const ResourceItem& x, const ResourceItem& y) {
        auto key = [](const ResourceItem& item) {
            return std::make_tuple(item.type.isName, item.type.name, item.type.id, item.name.isName, item.name.name,
                                   item.name.id, item.language);
        };
        return key(x) < key(y);
    };
    std::sort(a.begin(), a.end(), order);
    std::sort(b.begin(), b.end(), order);
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!(a[i].type == b[i].type) || !(a[i].name == b[i].name) || a[i].language != b[i].language ||
            a[i].codePage != b[i].codePage || a[i].data != b[i].data)
            return false;
    return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact copy, so reading one byte past the input is caught.
    std::vector<uint8_t> section(data, data + size);
    std::string why;
    std::optional<std::vector<ResourceItem>> items =
        ParseResourceSection(section.data(), section.size(), kSectionRva, &why);
    if (!items) {
        FUZZ_CHECK(!why.empty());
        return 0;
    }
    for (const ResourceItem& item : *items)
        if (item.type == ResourceId(kResourceTypeVersion)) {
            std::optional<VersionInfo> info = DecodeVersionInfo(item.data);
            // What decodes is written again and decodes to the same.
            if (info) {
                try {
                    std::optional<VersionInfo> again = DecodeVersionInfo(EncodeVersionInfo(*info));
                    FUZZ_CHECK(again && again->strings == info->strings &&
                               again->productVersion == info->productVersion);
                } catch (const std::exception&) {
                    // Names or values that are no valid UTF-16 are refused.
                }
            }
        }
    ManifestDescription(*items);

    Bytes written = BuildResourceSection(*items, kSectionRva);
    std::optional<std::vector<ResourceItem>> back =
        ParseResourceSection(written.data(), written.size(), kSectionRva, &why);
    FUZZ_CHECK(back);
    FUZZ_CHECK(SameItems(*items, *back));
    FUZZ_CHECK(BuildResourceSection(*back, kSectionRva) == written);
    return 0;
}
