// An entry's content read in pieces, from memory and from a file with windows
// of any size: the same content, the same failures, and never more memory
// than a window and a piece.
#include "format/entry_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "container_image.h"
#include "format/read_entry.h"

namespace {

using namespace container_test;

struct Streamed {
    StreamResult result;
    Bytes content;
};

// Reads the whole content, `piece` bytes at a time, through `source`.
Streamed ReadAll(const ByteSource& source, uint32_t dataLength, bool compressed, uint64_t maxLength,
                 uint32_t window, uint32_t piece) {
    EntryStream stream;
    Streamed out = {OpenEntryStreamWithWindow(&stream, source, 0, dataLength, compressed, maxLength, window), {}};
    std::vector<uint8_t> buffer(piece);
    while (out.result == StreamResult::kMore) {
        uint32_t got = 0;
        out.result = ReadEntryStream(&stream, buffer.data(), piece, &got);
        EXPECT_LE(got, piece);
        if (out.result == StreamResult::kMore) EXPECT_EQ(got, piece) << "a piece comes back full unless it is the last";
        out.content.insert(out.content.end(), buffer.begin(), buffer.begin() + got);
    }
    EXPECT_LE(stream.produced, maxLength + 1) << "no more than one byte past the ceiling is ever made";
    CloseEntryStream(&stream);
    return out;
}

// The same read from memory and from a file, with several windows: every
// way must give the same result.
Streamed ReadEveryWay(const Bytes& data, bool compressed, uint64_t maxLength = kMaxEntryContentLength,
                      uint32_t piece = 5000) {
    // A heap block of exactly the data's size: reads past it are caught.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[data.size() + 1]);
    std::copy(data.begin(), data.end(), exact.get());
    const uint32_t size = static_cast<uint32_t>(data.size());
    Streamed first = ReadAll(MemorySource(exact.get(), size), size, compressed, maxLength, 0, piece);
    SourceFile file(data);
    for (uint32_t window : {7u, 4099u, kStreamWindowSize}) {
        Streamed again = ReadAll(file.Source(), size, compressed, maxLength, window, piece);
        EXPECT_EQ(again.result, first.result) << "window " << window;
        EXPECT_EQ(again.content.size(), first.content.size()) << "window " << window;
        EXPECT_TRUE(again.content == first.content) << "window " << window;
    }
    return first;
}

TEST(EntryStream, RoundTripsContentOfEverySizeInPiecesOfEverySize) {
    const Bytes contents[] = {{}, Text("x"), Text(std::string(300, 'a')), NoiseBytes(4096), NoiseBytes(100000),
                              Bytes(3 * 1024 * 1024, 0x5A)};
    for (const Bytes& content : contents) {
        for (int level : {0, 9}) {
            for (uint32_t piece : {1u, 4096u, 1u << 20}) {
                if (piece == 1 && content.size() > 4096) continue;
                Streamed read = ReadEveryWay(ZlibStream(content, level), true, kMaxEntryContentLength, piece);
                EXPECT_EQ(read.result, StreamResult::kEnded) << content.size() << " bytes at level " << level;
                EXPECT_TRUE(read.content == content) << content.size() << " bytes at level " << level;
            }
        }
        Streamed plain = ReadEveryWay(content, false);
        EXPECT_EQ(plain.result, StreamResult::kEnded);
        EXPECT_TRUE(plain.content == content) << "plain data are the content";
    }
}

TEST(EntryStream, BadStreamsFail) {
    const Bytes content = Text(std::string(1000, 'q'));
    const Bytes stream = ZlibStream(content);
    Bytes badCheck = stream;
    badCheck.back() ^= 0x40;
    const Bytes noise = NoiseBytes(200000);
    const Bytes storedStream = ZlibStream(noise, 0);
    Bytes badStoredCheck = storedStream;
    badStoredCheck.back() ^= 0x01;
    struct Case {
        const char* what;
        Bytes stream;
    };
    const Case cases[] = {
        {"no input", {}},
        {"header only", Bytes(stream.begin(), stream.begin() + 2)},
        {"cut before its check", Bytes(stream.begin(), stream.end() - 1)},
        {"wrong check", badCheck},
        {"stored blocks with a wrong check", badStoredCheck},
        {"stored blocks cut in the middle", Bytes(storedStream.begin(), storedStream.begin() + 100000)},
        {"raw text", content},
        {"preset dictionary", StreamWithDictionary(content)},
    };
    for (const Case& c : cases) EXPECT_EQ(ReadEveryWay(c.stream, true).result, StreamResult::kBadData) << c.what;
}

TEST(EntryStream, BytesAfterTheStreamAreIgnored) {
    const Bytes content = NoiseBytes(777);
    Bytes stream = ZlibStream(content);
    Append(&stream, NoiseBytes(50, 3));
    Streamed read = ReadEveryWay(stream, true);
    EXPECT_EQ(read.result, StreamResult::kEnded);
    EXPECT_TRUE(read.content == content);
}

// Content up to the ceiling reads; one byte more fails, however the pieces fall.
TEST(EntryStream, ContentBeyondTheCeilingFails) {
    for (uint32_t ceiling : {1u, 4096u, 5000u, 100000u}) {
        for (int level : {0, 9}) {
            const Bytes exact = NoiseBytes(ceiling, ceiling);
            Streamed fits = ReadEveryWay(ZlibStream(exact, level), true, ceiling);
            EXPECT_EQ(fits.result, StreamResult::kEnded) << ceiling << " at level " << level;
            EXPECT_TRUE(fits.content == exact);

            Bytes oneMore = exact;
            oneMore.push_back(0x42);
            for (uint32_t piece : {1u, 5000u, 1u << 20})
                EXPECT_EQ(ReadEveryWay(ZlibStream(oneMore, level), true, ceiling, piece).result,
                          StreamResult::kTooLong)
                    << ceiling << " at level " << level << " in pieces of " << piece;
        }
    }
}

// A file shorter than its source claims: the read fails as a read, not as
// bad data, for a stream and for plain data.
TEST(EntryStream, ShortFileFailsAsARead) {
    const Bytes stream = ZlibStream(NoiseBytes(20000), 0);
    SourceFile file(stream);
    const uint32_t claimed = static_cast<uint32_t>(stream.size()) + 10;
    EXPECT_EQ(ReadAll(file.Source(claimed), claimed, true, kMaxEntryContentLength, 4096, 4096).result,
              StreamResult::kReadFailed);
    EXPECT_EQ(ReadAll(file.Source(claimed), claimed, false, kMaxEntryContentLength, 4096, 4096).result,
              StreamResult::kReadFailed);
}

// Data said to reach past the source, by their start or their length, are
// refused before a byte is read, from memory and from a file alike.
TEST(EntryStream, DataOutsideTheSourceAreRefused) {
    const Bytes data = ZlibStream(NoiseBytes(1000), 0);
    const uint32_t size = static_cast<uint32_t>(data.size());
    std::unique_ptr<uint8_t[]> exact(new uint8_t[size]);
    std::copy(data.begin(), data.end(), exact.get());
    SourceFile file(data);
    struct Range {
        uint32_t offset;
        uint32_t length;
    };
    for (const ByteSource& source : {MemorySource(exact.get(), size), file.Source()}) {
        for (Range range : {Range{0, size + 1}, Range{1, size}, Range{size + 1, 0}, Range{size - 1, 0xFFFFFFFFu}}) {
            for (bool compressed : {true, false}) {
                EntryStream stream;
                EXPECT_EQ(OpenEntryStream(&stream, source, range.offset, range.length, compressed,
                                          kMaxEntryContentLength),
                          StreamResult::kReadFailed);
                uint8_t piece[64];
                uint32_t got = 0;
                EXPECT_EQ(ReadEntryStream(&stream, piece, sizeof piece, &got), StreamResult::kReadFailed);
                EXPECT_EQ(got, 0u);
            }
            EntryStream verified;
            EXPECT_EQ(OpenRawDeflateStream(&verified, source, range.offset, range.length, kMaxEntryContentLength),
                      StreamResult::kReadFailed);
        }
    }
}

// An ended or failed stream stays so and yields nothing more.
TEST(EntryStream, EndAndFailureAreKept) {
    const Bytes good = ZlibStream(Text("content"));
    const Bytes bad = Text("not a stream");
    for (const Bytes* data : {&good, &bad}) {
        EntryStream stream;
        ASSERT_EQ(OpenEntryStream(&stream, MemorySource(data->data(), static_cast<uint32_t>(data->size())), 0,
                                  static_cast<uint32_t>(data->size()), true, kMaxEntryContentLength),
                  StreamResult::kMore);
        uint8_t piece[64];
        uint32_t got = 0;
        StreamResult first = ReadEntryStream(&stream, piece, sizeof piece, &got);
        EXPECT_NE(first, StreamResult::kMore);
        EXPECT_EQ(ReadEntryStream(&stream, piece, sizeof piece, &got), first);
        EXPECT_EQ(got, 0u);
        CloseEntryStream(&stream);
        CloseEntryStream(&stream);
    }
}

// 64 MiB of content from a file in 1 MiB pieces: nothing near the content's
// size is ever allocated, and a stream that fails for want of memory says so.
TEST(EntryStream, MemoryDoesNotGrowWithTheContent) {
    const Bytes stream = ZlibStream(Bytes(64u << 20, 0x33), 9);
    SourceFile file(stream);
    size_t largest = 0;
    {
        FailingAllocator counting([&largest](bool, uint32_t, size_t bytes) {
            largest = std::max(largest, bytes);
            return false;
        });
        Streamed read = ReadAll(file.Source(), static_cast<uint32_t>(stream.size()), true, kMaxEntryContentLength,
                                kStreamWindowSize, 1u << 20);
        EXPECT_EQ(read.result, StreamResult::kEnded);
        EXPECT_EQ(read.content.size(), 64u << 20);
    }
    EXPECT_LE(largest, size_t{kStreamWindowSize});

    FailingAllocator failing([](bool, uint32_t, size_t) { return true; });
    EntryStream opened;
    EXPECT_EQ(OpenEntryStream(&opened, file.Source(), 0, static_cast<uint32_t>(stream.size()), true,
                              kMaxEntryContentLength),
              StreamResult::kNoMemory);
}

}  // namespace
