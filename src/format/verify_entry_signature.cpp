#include "format/verify_entry_signature.h"

#include "format/verification_key_writer.h"
#include "format/verify_digest.h"
#include "platform/platform.h"

// SHA256_Init and its kin are deprecated in OpenSSL 3, but they are the way to
// its assembly block functions that leaves the provider machinery (and most of
// libcrypto) out of the launcher.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

static_assert(SHA256_DIGEST_LENGTH == kDigestSize, "a SHA-256 digest");

VerificationKeyWriter g_verificationKeyWriter = WriteVerificationKey;

namespace {
// A piece of this size keeps SHA-256 at its full speed and the reads few.
constexpr uint32_t kDigestPieceSize = 1u << 20;
}  // namespace

StatusValue VerifyEntryDigest(const uint8_t digest[kDigestSize], const uint8_t* signature, uint32_t signatureLength) {
    uint8_t key[kVerificationKeySize];
    g_verificationKeyWriter(key);
    return VerifyDigestSignature(key, digest, signature, signatureLength);
}

StatusValue VerifyEntrySignature(const uint8_t* content, uint32_t length, const uint8_t* signature,
                                 uint32_t signatureLength) {
    uint8_t digest[SHA256_DIGEST_LENGTH];
    SHA256_CTX context;
    SHA256_Init(&context);
    if (length) SHA256_Update(&context, content, length);
    SHA256_Final(digest, &context);
    return VerifyEntryDigest(digest, signature, signatureLength);
}

StreamResult DigestEntryStream(EntryStream* stream, uint8_t digest[kDigestSize], uint64_t* length) {
    auto* piece = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, kDigestPieceSize));
    if (!piece) return StreamResult::kNoMemory;
    SHA256_CTX context;
    SHA256_Init(&context);
    uint64_t total = 0;
    StreamResult result = StreamResult::kMore;
    while (result == StreamResult::kMore) {
        uint32_t got = 0;
        result = ReadEntryStream(stream, piece, kDigestPieceSize, &got);
        if (result != StreamResult::kMore && result != StreamResult::kEnded) break;
        if (got) SHA256_Update(&context, piece, got);
        total += got;
    }
    SHA256_Final(digest, &context);
    PlatformFree(piece);
    *length = total;
    return result;
}
