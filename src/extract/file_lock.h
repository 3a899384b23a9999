// Holding an extracted file against change until the installer has read it.
#pragma once

#include "selection/package_item.h"

// The lock step's record of one file: a read handle that denies writing and
// deleting, held from the moment the file is complete until the clean-up,
// so nobody can swap the verified file before or while the installer reads
// it.
struct FileLock {
    void* readLock;  // a HANDLE, or null
};

// Opens the file at the item's output path for reading with a share mode
// that denies writing and deleting, and keeps the handle only when the file
// then holds exactly the item's verified content: its length and SHA-256
// digest. Returns the handle, or null.
void* LockFileHoldingPayload(const PackageItem& item);

// Closes the lock, if it holds one.
void ReleaseFileLock(FileLock* lock);
