// Tag blobs: container blobs carried as the value of a certificate extension
// in the file's Authenticode signature, so that a vendor can sign the stub
// once and re-pack it without re-signing.
#pragma once

#include <cstdint>

#include "launcher/launcher_state.h"
#include "launcher/status.h"

constexpr char kTagExtensionOid[] = "1.2.840.113556.1.8000.2554.2951.50896.53846.17503.37240.13145692.12219546";

// Appends one blob per non-critical tag extension found in the certificates
// of the image's signature, in certificate and extension order. Code 0 with
// line 789 and an unchanged table: the image carries none (or is no signed
// PE32+ image at all).
StatusValue FindTagBlobs(LauncherState* state, const uint8_t* image, uint32_t size);
