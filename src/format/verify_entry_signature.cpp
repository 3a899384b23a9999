#include "format/verify_entry_signature.h"

#include "format/verification_key_writer.h"
#include "format/verify_digest.h"

// SHA256_Init and its kin are deprecated in OpenSSL 3, but they are the way to
// its assembly block functions that leaves the provider machinery (and most of
// libcrypto) out of the launcher.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

static_assert(SHA256_DIGEST_LENGTH == kDigestSize, "a SHA-256 digest");

VerificationKeyWriter g_verificationKeyWriter = WriteVerificationKey;

StatusValue VerifyEntrySignature(const uint8_t* content, uint32_t length, const uint8_t* signature,
                                 uint32_t signatureLength) {
    uint8_t key[kVerificationKeySize];
    g_verificationKeyWriter(key);
    uint8_t digest[SHA256_DIGEST_LENGTH];
    SHA256_CTX context;
    SHA256_Init(&context);
    if (length) SHA256_Update(&context, content, length);
    SHA256_Final(digest, &context);
    return VerifyDigestSignature(key, digest, signature, signatureLength);
}
