#include "setup/stub_resource_section.h"

#include <algorithm>

#include "chain/pe_image.h"
#include "files/pack_error.h"
#include "format/certificate_table.h"
#include "format/entry_format.h"

namespace {
constexpr uint32_t kSectionCountAt = 6;
constexpr uint32_t kOptionalHeaderSizeAt = 20;
constexpr uint32_t kOptionalHeaderAt = 24;
// Fields of the PE32+ optional header, from its start.
constexpr uint32_t kInitializedDataSizeAt = 8;
constexpr uint32_t kEntryPointAt = 16;
constexpr uint32_t kSectionAlignmentAt = 32;
constexpr uint32_t kFileAlignmentAt = 36;
constexpr uint32_t kImageSizeAt = 56;
constexpr uint32_t kDirectoryCountAt = 108;
constexpr uint32_t kDirectoriesAt = 112;
constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kSecurityDirectory = 4;
constexpr uint32_t kRelocationDirectory = 5;
constexpr uint32_t kSectionHeaderSize = 40;

struct Section {
    uint64_t headerAt;
    uint32_t virtualSize;
    uint32_t address;
    uint32_t rawSize;
    uint32_t rawAt;
};

struct StubLayout {
    uint64_t optionalHeader;
    uint32_t sectionAlignment;
    uint32_t fileAlignment;
    uint32_t directoryCount;
    std::vector<Section> sections;
    size_t resources;  // index of the resource section
};

uint32_t U32(const Bytes& image, uint64_t at) { return ReadU32Le(image.data() + at); }

[[noreturn]] void Refuse(const std::string& path, const std::string& why) {
    throw PackError("cannot write resources into the stub " + path + ": " + why +
                    "; use the msistub.exe that the project builds");
}

uint64_t DirectoryAt(const StubLayout& layout, uint32_t index) {
    return layout.optionalHeader + kDirectoriesAt + uint64_t{index} * 8;
}

StubLayout FindLayout(const Bytes& image, const std::string& path) {
    PeHeaders headers;
    if (!FindPeHeaders(image.data(), static_cast<uint32_t>(std::min<uint64_t>(image.size(), UINT32_MAX)), &headers))
        throw PackError("the stub " + path + " is not a 64-bit Windows executable (PE32+)");
    StubLayout layout{};
    layout.optionalHeader = uint64_t{headers.peOffset} + kOptionalHeaderAt;
    layout.sectionAlignment = U32(image, layout.optionalHeader + kSectionAlignmentAt);
    layout.fileAlignment = U32(image, layout.optionalHeader + kFileAlignmentAt);
    layout.directoryCount = U32(image, layout.optionalHeader + kDirectoryCountAt);
    if (layout.directoryCount <= kRelocationDirectory)
        Refuse(path, "its headers have no room for the resource directory");
    auto powerOfTwo = [](uint32_t value) { return value >= 512 && (value & (value - 1)) == 0; };
    if (!powerOfTwo(layout.fileAlignment) || !powerOfTwo(layout.sectionAlignment))
        Refuse(path, "its section alignment is not one the loader accepts");

    uint32_t count = ReadU16Le(image.data() + headers.peOffset + kSectionCountAt);
    uint64_t table = layout.optionalHeader + ReadU16Le(image.data() + headers.peOffset + kOptionalHeaderSizeAt);
    if (table + uint64_t{count} * kSectionHeaderSize > image.size()) Refuse(path, "its section table is cut short");
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t at = table + uint64_t{i} * kSectionHeaderSize;
        Section section{at, U32(image, at + 8), U32(image, at + 12), U32(image, at + 16), U32(image, at + 20)};
        if (uint64_t{section.rawAt} + section.rawSize > image.size()) Refuse(path, "a section lies outside the file");
        if (i > 0 && section.address < layout.sections.back().address)
            Refuse(path, "its sections are not in address order");
        layout.sections.push_back(section);
    }
    uint32_t resourceRva = U32(image, DirectoryAt(layout, kResourceDirectory));
    layout.resources = layout.sections.size();
    for (size_t i = 0; i < layout.sections.size(); ++i)
        if (layout.sections[i].address == resourceRva && resourceRva != 0) layout.resources = i;
    if (layout.resources == layout.sections.size())
        throw PackError("the stub " + path + " has no resource section, so it is no msistub launcher; use the "
                        "msistub.exe that the project builds");
    return layout;
}

std::vector<ResourceItem> ParseItems(const Bytes& image, const StubLayout& layout, const std::string& path) {
    const Section& section = layout.sections[layout.resources];
    // Bytes past the virtual size are not mapped, so no resource lies there.
    uint32_t size = section.virtualSize ? std::min(section.rawSize, section.virtualSize) : section.rawSize;
    std::string why;
    std::optional<std::vector<ResourceItem>> items =
        ParseResourceSection(image.data() + section.rawAt, size, section.address, &why);
    if (!items) Refuse(path, "its resource section is damaged (" + why + ")");
    return *items;
}

uint32_t AlignUp(uint64_t value, uint32_t to) { return static_cast<uint32_t>((value + to - 1) / to * to); }

// Only the base relocations may follow the resources: nothing but their data
// directory points at them, so they can move.
void CheckMovable(const Bytes& image, const StubLayout& layout, const std::string& path) {
    const Section& resources = layout.sections[layout.resources];
    size_t following = layout.sections.size() - layout.resources - 1;
    uint32_t relocations = U32(image, DirectoryAt(layout, kRelocationDirectory));
    if (following > 1) Refuse(path, "more than one section follows its resource section");
    if (following == 1) {
        const Section& last = layout.sections.back();
        if (relocations != last.address)
            Refuse(path, "the section after its resource section holds more than the base relocations");
        if (last.rawAt != uint64_t{resources.rawAt} + resources.rawSize)
            Refuse(path, "its last sections do not follow each other in the file");
    }
    for (uint32_t index = 0; index < std::min<uint32_t>(layout.directoryCount, 16); ++index) {
        if (index == kResourceDirectory || index == kSecurityDirectory || index == kRelocationDirectory) continue;
        uint32_t rva = U32(image, DirectoryAt(layout, index));
        if (rva != 0 && rva >= resources.address)
            Refuse(path, "data directory " + std::to_string(index) + " points behind its resources");
    }
    if (U32(image, layout.optionalHeader + kEntryPointAt) >= resources.address)
        Refuse(path, "its entry point lies behind its resources");
    uint64_t end = uint64_t{layout.sections.back().rawAt} + layout.sections.back().rawSize;
    if (image.size() != end)
        Refuse(path, "it holds " + std::to_string(image.size() - std::min<uint64_t>(end, image.size())) +
                         " bytes behind its last section (a signature or a container?)");
}
}  // namespace

std::vector<ResourceItem> ReadStubResources(const Bytes& image, const std::string& path) {
    StubLayout layout = FindLayout(image, path);
    return ParseItems(image, layout, path);
}

Bytes WriteStubResources(const Bytes& image, const std::vector<ResourceItem>& items, const std::string& path) {
    StubLayout layout = FindLayout(image, path);
    std::optional<PeLayout> pe = FindPeLayout(image.data(), image.size());
    if (!pe) throw PackError("the stub " + path + " is not a 64-bit Windows executable (PE32+)");
    if (pe->certificateTableSize != 0 || pe->certificateTableOffset != 0)
        throw PackError("the stub " + path + " is signed, and new resources would break its signature: write key "
                        "and branding into the unsigned stub (msistub-pack stub), then sign it");
    ParseItems(image, layout, path);
    CheckMovable(image, layout, path);

    const Section resources = layout.sections[layout.resources];
    Bytes section = BuildResourceSection(items, resources.address);
    uint32_t rawSize = AlignUp(section.size(), layout.fileAlignment);
    Bytes out(image.begin(), image.begin() + resources.rawAt);
    out.insert(out.end(), section.begin(), section.end());
    out.resize(uint64_t{resources.rawAt} + rawSize, 0);
    WriteU32Le(out.data() + resources.headerAt + 8, static_cast<uint32_t>(section.size()));
    WriteU32Le(out.data() + resources.headerAt + 16, rawSize);
    WriteU32Le(out.data() + DirectoryAt(layout, kResourceDirectory), resources.address);
    WriteU32Le(out.data() + DirectoryAt(layout, kResourceDirectory) + 4, static_cast<uint32_t>(section.size()));
    uint32_t imageEnd = AlignUp(uint64_t{resources.address} + section.size(), layout.sectionAlignment);

    if (layout.resources + 1 < layout.sections.size()) {
        const Section& moved = layout.sections.back();
        uint32_t newAddress = imageEnd;
        WriteU32Le(out.data() + moved.headerAt + 12, newAddress);
        WriteU32Le(out.data() + moved.headerAt + 20, static_cast<uint32_t>(out.size()));
        WriteU32Le(out.data() + DirectoryAt(layout, kRelocationDirectory), newAddress);
        out.insert(out.end(), image.begin() + moved.rawAt, image.begin() + moved.rawAt + moved.rawSize);
        imageEnd = AlignUp(uint64_t{newAddress} + (moved.virtualSize ? moved.virtualSize : moved.rawSize),
                           layout.sectionAlignment);
    }
    WriteU32Le(out.data() + layout.optionalHeader + kImageSizeAt, imageEnd);
    uint32_t initialized = U32(out, layout.optionalHeader + kInitializedDataSizeAt);
    WriteU32Le(out.data() + layout.optionalHeader + kInitializedDataSizeAt, initialized - resources.rawSize + rawSize);
    UpdatePeChecksum(&out, *pe);
    return out;
}
