// ContainerBlob: one searchable byte image that ends with an entry chain,
// together with its extracted manifest.
#pragma once

#include <cstdint>

enum : uint32_t {
    kBlobCompressed = 1u << 0,  // entry data are zlib streams
    kBlobSigned = 1u << 1,      // entries carry RSA signatures that are verified
};

// A payload entry whose data were inflated in place (ReadPayloadEntry): from
// then on its data begin with its content, or hold nothing usable when that
// read failed, and the entry is never inflated again.
struct InPlaceEntry {
    uint32_t dataOffset;     // where the entry's data start in the blob
    uint32_t contentLength;
    uint64_t status;         // the StatusValue of that read
};

struct ContainerBlob {
    uint8_t* data;          // private local-heap copy, owned by the record
    uint32_t size;
    uint8_t* manifest;      // extracted manifest content; null until read
    uint32_t manifestSize;
    uint32_t flags;
    InPlaceEntry* inPlaceEntries;  // local heap, owned by the record; null while none
    uint32_t inPlaceCount;
};
