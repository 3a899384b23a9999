// Holding an extracted file against change until the installer has read it.
#pragma once

#include "selection/package_item.h"

// Opens the file at the item's output path for reading with a share mode
// that denies writing and deleting, and keeps the handle only when the file
// then holds exactly the item's verified content: its length and SHA-256
// digest. Returns the handle, or null.
void* LockFileHoldingPayload(const PackageItem& item);

// Closes the item's lock, if it holds one.
void ReleaseFileLock(PackageItem* item);
