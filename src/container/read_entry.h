// Getting one entry's content out of a blob: walk, inflate, verify.
#pragma once

#include <cstdint>

#include "container/container_blob.h"
#include "container/entry_format.h"
#include "launcher/status.h"

// On success `content` receives a new local-heap buffer that the caller frees
// with PlatformFree, and `length` its byte count. On failure both are left as
// they were, except a failed allocation of the signature-copy case.
StatusValue ReadEntry(const ContainerBlob& blob, const EntryTypeGuid& type, uint32_t id, uint8_t** content,
                      uint32_t* length);

// zlib result code: 0 on success, -3 for a bad or incomplete stream, -4 when
// the output cannot grow, or the set-up's own code. On failure the buffer is
// null and the length 0.
int InflateToBuffer(uint8_t** buffer, uint32_t* length, const uint8_t* input, uint32_t inputLength);

// RSASSA-PKCS1-v1_5 with SHA-256 over `content`, checked with the built-in
// verification key. The line of the returned status is the caller's to set.
StatusValue VerifyEntrySignature(const uint8_t* content, uint32_t length, const uint8_t* signature,
                                 uint32_t signatureLength);

// ReadEntry for a payload, sparing the copy where it can: when the entry's
// data are stored deflate blocks in a compressed blob, the content is made in
// place inside the blob and `*lent` is set. Such content belongs to the blob
// and lives as long as it; the caller must not free it. Any other entry is
// read as ReadEntry reads it, into a buffer the caller owns. An entry whose
// data were once used in place yields, when read again, a fresh verified copy
// of its content, or the first read's failure.
StatusValue ReadPayloadEntry(ContainerBlob* blob, uint32_t id, uint8_t** content, uint32_t* length, bool* lent);
