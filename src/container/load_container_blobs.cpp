#include <cstring>

#include "container/blob_table.h"
#include "container/own_file.h"
#include "container/tag_lookup.h"
#include "core/status_lines.h"
#include "format/certificate_table.h"
#include "format/chain_walk.h"
#include "platform/platform.h"
#include "platform/win32_api.h"

namespace {
// Reads the whole open file into a new buffer in one call.
StatusValue ReadWholeFile(HANDLE file, uint8_t** image, uint32_t* size) {
    DWORD sizeHigh = 0;
    PlatformSetLastError(0);
    DWORD sizeLow = g_win32.GetFileSize(file, &sizeHigh);
    if (sizeLow == INVALID_FILE_SIZE && PlatformLastError() != 0)
        return StatusOf(kErrorSeekOnDevice, kLineOwnFileSizeUnknown);
    // Every length inside the container is 32 bits wide; a file of 4 GiB or
    // more cannot be the launcher that was packed.
    if (sizeHigh != 0) return StatusOf(kErrorSeekOnDevice, kLineOwnFileSizeUnknown);

    uint8_t* buffer = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, sizeLow ? sizeLow : 1));
    if (!buffer) return MakeStatus(PlatformLastError, kErrorNotEnoughMemory, kLineNoMemoryForFileImage);
    DWORD read = 0;
    if (!g_win32.ReadFile(file, buffer, sizeLow, &read, nullptr) || read != sizeLow) {
        PlatformFree(buffer);
        return StatusOf(kErrorReadFault, kLineOwnFileReadFailed);
    }
    *image = buffer;
    *size = sizeLow;
    return StatusOf(kErrorSuccess, 0);
}

// Where the whole-file chain ends: at the file's last byte, or, when no
// manifest entry stands there, at the first byte of a certificate table that
// closes the file, since a setup packed at its end and signed afterwards
// keeps its chain in front of the table the signing tool appended. Where
// neither holds a manifest entry the file's end stays, so the run ends as
// the first look says.
uint32_t WholeFileChainEnd(const uint8_t* image, uint32_t size) {
    ChainStep step;
    if (FindChainEntry(image, size, ManifestEntryGuid, 0, &step)) return size;
    uint32_t tableOffset = 0;
    if (FindChainEndBeforeCertificateTable(image, size, size, &tableOffset) &&
        FindChainEntry(image, tableOffset, ManifestEntryGuid, 0, &step))
        return tableOffset;
    return size;
}
}  // namespace

StatusValue LoadContainerBlobs(BlobTable* table, const char* path) {
    HANDLE file = g_win32.CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return MakeStatus(PlatformLastError, kErrorOpenFailed, kLineOwnFileNotOpened);

    uint8_t* image = nullptr;
    uint32_t size = 0;
    StatusValue status = ReadWholeFile(file, &image, &size);
    if (StatusSucceeded(status)) {
        status = FindTagBlobs(table, image, size);
        // No tag blob: the chain stands in the file itself.
        // The image becomes that blob rather than a copy of it: a copy would
        // hold the file twice and cost as much time as reading it.
        if (StatusSucceeded(status) && table->blobCount == 0) {
            status = AppendOwnedBlob(table, image, WholeFileChainEnd(image, size), kLineWholeFileBlobNotAppended);
            if (StatusSucceeded(status)) image = nullptr;
        }
    }
    PlatformFree(image);
    g_win32.CloseHandle(file);
    return status;
}
