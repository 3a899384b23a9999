// Cabinet lines: "cab\owners\file name", one per cabinet file, naming the
// package lines (by record id) that the cabinet belongs to.
#pragma once

#include <cstdint>

#include "selection/package_item.h"
#include "container/blob_table.h"

struct CabinetGather {
    const BlobTable* table;      // the blobs that the cabinets are read from
    PackageItem** items;         // the PackageSet's items, grown by one element per cabinet
    int32_t* count;              // the PackageSet's itemCount
    uint32_t blobIndex;          // the chosen package line's blob
    uint32_t entryId;            // the chosen package line's record id
    int32_t failed;              // 1 once a cabinet could not be added or read
};

// ManifestCallback with a CabinetGather as context. Adds one item per owner
// element that names the chosen package line in the same blob. Always returns
// non-zero, so every record is visited. A cabinet of the chosen package whose
// name is no plain file name, or does not convert exactly to the ANSI code
// page within 255 bytes, fails the gathering.
int MatchCabinetLine(uint32_t blobIndex, uint32_t recordId, const char16_t* text, uint32_t units, void* context);
