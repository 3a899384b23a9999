// The few PE32+ header fields the packer reads and writes: the certificate
// table (data directory 4) and the header checksum.
#pragma once

#include <cstdint>
#include <optional>

#include "files/byte_files.h"

struct PeLayout {
    uint64_t checksumOffset;
    uint64_t securityDirectoryOffset;  // of the u32 pair: table file offset, table size
    uint32_t certificateTableOffset;
    uint32_t certificateTableSize;
};

// Nothing when the image is no PE32+ executable whose headers lie inside it.
std::optional<PeLayout> FindPeLayout(const uint8_t* image, uint64_t size);

// An image that holds an Authenticode signature: a certificate table of at
// least one WIN_CERTIFICATE header that lies inside the image.
bool HasCertificateTable(const PeLayout& layout, uint64_t imageSize);

void SetCertificateTable(Bytes* image, const PeLayout& layout, uint32_t offset, uint32_t size);

// The optional header's CheckSum, as the image loader and signing tools
// compute it. It covers the certificate table, so it changes with the chain.
uint32_t ComputePeChecksum(const Bytes& image, const PeLayout& layout);

// The same checksum over an image written in pieces, none of it held whole.
struct PeChecksum {
    uint64_t checksumOffset;
    uint64_t position;
    uint64_t sum;
};
PeChecksum StartPeChecksum(const PeLayout& layout);
void AddToPeChecksum(PeChecksum* checksum, const uint8_t* data, size_t size);
uint32_t FinishPeChecksum(const PeChecksum& checksum);
void UpdatePeChecksum(Bytes* image, const PeLayout& layout);
