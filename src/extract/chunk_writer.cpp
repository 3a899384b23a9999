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

bool OpenItemStream(ChunkWriter* writer, const PackageItem& item) {
    if (writer->streamOpen) return true;
    if (OpenPayloadStreamForWriting(&writer->stream, item.payload) != StreamResult::kMore) return false;
    writer->streamOpen = 1;
    return true;
}

// The read ahead, if one was started, has finished: the stream and the
// next buffer are the caller's again.
void TakeReadAhead(ChunkWriter* writer) {
    if (!writer->readingAhead) return;
    PlatformWorkerWait(writer->worker);
    writer->readingAhead = 0;
}

void CloseItemStream(ChunkWriter* writer) {
    TakeReadAhead(writer);
    if (writer->streamOpen) CloseEntryStream(&writer->stream);
    writer->streamOpen = 0;
    writer->chunkFill = 0;
    writer->chunkDone = 0;
}

uint32_t ChunkBufferSize(const ChunkWriter& writer) { return writer.chunkSize ? writer.chunkSize : 1; }

bool MakeChunkBuffers(ChunkWriter* writer) {
    if (!writer->chunk) writer->chunk = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, ChunkBufferSize(*writer)));
    if (!writer->next) writer->next = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, ChunkBufferSize(*writer)));
    return writer->chunk && writer->next;
}

void ReadNextChunk(void* context) {
    auto* writer = static_cast<ChunkWriter*>(context);
    writer->nextGot = 0;
    writer->nextResult = ReadEntryStream(&writer->stream, writer->next, writer->nextWanted, &writer->nextGot);
}

// Inflating a chunk takes about as long as writing one, so the worker reads
// the chunk after the current one while the current one is written; without
// a second thread each chunk is read when it is needed. What the read gives
// is taken, failure included, only when its chunk is due, so every call
// reports what it reported when chunks were read one at a time.
void StartReadAhead(ChunkWriter* writer, uint32_t wanted) {
    if (wanted == 0) return;
    if (!writer->worker) writer->worker = PlatformStartWorker();
    if (!writer->worker) return;
    writer->nextWanted = wanted;
    writer->readingAhead = 1;
    PlatformWorkerRun(writer->worker, ReadNextChunk, writer);
}

// The next chunk of the item's content in the writer's chunk buffer: the one
// read ahead, or one read now. False when it cannot be read or runs past
// what was verified; the stream then keeps failing, and so does every
// further call for this item.
bool FillChunk(ChunkWriter* writer, const PackageItem& item, const ItemOutput& output) {
    if (!MakeChunkBuffers(writer) || !OpenItemStream(writer, item)) return false;
    uint32_t size = ChunkBufferSize(*writer);
    uint32_t remaining = item.payload.contentLength - output.bytesWritten;
    uint32_t wanted = remaining < size ? remaining : size;
    uint32_t got = 0;
    StreamResult result;
    if (writer->readingAhead) {
        TakeReadAhead(writer);
        uint8_t* read = writer->next;
        writer->next = writer->chunk;
        writer->chunk = read;
        got = writer->nextGot;
        result = writer->nextResult;
    } else {
        result = ReadEntryStream(&writer->stream, writer->chunk, wanted, &got);
    }
    if ((result != StreamResult::kMore && result != StreamResult::kEnded) || got != wanted) return false;
    writer->chunkFill = got;
    writer->chunkDone = 0;
    uint32_t after = remaining - got;
    StartReadAhead(writer, after < size ? after : size);
    return true;
}

// True when the item's content has ended exactly where it was verified to
// end, its deflate data's last block included. Whether it is the verified
// content is for the lock check to say, by its SHA-256.
bool ContentEndsHere(ChunkWriter* writer, const PackageItem& item) {
    TakeReadAhead(writer);
    return OpenItemStream(writer, item) && FinishEntryStream(&writer->stream) == StreamResult::kEnded;
}

// One WriteFile of what is left of the current chunk, making a new chunk
// first when the last one has been written whole.
uint32_t WriteItemChunk(ExtractionSet* set, const PackageItem& item, ItemOutput* output, uint32_t* percent) {
    ChunkWriter* writer = &set->writer;
    if (writer->chunkDone == writer->chunkFill && !FillChunk(writer, item, *output)) return Fail(set, 0);
    uint32_t wanted = writer->chunkFill - writer->chunkDone;
    DWORD done = 0;
    BOOL written = g_win32.WriteFile(output->outFile, writer->chunk + writer->chunkDone, wanted, &done, nullptr);
    uint32_t error = written ? 0 : GetLastError();
    // The count is taken even after a failure, so a retry continues right
    // after what reached the file; it never runs past the chunk.
    uint32_t advanced = done < wanted ? done : wanted;
    writer->chunkDone += advanced;
    output->bytesWritten += advanced;
    if (percent)
        *percent = static_cast<uint32_t>(static_cast<double>(output->bytesWritten) /
                                         static_cast<double>(item.payload.contentLength) * 100.0);
    return written && done == wanted ? kErrorMoreData : Fail(set, error);
}

// A written file is locked before the cursor leaves it. When that fails
// (someone opened it, or it no longer holds the payload) the write counts as
// failed; a further call tries again.
bool LockWrittenFile(ExtractionSet* set, const PackageItem& item, ItemOutput* output, uint32_t* percent) {
    Report(percent, 100);
    SetLastError(0);
    output->lock.readLock = LockFileHoldingPayload(item);
    if (!output->lock.readLock) {
        Fail(set, GetLastError());
        return false;
    }
    output->awaitingLock = 0;
    return true;
}

// Makes the item at the cursor current. A file that already existed has no
// handle: it counts as written and is left untouched.
uint32_t EnterItem(ExtractionSet* set, uint32_t* percent) {
    CloseItemStream(&set->writer);
    if (set->currentItem >= set->itemCount || !set->outputs) {
        Report(percent, 100);
        return kErrorSuccess;
    }
    ItemOutput* output = &set->outputs[set->currentItem];
    if (!output->outFile) output->bytesWritten = set->items[set->currentItem].payload.contentLength;
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
    if (set->currentItem >= set->itemCount || !set->outputs) {
        Report(percent, 100);
        return kErrorSuccess;
    }
    const PackageItem& item = set->items[set->currentItem];
    ItemOutput* output = &set->outputs[set->currentItem];
    if (output->bytesWritten < item.payload.contentLength) return WriteItemChunk(set, item, output, percent);

    if (output->outFile) {
        if (!ContentEndsHere(&set->writer, item)) return Fail(set, 0);
        g_win32.CloseHandle(output->outFile);
        output->outFile = nullptr;
        output->awaitingLock = 1;
    }
    if (output->awaitingLock && !LockWrittenFile(set, item, output, percent)) return kErrorWriteFault;
    set->currentItem += 1;
    return EnterItem(set, percent);
}

void ReleaseChunkWriter(ExtractionSet* set) {
    ChunkWriter* writer = &set->writer;
    CloseItemStream(writer);
    PlatformStopWorker(writer->worker);
    writer->worker = nullptr;
    PlatformFree(writer->chunk);
    PlatformFree(writer->next);
    writer->chunk = nullptr;
    writer->next = nullptr;
}
