#include "format/inflate_in_place.h"

#include <cstring>

#include "format/entry_format.h"
#include "platform/platform.h"

#define ZLIB_CONST
#include <zlib.h>

namespace {
constexpr uint32_t kZlibHeaderSize = 2;
constexpr uint32_t kStoredBlockHeaderSize = 5;  // the header byte, LEN and NLEN
constexpr uint32_t kAdlerSize = 4;
constexpr uint32_t kScratchSize = 256 * 1024;

bool IsZlibHeaderWithoutDictionary(const uint8_t* stream) {
    uint32_t cmf = stream[0], flg = stream[1];
    bool deflate32k = (cmf & 0x0F) == 8 && (cmf >> 4) <= 7;
    bool presetDictionary = (flg & 0x20) != 0;
    return deflate32k && !presetDictionary && (cmf * 256 + flg) % 31 == 0;
}
}  // namespace

bool IsStoredBlockStream(const uint8_t* stream, uint32_t length) {
    if (length < kZlibHeaderSize || !IsZlibHeaderWithoutDictionary(stream)) return false;
    // A stored block ends on a byte boundary, so each following block header
    // starts at bit 0 of a byte, as the first one does after the zlib header.
    uint32_t at = kZlibHeaderSize;
    for (;;) {
        if (length - at < kStoredBlockHeaderSize) return false;
        uint8_t header = stream[at];
        bool isFinal = (header & 1) != 0;
        bool isStored = ((header >> 1) & 3) == 0;
        uint16_t blockLength = ReadU16Le(stream + at + 1);
        uint16_t complement = ReadU16Le(stream + at + 3);
        if (!isStored || static_cast<uint16_t>(~blockLength) != complement) return false;
        at += kStoredBlockHeaderSize;
        if (blockLength > length - at) return false;
        at += blockLength;
        if (isFinal) return length - at >= kAdlerSize;
    }
}

InPlaceResult InflateStoredInPlace(uint8_t* stream, uint32_t length, uint32_t* contentLength) {
    uint8_t* scratch = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, kScratchSize));
    if (!scratch) return InPlaceResult::kNotTried;
    z_stream inflater = {};
    if (inflateInit(&inflater) != Z_OK) {
        PlatformFree(scratch);
        return InPlaceResult::kNotTried;
    }
    inflater.next_in = stream;
    inflater.avail_in = length;

    // zlib makes each piece in the scratch buffer; the piece then goes where
    // the content stands, all of which lies below the input consumed so far.
    // A stream that is not stored blocks only would overtake its input: it
    // fails here before a byte is written past the consumed input.
    uint32_t produced = 0;
    int result = Z_OK;
    while (result == Z_OK) {
        inflater.next_out = scratch;
        inflater.avail_out = kScratchSize;
        result = inflate(&inflater, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END) break;
        uint32_t piece = kScratchSize - inflater.avail_out;
        uint32_t consumed = length - inflater.avail_in;
        if (piece > consumed - produced) {
            result = Z_DATA_ERROR;
            break;
        }
        std::memcpy(stream + produced, scratch, piece);
        produced += piece;
    }
    inflateEnd(&inflater);
    PlatformFree(scratch);
    if (result != Z_STREAM_END) return InPlaceResult::kFailed;
    *contentLength = produced;
    return InPlaceResult::kInflated;
}
