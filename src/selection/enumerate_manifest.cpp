#include "selection/enumerate_manifest.h"

#include <cstring>

#include "format/manifest_records.h"
#include "platform/platform.h"

namespace {
// Converts `units` UTF-16LE code units with the ANSI code page into a new
// zero-terminated buffer, or null when memory runs out. A record that follows
// one of odd length starts at an odd offset, so its text is first copied to
// an aligned buffer: the converter reads whole code units.
char* ConvertRecordText(const uint8_t* text, int units) {
    char16_t* aligned = nullptr;
    const char16_t* source = reinterpret_cast<const char16_t*>(text);
    if (units > 0 && reinterpret_cast<uintptr_t>(text) % alignof(char16_t) != 0) {
        aligned = static_cast<char16_t*>(PlatformAlloc(kMemFixed, static_cast<size_t>(units) * sizeof(char16_t)));
        if (!aligned) return nullptr;
        std::memcpy(aligned, text, static_cast<size_t>(units) * sizeof(char16_t));
        source = aligned;
    }
    int needed = units > 0 ? PlatformUtf16ToAnsi(source, units, nullptr, 0) : 0;
    if (needed < 0) needed = 0;
    char* converted = static_cast<char*>(PlatformAlloc(kMemZeroInit, static_cast<size_t>(needed) + 1));
    if (converted && needed > 0) PlatformUtf16ToAnsi(source, units, converted, needed);
    PlatformFree(aligned);
    return converted;
}

struct RecordOffer {
    uint32_t blobIndex;
    ManifestCallback callback;
    void* context;
    bool stopped;     // the callback asked to stop
    bool noMemory;    // a text could not be converted
};

bool OfferRecord(const ManifestRecordView& record, void* context) {
    auto* offer = static_cast<RecordOffer*>(context);
    char* text = ConvertRecordText(record.text, static_cast<int>(record.byteLength / 2));
    if (!text) {
        offer->noMemory = true;
        return false;
    }
    int goOn = offer->callback(offer->blobIndex, record.id, text, offer->context);
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
