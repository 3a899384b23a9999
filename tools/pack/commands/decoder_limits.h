// The measured limit of the system's signature decoder, in one place: the
// refusal of the placements inside a signature, its message and the README
// all speak of these figures.
#pragma once

#include <cstdint>

// A container inside the Authenticode signature (a tag certificate, or the
// certificate table's entry) is read by the system's certificate decoder,
// which reads the whole entry. Measured under Wine 8.0 with both placements:
// a setup whose container held a 63 MiB cabinet installed, one with a
// 64 MiB cabinet ended with 0x80092004 (CRYPT_E_NOT_FOUND). The limit is the
// size known to install, in whole MiB; no decoder is known to take more.
constexpr uint64_t kLargestContainerInSignature = 63u << 20;
constexpr char kLargestContainerInSignatureText[] = "63 MiB";
constexpr char kRefusedContainerInSignatureText[] = "64 MiB";
