#include "selection/enumerate_manifest.h"

#include <cstring>

#include "format/manifest_records.h"
#include "platform/platform.h"

namespace {
// Copies `units` UTF-16LE code units into a new aligned buffer, or null when
// memory runs out. A record that follows one of odd length starts at an odd
// offset, and the splitter and the converter read whole code units.
char16_t* CopyRecordText(const uint8_t* text, uint32_t units) {
    size_t bytes = static_cast<size_t>(units) * sizeof(char16_t);
    auto* aligned = static_cast<char16_t*>(PlatformAlloc(kMemFixed, bytes + sizeof(char16_t)));
    if (!aligned) return nullptr;
    if (bytes) std::memcpy(aligned, text, bytes);
    aligned[units] = 0;
    return aligned;
}

struct RecordOffer {
    uint32_t blobIndex;
    ManifestCallback callback;
    void* context;
    bool stopped;     // the callback asked to stop
    bool noMemory;    // a text could not be copied
};

bool OfferRecord(const ManifestRecordView& record, void* context) {
    auto* offer = static_cast<RecordOffer*>(context);
    uint32_t units = record.byteLength / 2;
    char16_t* text = CopyRecordText(record.text, units);
    if (!text) {
        offer->noMemory = true;
        return false;
    }
    int goOn = offer->callback(offer->blobIndex, record.id, text, units, offer->context);
    PlatformFree(text);
    offer->stopped = goOn == 0;
    return !offer->stopped;
}
}  // namespace

bool EnumerateManifest(const BlobTable* table, ManifestCallback callback, void* context) {
    for (uint32_t index = 0; index < table->blobCount; ++index) {
        const ContainerBlob& blob = table->blobs[index];
        if (blob.manifestSize == 0 || !blob.manifest) continue;
        RecordOffer offer = {index, callback, context, false, false};
        ManifestWalkEnd end = WalkManifestRecords(blob.manifest, blob.manifestSize, OfferRecord, &offer);
        if (offer.stopped) return true;
        if (offer.noMemory || end == ManifestWalkEnd::kMalformed) return false;
    }
    return true;
}
