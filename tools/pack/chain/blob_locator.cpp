#include "chain/blob_locator.h"

#include "chain/authenticode_certs.h"
#include "chain/entry_chain.h"
#include "core/status_lines.h"
#include "files/pack_error.h"
#include "format/certificate_table.h"
#include "format/chain_placement.h"

namespace {
// The packer's tag reader for the shared placement decision: OpenSSL in
// place of the system's decoder, collecting the values instead of reading
// their manifests at once.
StatusValue ReadTagValues(void* context, const ByteSource& file, uint32_t dataOffset, uint32_t dataLength,
                          uint32_t* tagCount) {
    auto* tags = static_cast<std::vector<TagValue>*>(context);
    size_t derLength = 0;
    Pkcs7Ptr signature = DecodeSignedData(file.memory + dataOffset, dataLength, &derLength);
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

std::vector<LocatedBlob> LocateBlobs(const Bytes& file) {
    if (file.size() > UINT32_MAX) throw PackError("the file is larger than the launcher can read");
    std::vector<TagValue> tags;
    ChainPlacement placement;
    StatusValue status = DecideChainPlacement(MemorySource(file.data(), static_cast<uint32_t>(file.size())),
                                              {ReadTagValues, &tags}, &placement);
    if (StatusFailed(status)) throw PackError("the file's Authenticode signature cannot be decoded");
    std::vector<LocatedBlob> blobs;
    if (placement.site == ChainSite::kTagCertificate) {
        for (TagValue& tag : tags)
            blobs.push_back({BlobSite::TagCertificate, tag.certificateNumber, std::move(tag.value)});
        return blobs;
    }
    blobs.push_back({SiteOf(placement.site), 0, Bytes(file.begin(), file.begin() + placement.chainEnd)});
    return blobs;
}

bool SignedWithoutContainer(const Bytes& file, const std::vector<LocatedBlob>& blobs) {
    if (blobs.size() != 1 || blobs.front().site != BlobSite::EndOfFile) return false;
    if (WalkEntryChain(blobs.front().data.data(), blobs.front().data.size()).reachedManifest) return false;
    const uint8_t* data = nullptr;
    uint32_t length = 0;
    return file.size() <= UINT32_MAX && FindCertificateData(file.data(), static_cast<uint32_t>(file.size()), &data, &length);
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
