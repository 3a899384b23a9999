#include "pe_image.h"

#include "container/entry_format.h"

namespace {
constexpr uint16_t kDosMagic = 0x5A4D;     // "MZ"
constexpr uint32_t kPeSignature = 0x4550;  // "PE\0\0"
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint64_t kOptionalHeader = 24;  // from the PE signature
constexpr uint64_t kChecksum = kOptionalHeader + 64;
constexpr uint64_t kDirectoryCount = kOptionalHeader + 108;
constexpr uint64_t kSecurityDirectory = kOptionalHeader + 112 + 4 * 8;
constexpr uint32_t kSecurityDirectoryIndex = 4;
}  // namespace

std::optional<PeLayout> FindPeLayout(const uint8_t* image, uint64_t size) {
    if (size < 64 || ReadU16Le(image) != kDosMagic) return std::nullopt;
    uint64_t pe = ReadU32Le(image + 60);
    if (pe > size || size - pe < kSecurityDirectory + 8) return std::nullopt;
    if (ReadU32Le(image + pe) != kPeSignature || ReadU16Le(image + pe + kOptionalHeader) != kPe32PlusMagic)
        return std::nullopt;
    if (ReadU32Le(image + pe + kDirectoryCount) <= kSecurityDirectoryIndex) return std::nullopt;
    PeLayout layout;
    layout.checksumOffset = pe + kChecksum;
    layout.securityDirectoryOffset = pe + kSecurityDirectory;
    layout.certificateTableOffset = ReadU32Le(image + layout.securityDirectoryOffset);
    layout.certificateTableSize = ReadU32Le(image + layout.securityDirectoryOffset + 4);
    return layout;
}

bool HasCertificateTable(const PeLayout& layout, uint64_t imageSize) {
    return layout.certificateTableSize >= 8 &&
           uint64_t{layout.certificateTableOffset} + layout.certificateTableSize <= imageSize;
}

void SetCertificateTable(Bytes* image, const PeLayout& layout, uint32_t offset, uint32_t size) {
    WriteU32Le(image->data() + layout.securityDirectoryOffset, offset);
    WriteU32Le(image->data() + layout.securityDirectoryOffset + 4, size);
}

uint32_t ComputePeChecksum(const Bytes& image, const PeLayout& layout) {
    // The checksum field itself counts as zero.
    auto byteAt = [&](uint64_t i) -> uint32_t {
        if (i >= image.size() || (i >= layout.checksumOffset && i < layout.checksumOffset + 4)) return 0;
        return image[i];
    };
    uint64_t sum = 0;
    for (uint64_t i = 0; i < image.size(); i += 2) {
        uint32_t word = byteAt(i) | (byteAt(i + 1) << 8);
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + image.size());
}

void UpdatePeChecksum(Bytes* image, const PeLayout& layout) {
    WriteU32Le(image->data() + layout.checksumOffset, ComputePeChecksum(*image, layout));
}
