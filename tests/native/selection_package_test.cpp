// Choosing the package line: the three language passes, the platform test,
// and lines whose fields are empty or too long.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "core/status_lines.h"
#include "selection_blobs.h"

namespace {
using namespace selection_test;

struct Line {
    uint32_t blob;
    uint32_t id;
    std::string text;
};

// A braced GUID whose first group is the line's id.
std::string ProductCode(uint32_t id) {
    char code[40];
    std::snprintf(code, sizeof code, "{%08X-0000-0000-0000-000000000000}", id);
    return code;
}

std::string PackageLine(const std::string& platform, const std::string& languages, uint32_t id) {
    return platform + "\\" + languages + "\\" + ProductCode(id) + "\\Product " + std::to_string(id);
}

Line X64(uint32_t id, const std::string& languages, uint32_t blob = 0) {
    return {blob, id, PackageLine("x64", languages, id)};
}

std::string PayloadOf(uint32_t blob, uint32_t id) {
    return "package " + std::to_string(id) + " in blob " + std::to_string(blob);
}

// One blob per blob index used; every line with a non-zero id has a payload.
void AddLines(TestBlobs* table, const std::vector<Line>& lines) {
    std::map<uint32_t, std::pair<Bytes, std::vector<Payload>>> blobs;
    for (const Line& line : lines) {
        auto& blob = blobs[line.blob];
        blob.first = Concat({blob.first, Record(line.id, line.text)});
        if (line.id != 0) blob.second.push_back({line.id, PayloadOf(line.blob, line.id)});
    }
    for (auto& [index, blob] : blobs) table->Add(blob.first, blob.second);
}

constexpr uint32_t kNone = 0;

struct ChoiceCase {
    const char* name;
    uint32_t userLanguage;
    std::vector<Line> lines;
    uint32_t chosenId;  // kNone: the selection fails
    uint32_t chosenBlob;
    uint32_t languageAfter;
};

void PrintTo(const ChoiceCase& c, std::ostream* out) { *out << c.name; }

void ExpectFailure(const SelectionRun& run) {
    EXPECT_EQ(StatusCode(run.status), 13u);
    EXPECT_EQ(StatusLine(run.status), kLineNoPackage);
    EXPECT_STREQ(run.errorText, kBadPackageText);
    EXPECT_EQ(run.set.itemCount, 0);
}

void ExpectChosen(const SelectionRun& run, uint32_t blob, uint32_t id) {
    ASSERT_EQ(StatusCode(run.status), 0u) << run.errorText;
    EXPECT_STREQ(run.errorText, "");
    EXPECT_EQ(run.choice.entryId, id);
    EXPECT_EQ(run.choice.blobIndex, blob);
    ASSERT_EQ(run.set.itemCount, 1);
    EXPECT_STREQ(run.set.items[0].fileName, "main.msi");
    EXPECT_EQ(PayloadText(run.set.items[0]), PayloadOf(blob, id));
    EXPECT_STREQ(run.set.items[0].outPath, L"");
}

class ChoiceTest : public testing::TestWithParam<ChoiceCase> {};

TEST_P(ChoiceTest, ChoosesTheLineForTheUsersLanguage) {
    const ChoiceCase& c = GetParam();
    TestBlobs table;
    AddLines(&table, c.lines);
    SelectionRun run(&table, c.userLanguage);

    if (c.chosenId == kNone)
        ExpectFailure(run);
    else
        ExpectChosen(run, c.chosenBlob, c.chosenId);
    EXPECT_EQ(run.languageId, c.languageAfter);
}

const ChoiceCase kChoiceCases[] = {
    // Language passes.
    {"ExactLanguage", 1033, {X64(10, "1031"), X64(20, "1033")}, 20, 0, 1033},
    {"ExactBeatsEarlierPrimaryMatch", 2055, {X64(10, "1031"), X64(20, "2055")}, 20, 0, 2055},
    {"PrimaryLanguageInPassTwo", 2055, {X64(10, "1031")}, 10, 0, 2055},
    {"PrimaryLanguageBeforeFallback", 1031, {X64(10, "1033"), X64(20, "3079")}, 20, 0, 1031},
    {"FallbackTo1033InPassThree", 1031, {X64(10, "1033")}, 10, 0, 1033},
    {"NoFallbackForA1033User", 1033, {X64(10, "1031")}, kNone, 0, 1033},
    {"NothingForAnyLanguage", 1031, {X64(10, "1036")}, kNone, 0, 1033},
    {"SortOrderLcidIsNot1033", 66567, {X64(10, "1033")}, 10, 0, 1033},
    {"Listed66569CountsAs1033", 1033, {X64(10, "66569")}, 10, 0, 1033},
    {"Listed66569CountsAs1033InPassThree", 1031, {X64(10, "66569")}, 10, 0, 1033},
    {"SecondInList", 1033, {X64(10, "1031;1033")}, 10, 0, 1033},
    {"LeadingTrailingAndEmptyElements", 1033, {X64(10, ";1031;;1033;")}, 10, 0, 1033},
    {"NumberEndsAtFirstNonDigit", 1033, {X64(10, "en; 1033-US")}, 10, 0, 1033},
    {"NoNumberInList", 1033, {X64(10, "en-US;;")}, kNone, 0, 1033},
    // Platform.
    {"PlatformInCapitals", 1033, {{0, 10, PackageLine("X64", "1033", 10)}}, 10, 0, 1033},
    {"IntelNeverChosen", 1033, {{0, 10, PackageLine("Intel", "1033", 10)}, X64(20, "1033")}, 20, 0, 1033},
    {"OnlyIntel", 1031, {{0, 10, PackageLine("Intel", "1031;1033", 10)}}, kNone, 0, 1033},
    {"OtherPlatforms", 1033, {{0, 10, PackageLine("x86", "1033", 10)}, {0, 11, PackageLine("x64 ", "1033", 11)}},
     kNone, 0, 1033},
    // Order and record ids.
    {"FirstLineWins", 1033, {X64(10, "1033"), X64(20, "1033")}, 10, 0, 1033},
    {"EarlierBlobWins", 1033, {X64(10, "1031", 0), X64(30, "1033", 1), X64(20, "1033", 2)}, 30, 1, 1033},
    {"RecordIdZeroStopsThePass", 1031, {X64(0, "1031"), X64(20, "1031"), X64(30, "1033")}, 30, 0, 1033},
    {"RecordIdZeroStopsEveryPass", 1033, {X64(0, "1033"), X64(20, "1033")}, kNone, 0, 1033},
    // Lines that are no package lines.
    {"EmptyFields",
     1033,
     {{0, 10, R"(x64\\{A}\Name)"},
      {0, 11, R"(x64\1033\\Name)"},
      {0, 12, R"(x64\1033\{C}\)"},
      {0, 13, R"(\1033\{D}\Name)"},
      {0, 14, R"(x64\1033\{E})"},
      {0, 15, ""},
      {0, 16, R"(cab\1000\main.cab)"},
      X64(20, "1033")},
     20,
     0,
     1033},
};

INSTANTIATE_TEST_SUITE_P(Lines, ChoiceTest, testing::ValuesIn(kChoiceCases),
                         [](const testing::TestParamInfo<ChoiceCase>& info) { return info.param.name; });

// Field lengths: a field holds 255 characters, and the product code is a
// braced GUID. A longer field or another product code makes its line no
// package line; it is never cut short into another product code or name.
struct FieldCase {
    const char* name;
    std::string firstLine;  // record 10, for a user with 1033
    uint32_t chosenId;      // 10 or the plain line 20 behind it
    std::string productCode;
    std::string productName;
};

void PrintTo(const FieldCase& c, std::ostream* out) { *out << c.name; }

const std::string k255(255, 'a');
const std::string k256(256, 'b');
const std::string kCodeA = "{AAAAAAAA-0000-0000-0000-000000000000}";

const FieldCase kFieldCases[] = {
    {"TooLongPlatform", std::string(253, ' ') + "x64\\1033\\" + kCodeA + "\\A", 20, ProductCode(20), "Product 20"},
    {"TooLongLanguages", "x64\\" + std::string(252, '0') + "1033\\" + kCodeA + "\\A", 20, ProductCode(20), "Product 20"},
    {"TooLongProductCode", "x64\\1033\\{" + k256 + "}\\A", 20, ProductCode(20), "Product 20"},
    {"TooLongProductName", "x64\\1033\\" + kCodeA + "\\" + k256, 20, ProductCode(20), "Product 20"},
    {"HugeProductName", "x64\\1033\\" + kCodeA + "\\" + std::string(100000, 'n'), 20, ProductCode(20), "Product 20"},
    {"FullLengthProductName", "x64\\1033\\" + kCodeA + "\\" + k255, 10, kCodeA, k255},
    {"ProductCodeThatIsNoGuid", "x64\\1033\\" + k255 + "\\Name", 20, ProductCode(20), "Product 20"},
    {"LongTextAfterTheFourthField", "x64\\1033\\" + kCodeA + "\\Name\\" + k256 + "\\" + k256, 10, kCodeA, "Name"},
};

class FieldLengthTest : public testing::TestWithParam<FieldCase> {};

TEST_P(FieldLengthTest, KeepsWholeFieldsOnly) {
    const FieldCase& c = GetParam();
    TestBlobs table;
    AddLines(&table, {{0, 10, c.firstLine}, X64(20, "1033")});
    SelectionRun run(&table, 1033);

    ExpectChosen(run, 0, c.chosenId);
    EXPECT_EQ(std::string(run.choice.productCode), c.productCode);
    EXPECT_EQ(std::string(run.choice.productName), c.productName);
    EXPECT_STREQ(run.choice.platform, "x64");
    EXPECT_STREQ(run.choice.languages, "1033");
}

INSTANTIATE_TEST_SUITE_P(Lines, FieldLengthTest, testing::ValuesIn(kFieldCases),
                         [](const testing::TestParamInfo<FieldCase>& info) { return info.param.name; });

TEST(FieldLengthFailureTest, TooLongFieldOnTheOnlyLineFails) {
    TestBlobs table;
    AddLines(&table, {{0, 10, "x64\\1033\\{" + k256 + "}\\Name"}});
    SelectionRun run(&table, 1033);
    ExpectFailure(run);
}

// Manifests that end early: only what lies before the fault is looked at.
TEST(MalformedManifestTest, RecordsBeforeAFaultStillCount) {
    TestBlobs table;
    table.Add(Concat({Record(10, PackageLine("x64", "1033", 10)), Bytes{1, 2, 3}}), {{10, PayloadOf(0, 10)}});
    SelectionRun run(&table, 1033);
    ExpectChosen(run, 0, 10);
}

TEST(MalformedManifestTest, AFaultHidesEveryLaterBlob) {
    TestBlobs table;
    table.Add(Concat({Record(10, PackageLine("x64", "1031", 10)), Bytes{1, 2, 3}}), {{10, PayloadOf(0, 10)}});
    table.Add(Record(20, PackageLine("x64", "1033", 20)), {{20, PayloadOf(1, 20)}});
    SelectionRun run(&table, 1033);
    ExpectFailure(run);
}

TEST(MalformedManifestTest, LineAfterAnOddLengthRecordIsRead) {
    TestBlobs table;
    table.Add(Concat({RawRecord(5, {'a', 0, 'b'}), Record(10, PackageLine("x64", "1033", 10))}),
              {{10, PayloadOf(0, 10)}});
    SelectionRun run(&table, 1033);
    ExpectChosen(run, 0, 10);
}

}  // namespace
