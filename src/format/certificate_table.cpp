#include "format/certificate_table.h"

#include "format/entry_format.h"

namespace {
constexpr uint32_t kDosHeaderSize = 64;
constexpr uint32_t kPeHeaderOffsetAt = 60;
constexpr uint16_t kDosMagic = 0x5A4D;     // "MZ"
constexpr uint32_t kPeSignature = 0x4550;  // "PE\0\0"
constexpr uint16_t kPe32PlusMagic = 0x20B;
// Signature, file header and a PE32+ optional header with 16 data directories.
constexpr uint32_t kPeHeadersSize = 264;
constexpr uint32_t kOptionalMagicAt = 24;
constexpr uint32_t kChecksumAt = 24 + 64;
constexpr uint32_t kDirectoryCountAt = 24 + 108;
constexpr uint32_t kCertificateTableAt = 168;  // data directory 4
constexpr uint32_t kWinCertificateHeaderSize = 8;
}  // namespace

bool FindPeHeaders(const uint8_t* image, uint32_t size, PeHeaders* headers) {
    if (size < kDosHeaderSize || ReadU16Le(image) != kDosMagic) return false;
    // e_lfanew is signed; a negative one points nowhere inside the image.
    int32_t peOffset = static_cast<int32_t>(ReadU32Le(image + kPeHeaderOffsetAt));
    if (peOffset < 0 || static_cast<uint64_t>(peOffset) + kPeHeadersSize > size) return false;
    const uint8_t* pe = image + peOffset;
    if (ReadU32Le(pe) != kPeSignature || ReadU16Le(pe + kOptionalMagicAt) != kPe32PlusMagic) return false;

    uint32_t at = static_cast<uint32_t>(peOffset);
    headers->peOffset = at;
    headers->checksumOffset = at + kChecksumAt;
    headers->securityDirectoryOffset = at + kCertificateTableAt;
    headers->directoryCount = ReadU32Le(pe + kDirectoryCountAt);
    headers->certificateTableOffset = ReadU32Le(pe + kCertificateTableAt);
    headers->certificateTableSize = ReadU32Le(pe + kCertificateTableAt + 4);
    return true;
}

bool FindCertificateData(const uint8_t* image, uint32_t size, const uint8_t** data, uint32_t* dataLength) {
    PeHeaders headers;
    if (!FindPeHeaders(image, size, &headers)) return false;
    uint32_t tableOffset = headers.certificateTableOffset;
    uint32_t tableSize = headers.certificateTableSize;
    if (tableSize < kWinCertificateHeaderSize || static_cast<uint64_t>(tableOffset) + tableSize > size) return false;

    uint32_t entryLength = ReadU32Le(image + tableOffset);
    if (entryLength < kWinCertificateHeaderSize || entryLength > tableSize) return false;
    *data = image + tableOffset + kWinCertificateHeaderSize;
    *dataLength = entryLength - kWinCertificateHeaderSize;
    return true;
}

bool FindChainEndBeforeCertificateTable(const uint8_t* header, uint32_t headerSize, uint32_t fileSize,
                                        uint32_t* chainEnd) {
    PeHeaders headers;
    if (!FindPeHeaders(header, headerSize < fileSize ? headerSize : fileSize, &headers)) return false;
    uint32_t tableOffset = headers.certificateTableOffset;
    uint32_t tableSize = headers.certificateTableSize;
    if (tableSize < kWinCertificateHeaderSize || static_cast<uint64_t>(tableOffset) + tableSize != fileSize)
        return false;
    *chainEnd = tableOffset;
    return true;
}
