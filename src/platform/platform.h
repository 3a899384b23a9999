// Thin layer over the few operating-system services that the portable code
// (container format, manifest parsing, command-line splitting) needs. On
// Windows these are the local heap, the thread's last error and the ANSI code
// page; on Linux the packing tool, sanitizer builds and fuzzers get close
// stand-ins so that the very same format code runs there.
#pragma once

#include <cstddef>
#include <cstdint>

// Flag values match LMEM_FIXED, LMEM_MOVEABLE and LMEM_ZEROINIT.
enum : uint32_t {
    kMemFixed = 0x0000,
    kMemMoveable = 0x0002,
    kMemZeroInit = 0x0040,
};

// Every allocation of the portable code goes through this table, so a test
// can make one particular allocation fail and reach the out-of-memory rows.
struct PlatformMemory {
    void* (*alloc)(uint32_t flags, size_t bytes);
    void* (*reAlloc)(void* block, size_t bytes, uint32_t flags);
    void (*release)(void* block);
};
extern PlatformMemory g_platformMemory;

inline void* PlatformAlloc(uint32_t flags, size_t bytes) { return g_platformMemory.alloc(flags, bytes); }
inline void* PlatformReAlloc(void* block, size_t bytes, uint32_t flags) {
    return g_platformMemory.reAlloc(block, bytes, flags);
}
inline void PlatformFree(void* block) {
    if (block) g_platformMemory.release(block);
}

uint32_t PlatformLastError();
void PlatformSetLastError(uint32_t code);

// Converts `units` UTF-16 code units with the system ANSI code page. With a
// null `out` it returns the number of bytes needed; otherwise it writes at
// most `outSize` bytes (no terminator is added) and returns the count written.
// Returns -1 when a character has no exact counterpart in the code page:
// best-fit mapping would turn a full-width solidus or quotation mark into a
// real one, and a name or argument into something it was not.
int PlatformUtf16ToAnsi(const char16_t* text, int units, char* out, int outSize);

// Case-insensitive comparison of two ANSI texts that honours the double-byte
// characters of the ANSI code page. Returns 0 when equal.
int PlatformCompareNoCase(const char* a, const char* b);

// Reads exactly `length` bytes at `offset` of an open file (a HANDLE on
// Windows, a FILE* elsewhere) without relying on, or caring about, where the
// file's own position stands. False when the read fails or comes up short.
bool PlatformReadFileAt(void* file, uint64_t offset, void* out, uint32_t length);

// Closes a file that PlatformReadFileAt reads; null is ignored.
void PlatformCloseFile(void* file);

// The bytes of the RCDATA resource `name` of the running program's own
// image, checked to lie inside that image. False when there is none, or
// where programs carry no resources (Linux).
bool PlatformFindOwnResource(const char* name, const uint8_t** data, uint32_t* size);

// A second thread for work that can run beside the caller's, such as hashing
// one piece of content while the next one is read. It runs one job at a time.
struct PlatformWorker;

// Null when no thread can be had: the caller then does the work itself.
PlatformWorker* PlatformStartWorker();

// Starts `job(context)` on the worker. The job started before must have been
// waited for.
void PlatformWorkerRun(PlatformWorker* worker, void (*job)(void*), void* context);

// Returns once the job last started has finished.
void PlatformWorkerWait(PlatformWorker* worker);

// Waits for the job last started, ends the thread and frees the worker; null
// is ignored. The kept worker is only waited for and stays for the next caller.
void PlatformStopWorker(PlatformWorker* worker);

// Starts a worker that PlatformStartWorker hands out whenever it is idle, so
// a run starts one thread for all its digests instead of one each: under
// Wine a thread's start and end cost milliseconds, as much as hashing a few
// MiB. Returns once the thread runs: a thread's start waits for the loader,
// which a library loading on another thread can hold for many milliseconds,
// and the first digest must not wait with it. Nothing happens when a kept
// worker exists or no thread can be had.
void PlatformKeepWorker();

// Ends the kept worker, which must be idle; nothing when there is none.
void PlatformEndKeptWorker();
