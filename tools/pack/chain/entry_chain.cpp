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

WrittenEntry AppendEntry(ByteSink* chain, uint64_t chainStart, bool isManifest, uint32_t id,
                         ContentReader* content, EVP_PKEY* key, uint64_t limit, const std::string& name) {
    CheckFits(content->Size(), limit, name);
    const uint64_t entryStart = chain->Position();
    DigestContextPtr digest = StartSha256();
    uint64_t dataLength =
        WriteEntryData(content, chain, [&](const uint8_t* data, size_t size) { AddToSha256(digest.get(), data, size); });
    CheckFits(dataLength, limit, "the compressed " + name);
    WrittenEntry written{isManifest, id, content->Size(), dataLength, 0, FinishSha256(digest.get())};
    Bytes signature = SignSha256(key, written.contentSha256);
    written.signatureSize = signature.size();
    CheckFits(entryStart - chainStart + dataLength + signature.size() + kEntryTrailerSize, limit, "the container");

    EntryTrailer trailer;
    EntryGuidBytes(isManifest ? ManifestEntryGuid : PayloadEntryGuid, trailer.typeGuid);
    trailer.id = id;
    trailer.signatureLength = static_cast<uint32_t>(signature.size());
    trailer.dataLength = static_cast<uint32_t>(dataLength);
    chain->Write(signature.data(), signature.size());
    uint8_t encoded[kEntryTrailerSize];
    EncodeEntryTrailer(trailer, encoded);
    chain->Write(encoded, kEntryTrailerSize);
    return written;
}
}  // namespace

std::vector<WrittenEntry> WriteEntryChain(const Bytes& manifest, const std::vector<StreamedPayload>& payloads,
                                          EVP_PKEY* key, uint64_t sizeLimit, ByteSink* sink) {
    const uint64_t chainStart = sink->Position();
    std::vector<WrittenEntry> entries;
    MemoryReader manifestReader(manifest.data(), manifest.size());
    entries.push_back(
        AppendEntry(sink, chainStart, true, 0, &manifestReader, key, sizeLimit, "the manifest"));
    for (const StreamedPayload& payload : payloads) {
        FileReader reader(payload.path, payload.name, payload.size);
        entries.push_back(AppendEntry(sink, chainStart, false, payload.id, &reader, key, sizeLimit,
                                      payload.path));
    }
    return entries;
}

Bytes BuildEntryChain(const Bytes& manifest, const std::vector<ChainPayload>& payloads, EVP_PKEY* key,
                      uint64_t sizeLimit) {
    Bytes chain;
    MemorySink sink(&chain);
    MemoryReader manifestReader(manifest.data(), manifest.size());
    AppendEntry(&sink, 0, true, 0, &manifestReader, key, sizeLimit, "the manifest");
    for (const ChainPayload& payload : payloads) {
        MemoryReader reader(payload.content->data(), payload.content->size());
        AppendEntry(&sink, 0, false, payload.id, &reader, key, sizeLimit, payload.name);
    }
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
