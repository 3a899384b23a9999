#include "platform/platform.h"
#include "platform/worker_threads.h"

#include <windows.h>
#include <mbstring.h>

#include "platform/win32_api.h"

namespace {
void* WinAlloc(uint32_t flags, size_t bytes) { return LocalAlloc(flags, bytes); }
void* WinReAlloc(void* block, size_t bytes, uint32_t flags) { return LocalReAlloc(block, bytes, flags); }
void WinRelease(void* block) { LocalFree(block); }
}  // namespace

PlatformMemory g_platformMemory = {WinAlloc, WinReAlloc, WinRelease};

uint32_t PlatformLastError() { return GetLastError(); }
void PlatformSetLastError(uint32_t code) { SetLastError(code); }

int PlatformUtf16ToAnsi(const char16_t* text, int units, char* out, int outSize) {
    const auto* wide = reinterpret_cast<const wchar_t*>(text);
    // A UTF-8 ANSI code page has no default character and refuses the flag;
    // there only unpaired surrogates fail to convert exactly.
    if (GetACP() == CP_UTF8) {
        int written = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, units, out, out ? outSize : 0, nullptr,
                                          nullptr);
        return written == 0 && units != 0 ? -1 : written;
    }
    BOOL usedDefault = FALSE;
    int written = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, units, out, out ? outSize : 0, nullptr,
                                      &usedDefault);
    if (usedDefault || (written == 0 && units != 0)) return -1;
    return written;
}

int PlatformCompareNoCase(const char* a, const char* b) {
    return _mbsicmp(reinterpret_cast<const unsigned char*>(a), reinterpret_cast<const unsigned char*>(b));
}

// Through the seam table, so that tests can make a read fail or fall short.
bool PlatformReadFileAt(void* file, uint64_t offset, void* out, uint32_t length) {
    OVERLAPPED position = {};
    position.Offset = static_cast<DWORD>(offset);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    return g_win32.ReadFile(file, out, length, &got, &position) && got == length;
}

// A resource's data entry is a bare address and size that the loader does
// not check, so the bytes are held against the image's mapped extent.
bool PlatformFindOwnResource(const char* name, const uint8_t** data, uint32_t* size) {
    HMODULE image = GetModuleHandleA(nullptr);
    HRSRC resource = image ? FindResourceA(image, name, MAKEINTRESOURCEA(10)) : nullptr;  // RT_RCDATA
    HGLOBAL loaded = resource ? LoadResource(image, resource) : nullptr;
    const auto* bytes = static_cast<const uint8_t*>(loaded ? LockResource(loaded) : nullptr);
    if (!bytes) return false;
    DWORD length = SizeofResource(image, resource);
    const auto* base = reinterpret_cast<const uint8_t*>(image);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    uint64_t imageSize = nt->OptionalHeader.SizeOfImage;
    if (bytes < base || static_cast<uint64_t>(bytes - base) > imageSize || length > imageSize - (bytes - base))
        return false;
    *data = bytes;
    *size = length;
    return true;
}

void PlatformCloseFile(void* file) {
    if (file) g_win32.CloseHandle(file);
}

// The worker waits on a condition variable rather than on events: under
// Wine an event is a round trip to the server, a condition variable a futex,
// and the hand-over happens once per piece.
struct PlatformWorker {
    HANDLE thread;
    SRWLOCK lock;
    CONDITION_VARIABLE changed;
    void (*job)(void*);
    void* context;
    bool pending;  // a job was started and has not finished
    bool stop;
};

namespace {
DWORD WINAPI RunWorker(void* parameter) {
    auto* worker = static_cast<PlatformWorker*>(parameter);
    AcquireSRWLockExclusive(&worker->lock);
    for (;;) {
        while (!worker->pending && !worker->stop) SleepConditionVariableSRW(&worker->changed, &worker->lock, INFINITE, 0);
        if (worker->stop) break;
        ReleaseSRWLockExclusive(&worker->lock);
        worker->job(worker->context);
        AcquireSRWLockExclusive(&worker->lock);
        worker->pending = false;
        WakeAllConditionVariable(&worker->changed);
    }
    ReleaseSRWLockExclusive(&worker->lock);
    return 0;
}
}  // namespace

PlatformWorker* PlatformNewWorker() {
    auto* worker = static_cast<PlatformWorker*>(PlatformAlloc(kMemFixed | kMemZeroInit, sizeof(PlatformWorker)));
    if (!worker) return nullptr;
    InitializeSRWLock(&worker->lock);
    InitializeConditionVariable(&worker->changed);
    worker->thread = g_win32.CreateThread(nullptr, 0, RunWorker, worker, 0, nullptr);
    if (!worker->thread) {
        PlatformFree(worker);
        return nullptr;
    }
    return worker;
}

void PlatformEndWorker(PlatformWorker* worker) {
    PlatformWorkerWait(worker);
    AcquireSRWLockExclusive(&worker->lock);
    worker->stop = true;
    WakeAllConditionVariable(&worker->changed);
    ReleaseSRWLockExclusive(&worker->lock);
    WaitForSingleObject(worker->thread, INFINITE);
    CloseHandle(worker->thread);
    PlatformFree(worker);
}

void PlatformWorkerRun(PlatformWorker* worker, void (*job)(void*), void* context) {
    AcquireSRWLockExclusive(&worker->lock);
    worker->job = job;
    worker->context = context;
    worker->pending = true;
    WakeAllConditionVariable(&worker->changed);
    ReleaseSRWLockExclusive(&worker->lock);
}

void PlatformWorkerWait(PlatformWorker* worker) {
    AcquireSRWLockExclusive(&worker->lock);
    while (worker->pending) SleepConditionVariableSRW(&worker->changed, &worker->lock, INFINITE, 0);
    ReleaseSRWLockExclusive(&worker->lock);
}
