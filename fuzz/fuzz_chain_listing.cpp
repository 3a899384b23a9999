// The packing tool's listing of a chain against the launcher's own reader:
// for any input, every entry that `list` shows is the one the launcher reads
// for that type and id (the first from the end), with the same data bytes,
// and no id the listing lacks can be read. The walk is shared; this guards
// the report layer that collects it.
#include <cstdint>
#include <cstring>
#include <set>
#include <utility>

#include "chain/entry_chain.h"
#include "exact_copy.h"
#include "format/read_entry.h"
#include "fuzz_check.h"
#include "platform/platform.h"

namespace {
// A read with flags 0 copies the data bytes as they stand, so the content
// shows exactly which bytes the launcher's lookup chose.
void CheckListedEntry(const ContainerBlob& blob, const ChainEntry& entry, const uint8_t* bytes) {
    uint8_t* content = nullptr;
    uint32_t length = 0;
    const EntryTypeGuid& type = entry.isManifest ? ManifestEntryGuid : PayloadEntryGuid;
    StatusValue status = ReadEntry(blob, type, entry.id, &content, &length);
    FUZZ_CHECK(StatusSucceeded(status));
    FUZZ_CHECK(length == entry.dataLength);
    FUZZ_CHECK(length == 0 || std::memcmp(content, bytes + entry.dataOffset, length) == 0);
    PlatformFree(content);
}

void CheckUnlisted(const ContainerBlob& blob, const EntryTypeGuid& type, uint32_t id) {
    uint8_t* content = nullptr;
    uint32_t length = 0;
    StatusValue status = ReadEntry(blob, type, id, &content, &length);
    FUZZ_CHECK(StatusCode(status) == kErrorNotFound);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    uint8_t* bytes = ExactCopy(data, size);
    if (!bytes) return 0;
    ContainerBlob blob = {bytes, static_cast<uint32_t>(size), nullptr, 0, 0, nullptr};

    ChainWalk walk = WalkEntryChain(bytes, size);
    FUZZ_CHECK(walk.reachedManifest == (!walk.entries.empty() && walk.entries.front().isManifest));
    // Walking back, the first entry of each type and id is the one the
    // launcher finds; later duplicates are shadowed by it.
    std::set<std::pair<bool, uint32_t>> seen;
    for (auto entry = walk.entries.rbegin(); entry != walk.entries.rend(); ++entry) {
        FUZZ_CHECK(entry->dataOffset + entry->dataLength + entry->signatureLength + kEntryTrailerSize <= size);
        if (seen.insert({entry->isManifest, entry->id}).second) CheckListedEntry(blob, *entry, bytes);
    }
    uint32_t probes[] = {0, 1000, 1001, size >= kEntryTrailerSize ? ReadU32Le(data + size - 12) : 1};
    for (uint32_t id : probes) {
        if (!seen.count({true, id})) CheckUnlisted(blob, ManifestEntryGuid, id);
        if (!seen.count({false, id})) CheckUnlisted(blob, PayloadEntryGuid, id);
    }
    PlatformFree(bytes);
    return 0;
}
