#include "chain/entry_chain.h"

#include <algorithm>

#include "chain/entry_data.h"
#include "chain/signing_key.h"
#include "files/pack_error.h"
#include "format/chain_walk.h"
#include "format/entry_format.h"

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
    ChainWalk walk{{}, {}, false, 0, ChainEnd::kNoRoomForTrailer};
    if (size > UINT32_MAX) return walk;
    ChainCursor cursor = StartChainWalk(data, static_cast<uint32_t>(size));
    ChainStep step;
    while (NextChainStep(&cursor, &step)) {
        if (step.kind == ChainStepKind::kSteppedOver) {
            walk.steppedOver.push_back({step.id, step.trailerOffset, step.dataLength, step.signatureLength});
            continue;
        }
        walk.entries.push_back({step.isManifest, step.id, step.dataOffset, step.dataLength, step.signatureLength});
        if (step.isManifest) {
            walk.reachedManifest = true;
            walk.chainStart = step.dataOffset;
        }
    }
    walk.end = cursor.end;
    std::reverse(walk.entries.begin(), walk.entries.end());
    return walk;
}

std::string DescribeChainEnd(ChainEnd end) {
    switch (end) {
        case ChainEnd::kNotYet:
        case ChainEnd::kManifestReached:
            return "the manifest entry";
        case ChainEnd::kUnknownTrailer:
            return "a trailer of no known entry type";
        case ChainEnd::kNoRoomForTrailer:
            return "too few bytes for another trailer";
        case ChainEnd::kManifestTooLong:
            return "a manifest trailer whose lengths reach in front of the blob";
        case ChainEnd::kReadFailed:
            return "a trailer that could not be read";
    }
    return "";
}
