#include "format/read_entry.h"
#include "format/verify_entry_signature.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format/verification_key_writer.h"
#include "container_image.h"
#include "core/status_lines.h"

namespace {

using namespace container_test;

constexpr uint32_t kSignedCompressed = kBlobCompressed | kBlobSigned;

struct ReadResult {
    uint32_t code;
    uint32_t line;
    Bytes content;
    bool outputsUntouched;  // on failure: the outputs kept what they held
};

// Reads one entry the way the launcher does, with sentinels in the outputs.
ReadResult Read(const Bytes& blobBytes, uint32_t flags, const EntryTypeGuid& type, uint32_t id) {
    OwnedBlob blob(blobBytes, flags);
    uint8_t sentinel = 0;
    uint8_t* content = &sentinel;
    uint32_t length = 0xA5A5A5A5u;
    StatusValue status = ReadEntry(*blob, type, id, &content, &length);
    ReadResult result = {StatusCode(status), StatusLine(status), {}, content == &sentinel && length == 0xA5A5A5A5u};
    if (StatusSucceeded(status)) {
        result.content = Span(content, length);
        PlatformFree(content);
    }
    return result;
}

ReadResult ReadManifest(const Bytes& blob, uint32_t flags) { return Read(blob, flags, ManifestEntryGuid, 0); }
ReadResult ReadPayload(const Bytes& blob, uint32_t flags, uint32_t id) {
    return Read(blob, flags, PayloadEntryGuid, id);
}

const Bytes kManifest = Text("manifest records");
const Bytes kPackage = Text("the installer package");
const Bytes kCabinet = NoiseBytes(5000);

// [executable bytes][manifest][payload 1000][payload 1001], as packed.
Bytes PackedBlob(uint32_t flags) {
    return Concat({Text("MZ executable image in front of the chain"), Entry(ManifestEntryGuid, 0, kManifest, flags),
                   Entry(PayloadEntryGuid, 1000, kPackage, flags), Entry(PayloadEntryGuid, 1001, kCabinet, flags)});
}

TEST(ReadEntryWalk, FindsEveryEntryOfAPackedChainForEachFlagCombination) {
    for (uint32_t flags : {0u, uint32_t{kBlobCompressed}, uint32_t{kBlobSigned}, kSignedCompressed}) {
        Bytes blob = PackedBlob(flags);
        ReadResult manifest = ReadManifest(blob, flags);
        EXPECT_EQ(manifest.code, 0u) << "flags " << flags;
        EXPECT_EQ(manifest.content, kManifest) << "flags " << flags;
        EXPECT_EQ(ReadPayload(blob, flags, 1000).content, kPackage) << "flags " << flags;
        EXPECT_EQ(ReadPayload(blob, flags, 1001).content, kCabinet) << "flags " << flags;
    }
}

TEST(ReadEntryWalk, NotFoundCases) {
    const Bytes manifest = Entry(ManifestEntryGuid, 0, kManifest, 0);
    const Bytes payload1000 = Entry(PayloadEntryGuid, 1000, kPackage, 0);
    const Bytes unknownType = RawEntry({0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}}, 1000, kPackage, {});
    const Bytes manifestId7 = Entry(ManifestEntryGuid, 7, kManifest, 0);
    const Bytes bareManifestTrailer = Trailer(GuidBytes(ManifestEntryGuid), 0, 0, 0);
    struct Case {
        const char* what;
        Bytes blob;
        EntryTypeGuid type;
        uint32_t id;
    };
    const Case cases[] = {
        {"empty blob", {}, ManifestEntryGuid, 0},
        {"blob of 27 bytes", Bytes(bareManifestTrailer.begin() + 1, bareManifestTrailer.end()), ManifestEntryGuid, 0},
        {"payload id not in the chain", PackedBlob(0), PayloadEntryGuid, 1002},
        {"unknown type stops the walk", Concat({manifest, payload1000, unknownType}), PayloadEntryGuid, 1000},
        {"manifest with an id other than 0", manifestId7, ManifestEntryGuid, 0},
        {"payload in front of the manifest", Concat({payload1000, manifest}), PayloadEntryGuid, 1000},
        {"walk runs out below the payloads", Concat({payload1000, payload1000}), ManifestEntryGuid, 0},
        {"manifest signature reaches in front of the blob",
         Concat({Bytes(10, 0), Trailer(GuidBytes(ManifestEntryGuid), 0, 11, 0)}), ManifestEntryGuid, 0},
        {"manifest data reach in front of the blob",
         Concat({Bytes(10, 0), Trailer(GuidBytes(ManifestEntryGuid), 0, 4, 7)}), ManifestEntryGuid, 0},
        {"manifest with a huge length stops a payload search",
         Concat({payload1000, Trailer(GuidBytes(ManifestEntryGuid), 0, 0xFFFFFFFFu, 0)}), PayloadEntryGuid, 1000},
    };
    for (const Case& c : cases) {
        ReadResult result = Read(c.blob, 0, c.type, c.id);
        EXPECT_EQ(result.code, 1168u) << c.what;
        EXPECT_EQ(result.line, 509u) << c.what;
        EXPECT_TRUE(result.outputsUntouched) << c.what;
    }
}

// A payload trailer whose lengths reach in front of the blob does not stop
// the walk: the next trailer is read right below what did fit.
TEST(ReadEntryWalk, OversizedPayloadTrailersAreSteppedOver) {
    const Bytes chain = Concat({Entry(ManifestEntryGuid, 0, kManifest, 0), Entry(PayloadEntryGuid, 1000, kPackage, 0)});
    const Bytes payloadGuid = GuidBytes(PayloadEntryGuid);

    Bytes signatureTooLong = Concat({chain, Trailer(payloadGuid, 1001, 0xFFFFFFFFu, 0)});
    EXPECT_EQ(ReadPayload(signatureTooLong, 0, 1000).content, kPackage);

    Bytes dataTooLong = Concat({chain, Bytes(5, 0xEE), Trailer(payloadGuid, 1001, 5, 0xFFFFFFF0u)});
    EXPECT_EQ(ReadPayload(dataTooLong, 0, 1000).content, kPackage);
    EXPECT_EQ(ReadManifest(dataTooLong, 0).content, kManifest);

    // Lengths whose sum wraps around 32 bits are no way past the check.
    Bytes wrappingSum = Concat({chain, Bytes(16, 0xEE), Trailer(payloadGuid, 1001, 16, 0xFFFFFFF8u)});
    EXPECT_EQ(ReadPayload(wrappingSum, 0, 1000).content, kPackage);
}

TEST(ReadEntryWalk, TheLastManifestOfTheChainIsTheOneFound) {
    Bytes blob = Concat({Entry(ManifestEntryGuid, 0, Text("first"), 0), Entry(ManifestEntryGuid, 0, Text("second"), 0)});
    EXPECT_EQ(ReadManifest(blob, 0).content, Text("second"));
}

TEST(ReadEntry, EveryReadHandsOutItsOwnBuffer) {
    OwnedBlob blob(PackedBlob(kSignedCompressed), kSignedCompressed);
    uint8_t* first = nullptr;
    uint8_t* second = nullptr;
    uint32_t firstLength = 0, secondLength = 0;
    ASSERT_EQ(StatusCode(ReadEntry(*blob, PayloadEntryGuid, 1000, &first, &firstLength)), 0u);
    ASSERT_EQ(StatusCode(ReadEntry(*blob, PayloadEntryGuid, 1000, &second, &secondLength)), 0u);
    EXPECT_NE(first, second);
    EXPECT_EQ(Span(first, firstLength), Span(second, secondLength));
    PlatformFree(first);
    PlatformFree(second);
}

// One row per outcome of the extraction, for both entry kinds.
struct Outcome {
    const char* what;
    uint32_t flags;
    Bytes data;
    Bytes signature;
    uint32_t code;
    uint32_t manifestLine;
    uint32_t payloadLine;
    Bytes content;  // expected on success
};

Bytes Flipped(Bytes bytes, size_t at) {
    bytes[at] ^= 0x01;
    return bytes;
}

std::vector<Outcome> ExtractionOutcomes() {
    const Bytes content = Text("content of the entry, long enough to compress a little: aaaaaaaaaaaaaaaaaaaaaaaa");
    const Bytes stream = ZlibStream(content);
    const Bytes signature = Sign(content);
    Bytes cut = stream;
    cut.pop_back();
    Bytes cutInData(stream.begin(), stream.begin() + stream.size() / 2);
    // A header asking for a 64 KiB window, its check bits right: zlib refuses
    // it, and so does the launcher, whose inflater does not look at that field.
    Bytes largeWindow = stream;
    largeWindow[0] = 0x88;
    largeWindow[1] = 0x1C;
    Bytes withTrailingBytes = stream;
    Append(&withTrailingBytes, Text("bytes after the end of the stream"));
    const Bytes badSignatureLengths[] = {Bytes(signature.begin(), signature.end() - 1), Concat({signature, {0}})};

    return {
        {"inflated", kSignedCompressed, stream, signature, 0, 547, 687, content},
        {"stored stream blocks inflate too", kSignedCompressed, ZlibStream(content, 0), signature, 0, 547, 687,
         content},
        {"bytes after the stream are ignored", kSignedCompressed, withTrailingBytes, signature, 0, 547, 687, content},
        {"copied", kBlobSigned, content, signature, 0, 562, 702, content},
        {"copied unsigned", 0, content, {}, 0, 562, 702, content},
        {"empty stored entry", 0, {}, {}, 0, 562, 702, {}},
        {"compressed unsigned, signature field skipped", kBlobCompressed, stream, Bytes(3, 0x55), 0, 547, 687,
         content},
        {"stream cut short", kSignedCompressed, cut, signature, 13, 551, 691, {}},
        {"stream cut inside its deflate data", kSignedCompressed, cutInData, signature, 13, 551, 691, {}},
        {"header asking for a window over 32 KiB", kBlobCompressed, largeWindow, {}, 13, 551, 691, {}},
        {"changed Adler-32", kBlobCompressed, Flipped(stream, stream.size() - 1), {}, 13, 551, 691, {}},
        {"stream with a preset dictionary", kSignedCompressed, StreamWithDictionary(content), signature, 13, 551, 691,
         {}},
        {"not a zlib stream", kBlobCompressed, content, {}, 13, 551, 691, {}},
        {"changed data byte caught by the stream check", kSignedCompressed, Flipped(stream, stream.size() - 8),
         signature, 13, 551, 691, {}},
        {"changed signature byte", kSignedCompressed, stream, Flipped(signature, 100), 1392, 592, 732, {}},
        {"changed data byte of a stored signed entry", kBlobSigned, Flipped(content, 3), signature, 1392, 592, 732,
         {}},
        {"signature of 255 bytes", kSignedCompressed, stream, badSignatureLengths[0], 1392, 592, 732, {}},
        {"signature of 257 bytes", kSignedCompressed, stream, badSignatureLengths[1], 1392, 592, 732, {}},
        {"signed entry without a signature", kBlobSigned, content, {}, 1392, 592, 732, {}},
    };
}

TEST(ReadEntryExtraction, StatusesOfTheManifestAndOfAPayload) {
    for (const Outcome& o : ExtractionOutcomes()) {
        Bytes manifestBlob = RawEntry(ManifestEntryGuid, 0, o.data, o.signature);
        Bytes payloadBlob = Concat({Entry(ManifestEntryGuid, 0, kManifest, o.flags),
                                    RawEntry(PayloadEntryGuid, 1000, o.data, o.signature)});
        ReadResult manifest = ReadManifest(manifestBlob, o.flags);
        ReadResult payload = ReadPayload(payloadBlob, o.flags, 1000);
        EXPECT_EQ(manifest.code, o.code) << o.what;
        EXPECT_EQ(manifest.line, o.manifestLine) << o.what;
        EXPECT_EQ(payload.code, o.code) << o.what;
        EXPECT_EQ(payload.line, o.payloadLine) << o.what;
        if (o.code == 0) {
            EXPECT_EQ(manifest.content, o.content) << o.what;
            EXPECT_EQ(payload.content, o.content) << o.what;
        } else {
            EXPECT_TRUE(manifest.outputsUntouched) << o.what;
            EXPECT_TRUE(payload.outputsUntouched) << o.what;
        }
    }
}

// A manifest may reach 16 MiB; past that it fails like a broken stream, at
// its usual line, having allocated nothing near its size, while a payload of
// the same size reads.
TEST(ReadEntryExtraction, ManifestContentIsCappedAt16MiB) {
    const Bytes atCap(kMaxManifestContentLength, 'm');
    const Bytes pastCap(kMaxManifestContentLength + 1, 'm');
    ReadResult fits = ReadManifest(RawEntry(ManifestEntryGuid, 0, ZlibStream(atCap), {}), kBlobCompressed);
    EXPECT_EQ(fits.code, 0u);
    EXPECT_EQ(fits.content.size(), atCap.size());
    size_t largest = 0;
    ReadResult bomb;
    {
        FailingAllocator counting([&largest](bool, uint32_t, size_t bytes) {
            largest = bytes > largest ? bytes : largest;
            return false;
        });
        bomb = ReadManifest(RawEntry(ManifestEntryGuid, 0, ZlibStream(pastCap), {}), kBlobCompressed);
    }
    EXPECT_LT(largest, size_t{1} << 20);
    EXPECT_EQ(bomb.code, 13u);
    EXPECT_EQ(bomb.line, 551u);
    EXPECT_TRUE(bomb.outputsUntouched);
    Bytes payloadBlob = Concat({Entry(ManifestEntryGuid, 0, kManifest, kBlobCompressed),
                                RawEntry(PayloadEntryGuid, 1000, ZlibStream(pastCap), {})});
    EXPECT_EQ(ReadPayload(payloadBlob, kBlobCompressed, 1000).code, 0u);
}

TEST(ReadEntryExtraction, ManifestWithoutDataInACompressedBlobDoesNotInflate) {
    ReadResult result = ReadManifest(RawEntry(ManifestEntryGuid, 0, {}, Sign({})), kSignedCompressed);
    EXPECT_EQ(result.code, 13u);
    EXPECT_EQ(result.line, 551u);
}

// A signed payload without data is the empty file, and its signature has to
// verify over that empty content: the trailer alone cannot make the launcher
// hand out bytes that nobody signed.
TEST(ReadEntryExtraction, SignedPayloadWithoutDataMustVerifyOverEmptyContent) {
    const Bytes manifest = Entry(ManifestEntryGuid, 0, kManifest, kSignedCompressed);
    for (uint32_t flags : {uint32_t{kBlobSigned}, kSignedCompressed}) {
        ReadResult empty = ReadPayload(Concat({manifest, RawEntry(PayloadEntryGuid, 5, {}, Sign({}))}), flags, 5);
        EXPECT_EQ(empty.code, 0u);
        EXPECT_EQ(empty.line, 662u);
        EXPECT_TRUE(empty.content.empty());

        const Bytes attackerBytes = NoiseBytes(256, 9);
        ReadResult forged = ReadPayload(Concat({manifest, RawEntry(PayloadEntryGuid, 5, {}, attackerBytes)}), flags, 5);
        EXPECT_EQ(forged.code, 1392u);
        EXPECT_EQ(forged.line, 732u);
        EXPECT_TRUE(forged.outputsUntouched);

        ReadResult otherContent =
            ReadPayload(Concat({manifest, RawEntry(PayloadEntryGuid, 5, {}, Sign(Text("x")))}), flags, 5);
        EXPECT_EQ(otherContent.code, 1392u);
        EXPECT_EQ(otherContent.line, 732u);
    }
}

TEST(ReadEntryExtraction, OutOfMemoryTakesTheLastErrorElse8) {
    const Bytes content = Text("stored content");
    const Bytes stored = RawEntry(ManifestEntryGuid, 0, content, Sign(content));
    const Bytes storedPayload = Concat({stored, RawEntry(PayloadEntryGuid, 3, content, Sign(content))});
    const Bytes emptyPayload = Concat({stored, RawEntry(PayloadEntryGuid, 4, {}, Sign({}))});
    auto failAll = [](bool, uint32_t, size_t) { return true; };
    for (uint32_t lastError : {0u, 14u}) {
        uint32_t expected = lastError ? lastError : 8u;
        FailingAllocator failing(failAll, lastError);
        ReadResult manifest = ReadManifest(stored, kBlobSigned);
        EXPECT_EQ(manifest.code, expected);
        EXPECT_EQ(manifest.line, 566u);
        EXPECT_TRUE(manifest.outputsUntouched);
        ReadResult payload = ReadPayload(storedPayload, kBlobSigned, 3);
        EXPECT_EQ(payload.code, expected);
        EXPECT_EQ(payload.line, 706u);

        // The empty payload fails from a line of its own, and like every
        // other failure leaves the outputs as they were.
        ReadResult empty = ReadPayload(emptyPayload, kBlobSigned, 4);
        EXPECT_EQ(empty.code, expected);
        EXPECT_EQ(empty.line, 666u);
        EXPECT_TRUE(empty.outputsUntouched);
    }
}

// Inflation that cannot get memory is an inflation failure like any other.
TEST(ReadEntryExtraction, InflationWithoutMemoryIsInvalidData) {
    FailingAllocator failing([](bool, uint32_t, size_t) { return true; });
    EXPECT_EQ(ReadManifest(PackedBlob(kSignedCompressed), kSignedCompressed).code, 13u);
    EXPECT_EQ(ReadPayload(PackedBlob(kSignedCompressed), kSignedCompressed, 1000).line, 691u);
}

// A key whose bytes do not load, and no key at all (a launcher whose
// resource is missing or not laid out as a key), fail alike.
struct KeyWriterCase {
    const char* name;
    VerificationKeyWriter writer;
};

class BrokenVerificationKey : public ::testing::TestWithParam<KeyWriterCase> {
protected:
    void SetUp() override {
        saved_ = g_verificationKeyWriter;
        g_verificationKeyWriter = GetParam().writer;
    }
    void TearDown() override { g_verificationKeyWriter = saved_; }
    VerificationKeyWriter saved_ = nullptr;
};

INSTANTIATE_TEST_SUITE_P(
    Writers, BrokenVerificationKey,
    ::testing::Values(KeyWriterCase{"BytesThatDoNotLoad",
                                    [](uint8_t out[kVerificationKeySize]) {
                                        std::memset(out, 0x11, kVerificationKeySize);
                                        return true;
                                    }},
                      KeyWriterCase{"NoKey", [](uint8_t*) { return false; }}),
    [](const ::testing::TestParamInfo<KeyWriterCase>& info) { return std::string(info.param.name); });

TEST(VerificationKeyLayout, OnlyAnRsa2048PublicKeyBlobHolds) {
    uint8_t key[kVerificationKeySize];
    ASSERT_TRUE(WriteVerificationKey(key));
    EXPECT_TRUE(VerificationKeyLayoutHolds(key, kVerificationKeySize));
    EXPECT_FALSE(VerificationKeyLayoutHolds(key, kVerificationKeySize - 1));
    EXPECT_FALSE(VerificationKeyLayoutHolds(key, kVerificationKeySize + 1));
    EXPECT_FALSE(VerificationKeyLayoutHolds(nullptr, kVerificationKeySize));
    // Blob type, version, reserved, algorithm, magic, bit length, exponent.
    struct Change {
        size_t at;
        uint8_t value;
    };
    for (Change change : {Change{0, 7}, Change{1, 1}, Change{2, 1}, Change{5, 0x66}, Change{8, 'S'}, Change{9, 9},
                          Change{13, 4}}) {
        uint8_t changed[kVerificationKeySize];
        std::memcpy(changed, key, sizeof changed);
        changed[change.at] = change.value;
        EXPECT_FALSE(VerificationKeyLayoutHolds(changed, kVerificationKeySize)) << "byte " << change.at;
    }
    uint8_t noExponent[kVerificationKeySize];
    std::memcpy(noExponent, key, sizeof noExponent);
    std::memset(noExponent + 16, 0, 4);
    EXPECT_FALSE(VerificationKeyLayoutHolds(noExponent, kVerificationKeySize));
}

TEST_P(BrokenVerificationKey, SignedEntriesFailWithBadKey) {
    Bytes blob = PackedBlob(kSignedCompressed);
    ReadResult manifest = ReadManifest(blob, kSignedCompressed);
    EXPECT_EQ(manifest.code, 0x80090003u);
    EXPECT_EQ(manifest.line, 599u);
    EXPECT_TRUE(manifest.outputsUntouched);
    ReadResult payload = ReadPayload(blob, kSignedCompressed, 1000);
    EXPECT_EQ(payload.code, 0x80090003u);
    EXPECT_EQ(payload.line, 739u);
    ReadResult empty = ReadPayload(Concat({blob, RawEntry(PayloadEntryGuid, 6, {}, Sign({}))}), kSignedCompressed, 6);
    EXPECT_EQ(empty.code, 0x80090003u);
    EXPECT_EQ(empty.line, 739u);

    // Unsigned blobs never load the key.
    EXPECT_EQ(ReadManifest(PackedBlob(kBlobCompressed), kBlobCompressed).code, 0u);
}

TEST(VerifyEntrySignature, ChecksTheContentAgainstTheBuiltInKey) {
    const Bytes content = NoiseBytes(1000);
    const Bytes signature = Sign(content);
    ASSERT_EQ(signature.size(), 256u);
    EXPECT_EQ(StatusCode(VerifyEntrySignature(content.data(), 1000, signature.data(), 256)), 0u);
    EXPECT_EQ(StatusCode(VerifyEntrySignature(content.data(), 999, signature.data(), 256)), 1392u);
    EXPECT_EQ(StatusCode(VerifyEntrySignature(content.data(), 1000, signature.data(), 0)), 1392u);
}

}  // namespace
