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

PeChecksum StartPeChecksum(const PeLayout& layout) { return {layout.checksumOffset, 0, 0}; }

// The image as little-endian 16-bit words, the checksum field counting as
// zero. Carries are folded in at the end: a ones' complement sum comes out
// the same whenever they are.
void AddToPeChecksum(PeChecksum* checksum, const uint8_t* data, size_t size) {
    const uint64_t fieldStart = checksum->checksumOffset;
    const uint64_t fieldEnd = fieldStart + 4;
    uint64_t at = checksum->position;
    uint64_t sum = 0;
    size_t i = 0;
    while (i < size) {
        // Whole words that miss the field: the bulk of every large piece.
        if (at % 2 == 0 && i + 1 < size && (at + 2 <= fieldStart || at >= fieldEnd)) {
            size_t end = at < fieldStart ? static_cast<size_t>(std::min<uint64_t>(size, i + (fieldStart - at))) : size;
            size_t words = (end - i) / 2;
            for (size_t w = 0; w < words; ++w, i += 2) sum += data[i] | (uint32_t{data[i + 1]} << 8);
            at += 2 * words;
            continue;
        }
        uint32_t byte = at >= fieldStart && at < fieldEnd ? 0 : data[i];
        sum += at % 2 == 0 ? byte : byte << 8;
        ++i;
        ++at;
    }
    checksum->position = at;
    checksum->sum += sum;
    checksum->sum = (checksum->sum & 0xFFFFFFFF) + (checksum->sum >> 32);
}

uint32_t FinishPeChecksum(const PeChecksum& checksum) {
    uint64_t sum = checksum.sum;
    while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + checksum.position);
}

uint32_t ComputePeChecksum(const Bytes& image, const PeLayout& layout) {
    PeChecksum checksum = StartPeChecksum(layout);
    AddToPeChecksum(&checksum, image.data(), image.size());
    return FinishPeChecksum(checksum);
}

void UpdatePeChecksum(Bytes* image, const PeLayout& layout) {
    WriteU32Le(image->data() + layout.checksumOffset, ComputePeChecksum(*image, layout));
}
