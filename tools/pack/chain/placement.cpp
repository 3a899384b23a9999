#include "chain/placement.h"

#include <algorithm>

#include "chain/authenticode_certs.h"
#include "chain/entry_chain.h"
#include "chain/pe_image.h"
#include "files/pack_error.h"
#include "format/entry_format.h"

namespace {
constexpr uint32_t kWinCertificateHeader = 8;
constexpr size_t kSignedFileAlignment = 8;

void CheckOutputFits(uint64_t size, uint64_t limit) {
    if (size > limit)
        throw PackError("the setup file would be " + std::to_string(size) +
                        " bytes; the launcher reads files of at most " + std::to_string(limit));
}

// Signing tools append the certificate table at the next multiple of 8 and
// fill the gap with zeros; a setup whose length already is one keeps its
// chain ending at the table's first byte, where the launcher looks for it.
// The zeros go in front of the manifest entry, where the walk never reads.
void PadForSigning(Bytes* out, uint64_t chainSize) {
    size_t padding = (kSignedFileAlignment - (out->size() + chainSize) % kSignedFileAlignment) % kSignedFileAlignment;
    out->resize(out->size() + padding, 0);
}

// The bytes of a setup in front of its chain; for a tag, where the chain
// lies inside the signature, the whole setup.
struct SetupHead {
    Bytes bytes;
    bool chainFollows;
    bool updateChecksum;  // a stub without a checksum keeps none
};

SetupHead HeadAtEnd(const Bytes& stub, const PeLayout& layout, uint64_t chainSize, uint64_t limit) {
    Bytes out = StubWithoutChain(stub);
    PadForSigning(&out, chainSize);
    CheckOutputFits(uint64_t{out.size()} + chainSize, limit);
    bool updateChecksum = ReadU32Le(out.data() + layout.checksumOffset) != 0;
    return {std::move(out), true, updateChecksum};
}

// Rewrites the one WIN_CERTIFICATE entry with new certificate data; the table
// stays at its offset and still reaches to the end of the file.
// `chain` is needed for a tag only.
SetupHead HeadInSignature(const Bytes& stub, const PeLayout& layout, const Bytes* chain, uint64_t chainSize, bool asTag,
                          uint64_t limit) {
    const uint64_t tableOffset = layout.certificateTableOffset;
    const uint32_t tableSize = layout.certificateTableSize;
    if (tableOffset + tableSize != stub.size())
        throw PackError("the stub has data after its certificate table; sign the stub last");
    const uint32_t entryLength = ReadU32Le(stub.data() + tableOffset);
    if (entryLength < kWinCertificateHeader || entryLength > tableSize || tableSize - entryLength >= 8)
        throw PackError("the stub's certificate table does not hold exactly one WIN_CERTIFICATE entry");
    size_t derLength = 0;
    Pkcs7Ptr signature = DecodeSignedData(stub.data() + tableOffset + kWinCertificateHeader,
                                          entryLength - kWinCertificateHeader, &derLength);
    if (!signature) throw PackError("the stub's Authenticode signature cannot be decoded");

    RemoveTagCertificates(signature.get());
    if (asTag) {
        X509Ptr tag = MakeTagCertificate(*chain);
        AddCertificate(signature.get(), tag.get());
    }
    Bytes data = EncodeSignedData(signature.get());
    // The chain must end at the file's last byte, so the padding that keeps
    // the entry length a multiple of 8 goes in front of it.
    uint64_t unpadded = uint64_t{kWinCertificateHeader} + data.size() + (asTag ? 0 : chainSize);
    data.resize(data.size() + static_cast<size_t>((8 - unpadded % 8) % 8), 0);

    uint64_t newEntryLength = kWinCertificateHeader + uint64_t{data.size()} + (asTag ? 0 : chainSize);
    CheckOutputFits(tableOffset + newEntryLength, limit);

    Bytes out(stub.begin(), stub.begin() + static_cast<ptrdiff_t>(tableOffset));
    out.resize(out.size() + kWinCertificateHeader);
    uint8_t* header = out.data() + tableOffset;
    WriteU32Le(header, static_cast<uint32_t>(newEntryLength));
    std::copy(stub.begin() + static_cast<ptrdiff_t>(tableOffset + 4),
              stub.begin() + static_cast<ptrdiff_t>(tableOffset + 8), header + 4);  // revision and type
    out.insert(out.end(), data.begin(), data.end());
    SetCertificateTable(&out, layout, static_cast<uint32_t>(tableOffset), static_cast<uint32_t>(newEntryLength));
    bool updateChecksum = ReadU32Le(out.data() + layout.checksumOffset) != 0;
    return {std::move(out), !asTag, updateChecksum};
}

SetupHead PlaceHead(const Bytes& stub, const Bytes* chain, uint64_t chainSize, Placement placement,
                    uint64_t sizeLimit) {
    placement = ResolvePlacement(stub, placement);
    std::optional<PeLayout> layout = FindPeLayout(stub.data(), stub.size());
    bool isSigned = HasCertificateTable(*layout, stub.size());
    if (placement == Placement::End) {
        if (isSigned)
            throw PackError(
                "the stub is signed and data at its end would break the signature; "
                "use --placement tag or certificate");
        return HeadAtEnd(stub, *layout, chainSize, sizeLimit);
    }
    if (!isSigned)
        throw PackError(
            "the stub has no Authenticode signature to hold the container; "
            "sign it first (for example with osslsigncode) or use --placement end");
    return HeadInSignature(stub, *layout, chain, chainSize, placement == Placement::Tag, sizeLimit);
}
}  // namespace

Bytes StubWithoutChain(const Bytes& stub) {
    ChainWalk walk = WalkEntryChain(stub.data(), stub.size());
    if (!walk.reachedManifest) return stub;
    Bytes out(stub.begin(), stub.begin() + static_cast<ptrdiff_t>(walk.chainStart));
    while (out.size() % kSignedFileAlignment != 0 && out.back() == 0) out.pop_back();
    return out;
}

Placement PlacementFromName(const std::string& name) {
    if (name == "end") return Placement::End;
    if (name == "certificate") return Placement::Certificate;
    if (name == "tag") return Placement::Tag;
    if (name == "auto") return Placement::Automatic;
    throw PackError("unknown placement \"" + name + "\"");
}

const char* PlacementName(Placement placement) {
    switch (placement) {
        case Placement::Automatic:
            return "auto";
        case Placement::End:
            return "end";
        case Placement::Certificate:
            return "certificate";
        case Placement::Tag:
            return "tag";
    }
    return "";
}

Placement ResolvePlacement(const Bytes& stub, Placement placement) {
    std::optional<PeLayout> layout = FindPeLayout(stub.data(), stub.size());
    if (!layout) throw PackError("the stub is not a 64-bit Windows executable (PE32+)");
    if (placement != Placement::Automatic) return placement;
    return HasCertificateTable(*layout, stub.size()) ? Placement::Tag : Placement::End;
}

Bytes PlaceContainer(const Bytes& stub, const Bytes& chain, Placement placement, uint64_t sizeLimit) {
    SetupHead head = PlaceHead(stub, &chain, chain.size(), placement, sizeLimit);
    Bytes out = std::move(head.bytes);
    if (head.chainFollows) out.insert(out.end(), chain.begin(), chain.end());
    if (head.updateChecksum) UpdatePeChecksum(&out, *FindPeLayout(out.data(), out.size()));
    return out;
}

uint64_t WriteSetupFile(const Bytes& stub, PartialFile* chain, uint64_t chainSize, Placement placement,
                        uint64_t sizeLimit, PartialFile* out) {
    Bytes wholeChain;
    if (ResolvePlacement(stub, placement) == Placement::Tag) {
        wholeChain.reserve(static_cast<size_t>(chainSize));
        chain->ReadBack(chainSize, [&](const uint8_t* data, size_t size) {
            wholeChain.insert(wholeChain.end(), data, data + size);
        });
    }
    SetupHead head = PlaceHead(stub, &wholeChain, chainSize, placement, sizeLimit);
    const PeLayout layout = *FindPeLayout(head.bytes.data(), head.bytes.size());
    PeChecksum checksum = StartPeChecksum(layout);
    out->Write(head.bytes.data(), head.bytes.size());
    AddToPeChecksum(&checksum, head.bytes.data(), head.bytes.size());
    if (head.chainFollows)
        chain->ReadBack(chainSize, [&](const uint8_t* data, size_t size) {
            out->Write(data, size);
            AddToPeChecksum(&checksum, data, size);
        });
    if (head.updateChecksum) {
        uint8_t field[4];
        WriteU32Le(field, FinishPeChecksum(checksum));
        out->Patch(layout.checksumOffset, field, sizeof field);
    }
    return out->Position();
}
