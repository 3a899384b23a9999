// The records that carry the selected files from the selection onwards: one
// PackageItem per file, all of them in a PackageSet. Item 0 is always the
// package "main.msi". What later steps do with an item (its output file, the
// writer's progress, its lock) they record in records of their own.
#pragma once

#include <cstdint>

#include "format/read_entry.h"

constexpr uint32_t kItemTextSize = 261;  // 260 characters and a terminator

struct PackageItem {
    char fileName[kItemTextSize];
    // Where the verified content stands, its length and its digest; the
    // content itself is read again, piece by piece, when it is written.
    VerifiedPayload payload;
    // UTF-16, as the file system names it; the destination step fills it,
    // and only the Windows steps read it. 260 units and a terminator.
    wchar_t outPath[kItemTextSize];
};

// The items of the chosen package line, in one local-heap array.
struct PackageSet {
    PackageItem* items;  // null until the first item is added
    int32_t itemCount;
};
