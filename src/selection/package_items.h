// Filling PackageItems from payload entries and growing the item array.
#pragma once

#include <cstdint>

#include "selection/package_item.h"
#include "container/blob_table.h"

// Zeroes `item`, names it `name` (cut to 260 characters) and reads the payload
// entry `entryId` of blob `blobIndex` into its payload record. True exactly
// when the entry was read and verified.
bool LoadPackageItem(const BlobTable* table, uint32_t blobIndex, uint32_t entryId, PackageItem* item,
                     const char* name);

// True when an item in front of `index` has the same file name, in any letter
// case, but other content. Both would be written to one path, and the one
// that reached it first would win: the package is then not what was signed
// as a whole, whichever that is. Content is compared by length and SHA-256.
bool ClashesWithEarlierItem(const PackageItem* items, int32_t index);

// The item array with one more zero-filled element at index `count`, or null
// when it cannot grow (the old array is then unchanged and still valid).
PackageItem* GrowItemArray(PackageItem* items, int32_t count);
