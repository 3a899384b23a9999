#include "chain/blob_locator.h"

#include <algorithm>

#include "chain/authenticode_certs.h"
#include "chain/entry_chain.h"
#include "core/status_lines.h"
#include "files/pack_error.h"
#include "format/certificate_table.h"
#include "format/chain_placement.h"

namespace {
// How many of the certificate data's bytes the signed message takes, as its
// DER header says: a chain packed into the certificate table follows it
// there and need not be read to decode the signature. All of them when the
// header gives no definite length, so the decoder sees what it always saw.
uint32_t SignedMessageLength(const ByteSource& file, uint32_t dataOffset, uint32_t dataLength) {
    constexpr uint32_t kSequenceTag = 0x30;
    constexpr uint32_t kLongForm = 0x80;
    uint8_t header[6] = {};
    const uint32_t available = std::min<uint32_t>(sizeof header, dataLength);
    if (available < 2 || !ReadSourceBytes(file, dataOffset, header, available) || header[0] != kSequenceTag)
        return dataLength;
    uint64_t length = header[1];
    uint32_t headerSize = 2;
    if (header[1] & kLongForm) {
        const uint32_t lengthBytes = header[1] & ~kLongForm;
        if (lengthBytes == 0 || lengthBytes > 4 || available < 2 + lengthBytes) return dataLength;
        length = 0;
        for (uint32_t i = 0; i < lengthBytes; ++i) length = length << 8 | header[2 + i];
        headerSize += lengthBytes;
    }
    return static_cast<uint32_t>(std::min<uint64_t>(headerSize + length, dataLength));
}

// The packer's tag reader for the shared placement decision: OpenSSL in
// place of the system's decoder, collecting the values instead of reading
// their manifests at once.
StatusValue ReadTagValues(void* context, const ByteSource& file, uint32_t dataOffset, uint32_t dataLength,
                          uint32_t* tagCount) {
    auto* tags = static_cast<std::vector<TagValue>*>(context);
    Bytes message(SignedMessageLength(file, dataOffset, dataLength));
    if (!ReadSourceBytes(file, dataOffset, message.data(), static_cast<uint32_t>(message.size())))
        return StatusOf(kErrorReadFault, kLineOwnFileReadFailed);
    size_t derLength = 0;
    Pkcs7Ptr signature = DecodeSignedData(message.data(), message.size(), &derLength);
    if (!signature) return StatusOf(kEInvalidArg, kLineSignatureNotAccepted);
    *tags = FindTagValues(signature.get());
    *tagCount = static_cast<uint32_t>(tags->size());
    return StatusOf(kErrorSuccess, kLineNothingFound);
}

BlobSite SiteOf(ChainSite site) {
    switch (site) {
        case ChainSite::kTagCertificate:
            return BlobSite::TagCertificate;
        case ChainSite::kBeforeCertificateTable:
            return BlobSite::BeforeCertificateTable;
        case ChainSite::kCertificateTable:
            return BlobSite::CertificateTable;
        case ChainSite::kEndOfFile:
            break;
    }
    return BlobSite::EndOfFile;
}
}  // namespace

std::vector<LocatedBlob> LocateBlobs(const ByteSource& file) {
    std::vector<TagValue> tags;
    ChainPlacement placement;
    StatusValue status = DecideChainPlacement(file, {ReadTagValues, &tags}, &placement);
    if (StatusFailed(status)) throw PackError("the file's Authenticode signature cannot be decoded");
    std::vector<LocatedBlob> blobs;
    if (placement.site == ChainSite::kTagCertificate) {
        for (TagValue& tag : tags) {
            auto value = std::make_shared<const Bytes>(std::move(tag.value));
            blobs.push_back({BlobSite::TagCertificate, tag.certificateNumber,
                             MemorySource(value->data(), static_cast<uint32_t>(value->size())), value});
        }
        return blobs;
    }
    blobs.push_back({SiteOf(placement.site), 0, SourcePrefix(file, placement.chainEnd), nullptr});
    return blobs;
}

std::vector<LocatedBlob> LocateBlobs(const Bytes& file) {
    if (file.size() > UINT32_MAX) throw PackError("the file is larger than the launcher can read");
    return LocateBlobs(MemorySource(file.data(), static_cast<uint32_t>(file.size())));
}

bool SignedWithoutContainer(const ByteSource& file, const std::vector<LocatedBlob>& blobs) {
    if (blobs.size() != 1 || blobs.front().site != BlobSite::EndOfFile) return false;
    if (WalkEntryChain(blobs.front().bytes).reachedManifest) return false;
    uint32_t dataOffset = 0;
    uint32_t dataLength = 0;
    return LocateCertificateData(file, &dataOffset, &dataLength);
}

std::string DescribeSite(const LocatedBlob& blob) {
    switch (blob.site) {
        case BlobSite::TagCertificate:
            return "tag certificate " + std::to_string(blob.certificateNumber);
        case BlobSite::CertificateTable:
            return "certificate table";
        case BlobSite::EndOfFile:
            return "end of file";
        case BlobSite::BeforeCertificateTable:
            return "in front of the certificate table";
    }
    return "";
}
