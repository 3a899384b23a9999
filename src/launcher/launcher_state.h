// The one process-wide record of a run.
#pragma once

#include <cstdint>

#include "container/blob_table.h"

struct LauncherState {
    uint32_t languageId;  // user's default LCID; set to 1033 before the third selection pass
    BlobTable table;      // every container blob of the own file
};
