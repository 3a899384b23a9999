// The launcher's key: the RCDATA resource of its own image.
#include <cstring>

#include "format/verification_key.h"
#include "platform/platform.h"

bool WriteVerificationKey(uint8_t out[kVerificationKeySize]) {
    const uint8_t* blob = nullptr;
    uint32_t size = 0;
    if (!PlatformFindOwnResource("MSISTUB_VERIFICATION_KEY", &blob, &size)) return false;
    if (!VerificationKeyLayoutHolds(blob, size)) return false;
    std::memcpy(out, blob, kVerificationKeySize);
    return true;
}
