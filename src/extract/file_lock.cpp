#include "extract/file_lock.h"

#include <windows.h>

#include <cstring>

#include "format/entry_stream.h"
#include "format/verify_entry_signature.h"
#include "platform/platform.h"
#include "platform/win32_api.h"

namespace {
// The file's length and SHA-256 equal those of the content as it was
// verified. The digest is the one taken from the entry's data when its
// signature was checked, not one of the data as they stand now: should the
// source have changed since (storage that ignores share modes), content
// made again from it would agree with a file written from it, and the
// change would go unnoticed.
bool HoldsVerifiedContent(HANDLE file, uint32_t size, const VerifiedPayload& payload) {
    if (size != payload.contentLength) return false;
    EntryStream stream;
    OpenEntryStream(&stream, FileSource(file, size), 0, size, false, size);
    uint8_t digest[kDigestSize];
    uint64_t length = 0;
    bool same = DigestEntryStream(&stream, digest, &length) == StreamResult::kEnded && length == size &&
                std::memcmp(digest, payload.digest, kDigestSize) == 0;
    CloseEntryStream(&stream);
    return same;
}
}  // namespace

// The comparison runs through the locking handle: what it finds is what the
// installer will read, since nobody can change the file while it is held.
// A digest of the bytes as they were written cannot stand in for it. The
// writing handle denies other writers, but it must be closed before a handle
// that denies writing can be opened (share modes are checked against every
// open handle, and the installer's own read must not meet a writer), and in
// the moment between the two, whoever may write to the folder (a base folder
// the user picked may let anyone) can open, change and close the file,
// leaving no mark that could not be forged: its times can be set back. So
// the file is read once more, here, through the handle that holds it.
void* LockFileHoldingPayload(const PackageItem& item) {
    HANDLE file = g_win32.CreateFileW(item.outPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    DWORD high = 0;
    DWORD low = g_win32.GetFileSize(file, &high);
    if (high == 0 && HoldsVerifiedContent(file, low, item.payload)) return file;
    g_win32.CloseHandle(file);
    return nullptr;
}

void ReleaseFileLock(FileLock* lock) {
    if (lock->readLock) g_win32.CloseHandle(lock->readLock);
    lock->readLock = nullptr;
}
