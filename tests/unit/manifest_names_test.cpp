// Names from the manifest as the launcher meets them under Wine, with the
// real ANSI conversion of the system's code page: product codes and cabinet
// names that would leave the product folder are refused, characters that the
// code page holds only by best-fit mapping are refused, and on a double-byte
// system (code page 932, whose second bytes include 0x5C) lines are split
// where their backslashes are, not inside a character, and fields are counted
// in the bytes the launcher keeps.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "../native/selection_blobs.h"
#include "core/status_lines.h"
#include "handoff/installer_command.h"
#include "launcher/command_line.h"

namespace {
using namespace selection_test;

constexpr uint32_t kPackageId = 1000;
const std::u16string kProductCode = u"{5EA1D000-0000-4000-8000-00000000D0C5}";

// UTF-16LE bytes of any UTF-16 text (selection_blobs.h's Utf16 takes Latin-1).
Bytes Wide(const std::u16string& text) {
    Bytes bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<uint8_t>(unit));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return bytes;
}

std::u16string PackageLine(const std::u16string& productCode, const std::u16string& productName) {
    return u"x64\\1033;1041\\" + productCode + u"\\" + productName;
}

// One blob: the package line (record 1000), an optional cabinet line (1001)
// and a plain fallback line (2000) that is chosen when 1000 is no package line.
struct Setup {
    std::u16string productCode = kProductCode;
    std::u16string productName = u"Product";
    std::u16string cabinetName;  // empty: no cabinet line
};

void AddSetup(TestBlobs* table, const Setup& setup) {
    std::vector<Bytes> records = {RawRecord(kPackageId, Wide(PackageLine(setup.productCode, setup.productName)))};
    std::vector<Payload> payloads = {{kPackageId, "package"}, {2000, "fallback"}};
    if (!setup.cabinetName.empty()) {
        records.push_back(RawRecord(1001, Wide(u"cab\\1000\\" + setup.cabinetName)));
        payloads.push_back({1001, "cabinet"});
    }
    records.push_back(RawRecord(2000, Wide(PackageLine(u"{FA11BAC0-0000-4000-8000-000000000000}", u"Fallback"))));
    table->Add(Concat(records), payloads);
}

enum class Outcome {
    kChosen,         // line 1000 chosen, its cabinet gathered under the expected name
    kNoPackageLine,  // line 1000 is no package line: the fallback line is chosen
    kGatheringFails  // line 1000 chosen, but its cabinet is refused and the step fails
};

struct NameCase {
    const char* name;
    Setup setup;
    Outcome outcome;
    std::string ansiName;  // kChosen: the product name or cabinet name in the ANSI code page
};

void PrintTo(const NameCase& c, std::ostream* out) { *out << c.name; }

void ExpectOutcome(const NameCase& c) {
    TestBlobs table;
    AddSetup(&table, c.setup);
    SelectionRun run(&table, 1033);
    switch (c.outcome) {
        case Outcome::kChosen: {
            ASSERT_EQ(StatusCode(run.status), 0u) << run.errorText;
            EXPECT_EQ(run.choice.entryId, kPackageId);
            bool cabinet = !c.setup.cabinetName.empty();
            ASSERT_EQ(run.set.itemCount, cabinet ? 2 : 1);
            EXPECT_EQ(std::string(cabinet ? run.set.items[1].fileName : run.choice.productName), c.ansiName);
            break;
        }
        case Outcome::kNoPackageLine:
            ASSERT_EQ(StatusCode(run.status), 0u) << run.errorText;
            EXPECT_EQ(run.choice.entryId, 2000u);
            EXPECT_STREQ(run.choice.productName, "Fallback");
            break;
        case Outcome::kGatheringFails:
            EXPECT_EQ(run.choice.entryId, kPackageId);
            EXPECT_EQ(StatusCode(run.status), 13u);
            EXPECT_EQ(StatusLine(run.status), kLineNoPackage);
            // Only the package itself: no item was added under the refused name.
            ASSERT_EQ(run.set.itemCount, 1);
            EXPECT_STREQ(run.set.items[0].fileName, "main.msi");
            break;
    }
}

Setup Cabinet(const std::u16string& name) {
    Setup setup;
    setup.cabinetName = name;
    return setup;
}

Setup ProductCode(const std::u16string& code) {
    Setup setup;
    setup.productCode = code;
    return setup;
}

Setup ProductName(const std::u16string& name) {
    Setup setup;
    setup.productName = name;
    return setup;
}

// Names that stay what they are in every code page.
const NameCase kPlainCases[] = {
    {"DotsAsProductCode", ProductCode(u".."), Outcome::kNoPackageLine, ""},
    {"PathAsProductCode", ProductCode(u"..\\..\\Windows"), Outcome::kNoPackageLine, ""},
    {"UnbracedGuidAsProductCode", ProductCode(u"5EA1D000-0000-4000-8000-00000000D0C5"), Outcome::kNoPackageLine, ""},
    {"SlashInCabinetName", Cabinet(u"a/b.cab"), Outcome::kGatheringFails, ""},
    {"DriveRelativeCabinetName", Cabinet(u"C:x"), Outcome::kGatheringFails, ""},
    {"DeviceCabinetName", Cabinet(u"CON.cab"), Outcome::kGatheringFails, ""},
    {"PortDeviceCabinetName", Cabinet(u"com1"), Outcome::kGatheringFails, ""},
    {"TrailingDotCabinetName", Cabinet(u"x.cab."), Outcome::kGatheringFails, ""},
    {"TrailingSpaceCabinetName", Cabinet(u"x.cab "), Outcome::kGatheringFails, ""},
    {"DotDotCabinetName", Cabinet(u".."), Outcome::kGatheringFails, ""},
    {"WildcardCabinetName", Cabinet(u"*.cab"), Outcome::kGatheringFails, ""},
    {"PlainCabinetName", Cabinet(u"Data1.cab"), Outcome::kChosen, "Data1.cab"},
    {"DeviceNameInsideAName", Cabinet(u"CONSOLE.cab"), Outcome::kChosen, "CONSOLE.cab"},
};

// Under a Western code page (1252): full-width forms exist there only by
// best-fit mapping, to the very characters the checks keep out.
const NameCase kWesternCases[] = {
    {"FullWidthTraversal", Cabinet(u"\uFF0E\uFF0E\uFF0F\uFF0E\uFF0E\uFF0FSystem32\uFF0Fx.dll"),
     Outcome::kGatheringFails, ""},
    {"FullWidthQuoteInCabinetName", Cabinet(u"a\uFF02b.cab"), Outcome::kGatheringFails, ""},
    {"FullWidthQuoteInProductName", ProductName(u"Product \uFF02 /qn"), Outcome::kNoPackageLine, ""},
    {"NameThatConvertsExactly", Cabinet(u"Caf\u00E9 \u00C4.cab"), Outcome::kChosen, "Caf\xE9 \xC4.cab"},
    {"ProductNameThatConvertsExactly", ProductName(u"Stra\u00DFe \u20AC"), Outcome::kChosen, "Stra\xDF" "e \x80"},
};

// Katakana so (U+30BD), hyou (U+8868) and nou (U+80FD) end in 0x5C in code
// page 932.
const std::u16string kTrailBytes = u"\u30BD\u8868\u80FD";
const std::string kTrailBytesAnsi = "\x83\x5C\x95\x5C\x94\x5C";
const std::u16string k127Kanji(127, u'\u8868');  // 254 bytes
const std::u16string k128Kanji(128, u'\u8868');  // 256 bytes

std::string Repeat(const std::string& piece, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) out += piece;
    return out;
}

// Under code page 932. The full-width forms are characters of their own
// there and convert exactly, without any byte that separates paths.
const NameCase kDoubleByteCases[] = {
    {"TrailBytesInProductName", ProductName(kTrailBytes + u" Setup"), Outcome::kChosen, kTrailBytesAnsi + " Setup"},
    {"TrailBytesInCabinetName", Cabinet(kTrailBytes + u".cab"), Outcome::kChosen, kTrailBytesAnsi + ".cab"},
    {"ProductNameOf254Bytes", ProductName(k127Kanji), Outcome::kChosen, Repeat("\x95\x5C", 127)},
    {"ProductNameOf256Bytes", ProductName(k128Kanji), Outcome::kNoPackageLine, ""},
    {"ProductNameOf200Kanji", ProductName(std::u16string(200, u'\u80FD')), Outcome::kNoPackageLine, ""},
    {"CabinetNameOf256Bytes", Cabinet(k128Kanji), Outcome::kGatheringFails, ""},
    {"FullWidthFormsAreCharactersHere", Cabinet(u"\uFF0E\uFF0E\uFF0Fx.dll"), Outcome::kChosen,
     "\x81\x44\x81\x44\x81\x5Ex.dll"},
    {"UmlautHasNoCounterpartHere", Cabinet(u"\u00C4.cab"), Outcome::kGatheringFails, ""},
    {"SlashStillRefused", Cabinet(kTrailBytes + u"/x.cab"), Outcome::kGatheringFails, ""},
};

class ManifestNameTest : public testing::TestWithParam<NameCase> {};
TEST_P(ManifestNameTest, EndsAsTheNameAllows) { ExpectOutcome(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Plain, ManifestNameTest, testing::ValuesIn(kPlainCases),
                         [](const testing::TestParamInfo<NameCase>& info) { return info.param.name; });

class WesternCodePageTest : public testing::TestWithParam<NameCase> {
   protected:
    void SetUp() override { ASSERT_EQ(GetACP(), 1252u) << "run in an English or German locale"; }
};
TEST_P(WesternCodePageTest, EndsAsTheNameAllows) { ExpectOutcome(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Names, WesternCodePageTest, testing::ValuesIn(kWesternCases),
                         [](const testing::TestParamInfo<NameCase>& info) { return info.param.name; });

// Run by its own CTest entry with LC_ALL=ja_JP.UTF-8.
class DoubleByteCodePageTest : public testing::TestWithParam<NameCase> {
   protected:
    void SetUp() override { ASSERT_EQ(GetACP(), 932u) << "run with LC_ALL=ja_JP.UTF-8"; }
};
TEST_P(DoubleByteCodePageTest, EndsAsTheNameAllows) { ExpectOutcome(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Names, DoubleByteCodePageTest, testing::ValuesIn(kDoubleByteCases),
                         [](const testing::TestParamInfo<NameCase>& info) { return info.param.name; });

// On a Western system too, an argument reaches the installer exactly as it
// was given: the line is UTF-16, so a full-width quotation mark or solidus
// stays what it is (best-fit mapping would have made a real one that ends
// the quoted value and adds the switches after it), and no argument that the
// code page lacks is refused any more.
TEST(WesternCodePageArgumentTest, EveryArgumentPassesAsGiven) {
    ASSERT_EQ(GetACP(), 1252u);
    struct Case {
        std::u16string line;
        std::u16string command;
    };
    const Case cases[] = {
        {u"setup.exe \"PROP=a\uFF02 /qn REBOOT=Force \uFF02\"", u"C:\\i.exe /i C:\\p.msi \"PROP=a\uFF02 /qn REBOOT=Force \uFF02\""},
        {u"setup.exe INSTALLDIR=C:\uFF3CApps", u"C:\\i.exe /i C:\\p.msi INSTALLDIR=C:\uFF3CApps"},
        {u"setup.exe /qn \"PROP=Caf\u00E9 \u20AC\"", u"C:\\i.exe /i C:\\p.msi /qn \"PROP=Caf\u00E9 \u20AC\""},
    };
    for (const Case& c : cases) {
        int32_t count = 0;
        char16_t** arguments = SplitCommandLine(c.line.c_str(), &count);
        ASSERT_NE(arguments, nullptr);
        char16_t command[kInstallerCommandSize];
        bool fits = BuildInstallerCommand(command, u"C:\\i.exe", u"C:\\p.msi", arguments, count);
        PlatformFree(arguments);
        EXPECT_TRUE(fits);
        EXPECT_TRUE(std::u16string(command) == c.command);
    }
}

}  // namespace
