// The verification key: an RSA-2048 public key in the 276-byte
// PUBLICKEYBLOB layout. The launcher reads it from its own resource
// MSISTUB_VERIFICATION_KEY, which the packing tool writes into the stub with
// the vendor's key; the Authenticode signature over the finished setup is
// what protects it. The native build compiles a key in instead.
#pragma once

#include <cstdint>

constexpr uint32_t kVerificationKeySize = 276;

// Writes the key into `out`. It is written fresh before each verification
// rather than handed out as one stored constant. False when there is no key
// of the right layout: every signed entry then fails as key-not-loaded.
bool WriteVerificationKey(uint8_t out[kVerificationKeySize]);

// True for exactly 276 bytes laid out as an RSA-2048 PUBLICKEYBLOB: blob
// type PUBLICKEYBLOB, version 2, an RSA key algorithm, magic "RSA1", 2048
// bits and a public exponent other than 0.
bool VerificationKeyLayoutHolds(const uint8_t* blob, uint32_t size);
