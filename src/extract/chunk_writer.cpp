#include "extract/chunk_writer.h"

#include "extract/file_lock.h"
#include "core/status.h"
#include "platform/win32_api.h"

namespace {
void Report(uint32_t* percent, uint32_t value) {
    if (percent) *percent = value;
}

// One WriteFile of at most chunkSize bytes from where the item stands.
uint32_t WriteItemChunk(PackageItem* item, uint32_t chunkSize, uint32_t* percent) {
    uint32_t remaining = item->payloadSize - item->bytesWritten;
    uint32_t wanted = remaining < chunkSize ? remaining : chunkSize;
    DWORD done = 0;
    BOOL written = g_win32.WriteFile(item->outFile, item->payload + item->bytesWritten, wanted, &done, nullptr);
    // The count is taken even after a failure, so a retry continues right
    // after what reached the file; it never runs past the payload.
    item->bytesWritten += done < wanted ? done : wanted;
    if (percent)
        *percent = static_cast<uint32_t>(static_cast<double>(item->bytesWritten) /
                                         static_cast<double>(item->payloadSize) * 100.0);
    return written && done == wanted ? kErrorMoreData : kErrorWriteFault;
}

// A written file is locked before the cursor leaves it. When that fails
// (someone opened it, or it no longer holds the payload) the write counts as
// failed; a further call tries again.
bool LockWrittenFile(PackageItem* item, uint32_t* percent) {
    Report(percent, 100);
    item->readLock = LockFileHoldingPayload(*item);
    if (!item->readLock) return false;
    item->awaitingLock = 0;
    return true;
}

// Makes the item at the cursor current. A file that already existed has no
// handle: it counts as written and is left untouched.
uint32_t EnterItem(ExtractionSet* set, uint32_t* percent) {
    if (set->currentItem >= set->itemCount) {
        Report(percent, 100);
        return kErrorSuccess;
    }
    PackageItem* item = &set->items[set->currentItem];
    if (!item->outFile) item->bytesWritten = item->payloadSize;
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
    if (item->bytesWritten < item->payloadSize) return WriteItemChunk(item, set->chunkSize, percent);

    if (item->outFile) {
        g_win32.CloseHandle(item->outFile);
        item->outFile = nullptr;
        item->awaitingLock = 1;
    }
    if (item->awaitingLock && !LockWrittenFile(item, percent)) return kErrorWriteFault;
    set->currentItem += 1;
    return EnterItem(set, percent);
}
