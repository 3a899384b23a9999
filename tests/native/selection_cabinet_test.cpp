// Gathering the chosen package's cabinets, the failures of the selection
// step, and a run over a signed and compressed blob.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/status_lines.h"
#include "selection/package_items.h"
#include "selection_blobs.h"

namespace {
using namespace selection_test;

constexpr uint32_t kPackageId = 1000;
const std::string kPackageLine = R"(x64\1033\{50524F44-0000-0000-0000-000000000000}\Product)";

struct CabinetLine {
    uint32_t blob;
    uint32_t id;
    std::string text;
};

std::string CabinetPayload(uint32_t id) { return "cabinet " + std::to_string(id); }

using Items = std::vector<std::pair<std::string, std::string>>;  // name, payload ("" when not read)

Items ItemsOf(const PackageSet& set) {
    Items items;
    for (int32_t i = 0; i < set.itemCount; ++i)
        items.emplace_back(set.items[i].fileName, PayloadText(set.items[i]));
    return items;
}

struct GatherCase {
    const char* name;
    std::vector<CabinetLine> before;  // records in front of the package line
    std::vector<CabinetLine> after;   // records behind it
    std::vector<uint32_t> missing;    // cabinet ids without a payload entry
    bool succeeds;
    Items cabinets;                   // items behind "main.msi"
};

void PrintTo(const GatherCase& c, std::ostream* out) { *out << c.name; }

bool IsMissing(const GatherCase& c, uint32_t id) {
    for (uint32_t missing : c.missing)
        if (missing == id) return true;
    return false;
}

// Blob 0 holds the package line (record 1000) among the given lines; lines
// for blob 1 make a second blob.
void AddGatherBlobs(TestBlobs* table, const GatherCase& c) {
    Bytes manifests[2];
    std::vector<Payload> payloads[2];
    auto add = [&](const CabinetLine& line) {
        manifests[line.blob] = Concat({manifests[line.blob], Record(line.id, line.text)});
        if (!IsMissing(c, line.id)) payloads[line.blob].push_back({line.id, CabinetPayload(line.id)});
    };
    for (const CabinetLine& line : c.before) add(line);
    add({0, kPackageId, kPackageLine});
    for (const CabinetLine& line : c.after) add(line);
    for (int blob = 0; blob < 2; ++blob)
        if (blob == 0 || !manifests[blob].empty()) table->Add(manifests[blob], payloads[blob]);
}

class GatherTest : public testing::TestWithParam<GatherCase> {};

TEST_P(GatherTest, GathersTheCabinetsOfTheChosenPackage) {
    const GatherCase& c = GetParam();
    TestBlobs table;
    AddGatherBlobs(&table, c);
    SelectionRun run(&table, 1033);

    ASSERT_EQ(run.choice.entryId, kPackageId);
    Items expected = {{"main.msi", CabinetPayload(kPackageId)}};
    expected.insert(expected.end(), c.cabinets.begin(), c.cabinets.end());
    EXPECT_EQ(ItemsOf(run.set), expected);
    if (c.succeeds) {
        EXPECT_EQ(StatusCode(run.status), 0u);
        EXPECT_STREQ(run.errorText, "");
    } else {
        EXPECT_EQ(StatusCode(run.status), 13u);
        EXPECT_EQ(StatusLine(run.status), kLineNoPackage);
        EXPECT_STREQ(run.errorText, kBadPackageText);
    }
}

const std::string k255Name(255, 'n');
const std::string k256Name(256, 'm');

const GatherCase kGatherCases[] = {
    {"NoCabinetLine", {}, {}, {}, true, {}},
    {"OwnedCabinet", {}, {{0, 1001, R"(cab\1000\main.cab)"}}, {}, true, {{"main.cab", CabinetPayload(1001)}}},
    {"KindInAnyCase", {}, {{0, 1001, R"(CaB\1000\a.cab)"}}, {}, true, {{"a.cab", CabinetPayload(1001)}}},
    {"OtherKinds", {}, {{0, 1001, R"(cabinet\1000\a.cab)"}, {0, 1002, R"(msi\1000\b.cab)"}}, {}, true, {}},
    {"OwnerListedSecond",
     {},
     {{0, 1001, R"(cab\999;1000\b.cab)"}, {0, 1002, R"(cab\999;1001\c.cab)"}},
     {},
     true,
     {{"b.cab", CabinetPayload(1001)}}},
    {"OwnerNamedTwice",
     {},
     {{0, 1001, R"(cab\1000;;1000\d.cab)"}},
     {},
     true,
     {{"d.cab", CabinetPayload(1001)}, {"d.cab", CabinetPayload(1001)}}},
    // One path, two contents: whichever reached the disk first would be installed.
    {"SameNameInOtherCaseWithOtherContent",
     {},
     {{0, 1001, R"(cab\1000\d.cab)"}, {0, 1002, R"(cab\1000\D.CAB)"}},
     {},
     false,
     {{"d.cab", CabinetPayload(1001)}, {"D.CAB", CabinetPayload(1002)}}},
    {"CabinetNamedLikeThePackage",
     {},
     {{0, 1001, R"(cab\1000\MAIN.MSI)"}},
     {},
     false,
     {{"MAIN.MSI", CabinetPayload(1001)}}},
    {"CabinetLinesInRecordOrder",
     {{0, 1003, R"(cab\1000\first.cab)"}},
     {{0, 1001, R"(cab\1000\second.cab)"}, {0, 1002, R"(cab\1000\third.cab)"}},
     {},
     true,
     {{"first.cab", CabinetPayload(1003)}, {"second.cab", CabinetPayload(1001)}, {"third.cab", CabinetPayload(1002)}}},
    {"CabinetInAnotherBlob", {}, {{1, 1001, R"(cab\1000\e.cab)"}}, {}, true, {}},
    {"TextAfterTheThirdField", {}, {{0, 1001, R"(cab\1000\f.cab\g.cab)"}}, {}, true, {{"f.cab", CabinetPayload(1001)}}},
    {"EmptyFields", {}, {{0, 1001, R"(cab\\g.cab)"}, {0, 1002, R"(cab\1000\)"}, {0, 1003, ""}}, {}, true, {}},
    {"OwnerWithSpaces", {}, {{0, 1001, R"(cab\ 1000 \h.cab)"}}, {}, true, {{"h.cab", CabinetPayload(1001)}}},
    {"FullLengthFileName", {}, {{0, 1001, "cab\\1000\\" + k255Name}}, {}, true, {{k255Name, CabinetPayload(1001)}}},
    {"TooLongFileNameOfThePackage", {}, {{0, 1001, "cab\\1000\\" + k256Name}}, {}, false, {}},
    {"TooLongFileNameOfAnotherPackage", {}, {{0, 1001, "cab\\999\\" + k256Name}}, {}, true, {}},
    {"TooLongOwnersNamingThePackage", {}, {{0, 1001, "cab\\" + std::string(300, ';') + "1000\\i.cab"}}, {}, false, {}},
    {"TooLongOwnersOfAnotherPackage", {}, {{0, 1001, "cab\\" + std::string(300, ';') + "999\\i.cab"}}, {}, true, {}},
    {"TooLongKind", {}, {{0, 1001, std::string(254, ' ') + "cab\\1000\\j.cab"}}, {}, true, {}},
    {"MissingCabinetPayload",
     {},
     {{0, 1001, R"(cab\1000\a.cab)"}, {0, 1002, R"(cab\1000\b.cab)"}, {0, 1003, R"(cab\1000\c.cab)"}},
     {1002},
     false,
     {{"a.cab", CabinetPayload(1001)}, {"b.cab", ""}, {"c.cab", CabinetPayload(1003)}}},
};

INSTANTIATE_TEST_SUITE_P(Lines, GatherTest, testing::ValuesIn(kGatherCases),
                         [](const testing::TestParamInfo<GatherCase>& info) { return info.param.name; });

TEST(PackageItemTest, MissingPackagePayloadFails) {
    TestBlobs table;
    table.Add(Concat({Record(kPackageId, kPackageLine), Record(1001, R"(cab\1000\main.cab)")}),
              {{1001, CabinetPayload(1001)}});
    SelectionRun run(&table, 1033);

    EXPECT_EQ(StatusCode(run.status), 13u);
    EXPECT_EQ(StatusLine(run.status), kLineNoPackage);
    EXPECT_STREQ(run.errorText, kBadPackageText);
    EXPECT_EQ(run.set.itemCount, 0);
}

TEST(PackageItemTest, LongNameIsCutToTheItemBuffer) {
    TestBlobs table;
    table.Add(Bytes(), {{7, "seven"}});
    PackageItem item;
    std::memset(&item, 0x5A, sizeof(item));
    std::string name(300, 'x');

    ASSERT_TRUE(LoadPackageItem(table.Table(), 0, 7, &item, name.c_str()));
    EXPECT_EQ(std::string(item.fileName), name.substr(0, 260));
    EXPECT_EQ(PayloadText(item), "seven");
    EXPECT_STREQ(item.outPath, L"");

    EXPECT_FALSE(LoadPackageItem(table.Table(), 1, 7, &item, "main.msi"));
    EXPECT_EQ(item.payload.contentLength, 0u);
    EXPECT_EQ(PayloadText(item), "");
}

// Memory that runs out while the item array grows.
PlatformMemory g_realMemory;

class ItemGrowthTest : public testing::Test {
protected:
    void SetUp() override { g_realMemory = g_platformMemory; }
    void TearDown() override { g_platformMemory = g_realMemory; }
};

TEST_F(ItemGrowthTest, FirstItemCannotBeAllocated) {
    TestBlobs table;
    table.Add(Record(kPackageId, kPackageLine), {{kPackageId, CabinetPayload(kPackageId)}});
    g_platformMemory.alloc = [](uint32_t flags, size_t bytes) -> void* {
        if ((flags & kMemZeroInit) && bytes == sizeof(PackageItem)) return nullptr;
        return g_realMemory.alloc(flags, bytes);
    };
    SelectionRun run(&table, 1033);
    g_platformMemory = g_realMemory;

    EXPECT_EQ(StatusCode(run.status), 13u);
    EXPECT_EQ(StatusLine(run.status), kLineNoPackage);
    EXPECT_EQ(run.set.itemCount, 0);
    EXPECT_EQ(run.set.items, nullptr);
}

TEST_F(ItemGrowthTest, CabinetItemCannotBeAdded) {
    TestBlobs table;
    table.Add(Concat({Record(kPackageId, kPackageLine), Record(1001, R"(cab\1000\a.cab)")}),
              {{kPackageId, CabinetPayload(kPackageId)}, {1001, CabinetPayload(1001)}});
    g_platformMemory.reAlloc = [](void*, size_t, uint32_t) -> void* { return nullptr; };
    SelectionRun run(&table, 1033);
    g_platformMemory = g_realMemory;

    EXPECT_EQ(StatusCode(run.status), 13u);
    EXPECT_EQ(StatusLine(run.status), kLineNoPackage);
    EXPECT_EQ(ItemsOf(run.set), (Items{{"main.msi", CabinetPayload(kPackageId)}}));
}

// The real layout: every entry compressed and signed with the development
// key, two language lines that share one cabinet.
class SignedBlobTest : public testing::Test {
protected:
    static std::string Content(const std::string& seed, size_t size) {
        std::string content;
        for (size_t i = 0; content.size() < size; ++i) content += seed + std::to_string(i * 7919 % 1000003) + ";";
        content.resize(size);
        return content;
    }

    void SetUp() override {
        Bytes manifest = Concat({Record(1000, R"(x64\1033\{454E0000-0000-0000-0000-000000000000}\Product)"),
                                 Record(2000, R"(x64\1031\{44450000-0000-0000-0000-000000000000}\Produkt)"),
                                 Record(1001, R"(cab\1000\lang.cab)"), Record(2001, R"(cab\2000\lang.cab)"),
                                 Record(3001, R"(cab\2000;1000\shared.cab)")});
        payloads_ = {{1000, Content("en-msi", 70000)},  {2000, Content("de-msi", 50000)},
                     {1001, Content("en-cab", 300000)}, {2001, Content("de-cab", 200000)},
                     {3001, Content("shared", 120000)}};
        table_.Add(manifest, payloads_, kBlobCompressed | kBlobSigned);
        ASSERT_EQ(Sign(Bytes{1}).size(), kSignatureSize) << "development key missing: " MSISTUB_DEV_PRIVATE_KEY;
    }

    std::string PayloadFor(uint32_t id) const {
        for (const Payload& payload : payloads_)
            if (payload.id == id) return payload.content;
        return {};
    }

    TestBlobs table_;
    std::vector<Payload> payloads_;
};

TEST_F(SignedBlobTest, HoldsThePackageAndCabinetsOfEachLanguage) {
    struct Expected {
        uint32_t userLanguage;
        const char* productCode;
        uint32_t package, cabinet;
    };
    const char* english = "{454E0000-0000-0000-0000-000000000000}";
    const char* german = "{44450000-0000-0000-0000-000000000000}";
    for (const Expected& e : {Expected{1033, english, 1000, 1001}, Expected{1031, german, 2000, 2001},
                              Expected{2055, german, 2000, 2001}, Expected{1036, english, 1000, 1001}}) {
        SCOPED_TRACE(e.userLanguage);
        SelectionRun run(&table_, e.userLanguage);
        ASSERT_EQ(StatusCode(run.status), 0u);
        EXPECT_STREQ(run.choice.productCode, e.productCode);
        EXPECT_EQ(ItemsOf(run.set), (Items{{"main.msi", PayloadFor(e.package)},
                                           {"lang.cab", PayloadFor(e.cabinet)},
                                           {"shared.cab", PayloadFor(3001)}}));
    }
}

TEST_F(SignedBlobTest, CabinetWithABadSignatureFailsTheStep) {
    // The shared cabinet is the last entry: its signature ends right before
    // the closing trailer.
    ContainerBlob& blob = table_.Blob(0);
    blob.data[blob.size - kEntryTrailerSize - 1] ^= 0x01;
    SelectionRun run(&table_, 1033);

    EXPECT_EQ(StatusCode(run.status), 13u);
    EXPECT_EQ(StatusLine(run.status), kLineNoPackage);
    EXPECT_EQ(ItemsOf(run.set),
              (Items{{"main.msi", PayloadFor(1000)}, {"lang.cab", PayloadFor(1001)}, {"shared.cab", ""}}));
}

}  // namespace
