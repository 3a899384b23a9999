// The built-in verification key: an RSA-2048 public key in the 276-byte
// PUBLICKEYBLOB layout. The bytes are generated from a PEM file at build time.
#pragma once

#include <cstdint>

constexpr uint32_t kVerificationKeySize = 276;

// Writes the key into `out`. It is written fresh before each verification
// rather than handed out as one stored constant.
void WriteVerificationKey(uint8_t out[kVerificationKeySize]);
