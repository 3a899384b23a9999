#include "setup/stub_resources.h"

#include <openssl/pem.h>

#include <cctype>

#include "files/pack_error.h"
#include "format/certificate_table.h"
#include "format/entry_format.h"
#include "format/verification_key.h"

namespace {
constexpr char kKeyResourceName[] = "MSISTUB_VERIFICATION_KEY";
constexpr uint32_t kRcdataType = 10;
constexpr uint32_t kSubdirectoryBit = 0x80000000u;
constexpr uint32_t kSectionCountAt = 6;
constexpr uint32_t kOptionalHeaderSizeAt = 20;
constexpr uint32_t kOptionalHeaderAt = 24;
constexpr uint32_t kResourceDirectoryAt = 24 + 112 + 2 * 8;  // data directory 2 of a PE32+ header
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kDirectoryHeaderSize = 16;
constexpr uint32_t kDirectoryEntrySize = 8;
constexpr uint32_t kDataEntrySize = 16;

// Bytes [start, start + size) of the image, every read checked against them.
struct Region {
    const Bytes* image;
    uint64_t start;
    uint64_t size;
    bool Holds(uint64_t offset, uint64_t length) const { return offset <= size && length <= size - offset; }
    uint32_t U32(uint64_t offset) const { return ReadU32Le(image->data() + start + offset); }
    uint16_t U16(uint64_t offset) const { return ReadU16Le(image->data() + start + offset); }
};

// The file offset of `length` bytes at `rva`, when one section holds them all.
// `pe` is the offset of headers that FindPeHeaders found inside the image.
std::optional<uint64_t> FileOffsetOf(const Bytes& image, uint32_t pe, uint32_t rva, uint32_t length) {
    Region file{&image, 0, image.size()};
    uint32_t count = file.U16(pe + kSectionCountAt);
    uint64_t table = uint64_t{pe} + kOptionalHeaderAt + file.U16(pe + kOptionalHeaderSizeAt);
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t header = table + uint64_t{i} * kSectionHeaderSize;
        if (!file.Holds(header, kSectionHeaderSize)) return std::nullopt;
        uint32_t address = file.U32(header + 12);
        uint32_t rawSize = file.U32(header + 16);
        uint32_t rawOffset = file.U32(header + 20);
        if (rva < address || uint64_t{rva} + length > uint64_t{address} + rawSize) continue;
        uint64_t offset = uint64_t{rawOffset} + (rva - address);
        if (!file.Holds(offset, length)) return std::nullopt;
        return offset;
    }
    return std::nullopt;
}

bool NameMatches(const Region& resources, uint32_t nameOffset, const std::string& name) {
    if (!resources.Holds(nameOffset, 2)) return false;
    uint32_t length = resources.U16(nameOffset);
    if (length != name.size() || !resources.Holds(nameOffset + 2, uint64_t{length} * 2)) return false;
    for (uint32_t i = 0; i < length; ++i) {
        uint16_t c = resources.U16(nameOffset + 2 + uint64_t{i} * 2);
        if (c > 0x7F || std::toupper(c) != std::toupper(static_cast<unsigned char>(name[i]))) return false;
    }
    return true;
}

// The offset that the directory at `directory` gives for the entry matching
// `id` (or, with `name`, that name; or, with neither, its first entry).
std::optional<uint32_t> DirectoryEntry(const Region& resources, uint32_t directory, const std::string* name,
                                       std::optional<uint32_t> id) {
    if (!resources.Holds(directory, kDirectoryHeaderSize)) return std::nullopt;
    uint32_t named = resources.U16(directory + 12);
    uint32_t total = named + resources.U16(directory + 14);
    for (uint32_t i = 0; i < total; ++i) {
        uint64_t entry = uint64_t{directory} + kDirectoryHeaderSize + uint64_t{i} * kDirectoryEntrySize;
        if (!resources.Holds(entry, kDirectoryEntrySize)) return std::nullopt;
        uint32_t key = resources.U32(entry);
        bool isName = (key & kSubdirectoryBit) != 0;
        bool matches = name ? isName && NameMatches(resources, key & ~kSubdirectoryBit, *name)
                            : id ? !isName && key == *id : true;
        if (matches) return resources.U32(entry + 4);
    }
    return std::nullopt;
}

std::optional<uint32_t> Subdirectory(std::optional<uint32_t> offset) {
    if (!offset || !(*offset & kSubdirectoryBit)) return std::nullopt;
    return *offset & ~kSubdirectoryBit;
}
}  // namespace

std::optional<Bytes> FindRcdataResource(const Bytes& image, const std::string& name) {
    PeHeaders headers;
    if (!FindPeHeaders(image.data(), static_cast<uint32_t>(std::min<uint64_t>(image.size(), UINT32_MAX)), &headers))
        return std::nullopt;
    uint32_t pe = headers.peOffset;
    uint32_t directoryRva = ReadU32Le(image.data() + pe + kResourceDirectoryAt);
    uint32_t directorySize = ReadU32Le(image.data() + pe + kResourceDirectoryAt + 4);
    if (headers.directoryCount <= 2 || directorySize == 0) return std::nullopt;
    std::optional<uint64_t> start = FileOffsetOf(image, pe, directoryRva, directorySize);
    if (!start) return std::nullopt;
    Region resources{&image, *start, directorySize};

    std::optional<uint32_t> type = Subdirectory(DirectoryEntry(resources, 0, nullptr, kRcdataType));
    std::optional<uint32_t> named = type ? Subdirectory(DirectoryEntry(resources, *type, &name, std::nullopt)) : type;
    std::optional<uint32_t> data = named ? DirectoryEntry(resources, *named, nullptr, std::nullopt) : named;
    if (!data || (*data & kSubdirectoryBit) || !resources.Holds(*data, kDataEntrySize)) return std::nullopt;
    uint32_t length = resources.U32(*data + 4);
    std::optional<uint64_t> content = FileOffsetOf(image, pe, resources.U32(*data), length);
    if (!content) return std::nullopt;
    return Bytes(image.begin() + static_cast<ptrdiff_t>(*content),
                 image.begin() + static_cast<ptrdiff_t>(*content + length));
}

KeyPtr StubVerificationKey(const Bytes& stub, const std::string& stubPath) {
    std::optional<Bytes> blob = FindRcdataResource(stub, kKeyResourceName);
    if (!blob)
        throw PackError(stubPath + " carries no msistub verification key (resource " + kKeyResourceName +
                        "); is this an msistub launcher? Use build/windows/msistub.exe or a setup made from it");
    const unsigned char* cursor = blob->data();
    KeyPtr key(blob->size() == kVerificationKeySize ? b2i_PublicKey(&cursor, static_cast<long>(blob->size()))
                                                     : nullptr);
    if (!key) throw PackError("the verification key resource of " + stubPath + " cannot be loaded");
    return key;
}
