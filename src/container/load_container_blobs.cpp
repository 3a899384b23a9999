#include "container/blob_table.h"
#include "container/own_file.h"
#include "container/tag_lookup.h"
#include "core/status_lines.h"
#include "format/certificate_table.h"
#include "format/chain_walk.h"
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

// Where the whole-file chain ends: at the file's last byte, or, when no
// manifest entry stands there, at the first byte of a certificate table that
// closes the file, since a setup packed at its end and signed afterwards
// keeps its chain in front of the table the signing tool appended. Where
// neither holds a manifest entry the file's end stays, so the run ends as
// the first look says.
uint32_t WholeFileChainEnd(const ByteSource& file) {
    ChainStep step;
    if (FindChainEntry(file, ManifestEntryGuid, 0, &step) != ChainSearch::kNotFound) return file.size;
    uint32_t tableOffset = 0;
    if (FindChainEndBeforeCertificateTable(file, &tableOffset) &&
        FindChainEntry(SourcePrefix(file, tableOffset), ManifestEntryGuid, 0, &step) == ChainSearch::kFound)
        return tableOffset;
    return file.size;
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
    ByteSource image = FileSource(file, size);
    status = FindTagBlobs(table, image);
    // No tag blob: the chain stands in the file itself.
    if (StatusSucceeded(status) && table->blobCount == 0)
        status = AppendFileBlob(table, WholeFileChainEnd(image), kLineWholeFileBlobNotAppended);
    return status;
}
