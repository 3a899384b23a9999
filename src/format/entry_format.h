// The entry chain: entries laid back to back at the end of a blob, each made
// of its data (D bytes), its signature (S bytes) and a 28-byte trailer. The
// walk starts at the blob's last byte and goes backwards.
#pragma once

#include <cstdint>
#include <cstring>

// A GUID in its in-memory layout: Data1 as u32 little-endian, Data2 and Data3
// as u16 little-endian, Data4 as 8 bytes. Both the reader and the packing tool
// take the 16 raw bytes from here, so they can never disagree.
struct EntryTypeGuid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};

// {EED5BBF7-1284-4619-918C-F0CB8EE28B55}
constexpr EntryTypeGuid ManifestEntryGuid = {0xEED5BBF7, 0x1284, 0x4619,
                                             {0x91, 0x8C, 0xF0, 0xCB, 0x8E, 0xE2, 0x8B, 0x55}};
// {A1248CD9-EF96-436B-92BF-C00BAD727E63}
constexpr EntryTypeGuid PayloadEntryGuid = {0xA1248CD9, 0xEF96, 0x436B,
                                            {0x92, 0xBF, 0xC0, 0x0B, 0xAD, 0x72, 0x7E, 0x63}};

constexpr uint32_t kEntryTrailerSize = 28;
constexpr uint32_t kSignatureSize = 256;  // RSA-2048

struct EntryTrailer {
    uint8_t typeGuid[16];
    uint32_t id;
    uint32_t signatureLength;
    uint32_t dataLength;
};

// Writes the GUID's 16 bytes in the layout above.
void EntryGuidBytes(const EntryTypeGuid& guid, uint8_t out[16]);

// Reads / writes a trailer at `at` (28 bytes), little-endian whatever the host.
EntryTrailer DecodeEntryTrailer(const uint8_t* at);
void EncodeEntryTrailer(const EntryTrailer& trailer, uint8_t* at);

bool TrailerHasType(const EntryTrailer& trailer, const EntryTypeGuid& guid);

inline uint32_t ReadU32Le(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
inline uint16_t ReadU16Le(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline void WriteU32Le(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
