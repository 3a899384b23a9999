#include "format/read_entry.h"

#include <cstring>

#include "core/status_lines.h"
#include "format/chain_walk.h"
#include "format/verify_entry_signature.h"
#include "platform/platform.h"

namespace {
// The sites of one entry kind; the manifest and the payloads report the same
// outcomes from different lines.
struct KindLines {
    uint32_t inflated;
    uint32_t notInflated;
    uint32_t copied;
    uint32_t noMemory;
    uint32_t signatureBad;
    uint32_t keyNotLoaded;
};

constexpr KindLines kManifestLines = {kLineManifestInflated,     kLineManifestNotInflated, kLineManifestCopied,
                                      kLineNoMemoryForManifest, kLineManifestSignatureBad, kLineManifestKeyNotLoaded};
constexpr KindLines kPayloadLines = {kLinePayloadInflated,     kLinePayloadNotInflated,  kLinePayloadCopied,
                                     kLineNoMemoryForPayload, kLinePayloadSignatureBad, kLinePayloadKeyNotLoaded};
// A signed payload without data holds the empty file, in a compressed blob
// as in any other: it is read as plain data of no bytes and reports from
// lines of its own. Its signature is checked like any other, so nobody can
// swap in content of their choosing by editing the trailer.
constexpr KindLines kEmptyPayloadLines = {kLinePayloadInflated,          kLinePayloadNotInflated,
                                          kLineEmptyPayloadVerified,     kLineNoMemoryForEmptyPayload,
                                          kLinePayloadSignatureBad,      kLinePayloadKeyNotLoaded};

constexpr uint32_t kMeasurePieceSize = 16384;

struct LocatedEntry {
    ByteSource source;
    ChainStep step;
    bool isSigned;
    bool compressed;  // the data are a zlib stream
    const KindLines* lines;
};

StatusValue ReadFailed() { return StatusOf(kErrorReadFault, kLineOwnFileReadFailed); }

// Settles how the entry is read and which lines it reports from, the one
// place where the signed empty payload differs from the rest.
void ClassifyEntry(const ContainerBlob& blob, LocatedEntry* entry) {
    entry->isSigned = (blob.flags & kBlobSigned) != 0;
    bool emptySignedPayload = !entry->step.isManifest && entry->isSigned && entry->step.dataLength == 0;
    entry->compressed = (blob.flags & kBlobCompressed) != 0 && !emptySignedPayload;
    entry->lines = entry->step.isManifest ? &kManifestLines : emptySignedPayload ? &kEmptyPayloadLines : &kPayloadLines;
}

StatusValue FindEntry(const ContainerBlob& blob, const EntryTypeGuid& type, uint32_t id, LocatedEntry* found) {
    found->source = BlobSource(blob);
    switch (FindChainEntry(found->source, type, id, &found->step)) {
        case ChainSearch::kFound:
            ClassifyEntry(blob, found);
            return StatusOf(kErrorSuccess, 0);
        case ChainSearch::kReadFailed:
            return ReadFailed();
        case ChainSearch::kNotFound:
            break;
    }
    return StatusOf(kErrorNotFound, kLineEntryNotFound);
}

// What a stream over the entry's content ended with, as the entry reports
// it: a compressed entry whose content could not be made did not inflate,
// whatever stopped it; plain data only fail to be read or held.
StatusValue StreamStatus(StreamResult result, const LocatedEntry& entry) {
    const KindLines& lines = *entry.lines;
    if (result == StreamResult::kEnded) return StatusOf(kErrorSuccess, entry.compressed ? lines.inflated : lines.copied);
    if (result == StreamResult::kReadFailed) return ReadFailed();
    if (entry.compressed) return StatusOf(kErrorInvalidData, lines.notInflated);
    return MakeStatus(PlatformLastError, kErrorNotEnoughMemory, lines.noMemory);
}

// Only a signature of the one valid length is read; any other fails in the
// check unread.
bool ReadSignature(const LocatedEntry& entry, uint8_t signature[kSignatureSize]) {
    std::memset(signature, 0, kSignatureSize);
    return entry.step.signatureLength != kSignatureSize ||
           ReadSourceBytes(entry.source, entry.step.signatureOffset, signature, kSignatureSize);
}

// The verification's code with the line of this entry kind.
StatusValue WithKindLine(StatusValue verified, const LocatedEntry& entry) {
    if (StatusSucceeded(verified)) return verified;
    uint32_t code = StatusCode(verified);
    return StatusOf(code, code == kNteBadKey ? entry.lines->keyNotLoaded : entry.lines->signatureBad);
}

StatusValue CheckDigest(const uint8_t digest[kDigestSize], const LocatedEntry& entry) {
    uint8_t signature[kSignatureSize];
    if (!ReadSignature(entry, signature)) return ReadFailed();
    return WithKindLine(VerifyEntryDigest(digest, signature, entry.step.signatureLength), entry);
}

StatusValue CheckContent(const uint8_t* content, uint32_t length, const LocatedEntry& entry) {
    uint8_t signature[kSignatureSize];
    if (!ReadSignature(entry, signature)) return ReadFailed();
    return WithKindLine(VerifyEntrySignature(content, length, signature, entry.step.signatureLength), entry);
}

StreamResult OpenContentStream(EntryStream* stream, const LocatedEntry& entry, uint64_t maxLength) {
    return OpenEntryStream(stream, entry.source, entry.step.dataOffset, entry.step.dataLength, entry.compressed,
                           maxLength);
}

// The content's length: plain data are their own content; a zlib stream is
// measured in a first pass that keeps nothing, so a stream that inflates past
// its ceiling fails here, having taken no more memory than a setup of any
// size does.
StreamResult MeasureContent(const LocatedEntry& entry, uint32_t* length) {
    if (!entry.compressed) {
        *length = entry.step.dataLength;
        return StreamResult::kEnded;
    }
    uint32_t ceiling = entry.step.isManifest ? kMaxManifestContentLength : kMaxEntryContentLength;
    uint8_t piece[kMeasurePieceSize];
    EntryStream stream;
    StreamResult result = OpenContentStream(&stream, entry, ceiling);
    uint64_t total = 0;
    while (result == StreamResult::kMore) {
        uint32_t got = 0;
        result = ReadEntryStream(&stream, piece, sizeof piece, &got);
        total += got;
    }
    CloseEntryStream(&stream);
    *length = static_cast<uint32_t>(total);
    return result;
}

// Fills a buffer of exactly the measured length; a stream that now yields
// anything else fails as one that does not inflate.
StreamResult ReadMeasured(const LocatedEntry& entry, uint32_t length, uint8_t** content) {
    auto* buffer = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, length ? length : 1));
    if (!buffer) return StreamResult::kNoMemory;
    EntryStream stream;
    StreamResult result = OpenContentStream(&stream, entry, length);
    uint32_t got = 0;
    if (result == StreamResult::kMore) result = ReadEntryStream(&stream, buffer, length, &got);
    if (result == StreamResult::kMore || result == StreamResult::kEnded)
        result = got == length ? FinishEntryStream(&stream) : StreamResult::kBadData;
    CloseEntryStream(&stream);
    if (result != StreamResult::kEnded) {
        PlatformFree(buffer);
        return result;
    }
    *content = buffer;
    return result;
}

// The whole content in a new buffer; in a signed blob it is handed out only
// when its signature holds.
StatusValue ReadContent(const LocatedEntry& entry, uint8_t** content, uint32_t* length) {
    uint8_t* buffer = nullptr;
    uint32_t bufferLength = 0;
    StreamResult result = MeasureContent(entry, &bufferLength);
    if (result == StreamResult::kEnded) result = ReadMeasured(entry, bufferLength, &buffer);
    StatusValue status = StreamStatus(result, entry);
    if (StatusFailed(status)) return status;
    if (entry.isSigned) {
        StatusValue verified = CheckContent(buffer, bufferLength, entry);
        if (StatusFailed(verified)) {
            PlatformFree(buffer);
            return verified;
        }
    }
    *content = buffer;
    *length = bufferLength;
    return status;
}

// The content hashed and measured in one pass, then, in a signed blob, the
// signature checked against the digest.
StatusValue DigestPayload(const LocatedEntry& entry, VerifiedPayload* payload) {
    *payload = {entry.source, entry.step.dataOffset, entry.step.dataLength, entry.compressed ? 1u : 0u, 0, {}};
    EntryStream stream;
    uint64_t length = 0;
    StreamResult result = OpenContentStream(&stream, entry, kMaxEntryContentLength);
    if (result == StreamResult::kMore) result = DigestEntryStream(&stream, payload->digest, &length);
    CloseEntryStream(&stream);
    payload->contentLength = static_cast<uint32_t>(length);
    StatusValue status = StreamStatus(result, entry);
    if (StatusFailed(status) || !entry.isSigned) return status;
    StatusValue verified = CheckDigest(payload->digest, entry);
    return StatusFailed(verified) ? verified : status;
}
}  // namespace

StatusValue ReadEntry(const ContainerBlob& blob, const EntryTypeGuid& type, uint32_t id, uint8_t** content,
                      uint32_t* length) {
    LocatedEntry entry;
    StatusValue found = FindEntry(blob, type, id, &entry);
    if (StatusFailed(found)) return found;
    return ReadContent(entry, content, length);
}

StatusValue VerifyPayloadEntry(const ContainerBlob& blob, uint32_t id, VerifiedPayload* payload) {
    LocatedEntry entry;
    *payload = {};
    StatusValue status = FindEntry(blob, PayloadEntryGuid, id, &entry);
    if (StatusSucceeded(status)) status = DigestPayload(entry, payload);
    // A record that failed leads nowhere.
    if (StatusFailed(status)) *payload = {};
    return status;
}

StreamResult OpenPayloadStream(EntryStream* stream, const VerifiedPayload& payload) {
    // The content is known to the byte: a read that would yield more fails as
    // soon as it does.
    return OpenEntryStream(stream, payload.source, payload.dataOffset, payload.dataLength, payload.compressed != 0,
                           payload.contentLength);
}

StreamResult OpenPayloadStreamForWriting(EntryStream* stream, const VerifiedPayload& payload) {
    if (!payload.compressed) return OpenPayloadStream(stream, payload);
    return OpenRawDeflateStream(stream, payload.source, payload.dataOffset, payload.dataLength,
                                payload.contentLength);
}
