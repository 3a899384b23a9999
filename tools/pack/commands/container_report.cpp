#include "commands/container_report.h"

#include <algorithm>

#include "chain/entry_chain.h"
#include "chain/entry_content.h"
#include "files/pack_error.h"
#include "format/container_blob.h"
#include "format/read_entry.h"
#include "platform/platform.h"

namespace {
// Only when the setup shrank or failed while it was read: nothing in it is
// then known to be as it was examined.
[[noreturn]] void SetupUnreadable(const std::string& path) {
    throw PackError("cannot read the setup " + path + ": it could not be read to its end, or it changed while it was read");
}

// The manifest is decoded whole, and the launcher's ReadEntry holds it to a
// manifest's ceiling.
bool ReadManifestContent(const ByteSource& blob, uint32_t id, Bytes* content, const std::string& path) {
    ContainerBlob view{const_cast<uint8_t*>(blob.memory), blob.size, nullptr, 0, kBlobCompressed, blob.file};
    uint8_t* data = nullptr;
    uint32_t length = 0;
    StatusValue status = ReadEntry(view, ManifestEntryGuid, id, &data, &length);
    if (StatusCode(status) == kErrorReadFault) SetupUnreadable(path);
    if (StatusFailed(status)) return false;
    content->assign(data, data + length);
    PlatformFree(data);
    return true;
}

// A signature longer than the key's can never verify, so a trailer that
// claims gigabytes of one is not read.
bool SignatureVerifies(const ByteSource& blob, const ChainEntry& entry, EVP_PKEY* key, const Sha256Digest& digest,
                       const std::string& path) {
    if (entry.signatureLength > static_cast<uint32_t>(std::max(EVP_PKEY_size(key), 0))) return false;
    Bytes signature(entry.signatureLength);
    if (!ReadSourceBytes(blob, static_cast<uint32_t>(entry.dataOffset + entry.dataLength), signature.data(),
                         entry.signatureLength))
        SetupUnreadable(path);
    return VerifySha256(key, digest, signature.data(), signature.size());
}

// The manifest's content goes to `manifest`; a payload's is only digested.
EntryReport ExamineEntry(const ByteSource& blob, const ChainEntry& entry, EVP_PKEY* key, Bytes* manifest,
                         const std::string& path) {
    EntryReport report{entry.isManifest, entry.id, entry.dataLength, entry.signatureLength, false, 0, false, {}, 0, 0};
    ChainStep found;
    ChainSearch search = FindChainEntry(blob, entry.isManifest ? ManifestEntryGuid : PayloadEntryGuid, entry.id, &found);
    if (search == ChainSearch::kReadFailed) SetupUnreadable(path);
    if (search == ChainSearch::kNotFound) return report;
    report.contentDataOffset = found.dataOffset;
    report.contentDataLength = found.dataLength;
    uint64_t length = 0;
    if (entry.isManifest) {
        if (!ReadManifestContent(blob, entry.id, manifest, path)) return report;
        DigestContextPtr digest = StartSha256();
        AddToSha256(digest.get(), manifest->data(), manifest->size());
        report.contentSha256 = FinishSha256(digest.get());
        length = manifest->size();
    } else {
        StreamResult result = DigestEntryContent(blob, found.dataOffset, found.dataLength, kMaxEntryContentLength,
                                                 &report.contentSha256, &length);
        if (result == StreamResult::kReadFailed) SetupUnreadable(path);
        if (result != StreamResult::kEnded) return report;
    }
    report.readable = true;
    report.contentSize = static_cast<uint32_t>(length);
    report.verified = SignatureVerifies(blob, entry, key, report.contentSha256, path);
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

BlobReport ExamineBlob(const LocatedBlob& blob, EVP_PKEY* key, const std::string& path) {
    BlobReport report{blob.bytes, DescribeSite(blob), blob.bytes.size, false, {}, {}, true, {}};
    ChainWalk walk = WalkEntryChain(blob.bytes);
    report.chainReachesManifest = walk.reachedManifest;
    // The blob is the chain wherever it stands: a file's own bytes in front
    // of it are the launcher, not the container.
    if (walk.reachedManifest) report.size = blob.bytes.size - walk.chainStart;
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
    Bytes manifest;
    for (const ChainEntry& entry : walk.entries)
        report.entries.push_back(ExamineEntry(blob.bytes, entry, key, &manifest, path));
    if (!walk.entries.empty() && walk.entries.front().isManifest && report.entries.front().readable) {
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

void WriteEntryContent(const BlobReport& blob, const EntryReport& entry, ByteSink* sink, const std::string& path) {
    DigestContextPtr digest = StartSha256();
    uint64_t length = 0;
    StreamResult result = InflateEntryContent(blob.bytes, entry.contentDataOffset, entry.contentDataLength,
                                              entry.contentSize, [&](const uint8_t* data, size_t size) {
                                                  AddToSha256(digest.get(), data, size);
                                                  sink->Write(data, size);
                                                  length += size;
                                              });
    if (result != StreamResult::kEnded || length != entry.contentSize ||
        FinishSha256(digest.get()) != entry.contentSha256)
        SetupUnreadable(path);
}
