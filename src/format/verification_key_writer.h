// Where VerifyEntrySignature takes its key from. Production code never
// changes it; a test points it at a writer of a broken key to reach the
// key-not-loaded results, which the built-in key never produces.
#pragma once

#include "format/verification_key.h"

using VerificationKeyWriter = void (*)(uint8_t out[kVerificationKeySize]);
extern VerificationKeyWriter g_verificationKeyWriter;
