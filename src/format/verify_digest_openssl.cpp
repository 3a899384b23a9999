#include "format/verify_digest.h"

#include "format/entry_format.h"

// RSA_verify and EVP_PKEY_get1_RSA are deprecated in OpenSSL 3 but remain the
// plain PKCS #1 v1.5 check this format was defined with.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

StatusValue VerifyDigestSignature(const uint8_t key[kVerificationKeySize], const uint8_t digest[kDigestSize],
                                  const uint8_t* signature, uint32_t signatureLength) {
    const unsigned char* keyCursor = key;
    EVP_PKEY* publicKey = b2i_PublicKey(&keyCursor, kVerificationKeySize);
    if (!publicKey) return StatusOf(kNteBadKey, 0);
    RSA* rsa = EVP_PKEY_get1_RSA(publicKey);
    if (!rsa) {
        EVP_PKEY_free(publicKey);
        return StatusOf(kNteBadKey, 0);
    }
    // A signature of any other length is refused before a byte of it is read,
    // so callers need to hold only as many bytes as a signature has.
    int verified = signatureLength == kSignatureSize &&
                   RSA_verify(NID_sha256, digest, kDigestSize, signature, signatureLength, rsa) == 1;
    RSA_free(rsa);
    EVP_PKEY_free(publicKey);
    return StatusOf(verified ? kErrorSuccess : kErrorFileCorrupt, 0);
}

// Each OpenSSL check holds nothing after it returns.
void ReleaseSignatureChecker() {}
