// The few PE32+ header fields that the container format depends on: the
// certificate table (data directory 4), whose first WIN_CERTIFICATE entry
// holds the Authenticode signature, and the header checksum that covers it.
// The launcher and the packing tool read them with the same tests.
#pragma once

#include <cstdint>

struct PeHeaders {
    uint32_t checksumOffset;           // of the optional header's CheckSum
    uint32_t securityDirectoryOffset;  // of the u32 pair: table file offset, table size
    uint32_t directoryCount;           // NumberOfRvaAndSizes
    uint32_t certificateTableOffset;
    uint32_t certificateTableSize;
};

// True when the image starts with a DOS header whose e_lfanew leads, inside
// the image, to a PE signature and a PE32+ optional header with room for its
// 16 data directories. The table fields are read, not checked.
bool FindPeHeaders(const uint8_t* image, uint32_t size, PeHeaders* headers);

// True when the image is a PE32+ file whose certificate table lies inside it
// and whose first entry's dwLength fits that table; `data` then points at the
// entry's certificate data (dwLength - 8 bytes). Every other image, however
// malformed, gives false without a byte outside the image being read.
bool FindCertificateData(const uint8_t* image, uint32_t size, const uint8_t** data, uint32_t* dataLength);
