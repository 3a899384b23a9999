#include "container/blob_table.h"
#include "container/own_file.h"
#include "container/tag_lookup.h"
#include "core/status_lines.h"
#include "platform/platform.h"
#include "platform/win32_api.h"

namespace {
StatusValue OwnFileSize(HANDLE file, uint32_t* size) {
    DWORD sizeHigh = 0;
    PlatformSetLastError(0);
    DWORD sizeLow = g_win32.GetFileSize(file, &sizeHigh);
    if (sizeLow == INVALID_FILE_SIZE && PlatformLastError() != 0)
        return StatusOf(kErrorSeekOnDevice, kLineOwnFileSizeUnknown);
    // Every length inside the container is 32 bits wide; a file of 4 GiB or
    // more cannot be the launcher that was packed.
    if (sizeHigh != 0) return StatusOf(kErrorSeekOnDevice, kLineOwnFileSizeUnknown);
    *size = sizeLow;
    return StatusOf(kErrorSuccess, 0);
}

}  // namespace

// The file stays open, denying writes, until the table is released: the
// whole-file blob is read from it again when its files are written, and what
// was verified must be what is written.
StatusValue LoadContainerBlobs(BlobTable* table, const wchar_t* path) {
    void* opened = nullptr;
    StatusValue status = OpenOwnImageFile(path, &opened);
    if (StatusFailed(status)) return status;
    HANDLE file = opened;
    table->ownFile = file;

    uint32_t size = 0;
    status = OwnFileSize(file, &size);
    if (StatusFailed(status)) return status;
    ChainPlacement placement;
    return PlaceContainerBlobs(table, FileSource(file, size), SignatureTagReader(table), &placement);
}
