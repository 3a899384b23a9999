#include "format/chain_walk.h"

#include <cstring>

ChainCursor StartChainWalk(const ByteSource& blob) { return {blob, blob.size, ChainEnd::kNotYet}; }

ChainCursor StartChainWalk(const uint8_t* blob, uint32_t size) { return StartChainWalk(MemorySource(blob, size)); }

namespace {
bool SameGuid(const EntryTypeGuid& a, const EntryTypeGuid& b) {
    uint8_t aBytes[16], bBytes[16];
    EntryGuidBytes(a, aBytes);
    EntryGuidBytes(b, bBytes);
    return std::memcmp(aBytes, bBytes, sizeof aBytes) == 0;
}

bool EndWalk(ChainCursor* cursor, ChainEnd end) {
    cursor->end = end;
    return false;
}
}  // namespace

bool NextChainStep(ChainCursor* cursor, ChainStep* step) {
    if (cursor->end != ChainEnd::kNotYet) return false;
    if (cursor->position < kEntryTrailerSize) return EndWalk(cursor, ChainEnd::kNoRoomForTrailer);

    uint32_t trailerAt = cursor->position - kEntryTrailerSize;
    uint8_t trailerBytes[kEntryTrailerSize];
    if (!ReadSourceBytes(cursor->blob, trailerAt, trailerBytes, kEntryTrailerSize))
        return EndWalk(cursor, ChainEnd::kReadFailed);
    EntryTrailer trailer = DecodeEntryTrailer(trailerBytes);
    bool isManifest = TrailerHasType(trailer, ManifestEntryGuid);
    if (!isManifest && !TrailerHasType(trailer, PayloadEntryGuid)) return EndWalk(cursor, ChainEnd::kUnknownTrailer);
    *step = {ChainStepKind::kSteppedOver, isManifest, trailer.id, trailerAt, 0, trailer.dataLength, 0,
             trailer.signatureLength};

    if (trailer.signatureLength > trailerAt) {
        if (isManifest) return EndWalk(cursor, ChainEnd::kManifestTooLong);
        cursor->position = trailerAt;
        return true;
    }
    uint32_t signatureAt = trailerAt - trailer.signatureLength;
    if (trailer.dataLength > signatureAt) {
        if (isManifest) return EndWalk(cursor, ChainEnd::kManifestTooLong);
        cursor->position = signatureAt;
        return true;
    }
    step->kind = ChainStepKind::kEntry;
    step->signatureOffset = signatureAt;
    step->dataOffset = signatureAt - trailer.dataLength;
    cursor->position = step->dataOffset;
    if (isManifest) cursor->end = ChainEnd::kManifestReached;
    return true;
}

ChainSearch FindChainEntry(const ByteSource& blob, const EntryTypeGuid& type, uint32_t id, ChainStep* found) {
    bool wantManifest = SameGuid(type, ManifestEntryGuid);
    bool wantPayload = SameGuid(type, PayloadEntryGuid);
    ChainCursor cursor = StartChainWalk(blob);
    ChainStep step;
    while (NextChainStep(&cursor, &step)) {
        if (step.kind != ChainStepKind::kEntry || step.id != id) continue;
        if (step.isManifest ? wantManifest : wantPayload) {
            *found = step;
            return ChainSearch::kFound;
        }
    }
    return cursor.end == ChainEnd::kReadFailed ? ChainSearch::kReadFailed : ChainSearch::kNotFound;
}
