// Building an entry chain (manifest entry first, then the payloads, each
// closed by its 28-byte trailer) and walking one back for listing.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <string>
#include <vector>

#include "chain/signing_key.h"
#include "files/byte_files.h"
#include "format/chain_walk.h"

struct ChainPayload {
    uint32_t id;
    const Bytes* content;
    std::string name;  // for messages
};

// A payload read from its file while the chain is written, never whole.
struct StreamedPayload {
    uint32_t id;
    std::string path;
    std::string name;  // the file's role, for messages
    uint64_t size;     // as checked before packing
};

// What was written for one entry, for the pack report.
struct WrittenEntry {
    bool isManifest;
    uint32_t id;
    uint64_t contentSize;
    uint64_t storedSize;
    uint64_t signatureSize;
    Sha256Digest contentSha256;
};

// Every length and the chain itself must fit the u32 fields and the
// launcher's u32 sizes; tests pass a smaller `sizeLimit` to reach that refusal.
Bytes BuildEntryChain(const Bytes& manifest, const std::vector<ChainPayload>& payloads, EVP_PKEY* key,
                      uint64_t sizeLimit);
// The same chain written to `sink` as the payloads are read; returns its
// entries in chain order.
std::vector<WrittenEntry> WriteEntryChain(const Bytes& manifest, const std::vector<StreamedPayload>& payloads,
                                          EVP_PKEY* key, uint64_t sizeLimit, ByteSink* sink);

struct ChainEntry {
    bool isManifest;
    uint32_t id;
    uint64_t dataOffset;  // from the blob's start
    uint32_t dataLength;
    uint32_t signatureLength;
};

// A payload trailer whose lengths reach in front of the blob: the launcher
// steps over it, and so does the listing.
struct SteppedOverTrailer {
    uint32_t id;
    uint64_t trailerOffset;
    uint32_t dataLength;
    uint32_t signatureLength;
};

struct ChainWalk {
    std::vector<ChainEntry> entries;  // in chain order: the manifest entry first
    std::vector<SteppedOverTrailer> steppedOver;  // in walking order, from the end
    bool reachedManifest;
    uint64_t chainStart;  // offset of the manifest entry's data when reached
    ChainEnd end;         // why the walk stopped
};

// The launcher's own walk (NextChainStep), every step of it collected. A
// blob of 4 GiB or more holds no chain the launcher could read.
ChainWalk WalkEntryChain(const uint8_t* data, uint64_t size);

// Why a walk stopped, for a report: "the manifest entry", "an unknown trailer", ...
std::string DescribeChainEnd(ChainEnd end);
