// Walking manifest records over all blobs, and reading fields and number
// lists out of a line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format/manifest_fields.h"
#include "selection/enumerate_manifest.h"
#include "selection_blobs.h"

namespace {
using namespace selection_test;

struct Offered {
    uint32_t blob;
    uint32_t id;
    std::string text;
    bool operator==(const Offered& other) const {
        return blob == other.blob && id == other.id && text == other.text;
    }
};

void PrintTo(const Offered& offered, std::ostream* out) {
    *out << "{" << offered.blob << ", " << offered.id << ", \"" << offered.text << "\"}";
}

struct Recorder {
    std::vector<Offered> offered;
    uint32_t stopAtId = UINT32_MAX;
};

// The test texts are ASCII, so each code unit stands for one character.
std::string Narrow(const char16_t* text, size_t units) {
    std::string narrow;
    for (size_t i = 0; i < units; ++i) narrow += static_cast<char>(text[i]);
    return narrow;
}

std::u16string Widen(const std::string& text) { return std::u16string(text.begin(), text.end()); }

int RecordOffer(uint32_t blobIndex, uint32_t recordId, const char16_t* text, uint32_t units, void* context) {
    auto* recorder = static_cast<Recorder*>(context);
    EXPECT_EQ(text[units], u'\0');  // the offered copy is terminated for the splitter's sake
    recorder->offered.push_back({blobIndex, recordId, Narrow(text, units)});
    return recordId == recorder->stopAtId ? 0 : 1;
}

Bytes Header(uint32_t id, uint32_t length) {
    Bytes header;
    AppendU32(&header, id);
    AppendU32(&header, length);
    return header;
}

struct EnumerationCase {
    const char* name;
    std::vector<Bytes> manifests;  // one per blob
    uint32_t stopAtId;
    bool result;
    std::vector<Offered> offered;
};

void PrintTo(const EnumerationCase& c, std::ostream* out) { *out << c.name; }

class EnumerationTest : public testing::TestWithParam<EnumerationCase> {};

TEST_P(EnumerationTest, OffersRecordsInOrderUntilTheWalkEnds) {
    const EnumerationCase& c = GetParam();
    TestBlobs table;
    for (const Bytes& manifest : c.manifests) table.Add(manifest, {});
    Recorder recorder;
    recorder.stopAtId = c.stopAtId;

    EXPECT_EQ(EnumerateManifest(table.Table(), RecordOffer, &recorder), c.result);
    EXPECT_EQ(recorder.offered, c.offered);
}

const EnumerationCase kEnumerationCases[] = {
    {"NoBlobs", {}, UINT32_MAX, true, {}},
    {"AllRecordsOfAllBlobs",
     {Concat({Record(1, "a"), Record(2, "b")}), Concat({Record(3, "c")})},
     UINT32_MAX,
     true,
     {{0, 1, "a"}, {0, 2, "b"}, {1, 3, "c"}}},
    {"EmptyManifestIsSkipped", {Bytes(), Record(5, "e")}, UINT32_MAX, true, {{1, 5, "e"}}},
    {"CallbackStopsEveryLaterBlob",
     {Concat({Record(1, "a"), Record(2, "b"), Record(3, "c")}), Record(4, "d")},
     2,
     true,
     {{0, 1, "a"}, {0, 2, "b"}}},
    {"FewerThanEightBytesLeft",
     {Concat({Record(1, "a"), Record(2, "b"), Bytes{1, 2, 3, 4, 5}}), Record(3, "c")},
     UINT32_MAX,
     false,
     {{0, 1, "a"}, {0, 2, "b"}}},
    {"LengthRunsPastTheEnd",
     {Concat({Record(1, "a"), Header(2, 100), Bytes{'x', 0}}), Record(3, "c")},
     UINT32_MAX,
     false,
     {{0, 1, "a"}}},
    {"LengthThatWouldWrapAround",
     {Concat({Record(1, "a"), Header(2, 0xFFFFFFF8u), Bytes{'x', 0}})},
     UINT32_MAX,
     false,
     {{0, 1, "a"}}},
    {"ZeroLengthGivesEmptyText",
     {Concat({RawRecord(1, {}), Record(2, "b")})},
     UINT32_MAX,
     true,
     {{0, 1, ""}, {0, 2, "b"}}},
    {"OddLengthDropsItsLastByte",
     {Concat({RawRecord(1, {'x', 0, 'y', 0, 'z'}), Record(2, "next"), RawRecord(3, {'q'}), Record(4, "last")})},
     UINT32_MAX,
     true,
     {{0, 1, "xy"}, {0, 2, "next"}, {0, 3, ""}, {0, 4, "last"}}},
    {"TerminatorInsideTheText",
     {Concat({RawRecord(7, Utf16("abc", true)), RawRecord(8, Utf16(std::string("de\0fg", 5)))})},
     UINT32_MAX,
     true,
     {{0, 7, std::string("abc\0", 4)}, {0, 8, std::string("de\0fg", 5)}}},
};

INSTANTIATE_TEST_SUITE_P(Manifests, EnumerationTest, testing::ValuesIn(kEnumerationCases),
                         [](const testing::TestParamInfo<EnumerationCase>& info) { return info.param.name; });

TEST(EnumerationMemoryTest, FailedTextAllocationEndsTheWalk) {
    TestBlobs table;
    table.Add(Concat({Record(1, "a"), Record(2, "b")}), {});
    PlatformMemory saved = g_platformMemory;
    g_platformMemory.alloc = [](uint32_t, size_t) -> void* { return nullptr; };
    Recorder recorder;
    bool result = EnumerateManifest(table.Table(), RecordOffer, &recorder);
    g_platformMemory = saved;

    EXPECT_FALSE(result);
    EXPECT_TRUE(recorder.offered.empty());
}

std::vector<std::string> Split(const std::string& text, int wanted) {
    std::u16string units = Widen(text);
    std::vector<ManifestField> fields(static_cast<size_t>(wanted));
    int found = SplitManifestLine(units.data(), units.size(), fields.data(), wanted);
    std::vector<std::string> parts;
    for (int i = 0; i < found; ++i) parts.push_back(Narrow(fields[i].start, fields[i].length));
    return parts;
}

TEST(ManifestFieldTest, SplitsLikeTheScanPattern) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Split("x64\\1033\\{A}\\Name", 4), (V{"x64", "1033", "{A}", "Name"}));
    EXPECT_EQ(Split("x64\\1033\\{A}\\Name\\rest\\more", 4), (V{"x64", "1033", "{A}", "Name"}));
    EXPECT_EQ(Split("x64\\\\{A}\\Name", 4), (V{"x64"}));
    EXPECT_EQ(Split("x64\\1033\\{A}\\", 4), (V{"x64", "1033", "{A}"}));
    EXPECT_EQ(Split("\\1033", 4), V{});
    EXPECT_EQ(Split("", 3), V{});
    EXPECT_EQ(Split("  cab \\ 1 \\ a b ", 3), (V{"  cab ", " 1 ", " a b "}));
    // The line ends at a NUL as a C string would, and at its length.
    EXPECT_EQ(Split(std::string("x64\\10\0" "33\\{A}\\N", 12), 4), (V{"x64", "10"}));
    EXPECT_EQ(Split(std::string("cab\\1\\a.cab"), 3), (V{"cab", "1", "a.cab"}));
}

TEST(ManifestFieldTest, CopiesUpTo255CharactersAndRefusesLonger) {
    char out[kManifestFieldSize];
    std::u16string fits(255, u'f');
    EXPECT_TRUE(CopyManifestField({fits.data(), fits.size()}, out));
    EXPECT_EQ(std::string(out), std::string(255, 'f'));

    std::u16string tooLong(256, u'g');
    EXPECT_FALSE(CopyManifestField({tooLong.data(), tooLong.size()}, out));
    EXPECT_EQ(std::string(out), "");
}

std::vector<std::string> ListElements(const std::string& list) {
    std::vector<std::string> seen;
    std::u16string units = Widen(list);
    NumberListCursor cursor = StartNumberList({units.data(), units.size()});
    bool hasNumber = false;
    uint32_t number = 0;
    while (NextListElement(&cursor, &hasNumber, &number)) seen.push_back(hasNumber ? std::to_string(number) : "-");
    return seen;
}

TEST(ManifestFieldTest, WalksNumberListsElementByElement) {
    using V = std::vector<std::string>;
    EXPECT_EQ(ListElements("1031;1033"), (V{"1031", "1033"}));
    EXPECT_EQ(ListElements(";1033;"), (V{"-", "1033"}));
    EXPECT_EQ(ListElements("1031;;1033"), (V{"1031", "-", "1033"}));
    EXPECT_EQ(ListElements(" 1033x;en;+7"), (V{"1033", "-", "7"}));
    EXPECT_EQ(ListElements("4294967295;4294967296;4294968329"), (V{"4294967295", "-", "-"}));
    EXPECT_EQ(ListElements(""), V{});
}

}  // namespace
