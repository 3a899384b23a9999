// msistub-hostile-files: writes damaged and hostile setup files for the
// end-to-end test that runs them through the real launcher, together with
// the exit code each one must end with.
//
//   msistub-hostile-files --setup BASE --signed-stub STUB --signed-setup SIGNED --other-setup OTHER --key PEM
//                         --out DIR
//
// BASE is a good setup packed at the end of an unsigned launcher, STUB the
// same launcher with an Authenticode signature, SIGNED the setup BASE signed
// after packing (its chain in front of the certificate table), OTHER a setup
// of another product packed at the end of the launcher, PEM the
// private key that the
// launcher's verification key belongs to. DIR receives one file per case and
// "cases.txt": one line per case, "NAME EXPECTED_EXIT_CODE WHAT", controls
// (good files that must install) first.
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../portable/noise_bytes.h"
#include "chain/entry_chain.h"
#include "chain/entry_data.h"
#include "chain/manifest_records.h"
#include "chain/pe_image.h"
#include "chain/placement.h"
#include "chain/signing_key.h"
#include "files/byte_files.h"
#include "files/pack_error.h"
#include "format/entry_format.h"
#include "format/read_entry.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kNotFound = 1168;
constexpr uint32_t kInvalidData = 13;
constexpr uint32_t kFileCorrupt = 1392;
// The system's signature decoder refuses the file: the launcher passes on the
// decoder's own error (CRYPT_E_ASN1_...), or E_INVALIDARG when it sets none.
const char kDecoderRefuses[] = "decoder";

struct Entry {
    bool isManifest;
    uint32_t id;
    Bytes data;
    Bytes signature;
    // What the trailer claims; normally the real lengths.
    uint32_t claimedSignatureLength;
    uint32_t claimedDataLength;
};

struct Setup {
    Bytes image;  // everything in front of the chain
    std::vector<Entry> entries;
};

Bytes Slice(const Bytes& bytes, uint64_t at, uint64_t length) {
    return Bytes(bytes.begin() + static_cast<ptrdiff_t>(at), bytes.begin() + static_cast<ptrdiff_t>(at + length));
}

Setup ParseSetup(const Bytes& file) {
    ChainWalk walk = WalkEntryChain(file.data(), file.size());
    if (!walk.reachedManifest || walk.entries.size() < 3)
        throw PackError(
            "the base setup must hold a manifest, a package and a "
            "cabinet at its end");
    Setup setup{Slice(file, 0, walk.chainStart), {}};
    for (const ChainEntry& e : walk.entries)
        setup.entries.push_back({e.isManifest, e.id, Slice(file, e.dataOffset, e.dataLength),
                                 Slice(file, e.dataOffset + e.dataLength, e.signatureLength), e.signatureLength,
                                 e.dataLength});
    return setup;
}

Bytes Chain(const std::vector<Entry>& entries) {
    Bytes chain;
    for (const Entry& entry : entries) {
        chain.insert(chain.end(), entry.data.begin(), entry.data.end());
        chain.insert(chain.end(), entry.signature.begin(), entry.signature.end());
        EntryTrailer trailer = {};
        EntryGuidBytes(entry.isManifest ? ManifestEntryGuid : PayloadEntryGuid, trailer.typeGuid);
        trailer.id = entry.id;
        trailer.signatureLength = entry.claimedSignatureLength;
        trailer.dataLength = entry.claimedDataLength;
        size_t at = chain.size();
        chain.resize(at + kEntryTrailerSize);
        EncodeEntryTrailer(trailer, chain.data() + at);
    }
    return chain;
}

Bytes SetupFile(const Setup& setup) {
    Bytes file = setup.image;
    Bytes chain = Chain(setup.entries);
    file.insert(file.end(), chain.begin(), chain.end());
    return file;
}

Entry& EntryWithId(Setup& setup, uint32_t id) {
    for (Entry& entry : setup.entries)
        if (entry.id == id && (id == 0) == entry.isManifest) return entry;
    throw PackError("the base setup has no entry " + std::to_string(id));
}

// Trailer lengths whose 32-bit sum wraps around to the entry's true size: a
// walk that adds them up instead of testing each finds the entry anyway.
void MakeLengthsWrap(Entry* entry) {
    entry->claimedDataLength = entry->claimedDataLength + entry->claimedSignatureLength + 1;
    entry->claimedSignatureLength = 0xFFFFFFFFu;
}

// The content of an entry, read and verified by the launcher's own reader.
Bytes Content(const Entry& entry) {
    Bytes chain = Chain({entry});
    ContainerBlob blob = {chain.data(), static_cast<uint32_t>(chain.size()), nullptr, 0, kBlobCompressed | kBlobSigned, nullptr};
    uint8_t* content = nullptr;
    uint32_t length = 0;
    StatusValue status =
        ReadEntry(blob, entry.isManifest ? ManifestEntryGuid : PayloadEntryGuid, entry.id, &content, &length);
    if (StatusFailed(status)) throw PackError("an entry of the base setup does not read back");
    Bytes bytes(content, content + length);
    PlatformFree(content);
    return bytes;
}

void SetContent(Entry* entry, const Bytes& content, EVP_PKEY* key) {
    entry->data = CompressEntryContent(content.data(), content.size());
    entry->claimedDataLength = static_cast<uint32_t>(entry->data.size());
    if (key) entry->signature = SignContent(key, content.data(), content.size());
    entry->claimedSignatureLength = static_cast<uint32_t>(entry->signature.size());
}

// A valid zlib stream of `megabytes` MiB of zeros, a few KiB per MiB: the
// first MiB is deflated and ended with a full flush, which leaves the
// compressor in its starting state, so every further MiB deflates to the
// same bytes and is written by repeating them.
Bytes ZeroStream(uint32_t megabytes) {
    const Bytes zeros(1u << 20, 0);
    z_stream stream = {};
    if (deflateInit(&stream, Z_BEST_COMPRESSION) != Z_OK) throw PackError("zlib could not start a stream");
    auto deflateChunk = [&stream, &zeros](int flush) {
        Bytes out(zeros.size() / 64 + 1024);
        stream.next_in = const_cast<Bytef*>(zeros.data());
        stream.avail_in = flush == Z_FINISH ? 0 : static_cast<uInt>(zeros.size());
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        deflate(&stream, flush);
        out.resize(out.size() - stream.avail_out);
        return out;
    };
    Bytes stream1 = deflateChunk(Z_FULL_FLUSH);  // header and the first MiB
    Bytes repeated = deflateChunk(Z_FULL_FLUSH);
    deflateEnd(&stream);

    Bytes out = stream1;
    uLong adler = adler32(0, nullptr, 0);
    uLong adlerOfMebibyte = adler32(adler32(0, nullptr, 0), zeros.data(), static_cast<uInt>(zeros.size()));
    adler = adler32_combine(adler, adlerOfMebibyte, static_cast<z_off_t>(zeros.size()));
    for (uint32_t i = 1; i < megabytes; ++i) {
        out.insert(out.end(), repeated.begin(), repeated.end());
        adler = adler32_combine(adler, adlerOfMebibyte, static_cast<z_off_t>(zeros.size()));
    }
    // A last empty fixed-Huffman block, then the Adler-32 of the content.
    const uint8_t ending[] = {0x03,
                              0x00,
                              static_cast<uint8_t>(adler >> 24),
                              static_cast<uint8_t>(adler >> 16),
                              static_cast<uint8_t>(adler >> 8),
                              static_cast<uint8_t>(adler)};
    out.insert(out.end(), ending, ending + sizeof ending);
    return out;
}

// The bomb is trusted only once the same construction, made short, inflates
// to exactly its content with the stream's end and checksum.
Bytes ZlibBomb() {
    Bytes small = ZeroStream(3);
    Bytes inflated(3u << 20);
    uLongf length = static_cast<uLongf>(inflated.size());
    if (uncompress(inflated.data(), &length, small.data(), static_cast<uLong>(small.size())) != Z_OK ||
        length != inflated.size() || std::count(inflated.begin(), inflated.end(), 0) != 3 << 20)
        throw PackError("the zero stream does not inflate as made");
    return ZeroStream(4097);  // 4 GiB and 1 MiB
}

Bytes ManifestWithRecordLength(uint32_t length) {
    Bytes manifest(8);
    WriteU32Le(&manifest[0], 1000);
    WriteU32Le(&manifest[4], length);
    const char text[] = "x\0006\0004\0\\\0";
    manifest.insert(manifest.end(), text, text + sizeof text - 1);
    return manifest;
}

// Claims a length of 2 GiB for the OCTET STRING that holds the tag value
// (the chain, found where it stands in the file) and keeps the certificate
// table's own sizes in step, so the decoder itself meets the lie.
Bytes WithTagValueLengthLie(Bytes file, const Bytes& chain) {
    auto found = std::search(file.begin(), file.end(), chain.begin(), chain.end());
    if (found == file.end()) throw PackError("the tag value is not in the file");
    size_t at = static_cast<size_t>(found - file.begin());
    size_t headerAt = 0;
    for (size_t width = 1; width <= 4 && !headerAt; ++width) {
        size_t start = at - 2 - width;
        uint64_t length = 0;
        for (size_t i = 0; i < width; ++i) length = (length << 8) | file[start + 2 + i];
        if (file[start] == 0x04 && file[start + 1] == 0x80 + width && length == chain.size()) headerAt = start;
    }
    if (!headerAt) throw PackError("the tag value's DER header was not found");
    size_t oldHeader = at - headerAt;
    const uint8_t lie[] = {0x04, 0x84, 0x7F, 0xFF, 0xFF, 0xF0};
    file.erase(file.begin() + static_cast<ptrdiff_t>(headerAt), found);
    file.insert(file.begin() + static_cast<ptrdiff_t>(headerAt), lie, lie + sizeof lie);
    int32_t growth = static_cast<int32_t>(sizeof lie) - static_cast<int32_t>(oldHeader);

    uint32_t peAt = ReadU32Le(&file[60]);
    uint8_t* directory = &file[peAt + 24 + 112 + 4 * 8];
    uint32_t tableOffset = ReadU32Le(directory);
    WriteU32Le(directory + 4, ReadU32Le(directory + 4) + growth);
    WriteU32Le(&file[tableOffset], ReadU32Le(&file[tableOffset]) + growth);
    return file;
}

struct Writer {
    fs::path folder;
    std::ofstream cases;

    void Case(const std::string& name, const std::string& expected, const std::string& what, const Bytes& file) {
        WriteFileReplacing((folder / (name + ".exe")).string(), file);
        cases << name << ' ' << expected << ' ' << what << '\n';
    }
};

std::string EntryName(const Entry& entry) {
    return entry.isManifest ? std::string("manifest") : "payload-" + std::to_string(entry.id);
}

void WriteTruncations(Writer& out, const Setup& setup) {
    Bytes file = SetupFile(setup);
    uint64_t end = setup.image.size();
    for (const Entry& entry : setup.entries) {
        end += entry.data.size() + entry.signature.size() + kEntryTrailerSize;
        // Cut just in front of a trailer: the signature's last bytes are no
        // trailer.
        out.Case("cut-before-trailer-of-" + EntryName(entry), std::to_string(kNotFound),
                 "the file ends where the trailer of " + EntryName(entry) + " began",
                 Slice(file, 0, end - kEntryTrailerSize));
        // Cut right behind one: the chain is whole, but the entries above are gone.
        if (end < file.size())
            out.Case("cut-after-trailer-of-" + EntryName(entry), std::to_string(kInvalidData),
                     "the file ends with the trailer of " + EntryName(entry) + "; the package is incomplete",
                     Slice(file, 0, end));
    }
    out.Case("cut-inside-last-trailer", std::to_string(kNotFound), "the last byte of the file is missing",
             Slice(file, 0, file.size() - 1));
}

void WriteLengthLies(Writer& out, const Setup& base) {
    Setup setup = base;
    Entry& manifest = EntryWithId(setup, 0);
    uint64_t inFront = setup.image.size() + manifest.data.size();
    manifest.claimedDataLength = static_cast<uint32_t>(inFront + 1);
    out.Case("manifest-data-before-start", std::to_string(kNotFound),
             "the manifest trailer's data length reaches one byte before the file", SetupFile(setup));

    setup = base;
    Entry& manifest2 = EntryWithId(setup, 0);
    manifest2.claimedSignatureLength = 0xFFFFFFFFu;
    manifest2.claimedDataLength = 0xFFFFFFFFu;
    out.Case("manifest-lengths-max", std::to_string(kNotFound),
             "the manifest trailer claims 4 GiB of data and of signature", SetupFile(setup));

    setup = base;
    MakeLengthsWrap(&EntryWithId(setup, 0));
    out.Case("manifest-lengths-wrap", std::to_string(kNotFound),
             "the manifest trailer's lengths add up, modulo 2^32, to the entry's "
             "true size",
             SetupFile(setup));

    setup = base;
    MakeLengthsWrap(&setup.entries.back());
    out.Case("payload-lengths-wrap", std::to_string(kNotFound),
             "the last payload trailer's lengths add up, modulo 2^32, to the "
             "entry's true size",
             SetupFile(setup));
}

// The manifest fails once it passes its 16 MiB cap; the package, streamed,
// inflates all of its 4 GiB before it fails, in the memory of any setup.
void WriteBombs(Writer& out, const Setup& base) {
    Bytes bomb = ZlibBomb();
    Setup setup = base;
    Entry& manifest = EntryWithId(setup, 0);
    manifest.data = bomb;
    manifest.claimedDataLength = static_cast<uint32_t>(bomb.size());
    out.Case("manifest-zlib-bomb", std::to_string(kInvalidData),
             "the manifest is a 4 MiB stream that inflates to over 4 GiB", SetupFile(setup));

    setup = base;
    Entry& package = EntryWithId(setup, setup.entries[1].id);
    package.data = bomb;
    package.claimedDataLength = static_cast<uint32_t>(bomb.size());
    out.Case("payload-zlib-bomb", std::to_string(kInvalidData),
             "the package is a 4 MiB stream that inflates to over 4 GiB", SetupFile(setup));
}

void WriteBadRecords(Writer& out, const Setup& base, EVP_PKEY* key) {
    for (uint32_t length : {0xFFFFFFFFu, 0xFFFFFFF8u}) {
        Setup setup = base;
        SetContent(&EntryWithId(setup, 0), ManifestWithRecordLength(length), key);
        char name[64];
        std::snprintf(name, sizeof name, "record-length-%08x", length);
        out.Case(name, std::to_string(kInvalidData), "a properly signed manifest whose first record claims that length",
                 SetupFile(setup));
    }
}

// A manifest whose product name changed after the entry was signed.
Setup WithManifestChanged(const Setup& base) {
    Setup setup = base;
    Entry& manifest = EntryWithId(setup, 0);
    Bytes content = Content(manifest);
    for (size_t i = 8; i + 1 < content.size(); i += 2)
        if (content[i] == 'm' && content[i + 1] == 0) content[i] = 'M';
    if (content == Content(manifest)) throw PackError("the manifest has nothing to change");
    Bytes signature = manifest.signature;
    SetContent(&manifest, content, nullptr);
    manifest.signature = signature;
    manifest.claimedSignatureLength = static_cast<uint32_t>(signature.size());
    return setup;
}

void WriteChangedAfterSigning(Writer& out, const Setup& base, const Bytes& signedStub) {
    out.Case("manifest-changed-after-signing", std::to_string(kFileCorrupt),
             "a manifest text changed after it was signed", SetupFile(WithManifestChanged(base)));

    Setup setup = base;
    Entry& package = EntryWithId(setup, setup.entries[1].id);
    Bytes content = Content(package);
    content[content.size() / 2] ^= 0x01;
    Bytes signature = package.signature;
    SetContent(&package, content, nullptr);
    package.signature = signature;
    package.claimedSignatureLength = static_cast<uint32_t>(signature.size());
    out.Case("package-changed-after-signing", std::to_string(kInvalidData),
             "one bit of the package changed after it was signed", SetupFile(setup));

    Bytes changed = Chain(WithManifestChanged(base).entries);
    out.Case("certificate-chain-changed-after-signing", std::to_string(kFileCorrupt),
             "an Authenticode-signed setup whose chain in the certificate table was "
             "changed after signing",
             PlaceContainer(signedStub, changed, Placement::Certificate, UINT32_MAX));
    out.Case("tag-chain-changed-after-signing", std::to_string(kFileCorrupt),
             "an Authenticode-signed setup whose chain in a tag certificate was "
             "changed after signing",
             PlaceContainer(signedStub, changed, Placement::Tag, UINT32_MAX));
}

// A signed-last setup taken apart: the bytes in front of its certificate
// table (image and chain) and the table itself.
struct SignedLast {
    Bytes front;
    Bytes table;
};

SignedLast SplitSignedLast(const Bytes& file) {
    uint32_t tableOffset = ReadU32Le(&file[ReadU32Le(&file[60]) + 168]);
    if (tableOffset == 0 || tableOffset >= file.size()) throw PackError("the signed setup has no certificate table");
    return {Slice(file, 0, tableOffset), Slice(file, tableOffset, file.size() - tableOffset)};
}

// `front` followed by the table, with the header's table offset moved to it.
Bytes JoinSignedLast(const Bytes& front, const Bytes& table) {
    Bytes file = front;
    file.insert(file.end(), table.begin(), table.end());
    WriteU32Le(&file[ReadU32Le(&file[60]) + 168], static_cast<uint32_t>(front.size()));
    return file;
}

// The chain in front of the certificate table: taken only for a table that
// closes the file and a chain whose manifest entry ends right at it; where
// there is none, and no chain at the file's end, the end's status stands.
void WriteSignedLast(Writer& out, const Bytes& signedSetup) {
    SignedLast parts = SplitSignedLast(signedSetup);
    Setup changed = WithManifestChanged(ParseSetup(parts.front));
    out.Case("before-table-changed-after-signing", std::to_string(kFileCorrupt),
             "a setup signed after packing whose manifest changed after its entry was signed",
             JoinSignedLast(SetupFile(changed), parts.table));
    Bytes gap = parts.front;
    gap.resize(gap.size() + 8, 0);
    out.Case("before-table-chain-ends-early", std::to_string(kNotFound),
             "a setup signed after packing whose chain ends 8 bytes in front of the certificate table",
             JoinSignedLast(gap, parts.table));
    Bytes longer = signedSetup;
    longer.resize(longer.size() + 8, 0);
    out.Case("before-table-table-short-of-end", std::to_string(kNotFound),
             "a setup signed after packing with 8 bytes behind its certificate table", longer);
    out.Case("before-table-table-truncated", std::to_string(kNotFound),
             "a setup signed after packing whose certificate table lost its last 8 bytes",
             Slice(signedSetup, 0, signedSetup.size() - 8));
}

// Noise closed by a manifest trailer whose data would start far in front of
// the value.
Bytes NoiseValue(size_t size) {
    Bytes value = XorshiftNoise(size, 88172645u);
    EntryTrailer trailer = {};
    EntryGuidBytes(ManifestEntryGuid, trailer.typeGuid);
    trailer.signatureLength = 256;
    trailer.dataLength = 0x7FFFFFFFu;
    size_t at = value.size();
    value.resize(at + kEntryTrailerSize);
    EncodeEntryTrailer(trailer, value.data() + at);
    return value;
}

void WriteHugeTags(Writer& out, const Setup& base, const Bytes& signedStub) {
    out.Case("tag-value-huge", std::to_string(kNotFound),
             "a tag certificate whose value is 48 MiB that hold no readable chain",
             PlaceContainer(signedStub, NoiseValue(48u << 20), Placement::Tag, UINT32_MAX));
    // Wine's decoder takes no signature of 64 MiB or more (CRYPT_E_ASN1_LARGE).
    out.Case("tag-value-too-large-to-decode", kDecoderRefuses,
             "a tag certificate whose value is 64 MiB, more than the system's "
             "decoder takes",
             PlaceContainer(signedStub, NoiseValue(64u << 20), Placement::Tag, UINT32_MAX));

    Bytes chain = Chain(base.entries);
    out.Case("tag-value-length-lie", kDecoderRefuses, "a tag certificate whose value claims to be 2 GiB long",
             WithTagValueLengthLie(PlaceContainer(signedStub, chain, Placement::Tag, UINT32_MAX), chain));
}

// `file` with `chain` appended inside its one WIN_CERTIFICATE entry, behind
// zeros that keep the entry a multiple of 8 long: what anyone can add to a
// signed file without breaking its signature.
Bytes WithChainAppendedInTable(const Bytes& file, const Bytes& chain) {
    std::optional<PeLayout> layout = FindPeLayout(file.data(), file.size());
    if (!layout || uint64_t{layout->certificateTableOffset} + layout->certificateTableSize != file.size())
        throw PackError("the file has no certificate table that closes it");
    Bytes out = file;
    out.resize(out.size() + (8 - chain.size() % 8) % 8, 0);
    out.insert(out.end(), chain.begin(), chain.end());
    uint32_t tableSize = static_cast<uint32_t>(out.size() - layout->certificateTableOffset);
    WriteU32Le(&out[layout->certificateTableOffset], tableSize);
    SetCertificateTable(&out, *layout, layout->certificateTableOffset, tableSize);
    if (ReadU32Le(out.data() + layout->checksumOffset) != 0) UpdatePeChecksum(&out, *layout);
    return out;
}

// A chain in front of the certificate table of a setup signed after packing
// is covered by the signature, so it is the only chain read: a chain appended
// inside the table, a tag certificate added to the signature, or both (here
// another product's, as an older release of the vendor's would be) are never
// looked at, and when the signed chain's manifest does not verify the run
// fails with it instead of falling back to them.
void WriteSignedChainWins(Writer& out, const Bytes& signedSetup, const Bytes& otherChain) {
    Bytes withTag = PlaceContainer(signedSetup, otherChain, Placement::Tag, UINT32_MAX);
    out.Case("control-signed-last-plus-appended", "0",
             "the good setup signed after packing, another product's chain appended in its certificate table",
             WithChainAppendedInTable(signedSetup, otherChain));
    out.Case("control-signed-last-plus-tag", "0",
             "the good setup signed after packing, another product's chain added as a tag certificate", withTag);
    out.Case("control-signed-last-plus-both", "0",
             "the good setup signed after packing, another product's chain as a tag and appended in the table",
             WithChainAppendedInTable(withTag, otherChain));

    SignedLast parts = SplitSignedLast(signedSetup);
    Bytes broken = JoinSignedLast(SetupFile(WithManifestChanged(ParseSetup(parts.front))), parts.table);
    Bytes brokenWithTag = PlaceContainer(broken, otherChain, Placement::Tag, UINT32_MAX);
    out.Case("signed-last-broken-plus-appended", std::to_string(kFileCorrupt),
             "a setup signed after packing whose manifest changed, a good chain appended in its certificate table",
             WithChainAppendedInTable(broken, otherChain));
    out.Case("signed-last-broken-plus-tag", std::to_string(kFileCorrupt),
             "a setup signed after packing whose manifest changed, a good chain as a tag certificate", brokenWithTag);
    out.Case("signed-last-broken-plus-both", std::to_string(kFileCorrupt),
             "a setup signed after packing whose manifest changed, a good chain as a tag and in the table",
             WithChainAppendedInTable(brokenWithTag, otherChain));
}

void WriteControls(Writer& out, const Setup& base, const Bytes& signedStub, const Bytes& signedSetup) {
    Bytes chain = Chain(base.entries);
    out.Case("control-before-table", "0", "the good setup signed after packing", signedSetup);
    out.Case("control-end", "0", "the good setup itself", SetupFile(base));
    out.Case("control-certificate", "0", "the good chain in the certificate table of a signed launcher",
             PlaceContainer(signedStub, chain, Placement::Certificate, UINT32_MAX));
    out.Case("control-tag", "0", "the good chain in a tag certificate of a signed launcher",
             PlaceContainer(signedStub, chain, Placement::Tag, UINT32_MAX));
}

int Usage() {
    std::fprintf(stderr,
                 "usage: msistub-hostile-files --setup BASE "
                 "--signed-stub STUB --signed-setup SIGNED --other-setup OTHER --key PEM --out DIR\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string setupPath, stubPath, signedSetupPath, otherSetupPath, keyPath, outPath;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--setup")
            setupPath = argv[i + 1];
        else if (option == "--signed-stub")
            stubPath = argv[i + 1];
        else if (option == "--signed-setup")
            signedSetupPath = argv[i + 1];
        else if (option == "--other-setup")
            otherSetupPath = argv[i + 1];
        else if (option == "--key")
            keyPath = argv[i + 1];
        else if (option == "--out")
            outPath = argv[i + 1];
        else
            return Usage();
    }
    if (argc != 13 || setupPath.empty() || stubPath.empty() || signedSetupPath.empty() || otherSetupPath.empty() ||
        keyPath.empty() || outPath.empty())
        return Usage();
    try {
        KeyPtr key = LoadSigningKey(keyPath);
        Setup base = ParseSetup(ReadFileBytes(setupPath, "base setup"));
        Bytes signedStub = ReadFileBytes(stubPath, "signed stub");
        fs::create_directories(outPath);
        Writer out{outPath, std::ofstream(fs::path(outPath) / "cases.txt")};
        Bytes signedSetup = ReadFileBytes(signedSetupPath, "signed setup");
        WriteControls(out, base, signedStub, signedSetup);
        WriteSignedChainWins(out, signedSetup, Chain(ParseSetup(ReadFileBytes(otherSetupPath, "other setup")).entries));
        WriteTruncations(out, base);
        WriteLengthLies(out, base);
        WriteBombs(out, base);
        WriteBadRecords(out, base, key.get());
        WriteChangedAfterSigning(out, base, signedStub);
        WriteHugeTags(out, base, signedStub);
        WriteSignedLast(out, signedSetup);
        if (!out.cases) throw PackError("cases.txt could not be written");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "msistub-hostile-files: %s\n", error.what());
        return 1;
    }
    return 0;
}
