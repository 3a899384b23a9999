// The few PE32+ header fields that the container format depends on: the
// certificate table (data directory 4), whose first WIN_CERTIFICATE entry
// holds the Authenticode signature, and the header checksum that covers it.
// The launcher and the packing tool read them with the same tests.
#pragma once

#include <cstdint>

#include "format/byte_source.h"

struct PeHeaders {
    uint32_t peOffset;                 // of the PE signature (e_lfanew); 264 header bytes stand behind it
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
bool ReadPeHeaders(const ByteSource& image, PeHeaders* headers);

// True when the image is a PE32+ file whose certificate table lies inside it
// and whose first entry's dwLength fits that table; `data` then points at the
// entry's certificate data (dwLength - 8 bytes). Every other image, however
// malformed, gives false without a byte outside the image being read.
bool FindCertificateData(const uint8_t* image, uint32_t size, const uint8_t** data, uint32_t* dataLength);

// The same test on an image in any source: `dataOffset` is where the
// certificate data start. A source that cannot be read gives false.
bool LocateCertificateData(const ByteSource& image, uint32_t* dataOffset, uint32_t* dataLength);

// True when the image headers (the first `headerSize` bytes of a file of
// `fileSize` bytes) are PE32+ and name a certificate table that reaches
// exactly to the file's last byte; `chainEnd` is then the table's offset.
// A setup packed at its end and signed afterwards keeps its chain there,
// since signing tools append the table behind the image they were given.
bool FindChainEndBeforeCertificateTable(const uint8_t* header, uint32_t headerSize, uint32_t fileSize,
                                        uint32_t* chainEnd);
// The same test on a whole file in any source.
bool FindChainEndBeforeCertificateTable(const ByteSource& file, uint32_t* chainEnd);
