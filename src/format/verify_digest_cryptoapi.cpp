#include "format/verify_digest.h"

#include "format/entry_format.h"
#include "platform/win32_api.h"

namespace {
// Acquiring a provider costs far more than a check (tens of milliseconds
// under Wine against a fraction of one), so the first check acquires it for
// the whole run. A failure is not kept: the next check tries again.
HCRYPTPROV g_provider = 0;

bool AcquireProvider() {
    if (g_provider) return true;
    HCRYPTPROV provider = 0;
    if (!g_win32.CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return false;
    g_provider = provider;
    return true;
}

// The signature holds, with the key in place, or not; whatever fails on the
// way proves nothing and counts as a corrupt entry.
bool SignatureHolds(HCRYPTPROV provider, HCRYPTKEY key, const uint8_t* digest, const uint8_t* signature,
                    uint32_t signatureLength) {
    // RSA-2048, the only key a 276-byte blob holds.
    if (signatureLength != kSignatureSize) return false;
    // CryptoAPI takes the signature's bytes least significant first.
    uint8_t reversed[kSignatureSize];
    for (uint32_t i = 0; i < kSignatureSize; ++i) reversed[i] = signature[kSignatureSize - 1 - i];
    HCRYPTHASH hash = 0;
    if (!g_win32.CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) return false;
    bool holds = g_win32.CryptSetHashParam(hash, HP_HASHVAL, digest, 0) &&
                 g_win32.CryptVerifySignatureA(hash, reversed, kSignatureSize, key, nullptr, 0);
    g_win32.CryptDestroyHash(hash);
    return holds;
}
}  // namespace

StatusValue VerifyDigestSignature(const uint8_t key[kVerificationKeySize], const uint8_t digest[kDigestSize],
                                  const uint8_t* signature, uint32_t signatureLength) {
    if (!AcquireProvider()) return StatusOf(kNteBadKey, 0);
    HCRYPTKEY publicKey = 0;
    if (!g_win32.CryptImportKey(g_provider, key, kVerificationKeySize, 0, 0, &publicKey))
        return StatusOf(kNteBadKey, 0);
    bool holds = SignatureHolds(g_provider, publicKey, digest, signature, signatureLength);
    g_win32.CryptDestroyKey(publicKey);
    return StatusOf(holds ? kErrorSuccess : kErrorFileCorrupt, 0);
}

void ReleaseSignatureChecker() {
    if (g_provider) g_win32.CryptReleaseContext(g_provider, 0);
    g_provider = 0;
}
