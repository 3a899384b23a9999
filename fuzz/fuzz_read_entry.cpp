// The entry chain reader over a blob made of the input: the walk from the
// end, inflation and signature verification, for both entry types, a few
// ids and every combination of the blob flags. Payloads read in place must
// give exactly what reading them into buffers gives, the first time and
// every time after, and leave every other entry readable as before.
#include <cstdint>
#include <cstring>

#include "exact_copy.h"
#include "format/read_entry.h"
#include "fuzz_check.h"
#include "core/status_lines.h"
#include "platform/platform.h"

namespace {

bool IsReadEntryLine(uint32_t line, bool manifest) {
    if (line == kLineEntryNotFound) return true;
    if (manifest)
        return line == kLineManifestInflated || line == kLineManifestNotInflated || line == kLineManifestCopied ||
               line == kLineNoMemoryForManifest || line == kLineManifestSignatureBad ||
               line == kLineManifestKeyNotLoaded;
    return line == kLineEmptyPayloadVerified || line == kLineNoMemoryForEmptyPayload ||
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

void ComparePayloadRead(const ContainerBlob& pristine, ContainerBlob* working, uint32_t id) {
    uint8_t* expected = nullptr;
    uint32_t expectedLength = 0;
    StatusValue expectedStatus = ReadEntry(pristine, PayloadEntryGuid, id, &expected, &expectedLength);
    uint8_t* content = nullptr;
    uint32_t length = 0;
    bool lent = false;
    StatusValue status = ReadPayloadEntry(working, id, &content, &length, &lent);
    FUZZ_CHECK(status == expectedStatus);
    FUZZ_CHECK(!lent || StatusSucceeded(status));
    if (StatusSucceeded(status)) {
        FUZZ_CHECK(length == expectedLength && (length == 0 || std::memcmp(content, expected, length) == 0));
        if (lent) {
            FUZZ_CHECK(content >= working->data && length <= working->size - (content - working->data));
        } else {
            PlatformFree(content);
        }
        PlatformFree(expected);
    }
}

void CompareInPlaceReads(const uint8_t* data, size_t size, uint32_t flags, const uint32_t* ids, size_t idCount) {
    uint8_t* bytes = ExactCopy(data, size);
    if (!bytes) return;
    ContainerBlob pristine = {const_cast<uint8_t*>(data), static_cast<uint32_t>(size), nullptr, 0, flags, nullptr, 0};
    ContainerBlob working = {bytes, static_cast<uint32_t>(size), nullptr, 0, flags, nullptr, 0};
    for (int round = 0; round < 2; ++round)
        for (size_t i = 0; i < idCount; ++i) ComparePayloadRead(pristine, &working, ids[i]);

    uint8_t* manifest = nullptr;
    uint8_t* expected = nullptr;
    uint32_t length = 0, expectedLength = 0;
    StatusValue expectedStatus = ReadEntry(pristine, ManifestEntryGuid, 0, &expected, &expectedLength);
    FUZZ_CHECK(ReadEntry(working, ManifestEntryGuid, 0, &manifest, &length) == expectedStatus);
    if (StatusSucceeded(expectedStatus)) {
        FUZZ_CHECK(length == expectedLength && (length == 0 || std::memcmp(manifest, expected, length) == 0));
        PlatformFree(manifest);
        PlatformFree(expected);
    }
    PlatformFree(working.inPlaceEntries);
    PlatformFree(bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    uint8_t* bytes = ExactCopy(data, size);
    if (!bytes) return 0;

    // The ids the packer hands out, and the id of the last trailer so that
    // mutations reach the extraction of whatever entry stands last.
    uint32_t ids[] = {0, 1000, 1001, size >= kEntryTrailerSize ? ReadU32Le(data + size - 12) : 1};
    static const uint32_t kFlags[] = {kBlobCompressed | kBlobSigned, 0, kBlobCompressed, kBlobSigned};
    for (uint32_t flags : kFlags) {
        ContainerBlob blob = {bytes, static_cast<uint32_t>(size), nullptr, 0, flags, nullptr, 0};
        for (uint32_t id : ids) {
            ReadAndCheck(blob, ManifestEntryGuid, id);
            ReadAndCheck(blob, PayloadEntryGuid, id);
        }
        CompareInPlaceReads(bytes, size, flags, ids, sizeof ids / sizeof ids[0]);
    }
    PlatformFree(bytes);
    return 0;
}
