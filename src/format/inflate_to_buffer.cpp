#include "format/inflate_to_buffer.h"

#include "platform/platform.h"

#define ZLIB_CONST
#include <zlib.h>

namespace {
constexpr uint32_t kMinimumRoom = 4096;

// Stored deflate blocks (how incompressible cabinets are packed) inflate to
// slightly less than their input, so a first buffer of the input's length
// takes them in one inflate call that zlib serves with plain memory copies.
uint32_t FirstCapacity(uint32_t inputLength, uint32_t maxLength) {
    uint32_t capacity = inputLength > kMinimumRoom ? inputLength : kMinimumRoom;
    return capacity < maxLength ? capacity : maxLength;
}

// A full buffer grows to the whole content as the stream predicts it so far
// (the bytes made per byte read, applied to the input still to come) with an
// eighth to spare, so a stream of even make grows once: a re-allocation holds
// the old and the new block at once, and growing step by step towards a large
// content would hold nearly twice the content at its last step. It grows at
// least twofold, which keeps the copying linear in the output when the
// prediction falls short, as for a small stream that inflates to gigabytes
// before its signature is checked.
uint32_t GrownCapacity(uint32_t capacity, uint32_t consumed, uint32_t inputLength, uint32_t maxLength) {
    uint64_t doubled = static_cast<uint64_t>(capacity) * 2;
    uint64_t predicted = 0;
    if (consumed != 0) {
        // Below 2^64: both factors are below 2^32.
        uint64_t rest = static_cast<uint64_t>(inputLength - consumed) * capacity / consumed;
        predicted = rest < maxLength ? capacity + rest : maxLength;
        predicted += predicted / 8;
    }
    uint64_t grown = predicted > doubled ? predicted : doubled;
    return grown < maxLength ? static_cast<uint32_t>(grown) : maxLength;
}

bool GrowOutput(uint8_t** output, uint32_t* capacity, uint32_t consumed, uint32_t inputLength, uint32_t maxLength) {
    uint32_t newCapacity =
        *output ? GrownCapacity(*capacity, consumed, inputLength, maxLength) : FirstCapacity(inputLength, maxLength);
    void* grown = *output ? PlatformReAlloc(*output, newCapacity, kMemMoveable) : PlatformAlloc(kMemFixed, newCapacity);
    if (!grown) return false;
    *output = static_cast<uint8_t*>(grown);
    *capacity = newCapacity;
    return true;
}

// Gives back a large overshoot of the growth; a failed shrink keeps the larger block.
uint8_t* TrimOutput(uint8_t* output, uint32_t capacity, uint32_t length) {
    if (capacity - length <= length / 4) return output;
    void* trimmed = PlatformReAlloc(output, length ? length : 1, kMemMoveable);
    return trimmed ? static_cast<uint8_t*>(trimmed) : output;
}

// Runs inflate until the stream ends; returns Z_STREAM_END or the failure.
int InflateAll(z_stream* stream, uint8_t** output, uint32_t* capacity, uint32_t* produced, uint32_t inputLength,
               uint32_t maxLength) {
    for (;;) {
        if (*produced == *capacity && *capacity < maxLength &&
            !GrowOutput(output, capacity, inputLength - stream->avail_in, inputLength, maxLength))
            return Z_MEM_ERROR;
        stream->next_out = *output + *produced;
        stream->avail_out = *capacity - *produced;
        int result = inflate(stream, Z_NO_FLUSH);
        *produced = *capacity - stream->avail_out;
        switch (result) {
            case Z_STREAM_END:
            case Z_DATA_ERROR:
            case Z_MEM_ERROR:
                return result;
            case Z_NEED_DICT:
            case Z_STREAM_ERROR:
                return Z_DATA_ERROR;
            default:
                break;
        }
        // Room left means every input byte was used before the stream's end.
        if (stream->avail_out != 0) return Z_DATA_ERROR;
        // Called without room at the ceiling and nothing moved: the content
        // would not fit a u32 length (or the caller's lower ceiling).
        if (result == Z_BUF_ERROR) return Z_MEM_ERROR;
    }
}
}  // namespace

int InflateToBufferWithin(uint8_t** buffer, uint32_t* length, const uint8_t* input, uint32_t inputLength,
                          uint32_t maxLength) {
    *buffer = nullptr;
    *length = 0;

    z_stream stream = {};
    int result = inflateInit(&stream);
    if (result != Z_OK) return result;
    stream.next_in = input;
    stream.avail_in = inputLength;

    uint8_t* output = nullptr;
    uint32_t capacity = 0;
    uint32_t produced = 0;
    result = InflateAll(&stream, &output, &capacity, &produced, inputLength, maxLength);
    inflateEnd(&stream);
    if (result != Z_STREAM_END) {
        PlatformFree(output);
        return result;
    }
    *buffer = TrimOutput(output, capacity, produced);
    *length = produced;
    return Z_OK;
}

int InflateToBuffer(uint8_t** buffer, uint32_t* length, const uint8_t* input, uint32_t inputLength) {
    return InflateToBufferWithin(buffer, length, input, inputLength, kMaxEntryContentLength);
}
