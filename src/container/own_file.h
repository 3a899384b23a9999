// Opening the launcher's own file and building the blob table from it.
#pragma once

#include <cstdint>

#include "container/blob_table.h"
#include "core/status.h"

// The running executable's path (UTF-16, terminated) in a new local-heap
// buffer that the caller frees, or null.
wchar_t* GetOwnModulePath();

// Opens the file at `path` for reading, denying writes and deletes, and makes
// sure it is the file of the running image: a file renamed after the start,
// with another put in its place, must not lend its container. Not opened:
// (last error, else 110, 2042); not the image, or not to be compared with it:
// (last error, else 110, 2044).
StatusValue OpenOwnImageFile(const wchar_t* path, void** file);

// Opens the file at `path` (OpenOwnImageFile) and fills the table as the
// placement decision says (PlaceContainerBlobs): a chain that the file's
// signature covers, else one blob per tag extension, else the whole file as
// the one blob, which is read from the file where it stands. On code 0 the table
// holds at least one blob, each with its manifest extracted. The file stays
// open in the table, whatever the outcome, until ReleaseBlobTable.
StatusValue LoadContainerBlobs(BlobTable* table, const wchar_t* path);
