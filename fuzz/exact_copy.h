// The fuzz input in a local-heap block of exactly its size, so AddressSanitizer
// catches a read one byte past the bytes the code under test was given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/platform.h"

// Null when the block cannot be had; the caller frees it with PlatformFree.
inline uint8_t* ExactCopy(const uint8_t* data, size_t size) {
    auto* bytes = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, size ? size : 1));
    if (bytes && size) std::memcpy(bytes, data, size);
    return bytes;
}
