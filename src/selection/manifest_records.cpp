#include "selection/manifest_records.h"

#include <cstring>

#include "container/entry_format.h"
#include "platform/platform.h"

namespace {
constexpr uint32_t kRecordHeaderSize = 8;

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

enum class WalkEnd { Finished, Stopped, Malformed };

WalkEnd WalkOneManifest(uint32_t blobIndex, const uint8_t* manifest, uint32_t size, ManifestCallback callback,
                        void* context) {
    uint32_t offset = 0;
    while (offset < size) {
        if (size - offset < kRecordHeaderSize) return WalkEnd::Malformed;
        uint32_t id = ReadU32Le(manifest + offset);
        uint32_t length = ReadU32Le(manifest + offset + 4);
        if (length > size - offset - kRecordHeaderSize) return WalkEnd::Malformed;

        // An odd length leaves its last byte out of the text.
        char* text = ConvertRecordText(manifest + offset + kRecordHeaderSize, static_cast<int>(length / 2));
        if (!text) return WalkEnd::Malformed;
        int goOn = callback(blobIndex, id, text, context);
        PlatformFree(text);
        if (goOn == 0) return WalkEnd::Stopped;

        offset += kRecordHeaderSize + length;
    }
    return WalkEnd::Finished;
}
}  // namespace

bool EnumerateManifest(const LauncherState* state, ManifestCallback callback, void* context) {
    for (uint32_t index = 0; index < state->blobCount; ++index) {
        const ContainerBlob& blob = state->blobs[index];
        if (blob.manifestSize == 0 || !blob.manifest) continue;
        WalkEnd end = WalkOneManifest(index, blob.manifest, blob.manifestSize, callback, context);
        if (end == WalkEnd::Stopped) return true;
        if (end == WalkEnd::Malformed) return false;
    }
    return true;
}
