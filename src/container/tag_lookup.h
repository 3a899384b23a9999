// Tag blobs: container blobs carried as the value of a certificate extension
// in the file's Authenticode signature, so that a vendor can sign the stub
// once and re-pack it without re-signing.
#pragma once

#include <cstdint>

#include "container/blob_table.h"
#include "core/status.h"
#include "format/byte_source.h"
#include "format/chain_placement.h"

// Appends one blob per non-critical tag extension found in the certificates
// of the image's signature, in certificate and extension order. Code 0 with
// line 789 and an unchanged table: the image carries none (or is no signed
// PE32+ image at all). Of an image in a file, only the signature is read
// into memory, and only while it is decoded.
StatusValue FindTagBlobs(BlobTable* table, const ByteSource& image);

// The same lookup as the placement decision's tag reader: it appends the tag
// blobs of the signature at the given place to `table`.
TagReader SignatureTagReader(BlobTable* table);
