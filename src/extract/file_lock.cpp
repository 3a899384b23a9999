#include "extract/file_lock.h"

#include <windows.h>

#include <cstring>

#include "platform/platform.h"
#include "platform/win32_api.h"

namespace {

constexpr uint32_t kCompareBlockSize = 1u << 20;

bool SameBytes(HANDLE file, const uint8_t* payload, uint32_t size) {
    auto* block = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, kCompareBlockSize));
    if (!block) return false;
    bool same = true;
    for (uint32_t offset = 0; same && offset < size;) {
        uint32_t wanted = size - offset < kCompareBlockSize ? size - offset : kCompareBlockSize;
        DWORD got = 0;
        same = g_win32.ReadFile(file, block, wanted, &got, nullptr) && got == wanted &&
               std::memcmp(block, payload + offset, wanted) == 0;
        offset += wanted;
    }
    PlatformFree(block);
    return same;
}

}  // namespace

// The comparison runs through the locking handle: what it finds is what the
// installer will read, since nobody can change the file while it is held.
// This also covers the moment between closing the written file and locking it.
void* LockFileHoldingPayload(const PackageItem& item) {
    HANDLE file = g_win32.CreateFileA(item.outPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    DWORD high = 0;
    DWORD low = g_win32.GetFileSize(file, &high);
    if (high == 0 && low == item.payloadSize && SameBytes(file, item.payload, item.payloadSize)) return file;
    g_win32.CloseHandle(file);
    return nullptr;
}

void ReleaseFileLock(PackageItem* item) {
    if (item->readLock) g_win32.CloseHandle(item->readLock);
    item->readLock = nullptr;
    item->awaitingLock = 0;
}
