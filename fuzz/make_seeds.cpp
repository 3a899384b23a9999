// Writes the seed corpora of the fuzz targets with the packing tool's own
// library, so the seeds are what a real setup holds:
//
//   msistub-fuzz-seeds OUTPUT_DIR SIGNING_KEY_PEM
//
// OUTPUT_DIR/read_entry: entry chains (signed and compressed as the packer
// writes them, one with a stored-block payload, one plain and unsigned), and
// the same chains in OUTPUT_DIR/chain_listing;
// OUTPUT_DIR/chain_placement: setup images with chains at the end, in the
// certificate table, in a tag, and signed last with another chain added;
// OUTPUT_DIR/manifest: their manifests; OUTPUT_DIR/certificate_table: PE32+
// headers with and without a certificate table around a chain;
// OUTPUT_DIR/command_line: command lines as UTF-16LE;
// OUTPUT_DIR/stub_resources: resource sections as the packer writes them.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <openssl/pkcs7.h>

#include "../tests/portable/noise_bytes.h"
#include "chain/authenticode_certs.h"
#include "chain/entry_chain.h"
#include "chain/manifest_records.h"
#include "chain/pe_image.h"
#include "chain/placement.h"
#include "chain/signing_key.h"
#include "files/byte_files.h"
#include "files/pack_error.h"
#include "format/entry_format.h"
#include "setup/resource_tree.h"
#include "setup/version_info.h"

namespace fs = std::filesystem;

namespace {

Bytes TextBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::vector<ManifestRecord> SetupRecords() {
    return {
        {1000, PackageLineText("x64", "1033", "{11111111-2222-3333-4444-555555555555}", "Fuzz Product")},
        {1001, CabinetLineText({1000}, "main.cab")},
        {1002, PackageLineText("x64", "1031;3079", "{66666666-7777-8888-9999-AAAAAAAAAAAA}", "Fuzz Produkt")},
        {1003, CabinetLineText({1002, 1000}, "data1.cab")},
        {1004, PackageLineText("Intel", "1033", "{BBBBBBBB-CCCC-DDDD-EEEE-FFFFFFFFFFFF}", "Fuzz x86")},
    };
}

// Stored, unsigned entries: the layout of a blob with flags 0.
Bytes PlainChain(const Bytes& manifest, const std::vector<std::pair<uint32_t, Bytes>>& payloads) {
    Bytes chain;
    auto append = [&chain](const EntryTypeGuid& type, uint32_t id, const Bytes& content) {
        chain.insert(chain.end(), content.begin(), content.end());
        EntryTrailer trailer = {};
        EntryGuidBytes(type, trailer.typeGuid);
        trailer.id = id;
        trailer.dataLength = static_cast<uint32_t>(content.size());
        size_t at = chain.size();
        chain.resize(at + kEntryTrailerSize);
        EncodeEntryTrailer(trailer, chain.data() + at);
    };
    append(ManifestEntryGuid, 0, manifest);
    for (const auto& [id, content] : payloads) append(PayloadEntryGuid, id, content);
    return chain;
}

// The smallest PE32+ image the header tests accept: DOS header, PE
// signature, file header and an optional header with 16 data directories.
Bytes MinimalPeImage() {
    Bytes image(512, 0);
    image[0] = 'M';
    image[1] = 'Z';
    WriteU32Le(&image[60], 128);
    WriteU32Le(&image[128], 0x4550);
    image[128 + 4] = 0x64;  // machine x64
    image[128 + 5] = 0x86;
    image[128 + 20] = 240;  // size of the optional header
    image[128 + 24] = 0x0B;
    image[128 + 25] = 0x02;
    WriteU32Le(&image[128 + 24 + 108], 16);  // number of data directories
    return image;
}

// The chain inside a WIN_CERTIFICATE entry that reaches to the end of the
// image, behind a few bytes standing in for the DER signature.
Bytes ImageWithCertificateTable(const Bytes& chain) {
    Bytes image = MinimalPeImage();
    uint32_t tableOffset = static_cast<uint32_t>(image.size());
    Bytes entry(8 + 16, 0x30);
    WriteU32Le(&entry[0], static_cast<uint32_t>(entry.size() + chain.size()));
    entry[4] = 0x00;
    entry[5] = 0x02;  // revision 2.0
    entry[6] = 0x02;  // PKCS #7 signed data
    entry[7] = 0x00;
    image.insert(image.end(), entry.begin(), entry.end());
    image.insert(image.end(), chain.begin(), chain.end());
    std::optional<PeLayout> layout = FindPeLayout(image.data(), image.size());
    if (!layout) throw PackError("the minimal PE32+ image is not accepted");
    SetCertificateTable(&image, *layout, tableOffset, static_cast<uint32_t>(image.size() - tableOffset));
    return image;
}

// `front` closed by a certificate table of one WIN_CERTIFICATE entry that
// holds `data` and reaches to the end of the file.
Bytes WithCertificateTable(const Bytes& front, const Bytes& data) {
    Bytes image = front;
    uint32_t tableOffset = static_cast<uint32_t>(image.size());
    Bytes header(8, 0);
    WriteU32Le(&header[0], static_cast<uint32_t>(8 + data.size()));
    header[5] = 0x02;
    header[6] = 0x02;
    image.insert(image.end(), header.begin(), header.end());
    image.insert(image.end(), data.begin(), data.end());
    std::optional<PeLayout> layout = FindPeLayout(image.data(), image.size());
    if (!layout) throw PackError("the minimal PE32+ image is not accepted");
    SetCertificateTable(&image, *layout, tableOffset, static_cast<uint32_t>(image.size() - tableOffset));
    return image;
}

// A signed message with no signer whose one certificate carries `chain` as
// its tag extension: what the tag placement leaves in a signature.
Bytes SignatureWithTag(const Bytes& chain) {
    Pkcs7Ptr message(PKCS7_new());
    if (!message || !PKCS7_set_type(message.get(), NID_pkcs7_signed) ||
        !PKCS7_content_new(message.get(), NID_pkcs7_data))
        throw PackError("OpenSSL could not make a signed message");
    X509Ptr tag = MakeTagCertificate(chain);
    AddCertificate(message.get(), tag.get());
    return EncodeSignedData(message.get());
}

Bytes Utf16Le(const std::u16string& text) {
    Bytes bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<uint8_t>(unit));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return bytes;
}

void Write(const fs::path& folder, const std::string& name, const Bytes& bytes) {
    fs::create_directories(folder);
    WriteFileReplacing((folder / name).string(), bytes);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: msistub-fuzz-seeds OUTPUT_DIR SIGNING_KEY_PEM\n");
        return 2;
    }
    try {
        const fs::path out = argv[1];
        KeyPtr key = LoadSigningKey(argv[2]);

        Bytes manifest = EncodeManifest(SetupRecords());
        Bytes package = TextBytes(std::string(300, 'P') + "an installer package");
        // Bytes that deflate cannot shrink, so the packer stores them, as it
        // does a compressed cabinet.
        Bytes cabinet = XorshiftNoise(700, 2463534242u);
        Bytes cabinet2 = TextBytes("MSCF and some text that compresses well well well well");
        Bytes chain = BuildEntryChain(
            manifest, {{1000, &package, "main.msi"}, {1001, &cabinet, "main.cab"}, {1003, &cabinet2, "data1.cab"}},
            key.get(), UINT32_MAX);
        Bytes manifestOnly = EncodeManifest({SetupRecords()[0]});
        Bytes shortChain = BuildEntryChain(manifestOnly, {{1000, &package, "main.msi"}}, key.get(), UINT32_MAX);
        Bytes plainChain = PlainChain(manifest, {{1000, package}, {1001, cabinet}});

        Write(out / "read_entry", "packed_chain", chain);
        Write(out / "read_entry", "packed_chain_one_payload", shortChain);
        Write(out / "read_entry", "plain_chain", plainChain);
        Write(out / "chain_listing", "packed_chain", chain);
        Write(out / "chain_listing", "plain_chain", plainChain);

        Write(out / "manifest", "packed_manifest", manifest);
        Write(out / "manifest", "one_package_line", manifestOnly);

        Write(out / "certificate_table", "image_with_table", ImageWithCertificateTable(shortChain));
        Write(out / "certificate_table", "image_with_chain_at_end",
              PlaceContainer(MinimalPeImage(), shortChain, Placement::End, UINT32_MAX));

        // The places a setup's chain can stand, and a signed-last setup with
        // a second chain appended inside its certificate table.
        Bytes atEnd = PlaceContainer(MinimalPeImage(), chain, Placement::End, UINT32_MAX);
        Bytes fakeSignature(16, 0x30);
        Bytes appended = fakeSignature;
        appended.insert(appended.end(), shortChain.begin(), shortChain.end());
        Write(out / "chain_placement", "end_of_file", atEnd);
        Write(out / "chain_placement", "certificate_table", ImageWithCertificateTable(chain));
        Write(out / "chain_placement", "signed_last", WithCertificateTable(atEnd, fakeSignature));
        Write(out / "chain_placement", "signed_last_plus_appended", WithCertificateTable(atEnd, appended));
        Write(out / "chain_placement", "tag", WithCertificateTable(MinimalPeImage(), SignatureWithTag(shortChain)));
        Write(out / "chain_placement", "signed_last_plus_tag", WithCertificateTable(atEnd, SignatureWithTag(shortChain)));

        const std::u16string lines[] = {
            u"\"C:\\Program Files\\Setup Files\\setup.exe\" /qn",
            u"setup.exe PROP=\"a b\" /l*v \"C:\\temp\\install log.txt\" "
            u"TARGETDIR=C:\\x\\",
            u"a \"\" b\t\tc \"u y",
            u"setup.exe /QUIET REBOOT=ReallySuppress ALLUSERS=1 \u00e4\u4e2d",
        };
        VersionInfo version;
        version.fileVersion = version.productVersion = {2, 1, 0, 17};
        version.strings = {{"ProductName", "Widget St\xC3\xBC" "dio"}, {"ProductVersion", "2.1.0.17"},
                           {"FileDescription", "Widget Setup"}};
        const std::string manifestText = "<assembly><description>Widget Setup</description></assembly>";
        Bytes group = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0, 40, 0, 0, 0, 1, 0};
        const std::vector<ResourceItem> resources = {
            {ResourceId(kResourceTypeVersion), ResourceId(1), 0x409, 0, EncodeVersionInfo(version)},
            {ResourceId(kResourceTypeManifest), ResourceId(1), 0x409, 0, Bytes(manifestText.begin(), manifestText.end())},
            {ResourceId(kResourceTypeIcon), ResourceId(1), 0x409, 0, Bytes(40, 7)},
            {ResourceId(kResourceTypeGroupIcon), ResourceName("APP"), 0x409, 0, group},
            {ResourceId(kResourceTypeRcdata), ResourceName("MSISTUB_VERIFICATION_KEY"), 0x409, 0, Bytes(276, 9)}};
        Write(out / "stub_resources", "launcher_resources", BuildResourceSection(resources, 0x1B000));
        Write(out / "stub_resources", "key_only", BuildResourceSection({resources.back()}, 0x1B000));

        int number = 0;
        for (const std::u16string& line : lines)
            Write(out / "command_line", "line" + std::to_string(++number), Utf16Le(line));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "msistub-fuzz-seeds: %s\n", error.what());
        return 1;
    }
    return 0;
}
