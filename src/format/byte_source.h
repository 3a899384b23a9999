// Where a blob's bytes stand: in memory, or in a file that is read by
// position. The launcher's own file is one such source: it is held open,
// denying writes, for the whole run, and only the few pieces that are needed
// at a time are ever in memory.
#pragma once

#include <cstdint>

struct ByteSource {
    const uint8_t* memory;  // the bytes, or null when they stand in `file`
    void* file;             // read from its start with PlatformReadFileAt; not owned
    uint32_t size;
};

ByteSource MemorySource(const uint8_t* bytes, uint32_t size);
ByteSource FileSource(void* file, uint32_t size);

// The first `size` bytes of `source` (size at most source.size).
ByteSource SourcePrefix(const ByteSource& source, uint32_t size);

// Copies the `length` bytes at `offset` into `out`. False, with nothing
// promised about `out`, when they do not all lie inside the source or the
// file cannot be read.
bool ReadSourceBytes(const ByteSource& source, uint32_t offset, uint8_t* out, uint32_t length);
