// What `list`, `extract` and `verify` show: every blob with its manifest
// records and every entry with its sizes and whether its signature verifies.
// Entries are looked up and inflated by the launcher's own code, payloads in
// pieces and never held whole; the signature is checked here, so any public
// key can be used.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <string>
#include <vector>

#include "chain/blob_locator.h"
#include "chain/manifest_records.h"
#include "chain/signing_key.h"

struct EntryReport {
    bool isManifest;
    uint32_t id;
    uint32_t storedSize;
    uint32_t signatureSize;
    bool readable;  // the data inflated
    uint32_t contentSize;
    bool verified;
    Sha256Digest contentSha256;
    // The data the content was read from: the launcher looks an entry up by
    // its id, so of two entries with one id both read the later one's data.
    uint32_t contentDataOffset;
    uint32_t contentDataLength;
};

struct BlobReport {
    ByteSource bytes;  // the located blob's
    std::string site;
    uint64_t size;  // of the chain, when the walk reached a manifest
    bool chainReachesManifest;
    std::vector<EntryReport> entries;  // in chain order
    std::vector<ManifestRecord> records;
    bool manifestComplete;
    std::vector<std::string> problems;  // what keeps the blob from verifying
};

// `path` names the setup in the PackError thrown when it cannot be read.
BlobReport ExamineBlob(const LocatedBlob& blob, EVP_PKEY* key, const std::string& path);
bool BlobVerifies(const BlobReport& report);

// Inflates a readable entry's content again into `sink`, for extraction.
// Throws PackError when it no longer reads as it did when it was examined
// (the setup changed meanwhile), so nothing unchecked is ever written.
void WriteEntryContent(const BlobReport& blob, const EntryReport& entry, ByteSink* sink, const std::string& path);

// The manifest's view of one blob's payloads, for extraction.
enum class RecordKind { Package, Cabinet, Other };
RecordKind KindOfRecord(const ManifestRecord& record);
