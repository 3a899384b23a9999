#include "chain/pe_image.h"

#include <algorithm>

#include "format/certificate_table.h"
#include "format/entry_format.h"

namespace {
constexpr uint32_t kSecurityDirectoryIndex = 4;
}  // namespace

std::optional<PeLayout> FindPeLayout(const uint8_t* image, uint64_t size) {
    // The headers lie at the start; a file past 4 GiB is refused elsewhere.
    PeHeaders headers;
    if (!FindPeHeaders(image, static_cast<uint32_t>(std::min<uint64_t>(size, UINT32_MAX)), &headers))
        return std::nullopt;
    if (headers.directoryCount <= kSecurityDirectoryIndex) return std::nullopt;
    return PeLayout{headers.checksumOffset, headers.securityDirectoryOffset, headers.certificateTableOffset,
                    headers.certificateTableSize};
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
