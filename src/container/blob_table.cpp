#include "container/blob_table.h"

#include <cstring>

#include "container/read_entry.h"
#include "platform/platform.h"

StatusValue AppendBlob(LauncherState* state, const ContainerBlob& blob, uint32_t failureLine) {
    if (state->blobCount == UINT32_MAX) return StatusOf(kErrorNotEnoughMemory, failureLine);
    size_t bytes = (static_cast<size_t>(state->blobCount) + 1) * sizeof(ContainerBlob);
    void* grown = state->blobs ? PlatformReAlloc(state->blobs, bytes, kMemMoveable | kMemZeroInit)
                               : PlatformAlloc(kMemFixed | kMemZeroInit, bytes);
    if (!grown) return MakeStatus(PlatformLastError, kErrorNotEnoughMemory, failureLine);
    state->blobs = static_cast<ContainerBlob*>(grown);
    state->blobs[state->blobCount] = blob;
    ++state->blobCount;
    return StatusOf(kErrorSuccess, 0);
}

StatusValue AppendOwnedBlob(LauncherState* state, uint8_t* bytes, uint32_t size, uint32_t notAppendedLine) {
    ContainerBlob blob = {};
    blob.flags = kBlobCompressed | kBlobSigned;
    blob.size = size;
    blob.data = bytes;

    StatusValue status = ReadEntry(blob, ManifestEntryGuid, 0, &blob.manifest, &blob.manifestSize);
    if (StatusFailed(status)) return status;
    StatusValue appended = AppendBlob(state, blob, notAppendedLine);
    if (StatusFailed(appended)) {
        PlatformFree(blob.manifest);
        return appended;
    }
    return status;
}

StatusValue AppendBlobCopy(LauncherState* state, const uint8_t* bytes, uint32_t size, uint32_t noMemoryLine,
                           uint32_t notAppendedLine) {
    uint8_t* copy = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, size ? size : 1));
    if (!copy) return MakeStatus(PlatformLastError, kErrorNotEnoughMemory, noMemoryLine);
    if (size) std::memcpy(copy, bytes, size);
    StatusValue status = AppendOwnedBlob(state, copy, size, notAppendedLine);
    if (StatusFailed(status)) PlatformFree(copy);
    return status;
}
