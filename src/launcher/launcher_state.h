// The one process-wide record of a run.
#pragma once

#include <cstdint>

#include "container/container_blob.h"

struct LauncherState {
    uint32_t languageId;   // user's default LCID; set to 1033 before the third selection pass
    ContainerBlob* blobs;  // grown one element at a time
    uint32_t blobCount;
};
