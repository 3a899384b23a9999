// Verified payload records over bytes that the test holds, as the selection
// leaves them: where the data stand, the content's length and its SHA-256.
#pragma once

#include <openssl/sha.h>
#include <zlib.h>

#include <memory>
#include <string>

#include "format/byte_source.h"
#include "format/read_entry.h"
#include "../portable/container_image.h"

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

// The content as the packer stores it, a zlib stream at `level` (0: stored
// blocks), in a temporary file that the record reads as the launcher reads
// its own file. The file lives as long as the returned object.
struct StreamedPayload {
    std::unique_ptr<container_test::SourceFile> file;
    VerifiedPayload payload;
};

inline StreamedPayload StreamedPayloadOf(const std::string& content, int level) {
    container_test::Bytes bytes(content.begin(), content.end());
    container_test::Bytes stream = container_test::ZlibStream(bytes, level);
    StreamedPayload out;
    out.file = std::make_unique<container_test::SourceFile>(stream);
    out.payload = PayloadOver(out.file->Source(), static_cast<uint32_t>(stream.size()), true, content);
    return out;
}
