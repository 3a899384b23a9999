// Getting one entry's content out of a blob: walk, inflate, verify.
#pragma once

#include <cstdint>

#include "format/container_blob.h"
#include "format/entry_format.h"
#include "core/status.h"

// A manifest is a few kilobytes of text; one that inflates past this is a
// bomb, and it fails as any stream that does not inflate, before it can take
// the memory and time of a payload-sized buffer.
constexpr uint32_t kMaxManifestContentLength = 16u << 20;

// On success `content` receives a new local-heap buffer that the caller frees
// with PlatformFree, and `length` its byte count. On failure both are left as
// they were, except a failed allocation of the signature-copy case.
StatusValue ReadEntry(const ContainerBlob& blob, const EntryTypeGuid& type, uint32_t id, uint8_t** content,
                      uint32_t* length);

// ReadEntry for a payload, sparing the copy where it can: when the entry's
// data are stored deflate blocks in a compressed blob, the content is made in
// place inside the blob and `*lent` is set. Such content belongs to the blob
// and lives as long as it; the caller must not free it. Any other entry is
// read as ReadEntry reads it, into a buffer the caller owns. An entry whose
// data were once used in place yields, when read again, a fresh verified copy
// of its content, or the first read's failure.
StatusValue ReadPayloadEntry(ContainerBlob* blob, uint32_t id, uint8_t** content, uint32_t* length, bool* lent);
