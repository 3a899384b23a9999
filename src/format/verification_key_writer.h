// Where VerifyEntrySignature takes its key from. Production code never
// changes it; a test points it at a writer of a broken or missing key to
// reach the key-not-loaded results.
#pragma once

#include "format/verification_key.h"

using VerificationKeyWriter = bool (*)(uint8_t out[kVerificationKeySize]);
extern VerificationKeyWriter g_verificationKeyWriter;
