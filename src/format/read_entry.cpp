#include "format/read_entry.h"

#include <cstring>

#include "core/status_lines.h"
#include "format/chain_walk.h"
#include "format/inflate_in_place.h"
#include "format/inflate_to_buffer.h"
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

struct LocatedEntry {
    const uint8_t* data;
    uint32_t dataLength;
    const uint8_t* signature;
    uint32_t signatureLength;
    bool isManifest;
};

bool FindEntry(const ContainerBlob& blob, const EntryTypeGuid& type, uint32_t id, LocatedEntry* found) {
    ChainStep step;
    if (!FindChainEntry(blob.data, blob.size, type, id, &step)) return false;
    *found = {blob.data + step.dataOffset, step.dataLength, blob.data + step.signatureOffset, step.signatureLength,
              step.isManifest};
    return true;
}

// The verification's code with the line of this entry kind.
StatusValue CheckSignature(const uint8_t* content, uint32_t length, const LocatedEntry& entry,
                           const KindLines& lines) {
    StatusValue verified = VerifyEntrySignature(content, length, entry.signature, entry.signatureLength);
    if (StatusSucceeded(verified)) return verified;
    uint32_t code = StatusCode(verified);
    return StatusOf(code, code == kNteBadKey ? lines.keyNotLoaded : lines.signatureBad);
}

// A signed payload without data holds the empty file. Its signature is
// checked like any other, so nobody can swap in content of their choosing by
// editing the trailer.
StatusValue ExtractEmptySignedPayload(const LocatedEntry& entry, uint8_t** content, uint32_t* length) {
    static const uint8_t kNoContent = 0;
    StatusValue status = CheckSignature(&kNoContent, 0, entry, kPayloadLines);
    if (StatusFailed(status)) return status;
    *content = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, 1));
    if (!*content) return MakeStatus(PlatformLastError, kErrorNotEnoughMemory, kLineNoMemoryForEmptyPayload);
    *length = 0;
    return StatusOf(kErrorSuccess, kLineEmptyPayloadVerified);
}

// A new buffer holding `length` bytes of `source`, or null.
uint8_t* CopyOf(const uint8_t* source, uint32_t length) {
    uint8_t* copy = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, length ? length : 1));
    if (copy && length) std::memcpy(copy, source, length);
    return copy;
}

// In a signed blob the buffer is handed out only when its signature holds;
// otherwise it is freed and the verification's status returned.
StatusValue HandOutVerified(bool isSigned, uint8_t* buffer, uint32_t bufferLength, StatusValue status,
                            const LocatedEntry& entry, const KindLines& lines, uint8_t** content, uint32_t* length) {
    if (isSigned) {
        StatusValue verified = CheckSignature(buffer, bufferLength, entry, lines);
        if (StatusFailed(verified)) {
            PlatformFree(buffer);
            return verified;
        }
    }
    *content = buffer;
    *length = bufferLength;
    return status;
}

StatusValue ExtractEntry(const ContainerBlob& blob, const LocatedEntry& entry, uint8_t** content,
                         uint32_t* length) {
    const KindLines& lines = entry.isManifest ? kManifestLines : kPayloadLines;
    bool isSigned = (blob.flags & kBlobSigned) != 0;
    if (!entry.isManifest && isSigned && entry.dataLength == 0)
        return ExtractEmptySignedPayload(entry, content, length);

    uint8_t* buffer = nullptr;
    uint32_t bufferLength = 0;
    StatusValue status = 0;
    if (blob.flags & kBlobCompressed) {
        uint32_t ceiling = entry.isManifest ? kMaxManifestContentLength : kMaxEntryContentLength;
        if (InflateToBufferWithin(&buffer, &bufferLength, entry.data, entry.dataLength, ceiling) != 0)
            return StatusOf(kErrorInvalidData, lines.notInflated);
        status = StatusOf(kErrorSuccess, lines.inflated);
    } else {
        buffer = CopyOf(entry.data, entry.dataLength);
        if (!buffer) return MakeStatus(PlatformLastError, kErrorNotEnoughMemory, lines.noMemory);
        bufferLength = entry.dataLength;
        status = StatusOf(kErrorSuccess, lines.copied);
    }
    return HandOutVerified(isSigned, buffer, bufferLength, status, entry, lines, content, length);
}

const InPlaceEntry* FindInPlaceEntry(const ContainerBlob& blob, uint32_t dataOffset) {
    for (uint32_t i = 0; i < blob.inPlaceCount; ++i)
        if (blob.inPlaceEntries[i].dataOffset == dataOffset) return &blob.inPlaceEntries[i];
    return nullptr;
}

// Content made in place by an earlier read, handed out again as a copy of the
// caller's own and checked again like any other read.
StatusValue CopyInPlaceContent(const ContainerBlob& blob, const LocatedEntry& entry, const InPlaceEntry& earlier,
                               uint8_t** content, uint32_t* length) {
    if (StatusFailed(earlier.status)) return earlier.status;
    uint8_t* copy = CopyOf(blob.data + earlier.dataOffset, earlier.contentLength);
    if (!copy) return MakeStatus(PlatformLastError, kErrorNotEnoughMemory, kLineNoMemoryForPayload);
    return HandOutVerified((blob.flags & kBlobSigned) != 0, copy, earlier.contentLength, earlier.status, entry,
                           kPayloadLines, content, length);
}

// Room for one more record, so that an entry used in place is always recorded.
bool ReserveInPlaceEntry(ContainerBlob* blob) {
    if (blob->inPlaceCount == UINT32_MAX) return false;
    size_t bytes = (static_cast<size_t>(blob->inPlaceCount) + 1) * sizeof(InPlaceEntry);
    void* grown = blob->inPlaceEntries ? PlatformReAlloc(blob->inPlaceEntries, bytes, kMemMoveable)
                                       : PlatformAlloc(kMemFixed, bytes);
    if (!grown) return false;
    blob->inPlaceEntries = static_cast<InPlaceEntry*>(grown);
    return true;
}

// Inflates the entry in place and checks its signature there. False when the
// entry's data are not stored blocks only, or when there is no memory to
// start: the data are then untouched.
bool ExtractEntryInPlace(ContainerBlob* blob, const LocatedEntry& entry, uint32_t dataOffset, StatusValue* status,
                         uint8_t** content, uint32_t* length) {
    uint8_t* data = blob->data + dataOffset;
    if (!IsStoredBlockStream(data, entry.dataLength) || !ReserveInPlaceEntry(blob)) return false;
    uint32_t contentLength = 0;
    InPlaceResult result = InflateStoredInPlace(data, entry.dataLength, &contentLength);
    if (result == InPlaceResult::kNotTried) return false;

    *status = result == InPlaceResult::kInflated ? StatusOf(kErrorSuccess, kLinePayloadInflated)
                                                 : StatusOf(kErrorInvalidData, kLinePayloadNotInflated);
    if (StatusSucceeded(*status) && (blob->flags & kBlobSigned)) {
        StatusValue verified = CheckSignature(data, contentLength, entry, kPayloadLines);
        if (StatusFailed(verified)) *status = verified;
    }
    blob->inPlaceEntries[blob->inPlaceCount++] = {dataOffset, contentLength, *status};
    if (StatusSucceeded(*status)) {
        *content = data;
        *length = contentLength;
    }
    return true;
}
}  // namespace

StatusValue ReadPayloadEntry(ContainerBlob* blob, uint32_t id, uint8_t** content, uint32_t* length, bool* lent) {
    *lent = false;
    LocatedEntry entry;
    if (!FindEntry(*blob, PayloadEntryGuid, id, &entry)) return StatusOf(kErrorNotFound, kLineEntryNotFound);
    uint32_t dataOffset = static_cast<uint32_t>(entry.data - blob->data);
    if (const InPlaceEntry* earlier = FindInPlaceEntry(*blob, dataOffset))
        return CopyInPlaceContent(*blob, entry, *earlier, content, length);

    bool signedWithoutData = (blob->flags & kBlobSigned) && entry.dataLength == 0;
    StatusValue status = 0;
    if ((blob->flags & kBlobCompressed) && !signedWithoutData &&
        ExtractEntryInPlace(blob, entry, dataOffset, &status, content, length)) {
        *lent = StatusSucceeded(status);
        return status;
    }
    return ExtractEntry(*blob, entry, content, length);
}

StatusValue ReadEntry(const ContainerBlob& blob, const EntryTypeGuid& type, uint32_t id, uint8_t** content,
                      uint32_t* length) {
    LocatedEntry entry;
    if (!FindEntry(blob, type, id, &entry)) return StatusOf(kErrorNotFound, kLineEntryNotFound);
    return ExtractEntry(blob, entry, content, length);
}
