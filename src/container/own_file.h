// Opening the launcher's own file and building the blob table from it.
#pragma once

#include <cstdint>

#include "container/blob_table.h"
#include "core/status.h"

// The running executable's path (ANSI, terminated) in a new local-heap buffer
// that the caller frees, or null.
char* GetOwnModulePath();

// Opens the file at `path`, denying writes, and fills the table as the
// placement decision says (PlaceContainerBlobs): a chain that the file's
// signature covers, else one blob per tag extension, else the whole file as
// the one blob, which is read from the file where it stands. On code 0 the table
// holds at least one blob, each with its manifest extracted. The file stays
// open in the table, whatever the outcome, until ReleaseBlobTable.
StatusValue LoadContainerBlobs(BlobTable* table, const char* path);
