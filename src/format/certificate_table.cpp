#include "format/certificate_table.h"

#include "format/byte_source.h"
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

bool ReadPeHeaders(const ByteSource& image, PeHeaders* headers) {
    uint8_t dos[kDosHeaderSize];
    if (!ReadSourceBytes(image, 0, dos, kDosHeaderSize) || ReadU16Le(dos) != kDosMagic) return false;
    // e_lfanew is signed; a negative one points nowhere inside the image.
    int32_t peOffset = static_cast<int32_t>(ReadU32Le(dos + kPeHeaderOffsetAt));
    if (peOffset < 0 || static_cast<uint64_t>(peOffset) + kPeHeadersSize > image.size) return false;
    uint8_t pe[kPeHeadersSize];
    if (!ReadSourceBytes(image, static_cast<uint32_t>(peOffset), pe, kPeHeadersSize)) return false;
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

bool FindPeHeaders(const uint8_t* image, uint32_t size, PeHeaders* headers) {
    return ReadPeHeaders(MemorySource(image, size), headers);
}

bool LocateCertificateData(const ByteSource& image, uint32_t* dataOffset, uint32_t* dataLength) {
    PeHeaders headers;
    if (!ReadPeHeaders(image, &headers)) return false;
    uint32_t tableOffset = headers.certificateTableOffset;
    uint32_t tableSize = headers.certificateTableSize;
    if (tableSize < kWinCertificateHeaderSize || static_cast<uint64_t>(tableOffset) + tableSize > image.size)
        return false;

    uint8_t lengthBytes[4];
    if (!ReadSourceBytes(image, tableOffset, lengthBytes, sizeof lengthBytes)) return false;
    uint32_t entryLength = ReadU32Le(lengthBytes);
    if (entryLength < kWinCertificateHeaderSize || entryLength > tableSize) return false;
    *dataOffset = tableOffset + kWinCertificateHeaderSize;
    *dataLength = entryLength - kWinCertificateHeaderSize;
    return true;
}

bool FindCertificateData(const uint8_t* image, uint32_t size, const uint8_t** data, uint32_t* dataLength) {
    uint32_t dataOffset = 0;
    if (!LocateCertificateData(MemorySource(image, size), &dataOffset, dataLength)) return false;
    *data = image + dataOffset;
    return true;
}

namespace {
bool ChainEndBeforeTable(const ByteSource& headerSource, uint32_t fileSize, uint32_t* chainEnd) {
    PeHeaders headers;
    if (!ReadPeHeaders(headerSource, &headers)) return false;
    uint32_t tableOffset = headers.certificateTableOffset;
    uint32_t tableSize = headers.certificateTableSize;
    if (tableSize < kWinCertificateHeaderSize || static_cast<uint64_t>(tableOffset) + tableSize != fileSize)
        return false;
    *chainEnd = tableOffset;
    return true;
}
}  // namespace

bool FindChainEndBeforeCertificateTable(const uint8_t* header, uint32_t headerSize, uint32_t fileSize,
                                        uint32_t* chainEnd) {
    return ChainEndBeforeTable(MemorySource(header, headerSize < fileSize ? headerSize : fileSize), fileSize,
                               chainEnd);
}

bool FindChainEndBeforeCertificateTable(const ByteSource& file, uint32_t* chainEnd) {
    return ChainEndBeforeTable(file, file.size, chainEnd);
}
