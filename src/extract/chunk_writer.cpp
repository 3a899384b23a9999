#include "extract/chunk_writer.h"

#include "core/status.h"
#include "extract/file_lock.h"
#include "platform/platform.h"
#include "platform/win32_api.h"

namespace {
void Report(uint32_t* percent, uint32_t value) {
    if (percent) *percent = value;
}

// Fails the call and keeps the system's reason: a run that nobody attends
// has no prompt to show it in, only its exit code.
uint32_t Fail(ExtractionSet* set, uint32_t systemError) {
    set->failureCode = systemError ? systemError : kErrorWriteFault;
    return kErrorWriteFault;
}

bool OpenItemStream(ExtractionSet* set, const PackageItem& item) {
    if (set->streamOpen) return true;
    if (OpenPayloadStreamForWriting(&set->stream, item.payload) != StreamResult::kMore) return false;
    set->streamOpen = 1;
    return true;
}

void CloseItemStream(ExtractionSet* set) {
    if (set->streamOpen) CloseEntryStream(&set->stream);
    set->streamOpen = 0;
    set->chunkFill = 0;
    set->chunkDone = 0;
}

// Reads the next chunk of the item's content into the set's chunk buffer.
// False when it cannot be read or runs past what was verified; the stream then
// keeps failing, and so does every further call for this item.
bool FillChunk(ExtractionSet* set, const PackageItem& item) {
    if (!set->chunk) set->chunk = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, set->chunkSize ? set->chunkSize : 1));
    if (!set->chunk || !OpenItemStream(set, item)) return false;
    uint32_t remaining = item.payload.contentLength - item.bytesWritten;
    uint32_t wanted = remaining < set->chunkSize ? remaining : set->chunkSize;
    uint32_t got = 0;
    StreamResult result = ReadEntryStream(&set->stream, set->chunk, wanted, &got);
    if ((result != StreamResult::kMore && result != StreamResult::kEnded) || got != wanted) return false;
    set->chunkFill = got;
    set->chunkDone = 0;
    return true;
}

// True when the item's content has ended exactly where it was verified to
// end, its deflate data's last block included. Whether it is the verified
// content is for the lock check to say, by its SHA-256.
bool ContentEndsHere(ExtractionSet* set, const PackageItem& item) {
    return OpenItemStream(set, item) && FinishEntryStream(&set->stream) == StreamResult::kEnded;
}

// One WriteFile of what is left of the current chunk, making a new chunk
// first when the last one has been written whole.
uint32_t WriteItemChunk(ExtractionSet* set, PackageItem* item, uint32_t* percent) {
    if (set->chunkDone == set->chunkFill && !FillChunk(set, *item)) return Fail(set, 0);
    uint32_t wanted = set->chunkFill - set->chunkDone;
    DWORD done = 0;
    BOOL written = g_win32.WriteFile(item->outFile, set->chunk + set->chunkDone, wanted, &done, nullptr);
    uint32_t error = written ? 0 : GetLastError();
    // The count is taken even after a failure, so a retry continues right
    // after what reached the file; it never runs past the chunk.
    uint32_t advanced = done < wanted ? done : wanted;
    set->chunkDone += advanced;
    item->bytesWritten += advanced;
    if (percent)
        *percent = static_cast<uint32_t>(static_cast<double>(item->bytesWritten) /
                                         static_cast<double>(item->payload.contentLength) * 100.0);
    return written && done == wanted ? kErrorMoreData : Fail(set, error);
}

// A written file is locked before the cursor leaves it. When that fails
// (someone opened it, or it no longer holds the payload) the write counts as
// failed; a further call tries again.
bool LockWrittenFile(ExtractionSet* set, PackageItem* item, uint32_t* percent) {
    Report(percent, 100);
    SetLastError(0);
    item->readLock = LockFileHoldingPayload(*item);
    if (!item->readLock) {
        Fail(set, GetLastError());
        return false;
    }
    item->awaitingLock = 0;
    return true;
}

// Makes the item at the cursor current. A file that already existed has no
// handle: it counts as written and is left untouched.
uint32_t EnterItem(ExtractionSet* set, uint32_t* percent) {
    CloseItemStream(set);
    if (set->currentItem >= set->itemCount) {
        Report(percent, 100);
        return kErrorSuccess;
    }
    PackageItem* item = &set->items[set->currentItem];
    if (!item->outFile) item->bytesWritten = item->payload.contentLength;
    Report(percent, 0);
    return kErrorMoreData;
}
}  // namespace

uint32_t WriteNextChunk(ExtractionSet* set, uint32_t* percent) {
    if (set->currentItem < 0) {
        set->currentItem = 0;
        return EnterItem(set, percent);
    }
    // A call after the last item, or on a cursor nobody set up, writes nothing.
    if (set->currentItem >= set->itemCount) {
        Report(percent, 100);
        return kErrorSuccess;
    }
    PackageItem* item = &set->items[set->currentItem];
    if (item->bytesWritten < item->payload.contentLength) return WriteItemChunk(set, item, percent);

    if (item->outFile) {
        if (!ContentEndsHere(set, *item)) return Fail(set, 0);
        g_win32.CloseHandle(item->outFile);
        item->outFile = nullptr;
        item->awaitingLock = 1;
    }
    if (item->awaitingLock && !LockWrittenFile(set, item, percent)) return kErrorWriteFault;
    set->currentItem += 1;
    return EnterItem(set, percent);
}

void ReleaseChunkWriter(ExtractionSet* set) {
    CloseItemStream(set);
    PlatformFree(set->chunk);
    set->chunk = nullptr;
}
