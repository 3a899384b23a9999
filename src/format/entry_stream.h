// One entry's content read front to back in pieces: inflated from its zlib
// stream in a compressed blob, taken as it stands otherwise. Only a window of
// the entry's data and the caller's piece are in memory at any time, so a
// setup of gigabytes needs no more memory than one of kilobytes, and a small
// stream that would inflate past its ceiling fails once it has produced one
// byte more, not once it has filled the memory.
#pragma once

#include <cstdint>

#include "format/byte_source.h"

// How much of a file source is read at a time.
constexpr uint32_t kStreamWindowSize = 1u << 20;

enum class StreamResult {
    kMore,        // the piece is full; the content goes on, or its end has not been seen yet
    kEnded,       // the content is complete, the stream's end and check included
    kBadData,     // not a zlib stream, a damaged one, or one that ends after its data
    kTooLong,     // the content runs past the stream's ceiling
    kReadFailed,  // the source could not be read
    kNoMemory,
};

struct EntryStream {
    ByteSource source;
    uint32_t dataOffset;  // the entry's data in the source
    uint32_t dataLength;
    uint32_t taken;       // data bytes read from the source so far
    uint64_t produced;    // content bytes handed out so far
    uint64_t maxLength;   // the ceiling on the content's length
    void* inflater;       // igzip's inflate_state; null for data that are the content
    uint8_t* window;      // data read from a file source; null for memory
    uint32_t windowSize;
    StreamResult state;   // kMore until the content ends or fails, then kept
};

// Starts reading the content of the data at `dataOffset` (`dataLength`
// bytes) of `source`. Gives kMore; kReadFailed for data that do not lie
// wholly inside the source; or kNoMemory. A stream that did not start holds
// nothing to close.
StreamResult OpenEntryStream(EntryStream* stream, const ByteSource& source, uint32_t dataOffset,
                             uint32_t dataLength, bool compressed, uint64_t maxLength);

// OpenEntryStream with a window of another size, so that tests can put the
// window's edges anywhere in a stream.
StreamResult OpenEntryStreamWithWindow(EntryStream* stream, const ByteSource& source, uint32_t dataOffset,
                                       uint32_t dataLength, bool compressed, uint64_t maxLength,
                                       uint32_t windowSize);

// A stream over the deflate data inside a zlib stream: its 2-byte header and
// its Adler-32 are passed over and not checked, which makes reading stored
// blocks cost little more than copying them. It ends at the deflate data's
// last block. Only for content whose result is checked otherwise, as every
// written payload file is against the SHA-256 taken when it was verified.
// Gives what OpenEntryStream gives, or kBadData for data too short for a
// header.
StreamResult OpenRawDeflateStream(EntryStream* stream, const ByteSource& source, uint32_t dataOffset,
                                  uint32_t dataLength, uint64_t maxLength);

// Fills `out` with the next content bytes, up to `capacity`, and sets `*got`.
// With kMore the piece is full; with kEnded it holds the content's last
// bytes (possibly none). On a failure the piece holds nothing usable. Once a
// stream has ended or failed it gives that result again with no bytes.
StreamResult ReadEntryStream(EntryStream* stream, uint8_t* out, uint32_t capacity, uint32_t* got);

// After the content's expected last byte: kEnded when the content ends right
// here, its stream's end and check included; kTooLong when more follows (so
// the stream needs a ceiling at that length); else the stream's failure.
StreamResult FinishEntryStream(EntryStream* stream);

// Frees what the stream holds; a closed stream may be closed again.
void CloseEntryStream(EntryStream* stream);
