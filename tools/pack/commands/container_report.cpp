#include "commands/container_report.h"

#include <algorithm>

#include "chain/entry_chain.h"
#include "chain/signing_key.h"
#include "format/container_blob.h"
#include "format/read_entry.h"
#include "platform/platform.h"

namespace {
EntryReport ExamineEntry(const LocatedBlob& blob, const ChainEntry& entry, EVP_PKEY* key) {
    EntryReport report{entry.isManifest, entry.id, entry.dataLength, entry.signatureLength, false, 0, false, {}};
    // Compressed but not signed: ReadEntry walks and inflates, and the
    // signature is checked below against the key the caller chose.
    ContainerBlob view{const_cast<uint8_t*>(blob.data.data()), static_cast<uint32_t>(blob.data.size()), nullptr, 0,
                       kBlobCompressed, nullptr};
    uint8_t* content = nullptr;
    uint32_t length = 0;
    StatusValue status =
        ReadEntry(view, entry.isManifest ? ManifestEntryGuid : PayloadEntryGuid, entry.id, &content, &length);
    if (StatusFailed(status)) return report;
    report.readable = true;
    report.contentSize = length;
    report.content.assign(content, content + length);
    PlatformFree(content);
    const uint8_t* signature = blob.data.data() + entry.dataOffset + entry.dataLength;
    report.verified =
        VerifyContent(key, report.content.data(), report.content.size(), signature, entry.signatureLength);
    return report;
}
}  // namespace

namespace {
// "payload 1001 (cab\1000\main.cab)": the id, and the manifest line that
// names it, so a report says which package or cabinet is affected.
std::string PayloadName(uint32_t id, const std::vector<ManifestRecord>& records) {
    std::string name = "payload " + std::to_string(id);
    for (const ManifestRecord& record : records)
        if (record.id == id) return name + " (" + record.text + ")";
    return name;
}
}  // namespace

RecordKind KindOfRecord(const ManifestRecord& record) {
    std::vector<std::string> fields = LineFields(record.text, 4);
    if (fields.size() >= 3) {
        std::string kind = fields[0];
        std::transform(kind.begin(), kind.end(), kind.begin(), [](unsigned char c) { return std::tolower(c); });
        if (kind == "cab") return RecordKind::Cabinet;
    }
    return fields.size() == 4 ? RecordKind::Package : RecordKind::Other;
}

BlobReport ExamineBlob(const LocatedBlob& blob, EVP_PKEY* key) {
    BlobReport report{DescribeSite(blob), blob.data.size(), false, {}, {}, true, {}};
    if (blob.data.size() > UINT32_MAX) {
        report.problems.push_back("the blob is larger than 4 GiB");
        return report;
    }
    ChainWalk walk = WalkEntryChain(blob.data.data(), blob.data.size());
    report.chainReachesManifest = walk.reachedManifest;
    // The blob is the chain wherever it stands: a file's own bytes in front
    // of it are the launcher, not the container.
    if (walk.reachedManifest) report.size = blob.data.size() - walk.chainStart;
    if (!walk.reachedManifest)
        report.problems.push_back("no manifest entry at the end of the chain (the walk ended at " +
                                  DescribeChainEnd(walk.end) + ")");
    for (const SteppedOverTrailer& trailer : walk.steppedOver)
        report.problems.push_back("payload trailer " + std::to_string(trailer.id) + " at offset " +
                                  std::to_string(trailer.trailerOffset) +
                                  " claims more bytes than stand in front of it; the launcher steps over it");
    if (walk.reachedManifest && walk.entries.front().id != 0)
        report.problems.push_back("the manifest entry has id " + std::to_string(walk.entries.front().id) +
                                  ", and the launcher looks for id 0");
    for (const ChainEntry& entry : walk.entries) report.entries.push_back(ExamineEntry(blob, entry, key));
    if (!walk.entries.empty() && walk.entries.front().isManifest && report.entries.front().readable) {
        const Bytes& manifest = report.entries.front().content;
        DecodedManifest decoded = DecodeManifest(manifest.data(), manifest.size());
        report.records = std::move(decoded.records);
        report.manifestComplete = decoded.complete;
    }
    for (const EntryReport& examined : report.entries) {
        std::string name = examined.isManifest ? "the manifest entry" : PayloadName(examined.id, report.records);
        if (!examined.readable)
            report.problems.push_back(name + " does not inflate");
        else if (!examined.verified)
            report.problems.push_back(name + " has a signature that does not verify");
    }
    if (!report.entries.empty() && report.entries.front().isManifest && report.entries.front().readable) {
        if (!report.manifestComplete) report.problems.push_back("the manifest ends in a malformed record");
        for (const ManifestRecord& record : report.records) {
            if (KindOfRecord(record) == RecordKind::Other) continue;
            bool present = std::any_of(walk.entries.begin(), walk.entries.end(),
                                       [&](const ChainEntry& e) { return !e.isManifest && e.id == record.id; });
            if (!present) report.problems.push_back("record " + std::to_string(record.id) + " names no payload entry");
        }
    }
    return report;
}

bool BlobVerifies(const BlobReport& report) { return report.problems.empty(); }
