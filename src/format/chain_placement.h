// Which entry chain a setup file holds. The launcher and the packing tool
// both ask this one function, so what `msistub-pack verify` checks is what
// the launcher installs. Only the reading of tag certificates differs
// between them (the system's decoder in the launcher, OpenSSL in the tool),
// and it is passed in.
#pragma once

#include <cstdint>

#include "core/status.h"
#include "format/byte_source.h"

enum class ChainSite {
    kTagCertificate,          // one blob per tag extension of the signature's certificates
    kBeforeCertificateTable,  // the file up to a certificate table that closes it: signed after packing
    kCertificateTable,        // the whole file; its chain lies inside the signature's WIN_CERTIFICATE entry
    kEndOfFile,               // the whole file; its chain ends at the last byte
};

// Reads the tag values of the Authenticode signature whose certificate data
// stand at `dataOffset` (`dataLength` bytes, the DER message possibly
// followed by other bytes) of `file`, hands each to its owner through
// `context`, and sets `*tagCount`. Code 0 with a count of 0: none.
struct TagReader {
    StatusValue (*readTags)(void* context, const ByteSource& file, uint32_t dataOffset, uint32_t dataLength,
                            uint32_t* tagCount);
    void* context;
};

struct ChainPlacement {
    ChainSite site;
    uint32_t chainEnd;  // whole-file sites: the chain's blob is the file's first chainEnd bytes
    uint32_t tagCount;  // tag site: how many the reader found
};

// The order, first match wins:
// 1. A certificate table closes the file and a chain with the manifest entry
//    ends at the table's first byte: those bytes are covered by the
//    Authenticode signature, while the certificate table and the signature's
//    certificate set are not. That chain is the container and the only one;
//    tags and chains appended inside the table are never looked at, so
//    nothing added to a signed file can replace what was signed.
// 2. The tag extensions of the signature, read by `reader`. Its failure is
//    the decision's status (with the tag site): no other place is tried.
// 3. The chain ending at the file's last byte (inside the certificate table
//    when it starts there), when its walk reaches the manifest entry.
// 4. The chain ending at a certificate table that closes the file.
// 5. Otherwise the file's end, where reading the manifest then fails.
// On code 0 the status is the reader's, or line 789 when it was not asked.
StatusValue DecideChainPlacement(const ByteSource& file, const TagReader& reader, ChainPlacement* placement);

// Step 1 alone: true, with the table's offset, for a file whose chain lies
// in front of a certificate table that closes it.
bool FindSignedChainEnd(const ByteSource& file, uint32_t* chainEnd);
