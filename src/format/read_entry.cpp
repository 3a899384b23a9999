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

constexpr uint32_t kMeasurePieceSize = 16384;

struct LocatedEntry {
    ByteSource source;
    ChainStep step;
    bool isSigned;
    bool compressed;
};

StatusValue ReadFailed() { return StatusOf(kErrorReadFault, kLineOwnFileReadFailed); }

StatusValue FindEntry(const ContainerBlob& blob, const EntryTypeGuid& type, uint32_t id, LocatedEntry* found) {
    found->source = BlobSource(blob);
    found->isSigned = (blob.flags & kBlobSigned) != 0;
    found->compressed = (blob.flags & kBlobCompressed) != 0;
    switch (FindChainEntry(found->source, type, id, &found->step)) {
        case ChainSearch::kFound:
            return StatusOf(kErrorSuccess, 0);
        case ChainSearch::kReadFailed:
            return ReadFailed();
        case ChainSearch::kNotFound:
            break;
    }
    return StatusOf(kErrorNotFound, kLineEntryNotFound);
}

// Only a signature of the one valid length is read; any other fails in the
// check unread.
bool ReadSignature(const LocatedEntry& entry, uint8_t signature[kSignatureSize]) {
    std::memset(signature, 0, kSignatureSize);
    return entry.step.signatureLength != kSignatureSize ||
           ReadSourceBytes(entry.source, entry.step.signatureOffset, signature, kSignatureSize);
}

// The verification's code with the line of this entry kind.
StatusValue WithKindLine(StatusValue verified, const KindLines& lines) {
    if (StatusSucceeded(verified)) return verified;
    uint32_t code = StatusCode(verified);
    return StatusOf(code, code == kNteBadKey ? lines.keyNotLoaded : lines.signatureBad);
}

StatusValue CheckDigest(const uint8_t digest[kDigestSize], const LocatedEntry& entry, const KindLines& lines) {
    uint8_t signature[kSignatureSize];
    if (!ReadSignature(entry, signature)) return ReadFailed();
    return WithKindLine(VerifyEntryDigest(digest, signature, entry.step.signatureLength), lines);
}

StatusValue CheckContent(const uint8_t* content, uint32_t length, const LocatedEntry& entry, const KindLines& lines) {
    uint8_t signature[kSignatureSize];
    if (!ReadSignature(entry, signature)) return ReadFailed();
    return WithKindLine(VerifyEntrySignature(content, length, signature, entry.step.signatureLength), lines);
}

bool IsEmptySignedPayload(const LocatedEntry& entry) {
    return !entry.step.isManifest && entry.isSigned && entry.step.dataLength == 0;
}

// A signed payload without data holds the empty file. Its signature is
// checked like any other, so nobody can swap in content of their choosing by
// editing the trailer.
StatusValue ExtractEmptySignedPayload(const LocatedEntry& entry, uint8_t** content, uint32_t* length) {
    static const uint8_t kNoContent = 0;
    StatusValue status = CheckContent(&kNoContent, 0, entry, kPayloadLines);
    if (StatusFailed(status)) return status;
    *content = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, 1));
    if (!*content) return MakeStatus(PlatformLastError, kErrorNotEnoughMemory, kLineNoMemoryForEmptyPayload);
    *length = 0;
    return StatusOf(kErrorSuccess, kLineEmptyPayloadVerified);
}

// The content's length, from a first pass that keeps nothing: a stream
// that inflates past its ceiling fails here, having taken no more memory
// than a setup of any size does.
StreamResult MeasureContent(const LocatedEntry& entry, uint32_t ceiling, uint32_t* length) {
    uint8_t piece[kMeasurePieceSize];
    EntryStream stream;
    StreamResult result =
        OpenEntryStream(&stream, entry.source, entry.step.dataOffset, entry.step.dataLength, true, ceiling);
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

// The second pass fills a buffer of exactly the measured length; a stream
// that now yields anything else fails as one that does not inflate.
StreamResult InflateMeasured(const LocatedEntry& entry, uint32_t length, uint8_t** content) {
    auto* buffer = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, length ? length : 1));
    if (!buffer) return StreamResult::kNoMemory;
    EntryStream stream;
    StreamResult result =
        OpenEntryStream(&stream, entry.source, entry.step.dataOffset, entry.step.dataLength, true, length);
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

StatusValue ReadCompressed(const LocatedEntry& entry, const KindLines& lines, uint8_t** buffer, uint32_t* length) {
    uint32_t ceiling = entry.step.isManifest ? kMaxManifestContentLength : kMaxEntryContentLength;
    StreamResult result = MeasureContent(entry, ceiling, length);
    if (result == StreamResult::kEnded) result = InflateMeasured(entry, *length, buffer);
    if (result == StreamResult::kReadFailed) return ReadFailed();
    if (result != StreamResult::kEnded) return StatusOf(kErrorInvalidData, lines.notInflated);
    return StatusOf(kErrorSuccess, lines.inflated);
}

StatusValue ReadPlain(const LocatedEntry& entry, const KindLines& lines, uint8_t** buffer, uint32_t* length) {
    uint32_t dataLength = entry.step.dataLength;
    auto* copy = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, dataLength ? dataLength : 1));
    if (!copy) return MakeStatus(PlatformLastError, kErrorNotEnoughMemory, lines.noMemory);
    if (!ReadSourceBytes(entry.source, entry.step.dataOffset, copy, dataLength)) {
        PlatformFree(copy);
        return ReadFailed();
    }
    *buffer = copy;
    *length = dataLength;
    return StatusOf(kErrorSuccess, lines.copied);
}

StatusValue ExtractEntry(const LocatedEntry& entry, uint8_t** content, uint32_t* length) {
    const KindLines& lines = entry.step.isManifest ? kManifestLines : kPayloadLines;
    if (IsEmptySignedPayload(entry)) return ExtractEmptySignedPayload(entry, content, length);

    uint8_t* buffer = nullptr;
    uint32_t bufferLength = 0;
    StatusValue status = entry.compressed ? ReadCompressed(entry, lines, &buffer, &bufferLength)
                                          : ReadPlain(entry, lines, &buffer, &bufferLength);
    if (StatusFailed(status)) return status;
    // In a signed blob the buffer is handed out only when its signature holds.
    if (entry.isSigned) {
        StatusValue verified = CheckContent(buffer, bufferLength, entry, lines);
        if (StatusFailed(verified)) {
            PlatformFree(buffer);
            return verified;
        }
    }
    *content = buffer;
    *length = bufferLength;
    return status;
}

StatusValue DigestPayload(const LocatedEntry& entry, VerifiedPayload* payload) {
    EntryStream stream;
    uint64_t length = 0;
    StreamResult result = OpenEntryStream(&stream, payload->source, payload->dataOffset, payload->dataLength,
                                          payload->compressed != 0, kMaxEntryContentLength);
    if (result == StreamResult::kMore) result = DigestEntryStream(&stream, payload->digest, &length);
    CloseEntryStream(&stream);
    if (result == StreamResult::kReadFailed) return ReadFailed();
    if (result != StreamResult::kEnded) {
        if (entry.compressed) return StatusOf(kErrorInvalidData, kLinePayloadNotInflated);
        return StatusOf(kErrorNotEnoughMemory, kLineNoMemoryForPayload);
    }
    payload->contentLength = static_cast<uint32_t>(length);
    return StatusOf(kErrorSuccess, entry.compressed ? kLinePayloadInflated : kLinePayloadCopied);
}
}  // namespace

StatusValue ReadEntry(const ContainerBlob& blob, const EntryTypeGuid& type, uint32_t id, uint8_t** content,
                      uint32_t* length) {
    LocatedEntry entry;
    StatusValue found = FindEntry(blob, type, id, &entry);
    if (StatusFailed(found)) return found;
    return ExtractEntry(entry, content, length);
}

StatusValue VerifyPayloadEntry(const ContainerBlob& blob, uint32_t id, VerifiedPayload* payload) {
    LocatedEntry entry;
    *payload = {};
    StatusValue status = FindEntry(blob, PayloadEntryGuid, id, &entry);
    if (StatusFailed(status)) return status;
    // The empty content of a signed entry without data is read as plain data.
    bool empty = IsEmptySignedPayload(entry);
    *payload = {entry.source, entry.step.dataOffset, entry.step.dataLength, entry.compressed && !empty, 0, {}};
    status = DigestPayload(entry, payload);
    if (empty && StatusSucceeded(status)) status = StatusOf(kErrorSuccess, kLineEmptyPayloadVerified);
    if (StatusSucceeded(status) && entry.isSigned) {
        StatusValue verified = CheckDigest(payload->digest, entry, kPayloadLines);
        if (StatusFailed(verified)) status = verified;
    }
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
