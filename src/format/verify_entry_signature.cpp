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
constexpr uint32_t kDigestPieceSize = 512u << 10;
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

namespace {
struct HashJob {
    SHA256_CTX* context;
    const uint8_t* piece;
    uint32_t length;
};

void HashPiece(void* parameter) {
    auto* job = static_cast<HashJob*>(parameter);
    if (job->length) SHA256_Update(job->context, job->piece, job->length);
}
}  // namespace

// SHA-256 takes as long as reading and inflating together, so on a second
// core it hashes one piece while the next is read into the other half of the
// buffer. Content of one piece, or no second thread, is hashed in line.
StreamResult DigestEntryStream(EntryStream* stream, uint8_t digest[kDigestSize], uint64_t* length) {
    auto* pieces = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, 2 * static_cast<size_t>(kDigestPieceSize)));
    if (!pieces) return StreamResult::kNoMemory;
    SHA256_CTX context;
    SHA256_Init(&context);
    HashJob job = {&context, nullptr, 0};
    PlatformWorker* worker = nullptr;
    bool hashing = false;
    uint64_t total = 0;
    uint32_t half = 0;
    StreamResult result = StreamResult::kMore;
    while (result == StreamResult::kMore) {
        uint8_t* piece = pieces + static_cast<size_t>(half) * kDigestPieceSize;
        uint32_t got = 0;
        result = ReadEntryStream(stream, piece, kDigestPieceSize, &got);
        if (hashing) PlatformWorkerWait(worker);
        hashing = false;
        if (result != StreamResult::kMore && result != StreamResult::kEnded) break;
        job = {&context, piece, got};
        total += got;
        if (!worker && result == StreamResult::kMore) worker = PlatformStartWorker();
        if (worker) {
            PlatformWorkerRun(worker, HashPiece, &job);
            hashing = true;
        } else {
            HashPiece(&job);
        }
        half ^= 1;
    }
    if (hashing) PlatformWorkerWait(worker);
    PlatformStopWorker(worker);
    SHA256_Final(digest, &context);
    PlatformFree(pieces);
    *length = total;
    return result;
}
