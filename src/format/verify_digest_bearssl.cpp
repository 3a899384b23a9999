#include "format/verify_digest.h"

#include <cstring>

#include "format/entry_format.h"

extern "C" {
#include <bearssl_rsa.h>
}

namespace {
constexpr uint32_t kModulusOffset = 20;  // behind BLOBHEADER and RSAPUBKEY
constexpr uint32_t kExponentOffset = 16;
constexpr uint32_t kExponentSize = 4;

// DigestInfo of a SHA-256 digest (algorithm with NULL parameters, then the
// OCTET STRING header of the 32 digest bytes), as RSA_sign writes it.
constexpr uint8_t kSha256DigestInfo[] = {0x30, 0x31, 0x30, 0x0D, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                         0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};

struct PublicKey {
    uint8_t modulus[kSignatureSize];
    uint8_t exponent[kExponentSize];
};

// The blob holds both numbers least significant byte first; BearSSL takes
// them most significant first. False for a key it cannot use: a modulus that
// is even or shorter than 2048 bits.
bool ReadPublicKey(const uint8_t key[kVerificationKeySize], PublicKey* out) {
    if (!VerificationKeyLayoutHolds(key, kVerificationKeySize)) return false;
    for (uint32_t i = 0; i < kSignatureSize; ++i) out->modulus[i] = key[kModulusOffset + kSignatureSize - 1 - i];
    for (uint32_t i = 0; i < kExponentSize; ++i) out->exponent[i] = key[kExponentOffset + kExponentSize - 1 - i];
    return (out->modulus[0] & 0x80) != 0 && (out->modulus[kSignatureSize - 1] & 1) != 0;
}

// The EMSA-PKCS1-v1_5 block of `digest`: 00 01 FF..FF 00 DigestInfo digest.
// The opened signature must equal it byte for byte, so only the encoding
// the packing tool writes passes; BearSSL's own PKCS #1 check would also
// take a DigestInfo without the NULL parameters.
void ExpectedBlock(const uint8_t digest[kDigestSize], uint8_t block[kSignatureSize]) {
    constexpr uint32_t kTail = sizeof kSha256DigestInfo + kDigestSize;
    block[0] = 0x00;
    block[1] = 0x01;
    std::memset(block + 2, 0xFF, kSignatureSize - kTail - 3);
    block[kSignatureSize - kTail - 1] = 0x00;
    std::memcpy(block + kSignatureSize - kTail, kSha256DigestInfo, sizeof kSha256DigestInfo);
    std::memcpy(block + kSignatureSize - kDigestSize, digest, kDigestSize);
}
}  // namespace

// BearSSL's RSA public operation needs no crypto provider: acquiring one
// under Wine loads three DLLs and cost more than all checks of a run.
StatusValue VerifyDigestSignature(const uint8_t key[kVerificationKeySize], const uint8_t digest[kDigestSize],
                                  const uint8_t* signature, uint32_t signatureLength) {
    PublicKey publicKey;
    if (!ReadPublicKey(key, &publicKey)) return StatusOf(kNteBadKey, 0);
    if (signatureLength != kSignatureSize) return StatusOf(kErrorFileCorrupt, 0);
    br_rsa_public_key rsa = {publicKey.modulus, kSignatureSize, publicKey.exponent, kExponentSize};
    uint8_t opened[kSignatureSize];
    std::memcpy(opened, signature, kSignatureSize);
    // Zero for a signature not below the modulus, else `opened` holds s^e mod n.
    if (!br_rsa_i31_public(opened, kSignatureSize, &rsa)) return StatusOf(kErrorFileCorrupt, 0);
    uint8_t expected[kSignatureSize];
    ExpectedBlock(digest, expected);
    return StatusOf(std::memcmp(opened, expected, kSignatureSize) == 0 ? kErrorSuccess : kErrorFileCorrupt, 0);
}

// Each check holds nothing after it returns.
void ReleaseSignatureChecker() {}
