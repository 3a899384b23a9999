// msistub-pack end to end: the real program on a stub, keys and MSI packages
// made here (mingw-w64, openssl, osslsigncode, wixl and gcab), for each
// placement, each refusal and the reading commands.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "byte_files.h"
#include "pack_commands.h"
#include "pack_error.h"

namespace fs = std::filesystem;

namespace {
const std::string kTool = MSISTUB_BINARY_DIR "/tools/pack/msistub-pack";
const std::string kDevPrivateKey = MSISTUB_DEV_PRIVATE_KEY;
const std::string kDevPublicKey = fs::path(kDevPrivateKey).parent_path().string() + "/dev-public.pem";

// The files every test works on. The recipe runs once per build tree; its
// hash names the folder, so a changed recipe makes new files.
const char kFixtureRecipe[] = R"SH(
cat > package.wxs.in <<'WXS'
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="@CODE@" Name="@NAME@" Language="@LANG@" Version="1.0.0" Manufacturer="msistub tests"
           UpgradeCode="{6B1F4C1E-0D7A-4B59-9C43-2D8E1A7F0B11}">
    <Package InstallerVersion="200" Compressed="yes"/>
    <Media Id="1" Cabinet="@CAB@" EmbedCab="no"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLDIR" Name="PackTest">
          <Component Id="Files" Guid="{0F5E2D8C-3B7A-4E61-A9D4-5C1B2E3F4A50}">
            <File Id="payload.bin" Name="payload.bin" Source="payload.bin" KeyPath="yes"/>
            <File Id="readme.txt" Name="readme.txt" Source="readme.txt"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Main" Level="1"><ComponentRef Id="Files"/></Feature>
  </Product>
</Wix>
WXS
head -c 200000 /dev/urandom > payload.bin
for i in $(seq 1 2000); do echo "line $i of the readme"; done > readme.txt
package() {  # folder arch language code name cabinet
  mkdir -p "$1"
  sed -e "s/@LANG@/$3/" -e "s/@CODE@/$4/" -e "s/@NAME@/$5/" -e "s/@CAB@/$6/" package.wxs.in > "$1/package.wxs"
  wixl -a "$2" -o "$1/product.msi" "$1/package.wxs" 2>/dev/null
  gcab -z -c "$1/$6" payload.bin readme.txt
}
package en x64 1033 '{11111111-2222-3333-4444-555555555555}' 'Pack Test' main.cab
package de x64 1031 '{66666666-7777-8888-9999-AAAAAAAAAAAA}' 'Pack Test DE' data.cab
# wixl writes 1033 into the Template whatever the product's language.
msibuild de/product.msi -s 'Pack Test DE' 'msistub tests' 'x64;1031'
package x86 x86 1033 '{BBBBBBBB-CCCC-DDDD-EEEE-FFFFFFFFFFFF}' 'Pack Test x86' main.cab
mkdir -p nocab && cp en/product.msi nocab/

printf 'int main(void) { return 0; }\n' > stub.c
mkdir -p unsigned signed
x86_64-w64-mingw32-gcc-posix -Os -s -o unsigned/msistub.exe stub.c
cp "$DEV_PUBLIC_KEY" unsigned/msistub.pub.pem
openssl req -x509 -newkey rsa:2048 -nodes -keyout signer.key -out signer.crt -days 3650 \
  -subj "/CN=msistub test signer" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
osslsigncode sign -certs signer.crt -key signer.key -in unsigned/msistub.exe -out signed/msistub.exe >/dev/null
cp "$DEV_PUBLIC_KEY" signed/msistub.pub.pem
openssl genrsa -out other-private.pem 2048 2>/dev/null
openssl rsa -in other-private.pem -pubout -out other-public.pem 2>/dev/null
openssl genrsa -out weak-private.pem 1024 2>/dev/null
)SH";

int RunShell(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

Bytes ReadBytes(const fs::path& path) { return ReadFileBytes(path.string(), "test file"); }

const fs::path& Fixtures() {
    static const fs::path folder = [] {
        size_t hash = std::hash<std::string>{}(kFixtureRecipe);
        fs::path done = fs::path(MSISTUB_BINARY_DIR) / ("pack-fixtures-" + std::to_string(hash));
        if (fs::exists(done / "complete")) return done;
        // Made aside and renamed into place, so tests running at the same
        // time never see half of it.
        fs::path work = done.string() + ".work-" + std::to_string(::getpid());
        fs::remove_all(work);
        fs::create_directories(work);
        std::ofstream(work / "recipe.sh") << kFixtureRecipe;
        int code = RunShell("cd " + Quote(work.string()) + " && DEV_PUBLIC_KEY=" + Quote(kDevPublicKey) +
                            " bash -eu recipe.sh");
        if (code != 0) {
            ADD_FAILURE() << "making the fixtures failed; see " << work;
            return work;
        }
        std::ofstream(work / "complete") << "1";
        std::error_code error;
        fs::rename(work, done, error);
        if (error) fs::remove_all(work);
        return done;
    }();
    return folder;
}

struct ToolRun {
    int exitCode;
    std::string out;
    std::string err;
};

class PackTool : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "." + info->name();
        for (char& c : name)
            if (c == '/') c = '_';
        work_ = fs::path(MSISTUB_BINARY_DIR) / "pack-test-runs" / name;
        fs::remove_all(work_);
        fs::create_directories(work_);
        ASSERT_TRUE(fs::exists(kTool)) << "build msistub-pack first";
        ASSERT_TRUE(fs::exists(Fixtures() / "complete")) << "no fixtures in " << Fixtures();
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(work_);
    }

    ToolRun Run(const std::string& arguments) {
        int code = RunShell(Quote(kTool) + " " + arguments + " >" + Quote((work_ / "stdout").string()) + " 2>" +
                            Quote((work_ / "stderr").string()));
        return {code, ReadText(work_ / "stdout"), ReadText(work_ / "stderr")};
    }

    static std::string F(const std::string& relative) { return Quote((Fixtures() / relative).string()); }
    std::string W(const std::string& relative) const { return Quote((work_ / relative).string()); }

    // Paths in test tables: @FIX@ stands for the fixture folder, @WORK@ for
    // the test's own folder.
    std::string Expand(std::string text) const {
        for (auto [token, value] : {std::pair<std::string, std::string>{"@FIX@", Fixtures().string()},
                                    std::pair<std::string, std::string>{"@WORK@", work_.string()}})
            for (size_t at; (at = text.find(token)) != std::string::npos;) text.replace(at, token.size(), value);
        return text;
    }

    // pack with the development key unless told otherwise; `extra` comes
    // before the MSI list.
    ToolRun Pack(const std::string& stub, const std::string& out, const std::string& extra,
                 const std::string& msis = "@FIX@/en/product.msi", const std::string& key = kDevPrivateKey) {
        return Run("pack --stub " + Expand(stub) + " --key " + Quote(key) + " --out " + W(out) + " " + Expand(extra) +
                   " " + Expand(msis));
    }

    fs::path work_;
};

struct PlacementCase {
    const char* name;
    const char* stub;
    const char* option;
    const char* site;  // as `list` names it
    bool signedStub;
};

void PrintTo(const PlacementCase& c, std::ostream* out) { *out << c.name; }

class PackToolPlacement : public PackTool, public ::testing::WithParamInterface<PlacementCase> {};

TEST_P(PackToolPlacement, RoundTripGivesBackThePayloadsByteForByte) {
    const PlacementCase& c = GetParam();
    const std::string stub = std::string("@FIX@/") + c.stub;
    ToolRun pack = Pack(stub, "setup.exe", c.option);
    ASSERT_EQ(pack.exitCode, 0) << pack.err;

    ToolRun verify = Run("verify " + W("setup.exe"));
    EXPECT_EQ(verify.exitCode, 0) << verify.out << verify.err;
    ToolRun list = Run("list --json " + W("setup.exe"));
    ASSERT_EQ(list.exitCode, 0) << list.err;
    EXPECT_NE(list.out.find(std::string("\"site\":\"") + c.site + "\""), std::string::npos) << list.out;
    EXPECT_NE(list.out.find(R"("text":"x64\\1033\\{11111111-2222-3333-4444-555555555555}\\Pack Test")"),
              std::string::npos)
        << list.out;
    EXPECT_NE(list.out.find(R"("id":1001,"kind":"cabinet","text":"cab\\1000\\main.cab")"), std::string::npos)
        << list.out;

    ToolRun extract = Run("extract " + W("setup.exe") + " --out " + W("out"));
    ASSERT_EQ(extract.exitCode, 0) << extract.err;
    EXPECT_EQ(ReadBytes(work_ / "out/main.msi"), ReadBytes(Fixtures() / "en/product.msi"));
    EXPECT_EQ(ReadBytes(work_ / "out/main.cab"), ReadBytes(Fixtures() / "en/main.cab"));

    if (c.signedStub) {
        int code = RunShell("osslsigncode verify -in " + W("setup.exe") + " -CAfile " + F("signer.crt") + " >" +
                            W("osslsigncode.log") + " 2>&1");
        EXPECT_EQ(code, 0) << ReadText(work_ / "osslsigncode.log");
        // One WIN_CERTIFICATE entry, 8-byte aligned, reaching to the end.
        Bytes setup = ReadBytes(work_ / "setup.exe");
        auto u32 = [&](size_t at) {
            return setup[at] | setup[at + 1] << 8 | setup[at + 2] << 16 | uint32_t{setup[at + 3]} << 24;
        };
        uint32_t tableOffset = u32(u32(60) + 168), tableSize = u32(u32(60) + 172);
        EXPECT_EQ(uint64_t{tableOffset} + tableSize, setup.size());
        EXPECT_EQ(u32(tableOffset), tableSize);
        EXPECT_EQ(tableSize % 8, 0u);
    } else {
        // The stub comes first, unchanged but for the header checksum.
        Bytes stub = ReadBytes(Fixtures() / c.stub);
        Bytes setup = ReadBytes(work_ / "setup.exe");
        ASSERT_GT(setup.size(), stub.size());
        size_t checksum = (stub[60] | stub[61] << 8) + 88;
        std::fill_n(stub.begin() + checksum, 4, 0);
        std::fill_n(setup.begin() + checksum, 4, 0);
        EXPECT_TRUE(std::equal(stub.begin(), stub.end(), setup.begin()));
    }

    // Same inputs, same bytes; and a packed file used as the stub has its
    // container replaced, not a second one added.
    ASSERT_EQ(Pack(stub, "again.exe", c.option).exitCode, 0);
    EXPECT_EQ(ReadBytes(work_ / "again.exe"), ReadBytes(work_ / "setup.exe"));
    fs::copy_file(work_ / "setup.exe", work_ / "packed-stub.exe");
    ToolRun repack = Pack("@WORK@/packed-stub.exe", "repacked.exe",
                          std::string(c.option) + " --stub-public-key " + Quote(kDevPublicKey));
    ASSERT_EQ(repack.exitCode, 0) << repack.err;
    EXPECT_EQ(ReadBytes(work_ / "repacked.exe"), ReadBytes(work_ / "setup.exe"));
}

INSTANTIATE_TEST_SUITE_P(
    Placements, PackToolPlacement,
    ::testing::Values(PlacementCase{"End", "unsigned/msistub.exe", "", "end of file", false},
                      PlacementCase{"Certificate", "signed/msistub.exe", "--placement certificate", "certificate table",
                                    true},
                      PlacementCase{"Tag", "signed/msistub.exe", "--placement tag", "tag certificate 2", true},
                      PlacementCase{"SignedStubDefaultsToTag", "signed/msistub.exe", "", "tag certificate 2", true}),
    [](const ::testing::TestParamInfo<PlacementCase>& info) { return std::string(info.param.name); });

TEST_F(PackTool, SeveralPackagesGiveSeveralLinesAndAFolderEachOnExtraction) {
    ToolRun pack = Pack("@FIX@/unsigned/msistub.exe", "setup.exe", "", "@FIX@/en/product.msi @FIX@/de/product.msi");
    ASSERT_EQ(pack.exitCode, 0) << pack.err;
    ToolRun list = Run("list " + W("setup.exe"));
    EXPECT_NE(list.out.find("1002  package  x64\\1031\\{66666666-7777-8888-9999-AAAAAAAAAAAA}\\Pack Test DE"),
              std::string::npos)
        << list.out;
    EXPECT_NE(list.out.find("1003  cabinet  cab\\1002\\data.cab"), std::string::npos) << list.out;

    ASSERT_EQ(Run("extract " + W("setup.exe") + " --out " + W("out")).exitCode, 0);
    EXPECT_EQ(ReadBytes(work_ / "out/1000/main.msi"), ReadBytes(Fixtures() / "en/product.msi"));
    EXPECT_EQ(ReadBytes(work_ / "out/1000/main.cab"), ReadBytes(Fixtures() / "en/main.cab"));
    EXPECT_EQ(ReadBytes(work_ / "out/1002/main.msi"), ReadBytes(Fixtures() / "de/product.msi"));
    EXPECT_EQ(ReadBytes(work_ / "out/1002/data.cab"), ReadBytes(Fixtures() / "de/data.cab"));
}

TEST_F(PackTool, OptionsOverrideWhatTheMsiSays) {
    fs::copy_file(Fixtures() / "en/main.cab", work_ / "other.cab");
    ToolRun pack = Pack("@FIX@/unsigned/msistub.exe", "setup.exe",
                        "--languages '1033;1031' --product-name 'Renamed Product' --product-code "
                        "'{12345678-1234-1234-1234-123456789ABC}' --cabinet " +
                            W("other.cab"));
    ASSERT_EQ(pack.exitCode, 0) << pack.err;
    ToolRun list = Run("list " + W("setup.exe"));
    EXPECT_NE(list.out.find("x64\\1033;1031\\{12345678-1234-1234-1234-123456789ABC}\\Renamed Product"),
              std::string::npos)
        << list.out;
    EXPECT_NE(list.out.find("cab\\1000\\other.cab"), std::string::npos) << list.out;
}

struct RefusalCase {
    const char* name;
    const char* stub;
    std::string extra;
    const char* msis;
    const char* key;  // null: the development key
    const char* message;
};

void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.name; }

class PackToolRefusal : public PackTool, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(PackToolRefusal, ExitsWithTwoOneMessageAndNoOutputFile) {
    const RefusalCase& c = GetParam();
    // A PE32 image: the stub with its optional header magic set to 0x10B.
    Bytes pe32 = ReadBytes(Fixtures() / "unsigned/msistub.exe");
    uint32_t peOffset = pe32[60] | pe32[61] << 8 | pe32[62] << 16 | static_cast<uint32_t>(pe32[63]) << 24;
    pe32[peOffset + 24] = 0x0B;
    pe32[peOffset + 25] = 0x01;
    WriteFileReplacing((work_ / "pe32.exe").string(), pe32);
    // One byte more than a u32 length holds; sparse, so it costs no disk.
    std::ofstream(work_ / "huge.cab").close();
    fs::resize_file(work_ / "huge.cab", uint64_t{1} << 32);

    ToolRun pack = Pack(c.stub, "setup.exe", c.extra, c.msis, c.key ? Expand(c.key) : kDevPrivateKey);
    EXPECT_EQ(pack.exitCode, 2) << pack.out << pack.err;
    EXPECT_NE(pack.err.find(c.message), std::string::npos) << pack.err;
    EXPECT_EQ(std::count(pack.err.begin(), pack.err.end(), '\n'), 1) << pack.err;
    EXPECT_FALSE(fs::exists(work_ / "setup.exe"));
    EXPECT_FALSE(fs::exists(work_ / "setup.exe.partial"));
    fs::remove(work_ / "huge.cab");
}

const char kUnsigned[] = "@FIX@/unsigned/msistub.exe";
const char kEnglish[] = "@FIX@/en/product.msi";

// `count` times U+8868, two bytes each in code page 932.
std::string Kanji(int count) {
    std::string kanji;
    for (int i = 0; i < count; ++i) kanji += "\xE8\xA1\xA8";
    return kanji;
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, PackToolRefusal,
    ::testing::Values(
        RefusalCase{"StubNotPe32Plus", "@WORK@/pe32.exe", "", kEnglish, nullptr,
                    "not a 64-bit Windows executable (PE32+)"},
        RefusalCase{"KeyNotRsa2048", kUnsigned, "", kEnglish, "@FIX@/weak-private.pem", "is not an RSA-2048 key"},
        RefusalCase{"MissingCabinet", kUnsigned, "", "@FIX@/nocab/product.msi", nullptr, "main.cab of"},
        RefusalCase{"FieldOver255Characters", kUnsigned, "--product-name " + std::string(256, 'n'), kEnglish, nullptr,
                    "takes at most 255"},
        RefusalCase{"FieldOverTheCodePageOfItsLanguage", kUnsigned,
                    "--languages 1041 --product-name " + Kanji(200),
                    kEnglish, nullptr, "400 bytes in code page 932"},
        RefusalCase{"FieldWithBackslash", kUnsigned, "--product-name 'Pack\\Test'", kEnglish, nullptr,
                    "contains a backslash"},
        RefusalCase{"OnlyTheNeutralLanguage", kUnsigned, "--languages '0;00'", kEnglish, nullptr,
                    "never chooses; pass --languages"},
        RefusalCase{"MsiNotX64", kUnsigned, "", "@FIX@/x86/product.msi", nullptr, "is not an x64 package"},
        RefusalCase{"KeyNotTheStubsKey", kUnsigned, "--stub-public-key @FIX@/other-public.pem", kEnglish, nullptr,
                    "does not match the stub's verification key"},
        RefusalCase{"FileBeyond32Bits", kUnsigned, "--cabinet @WORK@/huge.cab", kEnglish, nullptr,
                    "32-bit fields hold at most 4294967295"},
        RefusalCase{"CertificatePlacementUnsigned", kUnsigned, "--placement certificate", kEnglish, nullptr,
                    "has no Authenticode signature"},
        RefusalCase{"EndPlacementSigned", "@FIX@/signed/msistub.exe", "--placement end", kEnglish, nullptr,
                    "would break the signature"}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

TEST_F(PackTool, VerifyFailsOnAChangedSignatureAndOnAnotherKey) {
    ASSERT_EQ(Pack(kUnsigned, "setup.exe", "").exitCode, 0);
    EXPECT_EQ(Run("verify --public-key " + Quote(kDevPublicKey) + " " + W("setup.exe")).exitCode, 0);
    ToolRun otherKey = Run("verify --public-key " + F("other-public.pem") + " " + W("setup.exe"));
    EXPECT_EQ(otherKey.exitCode, 2);
    EXPECT_NE(otherKey.out.find("signature that does not verify"), std::string::npos) << otherKey.out;

    // The last entry is the cabinet: its signature ends right before the
    // file's final 28-byte trailer.
    Bytes setup = ReadBytes(work_ / "setup.exe");
    setup[setup.size() - 28 - 100] ^= 0x01;
    WriteFileReplacing((work_ / "setup.exe").string(), setup);
    ToolRun verify = Run("verify " + W("setup.exe"));
    EXPECT_EQ(verify.exitCode, 2);
    EXPECT_NE(verify.out.find("payload 1001 has a signature that does not verify"), std::string::npos) << verify.out;
    ToolRun list = Run("list " + W("setup.exe"));
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_NE(list.out.find("SIGNATURE DOES NOT VERIFY"), std::string::npos) << list.out;
    ToolRun extract = Run("extract " + W("setup.exe") + " --out " + W("out"));
    EXPECT_EQ(extract.exitCode, 2);
    EXPECT_TRUE(fs::exists(work_ / "out/main.msi"));
    EXPECT_FALSE(fs::exists(work_ / "out/main.cab"));
    EXPECT_EQ(ReadBytes(work_ / "out/main.cab.unverified"), ReadBytes(Fixtures() / "en/main.cab"));
}

TEST_F(PackTool, VerifyFailsOnAFileWithoutContainer) {
    ToolRun verify = Run("verify " + F("unsigned/msistub.exe"));
    EXPECT_EQ(verify.exitCode, 2);
    EXPECT_NE(verify.out.find("no manifest entry"), std::string::npos) << verify.out;
}

TEST_F(PackTool, KeygenMakesAPairThatPacksAndVerifiesAndKeepsExistingFiles) {
    ToolRun keygen = Run("keygen --out-private " + W("key.pem") + " --out-public " + W("key.pub.pem"));
    ASSERT_EQ(keygen.exitCode, 0) << keygen.err;
    EXPECT_EQ(fs::status(work_ / "key.pem").permissions() & (fs::perms::group_all | fs::perms::others_all),
              fs::perms::none);
    ToolRun pack =
        Pack(kUnsigned, "setup.exe", "--stub-public-key " + W("key.pub.pem"), kEnglish, (work_ / "key.pem").string());
    ASSERT_EQ(pack.exitCode, 0) << pack.err;
    EXPECT_EQ(Run("verify --public-key " + W("key.pub.pem") + " " + W("setup.exe")).exitCode, 0);
    EXPECT_EQ(Run("verify --public-key " + Quote(kDevPublicKey) + " " + W("setup.exe")).exitCode, 2);

    Bytes before = ReadBytes(work_ / "key.pem");
    ToolRun again = Run("keygen --out-private " + W("key.pem") + " --out-public " + W("other.pub.pem"));
    EXPECT_EQ(again.exitCode, 2);
    EXPECT_NE(again.err.find("--force"), std::string::npos) << again.err;
    EXPECT_EQ(ReadBytes(work_ / "key.pem"), before);
}

TEST_F(PackTool, UsageErrorsExitWithOneAndHelpWithZero) {
    EXPECT_EQ(Run("").exitCode, 1);
    EXPECT_EQ(Run("pack --stub " + F("unsigned/msistub.exe")).exitCode, 1);
    EXPECT_EQ(Run("pack --placement nowhere").exitCode, 1);
    EXPECT_EQ(Run("frobnicate").exitCode, 1);
    for (const char* command : {"", "keygen ", "pack ", "list ", "extract ", "verify "}) {
        ToolRun help = Run(std::string(command) + "--help");
        EXPECT_EQ(help.exitCode, 0) << command;
        EXPECT_NE(help.out.find("Usage:"), std::string::npos) << command;
    }
}

// The 4 GiB limit of the whole setup file, reached with a small limit through
// the library: every file fits on its own, the result does not.
TEST_F(PackTool, RefusesASetupBeyondTheSizeLimitWithoutWritingIt) {
    PackOptions options;
    options.stubPath = (Fixtures() / "unsigned/msistub.exe").string();
    options.privateKeyPath = kDevPrivateKey;
    options.outputPath = (work_ / "setup.exe").string();
    options.msiPaths = {(Fixtures() / "en/product.msi").string()};
    uint64_t largest = std::max(fs::file_size(Fixtures() / "en/main.cab"), fs::file_size(options.stubPath));
    options.sizeLimit = largest + 1000;
    std::ostringstream out, warnings;
    try {
        RunPack(options, out, warnings);
        ADD_FAILURE() << "packed beyond the limit";
    } catch (const PackError& error) {
        EXPECT_NE(std::string(error.what()).find("at most " + std::to_string(options.sizeLimit)), std::string::npos)
            << error.what();
    }
    EXPECT_FALSE(fs::exists(work_ / "setup.exe"));
}
// A container larger than any known to be read from a tag certificate is
// still packed, with a warning; the other placements and smaller tags pack
// without one. The limit is lowered through the library to keep the files small.
TEST_F(PackTool, WarnsOfATagLargerThanDecodersAreKnownToRead) {
    struct Case {
        const char* stub;
        Placement placement;
        uint64_t largestTestedTag;
        bool warned;
    };
    const Case cases[] = {
        {"signed/msistub.exe", Placement::Tag, 1000, true},
        {"signed/msistub.exe", Placement::Automatic, 1000, true},
        {"signed/msistub.exe", Placement::Tag, 48u << 20, false},
        {"signed/msistub.exe", Placement::Certificate, 1000, false},
        {"unsigned/msistub.exe", Placement::End, 1000, false},
    };
    for (const Case& c : cases) {
        PackOptions options;
        options.stubPath = (Fixtures() / c.stub).string();
        options.privateKeyPath = kDevPrivateKey;
        options.outputPath = (work_ / "setup.exe").string();
        options.msiPaths = {(Fixtures() / "en/product.msi").string()};
        options.placement = c.placement;
        options.largestTestedTag = c.largestTestedTag;
        std::ostringstream out, warnings;
        RunPack(options, out, warnings);
        EXPECT_TRUE(fs::exists(work_ / "setup.exe")) << c.stub << " " << PlacementName(c.placement);
        EXPECT_EQ(warnings.str().find("--placement certificate") != std::string::npos, c.warned)
            << c.stub << " " << PlacementName(c.placement) << ": " << warnings.str();
        fs::remove(work_ / "setup.exe");
    }
}
}  // namespace
