#include <cstring>

#include "container/blob_table.h"
#include "container/own_file.h"
#include "container/tag_lookup.h"
#include "core/status_lines.h"
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
        // No tag blob: the chain stands at the very end of the file itself.
        // The image becomes that blob rather than a copy of it: a copy would
        // hold the file twice and cost as much time as reading it.
        if (StatusSucceeded(status) && table->blobCount == 0) {
            status = AppendOwnedBlob(table, image, size, kLineWholeFileBlobNotAppended);
            if (StatusSucceeded(status)) image = nullptr;
        }
    }
    PlatformFree(image);
    g_win32.CloseHandle(file);
    return status;
}
