// Key and branding written into a copy of the stub: msistub-pack pack and
// stub on a stub laid out like the launcher (icon, manifest, version
// resource, a string table, no key), each result read back resource by
// resource; signing tools accept what is written, and stubs the writer does
// not understand are refused by name.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "chain/placement.h"
#include "files/byte_files.h"
#include "format/entry_format.h"
#include "setup/resource_tree.h"
#include "setup/stub_branding.h"
#include "setup/stub_resource_section.h"
#include "setup/version_info.h"
#include "shell_fixtures.h"

namespace fs = std::filesystem;

namespace {
using namespace shell_fixtures;
const std::string kTool = MSISTUB_BINARY_DIR "/tools/pack/msistub-pack";
const std::string kDevPrivateKey = MSISTUB_DEV_PRIVATE_KEY;

const char kFixtureRecipe[] = R"SH(
cat > mkico.py <<'PY'
import struct, sys
# mkico.py OUT RGB SIZE...: an .ico of solid squares in 32-bit colour
out, rgb, sizes = sys.argv[1], int(sys.argv[2], 16), [int(s) for s in sys.argv[3:]]
images = []
for size in sizes:
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixel = struct.pack('<BBBB', rgb & 255, (rgb >> 8) & 255, rgb >> 16, 255)
    images.append(header + pixel * size * size + b'\0' * (((size + 31) // 32) * 4 * size))
data = struct.pack('<HHH', 0, 1, len(images))
offset = 6 + 16 * len(images)
for size, image in zip(sizes, images):
    data += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
    offset += len(image)
open(out, 'wb').write(data + b''.join(images))
PY
python3 mkico.py stub.ico 808080 16 32
python3 mkico.py vendor.ico 2040c0 16 32 48
python3 mkico.py no32.ico 2040c0 16 48
python3 mkico.py no16.ico 2040c0 32 48
echo 'not an icon' > text.ico
cp "$SOURCE_DIR/res/app.manifest" app.manifest
cat > stub.rc <<'RC'
1 24 "app.manifest"
APP ICON "stub.ico"
STRINGTABLE
BEGIN
  100 "Windows Installer is required for this installation package."
END
1 VERSIONINFO
FILEVERSION 0,1,0,0
PRODUCTVERSION 0,1,0,0
FILEOS 0x40004
FILETYPE 1
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904B0"
    BEGIN
      VALUE "CompanyName", "msistub"
      VALUE "FileDescription", "msistub Setup"
      VALUE "InternalName", "msistub"
      VALUE "LegalCopyright", "the project"
      VALUE "OriginalFilename", "setup.exe"
      VALUE "ProductName", "msistub"
      VALUE "ProductVersion", "0.1.0"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1200
  END
END
RC
x86_64-w64-mingw32-windres stub.rc -O coff -o stub.res
printf 'int main(void) { return 0; }\n' > stub.c
mkdir -p plain
x86_64-w64-mingw32-gcc-posix -Os -s -o plain/msistub.exe stub.c stub.res
printf 'extra' > extra.bin
x86_64-w64-mingw32-objcopy --add-section .extra=extra.bin --set-section-flags .extra=data,alloc,load \
  --change-section-address .extra=0x140100000 plain/msistub.exe extra-section.exe 2>/dev/null
head -c 1500 plain/msistub.exe > truncated.exe

cat > package.wxs <<'WXS'
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{3C2B1A09-8F7E-4D6C-B5A4-93827160F5E4}" Name="Widget Studio" Language="1033" Version="2.1.0"
           Manufacturer="Widget Works" UpgradeCode="{7A6B5C4D-3E2F-4A1B-9C8D-7E6F5A4B3C2D}">
    <Package InstallerVersion="200" Compressed="yes"/>
    <Media Id="1" Cabinet="main.cab" EmbedCab="no"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLDIR" Name="WidgetStudio">
          <Component Id="Files" Guid="{1A2B3C4D-5E6F-4A7B-8C9D-0E1F2A3B4C5D}">
            <File Id="readme.txt" Name="readme.txt" Source="readme.txt" KeyPath="yes"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Main" Level="1"><ComponentRef Id="Files"/></Feature>
  </Product>
</Wix>
WXS
echo 'widgets' > readme.txt
mkdir -p widget
wixl -a x64 -o widget/product.msi package.wxs 2>/dev/null
gcab -z -c widget/main.cab readme.txt
sed -e 's/Version="2.1.0"/Version="2.1.0.7"/' -e 's/Widget Studio/Widget Studio Big/' \
  -e 's/Language="1033"/Language="1031"/' -e 's/{3C2B1A09-8F7E-4D6C-B5A4-93827160F5E4}/{3C2B1A09-8F7E-4D6C-B5A4-93827160F5E5}/' \
  package.wxs > big.wxs
mkdir -p big
wixl -a x64 -o big/product.msi big.wxs 2>/dev/null
msibuild big/product.msi -s 'Widget Studio Big' 'Widget Works' 'x64;1031'
cp widget/main.cab big/main.cab

openssl genrsa -out vendor-private.pem 2048 2>/dev/null
openssl genrsa -out other-private.pem 2048 2>/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -keyout signer.key -out signer.crt -days 3650 \
  -subj "/CN=msistub branding test signer" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
osslsigncode sign -certs signer.crt -key signer.key -in plain/msistub.exe -out signed-plain.exe >/dev/null
)SH";

const fs::path& Fixtures() {
    static const fs::path folder =
        MakeFixtures("branding-fixtures", kFixtureRecipe, "SOURCE_DIR=" + Quote(MSISTUB_SOURCE_DIR));
    return folder;
}

bool IsReplaced(const ResourceItem& item) {
    return item.type == ResourceId(kResourceTypeIcon) || item.type == ResourceId(kResourceTypeGroupIcon) ||
           item.type == ResourceId(kResourceTypeVersion) || item.type == ResourceId(kResourceTypeManifest) ||
           item.type == ResourceId(kResourceTypeRcdata);
}

// The sizes of the group icon APP and, in its order, the images it names.
std::vector<std::pair<int, Bytes>> IconImages(const std::vector<ResourceItem>& items) {
    std::vector<std::pair<int, Bytes>> images;
    const ResourceItem* group = FindResource(items, ResourceId(kResourceTypeGroupIcon), ResourceName("APP"));
    if (!group) return images;
    for (size_t at = 6; at + 14 <= group->data.size(); at += 14) {
        const ResourceItem* icon =
            FindResource(items, ResourceId(kResourceTypeIcon), ResourceId(ReadU16Le(group->data.data() + at + 12)));
        images.push_back({group->data[at] ? group->data[at] : 256, icon ? icon->data : Bytes{}});
    }
    return images;
}

// The images of an .ico file, in its order.
std::vector<std::pair<int, Bytes>> IconFileImages(const Bytes& file) {
    std::vector<std::pair<int, Bytes>> images;
    for (size_t i = 0; i < ReadU16Le(file.data() + 4); ++i) {
        const uint8_t* entry = file.data() + 6 + i * 16;
        images.push_back({entry[0] ? entry[0] : 256, Bytes(file.begin() + ReadU32Le(entry + 12),
                                                          file.begin() + ReadU32Le(entry + 12) + ReadU32Le(entry + 8))});
    }
    return images;
}

class StubBrandingTool : public ToolFolderTest {
protected:
    void SetUp() override { StartIn("branding-test-runs", kTool, Fixtures()); }

    ToolRun Run(const std::string& arguments) {
        return RunCaught("cd " + Quote(Fixtures().string()) + " && " + Quote(kTool) + " " + arguments);
    }
    static std::string F(const std::string& relative) { return Quote((Fixtures() / relative).string()); }

    ToolRun Pack(const std::string& stub, const std::string& out, const std::string& extra,
                 const std::string& msis = "widget/product.msi", const std::string& key = "vendor-private.pem") {
        return Run("pack --stub " + stub + " --key " + key + " --out " + W(out) + " " + extra + " " + msis);
    }
};

struct BrandingCase {
    const char* name;
    std::string options;
    const char* msis;
    // Expected read back; an error message instead when `refusal` is set.
    const char* refusal;
    const char* productName;
    const char* version;
    std::array<uint16_t, 4> numbers;
    const char* company;
    const char* copyright;
    const char* description;
    const char* icon;  // the .ico the setup must carry; null: the stub's
};

void PrintTo(const BrandingCase& c, std::ostream* out) { *out << c.name; }

class StubBrandingTable : public StubBrandingTool, public ::testing::WithParamInterface<BrandingCase> {};

TEST_P(StubBrandingTable, PackWritesKeyAndBrandingAndKeepsEveryOtherResource) {
    const BrandingCase& c = GetParam();
    ToolRun pack = Pack("plain/msistub.exe", "setup.exe", c.options, c.msis);
    if (c.refusal) {
        EXPECT_EQ(pack.exitCode, 2) << pack.err;
        EXPECT_NE(pack.err.find(c.refusal), std::string::npos) << pack.err;
        EXPECT_FALSE(fs::exists(work_ / "setup.exe"));
        return;
    }
    ASSERT_EQ(pack.exitCode, 0) << pack.err;
    EXPECT_EQ(Run("verify " + W("setup.exe")).exitCode, 0);

    std::vector<ResourceItem> stub = ReadStubResources(ReadBytes(Fixtures() / "plain/msistub.exe"), "stub");
    std::vector<ResourceItem> setup = ReadStubResources(ReadBytes(work_ / "setup.exe"), "setup");
    for (const ResourceItem& item : stub) {
        if (IsReplaced(item)) continue;
        const ResourceItem* kept = FindResource(setup, item.type, item.name);
        ASSERT_NE(kept, nullptr);
        EXPECT_EQ(kept->data, item.data);
        EXPECT_EQ(kept->language, item.language);
    }

    const ResourceItem* version = FindResource(setup, ResourceId(kResourceTypeVersion), ResourceId(1));
    ASSERT_NE(version, nullptr);
    std::optional<VersionInfo> info = DecodeVersionInfo(version->data);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->strings["ProductName"], c.productName);
    EXPECT_EQ(info->strings["ProductVersion"], c.version);
    EXPECT_EQ(info->strings["FileVersion"], c.version);
    EXPECT_EQ(info->productVersion, c.numbers);
    EXPECT_EQ(info->fileVersion, c.numbers);
    EXPECT_EQ(info->strings["CompanyName"], c.company);
    EXPECT_EQ(info->strings["LegalCopyright"], c.copyright);
    EXPECT_EQ(info->strings["FileDescription"], c.description);
    EXPECT_EQ(info->strings["OriginalFilename"], "setup.exe");
    EXPECT_EQ(info->strings["InternalName"], "setup");
    EXPECT_EQ(ManifestDescription(setup).value_or("none"), c.description);

    Bytes icon = ReadBytes(Fixtures() / (c.icon ? c.icon : "stub.ico"));
    EXPECT_EQ(IconImages(setup), IconFileImages(icon));
    // Only the images of the icon in use are left.
    size_t icons = std::count_if(setup.begin(), setup.end(),
                                 [](const ResourceItem& item) { return item.type == ResourceId(kResourceTypeIcon); });
    EXPECT_EQ(icons, IconFileImages(icon).size());
}

const std::array<uint16_t, 4> kMsiVersion = {2, 1, 0, 0};

INSTANTIATE_TEST_SUITE_P(
    Branding, StubBrandingTable,
    ::testing::Values(
        BrandingCase{"DefaultsFromTheMsi", "", "widget/product.msi", nullptr, "Widget Studio", "2.1.0", kMsiVersion,
                     "Widget Works", "the project", "Widget Studio Setup", nullptr},
        BrandingCase{"SeveralMsisTakeTheFirst", "", "widget/product.msi big/product.msi", nullptr, "Widget Studio",
                     "2.1.0", kMsiVersion, "Widget Works", "the project", "Widget Studio Setup", nullptr},
        BrandingCase{"FirstMsiDecides", "", "big/product.msi widget/product.msi", nullptr, "Widget Studio Big",
                     "2.1.0.7", {2, 1, 0, 7}, "Widget Works", "the project", "Widget Studio Big Setup", nullptr},
        BrandingCase{"EveryOptionWithTextOutsideAscii",
                     "--icon vendor.ico --product-name 'Widget Stüdio' --product-version 3.0.1.12 "
                     "--company 'Wïdget Wörks' --copyright '© 2026 Wïdget Wörks' --description 'Widget <Stüdio> & more'",
                     "widget/product.msi", nullptr, "Widget Stüdio", "3.0.1.12", {3, 0, 1, 12}, "Wïdget Wörks",
                     "© 2026 Wïdget Wörks", "Widget <Stüdio> & more", "vendor.ico"},
        BrandingCase{"OneNumber", "--product-version 7", "widget/product.msi", nullptr, "Widget Studio", "7",
                     {7, 0, 0, 0}, "Widget Works", "the project", "Widget Studio Setup", nullptr},
        BrandingCase{"TwoNumbers", "--product-version 65535.0", "widget/product.msi", nullptr, "Widget Studio",
                     "65535.0", {65535, 0, 0, 0}, "Widget Works", "the project", "Widget Studio Setup", nullptr},
        BrandingCase{"FiveNumbers", "--product-version 1.2.3.4.5", "widget/product.msi",
                     "--product-version \"1.2.3.4.5\" is not one to four numbers"},
        BrandingCase{"NumberOver65535", "--product-version 2.65536", "widget/product.msi",
                     "--product-version \"2.65536\" is not one to four numbers"},
        BrandingCase{"EmptyPart", "--product-version 2..1", "widget/product.msi",
                     "--product-version \"2..1\" is not one to four numbers"},
        BrandingCase{"NotANumber", "--product-version 2.1-beta", "widget/product.msi",
                     "--product-version \"2.1-beta\" is not one to four numbers"},
        BrandingCase{"IconWithout32", "--icon no32.ico", "widget/product.msi",
                     "the icon no32.ico has no 32x32 image (it has: 16, 48)"},
        BrandingCase{"IconWithout16", "--icon no16.ico", "widget/product.msi",
                     "the icon no16.ico has no 16x16 image (it has: 32, 48)"},
        BrandingCase{"IconThatIsNoIcon", "--icon text.ico", "widget/product.msi",
                     "the icon text.ico is not an .ico file"},
        BrandingCase{"MissingIcon", "--icon absent.ico", "widget/product.msi", "absent.ico"},
        BrandingCase{"CompanyTooLong", "--company " + std::string(256, 'c'), "widget/product.msi",
                     "--company takes at most 255 characters"}),
    [](const ::testing::TestParamInfo<BrandingCase>& info) { return std::string(info.param.name); });

TEST_F(StubBrandingTool, StubCommandWritesWhatPackWritesAndSignedStubsPackIntoTheirSignature) {
    ToolRun stub = Run("stub --stub plain/msistub.exe --key vendor-private.pem --out " + W("vendor-stub.exe") +
                       " --icon vendor.ico widget/product.msi");
    ASSERT_EQ(stub.exitCode, 0) << stub.err;
    ASSERT_EQ(Pack("plain/msistub.exe", "setup.exe", "--icon vendor.ico").exitCode, 0);
    // The packed setup is the branded stub and the container (and a new checksum).
    Bytes branded = ReadBytes(work_ / "vendor-stub.exe");
    Bytes setup = StubWithoutChain(ReadBytes(work_ / "setup.exe"));
    size_t checksum = ReadU32Le(branded.data() + 60) + 88;
    std::fill_n(branded.begin() + checksum, 4, 0);
    std::fill_n(setup.begin() + checksum, 4, 0);
    EXPECT_EQ(setup, branded);

    // Signed before packing: the container goes into the signature, and
    // the stub's key and branding stay as written.
    ASSERT_EQ(RunShell("osslsigncode sign -certs " + F("signer.crt") + " -key " + F("signer.key") + " -in " +
                       W("vendor-stub.exe") + " -out " + W("signed-stub.exe") + " >/dev/null"),
              0);
    for (const char* placement : {"tag", "certificate"}) {
        std::string out = std::string(placement) + ".exe";
        ToolRun pack = Pack(W("signed-stub.exe"), out, std::string("--placement ") + placement);
        ASSERT_EQ(pack.exitCode, 0) << pack.err;
        EXPECT_EQ(pack.err, "");
        EXPECT_EQ(Run("verify " + W(out)).exitCode, 0) << placement;
        EXPECT_EQ(RunShell("osslsigncode verify -in " + W(out) + " -CAfile " + F("signer.crt") + " >/dev/null 2>&1"), 0)
            << placement;
        std::vector<ResourceItem> items = ReadStubResources(ReadBytes(work_ / out), out);
        EXPECT_EQ(IconImages(items), IconFileImages(ReadBytes(Fixtures() / "vendor.ico")));
    }

    // Another product into the stub signed with this one's branding packs,
    // with a warning that names both.
    ToolRun other = Pack(W("signed-stub.exe"), "other.exe", "", "big/product.msi");
    ASSERT_EQ(other.exitCode, 0) << other.err;
    EXPECT_NE(other.err.find("warning: the signed stub " + (work_ / "signed-stub.exe").string() +
                             " says it sets up \"Widget Studio\" 2.1.0, but big/product.msi is \"Widget Studio "
                             "Big\" 2.1.0.7"),
              std::string::npos)
        << other.err;

    struct Refusal {
        std::string command;
        const char* message;
    };
    for (const Refusal& refusal : {
             Refusal{"pack --stub " + W("signed-stub.exe") + " --key vendor-private.pem --out " + W("r.exe") +
                         " --icon vendor.ico widget/product.msi",
                     "is signed, so its icon and version resource cannot change"},
             Refusal{"pack --stub " + W("signed-stub.exe") + " --key other-private.pem --out " + W("r.exe") +
                         " widget/product.msi",
                     "does not match the verification key of"},
             Refusal{"pack --stub signed-plain.exe --key vendor-private.pem --out " + W("r.exe") + " widget/product.msi",
                     "the signed stub signed-plain.exe carries no verification key"},
             Refusal{"stub --stub " + W("vendor-stub.exe") + " --key other-private.pem --out " + W("r.exe"),
                     "does not match the verification key of"},
             Refusal{"stub --stub " + W("signed-stub.exe") + " --key vendor-private.pem --out " + W("r.exe"),
                     "is signed, and new resources would break its signature"},
             Refusal{"stub --stub extra-section.exe --key vendor-private.pem --out " + W("r.exe"),
                     "cannot write resources into the stub extra-section.exe: more than one section follows its "
                     "resource section"},
             Refusal{"stub --stub truncated.exe --key vendor-private.pem --out " + W("r.exe"), "truncated.exe"},
         }) {
        ToolRun run = Run(refusal.command);
        EXPECT_EQ(run.exitCode, 2) << refusal.command;
        EXPECT_NE(run.err.find(refusal.message), std::string::npos) << refusal.command << "\n" << run.err;
        EXPECT_FALSE(fs::exists(work_ / "r.exe"));
    }
}

TEST_F(StubBrandingTool, BrandedSetupSignedLastPassesTheSignersCheckAndVerifies) {
    ASSERT_EQ(Pack("plain/msistub.exe", "setup.exe", "--icon vendor.ico --product-name 'Widget Stüdio'").exitCode, 0);
    ASSERT_EQ(RunShell("osslsigncode sign -certs " + F("signer.crt") + " -key " + F("signer.key") + " -in " +
                       W("setup.exe") + " -out " + W("signed.exe") + " >/dev/null"),
              0);
    EXPECT_EQ(RunShell("osslsigncode verify -in " + W("signed.exe") + " -CAfile " + F("signer.crt") + " >" +
                       W("osslsigncode.log") + " 2>&1"),
              0)
        << ReadText(work_ / "osslsigncode.log");
    ToolRun verify = Run("verify " + W("signed.exe"));
    EXPECT_EQ(verify.exitCode, 0) << verify.out << verify.err;
}

// A section written and read again gives the same items, whatever their
// names, languages and sizes.
TEST(ResourceTree, BuildsASectionThatReadsBackItemForItem) {
    std::vector<ResourceItem> items = {
        {ResourceId(16), ResourceId(1), 0x409, 0, Bytes(37, 1)},
        {ResourceName("MSISTUB_VERIFICATION_KEY"), ResourceName("ZETA"), 0x407, 1252, Bytes(276, 2)},
        {ResourceId(10), ResourceName("MSISTUB_VERIFICATION_KEY"), 0x409, 0, Bytes(276, 3)},
        {ResourceId(10), ResourceName("ALPHA"), 0x409, 0, {}},
        {ResourceId(3), ResourceId(2), 0x409, 0, Bytes(1000, 4)},
        {ResourceId(3), ResourceId(1), 0x409, 0, Bytes(1, 5)},
        {ResourceId(3), ResourceId(1), 0x407, 0, Bytes(3, 6)},
    };
    const uint32_t rva = 0x1B000;
    Bytes section = BuildResourceSection(items, rva);
    std::string why;
    std::optional<std::vector<ResourceItem>> back = ParseResourceSection(section.data(), section.size(), rva, &why);
    ASSERT_TRUE(back) << why;
    ASSERT_EQ(back->size(), items.size());
    for (const ResourceItem& item : items) {
        auto found = std::find_if(back->begin(), back->end(), [&](const ResourceItem& other) {
            return other.type == item.type && other.name == item.name && other.language == item.language;
        });
        ASSERT_NE(found, back->end());
        EXPECT_EQ(found->data, item.data);
        EXPECT_EQ(found->codePage, item.codePage);
    }
    // Names before ids, ids ascending: the loader's binary search order.
    EXPECT_TRUE(back->front().type.isName);
    EXPECT_EQ(BuildResourceSection(*back, rva), section);
    // Every data lies inside the section; cut short, it no longer reads.
    section.resize(section.size() - 8);
    EXPECT_FALSE(ParseResourceSection(section.data(), section.size(), rva, &why));
}
}  // namespace
