// ContainerBlob: one searchable byte image that ends with an entry chain,
// together with its extracted manifest.
#pragma once

#include <cstdint>

enum : uint32_t {
    kBlobCompressed = 1u << 0,  // entry data are zlib streams
    kBlobSigned = 1u << 1,      // entries carry RSA signatures that are verified
};

struct ContainerBlob {
    uint8_t* data;          // private local-heap copy, owned by the record
    uint32_t size;
    uint8_t* manifest;      // extracted manifest content; null until read
    uint32_t manifestSize;
    uint32_t flags;
};
