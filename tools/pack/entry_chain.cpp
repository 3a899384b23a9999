#include "entry_chain.h"

#include <algorithm>

#include "container/entry_format.h"
#include "entry_data.h"
#include "pack_error.h"
#include "signing_key.h"

namespace {
void CheckFits(uint64_t size, uint64_t limit, const std::string& what) {
    if (size > limit)
        throw PackError(what + " is " + std::to_string(size) + " bytes; the container's 32-bit fields hold at most " +
                        std::to_string(limit));
}

void AppendEntry(Bytes* chain, const EntryTypeGuid& type, uint32_t id, const Bytes& content, EVP_PKEY* key,
                 uint64_t limit, const std::string& name) {
    CheckFits(content.size(), limit, name);
    Bytes data = CompressEntryContent(content.data(), content.size());
    CheckFits(data.size(), limit, "the compressed " + name);
    Bytes signature = SignContent(key, content.data(), content.size());
    CheckFits(uint64_t{chain->size()} + data.size() + signature.size() + kEntryTrailerSize, limit, "the container");

    EntryTrailer trailer;
    EntryGuidBytes(type, trailer.typeGuid);
    trailer.id = id;
    trailer.signatureLength = static_cast<uint32_t>(signature.size());
    trailer.dataLength = static_cast<uint32_t>(data.size());
    chain->insert(chain->end(), data.begin(), data.end());
    chain->insert(chain->end(), signature.begin(), signature.end());
    size_t at = chain->size();
    chain->resize(at + kEntryTrailerSize);
    EncodeEntryTrailer(trailer, chain->data() + at);
}
}  // namespace

Bytes BuildEntryChain(const Bytes& manifest, const std::vector<ChainPayload>& payloads, EVP_PKEY* key,
                      uint64_t sizeLimit) {
    Bytes chain;
    AppendEntry(&chain, ManifestEntryGuid, 0, manifest, key, sizeLimit, "the manifest");
    for (const ChainPayload& payload : payloads)
        AppendEntry(&chain, PayloadEntryGuid, payload.id, *payload.content, key, sizeLimit, payload.name);
    return chain;
}

ChainWalk WalkEntryChain(const uint8_t* data, uint64_t size) {
    ChainWalk walk{{}, false, 0};
    uint64_t position = size;
    while (position >= kEntryTrailerSize) {
        EntryTrailer trailer = DecodeEntryTrailer(data + position - kEntryTrailerSize);
        bool isManifest = TrailerHasType(trailer, ManifestEntryGuid);
        if (!isManifest && !TrailerHasType(trailer, PayloadEntryGuid)) break;
        uint64_t entryBytes = uint64_t{trailer.dataLength} + trailer.signatureLength + kEntryTrailerSize;
        if (entryBytes > position) break;
        position -= entryBytes;
        walk.entries.push_back({isManifest, trailer.id, position, trailer.dataLength, trailer.signatureLength});
        if (isManifest) {
            walk.reachedManifest = true;
            walk.chainStart = position;
            break;
        }
    }
    std::reverse(walk.entries.begin(), walk.entries.end());
    return walk;
}
