#include "setup/stub_branding.h"

#include <openssl/bio.h>
#include <openssl/pem.h>

#include <algorithm>
#include <set>

#include "files/pack_error.h"
#include "format/entry_format.h"
#include "format/verification_key.h"
#include "setup/stub_resource_section.h"
#include "setup/version_info.h"
#include "text/utf16_text.h"

namespace {
constexpr char kKeyResourceName[] = "MSISTUB_VERIFICATION_KEY";
constexpr char kIconGroupName[] = "APP";
constexpr uint16_t kEnglishUs = 0x0409;
constexpr uint16_t kVersionResourceId = 1;
constexpr uint16_t kManifestResourceId = 1;
// The progress window asks for the small and the large icon; Windows scales
// a missing size from another, which looks blurred.
constexpr uint8_t kNeededIconSizes[] = {16, 32};
constexpr size_t kIconDirectoryEntrySize = 16;
constexpr size_t kGroupEntrySize = 14;
constexpr size_t kLongestText = 255;

struct IconImage {
    const uint8_t* entry;  // the 16-byte directory entry in the file
    Bytes data;
};

uint32_t SizeOf(uint8_t byte) { return byte ? byte : 256; }

std::vector<IconImage> ReadIconFile(const std::string& path, const Bytes& file) {
    if (file.size() < 6 || ReadU16Le(file.data()) != 0 || ReadU16Le(file.data() + 2) != 1)
        throw PackError("the icon " + path + " is not an .ico file (no icon directory at its start)");
    size_t count = ReadU16Le(file.data() + 4);
    if (count == 0 || file.size() < 6 + count * kIconDirectoryEntrySize)
        throw PackError("the icon " + path + " is cut short: its directory names " + std::to_string(count) +
                        " images");
    std::vector<IconImage> images;
    std::set<uint32_t> sizes;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* entry = file.data() + 6 + i * kIconDirectoryEntrySize;
        uint32_t length = ReadU32Le(entry + 8), offset = ReadU32Le(entry + 12);
        if (offset > file.size() || length > file.size() - offset || length == 0)
            throw PackError("the icon " + path + " is cut short: image " + std::to_string(i + 1) +
                            " lies outside the file");
        images.push_back({entry, Bytes(file.begin() + offset, file.begin() + offset + length)});
        if (entry[0] == entry[1]) sizes.insert(SizeOf(entry[0]));
    }
    for (uint8_t needed : kNeededIconSizes) {
        if (sizes.count(needed)) continue;
        std::string present;
        for (uint32_t size : sizes) present += (present.empty() ? "" : ", ") + std::to_string(size);
        throw PackError("the icon " + path + " has no " + std::to_string(needed) + "x" + std::to_string(needed) +
                        " image (it has: " + (present.empty() ? "none square" : present) +
                        "); the progress window needs 16x16 and 32x32. Add them to the .ico, e.g. with icotool -c");
    }
    return images;
}

uint16_t LanguageOf(const std::vector<ResourceItem>& items, const ResourceKey& type, const ResourceKey& name) {
    const ResourceItem* item = FindResource(items, type, name);
    return item ? item->language : kEnglishUs;
}

void Replace(std::vector<ResourceItem>* items, ResourceItem item) {
    auto same = [&](const ResourceItem& old) { return old.type == item.type && old.name == item.name; };
    items->erase(std::remove_if(items->begin(), items->end(), same), items->end());
    items->push_back(std::move(item));
}

// The group's images get ids no other icon holds; the icons of the group it
// replaces go with it.
void WriteIcon(std::vector<ResourceItem>* items, const std::string& path) {
    Bytes file = ReadFileBytes(path, "icon");
    std::vector<IconImage> images = ReadIconFile(path, file);
    ResourceKey group = ResourceName(kIconGroupName);
    uint16_t language = LanguageOf(*items, ResourceId(kResourceTypeGroupIcon), group);
    std::set<uint16_t> oldIds;
    if (const ResourceItem* old = FindResource(*items, ResourceId(kResourceTypeGroupIcon), group))
        for (size_t at = 6; at + kGroupEntrySize <= old->data.size(); at += kGroupEntrySize)
            oldIds.insert(ReadU16Le(old->data.data() + at + 12));
    items->erase(std::remove_if(items->begin(), items->end(),
                                [&](const ResourceItem& item) {
                                    return item.type == ResourceId(kResourceTypeIcon) && !item.name.isName &&
                                           oldIds.count(item.name.id);
                                }),
                 items->end());
    std::set<uint16_t> taken;
    for (const ResourceItem& item : *items)
        if (item.type == ResourceId(kResourceTypeIcon) && !item.name.isName) taken.insert(item.name.id);

    Bytes directory(6, 0);
    directory[2] = 1;
    directory[4] = static_cast<uint8_t>(images.size());
    directory[5] = static_cast<uint8_t>(images.size() >> 8);
    uint16_t next = 1;
    for (const IconImage& image : images) {
        while (taken.count(next)) ++next;
        uint16_t id = next++;
        ResourceItem icon{ResourceId(kResourceTypeIcon), ResourceId(id), language, 0, image.data};
        items->push_back(icon);
        // The group entry is the file's entry with the id in place of the offset.
        directory.insert(directory.end(), image.entry, image.entry + 12);
        directory.push_back(static_cast<uint8_t>(id));
        directory.push_back(static_cast<uint8_t>(id >> 8));
    }
    Replace(items, {ResourceId(kResourceTypeGroupIcon), group, language, 0, directory});
}

void CheckText(const std::string& text, const std::string& what) {
    std::u16string wide = Utf8ToUtf16(text, what);
    if (wide.size() > kLongestText)
        throw PackError(what + " takes at most " + std::to_string(kLongestText) + " characters; \"" + text +
                        "\" has " + std::to_string(wide.size()));
    for (char16_t c : wide)
        if (c < 0x20) throw PackError(what + " \"" + text + "\" holds a control character");
}

std::array<uint16_t, 4> VersionNumbers(const std::string& text, const std::string& what) {
    std::optional<std::array<uint16_t, 4>> numbers = ParseVersionNumbers(text);
    if (!numbers)
        throw PackError(what + " \"" + text + "\" is not one to four numbers of at most 65535 separated by dots, "
                        "such as 2.1.0 or 2.1.0.17");
    return *numbers;
}

void WriteVersion(std::vector<ResourceItem>* items, const StubBranding& branding,
                  const std::optional<MsiBranding>& msi) {
    ResourceKey type = ResourceId(kResourceTypeVersion), name = ResourceId(kVersionResourceId);
    VersionInfo info;
    if (const ResourceItem* old = FindResource(*items, type, name))
        info = DecodeVersionInfo(old->data).value_or(VersionInfo{});
    bool named = false;
    auto set = [&](const char* field, const std::string& value) { info.strings[field] = value; };
    auto setVersion = [&](const std::string& text, const std::string& what) {
        std::array<uint16_t, 4> numbers = VersionNumbers(text, what);
        info.fileVersion = info.productVersion = numbers;
        set("ProductVersion", text);
        set("FileVersion", text);
    };
    if (msi) {
        set("ProductName", msi->productName);
        named = true;
        if (!branding.productVersion)
            setVersion(msi->productVersion, "the ProductVersion of " + msi->msiPath + " (give --product-version)");
        if (!msi->manufacturer.empty()) set("CompanyName", msi->manufacturer);
    }
    if (branding.productName) {
        CheckText(*branding.productName, "--product-name");
        set("ProductName", *branding.productName);
        named = true;
    }
    if (branding.productVersion) setVersion(*branding.productVersion, "--product-version");
    if (branding.company) CheckText(*branding.company, "--company"), set("CompanyName", *branding.company);
    if (branding.copyright) CheckText(*branding.copyright, "--copyright"), set("LegalCopyright", *branding.copyright);
    if (branding.description) {
        CheckText(*branding.description, "--description");
        set("FileDescription", *branding.description);
    } else if (named) {
        set("FileDescription", info.strings["ProductName"] + " Setup");
    }
    // The stub's own InternalName names the launcher project; a vendor's
    // setup shows its own file instead, as OriginalFilename does.
    if (named) set("InternalName", "setup");
    CheckText(info.strings["ProductName"], "the product name");
    Replace(items, {type, name, LanguageOf(*items, type, name), 0, EncodeVersionInfo(info)});
}

std::string XmlEscaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string XmlUnescaped(std::string text) {
    for (auto [entity, plain] : {std::pair<std::string, std::string>{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""},
                                 {"&apos;", "'"}, {"&amp;", "&"}})
        for (size_t at; (at = text.find(entity)) != std::string::npos;) text.replace(at, entity.size(), plain);
    return text;
}

// The manifest says what the setup is in its <description>; it follows
// the version resource's FileDescription.
void WriteManifestDescription(std::vector<ResourceItem>* items) {
    const ResourceItem* version =
        FindResource(*items, ResourceId(kResourceTypeVersion), ResourceId(kVersionResourceId));
    std::optional<VersionInfo> info = version ? DecodeVersionInfo(version->data) : std::nullopt;
    if (!info || !info->strings.count("FileDescription")) return;
    for (ResourceItem& item : *items) {
        if (!(item.type == ResourceId(kResourceTypeManifest) && item.name == ResourceId(kManifestResourceId))) continue;
        std::string text(item.data.begin(), item.data.end());
        size_t open = text.find("<description>");
        size_t close = open == std::string::npos ? open : text.find("</description>", open);
        if (close == std::string::npos) return;
        open += std::string("<description>").size();
        text.replace(open, close - open, XmlEscaped(info->strings["FileDescription"]));
        item.data.assign(text.begin(), text.end());
    }
}
}  // namespace

Bytes VerificationKeyBlob(EVP_PKEY* key) {
    BIO* memory = BIO_new(BIO_s_mem());
    if (!memory || i2b_PublicKey_bio(memory, key) <= 0) {
        BIO_free(memory);
        throw PackError("the public half of the signing key cannot be written as a key blob");
    }
    char* data = nullptr;
    long length = BIO_get_mem_data(memory, &data);
    Bytes blob(data, data + std::max(length, 0L));
    BIO_free(memory);
    if (blob.size() != kVerificationKeySize) throw PackError("the signing key is not an RSA-2048 key");
    return blob;
}

std::optional<Bytes> StubKeyBlob(const std::vector<ResourceItem>& items) {
    const ResourceItem* key = FindResource(items, ResourceId(kResourceTypeRcdata), ResourceName(kKeyResourceName));
    if (!key) return std::nullopt;
    return key->data;
}

std::vector<ResourceItem> BrandResources(std::vector<ResourceItem> items, const Bytes& keyBlob,
                                         const StubBranding& branding, const std::optional<MsiBranding>& msi) {
    ResourceKey keyType = ResourceId(kResourceTypeRcdata), keyName = ResourceName(kKeyResourceName);
    Replace(&items, {keyType, keyName, LanguageOf(items, keyType, keyName), 0, keyBlob});
    if (branding.iconPath) WriteIcon(&items, *branding.iconPath);
    if (msi || branding.productName || branding.productVersion || branding.company || branding.copyright ||
        branding.description)
        WriteVersion(&items, branding, msi);
    WriteManifestDescription(&items);
    return items;
}

Bytes BrandStub(const Bytes& stub, const std::string& stubPath, const Bytes& keyBlob, const StubBranding& branding,
                const std::optional<MsiBranding>& msi) {
    std::vector<ResourceItem> items = BrandResources(ReadStubResources(stub, stubPath), keyBlob, branding, msi);
    return WriteStubResources(stub, items, stubPath);
}

std::optional<std::string> ManifestDescription(const std::vector<ResourceItem>& items) {
    const ResourceItem* manifest =
        FindResource(items, ResourceId(kResourceTypeManifest), ResourceId(kManifestResourceId));
    if (!manifest) return std::nullopt;
    std::string text(manifest->data.begin(), manifest->data.end());
    size_t open = text.find("<description>");
    size_t close = open == std::string::npos ? open : text.find("</description>", open);
    if (close == std::string::npos) return std::nullopt;
    open += std::string("<description>").size();
    return XmlUnescaped(text.substr(open, close - open));
}
