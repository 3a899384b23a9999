#include "chain/entry_data.h"

#include <zlib.h>

#include <algorithm>

#include "files/pack_error.h"

namespace {
constexpr size_t kStoredBlockMax = 65535;
static_assert(kPieceSize % kStoredBlockMax == 0, "stored blocks must not straddle pieces");

uint64_t StoredStreamSize(uint64_t size) {
    uint64_t blocks = size == 0 ? 1 : (size + kStoredBlockMax - 1) / kStoredBlockMax;
    return 2 + blocks * 5 + size + 4;
}

// Both passes over the content report what they read; each byte reaches the
// observer once, however far the first pass got before it gave up.
struct ObservedContent {
    ContentReader* reader;
    const PieceVisitor& observe;
    uint64_t observedUpTo;

    size_t Read(uint64_t at, uint8_t* buffer, size_t capacity) {
        size_t length = reader->Read(buffer, capacity);
        if (at + length > observedUpTo) {
            size_t skip = static_cast<size_t>(observedUpTo - at);
            observe(buffer + skip, length - skip);
            observedUpTo = at + length;
        }
        return length;
    }
};

struct DeflateEnder {
    z_stream* stream;
    ~DeflateEnder() { deflateEnd(stream); }
};

// Deflates at level 9. Gives up (returns false) as soon as the stream grows
// to `giveUpAt` bytes, since the stored form is then at least as small; it
// never writes more than that, so the stored form covers all it wrote. The
// stream does not depend on how the input is cut into pieces, since no piece
// but the last is flushed.
bool DeflateBest(ObservedContent* content, ByteSink* sink, uint64_t giveUpAt) {
    z_stream stream{};
    if (deflateInit(&stream, Z_BEST_COMPRESSION) != Z_OK) throw PackError("zlib could not start a stream");
    DeflateEnder ender{&stream};
    Bytes in(kPieceSize);
    Bytes out(kPieceSize);
    const uint64_t size = content->reader->Size();
    uint64_t consumed = 0;
    uint64_t written = 0;
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        size_t piece = content->Read(consumed, in.data(), in.size());
        consumed += piece;
        const int flush = consumed == size ? Z_FINISH : Z_NO_FLUSH;
        stream.next_in = in.data();
        stream.avail_in = static_cast<uInt>(piece);
        do {
            if (written >= giveUpAt) return false;
            size_t room = static_cast<size_t>(std::min<uint64_t>(out.size(), giveUpAt - written));
            stream.next_out = out.data();
            stream.avail_out = static_cast<uInt>(room);
            result = deflate(&stream, flush);
            if (result == Z_STREAM_ERROR) throw PackError("zlib could not compress an entry");
            size_t produced = room - stream.avail_out;
            sink->Write(out.data(), produced);
            written += produced;
        } while (result != Z_STREAM_END && (stream.avail_in > 0 || stream.avail_out == 0 || flush == Z_FINISH));
    }
    return written < giveUpAt;
}

void WriteStoredStream(ObservedContent* content, ByteSink* sink) {
    const uint64_t size = content->reader->Size();
    // CMF 0x78: deflate with a 32 KiB window; FLG 0x01: fastest level, and
    // 0x7801 is a multiple of 31 as the header check requires.
    const uint8_t header[2] = {0x78, 0x01};
    sink->Write(header, 2);
    Bytes in(kPieceSize);
    uLong adler = adler32(0L, Z_NULL, 0);
    uint64_t offset = 0;
    do {
        size_t piece = content->Read(offset, in.data(), in.size());
        if (piece == 0 && offset < size) throw PackError("an entry's content ended early");
        adler = adler32(adler, in.data(), static_cast<uInt>(piece));
        size_t at = 0;
        do {
            size_t length = std::min(kStoredBlockMax, piece - at);
            bool last = offset + at + length == size;
            const uint8_t block[5] = {
                static_cast<uint8_t>(last ? 0x01 : 0x00),  // BFINAL, BTYPE 00; the block starts on a byte boundary
                static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(~length),
                static_cast<uint8_t>(~length >> 8)};
            sink->Write(block, 5);
            sink->Write(in.data() + at, length);
            at += length;
        } while (at < piece);
        offset += piece;
    } while (offset < size);
    uint8_t trailer[4];
    for (int i = 0; i < 4; ++i) trailer[i] = static_cast<uint8_t>(adler >> (24 - 8 * i));
    sink->Write(trailer, 4);
}
}  // namespace

uint64_t WriteEntryData(ContentReader* content, ByteSink* sink, const PieceVisitor& observe) {
    ObservedContent observed{content, observe, 0};
    const uint64_t start = sink->Position();
    const uint64_t storedSize = StoredStreamSize(content->Size());
    if (DeflateBest(&observed, sink, storedSize)) return sink->Position() - start;
    sink->Rewind(start);
    content->Restart();
    WriteStoredStream(&observed, sink);
    return sink->Position() - start;
}

Bytes StoredZlibStream(const uint8_t* content, size_t size) {
    MemoryReader reader(content, size);
    const PieceVisitor ignore = [](const uint8_t*, size_t) {};
    ObservedContent observed{&reader, ignore, 0};
    Bytes out;
    MemorySink sink(&out);
    WriteStoredStream(&observed, &sink);
    return out;
}

Bytes CompressEntryContent(const uint8_t* content, size_t size) {
    MemoryReader reader(content, size);
    Bytes out;
    MemorySink sink(&out);
    WriteEntryData(&reader, &sink, [](const uint8_t*, size_t) {});
    return out;
}
