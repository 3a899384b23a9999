// Inflation of one entry's zlib stream into a fresh local-heap buffer.
#pragma once

#include <cstdint>

// The largest content an entry can have: its length travels as a u32.
constexpr uint32_t kMaxEntryContentLength = 0xFFFFFFFFu;

// zlib result code: 0 on success, -3 for a bad or incomplete stream, -4 when
// the output cannot grow, or the set-up's own code. On failure the buffer is
// null and the length 0.
int InflateToBuffer(uint8_t** buffer, uint32_t* length, const uint8_t* input, uint32_t inputLength);

// InflateToBuffer with a lower ceiling on the content length, so that tests
// can reach the out-of-room result without inflating 4 GiB. A stream whose
// content would exceed `maxLength` (at least 1) fails with -4 (Z_MEM_ERROR)
// and nothing is written past the buffer.
int InflateToBufferWithin(uint8_t** buffer, uint32_t* length, const uint8_t* input, uint32_t inputLength,
                          uint32_t maxLength);
