#include "container/own_file.h"
#include "platform/platform.h"
#include "platform/win32_api.h"

namespace {
constexpr uint32_t kFirstCapacity = 260;
constexpr uint32_t kCapacityStep = 64;
// No Windows path is longer; a module name that keeps being cut past this is
// a broken system call, not a path to wait for.
constexpr uint32_t kLongestPath = 32767;
}  // namespace

wchar_t* GetOwnModulePath() {
    wchar_t* buffer = nullptr;
    for (uint32_t capacity = kFirstCapacity; capacity <= kLongestPath + kCapacityStep; capacity += kCapacityStep) {
        void* grown = buffer ? PlatformReAlloc(buffer, (capacity + 1) * sizeof *buffer, kMemMoveable)
                             : PlatformAlloc(kMemFixed, (capacity + 1) * sizeof *buffer);
        if (!grown) break;
        buffer = static_cast<wchar_t*>(grown);
        DWORD copied = g_win32.GetModuleFileNameW(nullptr, buffer, capacity);
        if (copied == 0) break;
        if (copied < capacity) return buffer;
    }
    PlatformFree(buffer);
    return nullptr;
}
