// Manifest enumeration with both line matchers: the input is the manifest of
// one blob, or of two blobs, and the selection step runs over it as the
// launcher runs it, for a user language that pass 1 can match and one that
// needs all three passes. The blobs' chains hold small payload entries for
// the ids the packer hands out, so chosen packages and gathered cabinets are
// really read.
#include <cstdint>
#include <cstring>
#include <vector>

#include "exact_copy.h"
#include "format/entry_format.h"
#include "fuzz_check.h"
#include "platform/platform.h"
#include "selection/cabinet_line.h"
#include "selection/enumerate_manifest.h"
#include "selection/select_package.h"

namespace {

constexpr char kBadPackageText[] = "bad package";

void AppendStoredEntry(std::vector<uint8_t>* chain, const EntryTypeGuid& type, uint32_t id, const char* content) {
    size_t length = std::strlen(content);
    chain->insert(chain->end(), content, content + length);
    EntryTrailer trailer = {};
    EntryGuidBytes(type, trailer.typeGuid);
    trailer.id = id;
    trailer.signatureLength = 0;
    trailer.dataLength = static_cast<uint32_t>(length);
    uint8_t encoded[kEntryTrailerSize];
    EncodeEntryTrailer(trailer, encoded);
    chain->insert(chain->end(), encoded, encoded + kEntryTrailerSize);
}

// A chain of stored, unsigned entries (blob flags 0).
const std::vector<uint8_t>& PayloadChain() {
    static const std::vector<uint8_t> chain = [] {
        std::vector<uint8_t> bytes;
        AppendStoredEntry(&bytes, ManifestEntryGuid, 0, "");
        static const uint32_t kIds[] = {1, 2, 3, 1000, 1001, 1002, 1003, 0xFFFFFFFFu};
        for (uint32_t id : kIds) AppendStoredEntry(&bytes, PayloadEntryGuid, id, "payload");
        return bytes;
    }();
    return chain;
}

bool Terminated(const char* field, size_t size) { return std::memchr(field, 0, size) != nullptr; }

void ReleaseItems(PackageSet* set) {
    PlatformFree(set->items);
    *set = {};
}

void CheckItems(const PackageSet& set) {
    FUZZ_CHECK(set.itemCount >= 0);
    for (int32_t i = 0; i < set.itemCount; ++i) {
        FUZZ_CHECK(Terminated(set.items[i].fileName, sizeof set.items[i].fileName));
        FUZZ_CHECK(set.items[i].fileName[0] != 0);
        // A gathered name never leaves the product folder it is joined to.
        FUZZ_CHECK(std::strpbrk(set.items[i].fileName, "\\/:*?\"<>|") == nullptr);
        FUZZ_CHECK(std::strcmp(set.items[i].fileName, ".") != 0 && std::strcmp(set.items[i].fileName, "..") != 0);
    }
}

void RunSelection(BlobTable* state, uint32_t language) {
    uint32_t languageId = language;
    PackageChoice choice = {};
    PackageSet set = {};
    char errorText[2048] = {};
    StatusValue status =
        SelectPackage(state, &languageId, &choice, &set, kBadPackageText, errorText, sizeof errorText);

    FUZZ_CHECK(Terminated(choice.platform, sizeof choice.platform));
    FUZZ_CHECK(Terminated(choice.languages, sizeof choice.languages));
    FUZZ_CHECK(Terminated(choice.productCode, sizeof choice.productCode));
    FUZZ_CHECK(Terminated(choice.productName, sizeof choice.productName));
    FUZZ_CHECK(languageId == language || languageId == 1033);
    CheckItems(set);
    if (StatusSucceeded(status)) {
        FUZZ_CHECK(choice.entryId != 0 && choice.blobIndex < state->blobCount);
        FUZZ_CHECK(set.itemCount >= 1 && std::strcmp(set.items[0].fileName, "main.msi") == 0);
        for (int32_t i = 0; i < set.itemCount; ++i)
            FUZZ_CHECK(set.items[i].payload.contentLength == 0 || set.items[i].payload.source.memory != nullptr);
    } else {
        FUZZ_CHECK(std::strcmp(errorText, kBadPackageText) == 0);
    }
    ReleaseItems(&set);
}

// Cabinet gathering for the first record's id, whether or not a package line
// would have been chosen, so the cabinet matcher sees every input.
int RememberFirstId(uint32_t, uint32_t recordId, const char16_t*, uint32_t, void* context) {
    *static_cast<uint32_t*>(context) = recordId;
    return 0;
}

int CountRecord(uint32_t, uint32_t, const char16_t*, uint32_t, void* context) {
    *static_cast<uint32_t*>(context) += 1;
    return 1;
}

void RunCabinetGathering(const BlobTable* state) {
    uint32_t entryId = 0;
    EnumerateManifest(state, RememberFirstId, &entryId);
    PackageSet set = {};
    CabinetGather gather = {state, &set.items, &set.itemCount, state->blobCount - 1, entryId, 0};
    EnumerateManifest(state, MatchCabinetLine, &gather);
    CheckItems(set);
    ReleaseItems(&set);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    const std::vector<uint8_t>& chain = PayloadChain();
    ContainerBlob blobs[2];
    for (ContainerBlob& blob : blobs) {
        blob = {};
        blob.data = ExactCopy(chain.data(), chain.size());
        blob.size = static_cast<uint32_t>(chain.size());
        // Each manifest in a block of exactly its size.
        blob.manifest = ExactCopy(data, size);
        blob.manifestSize = static_cast<uint32_t>(size);
    }

    for (uint32_t blobCount = 1; blobCount <= 2; ++blobCount) {
        BlobTable state = {blobs, blobCount, nullptr};
        RunSelection(&state, 1033);
        RunSelection(&state, 2055);
        RunCabinetGathering(&state);
        // Without a context both matchers pass every record on, so the walk
        // ends exactly as a walk that visits every record does.
        uint32_t visited = 0;
        bool complete = EnumerateManifest(&state, CountRecord, &visited);
        FUZZ_CHECK(EnumerateManifest(&state, MatchPackageLine, nullptr) == complete);
        FUZZ_CHECK(EnumerateManifest(&state, MatchCabinetLine, nullptr) == complete);
    }

    for (ContainerBlob& blob : blobs) {
        PlatformFree(blob.data);
        PlatformFree(blob.manifest);
    }
    return 0;
}
