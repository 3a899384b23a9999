// Linux stand-ins for the local heap, the last error and the ANSI code page.
// The code page is taken as Latin-1: a code unit below 256 is one byte, any
// other unit becomes '?', as a single-byte Windows code page without a best
// fit would write it.
#include "platform/platform.h"
#include "platform/worker_threads.h"

#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {
// A size header in front of every block lets a zero-initialising re-allocation
// clear exactly the bytes it adds, as the local heap does.
struct BlockHeader {
    size_t size;
    size_t padding;
};

void* PosixAlloc(uint32_t flags, size_t bytes) {
    if (bytes > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
    auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + bytes));
    if (!header) {
        PlatformSetLastError(8);
        return nullptr;
    }
    header->size = bytes;
    if (flags & kMemZeroInit) std::memset(header + 1, 0, bytes);
    return header + 1;
}

void* PosixReAlloc(void* block, size_t bytes, uint32_t flags) {
    if (!block) return nullptr;
    if (bytes > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
    auto* old = static_cast<BlockHeader*>(block) - 1;
    size_t oldSize = old->size;
    auto* header = static_cast<BlockHeader*>(std::realloc(old, sizeof(BlockHeader) + bytes));
    if (!header) {
        PlatformSetLastError(8);
        return nullptr;
    }
    header->size = bytes;
    if ((flags & kMemZeroInit) && bytes > oldSize)
        std::memset(reinterpret_cast<uint8_t*>(header + 1) + oldSize, 0, bytes - oldSize);
    return header + 1;
}

void PosixRelease(void* block) { std::free(static_cast<BlockHeader*>(block) - 1); }

thread_local uint32_t t_lastError = 0;
}  // namespace

PlatformMemory g_platformMemory = {PosixAlloc, PosixReAlloc, PosixRelease};

uint32_t PlatformLastError() { return t_lastError; }
void PlatformSetLastError(uint32_t code) { t_lastError = code; }

int PlatformUtf16ToAnsi(const char16_t* text, int units, char* out, int outSize) {
    if (units < 0) {
        units = 0;
        while (text[units]) ++units;
        ++units;
    }
    // Latin-1 stands in for the ANSI code page: exact up to U+00FF.
    for (int i = 0; i < units; ++i)
        if (text[i] > 0xFF) return -1;
    if (!out) return units;
    int count = units < outSize ? units : outSize;
    for (int i = 0; i < count; ++i) out[i] = static_cast<char>(text[i]);
    return count;
}

int PlatformCompareNoCase(const char* a, const char* b) { return strcasecmp(a, b); }

bool PlatformReadFileAt(void* file, uint64_t offset, void* out, uint32_t length) {
    if (!file || offset > static_cast<uint64_t>(INT64_MAX)) return false;
    int descriptor = fileno(static_cast<FILE*>(file));
    auto* at = static_cast<uint8_t*>(out);
    while (length > 0) {
        ssize_t got = pread(descriptor, at, length, static_cast<off_t>(offset));
        if (got <= 0) return false;
        at += got;
        offset += static_cast<uint64_t>(got);
        length -= static_cast<uint32_t>(got);
    }
    return true;
}

bool PlatformFindOwnResource(const char*, const uint8_t**, uint32_t*) { return false; }

void PlatformCloseFile(void* file) {
    if (file) std::fclose(static_cast<FILE*>(file));
}

struct PlatformWorker {
    pthread_t thread;
    pthread_mutex_t lock;
    pthread_cond_t changed;
    void (*job)(void*);
    void* context;
    bool pending;  // a job was started and has not finished
    bool stop;
};

namespace {
void* RunWorker(void* parameter) {
    auto* worker = static_cast<PlatformWorker*>(parameter);
    pthread_mutex_lock(&worker->lock);
    for (;;) {
        while (!worker->pending && !worker->stop) pthread_cond_wait(&worker->changed, &worker->lock);
        if (worker->stop) break;
        pthread_mutex_unlock(&worker->lock);
        worker->job(worker->context);
        pthread_mutex_lock(&worker->lock);
        worker->pending = false;
        pthread_cond_broadcast(&worker->changed);
    }
    pthread_mutex_unlock(&worker->lock);
    return nullptr;
}
}  // namespace

PlatformWorker* PlatformNewWorker() {
    auto* worker = static_cast<PlatformWorker*>(PlatformAlloc(kMemFixed | kMemZeroInit, sizeof(PlatformWorker)));
    if (!worker) return nullptr;
    pthread_mutex_init(&worker->lock, nullptr);
    pthread_cond_init(&worker->changed, nullptr);
    if (pthread_create(&worker->thread, nullptr, RunWorker, worker) != 0) {
        pthread_cond_destroy(&worker->changed);
        pthread_mutex_destroy(&worker->lock);
        PlatformFree(worker);
        return nullptr;
    }
    return worker;
}

void PlatformEndWorker(PlatformWorker* worker) {
    PlatformWorkerWait(worker);
    pthread_mutex_lock(&worker->lock);
    worker->stop = true;
    pthread_cond_broadcast(&worker->changed);
    pthread_mutex_unlock(&worker->lock);
    pthread_join(worker->thread, nullptr);
    pthread_cond_destroy(&worker->changed);
    pthread_mutex_destroy(&worker->lock);
    PlatformFree(worker);
}

void PlatformWorkerRun(PlatformWorker* worker, void (*job)(void*), void* context) {
    pthread_mutex_lock(&worker->lock);
    worker->job = job;
    worker->context = context;
    worker->pending = true;
    pthread_cond_broadcast(&worker->changed);
    pthread_mutex_unlock(&worker->lock);
}

void PlatformWorkerWait(PlatformWorker* worker) {
    pthread_mutex_lock(&worker->lock);
    while (worker->pending) pthread_cond_wait(&worker->changed, &worker->lock);
    pthread_mutex_unlock(&worker->lock);
}
