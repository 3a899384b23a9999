// Blobs for the selection tests, made in memory: manifest records, entry
// chains (plain or compressed, unsigned or signed with the development key)
// and a blob table that owns them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../portable/container_image.h"
#include "selection/package_item.h"
#include "container/blob_table.h"
#include "platform/platform.h"
#include "selection/select_package.h"

namespace selection_test {

// Entries are built and signed exactly as in the container tests.
using container_test::AppendU32;
using container_test::Bytes;
using container_test::Concat;
using container_test::HeapCopy;
using container_test::Sign;

// A record whose text bytes are given as they are (odd lengths included).
inline Bytes RawRecord(uint32_t id, const Bytes& textBytes) {
    Bytes record;
    AppendU32(&record, id);
    AppendU32(&record, static_cast<uint32_t>(textBytes.size()));
    record.insert(record.end(), textBytes.begin(), textBytes.end());
    return record;
}

// UTF-16LE of a Latin-1 text, optionally with a terminating NUL unit.
inline Bytes Utf16(const std::string& text, bool terminator = false) {
    Bytes bytes;
    for (unsigned char c : text) {
        bytes.push_back(c);
        bytes.push_back(0);
    }
    if (terminator) bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

inline Bytes Record(uint32_t id, const std::string& text) { return RawRecord(id, Utf16(text)); }

struct Payload {
    uint32_t id;
    std::string content;
};

// The manifest entry first, then the payload entries.
inline Bytes EntryChain(const Bytes& manifest, const std::vector<Payload>& payloads, uint32_t flags) {
    std::vector<Bytes> entries = {container_test::Entry(ManifestEntryGuid, 0, manifest, flags)};
    for (const Payload& payload : payloads)
        entries.push_back(
            container_test::Entry(PayloadEntryGuid, payload.id, container_test::Text(payload.content), flags));
    return Concat(entries);
}

// Owns a blob table with its blobs, laid out as the container stage
// leaves them: the chain in `data`, the manifest content in `manifest`.
class TestBlobs {
public:
    TestBlobs() = default;
    TestBlobs(const TestBlobs&) = delete;
    TestBlobs& operator=(const TestBlobs&) = delete;
    ~TestBlobs() {
        for (ContainerBlob& blob : blobs_) {
            PlatformFree(blob.data);
            PlatformFree(blob.manifest);
        }
    }

    void Add(const Bytes& manifest, const std::vector<Payload>& payloads, uint32_t flags = 0) {
        Bytes chain = EntryChain(manifest, payloads, flags);
        ContainerBlob blob = {};
        blob.data = HeapCopy(chain);
        blob.size = static_cast<uint32_t>(chain.size());
        blob.manifest = HeapCopy(manifest);
        blob.manifestSize = static_cast<uint32_t>(manifest.size());
        blob.flags = flags;
        blobs_.push_back(blob);
    }

    ContainerBlob& Blob(size_t index) { return blobs_[index]; }

    BlobTable* Table() {
        table_.blobs = blobs_.data();
        table_.blobCount = static_cast<uint32_t>(blobs_.size());
        return &table_;
    }

private:
    std::vector<ContainerBlob> blobs_;
    BlobTable table_ = {};
};

// Releases what a selection left in the set, as the cleanup does.
inline void ReleaseItems(PackageSet* set) {
    PlatformFree(set->items);
    set->items = nullptr;
    set->itemCount = 0;
}

inline std::string PayloadText(const PackageItem& item) {
    container_test::Bytes content = container_test::StreamedContent(item.payload);
    return std::string(content.begin(), content.end());
}

constexpr char kBadPackageText[] =
    "The installation file is either corrupted or does not support your processor architecture.";

// One run of the selection step over a table, with the set set up as the
// main sequence does and released afterwards as the cleanup does.
struct SelectionRun {
    SelectionRun(TestBlobs* blobs, uint32_t language) : table(blobs->Table()), languageId(language) {
        status = SelectPackage(table, &languageId, &choice, &set, kBadPackageText, errorText, sizeof(errorText));
    }
    ~SelectionRun() { ReleaseItems(&set); }
    SelectionRun(const SelectionRun&) = delete;
    SelectionRun& operator=(const SelectionRun&) = delete;

    BlobTable* table;
    uint32_t languageId;
    PackageChoice choice = {};
    PackageSet set = {};
    char errorText[2048] = {};
    StatusValue status = 0;
};

}  // namespace selection_test
