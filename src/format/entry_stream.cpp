#include "format/entry_stream.h"

#include <cstring>

#include "platform/platform.h"

#define ZLIB_CONST
#include <zlib.h>

namespace {
z_stream* Inflater(EntryStream* stream) { return static_cast<z_stream*>(stream->inflater); }

StreamResult Settle(EntryStream* stream, StreamResult result) {
    stream->state = result;
    return result;
}

// Hands zlib the next data: all of them at once from memory, a window's
// worth from a file.
bool FeedInflater(EntryStream* stream, z_stream* inflater) {
    uint32_t rest = stream->dataLength - stream->taken;
    if (stream->source.memory) {
        inflater->next_in = stream->source.memory + stream->dataOffset + stream->taken;
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

// Runs inflate until the piece is full or the stream ends or fails.
StreamResult InflatePiece(EntryStream* stream, z_stream* inflater) {
    for (;;) {
        if (inflater->avail_in == 0 && stream->taken < stream->dataLength && !FeedInflater(stream, inflater))
            return StreamResult::kReadFailed;
        int result = inflate(inflater, Z_NO_FLUSH);
        if (result == Z_STREAM_END) return StreamResult::kEnded;
        if (result == Z_MEM_ERROR) return StreamResult::kNoMemory;
        if (result != Z_OK && result != Z_BUF_ERROR) return StreamResult::kBadData;
        if (inflater->avail_out == 0) return StreamResult::kMore;
        // Room left and every data byte used, before the stream's end.
        if (inflater->avail_in == 0 && stream->taken == stream->dataLength) return StreamResult::kBadData;
        if (result == Z_BUF_ERROR && inflater->avail_in != 0) return StreamResult::kBadData;
    }
}

StreamResult ReadInflated(EntryStream* stream, uint8_t* out, uint32_t capacity, uint32_t* got) {
    // One byte past the ceiling is room enough to tell that the content is
    // too long, and no more is ever made.
    uint64_t room = stream->maxLength - stream->produced + 1;
    if (capacity > room) capacity = static_cast<uint32_t>(room);
    z_stream* inflater = Inflater(stream);
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

// `windowBits` as inflateInit2 takes it: 15 for a zlib stream, -15 for raw
// deflate data without the zlib header and check.
StreamResult OpenInflating(EntryStream* stream, int windowBits) {
    auto* inflater = static_cast<z_stream*>(PlatformAlloc(kMemFixed, sizeof(z_stream)));
    if (!inflater) return StreamResult::kNoMemory;
    std::memset(inflater, 0, sizeof(z_stream));
    if (inflateInit2(inflater, windowBits) != Z_OK) {
        PlatformFree(inflater);
        return StreamResult::kNoMemory;
    }
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
    return compressed ? OpenInflating(stream, MAX_WBITS) : StreamResult::kMore;
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
    return OpenInflating(stream, -MAX_WBITS);
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
    if (stream->inflater) {
        inflateEnd(Inflater(stream));
        PlatformFree(stream->inflater);
    }
    PlatformFree(stream->window);
    stream->inflater = nullptr;
    stream->window = nullptr;
}
