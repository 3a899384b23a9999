#include "blob_locator.h"

#include "authenticode_certs.h"
#include "format/certificate_table.h"
#include "entry_chain.h"
#include "pack_error.h"

std::vector<LocatedBlob> LocateBlobs(const Bytes& file) {
    std::vector<LocatedBlob> blobs;
    if (file.size() > UINT32_MAX) throw PackError("the file is larger than the launcher can read");
    const uint8_t* certificateData = nullptr;
    uint32_t certificateDataLength = 0;
    bool isSigned =
        FindCertificateData(file.data(), static_cast<uint32_t>(file.size()), &certificateData, &certificateDataLength);
    if (isSigned) {
        size_t derLength = 0;
        Pkcs7Ptr signature = DecodeSignedData(certificateData, certificateDataLength, &derLength);
        if (!signature) throw PackError("the file's Authenticode signature cannot be decoded");
        for (TagValue& tag : FindTagValues(signature.get()))
            blobs.push_back({BlobSite::TagCertificate, tag.certificateNumber, std::move(tag.value)});
        if (!blobs.empty()) return blobs;
    }
    ChainWalk walk = WalkEntryChain(file.data(), file.size());
    BlobSite site = BlobSite::EndOfFile;
    if (isSigned) {
        uint64_t dataEnd = static_cast<uint64_t>(certificateData - file.data()) + certificateDataLength;
        if (dataEnd == file.size() && walk.reachedManifest &&
            walk.chainStart >= static_cast<uint64_t>(certificateData - file.data()))
            site = BlobSite::CertificateTable;
    }
    // The launcher's second look, for a setup signed after it was packed.
    uint32_t tableOffset = 0;
    if (!walk.reachedManifest && FindChainEndBeforeCertificateTable(file.data(), static_cast<uint32_t>(file.size()),
                                                                    static_cast<uint32_t>(file.size()), &tableOffset)) {
        Bytes image(file.begin(), file.begin() + tableOffset);
        if (WalkEntryChain(image.data(), image.size()).reachedManifest) {
            blobs.push_back({BlobSite::BeforeCertificateTable, 0, std::move(image)});
            return blobs;
        }
    }
    blobs.push_back({site, 0, file});
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
