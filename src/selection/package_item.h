// The records that carry the extracted files from the selection to the
// installer hand-off: one PackageItem per file, the ExtractionSet with the
// write cursor. Item 0 is always the package "main.msi".
#pragma once

#include <cstdint>

#include "format/entry_stream.h"
#include "format/read_entry.h"

constexpr uint32_t kItemTextSize = 261;       // 260 characters and a terminator
constexpr uint32_t kChunkSize = 524288;       // 512 KiB written per call

struct PackageItem {
    char fileName[kItemTextSize];
    // Where the verified content stands, its length and its digest; the
    // content itself is read again, piece by piece, when it is written.
    VerifiedPayload payload;
    void* outFile;          // open output file (a HANDLE), or null
    uint32_t bytesWritten;  // never above payload.contentLength
    // UTF-16, as the file system names it; only the Windows steps fill and
    // read it. 260 units and a terminator.
    wchar_t outPath[kItemTextSize];
    // A read handle that denies writing and deleting, held from the moment
    // the file is complete until the clean-up, so nobody can swap the
    // verified file before or while the installer reads it.
    void* readLock;
    uint32_t awaitingLock;  // written and closed, not yet locked
};

struct ExtractionSet {
    PackageItem* items;     // null until the first item is added
    int32_t itemCount;
    int32_t currentItem;    // -1 before the first write; itemCount when all are done
    uint32_t chunkSize;
    uintptr_t timerId;      // the progress window's armed timer
    // The writer's state: the current item's content stream, and one chunk
    // of it, of which the bytes from chunkDone to chunkFill are still to be
    // written. The chunk buffer is reused for every chunk of every item.
    EntryStream stream;
    uint32_t streamOpen;
    uint8_t* chunk;
    uint32_t chunkFill;
    uint32_t chunkDone;
    // Why the last call that returned 29 failed: the system's error for the
    // write or the lock, or 29 when the system gave none.
    uint32_t failureCode;
};
