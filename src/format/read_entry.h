// Getting one entry out of a blob: walk, read or inflate, verify.
#pragma once

#include <cstdint>

#include "core/status.h"
#include "format/container_blob.h"
#include "format/entry_format.h"
#include "format/entry_stream.h"
#include "format/verify_digest.h"

// A manifest is a few kilobytes of text; one that inflates past this is a
// bomb, and it fails as any stream that does not inflate, before it can take
// the memory and time of a payload-sized buffer.
constexpr uint32_t kMaxManifestContentLength = 16u << 20;

// The largest content an entry can have: its length travels as a u32.
constexpr uint32_t kMaxEntryContentLength = 0xFFFFFFFFu;

// On success `content` receives a new local-heap buffer that the caller frees
// with PlatformFree, and `length` its byte count. On failure both are left as
// they were.
StatusValue ReadEntry(const ContainerBlob& blob, const EntryTypeGuid& type, uint32_t id, uint8_t** content,
                      uint32_t* length);

// A payload entry that was read whole and verified: where its data stand, and
// what they were found to yield. Its content is read again from there; the
// blob must outlive the record.
struct VerifiedPayload {
    ByteSource source;
    uint32_t dataOffset;
    uint32_t dataLength;
    uint32_t compressed;      // the data are a zlib stream, not the content itself
    uint32_t contentLength;
    uint8_t digest[kDigestSize];  // SHA-256 of the content
};

// Reads the payload entry `id` in one pass, without holding its content:
// inflated piece by piece, hashed and measured, then its signature checked
// against the digest. The status is the one ReadEntry gives for the entry;
// `payload` is complete when it succeeds and zeroed when it fails.
StatusValue VerifyPayloadEntry(const ContainerBlob& blob, uint32_t id, VerifiedPayload* payload);

// A stream over the payload's content that fails with kTooLong where it
// would yield more than was verified.
StreamResult OpenPayloadStream(EntryStream* stream, const VerifiedPayload& payload);

// The same content for writing it out: compressed data are inflated without
// their zlib Adler-32 (OpenRawDeflateStream), which would only repeat, more
// weakly, the SHA-256 comparison that every written file goes through before
// it is used. The length is still held to what was verified.
StreamResult OpenPayloadStreamForWriting(EntryStream* stream, const VerifiedPayload& payload);
