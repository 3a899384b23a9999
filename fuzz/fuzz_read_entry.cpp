// The entry chain reader over a blob made of the input: the walk from the
// end, inflation and signature verification, for both entry types, a few
// ids and every combination of the blob flags.
#include <cstdint>
#include <cstring>

#include "container/read_entry.h"
#include "fuzz_check.h"
#include "launcher/status_lines.h"
#include "platform/platform.h"

namespace {

bool IsReadEntryLine(uint32_t line, bool manifest) {
    if (line == kLineEntryNotFound) return true;
    if (manifest)
        return line == kLineManifestInflated || line == kLineManifestNotInflated || line == kLineManifestCopied ||
               line == kLineNoMemoryForManifest || line == kLineManifestSignatureBad ||
               line == kLineManifestKeyNotLoaded;
    return line == kLinePayloadSignatureCopied || line == kLineNoMemoryForSignatureCopy ||
           line == kLinePayloadInflated || line == kLinePayloadNotInflated || line == kLinePayloadCopied ||
           line == kLineNoMemoryForPayload || line == kLinePayloadSignatureBad || line == kLinePayloadKeyNotLoaded;
}

void ReadAndCheck(const ContainerBlob& blob, const EntryTypeGuid& type, uint32_t id) {
    static uint8_t untouched;
    uint8_t* content = &untouched;
    uint32_t length = 0xA5A5A5A5u;
    bool manifest = &type == &ManifestEntryGuid;
    StatusValue status = ReadEntry(blob, type, id, &content, &length);
    FUZZ_CHECK(IsReadEntryLine(StatusLine(status), manifest));
    if (StatusFailed(status)) {
        // Nothing leaks out of a failed read: the outputs stay as they were.
        FUZZ_CHECK(content == &untouched && length == 0xA5A5A5A5u);
        return;
    }
    FUZZ_CHECK(content != nullptr && content != &untouched);
    // Every byte the reader claims to have produced must be inside its buffer.
    volatile uint8_t sum = 0;
    for (uint32_t i = 0; i < length; ++i) sum = static_cast<uint8_t>(sum + content[i]);
    PlatformFree(content);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    // A block of exactly the input's size, so a read past the blob is caught.
    auto* bytes = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, size ? size : 1));
    if (!bytes) return 0;
    if (size) std::memcpy(bytes, data, size);

    // The ids the packer hands out, and the id of the last trailer so that
    // mutations reach the extraction of whatever entry stands last.
    uint32_t ids[] = {0, 1000, 1001, size >= kEntryTrailerSize ? ReadU32Le(data + size - 12) : 1};
    static const uint32_t kFlags[] = {kBlobCompressed | kBlobSigned, 0, kBlobCompressed, kBlobSigned};
    for (uint32_t flags : kFlags) {
        ContainerBlob blob = {bytes, static_cast<uint32_t>(size), nullptr, 0, flags};
        for (uint32_t id : ids) {
            ReadAndCheck(blob, ManifestEntryGuid, id);
            ReadAndCheck(blob, PayloadEntryGuid, id);
        }
    }
    PlatformFree(bytes);
    return 0;
}
