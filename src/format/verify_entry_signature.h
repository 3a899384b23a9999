// Checking an entry's signature with the verification key built into the
// program.
#pragma once

#include <cstdint>

#include "core/status.h"
#include "format/entry_stream.h"
#include "format/verify_digest.h"

// RSASSA-PKCS1-v1_5 with SHA-256 over `content`, checked with the built-in
// verification key. The line of the returned status is the caller's to set.
StatusValue VerifyEntrySignature(const uint8_t* content, uint32_t length, const uint8_t* signature,
                                 uint32_t signatureLength);

// The same check over a SHA-256 digest of the content made earlier.
StatusValue VerifyEntryDigest(const uint8_t digest[kDigestSize], const uint8_t* signature, uint32_t signatureLength);

// The SHA-256 digest of the content that the stream yields from where it
// stands to its end, and that content's length. Any result but kEnded leaves
// both unusable.
StreamResult DigestEntryStream(EntryStream* stream, uint8_t digest[kDigestSize], uint64_t* length);
