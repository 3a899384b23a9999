// The RSA half of an entry's signature check, over a SHA-256 digest that the
// caller has made. The launcher checks with BearSSL's RSA, which needs no
// crypto provider, the native build with OpenSSL: OpenSSL's RSA would bring
// its provider machinery and multiply the launcher's size.
#pragma once

#include <cstdint>

#include "format/verification_key.h"
#include "core/status.h"

constexpr uint32_t kDigestSize = 32;

// RSASSA-PKCS1-v1_5 over `digest` with a key in the PUBLICKEYBLOB layout.
// Code 0 when the signature holds, kErrorFileCorrupt when it does not,
// kNteBadKey when the key cannot be used; line 0 in every case. A signature
// whose length is not kSignatureSize fails without being read.
StatusValue VerifyDigestSignature(const uint8_t key[kVerificationKeySize], const uint8_t digest[kDigestSize],
                                  const uint8_t* signature, uint32_t signatureLength);

// Releases what the checks keep from one to the next, if anything; the
// following check starts afresh.
void ReleaseSignatureChecker();
