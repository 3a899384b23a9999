// Verified payload records over bytes that the test holds, as the selection
// leaves them: where the data stand, the content's length and its SHA-256.
#pragma once

#include <openssl/sha.h>

#include <string>

#include "format/byte_source.h"
#include "format/read_entry.h"

// The data must outlive the record; `content` is what they yield.
inline VerifiedPayload PayloadOver(const ByteSource& source, uint32_t dataLength, bool compressed,
                                   const std::string& content) {
    VerifiedPayload payload = {source, 0, dataLength, compressed ? 1u : 0u,
                               static_cast<uint32_t>(content.size()), {}};
    SHA256(reinterpret_cast<const unsigned char*>(content.data()), content.size(), payload.digest);
    return payload;
}

// Plain data in memory that are the content themselves.
inline VerifiedPayload PlainPayload(const std::string& content) {
    return PayloadOver(MemorySource(reinterpret_cast<const uint8_t*>(content.data()),
                                    static_cast<uint32_t>(content.size())),
                       static_cast<uint32_t>(content.size()), false, content);
}
