#include "selection/package_items.h"

#include <cstdio>
#include <cstring>

#include "format/read_entry.h"
#include "platform/platform.h"

bool LoadPackageItem(const BlobTable* table, uint32_t blobIndex, uint32_t entryId, PackageItem* item,
                     const char* name) {
    std::memset(item, 0, sizeof(*item));
    std::snprintf(item->fileName, sizeof(item->fileName), "%s", name);
    if (blobIndex >= table->blobCount) return false;
    return StatusSucceeded(VerifyPayloadEntry(table->blobs[blobIndex], entryId, &item->payload));
}

bool ClashesWithEarlierItem(const PackageItem* items, int32_t index) {
    const PackageItem& later = items[index];
    for (int32_t i = 0; i < index; ++i) {
        const PackageItem& earlier = items[i];
        if (PlatformCompareNoCase(earlier.fileName, later.fileName) != 0) continue;
        bool sameContent = earlier.payload.contentLength == later.payload.contentLength &&
                           std::memcmp(earlier.payload.digest, later.payload.digest, kDigestSize) == 0;
        if (!sameContent) return true;
    }
    return false;
}

PackageItem* GrowItemArray(PackageItem* items, int32_t count) {
    if (count < 0 || count == INT32_MAX) return nullptr;
    size_t bytes = (static_cast<size_t>(count) + 1) * sizeof(PackageItem);
    if (!items) return static_cast<PackageItem*>(PlatformAlloc(kMemZeroInit, bytes));
    return static_cast<PackageItem*>(PlatformReAlloc(items, bytes, kMemMoveable | kMemZeroInit));
}
