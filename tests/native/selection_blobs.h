// Blobs for the selection tests, made in memory: manifest records, entry
// chains (plain or compressed, unsigned or signed with the development key)
// and a LauncherState that owns them.
#pragma once

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "container/entry_format.h"
#include "extract/package_item.h"
#include "launcher/launcher_state.h"
#include "platform/platform.h"
#include "selection/select_package.h"

namespace selection_test {

using Bytes = std::vector<uint8_t>;

inline void AppendU32(Bytes* out, uint32_t value) {
    uint8_t bytes[4];
    WriteU32Le(bytes, value);
    out->insert(out->end(), bytes, bytes + 4);
}

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

inline Bytes Concat(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

struct Payload {
    uint32_t id;
    std::string content;
};

inline Bytes Compress(const Bytes& content) {
    uLongf size = compressBound(static_cast<uLong>(content.size()));
    Bytes out(size);
    if (compress2(out.data(), &size, content.data(), static_cast<uLong>(content.size()), 9) != Z_OK) return {};
    out.resize(size);
    return out;
}

// RSASSA-PKCS1-v1_5 with SHA-256 by the development private key.
inline Bytes Sign(const Bytes& content) {
    Bytes signature;
    FILE* file = std::fopen(MSISTUB_DEV_PRIVATE_KEY, "rb");
    if (!file) return signature;
    EVP_PKEY* key = PEM_read_PrivateKey(file, nullptr, nullptr, nullptr);
    std::fclose(file);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    size_t length = 0;
    if (key && context && EVP_DigestSignInit(context, nullptr, EVP_sha256(), nullptr, key) == 1 &&
        EVP_DigestSign(context, nullptr, &length, content.data(), content.size()) == 1) {
        signature.resize(length);
        if (EVP_DigestSign(context, signature.data(), &length, content.data(), content.size()) != 1)
            signature.clear();
    }
    EVP_MD_CTX_free(context);
    EVP_PKEY_free(key);
    return signature;
}

inline void AppendEntry(Bytes* chain, const EntryTypeGuid& type, uint32_t id, const Bytes& content,
                        uint32_t flags) {
    Bytes data = (flags & kBlobCompressed) ? Compress(content) : content;
    Bytes signature = (flags & kBlobSigned) ? Sign(content) : Bytes();
    chain->insert(chain->end(), data.begin(), data.end());
    chain->insert(chain->end(), signature.begin(), signature.end());
    EntryTrailer trailer = {};
    EntryGuidBytes(type, trailer.typeGuid);
    trailer.id = id;
    trailer.signatureLength = static_cast<uint32_t>(signature.size());
    trailer.dataLength = static_cast<uint32_t>(data.size());
    uint8_t encoded[kEntryTrailerSize];
    EncodeEntryTrailer(trailer, encoded);
    chain->insert(chain->end(), encoded, encoded + kEntryTrailerSize);
}

// The manifest entry first, then the payload entries.
inline Bytes EntryChain(const Bytes& manifest, const std::vector<Payload>& payloads, uint32_t flags) {
    Bytes chain;
    AppendEntry(&chain, ManifestEntryGuid, 0, manifest, flags);
    for (const Payload& payload : payloads)
        AppendEntry(&chain, PayloadEntryGuid, payload.id, Bytes(payload.content.begin(), payload.content.end()),
                    flags);
    return chain;
}

inline uint8_t* HeapCopy(const Bytes& bytes) {
    auto* copy = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, bytes.empty() ? 1 : bytes.size()));
    if (copy && !bytes.empty()) std::memcpy(copy, bytes.data(), bytes.size());
    return copy;
}

// Owns a LauncherState with its blobs, laid out as the container stage
// leaves them: the chain in `data`, the manifest content in `manifest`.
class BlobTable {
public:
    BlobTable() = default;
    BlobTable(const BlobTable&) = delete;
    BlobTable& operator=(const BlobTable&) = delete;
    ~BlobTable() {
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

    LauncherState* State(uint32_t languageId) {
        state_ = {};
        state_.languageId = languageId;
        state_.blobs = blobs_.data();
        state_.blobCount = static_cast<uint32_t>(blobs_.size());
        return &state_;
    }

private:
    std::vector<ContainerBlob> blobs_;
    LauncherState state_ = {};
};

// Releases what a selection left in the set, as the cleanup does.
inline void ReleaseItems(ExtractionSet* set) {
    for (int32_t i = 0; i < set->itemCount; ++i) PlatformFree(set->items[i].payload);
    PlatformFree(set->items);
    set->items = nullptr;
    set->itemCount = 0;
}

inline std::string PayloadText(const PackageItem& item) {
    return item.payload ? std::string(reinterpret_cast<const char*>(item.payload), item.payloadSize) : std::string();
}

constexpr char kBadPackageText[] =
    "The installation file is either corrupted or does not support your processor architecture.";

// One run of the selection step over a table, with the set set up as the
// main sequence does and released afterwards as the cleanup does.
struct SelectionRun {
    SelectionRun(BlobTable* table, uint32_t languageId) : state(table->State(languageId)) {
        set.currentItem = -1;
        set.chunkSize = kChunkSize;
        status = SelectPackage(state, &choice, &set, kBadPackageText, errorText, sizeof(errorText));
    }
    ~SelectionRun() { ReleaseItems(&set); }
    SelectionRun(const SelectionRun&) = delete;
    SelectionRun& operator=(const SelectionRun&) = delete;

    LauncherState* state;
    PackageChoice choice = {};
    ExtractionSet set = {};
    char errorText[2048] = {};
    StatusValue status = 0;
};

}  // namespace selection_test
