// Reading the launcher's own file and building the blob table from it.
#pragma once

#include <cstdint>

#include "container/blob_table.h"
#include "core/status.h"

// The running executable's path (ANSI, terminated) in a new local-heap buffer
// that the caller frees, or null.
char* GetOwnModulePath();

// Reads the whole file at `path` and appends one blob per tag extension of its
// signature or, when there is none, the whole file as the one blob. On code 0
// the table holds at least one blob, each with its manifest extracted.
StatusValue LoadContainerBlobs(BlobTable* table, const char* path);
