// ContainerBlob: one searchable byte image that ends with an entry chain,
// together with its extracted manifest.
#pragma once

#include <cstdint>

#include "format/byte_source.h"

enum : uint32_t {
    kBlobCompressed = 1u << 0,  // entry data are zlib streams
    kBlobSigned = 1u << 1,      // entries carry RSA signatures that are verified
};

struct ContainerBlob {
    uint8_t* data;          // the blob's bytes in memory, owned by the record; null when they stand in `file`
    uint32_t size;
    uint8_t* manifest;      // extracted manifest content; null until read
    uint32_t manifestSize;
    uint32_t flags;
    void* file;             // the open file that holds the blob from its start when `data` is null; not owned
};

inline ByteSource BlobSource(const ContainerBlob& blob) {
    return blob.file ? FileSource(blob.file, blob.size) : MemorySource(blob.data, blob.size);
}
