// The packer's side of the container format, checked against the launcher's
// own reader: entry data, the entry chain, manifest records and the ids.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "chain/entry_chain.h"
#include "chain/entry_data.h"
#include "chain/manifest_records.h"
#include "chain/signing_key.h"
#include "files/pack_error.h"
#include "format/entry_format.h"
#include "format/entry_stream.h"
#include "format/read_entry.h"
#include "platform/platform.h"
#include "setup/package_plan.h"

namespace {
Bytes Noise(size_t size) {
    std::mt19937 generator(7);
    Bytes bytes(size);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(generator());
    return bytes;
}

Bytes Repetitive(size_t size) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>("msistub "[i % 8]);
    return bytes;
}

Bytes InflateWithLauncher(const Bytes& stream) {
    EntryStream reader;
    EXPECT_EQ(OpenEntryStream(&reader, MemorySource(stream.data(), static_cast<uint32_t>(stream.size())), 0,
                              static_cast<uint32_t>(stream.size()), true, kMaxEntryContentLength),
              StreamResult::kMore);
    Bytes content;
    uint8_t piece[65536];
    StreamResult result = StreamResult::kMore;
    while (result == StreamResult::kMore) {
        uint32_t got = 0;
        result = ReadEntryStream(&reader, piece, sizeof piece, &got);
        content.insert(content.end(), piece, piece + got);
    }
    EXPECT_EQ(result, StreamResult::kEnded);
    CloseEntryStream(&reader);
    return content;
}

struct DataCase {
    const char* name;
    Bytes content;
    bool expectStored;
};

TEST(PackEntryData, PicksDeflateOrStoredBlocksAndTheLauncherInflatesBoth) {
    const DataCase cases[] = {
        {"empty", {}, false},
        {"text", Repetitive(200000), false},
        {"noise of one block", Noise(65535), true},
        {"noise over three blocks", Noise(2 * 65535 + 1), true},
    };
    for (const DataCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes stream = CompressEntryContent(c.content.data(), c.content.size());
        size_t blocks = c.content.empty() ? 1 : (c.content.size() + 65534) / 65535;
        if (c.expectStored) {
            EXPECT_EQ(stream.size(), 2 + 5 * blocks + c.content.size() + 4);
            EXPECT_EQ(stream[0], 0x78);
            EXPECT_EQ(stream[1], 0x01);
        } else {
            EXPECT_LT(stream.size(), 2 + 5 * blocks + c.content.size() + 4);
            EXPECT_EQ(stream[1], 0xDA);  // the best-compression header
        }
        EXPECT_EQ(InflateWithLauncher(stream), c.content);
    }
}

// Words from a small vocabulary: compressible, but with matches everywhere
// and no period, so every piece boundary falls inside some match.
Bytes Words(size_t size) {
    static const char* const kWords[] = {"setup ", "cabinet ", "package ", "launcher ", "entry ", "stream ",
                                         "manifest ", "signature ", "\n", "0x7801 ", "blob "};
    std::mt19937 generator(11);
    Bytes bytes;
    while (bytes.size() < size) {
        const char* word = kWords[generator() % (sizeof kWords / sizeof kWords[0])];
        bytes.insert(bytes.end(), word, word + std::char_traits<char>::length(word));
    }
    bytes.resize(size);
    return bytes;
}

Bytes OneShotBestDeflate(const Bytes& content) {
    uLongf length = compressBound(static_cast<uLong>(content.size()));
    Bytes out(length);
    EXPECT_EQ(compress2(out.data(), &length, content.data(), static_cast<uLong>(content.size()), Z_BEST_COMPRESSION),
              Z_OK);
    out.resize(length);
    return out;
}

// Content read from a file piece by piece gives the stream that deflating it
// in one call gives (what the packer wrote when it held its inputs whole),
// or the stored form, and the digest sees every byte once, in order, also
// when deflating gave up half-way and the content was read again.
TEST(PackEntryData, StreamedContentGivesTheOneShotStreamAcrossPieceBoundaries) {
    struct Case {
        const char* name;
        Bytes content;
        bool expectStored;
    };
    const Bytes text = Words(3 * kPieceSize + 1);
    Bytes textThenNoise = Words(kPieceSize + 7);
    Bytes noise = Noise(2 * kPieceSize);
    textThenNoise.insert(textThenNoise.end(), noise.begin(), noise.end());
    const Case cases[] = {
        {"text of a piece less one byte", Bytes(text.begin(), text.begin() + kPieceSize - 1), false},
        {"text of one piece", Bytes(text.begin(), text.begin() + kPieceSize), false},
        {"text of three pieces and a byte", text, false},
        {"text then noise", textThenNoise, false},
        {"noise of one piece and a byte", Noise(kPieceSize + 1), true},
        {"noise of three pieces and a byte", Noise(3 * kPieceSize + 1), true},
    };
    const std::string path = testing::TempDir() + "/streamed-content.bin";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(c.content.data()), static_cast<std::streamsize>(c.content.size()));
        FileReader reader(path, "content", c.content.size());
        Bytes stream;
        MemorySink sink(&stream);
        Bytes observed;
        uint64_t length = WriteEntryData(&reader, &sink, [&](const uint8_t* data, size_t size) {
            observed.insert(observed.end(), data, data + size);
        });
        EXPECT_EQ(length, stream.size());
        EXPECT_EQ(observed, c.content);
        if (c.expectStored) {
            EXPECT_EQ(stream, StoredZlibStream(c.content.data(), c.content.size()));
            EXPECT_EQ(stream.size(), 2 + 5 * ((c.content.size() + 65534) / 65535) + c.content.size() + 4);
        } else {
            EXPECT_EQ(stream, OneShotBestDeflate(c.content));
        }
        EXPECT_EQ(InflateWithLauncher(stream), c.content);
    }
    std::remove(path.c_str());
}

TEST(PackEntryData, StoredStreamOfNothingIsOneFinalEmptyBlock) {
    Bytes stream = StoredZlibStream(nullptr, 0);
    EXPECT_EQ(stream, (Bytes{0x78, 0x01, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x01}));
    EXPECT_TRUE(InflateWithLauncher(stream).empty());
}

class PackChain : public ::testing::Test {
protected:
    void SetUp() override {
        key_ = LoadSigningKey(MSISTUB_DEV_PRIVATE_KEY);
        KeyPtr builtIn = BuiltInVerificationKey();
        if (!SamePublicKey(key_.get(), builtIn.get()))
            GTEST_SKIP() << "built with a verification key other than the development key";
    }
    KeyPtr key_;
};

TEST_F(PackChain, TheLauncherReadsEveryEntryBackAndTheManifestComesFirst) {
    Bytes manifest = EncodeManifest({{1000, "x64\\1033\\{A}\\Name"}, {1001, "cab\\1000\\main.cab"}});
    Bytes package = Repetitive(70000);
    Bytes cabinet = Noise(100000);
    Bytes chain =
        BuildEntryChain(manifest, {{1000, &package, "main.msi"}, {1001, &cabinet, "main.cab"}}, key_.get(), UINT32_MAX);
    Bytes image = Noise(333);  // bytes in front of the chain are never read
    image.insert(image.end(), chain.begin(), chain.end());
    ContainerBlob blob{image.data(), static_cast<uint32_t>(image.size()), nullptr, 0, kBlobCompressed | kBlobSigned};

    struct Wanted {
        const EntryTypeGuid& type;
        uint32_t id;
        const Bytes& content;
    };
    for (const Wanted& wanted : {Wanted{ManifestEntryGuid, 0, manifest}, Wanted{PayloadEntryGuid, 1000, package},
                                 Wanted{PayloadEntryGuid, 1001, cabinet}}) {
        uint8_t* content = nullptr;
        uint32_t length = 0;
        StatusValue status = ReadEntry(blob, wanted.type, wanted.id, &content, &length);
        ASSERT_EQ(StatusCode(status), 0u) << "entry " << wanted.id;
        EXPECT_EQ(Bytes(content, content + length), wanted.content);
        PlatformFree(content);
    }
    ChainWalk walk = WalkEntryChain(image.data(), image.size());
    ASSERT_TRUE(walk.reachedManifest);
    EXPECT_EQ(walk.chainStart, 333u);
    ASSERT_EQ(walk.entries.size(), 3u);
    EXPECT_TRUE(walk.entries[0].isManifest);
    EXPECT_EQ(walk.entries[0].id, 0u);
    for (const ChainEntry& entry : walk.entries) EXPECT_EQ(entry.signatureLength, kSignatureSize);
}

TEST_F(PackChain, RefusesContentOrChainBeyondTheSizeLimit) {
    Bytes manifest = EncodeManifest({{1000, "x64\\1033\\{A}\\Name"}});
    Bytes payload = Noise(5000);
    EXPECT_THROW(BuildEntryChain(manifest, {{1000, &payload, "main.msi"}}, key_.get(), 4999), PackError);
    // Each entry fits on its own, the chain as a whole does not.
    EXPECT_THROW(BuildEntryChain(manifest, {{1000, &payload, "main.msi"}}, key_.get(), 5100), PackError);
    EXPECT_NO_THROW(BuildEntryChain(manifest, {{1000, &payload, "main.msi"}}, key_.get(), 6000));
}

TEST(PackManifest, EncodesRecordsAsIdLengthAndUtf16Text) {
    Bytes bytes = EncodeManifest({{1000, "x\xC3\x84"}, {7, ""}});  // "xÄ"
    EXPECT_EQ(bytes, (Bytes{0xE8, 0x03, 0, 0, 4, 0, 0, 0, 'x', 0, 0xC4, 0, 7, 0, 0, 0, 0, 0, 0, 0}));
    DecodedManifest decoded = DecodeManifest(bytes.data(), bytes.size());
    EXPECT_TRUE(decoded.complete);
    ASSERT_EQ(decoded.records.size(), 2u);
    EXPECT_EQ(decoded.records[0].text, "x\xC3\x84");
    EXPECT_FALSE(DecodeManifest(bytes.data(), bytes.size() - 1).complete);
}

TEST(PackManifest, FieldsMustFitTheLaunchersBuffersAndHoldNoBackslash) {
    std::string e255;
    for (int i = 0; i < 255; ++i) e255 += "\xC3\xA9";  // 255 characters, 510 bytes of UTF-8
    EXPECT_NO_THROW(CheckManifestField(e255, "product name", "a.msi"));
    EXPECT_NO_THROW(CheckManifestField(std::string(255, 'a'), "product name", "a.msi"));
    for (const std::string& bad : {std::string(256, 'a'), std::string("a\\b"), std::string(), std::string("\xC3")}) {
        SCOPED_TRACE(bad.substr(0, 8));
        EXPECT_THROW(CheckManifestField(bad, "product name", "a.msi"), PackError);
    }
    for (const char* name : {"../x.cab", "a/b.cab", "..", "c:x.cab"})
        EXPECT_THROW(CheckCabinetFileName(name, "a.msi"), PackError) << name;
}

std::string Repeat(const std::string& piece, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) out += piece;
    return out;
}

// The launcher converts each field to the ANSI code page of its system,
// exactly or not at all, into 255 bytes; the tool refuses what a system of
// one of the line's languages would refuse.
TEST(PackManifest, FieldsAreCountedInTheCodePagesOfTheLinesLanguages) {
    const std::string kanji = "\xE8\xA1\xA8";         // U+8868, two bytes in code page 932, ending in 0x5C
    const std::string fullWidthSlash = "\xEF\xBC\x8F";  // U+FF0F
    const std::string fullWidthQuote = "\xEF\xBC\x82";  // U+FF02
    struct Case {
        std::string value;
        const char* languages;
        bool accepted;
    };
    const Case cases[] = {
        {Repeat(kanji, 127), "1041", true},  // 254 bytes
        {Repeat(kanji, 128), "1041", false},  // 256 bytes, though 128 characters
        {Repeat(kanji, 200), "1033;1041", false},
        {kanji, "1033", false},  // not in code page 1252
        {kanji, "2052", true},   // GBK
        {kanji, "1028", true},   // Big5
        {"Caf\xC3\xA9 \xE2\x82\xAC", "1033;1031", true},
        {"Caf\xC3\xA9", "1041", false},  // no e acute in code page 932
        {"Product " + fullWidthQuote + " /qn", "1033", false},
        {"Product " + fullWidthQuote + " /qn", "1041", true},  // a character of its own there
        {Repeat("\xC3\xA9", 255), "1033", true},
        {Repeat("\xD0\x96", 255), "1049", true},  // Cyrillic in code page 1251
        {Repeat("\xD0\x96", 255), "1049;1033", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value.substr(0, 12) + " for " + c.languages);
        if (c.accepted)
            EXPECT_NO_THROW(CheckManifestField(c.value, "product name", "a.msi", c.languages));
        else
            EXPECT_THROW(CheckManifestField(c.value, "product name", "a.msi", c.languages), PackError);
    }
    EXPECT_THROW(CheckCabinetFileName("\xEF\xBC\x8E\xEF\xBC\x8E" + fullWidthSlash + "x.dll", "a.msi", "1033"),
                 PackError);
    // In code page 932 the full-width forms are characters of their own.
    EXPECT_NO_THROW(CheckCabinetFileName("\xEF\xBC\x8E\xEF\xBC\x8E" + fullWidthSlash + "x.dll", "a.msi", "1041"));
}

TEST(PackManifest, CabinetNamesArePlainFileNames) {
    for (const char* name : {"CON.cab", "con", "Com1.cab", "LPT9", "AUX .cab", "x.cab.", "x.cab ", "a*b.cab", "a\"b.cab",
                             "a<b", "C:x", ".", "a\x01b"})
        EXPECT_THROW(CheckCabinetFileName(name, "a.msi"), PackError) << name;
    for (const char* name : {"CONSOLE.cab", "COM10.cab", "data.cab", ".hidden.cab", "a b.cab"})
        EXPECT_NO_THROW(CheckCabinetFileName(name, "a.msi")) << name;
}

// Windows keeps one file for names that differ only in case: one cabinet
// would overwrite the other in the product folder.
TEST(PackManifest, CabinetsOfOnePackageDifferingOnlyInCaseAreRefused) {
    struct Case {
        std::vector<std::string> paths;
        bool accepted;
    };
    const Case cases[] = {
        {{"en/x.cab", "shared/X.CAB"}, false},
        {{"en/data.cab", "de/Data.Cab", "other.cab"}, false},
        {{"en/\xC3\xA9t\xC3\xA9.cab", "de/\xC3\x89T\xC3\x89.cab"}, false},  // beyond ASCII too
        {{"en/x.cab", "en/./x.cab"}, true},  // one file named twice
        {{"en/x.cab", "en/y.cab"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.paths[1]);
        if (c.accepted)
            EXPECT_NO_THROW(CheckCabinetNamesDistinct(c.paths, "a.msi"));
        else
            EXPECT_THROW(CheckCabinetNamesDistinct(c.paths, "a.msi"), PackError);
    }
}

TEST(PackPlan, AssignsIdsInCommandLineOrderAndSharesACabinetBetweenItsOwners) {
    PackageSource english{"en/a.msi", "x64", "1033", "{A}", "Product", {"shared/data.cab", "en/en.cab"}};
    PackageSource german{"de/a.msi", "x64", "1031", "{B}", "Produkt", {"shared/data.cab"}};
    PackagePlan plan = PlanPackages({english, german});

    std::vector<std::pair<uint32_t, std::string>> records;
    for (const ManifestRecord& record : plan.records) records.emplace_back(record.id, record.text);
    EXPECT_EQ(records, (std::vector<std::pair<uint32_t, std::string>>{{1000, "x64\\1033\\{A}\\Product"},
                                                                      {1001, "cab\\1000;1003\\data.cab"},
                                                                      {1002, "cab\\1000\\en.cab"},
                                                                      {1003, "x64\\1031\\{B}\\Produkt"}}));
    std::vector<std::pair<uint32_t, std::string>> payloads;
    for (const PlannedPayload& payload : plan.payloads) payloads.emplace_back(payload.id, payload.path);
    EXPECT_EQ(payloads, (std::vector<std::pair<uint32_t, std::string>>{
                            {1000, "en/a.msi"}, {1001, "shared/data.cab"}, {1002, "en/en.cab"}, {1003, "de/a.msi"}}));
}
}  // namespace
