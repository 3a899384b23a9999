#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "format/inflate_in_place.h"
#include "format/read_entry.h"
#include "container_image.h"
#include "core/status_lines.h"

namespace {

using namespace container_test;

constexpr uint32_t kSignedCompressed = kBlobCompressed | kBlobSigned;
constexpr uint32_t kStoredBlockMax = 65535;

// Stored deflate blocks of at most `blockSize` bytes, as the packer writes an
// incompressible payload; the last block may be empty.
Bytes StoredStream(const Bytes& content, uint32_t blockSize = kStoredBlockMax, bool emptyFinalBlock = false) {
    Bytes out = {0x78, 0x01};
    auto block = [&out](const uint8_t* data, uint32_t length, bool isFinal) {
        out.push_back(isFinal ? 0x01 : 0x00);
        out.insert(out.end(), {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                               static_cast<uint8_t>(~length), static_cast<uint8_t>(~length >> 8)});
        out.insert(out.end(), data, data + length);
    };
    size_t offset = 0;
    do {
        uint32_t length = static_cast<uint32_t>(std::min<size_t>(blockSize, content.size() - offset));
        bool last = offset + length == content.size();
        block(content.data() + offset, length, last && !emptyFinalBlock);
        offset += length;
    } while (offset < content.size());
    if (emptyFinalBlock) block(nullptr, 0, true);
    uint32_t adler = static_cast<uint32_t>(adler32(1, content.data(), static_cast<uInt>(content.size())));
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(adler >> shift));
    return out;
}

// A blob whose entries the test reads in place and also, for comparison, from
// an untouched copy with ReadEntry.
class InPlaceBlob {
public:
    InPlaceBlob(const Bytes& bytes, uint32_t flags) : pristine_(bytes, flags) {
        blob_.data = HeapCopy(bytes);
        blob_.size = static_cast<uint32_t>(bytes.size());
        blob_.flags = flags;
    }
    InPlaceBlob(const InPlaceBlob&) = delete;
    InPlaceBlob& operator=(const InPlaceBlob&) = delete;
    ~InPlaceBlob() {
        for (uint8_t* copy : copies_) PlatformFree(copy);
        PlatformFree(blob_.data);
        PlatformFree(blob_.inPlaceEntries);
    }

    struct Result {
        StatusValue status;
        Bytes content;
        bool lent;
        const uint8_t* pointer;
    };
    Result Read(uint32_t id) {
        uint8_t* content = nullptr;
        uint32_t length = 0;
        bool lent = false;
        StatusValue status = ReadPayloadEntry(&blob_, id, &content, &length, &lent);
        if (StatusSucceeded(status) && !lent) copies_.push_back(content);
        return {status, StatusSucceeded(status) ? Span(content, length) : Bytes(), lent, content};
    }
    // What ReadEntry gives for the same entry of an untouched blob.
    Result Expected(const EntryTypeGuid& type, uint32_t id) const {
        uint8_t* content = nullptr;
        uint32_t length = 0;
        StatusValue status = ReadEntry(*pristine_, type, id, &content, &length);
        Result result = {status, StatusSucceeded(status) ? Span(content, length) : Bytes(), false, nullptr};
        if (StatusSucceeded(status)) PlatformFree(content);
        return result;
    }
    Result Manifest() {
        uint8_t* content = nullptr;
        uint32_t length = 0;
        StatusValue status = ReadEntry(blob_, ManifestEntryGuid, 0, &content, &length);
        Result result = {status, StatusSucceeded(status) ? Span(content, length) : Bytes(), false, nullptr};
        if (StatusSucceeded(status)) PlatformFree(content);
        return result;
    }
    bool Inside(const uint8_t* pointer) const { return pointer >= blob_.data && pointer < blob_.data + blob_.size; }

private:
    OwnedBlob pristine_;
    ContainerBlob blob_ = {};
    std::vector<uint8_t*> copies_;
};

Bytes Flipped(Bytes bytes, size_t at) {
    bytes[at] ^= 0x01;
    return bytes;
}

// Every outcome matches ReadEntry's, code and line; only the stored-block
// streams that succeed are lent.
TEST(ReadPayloadEntry, GivesWhatReadEntryGivesAndLendsOnlyStoredBlocks) {
    const Bytes noise = NoiseBytes(200000, 3);
    const Bytes text = Text(std::string(150000, 'a') + "compressible text");
    const Bytes stored = StoredStream(noise);
    struct Case {
        const char* what;
        uint32_t flags;
        Bytes data;
        Bytes signature;
        bool lent;
    };
    const Case cases[] = {
        {"stored blocks, signed", kSignedCompressed, stored, Sign(noise), true},
        {"stored blocks of zlib's own level 0", kSignedCompressed, ZlibStream(noise, 0), Sign(noise), true},
        {"small blocks and an empty final one", kSignedCompressed, StoredStream(noise, 1000, true), Sign(noise),
         true},
        {"one empty stored block", kSignedCompressed, StoredStream({}), Sign({}), true},
        {"stored blocks, unsigned", kBlobCompressed, stored, {}, true},
        {"bytes after the stream", kSignedCompressed, Concat({stored, Text("after")}), Sign(noise), true},
        {"compressed stream", kSignedCompressed, ZlibStream(text), Sign(text), false},
        {"stored data in a blob that is not compressed", kBlobSigned, noise, Sign(noise), false},
        {"stored blocks with a changed signature", kSignedCompressed, stored, Flipped(Sign(noise), 7), false},
        {"stored blocks signed for other content", kSignedCompressed, stored, Sign(text), false},
        {"stored blocks with a changed data byte", kSignedCompressed, Flipped(stored, 100000), Sign(noise), false},
        {"stored blocks with a changed check", kSignedCompressed, Flipped(stored, stored.size() - 1), Sign(noise),
         false},
        {"stored blocks cut short", kSignedCompressed, Bytes(stored.begin(), stored.end() - 1), Sign(noise), false},
        {"stored blocks with a length that disagrees", kSignedCompressed, Flipped(stored, 4), Sign(noise), false},
    };
    for (const Case& c : cases) {
        Bytes chain = Concat({Entry(ManifestEntryGuid, 0, Text("manifest"), c.flags),
                              RawEntry(PayloadEntryGuid, 1000, c.data, c.signature)});
        InPlaceBlob blob(chain, c.flags);
        InPlaceBlob::Result expected = blob.Expected(PayloadEntryGuid, 1000);
        InPlaceBlob::Result read = blob.Read(1000);
        EXPECT_EQ(StatusCode(read.status), StatusCode(expected.status)) << c.what;
        EXPECT_EQ(StatusLine(read.status), StatusLine(expected.status)) << c.what;
        EXPECT_EQ(read.content, expected.content) << c.what;
        EXPECT_EQ(read.lent, c.lent) << c.what;
        if (read.lent) EXPECT_TRUE(blob.Inside(read.pointer)) << c.what;
    }
}

// Reading in place changes only the entry's own data: the entry itself reads
// again (as a copy of its own, or as the same failure), and so does every
// other entry of the chain, the lent content staying as it was.
TEST(ReadPayloadEntry, EveryEntryReadsAgainAfterAnotherWasReadInPlace) {
    const Bytes cabinet = NoiseBytes(300000, 5);
    const Bytes second = NoiseBytes(70000, 6);
    const Bytes bad = StoredStream(NoiseBytes(90000, 7));
    Bytes chain = Concat({Entry(ManifestEntryGuid, 0, Text("manifest records"), kSignedCompressed),
                          Entry(PayloadEntryGuid, 1000, Text("the package, compressed"), kSignedCompressed),
                          RawEntry(PayloadEntryGuid, 1001, StoredStream(cabinet), Sign(cabinet)),
                          RawEntry(PayloadEntryGuid, 1002, Flipped(bad, 50000), Sign(NoiseBytes(90000, 7))),
                          RawEntry(PayloadEntryGuid, 1003, StoredStream(second), Sign(second))});
    InPlaceBlob blob(chain, kSignedCompressed);

    InPlaceBlob::Result first = blob.Read(1001);
    ASSERT_TRUE(first.lent);
    EXPECT_EQ(first.content, cabinet);
    InPlaceBlob::Result failed = blob.Read(1002);
    EXPECT_EQ(StatusCode(failed.status), 13u);
    EXPECT_EQ(StatusLine(failed.status), 691u);
    EXPECT_TRUE(blob.Read(1003).lent);

    InPlaceBlob::Result again = blob.Read(1001);
    EXPECT_EQ(StatusCode(again.status), 0u);
    EXPECT_EQ(StatusLine(again.status), 687u);
    EXPECT_FALSE(again.lent);
    EXPECT_NE(again.pointer, first.pointer);
    EXPECT_EQ(again.content, cabinet);
    EXPECT_EQ(Span(first.pointer, static_cast<uint32_t>(cabinet.size())), cabinet);
    EXPECT_EQ(blob.Read(1002).status, failed.status);
    EXPECT_EQ(blob.Read(1003).content, second);
    EXPECT_EQ(blob.Read(1000).content, Text("the package, compressed"));
    EXPECT_EQ(blob.Manifest().content, Text("manifest records"));
    EXPECT_EQ(StatusCode(blob.Read(1004).status), 1168u);
}

// A stored-block payload needs no buffer of its size, so it is read where an
// ordinary inflation would run out of memory; with no memory at all it
// fails as inflation does.
TEST(ReadPayloadEntry, NeedsNoBufferOfTheContentsSize) {
    const Bytes cabinet = NoiseBytes(600000, 8);
    Bytes chain = Concat({Entry(ManifestEntryGuid, 0, Text("m"), kSignedCompressed),
                          RawEntry(PayloadEntryGuid, 1001, StoredStream(cabinet), Sign(cabinet))});
    {
        InPlaceBlob blob(chain, kSignedCompressed);
        FailingAllocator failing([](bool, uint32_t, size_t bytes) { return bytes >= 500000; });
        EXPECT_EQ(StatusCode(blob.Expected(PayloadEntryGuid, 1001).status), 13u);
        InPlaceBlob::Result read = blob.Read(1001);
        EXPECT_TRUE(read.lent);
        EXPECT_EQ(read.content, cabinet);
    }
    InPlaceBlob blob(chain, kSignedCompressed);
    FailingAllocator failing([](bool, uint32_t, size_t) { return true; });
    InPlaceBlob::Result read = blob.Read(1001);
    EXPECT_EQ(StatusCode(read.status), 13u);
    EXPECT_EQ(StatusLine(read.status), 691u);
}

TEST(IsStoredBlockStream, AcceptsOnlyAHeaderStoredBlocksAndTheCheck) {
    const Bytes content = NoiseBytes(1000, 4);
    const Bytes stored = StoredStream(content, 400);
    Bytes fixedHuffmanBlock = stored;
    fixedHuffmanBlock[2] = 0x03;  // BFINAL with BTYPE 01
    Bytes dictionary = stored;
    dictionary[1] = 0x20 | 0x1F;  // FDICT set; 0x783F is a multiple of 31
    Bytes wrongCheck = stored;
    wrongCheck[1] = 0x02;
    Bytes noFinalBlock = StoredStream(content, 400);
    noFinalBlock[2 + 2 * 405] = 0x00;  // the third and last block no longer says it is the last
    struct Case {
        const char* what;
        Bytes stream;
        bool accepted;
    };
    const Case cases[] = {
        {"stored blocks", stored, true},
        {"zlib's level 0", ZlibStream(content, 0), true},
        {"an empty final block", StoredStream(content, 400, true), true},
        {"zlib's level 9", ZlibStream(Text(std::string(500, 'x'))), false},
        {"a fixed Huffman block", fixedHuffmanBlock, false},
        {"a preset dictionary", dictionary, false},
        {"a header that fails its check", wrongCheck, false},
        {"a length that disagrees with its complement", Flipped(stored, 3), false},
        {"a block longer than the stream", Bytes(stored.begin(), stored.begin() + 300), false},
        {"no room for the check", Bytes(stored.begin(), stored.end() - 1), false},
        {"no final block", noFinalBlock, false},
        {"nothing but a header", {0x78, 0x01}, false},
        {"nothing", {}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsStoredBlockStream(c.stream.data(), static_cast<uint32_t>(c.stream.size())), c.accepted) << c.what;
}

}  // namespace
