#include "format/verify_entry_signature.h"

#include "format/verification_key_writer.h"

// RSA_verify and EVP_PKEY_get1_RSA are deprecated in OpenSSL 3 but remain the
// plain PKCS #1 v1.5 check this format was defined with.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/sha.h>

VerificationKeyWriter g_verificationKeyWriter = WriteVerificationKey;

StatusValue VerifyEntrySignature(const uint8_t* content, uint32_t length, const uint8_t* signature,
                                 uint32_t signatureLength) {
    uint8_t key[kVerificationKeySize];
    g_verificationKeyWriter(key);
    const unsigned char* keyCursor = key;
    EVP_PKEY* publicKey = b2i_PublicKey(&keyCursor, kVerificationKeySize);
    if (!publicKey) return StatusOf(kNteBadKey, 0);
    RSA* rsa = EVP_PKEY_get1_RSA(publicKey);
    if (!rsa) {
        EVP_PKEY_free(publicKey);
        return StatusOf(kNteBadKey, 0);
    }

    static const uint8_t kNoContent = 0;
    uint8_t digest[SHA256_DIGEST_LENGTH];
    SHA256(length ? content : &kNoContent, length, digest);
    int verified = RSA_verify(NID_sha256, digest, sizeof digest, signature, signatureLength, rsa);

    RSA_free(rsa);
    EVP_PKEY_free(publicKey);
    return StatusOf(verified == 1 ? kErrorSuccess : kErrorFileCorrupt, 0);
}
