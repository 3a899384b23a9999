// The blob table of LauncherState: it only grows, one record at a time.
#pragma once

#include <cstdint>

#include "container/container_blob.h"
#include "launcher/launcher_state.h"
#include "launcher/status.h"

// Adds a copy of `blob` at the end of the table. On failure the table stays
// as it was and the status carries `failureLine`; on success the code is 0.
StatusValue AppendBlob(LauncherState* state, const ContainerBlob& blob, uint32_t failureLine);

// Makes a compressed, signed blob of `bytes`, a local-heap block that the
// blob takes over on success, extracts its manifest and appends it. Returns
// the manifest's ReadEntry status on success; on failure the caller still owns
// `bytes`, nothing else stays allocated and the table is unchanged.
StatusValue AppendOwnedBlob(LauncherState* state, uint8_t* bytes, uint32_t size, uint32_t notAppendedLine);

// Makes a compressed, signed blob from a private copy of `bytes`, extracts its
// manifest and appends it. Returns the manifest's ReadEntry status on success;
// on failure nothing stays allocated and the table is unchanged.
StatusValue AppendBlobCopy(LauncherState* state, const uint8_t* bytes, uint32_t size, uint32_t noMemoryLine,
                           uint32_t notAppendedLine);
