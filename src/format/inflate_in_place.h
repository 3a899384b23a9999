// Inflation of a zlib stream made only of stored deflate blocks, the form in
// which the packer keeps incompressible payloads, into the very bytes that
// hold the stream. Such content is never longer than its stream, and each of
// its bytes moves only to a place whose input zlib has already consumed, so
// no buffer as large as the content is needed: on a setup of hundreds of
// megabytes that buffer's fresh pages cost more than all the rest of the
// extraction.
#pragma once

#include <cstdint>

enum class InPlaceResult {
    kNotTried,  // no memory to start: the bytes are untouched
    kInflated,  // the content now fills the first `contentLength` bytes
    kFailed,    // zlib refused the stream; its bytes are partly overwritten
};

// True when `stream` is a zlib header without a preset dictionary followed by
// stored blocks up to one marked final and a four-byte check, all within
// `length`. Only the form is tested; zlib checks the rest while it inflates.
bool IsStoredBlockStream(const uint8_t* stream, uint32_t length);

// For a stream that IsStoredBlockStream accepts; any other stream may be
// partly overwritten before it fails, though never past its consumed input.
InPlaceResult InflateStoredInPlace(uint8_t* stream, uint32_t length, uint32_t* contentLength);
