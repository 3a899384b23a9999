// The packing tool's finding of a setup's chains against the launcher's, for
// any file: `msistub-pack list/verify/extract` must look at exactly the
// bytes the launcher would install from. The launcher side reads the file
// through a file source with its own blob table (PlaceContainerBlobs), as it
// reads its own file; the tool side holds the file in memory (LocateBlobs).
// Both take their tags from OpenSSL here, since the system's decoder exists
// only on Windows; the launcher's reader stops at the first tag whose
// manifest does not read, as the real one does.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "chain/authenticode_certs.h"
#include "chain/blob_locator.h"
#include "chain/entry_chain.h"
#include "container/blob_table.h"
#include "core/status_lines.h"
#include "files/pack_error.h"
#include "fuzz_check.h"
#include "platform/platform.h"

namespace {
StatusValue LauncherTagReader(void* context, const ByteSource& file, uint32_t dataOffset, uint32_t dataLength,
                              uint32_t* tagCount) {
    auto* table = static_cast<BlobTable*>(context);
    std::vector<uint8_t> data(dataLength);
    if (!ReadSourceBytes(file, dataOffset, data.data(), dataLength)) return StatusOf(kErrorReadFault, 0);
    size_t derLength = 0;
    Pkcs7Ptr signature = DecodeSignedData(data.data(), data.size(), &derLength);
    if (!signature) return StatusOf(kEInvalidArg, kLineSignatureNotAccepted);
    StatusValue status = StatusOf(kErrorSuccess, kLineNothingFound);
    uint32_t before = table->blobCount;
    for (const TagValue& tag : FindTagValues(signature.get())) {
        status = AppendBlobCopy(table, tag.value.data(), static_cast<uint32_t>(tag.value.size()),
                                kLineNoMemoryForTagValue, kLineTagBlobNotAppended);
        if (StatusFailed(status)) break;
    }
    *tagCount = table->blobCount - before;
    return status;
}

bool IsManifestStatusLine(uint32_t line) { return line >= kLineEntryNotFound && line <= kLineManifestKeyNotLoaded; }

void CompareTags(const std::vector<LocatedBlob>& located, const BlobTable& table, StatusValue status) {
    FUZZ_CHECK(table.blobCount <= located.size());
    for (uint32_t i = 0; i < table.blobCount; ++i) {
        FUZZ_CHECK(located[i].site == BlobSite::TagCertificate);
        FUZZ_CHECK(table.blobs[i].size == located[i].data.size());
        FUZZ_CHECK(table.blobs[i].size == 0 ||
                   std::memcmp(table.blobs[i].data, located[i].data.data(), table.blobs[i].size) == 0);
    }
    // The launcher stops only where a tag's manifest does not read.
    if (table.blobCount < located.size()) FUZZ_CHECK(IsManifestStatusLine(StatusLine(status)));
    else FUZZ_CHECK(StatusSucceeded(status));
}

void CompareWholeFile(const LocatedBlob& located, const BlobTable& table, StatusValue status) {
    FUZZ_CHECK(located.site != BlobSite::TagCertificate);
    if (StatusFailed(status)) {
        FUZZ_CHECK(table.blobCount == 0 && IsManifestStatusLine(StatusLine(status)));
        return;
    }
    FUZZ_CHECK(table.blobCount == 1 && table.blobs[0].size == located.data.size());
    // A manifest the launcher read is the first entry of the chain the tool lists.
    ChainWalk walk = WalkEntryChain(located.data.data(), located.data.size());
    FUZZ_CHECK(walk.reachedManifest && walk.entries.front().isManifest && walk.entries.front().id == 0);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    Bytes file(data, data + size);
    std::vector<LocatedBlob> located;
    bool toolRefuses = false;
    try {
        located = LocateBlobs(file);
    } catch (const PackError&) {
        toolRefuses = true;
    }

    FILE* stored = std::tmpfile();
    if (!stored) return 0;
    if (size) std::fwrite(data, 1, size, stored);
    std::fflush(stored);
    BlobTable table = {};
    table.ownFile = stored;
    ChainPlacement placement = {ChainSite::kEndOfFile, 0, 0};
    StatusValue status = PlaceContainerBlobs(&table, FileSource(stored, static_cast<uint32_t>(size)),
                                             {LauncherTagReader, &table}, &placement);
    if (toolRefuses) {
        FUZZ_CHECK(StatusLine(status) == kLineSignatureNotAccepted && table.blobCount == 0);
    } else if (placement.site == ChainSite::kTagCertificate || (!located.empty() &&
                                                                located.front().site == BlobSite::TagCertificate)) {
        FUZZ_CHECK(placement.site == ChainSite::kTagCertificate);
        CompareTags(located, table, status);
    } else {
        FUZZ_CHECK(located.size() == 1);
        CompareWholeFile(located.front(), table, status);
    }
    ReleaseBlobTable(&table);
    return 0;
}
