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
    BlobSite site = BlobSite::EndOfFile;
    if (isSigned) {
        uint64_t dataEnd = static_cast<uint64_t>(certificateData - file.data()) + certificateDataLength;
        ChainWalk walk = WalkEntryChain(file.data(), file.size());
        if (dataEnd == file.size() && walk.reachedManifest &&
            walk.chainStart >= static_cast<uint64_t>(certificateData - file.data()))
            site = BlobSite::CertificateTable;
    }
    blobs.push_back({site, 0, file});
    return blobs;
}

std::string DescribeSite(const LocatedBlob& blob) {
    switch (blob.site) {
        case BlobSite::TagCertificate:
            return "tag certificate " + std::to_string(blob.certificateNumber);
        case BlobSite::CertificateTable:
            return "certificate table";
        case BlobSite::EndOfFile:
            return "end of file";
    }
    return "";
}
