// msistub-pack end to end: the real program on a stub, keys and MSI packages
// made here (mingw-w64, openssl, osslsigncode, wixl and gcab), for each
// placement, each refusal and the reading commands.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>

#include "chain/entry_chain.h"
#include "commands/decoder_limits.h"
#include "commands/pack_commands.h"
#include "format/entry_format.h"
#include "files/byte_files.h"
#include "files/pack_error.h"
#include "shell_fixtures.h"

namespace fs = std::filesystem;

namespace {
using namespace shell_fixtures;
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
# wixl's own Template, "x64;1033", on a German product.
package dewixl x64 1031 '{66666666-7777-8888-9999-AAAAAAAAAAAB}' 'Pack Test DE' data.cab
mkdir -p embedded
sed -e 's/@LANG@/1033/' -e 's/@CODE@/{12121212-3434-5656-7878-909090909090}/' -e 's/@NAME@/Embedded/' \
  -e 's/@CAB@/inside.cab/' -e 's/EmbedCab="no"/EmbedCab="yes"/' package.wxs.in > embedded/package.wxs
wixl -a x64 -o embedded/product.msi embedded/package.wxs 2>/dev/null
mkdir -p notcab && cp en/product.msi notcab/ && echo 'not a cabinet' > notcab/main.cab
mkdir -p renamed && cp en/main.cab renamed/other.cab
: > empty.msi
echo 'not a package' > text.msi
head -c 2000 en/product.msi > truncated.msi
openssl pkey -in "$DEV_PRIVATE_KEY" -aes256 -passout pass:open-sesame -out encrypted-private.pem
printf 'open-sesame\n' > passphrase.txt

printf 'int main(void) { return 0; }\n' > stub.c
# The stub names its verification key as the launcher's build does.
openssl rsa -pubin -in "$DEV_PUBLIC_KEY" -outform MSBLOB -out key.blob 2>/dev/null
printf 'MSISTUB_VERIFICATION_KEY RCDATA "key.blob"\n' > stub.rc
x86_64-w64-mingw32-windres stub.rc -O coff -o stub.res
mkdir -p unsigned signed nokey
x86_64-w64-mingw32-gcc-posix -Os -s -o unsigned/msistub.exe stub.c stub.res
x86_64-w64-mingw32-gcc-posix -Os -s -o nokey/msistub.exe stub.c
cp "$DEV_PUBLIC_KEY" unsigned/msistub.pub.pem
openssl req -x509 -newkey rsa:2048 -nodes -keyout signer.key -out signer.crt -days 3650 \
  -subj "/CN=msistub test signer" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
osslsigncode sign -certs signer.crt -key signer.key -in unsigned/msistub.exe -out signed/msistub.exe >/dev/null
cp "$DEV_PUBLIC_KEY" signed/msistub.pub.pem
openssl req -x509 -newkey rsa:2048 -nodes -keyout signer2.key -out signer2.crt -days 3650 \
  -subj "/CN=msistub second test signer" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
openssl genrsa -out other-private.pem 2048 2>/dev/null
openssl rsa -in other-private.pem -pubout -out other-public.pem 2>/dev/null
openssl genrsa -out weak-private.pem 1024 2>/dev/null
)SH";

const fs::path& Fixtures() {
    static const fs::path folder = MakeFixtures(
        "pack-fixtures", kFixtureRecipe,
        "DEV_PUBLIC_KEY=" + Quote(kDevPublicKey) + " DEV_PRIVATE_KEY=" + Quote(kDevPrivateKey));
    return folder;
}

class PackTool : public ToolFolderTest {
protected:
    void SetUp() override { StartIn("pack-test-runs", kTool, Fixtures()); }

    ToolRun Run(const std::string& arguments) { return RunCaught(Quote(kTool) + " " + arguments); }

    // The tool at another place, as a package installs it.
    ToolRun RunTool(const fs::path& tool, const std::string& arguments) {
        return RunCaught(Quote(tool.string()) + " " + arguments);
    }

    static std::string F(const std::string& relative) { return Quote((Fixtures() / relative).string()); }

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
        // The stub with its key and branding written, as `stub` writes it,
        // comes first, unchanged but for the header checksum.
        ToolRun branded = Run("stub --stub " + F(c.stub) + " --key " + Quote(kDevPrivateKey) + " --out " +
                              W("branded.exe") + " " + F("en/product.msi"));
        ASSERT_EQ(branded.exitCode, 0) << branded.err;
        Bytes stub = ReadBytes(work_ / "branded.exe");
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
                        "'{12345678-1234-1234-1234-123456789ABC}' --no-cabinet-check --cabinet " +
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
    int exitCode = 2;  // 1 for options that do not fit together
};

void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.name; }

class PackToolRefusal : public PackTool, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(PackToolRefusal, ExitsWithItsCodeOneMessageAndNoOutputFile) {
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
    EXPECT_EQ(pack.exitCode, c.exitCode) << pack.out << pack.err;
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
        RefusalCase{"KeyNotTheStubsKey", kUnsigned, "", kEnglish, "@FIX@/other-private.pem",
                    "does not match the verification key of"},
        RefusalCase{"StubPublicKeyNotTheStubsKey", kUnsigned, "--stub-public-key @FIX@/other-public.pem", kEnglish,
                    nullptr, "carries another verification key than"},
        RefusalCase{"StubWithoutResources", "@FIX@/nokey/msistub.exe", "", kEnglish, nullptr,
                    "has no resource section, so it is no msistub launcher"},

        RefusalCase{"FileBeyond32Bits", kUnsigned, "--no-cabinet-check --cabinet @WORK@/huge.cab", kEnglish, nullptr,
                    "32-bit fields hold at most 4294967295"},
        RefusalCase{"CertificatePlacementUnsigned", kUnsigned, "--placement certificate", kEnglish, nullptr,
                    "has no Authenticode signature"},
        RefusalCase{"EndPlacementSigned", "@FIX@/signed/msistub.exe", "--placement end", kEnglish, nullptr,
                    "would break the signature"},
        RefusalCase{"SameMsiTwice", kUnsigned, "", "@FIX@/en/product.msi @FIX@/en/product.msi", nullptr,
                    "both claim x64 language 1033, so the launcher could never choose"},
        RefusalCase{"WixlTemplatesBothSay1033", kUnsigned, "", "@FIX@/en/product.msi @FIX@/dewixl/product.msi", nullptr,
                    "dewixl/product.msi both claim x64 language 1033, so the launcher could never choose"},
        RefusalCase{"OverlappingLanguagesGiven", kUnsigned, "",
                    "'@FIX@/en/product.msi:1033;1031' @FIX@/dewixl/product.msi:1031", nullptr,
                    "both claim x64 language 1031"},
        RefusalCase{"LanguagesNeitherOnceNorPerMsi", kUnsigned, "--languages 1033 --languages 1031", kEnglish, nullptr,
                    "--languages is given 2 times for 1 MSI packages", 1},
        RefusalCase{"CabinetNotACabinet", kUnsigned, "", "@FIX@/notcab/product.msi", nullptr,
                    "is not a cabinet file (it lacks the \"MSCF\" signature)"},
        RefusalCase{"CabinetUnderAnotherName", kUnsigned, "--cabinet @FIX@/renamed/other.cab", kEnglish, nullptr,
                    "is not one that the Media table of"},
        RefusalCase{"CabinetTheMediaTableNamesLeftOut", kUnsigned, "--cabinet @FIX@/en/main.cab --cabinet @FIX@/de/data.cab",
                    "@FIX@/de/product.msi", nullptr, "is not one that the Media table of"},
        RefusalCase{"CabinetForAnMsiThatEmbedsIts", kUnsigned, "--cabinet @FIX@/en/main.cab", "@FIX@/embedded/product.msi",
                    nullptr, "(it embeds #inside.cab), so it needs no --cabinet"},
        RefusalCase{"MissingMsi", kUnsigned, "", "@FIX@/absent.msi", nullptr, "no MSI package at"},
        RefusalCase{"EmptyMsi", kUnsigned, "", "@FIX@/empty.msi", nullptr, "empty.msi is empty, not an MSI package"},
        RefusalCase{"TextFileAsMsi", kUnsigned, "", "@FIX@/text.msi", nullptr,
                    "lacks the installer database's file signature"},
        RefusalCase{"TruncatedMsi", kUnsigned, "", "@FIX@/truncated.msi", nullptr,
                    "truncated.msi is not a readable installer database"},
        RefusalCase{"PlatformOptionNotX64", kUnsigned, "--platform x86", kEnglish, nullptr,
                    "--platform x86 names a platform the launcher does not install"},
        RefusalCase{"EncryptedKeyWithoutPassPhrase", kUnsigned, "", kEnglish, "@FIX@/encrypted-private.pem",
                    "is encrypted; give its pass phrase with --key-passphrase-env"},
        RefusalCase{"PassPhraseVariableUnset", kUnsigned, "--key-passphrase-env MSISTUB_TEST_UNSET_VARIABLE", kEnglish,
                    "@FIX@/encrypted-private.pem", "MSISTUB_TEST_UNSET_VARIABLE named by --key-passphrase-env is not set"},
        RefusalCase{"WrongPassPhrase", kUnsigned, "--key-passphrase-file @FIX@/text.msi", kEnglish,
                    "@FIX@/encrypted-private.pem", "does not decrypt the private key"},
        RefusalCase{"TwoPassPhraseSources", kUnsigned,
                    "--key-passphrase-env HOME --key-passphrase-file @FIX@/passphrase.txt", kEnglish,
                    "@FIX@/encrypted-private.pem", "either with --key-passphrase-env or with", 1}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

TEST_F(PackTool, VerifyFailsOnAChangedSignatureAndOnAnotherKey) {
    ASSERT_EQ(Pack(kUnsigned, "setup.exe", "").exitCode, 0);
    EXPECT_EQ(Run("verify --public-key " + Quote(kDevPublicKey) + " " + W("setup.exe")).exitCode, 0);
    ToolRun otherKey = Run("verify --public-key " + F("other-public.pem") + " " + W("setup.exe"));
    EXPECT_EQ(otherKey.exitCode, 3);
    EXPECT_NE(otherKey.out.find("the setup's launcher checks with"), std::string::npos) << otherKey.out;

    // The last entry is the cabinet: its signature ends right before the
    // file's final 28-byte trailer.
    Bytes setup = ReadBytes(work_ / "setup.exe");
    setup[setup.size() - 28 - 100] ^= 0x01;
    WriteFileReplacing((work_ / "setup.exe").string(), setup);
    ToolRun verify = Run("verify " + W("setup.exe"));
    EXPECT_EQ(verify.exitCode, 3);
    EXPECT_NE(verify.out.find("payload 1001 (cab\\1000\\main.cab) has a signature that does not verify"),
              std::string::npos)
        << verify.out;
    ToolRun list = Run("list " + W("setup.exe"));
    EXPECT_EQ(list.exitCode, 3);
    EXPECT_NE(list.out.find("SIGNATURE DOES NOT VERIFY"), std::string::npos) << list.out;
    ToolRun extract = Run("extract " + W("setup.exe") + " --out " + W("out"));
    EXPECT_EQ(extract.exitCode, 3);
    EXPECT_TRUE(fs::exists(work_ / "out/main.msi"));
    EXPECT_FALSE(fs::exists(work_ / "out/main.cab"));
    EXPECT_EQ(ReadBytes(work_ / "out/main.cab.unverified"), ReadBytes(Fixtures() / "en/main.cab"));
}

// The wrong file named, not a damaged setup: each reading command says so in
// one line, with the likeliest reason.
TEST_F(PackTool, ReadingCommandsRefuseAFileWithoutContainer) {
    struct Case {
        const char* file;
        const char* reason;
    };
    const Case cases[] = {{"unsigned/msistub.exe", "most likely the bare stub"},
                          {"readme.txt", "is not a 64-bit Windows program"}};
    for (const Case& c : cases) {
        for (const std::string& command : std::vector<std::string>{"list ", "list --json ", "verify ", "extract --out " + W("out") + " "}) {
            ToolRun run = Run(command + F(c.file));
            EXPECT_EQ(run.exitCode, 2) << command << c.file;
            EXPECT_NE(run.err.find("no container found in " + (Fixtures() / c.file).string() + ": "), std::string::npos)
                << command << c.file << ": " << run.err;
            EXPECT_NE(run.err.find(c.reason), std::string::npos) << command << c.file << ": " << run.err;
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
            EXPECT_TRUE(run.out.empty()) << run.out;
        }
    }
    EXPECT_FALSE(fs::exists(work_ / "out"));
}

// Pack, then sign last: signing and re-signing with another certificate
// keep the container, now in front of the certificate table.
TEST_F(PackTool, SignLastSetupKeepsItsContainerThroughSigningAndResigning) {
    ASSERT_EQ(Pack(kUnsigned, "setup.exe", "--placement end").exitCode, 0);
    EXPECT_EQ(fs::file_size(work_ / "setup.exe") % 8, 0u);
    const struct {
        const char* signer;
        const char* in;
        const char* out;
    } signings[] = {{"signer", "setup.exe", "signed.exe"}, {"signer2", "signed.exe", "resigned.exe"}};
    for (const auto& s : signings) {
        const std::string name = s.signer;
        ASSERT_EQ(RunShell("osslsigncode sign -certs " + F(name + ".crt") + " -key " + F(name + ".key") + " -in " +
                           W(s.in) + " -out " + W(s.out) + " >/dev/null 2>&1"),
                  0);
        EXPECT_EQ(RunShell("osslsigncode verify -in " + W(s.out) + " -CAfile " + F(name + ".crt") + " >/dev/null 2>&1"),
                  0)
            << s.out;
        ToolRun verify = Run("verify " + W(s.out));
        EXPECT_EQ(verify.exitCode, 0) << verify.out << verify.err;
        EXPECT_NE(verify.out.find("(in front of the certificate table): 3 entries, all verify"), std::string::npos)
            << verify.out;
        ToolRun extract = Run("extract " + W(s.out) + " --out " + W(name));
        ASSERT_EQ(extract.exitCode, 0) << extract.err;
        EXPECT_EQ(ReadBytes(work_ / name / "main.cab"), ReadBytes(Fixtures() / "en/main.cab"));
    }
}

// A signing after packing into the signature replaces the container; the
// readers say so and how to do it right, instead of only "no manifest".
TEST_F(PackTool, ResignedSignaturePlacementsNameTheLikelyCause) {
    for (const char* placement : {"tag", "certificate"}) {
        const std::string setup = std::string(placement) + ".exe", resigned = std::string(placement) + "-resigned.exe";
        ASSERT_EQ(Pack("@FIX@/signed/msistub.exe", setup, std::string("--placement ") + placement).exitCode, 0);
        ASSERT_EQ(RunShell("osslsigncode sign -certs " + F("signer2.crt") + " -key " + F("signer2.key") + " -in " +
                           W(setup) + " -out " + W(resigned) + " >/dev/null 2>&1"),
                  0);
        ToolRun verify = Run("verify " + W(resigned));
        EXPECT_EQ(verify.exitCode, 2) << placement;
        EXPECT_NE(verify.err.find("no container found in " + (work_ / resigned).string() +
                                  ": the file has an Authenticode signature but no container"),
                  std::string::npos)
            << placement << ": " << verify.err;
        EXPECT_NE(verify.err.find("the new signature replaced the container; pack again, or pack with --placement end "
                                  "and sign last"),
                  std::string::npos)
            << placement << ": " << verify.err;
    }
    ToolRun unsignedStub = Run("verify " + F("unsigned/msistub.exe"));
    EXPECT_EQ(unsignedStub.err.find("replaced the container"), std::string::npos) << unsignedStub.err;
}

// The readers check with the key the setup's stub carries, as its launcher
// will, and print its fingerprint; --public-key adds a requirement.
TEST_F(PackTool, ReadersCheckWithTheStubsOwnKey) {
    ASSERT_EQ(Pack(kUnsigned, "setup.exe", "").exitCode, 0);
    FILE* digest = ::popen(("openssl pkey -pubin -in " + Quote(kDevPublicKey) +
                            " -outform DER | sha256sum | cut -c1-64").c_str(), "r");
    char hex[65] = {};
    ASSERT_EQ(std::fread(hex, 1, 64, digest), 64u);
    ::pclose(digest);
    ToolRun list = Run("list " + W("setup.exe"));
    EXPECT_NE(list.out.find(std::string("verification key (the stub's): SHA256:") + hex), std::string::npos)
        << list.out;
    ToolRun other = Run("verify --public-key " + F("other-public.pem") + " " + W("setup.exe"));
    EXPECT_EQ(other.exitCode, 3);
    EXPECT_NE(other.out.find("not with " + (Fixtures() / "other-public.pem").string()), std::string::npos)
        << other.out;
    // A program that is no msistub launcher holds no container either.
    ToolRun notepad = Run("verify " + F("nokey/msistub.exe"));
    EXPECT_EQ(notepad.exitCode, 2);
    EXPECT_NE(notepad.err.find("no container found in"), std::string::npos) << notepad.err;
}

TEST_F(PackTool, KeygenMakesAPairThatPacksAndVerifiesAndKeepsExistingFiles) {
    ToolRun keygen = Run("keygen --out-private " + W("key.pem") + " --out-public " + W("key.pub.pem"));
    ASSERT_EQ(keygen.exitCode, 0) << keygen.err;
    EXPECT_EQ(fs::status(work_ / "key.pem").permissions() & (fs::perms::group_all | fs::perms::others_all),
              fs::perms::none);
    // A stub built with the new key, as a vendor's build makes one.
    ASSERT_EQ(RunShell("cd " + W("") + " && openssl rsa -pubin -in key.pub.pem -outform MSBLOB -out key.blob 2>/dev/null"
                       " && cp " + F("stub.rc") + " " + F("stub.c") + " . && x86_64-w64-mingw32-windres stub.rc -O coff"
                       " -o stub.res && x86_64-w64-mingw32-gcc-posix -Os -s -o stub.exe stub.c stub.res"),
              0);
    ToolRun pack = Pack("@WORK@/stub.exe", "setup.exe", "--stub-public-key " + W("key.pub.pem"), kEnglish,
                        (work_ / "key.pem").string());
    ASSERT_EQ(pack.exitCode, 0) << pack.err;
    EXPECT_EQ(Run("verify --public-key " + W("key.pub.pem") + " " + W("setup.exe")).exitCode, 0);
    EXPECT_EQ(Run("verify --public-key " + Quote(kDevPublicKey) + " " + W("setup.exe")).exitCode, 3);

    Bytes before = ReadBytes(work_ / "key.pem");
    ToolRun again = Run("keygen --out-private " + W("key.pem") + " --out-public " + W("other.pub.pem"));
    EXPECT_EQ(again.exitCode, 2);
    EXPECT_NE(again.err.find("--force"), std::string::npos) << again.err;
    EXPECT_EQ(ReadBytes(work_ / "key.pem"), before);
}

// The output never replaces a file the command reads, --force or not, and
// replaces an earlier setup only with --force.
TEST_F(PackTool, OutputNeverReplacesAnInputAndAnOldSetupOnlyWithForce) {
    for (const char* name : {"product.msi", "main.cab"}) fs::copy_file(Fixtures() / "en" / name, work_ / name);
    fs::copy_file(Fixtures() / "unsigned/msistub.exe", work_ / "msistub.exe");
    fs::copy_file(kDevPrivateKey, work_ / "key.pem");
    const std::string key = (work_ / "key.pem").string();
    for (const char* input : {"msistub.exe", "product.msi", "main.cab", "key.pem"}) {
        Bytes before = ReadBytes(work_ / input);
        ToolRun pack = Pack("@WORK@/msistub.exe", input, "--force", "@WORK@/product.msi", key);
        EXPECT_EQ(pack.exitCode, 2) << input;
        EXPECT_NE(pack.err.find("is the same file as the input"), std::string::npos) << input << ": " << pack.err;
        EXPECT_EQ(ReadBytes(work_ / input), before) << input;
    }

    fs::create_directories(work_ / "folder");
    ToolRun folder = Pack("@WORK@/msistub.exe", "folder", "--force", "@WORK@/product.msi", key);
    EXPECT_EQ(folder.exitCode, 2);
    EXPECT_NE(folder.err.find("is a folder; name the setup file to write"), std::string::npos) << folder.err;

    WriteFileReplacing((work_ / "setup.exe").string(), Bytes{'o', 'l', 'd'});
    ToolRun keep = Pack("@WORK@/msistub.exe", "setup.exe", "", "@WORK@/product.msi", key);
    EXPECT_EQ(keep.exitCode, 2);
    EXPECT_NE(keep.err.find("exists already; pass --force to replace it"), std::string::npos) << keep.err;
    EXPECT_EQ(ReadBytes(work_ / "setup.exe"), (Bytes{'o', 'l', 'd'}));
    ToolRun replace = Pack("@WORK@/msistub.exe", "setup.exe", "--force", "@WORK@/product.msi", key);
    ASSERT_EQ(replace.exitCode, 0) << replace.err;
    EXPECT_EQ(Run("verify " + W("setup.exe")).exitCode, 0);
}

nlohmann::json ParseJson(const ToolRun& run) {
    nlohmann::json parsed = nlohmann::json::parse(run.out, nullptr, false);
    EXPECT_FALSE(parsed.is_discarded()) << run.out;
    return parsed;
}

std::vector<std::vector<std::string>> PackageLanguages(const nlohmann::json& records) {
    std::vector<std::vector<std::string>> languages;
    for (const nlohmann::json& record : records)
        if (record.value("kind", "") == "package") languages.push_back(record["languages"]);
    return languages;
}

// Two wixl packages both say 1033 in their Template; each way of giving one
// of them its own languages makes a setup whose lines differ.
TEST_F(PackTool, EachMsiCanBeGivenItsOwnLanguages) {
    struct Case {
        std::string extra;
        std::string msis;
        std::vector<std::vector<std::string>> languages;
    };
    const Case cases[] = {
        {"", "@FIX@/en/product.msi @FIX@/dewixl/product.msi:1031", {{"1033"}, {"1031"}}},
        {"--languages 1033 --languages '1031;3079'", "@FIX@/en/product.msi @FIX@/dewixl/product.msi",
         {{"1033"}, {"1031", "3079"}}},
        {"--languages 2057", "@FIX@/en/product.msi '@FIX@/dewixl/product.msi:1031;3079'", {{"2057"}, {"1031", "3079"}}},
    };
    for (const Case& c : cases) {
        ToolRun pack = Pack(kUnsigned, "setup.exe", c.extra + " --force", c.msis);
        ASSERT_EQ(pack.exitCode, 0) << c.extra << " " << c.msis << ": " << pack.err;
        ToolRun list = Run("list --json " + W("setup.exe"));
        ASSERT_EQ(list.exitCode, 0) << list.err;
        nlohmann::json parsed = ParseJson(list);
        EXPECT_EQ(PackageLanguages(parsed["blobs"][0]["records"]), c.languages) << c.extra << " " << c.msis;
    }
}

std::string Sha256Of(const Bytes& content) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(content.data(), content.size(), digest, &length, EVP_sha256(), nullptr);
    std::ostringstream hex;
    for (unsigned int i = 0; i < length; ++i) hex << std::hex << std::setw(2) << std::setfill('0') << int{digest[i]};
    return hex.str();
}

// What a release script reads from pack --json, checked against the files
// and against what list --json reads back from the setup.
TEST_F(PackTool, PackJsonReportsTheSetupItsLinesAndEveryEntry) {
    ToolRun pack = Pack(kUnsigned, "setup.exe", "--json", "@FIX@/en/product.msi @FIX@/de/product.msi");
    ASSERT_EQ(pack.exitCode, 0) << pack.err;
    nlohmann::json report = ParseJson(pack);
    EXPECT_EQ(report["setup"], (work_ / "setup.exe").string());
    EXPECT_EQ(report["size"], fs::file_size(work_ / "setup.exe"));
    EXPECT_EQ(report["placement"], "end");

    const std::pair<uint32_t, fs::path> sources[] = {{1000, Fixtures() / "en/product.msi"},
                                                     {1001, Fixtures() / "en/main.cab"},
                                                     {1002, Fixtures() / "de/product.msi"},
                                                     {1003, Fixtures() / "de/data.cab"}};
    ASSERT_EQ(report["lines"].size(), 4u) << pack.out;
    const nlohmann::json& german = report["lines"][2];
    EXPECT_EQ(german["kind"], "package");
    EXPECT_EQ(german["platform"], "x64");
    EXPECT_EQ(german["languages"], nlohmann::json::array({"1031"}));
    EXPECT_EQ(german["productCode"], "{66666666-7777-8888-9999-AAAAAAAAAAAA}");
    EXPECT_EQ(german["productName"], "Pack Test DE");
    EXPECT_EQ(report["lines"][3]["kind"], "cabinet");
    EXPECT_EQ(report["lines"][3]["owners"], nlohmann::json::array({1002}));
    EXPECT_EQ(report["lines"][3]["name"], "data.cab");
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(report["lines"][i]["id"], sources[i].first);
        EXPECT_EQ(report["lines"][i]["source"], sources[i].second.string());
    }

    ASSERT_EQ(report["entries"].size(), 5u);
    EXPECT_EQ(report["entries"][0]["type"], "manifest");
    for (const auto& [id, path] : sources) {
        auto entry = std::find_if(report["entries"].begin(), report["entries"].end(),
                                  [&](const nlohmann::json& e) { return e["id"] == id; });
        ASSERT_NE(entry, report["entries"].end()) << id;
        EXPECT_EQ((*entry)["contentSize"], fs::file_size(path)) << id;
        EXPECT_EQ((*entry)["sha256"], Sha256Of(ReadBytes(path))) << id;
        EXPECT_GT((*entry)["storedSize"].get<uint64_t>(), 0u) << id;
    }

    nlohmann::json listed = ParseJson(Run("list --json " + W("setup.exe")));
    const nlohmann::json& records = listed["blobs"][0]["records"];
    ASSERT_EQ(records.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        nlohmann::json line = report["lines"][i];
        line.erase("source");
        EXPECT_EQ(records[i], line) << i;
    }
}

// The header checksum over the whole file, word by word, as the loader and
// the signing tools compute it.
uint32_t WholeFilePeChecksum(const Bytes& image) {
    const size_t field = (image[60] | image[61] << 8) + 88;
    auto byteAt = [&](size_t i) -> uint32_t {
        return i >= image.size() || (i >= field && i < field + 4) ? 0 : image[i];
    };
    uint32_t sum = 0;
    for (size_t i = 0; i < image.size(); i += 2) {
        sum += byteAt(i) | byteAt(i + 1) << 8;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return sum + static_cast<uint32_t>(image.size());
}

// A cabinet that the packer reads in several pieces and a byte comes back
// whole; its data is the stream that compressing it in one call gives (or
// the stored form of noise), and the header checksum, put in after the
// chain was copied in pieces, is right over the file.
TEST_F(PackTool, APayloadOfSeveralPiecesComesBackWholeAndTheChecksumCoversTheFile) {
    struct Case {
        const char* name;
        const char* stub;
        const char* option;
        bool text;
    };
    const Case cases[] = {
        {"noise-end", "@FIX@/unsigned/msistub.exe", "", false},
        {"text-end", "@FIX@/unsigned/msistub.exe", "", true},
        {"text-certificate", "@FIX@/signed/msistub.exe", "--placement certificate", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::create_directories(work_ / c.name);
        fs::copy_file(Fixtures() / "en/product.msi", work_ / c.name / "product.msi");
        Bytes cabinet;
        std::mt19937 generator(5);
        while (cabinet.size() < 3 * kPieceSize + 1) {
            std::string line = c.text ? "file " + std::to_string(generator() % 5000) + " copied\n"
                                      : std::string(1, static_cast<char>(generator()));
            cabinet.insert(cabinet.end(), line.begin(), line.end());
        }
        cabinet.resize(3 * kPieceSize + 1);
        WriteFileReplacing((work_ / c.name / "main.cab").string(), cabinet);

        const std::string folder = std::string("@WORK@/") + c.name;
        ToolRun pack = Pack(c.stub, std::string(c.name) + "/setup.exe",
                            std::string(c.option) + " --json --no-cabinet-check", folder + "/product.msi");
        ASSERT_EQ(pack.exitCode, 0) << pack.err;
        ToolRun extract = Run("extract " + W(std::string(c.name) + "/setup.exe") + " --out " + W(std::string(c.name) + "/out"));
        ASSERT_EQ(extract.exitCode, 0) << extract.err;
        EXPECT_TRUE(ReadBytes(work_ / c.name / "out/main.cab") == cabinet);

        uLongf deflatedSize = compressBound(static_cast<uLong>(cabinet.size()));
        Bytes deflated(deflatedSize);
        ASSERT_EQ(compress2(deflated.data(), &deflatedSize, cabinet.data(), static_cast<uLong>(cabinet.size()),
                            Z_BEST_COMPRESSION),
                  Z_OK);
        const uint64_t storedSize = 2 + 5 * ((cabinet.size() + 65534) / 65535) + cabinet.size() + 4;
        nlohmann::json report = ParseJson(pack);
        ASSERT_EQ(report["entries"].size(), 3u);
        EXPECT_EQ(report["entries"][2]["id"], 1001);
        EXPECT_EQ(report["entries"][2]["storedSize"], c.text ? uint64_t{deflatedSize} : storedSize);

        Bytes setup = ReadBytes(work_ / c.name / "setup.exe");
        EXPECT_EQ(report["size"], setup.size());
        const size_t field = (setup[60] | setup[61] << 8) + 88;
        EXPECT_EQ(ReadU32Le(setup.data() + field), WholeFilePeChecksum(setup));
    }
}

// The readers take a large payload in pieces and digest it to its last
// byte: a byte changed in its first or its last piece, in a zlib stream kept
// whole (stored blocks, the Adler-32 put right), fails its signature, and
// extract writes that content only under ".unverified".
TEST_F(PackTool, AChangedByteInAnyPieceOfALargePayloadFailsItsSignature) {
    fs::create_directories(work_ / "in");
    fs::copy_file(Fixtures() / "en/product.msi", work_ / "in/product.msi");
    Bytes cabinet(3 * kPieceSize + 1);
    std::mt19937 generator(7);
    for (uint8_t& byte : cabinet) byte = static_cast<uint8_t>(generator());
    WriteFileReplacing((work_ / "in/main.cab").string(), cabinet);
    ASSERT_EQ(Pack(kUnsigned, "good.exe", "--no-cabinet-check", "@WORK@/in/product.msi").exitCode, 0);
    const Bytes good = ReadBytes(work_ / "good.exe");
    ChainWalk walk = WalkEntryChain(good.data(), good.size());
    ASSERT_TRUE(walk.reachedManifest);
    const ChainEntry& entry = walk.entries.back();
    ASSERT_EQ(entry.dataLength, 2 + 5 * ((cabinet.size() + 65534) / 65535) + cabinet.size() + 4) << "not stored";

    for (size_t at : {size_t{10}, cabinet.size() - 10}) {
        SCOPED_TRACE(at);
        Bytes changed = cabinet;
        changed[at] ^= 0x01;
        Bytes setup = good;
        setup[entry.dataOffset + 2 + 5 * (at / 65535 + 1) + at] ^= 0x01;
        const uLong adler = adler32(1, changed.data(), static_cast<uInt>(changed.size()));
        for (int i = 0; i < 4; ++i)
            setup[entry.dataOffset + entry.dataLength - 4 + i] = static_cast<uint8_t>(adler >> (24 - 8 * i));
        WriteFileReplacing((work_ / "setup.exe").string(), setup);

        ToolRun verify = Run("verify " + W("setup.exe"));
        EXPECT_EQ(verify.exitCode, 3) << verify.out << verify.err;
        EXPECT_NE(verify.out.find("payload 1001 (cab\\1000\\main.cab) has a signature that does not verify"),
                  std::string::npos)
            << verify.out;
        fs::remove_all(work_ / "out");
        ToolRun extract = Run("extract " + W("setup.exe") + " --out " + W("out"));
        EXPECT_EQ(extract.exitCode, 3) << extract.err;
        EXPECT_FALSE(fs::exists(work_ / "out/main.cab"));
        EXPECT_TRUE(ReadBytes(work_ / "out/main.cab.unverified") == changed);
    }
}

// An encrypted key opens with its pass phrase from a variable or a file.
TEST_F(PackTool, EncryptedKeyPacksWithItsPassPhraseFromAVariableOrAFile) {
    ASSERT_EQ(::setenv("MSISTUB_TEST_PASS_PHRASE", "open-sesame", 1), 0);
    for (const std::string& option : std::vector<std::string>
         {"--key-passphrase-env MSISTUB_TEST_PASS_PHRASE", "--key-passphrase-file " + F("passphrase.txt")}) {
        ToolRun pack = Pack(kUnsigned, "setup.exe", option + " --force", kEnglish,
                            (Fixtures() / "encrypted-private.pem").string());
        ASSERT_EQ(pack.exitCode, 0) << option << ": " << pack.err;
        EXPECT_EQ(Run("verify " + W("setup.exe")).exitCode, 0) << option;
    }
    ::unsetenv("MSISTUB_TEST_PASS_PHRASE");
}

TEST_F(PackTool, QuietPrintsNothingAndVersionIsTheProjects) {
    ToolRun pack = Pack(kUnsigned, "setup.exe", "--quiet");
    ASSERT_EQ(pack.exitCode, 0) << pack.err;
    EXPECT_EQ(pack.out + pack.err, "");
    for (const std::string& command : std::vector<std::string>{"list -q ", "verify -q ", "extract -q --out " + W("out") + " "}) {
        ToolRun run = Run(command + W("setup.exe"));
        EXPECT_EQ(run.exitCode, 0) << command << run.err;
        EXPECT_EQ(run.out + run.err, "") << command;
    }
    EXPECT_TRUE(fs::exists(work_ / "out/main.msi"));
    // --version answers wherever it stands, before any required option.
    for (const char* command : {"--version", "pack --version", "extract --out x --version", "list --json --version"}) {
        ToolRun version = Run(command);
        EXPECT_EQ(version.exitCode, 0) << command;
        EXPECT_EQ(version.out, "msistub-pack " MSISTUB_VERSION "\n") << command;
    }
}

// The packages put the launcher beside msistub-pack (the Windows zip) or in
// ../share/msistub/ from its folder (the Debian package); pack and stub take
// it from there when no --stub is given, and --version names it with the
// version its resource states. Each layout holds a copy of the real tool.
TEST_F(PackTool, FindsTheLauncherBesideItselfOrInShareWhenNoStubIsGiven) {
    struct Layout {
        const char* tool;
        const char* stub;
    };
    // The launcher each layout gets: the fixture stub with a version
    // resource written by `stub`, which found the plain stub beside itself.
    fs::create_directories(work_ / "plain");
    fs::copy_file(kTool, work_ / "plain/msistub-pack");
    fs::copy_file(Fixtures() / "unsigned/msistub.exe", work_ / "plain/msistub.exe");
    ToolRun branded = RunTool(work_ / "plain/msistub-pack", "stub --key " + Quote(kDevPrivateKey) +
                                                               " --product-version 2.1.0 --out " + W("branded.exe") +
                                                               " " + F("en/product.msi"));
    ASSERT_EQ(branded.exitCode, 0) << branded.err;
    for (const Layout& layout : {Layout{"zip/msistub-pack", "zip/msistub.exe"},
                                 Layout{"root/usr/bin/msistub-pack", "root/usr/share/msistub/msistub.exe"}}) {
        fs::create_directories((work_ / layout.tool).parent_path());
        fs::create_directories((work_ / layout.stub).parent_path());
        fs::copy_file(kTool, work_ / layout.tool);
        fs::copy_file(work_ / "branded.exe", work_ / layout.stub);
        const std::string setup = std::string(layout.tool) + ".setup.exe";
        ToolRun pack = RunTool(work_ / layout.tool, "pack --key " + Quote(kDevPrivateKey) +
                                                       " --product-version 2.1.0 --out " + W(setup) + " " +
                                                       F("en/product.msi"));
        ASSERT_EQ(pack.exitCode, 0) << layout.tool << ": " << pack.err;
        EXPECT_EQ(Run("verify " + W(setup)).exitCode, 0) << layout.tool;
        // The setup starts with the launcher found, branded as before (its
        // checksum aside).
        Bytes stub = ReadBytes(work_ / layout.stub), packed = ReadBytes(work_ / setup);
        ASSERT_GT(packed.size(), stub.size());
        size_t checksum = (stub[60] | stub[61] << 8) + 88;
        std::fill_n(stub.begin() + checksum, 4, 0);
        std::fill_n(packed.begin() + checksum, 4, 0);
        EXPECT_TRUE(std::equal(stub.begin(), stub.end(), packed.begin())) << layout.tool;

        ToolRun version = RunTool(work_ / layout.tool, "--version");
        EXPECT_EQ(version.exitCode, 0);
        EXPECT_EQ(version.out, "msistub-pack " MSISTUB_VERSION "\nmsistub.exe 2.1.0 (" +
                                   fs::canonical(work_ / layout.stub).string() + ")\n");
    }

    // Neither place: exit code 1, and the message names both and says what to do.
    fs::create_directories(work_ / "bare/bin");
    fs::copy_file(kTool, work_ / "bare/bin/msistub-pack");
    for (const std::string& command : {std::string("pack"), std::string("stub")}) {
        ToolRun run = RunTool(work_ / "bare/bin/msistub-pack", command + " --key " + Quote(kDevPrivateKey) +
                                                                   " --out " + W("none.exe") + " " + F("en/product.msi"));
        EXPECT_EQ(run.exitCode, 1) << command;
        const std::string bare = fs::canonical(work_ / "bare").string();
        EXPECT_NE(run.err.find("none found at " + bare + "/bin/msistub.exe or " + bare + "/share/msistub/msistub.exe"),
                  std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find("pass --stub PATH"), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(work_ / "none.exe")) << command;
    }
    EXPECT_EQ(RunTool(work_ / "bare/bin/msistub-pack", "--version").out, "msistub-pack " MSISTUB_VERSION "\n");
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
        EXPECT_NE(help.out.find("Exit codes: 0 done; 1 usage error"), std::string::npos) << command;
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
// A container larger than the signature decoder is known to read is not put
// into the signature: refused with a message that names the place and points
// to signing last, unless --force-placement asks for it (then a warning);
// smaller ones and the end placement pack as always. The limit is lowered
// through the library to keep the files small; the command-line run with a
// container of 64 MiB is in the table of broken inputs.
TEST_F(PackTool, RefusesAContainerLargerThanDecodersAreKnownToReadInsideTheSignature) {
    struct Case {
        const char* stub;
        Placement placement;
        uint64_t largest;
        bool force;
        const char* message;  // null: packs without a word
    };
    const Case cases[] = {
        {"signed/msistub.exe", Placement::Tag, 1000, false, "known to be read from a tag certificate"},
        {"signed/msistub.exe", Placement::Automatic, 1000, false, "known to be read from a tag certificate"},
        {"signed/msistub.exe", Placement::Certificate, 1000, false, "known to be read from a certificate table"},
        {"signed/msistub.exe", Placement::Tag, 1000, true, "packed as --force-placement asked"},
        {"signed/msistub.exe", Placement::Tag, kLargestContainerInSignature, false, nullptr},
        {"signed/msistub.exe", Placement::Certificate, kLargestContainerInSignature, false, nullptr},
        {"unsigned/msistub.exe", Placement::End, 1000, false, nullptr},
    };
    for (const Case& c : cases) {
        PackOptions options;
        options.stubPath = (Fixtures() / c.stub).string();
        options.privateKeyPath = kDevPrivateKey;
        options.outputPath = (work_ / "setup.exe").string();
        options.msiPaths = {(Fixtures() / "en/product.msi").string()};
        options.placement = c.placement;
        options.largestContainerInSignature = c.largest;
        options.forcePlacement = c.force;
        const std::string label = std::string(c.stub) + " " + PlacementName(c.placement) + (c.force ? " forced" : "");
        std::ostringstream out, warnings;
        std::string refusal;
        try {
            RunPack(options, out, warnings);
        } catch (const PackError& error) {
            refusal = error.what();
        }
        const bool refused = c.message && !c.force;
        EXPECT_EQ(fs::exists(work_ / "setup.exe"), !refused) << label;
        const std::string said = refusal + warnings.str();
        if (c.message) {
            EXPECT_NE(said.find(c.message), std::string::npos) << label << ": " << said;
            EXPECT_NE(said.find("--placement end and sign the setup last"), std::string::npos) << label << ": " << said;
        } else {
            EXPECT_EQ(said, "") << label;
        }
        if (refused) {
            EXPECT_NE(said.find("--force-placement packs it anyway"), std::string::npos) << label << ": " << said;
        }
        fs::remove(work_ / "setup.exe");
    }
}

// Every command over a setup or inputs that would not install as they are:
// the exit code the README gives, nothing false left behind (no setup, no
// payload under its real name that did not verify, no file replaced), and a
// message that names the file. @KEY@ is the development key.
struct BrokenCase {
    const char* name;
    const char* damage;  // what happens to the good setup.exe first: "", "payload", "signature", "missing-entry"
    std::string command;
    int exitCode;
    const char* names;  // the file the one message must name
    const char* message;
    std::vector<const char*> absent = {};   // under @WORK@
    std::vector<const char*> present = {};  // under @WORK@
    bool oldFileInOut = false;  // out/main.msi holds "old" before the run, and after it unless replaced
};

void PrintTo(const BrokenCase& c, std::ostream* out) { *out << c.name; }

class PackToolBroken : public PackTool, public ::testing::WithParamInterface<BrokenCase> {
protected:
    void Damage(const std::string& kind) {
        Bytes setup = ReadBytes(work_ / "setup.exe");
        ChainWalk walk = WalkEntryChain(setup.data(), setup.size());
        ASSERT_TRUE(walk.reachedManifest);
        const ChainEntry& cabinet = walk.entries.back();
        ASSERT_EQ(cabinet.id, 1001u);
        if (kind == "payload") setup[cabinet.dataOffset + cabinet.dataLength / 2] ^= 0x01;
        if (kind == "signature") setup[cabinet.dataOffset + cabinet.dataLength + 100] ^= 0x01;
        if (kind == "missing-entry") setup.resize(cabinet.dataOffset);
        WriteFileReplacing((work_ / "setup.exe").string(), setup);
    }
};

TEST_P(PackToolBroken, ExitsWithItsCodeLeavesNothingFalseAndNamesTheFile) {
    const BrokenCase& c = GetParam();
    ASSERT_EQ(Pack(kUnsigned, "setup.exe", "").exitCode, 0);
    if (*c.damage) Damage(c.damage);
    const Bytes setupBefore = ReadBytes(work_ / "setup.exe");
    if (c.command.find("big/main.cab") != std::string::npos) {
        // Random bytes do not deflate, so the container grows past 64 MiB.
        fs::create_directories(work_ / "big");
        ASSERT_EQ(RunShell("head -c 67108864 /dev/urandom > " + W("big/main.cab")), 0);
    }
    if (c.oldFileInOut) {
        fs::create_directories(work_ / "out");
        WriteFileReplacing((work_ / "out/main.msi").string(), Bytes{'o', 'l', 'd'});
    }
    std::string command = Expand(c.command);
    for (size_t at; (at = command.find("@KEY@")) != std::string::npos;) command.replace(at, 5, kDevPrivateKey);

    ToolRun run = Run(command);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
    EXPECT_NE(run.err.find(Expand(c.names)), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(Expand(c.message)), std::string::npos) << run.err;
    if (c.exitCode != 0) EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    for (const char* file : c.absent) EXPECT_FALSE(fs::exists(fs::symlink_status(work_ / file))) << file;
    for (const char* file : c.present) EXPECT_TRUE(fs::exists(work_ / file)) << file;
    EXPECT_FALSE(fs::exists(work_ / "new.exe.partial"));
    EXPECT_EQ(ReadBytes(work_ / "setup.exe"), setupBefore);
    if (c.oldFileInOut && c.exitCode != 0) EXPECT_EQ(ReadBytes(work_ / "out/main.msi"), (Bytes{'o', 'l', 'd'}));
    fs::remove_all(work_ / "big");
    fs::remove(work_ / "new.exe");
}

const char kPackInto[] = "pack --stub @FIX@/unsigned/msistub.exe --key @KEY@ --out @WORK@/new.exe ";
const char kPackSignedInto[] = "pack --stub @FIX@/signed/msistub.exe --key @KEY@ --out @WORK@/new.exe ";
const char kSetup[] = "@WORK@/setup.exe";
const char kNotInflating[] = "payload 1001 (cab\\1000\\main.cab) does not inflate";
const char kBadSignature[] = "payload 1001 (cab\\1000\\main.cab) has a signature that does not verify";

INSTANTIATE_TEST_SUITE_P(
    Broken, PackToolBroken,
    ::testing::Values(
        BrokenCase{"ListDamagedPayload", "payload", "list @WORK@/setup.exe", 3, kSetup, kNotInflating},
        BrokenCase{"ListJsonDamagedPayload", "payload", "list --json @WORK@/setup.exe", 3, kSetup,
                   "payload 1001 (cab\\\\1000\\\\main.cab) does not inflate"},
        BrokenCase{"VerifyDamagedPayload", "payload", "verify @WORK@/setup.exe", 3, kSetup, kNotInflating},
        BrokenCase{"ExtractDamagedPayload", "payload", "extract @WORK@/setup.exe --out @WORK@/out", 3, kSetup,
                   kNotInflating, {"out/main.cab", "out/main.cab.unverified"}, {"out/main.msi"}},
        BrokenCase{"ListDamagedSignature", "signature", "list @WORK@/setup.exe", 3, kSetup, kBadSignature},
        BrokenCase{"ExtractDamagedSignature", "signature", "extract @WORK@/setup.exe --out @WORK@/out", 3, kSetup,
                   kBadSignature, {"out/main.cab"}, {"out/main.msi", "out/main.cab.unverified"}},
        BrokenCase{"VerifyMissingEntry", "missing-entry", "verify @WORK@/setup.exe", 3, kSetup,
                   "record 1001 names no payload entry"},
        BrokenCase{"ExtractMissingEntry", "missing-entry", "extract @WORK@/setup.exe --out @WORK@/out", 3, kSetup,
                   "record 1001 names no payload entry", {"out/main.cab", "out/main.cab.unverified"},
                   {"out/main.msi"}},
        BrokenCase{"ExtractWithAnotherKey", "", "extract --public-key @FIX@/other-public.pem @WORK@/setup.exe --out @WORK@/out",
                   3, kSetup, "not with @FIX@/other-public.pem", {"out/main.msi", "out/main.cab"},
                   {"out/main.msi.unverified", "out/main.cab.unverified"}},
        BrokenCase{"ListWithAnotherKey", "", "list --public-key @FIX@/other-public.pem @WORK@/setup.exe", 3, kSetup,
                   "not with @FIX@/other-public.pem"},
        BrokenCase{"ExtractOverExistingFile", "", "extract @WORK@/setup.exe --out @WORK@/out", 2, "@WORK@/out/main.msi",
                   "exists already; pass --force", {"out/main.cab"}, {}, true},
        BrokenCase{"ExtractOverExistingFileForced", "", "extract --force @WORK@/setup.exe --out @WORK@/out", 0, "", "",
                   {"out/main.msi.unverified"}, {"out/main.msi", "out/main.cab"}, true},
        BrokenCase{"PackWithAnotherKey", "", "pack --stub @FIX@/unsigned/msistub.exe --key @FIX@/other-private.pem "
                   "--out @WORK@/new.exe @FIX@/en/product.msi", 2, "@FIX@/other-private.pem",
                   "does not match the verification key of", {"new.exe"}},
        BrokenCase{"PackOverExistingSetup", "", "pack --stub @FIX@/unsigned/msistub.exe --key @KEY@ --out "
                   "@WORK@/setup.exe @FIX@/en/product.msi", 2, kSetup, "exists already; pass --force"},
        BrokenCase{"PackOversizeTag", "", std::string(kPackSignedInto) + "--no-cabinet-check --cabinet "
                   "@WORK@/big/main.cab @FIX@/en/product.msi", 2, "@WORK@/new.exe",
                   "Pack the unsigned stub with --placement end and sign the setup last", {"new.exe"}},
        BrokenCase{"PackOversizeTagForced", "", std::string(kPackSignedInto) + "--force-placement --no-cabinet-check "
                   "--cabinet @WORK@/big/main.cab @FIX@/en/product.msi", 0, "", "warning: packed as --force-placement "
                   "asked: the container is", {}, {"new.exe"}},
        BrokenCase{"PackPlatformContradictsTemplate", "", std::string(kPackInto) + "--platform x64 @FIX@/x86/product.msi",
                   2, "@FIX@/x86/product.msi", "--platform x64 contradicts the Template", {"new.exe"}},
        BrokenCase{"PackStubNotAProgram", "", "pack --stub @FIX@/readme.txt --key @KEY@ --out @WORK@/new.exe "
                   "@FIX@/en/product.msi", 2, "the stub @FIX@/readme.txt is not a 64-bit Windows executable",
                   "give --stub the msistub.exe", {"new.exe"}},
        BrokenCase{"PackIntoMissingFolder", "", "pack --stub @FIX@/unsigned/msistub.exe --key @KEY@ --out "
                   "@WORK@/absent/new.exe @FIX@/en/product.msi", 2, "the folder @WORK@/absent does not exist",
                   "create it first", {"absent"}},
        BrokenCase{"PackMissingCabinet", "", std::string(kPackInto) + "@FIX@/nocab/product.msi", 2,
                   "looked for beside the MSI, at @FIX@/nocab/main.cab", "give its path with --cabinet", {"new.exe"}},
        BrokenCase{"PackProductNameOutsideCodePage", "", std::string(kPackInto) +
                   "--product-name 'Pack\xEF\xBC\x8FTest' @FIX@/en/product.msi", 2,
                   "@FIX@/en/product.msi (given with --product-name)",
                   "has the character \"\xEF\xBC\x8F\" (U+FF0F), which code page 1252", {"new.exe"}},
        BrokenCase{"PackPassPhraseForPlainKey", "", std::string(kPackInto) +
                   "--key-passphrase-file @FIX@/passphrase.txt @FIX@/en/product.msi", 2, MSISTUB_DEV_PRIVATE_KEY,
                   "is not encrypted, yet a pass phrase was given", {"new.exe"}}),
    [](const ::testing::TestParamInfo<BrokenCase>& info) { return std::string(info.param.name); });

// With --json a refusal is one JSON object on stderr, for the script that
// asked for JSON; stdout keeps nothing but what the command reports.
TEST_F(PackTool, JsonReportsErrorsAsOneObject) {
    const struct {
        std::string command;
        int code;
        std::string message;
    } cases[] = {
        {"pack --json --stub " + F("unsigned/msistub.exe") + " --key " + Quote(kDevPrivateKey) + " --out " +
             W("new.exe") + " --platform x64 " + F("x86/product.msi"),
         2, "contradicts the Template of " + (Fixtures() / "x86/product.msi").string()},
        {"list --json " + F("readme.txt"), 2, "no container found in " + (Fixtures() / "readme.txt").string()},
        {"pack --json --stub " + F("unsigned/msistub.exe"), 1, "required"},
    };
    for (const auto& c : cases) {
        ToolRun run = Run(c.command);
        EXPECT_EQ(run.exitCode, c.code) << c.command;
        EXPECT_EQ(run.out, "") << c.command;
        nlohmann::json error = nlohmann::json::parse(run.err, nullptr, false);
        ASSERT_FALSE(error.is_discarded()) << run.err;
        EXPECT_EQ(error["code"], c.code) << run.err;
        EXPECT_NE(error["message"].get<std::string>().find(c.message), std::string::npos) << run.err;
    }
}

// A file or link planted at the temporary name of the private key is
// neither followed nor written through; nothing is written at all.
TEST_F(PackTool, KeygenFollowsNoLinkPlantedAtItsTemporaryName) {
    WriteFileReplacing((work_ / "victim.txt").string(), Bytes{'v'});
    fs::create_symlink(work_ / "victim.txt", work_ / "key.pem.partial");
    ToolRun keygen = Run("keygen --out-private " + W("key.pem") + " --out-public " + W("key.pub.pem"));
    EXPECT_EQ(keygen.exitCode, 2);
    EXPECT_NE(keygen.err.find((work_ / "key.pem.partial").string() + " exists already"), std::string::npos)
        << keygen.err;
    EXPECT_EQ(ReadBytes(work_ / "victim.txt"), Bytes{'v'});
    EXPECT_TRUE(fs::is_symlink(work_ / "key.pem.partial"));
    EXPECT_FALSE(fs::exists(work_ / "key.pem"));
    EXPECT_FALSE(fs::exists(work_ / "key.pub.pem"));
}

// The exit-code table of the README's "msistub-pack in scripts and CI", row
// by row against real runs: each code the table gives is the one a command
// of that kind ends with, and the commands the row names all end with it.
TEST_F(PackTool, ReadmeExitCodeTableIsWhatTheCommandsExitWith) {
    const std::string readme = ReadText(fs::path(MSISTUB_SOURCE_DIR) / "README.md");
    size_t section = readme.find("### msistub-pack in scripts and CI");
    ASSERT_NE(section, std::string::npos);
    std::map<int, std::string> rows;
    std::istringstream lines(readme.substr(section, readme.find("\n## ", section) - section));
    for (std::string line; std::getline(lines, line);) {
        int code = -1;
        char rest[2];
        if (std::sscanf(line.c_str(), "| %d | %1s", &code, rest) == 2) rows[code] = line;
    }
    ASSERT_EQ(rows.size(), 4u) << "the table has other codes than 0 to 3";

    ASSERT_EQ(Pack(kUnsigned, "setup.exe", "").exitCode, 0);
    fs::copy_file(work_ / "setup.exe", work_ / "damaged.exe");
    Bytes damaged = ReadBytes(work_ / "damaged.exe");
    damaged[damaged.size() - 28 - 256 - 1000] ^= 0x01;
    WriteFileReplacing((work_ / "damaged.exe").string(), damaged);
    const std::pair<int, std::vector<std::string>> runs[] = {
        {0, {"verify " + W("setup.exe"), "list " + W("setup.exe")}},
        {1, {"frobnicate", "pack --stub " + F("unsigned/msistub.exe"), "verify --no-such-option " + W("setup.exe")}},
        {2, {"verify " + F("readme.txt"), "pack --stub " + F("readme.txt") + " --key " + Quote(kDevPrivateKey) +
                                              " --out " + W("new.exe") + " " + F("en/product.msi")}},
        {3, {"list " + W("damaged.exe"), "verify " + W("damaged.exe"), "extract " + W("damaged.exe") + " --out " + W("out")}},
    };
    for (const auto& [code, commands] : runs) {
        ASSERT_TRUE(rows.count(code)) << "the table has no row for " << code;
        for (const std::string& command : commands) {
            EXPECT_EQ(Run(command).exitCode, code) << command << " (README: " << rows[code] << ")";
            std::string name = command.substr(0, command.find(' '));
            if (code == 3) EXPECT_NE(rows[code].find("`" + name + "`"), std::string::npos) << rows[code];
        }
    }
}
}  // namespace
