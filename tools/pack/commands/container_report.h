// What `list`, `extract` and `verify` show: every blob with its manifest
// records and every entry with its sizes and whether its signature verifies.
// Entry content comes from the launcher's own ReadEntry; the signature is
// checked here, so any public key can be used.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <string>
#include <vector>

#include "chain/blob_locator.h"
#include "chain/manifest_records.h"

struct EntryReport {
    bool isManifest;
    uint32_t id;
    uint32_t storedSize;
    uint32_t signatureSize;
    bool readable;  // the data inflated
    uint32_t contentSize;
    bool verified;
    Bytes content;
};

struct BlobReport {
    std::string site;
    uint64_t size;  // of the chain, when the walk reached a manifest
    bool chainReachesManifest;
    std::vector<EntryReport> entries;  // in chain order
    std::vector<ManifestRecord> records;
    bool manifestComplete;
    std::vector<std::string> problems;  // what keeps the blob from verifying
};

BlobReport ExamineBlob(const LocatedBlob& blob, EVP_PKEY* key);
bool BlobVerifies(const BlobReport& report);

// The manifest's view of one blob's payloads, for extraction.
enum class RecordKind { Package, Cabinet, Other };
RecordKind KindOfRecord(const ManifestRecord& record);
