#include "container/blob_table.h"

#include <cstring>

#include "core/status_lines.h"
#include "format/read_entry.h"
#include "platform/platform.h"

StatusValue AppendBlob(BlobTable* table, const ContainerBlob& blob, uint32_t failureLine) {
    if (table->blobCount == UINT32_MAX) return StatusOf(kErrorNotEnoughMemory, failureLine);
    size_t bytes = (static_cast<size_t>(table->blobCount) + 1) * sizeof(ContainerBlob);
    void* grown = table->blobs ? PlatformReAlloc(table->blobs, bytes, kMemMoveable | kMemZeroInit)
                               : PlatformAlloc(kMemFixed | kMemZeroInit, bytes);
    if (!grown) return MakeStatus(PlatformLastError, kErrorNotEnoughMemory, failureLine);
    table->blobs = static_cast<ContainerBlob*>(grown);
    table->blobs[table->blobCount] = blob;
    ++table->blobCount;
    return StatusOf(kErrorSuccess, 0);
}

namespace {
StatusValue AppendSignedBlob(BlobTable* table, ContainerBlob blob, uint32_t notAppendedLine) {
    blob.flags = kBlobCompressed | kBlobSigned;

    StatusValue status = ReadEntry(blob, ManifestEntryGuid, 0, &blob.manifest, &blob.manifestSize);
    if (StatusFailed(status)) return status;
    StatusValue appended = AppendBlob(table, blob, notAppendedLine);
    if (StatusFailed(appended)) {
        PlatformFree(blob.manifest);
        return appended;
    }
    return status;
}
}  // namespace

StatusValue AppendFileBlob(BlobTable* table, uint32_t size, uint32_t notAppendedLine) {
    ContainerBlob blob = {};
    blob.size = size;
    blob.file = table->ownFile;
    return AppendSignedBlob(table, blob, notAppendedLine);
}

StatusValue AppendBlobCopy(BlobTable* table, const uint8_t* bytes, uint32_t size, uint32_t noMemoryLine,
                           uint32_t notAppendedLine) {
    uint8_t* copy = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, size ? size : 1));
    if (!copy) return MakeStatus(PlatformLastError, kErrorNotEnoughMemory, noMemoryLine);
    if (size) std::memcpy(copy, bytes, size);
    ContainerBlob blob = {};
    blob.size = size;
    blob.data = copy;
    StatusValue status = AppendSignedBlob(table, blob, notAppendedLine);
    if (StatusFailed(status)) PlatformFree(copy);
    return status;
}

StatusValue PlaceContainerBlobs(BlobTable* table, const ByteSource& file, const TagReader& reader,
                                ChainPlacement* placement) {
    StatusValue status = DecideChainPlacement(file, reader, placement);
    if (StatusFailed(status) || placement->site == ChainSite::kTagCertificate) return status;
    if (file.memory)
        return AppendBlobCopy(table, file.memory, placement->chainEnd, kLineWholeFileBlobNotAppended,
                              kLineWholeFileBlobNotAppended);
    return AppendFileBlob(table, placement->chainEnd, kLineWholeFileBlobNotAppended);
}

void ReleaseBlobTable(BlobTable* table) {
    for (uint32_t i = 0; i < table->blobCount; ++i) {
        PlatformFree(table->blobs[i].data);
        PlatformFree(table->blobs[i].manifest);
    }
    PlatformFree(table->blobs);
    PlatformCloseFile(table->ownFile);
    table->blobs = nullptr;
    table->blobCount = 0;
    table->ownFile = nullptr;
}
