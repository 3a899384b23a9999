#include "extract/file_lock.h"

#include <windows.h>

#include <cstring>

#include "format/entry_stream.h"
#include "format/verify_entry_signature.h"
#include "platform/platform.h"
#include "platform/win32_api.h"

namespace {
constexpr uint32_t kComparePieceSize = 512u << 10;

// The file's SHA-256 equals the verified content's: no copy of the content
// needs to stay in memory for the comparison.
bool DigestMatches(HANDLE file, uint32_t size, const VerifiedPayload& payload) {
    EntryStream stream;
    OpenEntryStream(&stream, FileSource(file, size), 0, size, false, size);
    uint8_t digest[kDigestSize];
    uint64_t length = 0;
    bool same = DigestEntryStream(&stream, digest, &length) == StreamResult::kEnded && length == size &&
                std::memcmp(digest, payload.digest, kDigestSize) == 0;
    CloseEntryStream(&stream);
    return same;
}

struct ComparePieces {
    EntryStream* content;
    uint8_t* piece;
    uint32_t wanted;
    uint32_t got;
    StreamResult result;
};

void ReadContentPiece(void* parameter) {
    auto* pieces = static_cast<ComparePieces*>(parameter);
    pieces->got = 0;
    pieces->result = ReadEntryStream(pieces->content, pieces->piece, pieces->wanted, &pieces->got);
}

// Each piece of the file against the same piece of the content, made again
// from the data it was verified from; the worker makes the content's piece
// while this thread reads the file's.
bool SamePieces(HANDLE file, uint32_t size, EntryStream* content, uint8_t* buffers, PlatformWorker* worker) {
    ComparePieces pieces = {content, buffers + kComparePieceSize, 0, 0, StreamResult::kMore};
    for (uint32_t offset = 0; offset < size;) {
        pieces.wanted = size - offset < kComparePieceSize ? size - offset : kComparePieceSize;
        if (worker) PlatformWorkerRun(worker, ReadContentPiece, &pieces);
        bool read = PlatformReadFileAt(file, offset, buffers, pieces.wanted);
        if (worker) PlatformWorkerWait(worker);
        else ReadContentPiece(&pieces);
        bool whole = pieces.result == StreamResult::kMore || pieces.result == StreamResult::kEnded;
        if (!read || !whole || pieces.got != pieces.wanted || std::memcmp(buffers, pieces.piece, pieces.wanted) != 0)
            return false;
        offset += pieces.wanted;
    }
    return true;
}

// The content of data that are no smaller than it (stored blocks, or plain
// data) is made again at the speed of copying, faster than SHA-256 hashes;
// the bytes are compared with the file, which is exact. Inflating deflated
// data takes longer than hashing them, so those are compared by digest.
bool ContentMatches(HANDLE file, uint32_t size, const VerifiedPayload& payload) {
    auto* buffers = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, 2 * static_cast<size_t>(kComparePieceSize)));
    if (!buffers) return false;
    EntryStream content;
    StreamResult opened = payload.compressed ? OpenVerifiedStream(&content, payload.source, payload.dataOffset,
                                                                  payload.dataLength, payload.contentLength)
                                             : OpenPayloadStream(&content, payload);
    PlatformWorker* worker = size > kComparePieceSize ? PlatformStartWorker() : nullptr;
    bool same = opened == StreamResult::kMore && SamePieces(file, size, &content, buffers, worker);
    PlatformStopWorker(worker);
    // The content must end where the file does.
    same = same && FinishEntryStream(&content) == StreamResult::kEnded;
    CloseEntryStream(&content);
    PlatformFree(buffers);
    return same;
}

bool HoldsVerifiedContent(HANDLE file, uint32_t size, const VerifiedPayload& payload) {
    if (size != payload.contentLength) return false;
    if (payload.dataLength >= payload.contentLength) return ContentMatches(file, size, payload);
    return DigestMatches(file, size, payload);
}
}  // namespace

// The comparison runs through the locking handle: what it finds is what the
// installer will read, since nobody can change the file while it is held.
// This also covers the moment between closing the written file and locking it.
void* LockFileHoldingPayload(const PackageItem& item) {
    HANDLE file = g_win32.CreateFileW(item.outPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    DWORD high = 0;
    DWORD low = g_win32.GetFileSize(file, &high);
    if (high == 0 && HoldsVerifiedContent(file, low, item.payload)) return file;
    g_win32.CloseHandle(file);
    return nullptr;
}

void ReleaseFileLock(PackageItem* item) {
    if (item->readLock) g_win32.CloseHandle(item->readLock);
    item->readLock = nullptr;
    item->awaitingLock = 0;
}
