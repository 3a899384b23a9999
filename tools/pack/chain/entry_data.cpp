#include "chain/entry_data.h"

#include <zlib.h>

#include <algorithm>

#include "files/pack_error.h"

namespace {
constexpr size_t kStoredBlockMax = 65535;

// Deflates at level 9. Gives up (returns false) as soon as the stream grows
// to `giveUpAt` bytes, since the stored form is then at least as small.
bool DeflateBest(const uint8_t* content, size_t size, size_t giveUpAt, Bytes* out) {
    z_stream stream{};
    if (deflateInit(&stream, Z_BEST_COMPRESSION) != Z_OK) throw PackError("zlib could not start a stream");
    out->clear();
    const size_t step = 1 << 20;
    size_t consumed = 0;
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        size_t piece = std::min<size_t>(size - consumed, 1u << 30);
        stream.next_in = const_cast<Bytef*>(content + consumed);
        stream.avail_in = static_cast<uInt>(piece);
        int flush = consumed + piece == size ? Z_FINISH : Z_NO_FLUSH;
        do {
            size_t used = out->size();
            if (used >= giveUpAt) {
                deflateEnd(&stream);
                return false;
            }
            out->resize(used + step);
            stream.next_out = out->data() + used;
            stream.avail_out = static_cast<uInt>(step);
            result = deflate(&stream, flush);
            out->resize(used + step - stream.avail_out);
        } while (stream.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
        consumed += piece - stream.avail_in;
    }
    deflateEnd(&stream);
    return out->size() < giveUpAt;
}
}  // namespace

Bytes StoredZlibStream(const uint8_t* content, size_t size) {
    size_t blocks = size == 0 ? 1 : (size + kStoredBlockMax - 1) / kStoredBlockMax;
    Bytes out;
    out.reserve(2 + blocks * 5 + size + 4);
    // CMF 0x78: deflate with a 32 KiB window; FLG 0x01: fastest level, and
    // 0x7801 is a multiple of 31 as the header check requires.
    out.push_back(0x78);
    out.push_back(0x01);
    size_t offset = 0;
    do {
        size_t length = std::min(kStoredBlockMax, size - offset);
        bool last = offset + length == size;
        out.push_back(last ? 0x01 : 0x00);  // BFINAL, BTYPE 00; the block starts on a byte boundary
        out.push_back(static_cast<uint8_t>(length));
        out.push_back(static_cast<uint8_t>(length >> 8));
        out.push_back(static_cast<uint8_t>(~length));
        out.push_back(static_cast<uint8_t>(~length >> 8));
        out.insert(out.end(), content + offset, content + offset + length);
        offset += length;
    } while (offset < size);
    uLong adler = adler32(0L, Z_NULL, 0);
    for (size_t done = 0; done < size;) {
        uInt piece = static_cast<uInt>(std::min<size_t>(size - done, 1u << 30));
        adler = adler32(adler, content + done, piece);
        done += piece;
    }
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(adler >> shift));
    return out;
}

Bytes CompressEntryContent(const uint8_t* content, size_t size) {
    size_t blocks = size == 0 ? 1 : (size + kStoredBlockMax - 1) / kStoredBlockMax;
    size_t storedSize = 2 + blocks * 5 + size + 4;
    Bytes deflated;
    if (DeflateBest(content, size, storedSize, &deflated)) return deflated;
    return StoredZlibStream(content, size);
}
