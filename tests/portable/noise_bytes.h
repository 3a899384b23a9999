// Bytes that deflate cannot shrink, for the tests, the fuzz seeds and the
// hostile files alike: a xorshift32 sequence from the given starting state,
// so each caller keeps the bytes it always had.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline std::vector<uint8_t> XorshiftNoise(size_t size, uint32_t state) {
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        b = static_cast<uint8_t>(state);
    }
    return bytes;
}
