#include "format/verification_key.h"

#include "format/entry_format.h"

namespace {
constexpr uint8_t kPublicKeyBlob = 6;
constexpr uint8_t kBlobVersion = 2;
constexpr uint32_t kAlgorithmRsaSign = 0x2400;
constexpr uint32_t kAlgorithmRsaKeyExchange = 0xA400;
constexpr uint32_t kMagicRsa1 = 0x31415352;  // "RSA1"
constexpr uint32_t kKeyBits = 2048;
}  // namespace

bool VerificationKeyLayoutHolds(const uint8_t* blob, uint32_t size) {
    if (!blob || size != kVerificationKeySize) return false;
    uint32_t algorithm = ReadU32Le(blob + 4);
    return blob[0] == kPublicKeyBlob && blob[1] == kBlobVersion && ReadU16Le(blob + 2) == 0 &&
           (algorithm == kAlgorithmRsaSign || algorithm == kAlgorithmRsaKeyExchange) &&
           ReadU32Le(blob + 8) == kMagicRsa1 && ReadU32Le(blob + 12) == kKeyBits && ReadU32Le(blob + 16) != 0;
}
