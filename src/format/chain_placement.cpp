#include "format/chain_placement.h"

#include "core/status_lines.h"
#include "format/certificate_table.h"
#include "format/chain_walk.h"

namespace {
bool ManifestEndsAt(const ByteSource& file, uint32_t end, ChainStep* manifest) {
    return FindChainEntry(SourcePrefix(file, end), ManifestEntryGuid, 0, manifest) == ChainSearch::kFound;
}

// The whole file's chain: at its end, else in front of a table that closes
// it, else the end stays and reading its manifest fails there.
ChainPlacement WholeFilePlacement(const ByteSource& file) {
    ChainStep manifest;
    if (ManifestEndsAt(file, file.size, &manifest)) {
        uint32_t dataOffset = 0;
        uint32_t dataLength = 0;
        bool inTable = LocateCertificateData(file, &dataOffset, &dataLength) &&
                       static_cast<uint64_t>(dataOffset) + dataLength == file.size &&
                       manifest.dataOffset >= dataOffset;
        return {inTable ? ChainSite::kCertificateTable : ChainSite::kEndOfFile, file.size, 0};
    }
    uint32_t tableOffset = 0;
    if (FindSignedChainEnd(file, &tableOffset)) return {ChainSite::kBeforeCertificateTable, tableOffset, 0};
    return {ChainSite::kEndOfFile, file.size, 0};
}
}  // namespace

bool FindSignedChainEnd(const ByteSource& file, uint32_t* chainEnd) {
    uint32_t tableOffset = 0;
    ChainStep manifest;
    if (!FindChainEndBeforeCertificateTable(file, &tableOffset) || !ManifestEndsAt(file, tableOffset, &manifest))
        return false;
    *chainEnd = tableOffset;
    return true;
}

StatusValue DecideChainPlacement(const ByteSource& file, const TagReader& reader, ChainPlacement* placement) {
    StatusValue status = StatusOf(kErrorSuccess, kLineNothingFound);
    uint32_t signedEnd = 0;
    if (FindSignedChainEnd(file, &signedEnd)) {
        *placement = {ChainSite::kBeforeCertificateTable, signedEnd, 0};
        return status;
    }
    uint32_t dataOffset = 0;
    uint32_t dataLength = 0;
    if (LocateCertificateData(file, &dataOffset, &dataLength)) {
        uint32_t tagCount = 0;
        status = reader.readTags(reader.context, file, dataOffset, dataLength, &tagCount);
        if (StatusFailed(status) || tagCount != 0) {
            *placement = {ChainSite::kTagCertificate, 0, tagCount};
            return status;
        }
    }
    *placement = WholeFilePlacement(file);
    return status;
}
