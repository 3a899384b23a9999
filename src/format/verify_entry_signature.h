// Checking an entry's signature with the verification key built into the
// program.
#pragma once

#include <cstdint>

#include "core/status.h"

// RSASSA-PKCS1-v1_5 with SHA-256 over `content`, checked with the built-in
// verification key. The line of the returned status is the caller's to set.
StatusValue VerifyEntrySignature(const uint8_t* content, uint32_t length, const uint8_t* signature,
                                 uint32_t signatureLength);
