// What the extraction steps record while they write the selected items: the
// output file of each item and its lock, the writer's stream and chunk, and
// the cursor. The items themselves are the selection's records.
#pragma once

#include <cstdint>

#include "extract/file_lock.h"
#include "format/entry_stream.h"
#include "platform/platform.h"
#include "selection/package_item.h"

constexpr uint32_t kChunkSize = 524288;  // 512 KiB written per call

// One item's output, at the item's index: the file the destination step
// opened and how far the writer has got in it.
struct ItemOutput {
    void* outFile;          // open output file (a HANDLE), or null
    uint32_t bytesWritten;  // never above the item's payload.contentLength
    uint32_t awaitingLock;  // written and closed, not yet locked
    FileLock lock;
};

// The writer's state: the current item's content stream, and one chunk of
// it, of which the bytes from chunkDone to chunkFill are still to be
// written. While that chunk is written, the worker reads the one after it
// into `next`; the two buffers are reused for every chunk of every item.
struct ChunkWriter {
    uint32_t chunkSize;
    EntryStream stream;
    uint32_t streamOpen;
    uint8_t* chunk;
    uint32_t chunkFill;
    uint32_t chunkDone;
    uint8_t* next;
    PlatformWorker* worker;  // null until a chunk is first read ahead, or when no thread can be had
    uint32_t readingAhead;   // the worker was given the next chunk's read, not yet taken
    uint32_t nextWanted;
    uint32_t nextGot;
    StreamResult nextResult;
};

struct ExtractionSet {
    // The selection's items, handed over with their array: the clean-up
    // frees it. Item 0 is the package "main.msi".
    PackageItem* items;
    int32_t itemCount;
    ItemOutput* outputs;  // one per item, made by the destination step; null before
    int32_t currentItem;  // -1 before the first write; itemCount when all are done
    ChunkWriter writer;
    // Why the last call that returned 29 failed: the system's error for the
    // write or the lock, or 29 when the system gave none.
    uint32_t failureCode;
};
