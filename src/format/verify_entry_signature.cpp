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
// The reading thread and the hashing thread hand over once a piece, and
// each hand-over leaves the hasher idle for two thread wake-ups, about as
// long under Wine as hashing 100 KiB: with 512 KiB pieces the two passes
// over a large payload ran at four fifths of SHA-256's speed. 2 MiB pieces
// keep the idle time small for 3 MiB more memory while a large payload is
// hashed.
constexpr uint32_t kDigestPieceSize = 2u << 20;
constexpr uint32_t kFirstPieceSize = 16u << 10;
}  // namespace

StatusValue VerifyEntryDigest(const uint8_t digest[kDigestSize], const uint8_t* signature, uint32_t signatureLength) {
    uint8_t key[kVerificationKeySize];
    if (!g_verificationKeyWriter(key)) return StatusOf(kNteBadKey, 0);
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

// SHA-256 takes as long as reading and inflating together, so on a second
// core it hashes one piece while the next is read into the other half of the
// buffer. Without a second thread the reading thread hashes each piece.
StreamResult DigestRest(EntryStream* stream, SHA256_CTX* context, uint64_t* total) {
    auto* pieces = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, 2 * static_cast<size_t>(kDigestPieceSize)));
    if (!pieces) return StreamResult::kNoMemory;
    HashJob job = {context, nullptr, 0};
    PlatformWorker* worker = PlatformStartWorker();
    bool hashing = false;
    uint32_t half = 0;
    StreamResult result = StreamResult::kMore;
    while (result == StreamResult::kMore) {
        uint8_t* piece = pieces + static_cast<size_t>(half) * kDigestPieceSize;
        uint32_t got = 0;
        result = ReadEntryStream(stream, piece, kDigestPieceSize, &got);
        if (hashing) PlatformWorkerWait(worker);
        hashing = false;
        if (result != StreamResult::kMore && result != StreamResult::kEnded) break;
        job = {context, piece, got};
        *total += got;
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
    PlatformFree(pieces);
    return result;
}
}  // namespace

// Most entries are small: their content fits the first piece, on the stack,
// and only content that goes on past it takes the large pieces and a thread.
StreamResult DigestEntryStream(EntryStream* stream, uint8_t digest[kDigestSize], uint64_t* length) {
    uint8_t first[kFirstPieceSize];
    uint32_t got = 0;
    StreamResult result = ReadEntryStream(stream, first, sizeof first, &got);
    SHA256_CTX context;
    SHA256_Init(&context);
    uint64_t total = 0;
    if (result == StreamResult::kMore || result == StreamResult::kEnded) {
        if (got) SHA256_Update(&context, first, got);
        total = got;
    }
    if (result == StreamResult::kMore) result = DigestRest(stream, &context, &total);
    SHA256_Final(digest, &context);
    *length = total;
    return result;
}
