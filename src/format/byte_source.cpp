#include "format/byte_source.h"

#include <cstring>

#include "platform/platform.h"

ByteSource MemorySource(const uint8_t* bytes, uint32_t size) { return {bytes, nullptr, size}; }

ByteSource FileSource(void* file, uint32_t size) { return {nullptr, file, size}; }

ByteSource SourcePrefix(const ByteSource& source, uint32_t size) {
    ByteSource prefix = source;
    prefix.size = size < source.size ? size : source.size;
    return prefix;
}

bool ReadSourceBytes(const ByteSource& source, uint32_t offset, uint8_t* out, uint32_t length) {
    if (offset > source.size || length > source.size - offset) return false;
    if (source.memory) {
        if (length) std::memcpy(out, source.memory + offset, length);
        return true;
    }
    return PlatformReadFileAt(source.file, offset, out, length);
}
