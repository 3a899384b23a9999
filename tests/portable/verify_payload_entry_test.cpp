// A payload verified in one pass without holding its content: the status is
// ReadEntry's for every input, code and line, and the record leads back to
// exactly the content ReadEntry gives, from memory and from a file.
#include <gtest/gtest.h>

#include <openssl/sha.h>

#include <algorithm>
#include <string>
#include <vector>

#include "container_image.h"
#include "core/status_lines.h"
#include "format/read_entry.h"
#include "format/verify_entry_signature.h"

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

Bytes Flipped(Bytes bytes, size_t at) {
    bytes[at] ^= 0x01;
    return bytes;
}

Bytes Sha256(const Bytes& content) {
    Bytes digest(SHA256_DIGEST_LENGTH);
    SHA256(content.data(), content.size(), digest.data());
    return digest;
}

struct Outcome {
    StatusValue status;
    Bytes content;
};

Outcome ReadWhole(const ContainerBlob& blob, uint32_t id) {
    uint8_t* content = nullptr;
    uint32_t length = 0;
    StatusValue status = ReadEntry(blob, PayloadEntryGuid, id, &content, &length);
    Outcome outcome = {status, StatusSucceeded(status) ? Span(content, length) : Bytes()};
    if (StatusSucceeded(status)) PlatformFree(content);
    return outcome;
}

// Verifies the entry and checks the record against the content it claims.
Outcome Verify(const ContainerBlob& blob, uint32_t id) {
    VerifiedPayload payload;
    StatusValue status = VerifyPayloadEntry(blob, id, &payload);
    if (StatusFailed(status)) return {status, {}};
    Bytes content = StreamedContent(payload);
    EXPECT_EQ(payload.contentLength, content.size());
    EXPECT_EQ(Bytes(payload.digest, payload.digest + kDigestSize), Sha256(content));
    return {status, content};
}

// A blob that stands in `file`, as the whole-file blob stands in the launcher's own file.
ContainerBlob FileBlob(const SourceFile& file, size_t size, uint32_t flags) {
    ContainerBlob blob = {};
    blob.size = static_cast<uint32_t>(size);
    blob.flags = flags;
    blob.file = file.Source().file;
    return blob;
}

// The same blob as a memory blob and as a file blob.
void ExpectSameAsReadEntry(const Bytes& chain, uint32_t flags, uint32_t id, const std::string& what) {
    OwnedBlob memory(chain, flags);
    Outcome expected = ReadWhole(*memory, id);
    SourceFile file(chain);
    ContainerBlob inFile = FileBlob(file, chain.size(), flags);
    for (const ContainerBlob* blob : std::vector<const ContainerBlob*>{&*memory, &inFile}) {
        const char* where = blob == &inFile ? " (file)" : " (memory)";
        Outcome verified = Verify(*blob, id);
        EXPECT_EQ(StatusCode(verified.status), StatusCode(expected.status)) << what << where;
        EXPECT_EQ(StatusLine(verified.status), StatusLine(expected.status)) << what << where;
        EXPECT_TRUE(verified.content == expected.content) << what << where;
    }
}

TEST(VerifyPayloadEntry, GivesWhatReadEntryGives) {
    const Bytes noise = NoiseBytes(200000, 3);
    const Bytes text = Text(std::string(150000, 'a') + "compressible text");
    const Bytes stored = StoredStream(noise);
    const Bytes signature = Sign(noise);
    struct Case {
        const char* what;
        uint32_t flags;
        Bytes data;
        Bytes signature;
    };
    const Case cases[] = {
        {"stored blocks, signed", kSignedCompressed, stored, signature},
        {"stored blocks of zlib's own level 0", kSignedCompressed, ZlibStream(noise, 0), signature},
        {"small blocks and an empty final one", kSignedCompressed, StoredStream(noise, 1000, true), signature},
        {"one empty stored block", kSignedCompressed, StoredStream({}), Sign({})},
        {"no data, signed for the empty content", kSignedCompressed, {}, Sign({})},
        {"no data, signed for other content", kSignedCompressed, {}, Sign(text)},
        {"no data in a blob that is not signed", kBlobCompressed, {}, {}},
        {"stored blocks, unsigned", kBlobCompressed, stored, {}},
        {"bytes after the stream", kSignedCompressed, Concat({stored, Text("after")}), signature},
        {"compressed stream", kSignedCompressed, ZlibStream(text), Sign(text)},
        {"plain data, signed", kBlobSigned, noise, signature},
        {"plain data, neither signed nor compressed", 0, noise, {}},
        {"a changed signature", kSignedCompressed, stored, Flipped(signature, 7)},
        {"a signature one byte short", kSignedCompressed, stored, Bytes(signature.begin(), signature.end() - 1)},
        {"signed for other content", kSignedCompressed, stored, Sign(text)},
        {"a changed data byte", kSignedCompressed, Flipped(stored, 100000), signature},
        {"a changed check", kSignedCompressed, Flipped(stored, stored.size() - 1), signature},
        {"cut short", kSignedCompressed, Bytes(stored.begin(), stored.end() - 1), signature},
        {"a block length that disagrees", kSignedCompressed, Flipped(stored, 4), signature},
        {"not a zlib stream", kSignedCompressed, text, Sign(text)},
    };
    for (const Case& c : cases) {
        Bytes chain = Concat({Entry(ManifestEntryGuid, 0, Text("manifest"), c.flags),
                              RawEntry(PayloadEntryGuid, 1000, c.data, c.signature)});
        ExpectSameAsReadEntry(chain, c.flags, 1000, c.what);
    }
    Bytes chain = Entry(ManifestEntryGuid, 0, Text("manifest"), kSignedCompressed);
    ExpectSameAsReadEntry(chain, kSignedCompressed, 1000, "no such entry");
}

// Every entry of a chain verifies on its own, whatever was verified before.
TEST(VerifyPayloadEntry, EntriesOfOneChainVerifyInAnyOrder) {
    const Bytes cabinet = NoiseBytes(300000, 5);
    const Bytes second = NoiseBytes(70000, 6);
    const Bytes bad = StoredStream(NoiseBytes(90000, 7));
    Bytes chain = Concat({Entry(ManifestEntryGuid, 0, Text("manifest records"), kSignedCompressed),
                          Entry(PayloadEntryGuid, 1000, Text("the package, compressed"), kSignedCompressed),
                          RawEntry(PayloadEntryGuid, 1001, StoredStream(cabinet), Sign(cabinet)),
                          RawEntry(PayloadEntryGuid, 1002, Flipped(bad, 50000), Sign(NoiseBytes(90000, 7))),
                          RawEntry(PayloadEntryGuid, 1003, StoredStream(second), Sign(second))});
    OwnedBlob blob(chain, kSignedCompressed);
    for (uint32_t id : {1001u, 1002u, 1003u, 1001u, 1000u, 1002u}) {
        Outcome verified = Verify(*blob, id);
        Outcome expected = ReadWhole(*blob, id);
        EXPECT_EQ(verified.status, expected.status) << id;
        EXPECT_TRUE(verified.content == expected.content) << id;
    }
    EXPECT_EQ(StatusLine(Verify(*blob, 1002).status), 691u);
    EXPECT_TRUE(Verify(*blob, 1001).content == cabinet);
}

// No buffer of the content's size is needed: a payload verifies where a
// buffer of even half its size cannot be had, and memory that runs out
// altogether fails it as a stream that does not inflate.
TEST(VerifyPayloadEntry, NeedsNoBufferOfTheContentsSize) {
    const Bytes cabinet = NoiseBytes(12u << 20, 8);
    Bytes chain = Concat({Entry(ManifestEntryGuid, 0, Text("m"), kSignedCompressed),
                          RawEntry(PayloadEntryGuid, 1001, StoredStream(cabinet), Sign(cabinet))});
    SourceFile file(chain);
    ContainerBlob blob = FileBlob(file, chain.size(), kSignedCompressed);
    VerifiedPayload payload;
    {
        FailingAllocator failing([](bool, uint32_t, size_t bytes) { return bytes > (12u << 20) / 2; });
        EXPECT_EQ(StatusCode(VerifyPayloadEntry(blob, 1001, &payload)), 0u);
    }
    EXPECT_TRUE(StreamedContent(payload) == cabinet);
    FailingAllocator failing([](bool, uint32_t, size_t) { return true; });
    StatusValue status = VerifyPayloadEntry(blob, 1001, &payload);
    EXPECT_EQ(StatusCode(status), 13u);
    EXPECT_EQ(StatusLine(status), 691u);
}

// The digest is the content's SHA-256 whether a second thread hashes beside
// the reading or, when none can be had, the reading thread hashes alone.
TEST(DigestEntryStream, SameDigestWithOrWithoutASecondThread) {
    const Bytes content = NoiseBytes((5u << 20) + 12345, 11);
    const Bytes stream = ZlibStream(content, 1);
    SourceFile file(stream);
    for (bool withoutThread : {false, true}) {
        // The worker is the one zero-initialised allocation of the digest.
        FailingAllocator failing(
            [withoutThread](bool, uint32_t flags, size_t) { return withoutThread && (flags & kMemZeroInit) != 0; });
        EntryStream reader;
        ASSERT_EQ(OpenEntryStream(&reader, file.Source(), 0, static_cast<uint32_t>(stream.size()), true,
                                  kMaxEntryContentLength),
                  StreamResult::kMore);
        uint8_t digest[kDigestSize];
        uint64_t length = 0;
        EXPECT_EQ(DigestEntryStream(&reader, digest, &length), StreamResult::kEnded);
        CloseEntryStream(&reader);
        EXPECT_EQ(length, content.size());
        EXPECT_EQ(Bytes(digest, digest + kDigestSize), Sha256(content)) << (withoutThread ? "alone" : "with a worker");
    }
}

// A file that ends before the chain it is said to hold fails as a read.
TEST(VerifyPayloadEntry, UnreadableFileFailsAsARead) {
    const Bytes cabinet = NoiseBytes(100000, 9);
    Bytes chain = Concat({Entry(ManifestEntryGuid, 0, Text("m"), kSignedCompressed),
                          RawEntry(PayloadEntryGuid, 1001, StoredStream(cabinet), Sign(cabinet))});
    SourceFile file(chain);
    // The blob's last byte lies one past the file's.
    ContainerBlob blob = FileBlob(file, chain.size() + 1, kSignedCompressed);
    VerifiedPayload payload;
    StatusValue status = VerifyPayloadEntry(blob, 1001, &payload);
    EXPECT_EQ(StatusCode(status), 30u);
    EXPECT_EQ(StatusLine(status), kLineOwnFileReadFailed);
}

}  // namespace
