#include "format/entry_stream.h"

#include <cstring>

#include "platform/platform.h"

#include <isa-l/igzip_lib.h>

// ISA-L's igzip inflater: its assembly inflates at several times zlib's
// speed, and it reads the zlib header and checks the Adler-32 itself.
namespace {
inflate_state* Inflater(EntryStream* stream) { return static_cast<inflate_state*>(stream->inflater); }

// zlib's window sizes run up to 2^15: a header that asks for a larger one is
// refused as zlib refuses it (igzip does not look at that field).
constexpr uint8_t kLargestWindowInfo = 7;

StreamResult Settle(EntryStream* stream, StreamResult result) {
    stream->state = result;
    return result;
}

// Hands the inflater the next data: all of them at once from memory, a
// window's worth from a file.
bool FeedInflater(EntryStream* stream, inflate_state* inflater) {
    uint32_t rest = stream->dataLength - stream->taken;
    if (stream->source.memory) {
        // igzip's input pointer is not const, but it only reads through it.
        inflater->next_in = const_cast<uint8_t*>(stream->source.memory + stream->dataOffset + stream->taken);
        inflater->avail_in = rest;
    } else {
        uint32_t wanted = rest < stream->windowSize ? rest : stream->windowSize;
        if (!ReadSourceBytes(stream->source, stream->dataOffset + stream->taken, stream->window, wanted))
            return false;
        inflater->next_in = stream->window;
        inflater->avail_in = wanted;
        rest = wanted;
    }
    stream->taken += rest;
    return true;
}

// Runs the inflater until the piece is full or the stream ends or fails.
// igzip reports damaged data, a wrong header and a wrong check as negative
// results and a dictionary it lacks as a positive one; a stream cut short
// is no failure to it, only a block state short of the finish.
// Unlike zlib, igzip takes a block whose Huffman code set is incomplete
// (say one distance code of length 2) and decodes it as long as no unused
// code turns up; zlib refuses the block. Such a stream still has to end
// with the right Adler-32, and a signed one with the signed content.
StreamResult InflatePiece(EntryStream* stream, inflate_state* inflater) {
    for (;;) {
        if (inflater->avail_in == 0 && stream->taken < stream->dataLength && !FeedInflater(stream, inflater))
            return StreamResult::kReadFailed;
        if (isal_inflate(inflater) != ISAL_DECOMP_OK) return StreamResult::kBadData;
        if (inflater->block_state == ISAL_BLOCK_FINISH) return StreamResult::kEnded;
        if (inflater->avail_out == 0) return StreamResult::kMore;
        // Room left and every data byte used, before the stream's end.
        if (inflater->avail_in == 0 && stream->taken == stream->dataLength) return StreamResult::kBadData;
    }
}

StreamResult ReadInflated(EntryStream* stream, uint8_t* out, uint32_t capacity, uint32_t* got) {
    // One byte past the ceiling is room enough to tell that the content is
    // too long, and no more is ever made.
    uint64_t room = stream->maxLength - stream->produced + 1;
    if (capacity > room) capacity = static_cast<uint32_t>(room);
    inflate_state* inflater = Inflater(stream);
    inflater->next_out = out;
    inflater->avail_out = capacity;
    StreamResult result = InflatePiece(stream, inflater);
    *got = capacity - inflater->avail_out;
    stream->produced += *got;
    if (stream->produced > stream->maxLength) return StreamResult::kTooLong;
    return result;
}

StreamResult ReadPlain(EntryStream* stream, uint8_t* out, uint32_t capacity, uint32_t* got) {
    uint32_t rest = stream->dataLength - stream->taken;
    uint32_t wanted = rest < capacity ? rest : capacity;
    if (!ReadSourceBytes(stream->source, stream->dataOffset + stream->taken, out, wanted))
        return StreamResult::kReadFailed;
    stream->taken += wanted;
    stream->produced += wanted;
    *got = wanted;
    return stream->taken == stream->dataLength ? StreamResult::kEnded : StreamResult::kMore;
}

// Data that do not lie wholly inside the source are refused at the start:
// memory data are handed to zlib as one span, unchecked after this.
bool InsideSource(const ByteSource& source, uint32_t dataOffset, uint32_t dataLength) {
    return dataOffset <= source.size && dataLength <= source.size - dataOffset;
}

// The first data byte of a zlib stream holds its window size.
bool AsksForLargerWindow(const EntryStream& stream) {
    if (stream.dataLength == 0) return false;
    uint8_t first = 0;
    if (stream.source.memory)
        first = stream.source.memory[stream.dataOffset];
    else if (!ReadSourceBytes(stream.source, stream.dataOffset, &first, 1))
        return false;  // the first read of the data fails again, as a read
    return (first >> 4) > kLargestWindowInfo;
}

// `checkFlag` as igzip takes it: ISAL_ZLIB for a zlib stream, ISAL_DEFLATE
// for raw deflate data without the zlib header and check.
StreamResult OpenInflating(EntryStream* stream, uint32_t checkFlag) {
    if (checkFlag == ISAL_ZLIB && AsksForLargerWindow(*stream)) return Settle(stream, StreamResult::kBadData);
    auto* inflater = static_cast<inflate_state*>(PlatformAlloc(kMemFixed, sizeof(inflate_state)));
    if (!inflater) return StreamResult::kNoMemory;
    isal_inflate_init(inflater);
    inflater->crc_flag = checkFlag;
    stream->inflater = inflater;
    if (!stream->source.memory) {
        uint32_t size = stream->dataLength < stream->windowSize ? stream->dataLength : stream->windowSize;
        stream->window = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, size ? size : 1));
        if (!stream->window) {
            CloseEntryStream(stream);
            return StreamResult::kNoMemory;
        }
    }
    return StreamResult::kMore;
}
}  // namespace

StreamResult OpenEntryStreamWithWindow(EntryStream* stream, const ByteSource& source, uint32_t dataOffset,
                                       uint32_t dataLength, bool compressed, uint64_t maxLength,
                                       uint32_t windowSize) {
    *stream = {source, dataOffset, dataLength, 0, 0, maxLength, nullptr, nullptr, windowSize ? windowSize : 1,
               StreamResult::kMore};
    if (!InsideSource(source, dataOffset, dataLength)) return Settle(stream, StreamResult::kReadFailed);
    return compressed ? OpenInflating(stream, ISAL_ZLIB) : StreamResult::kMore;
}

StreamResult OpenRawDeflateStream(EntryStream* stream, const ByteSource& source, uint32_t dataOffset,
                                  uint32_t dataLength, uint64_t maxLength) {
    constexpr uint32_t kZlibHeaderSize = 2;
    *stream = {source, dataOffset, dataLength, 0, 0, maxLength, nullptr, nullptr, kStreamWindowSize,
               StreamResult::kMore};
    if (!InsideSource(source, dataOffset, dataLength)) return Settle(stream, StreamResult::kReadFailed);
    if (dataLength < kZlibHeaderSize) return Settle(stream, StreamResult::kBadData);
    stream->dataOffset += kZlibHeaderSize;
    stream->dataLength -= kZlibHeaderSize;
    return OpenInflating(stream, ISAL_DEFLATE);
}

StreamResult OpenEntryStream(EntryStream* stream, const ByteSource& source, uint32_t dataOffset,
                             uint32_t dataLength, bool compressed, uint64_t maxLength) {
    return OpenEntryStreamWithWindow(stream, source, dataOffset, dataLength, compressed, maxLength,
                                     kStreamWindowSize);
}

StreamResult ReadEntryStream(EntryStream* stream, uint8_t* out, uint32_t capacity, uint32_t* got) {
    *got = 0;
    if (stream->state != StreamResult::kMore) return stream->state;
    StreamResult result = stream->inflater ? ReadInflated(stream, out, capacity, got)
                                           : ReadPlain(stream, out, capacity, got);
    return Settle(stream, result);
}

StreamResult FinishEntryStream(EntryStream* stream) {
    uint8_t extra = 0;
    uint32_t got = 0;
    StreamResult result = ReadEntryStream(stream, &extra, 1, &got);
    if (result == StreamResult::kEnded && got == 0) return result;
    return result == StreamResult::kMore || result == StreamResult::kEnded ? StreamResult::kTooLong : result;
}

void CloseEntryStream(EntryStream* stream) {
    PlatformFree(stream->inflater);
    PlatformFree(stream->window);
    stream->inflater = nullptr;
    stream->window = nullptr;
}
