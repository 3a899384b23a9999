// The blob table: every container blob found in the launcher's own file, in
// the order the lookup found them. It only grows, one record at a time.
#pragma once

#include <cstdint>

#include "core/status.h"
#include "format/chain_placement.h"
#include "format/container_blob.h"

struct BlobTable {
    ContainerBlob* blobs;  // local heap, grown one element at a time
    uint32_t blobCount;
    // The launcher's own file, open for reading with writes denied to
    // everyone, from the first read until the run ends: a blob that stands in
    // it is read again when its files are written, and must not change.
    void* ownFile;
};

// Adds a copy of `blob` at the end of the table. On failure the table stays
// as it was and the status carries `failureLine`; on success the code is 0.
StatusValue AppendBlob(BlobTable* table, const ContainerBlob& blob, uint32_t failureLine);

// Makes a compressed, signed blob of the first `size` bytes of the table's
// own file, extracts its manifest and appends it. Returns the manifest's
// ReadEntry status on success; on failure nothing stays allocated and the
// table is unchanged.
StatusValue AppendFileBlob(BlobTable* table, uint32_t size, uint32_t notAppendedLine);

// Makes a compressed, signed blob from a private copy of `bytes`, extracts its
// manifest and appends it. Returns the manifest's ReadEntry status on success;
// on failure nothing stays allocated and the table is unchanged.
StatusValue AppendBlobCopy(BlobTable* table, const uint8_t* bytes, uint32_t size, uint32_t noMemoryLine,
                           uint32_t notAppendedLine);

// Fills the table from the file as the placement decision says: the tag
// blobs that `reader` appends, or else the one blob of the file's first
// `placement->chainEnd` bytes with its manifest extracted (read from the
// table's own file for a file source, from a private copy for memory).
// Returns the decision's failure, or the last manifest's ReadEntry status.
StatusValue PlaceContainerBlobs(BlobTable* table, const ByteSource& file, const TagReader& reader,
                                ChainPlacement* placement);

// Frees every blob's data and manifest and the table itself, and closes the
// own file.
void ReleaseBlobTable(BlobTable* table);
