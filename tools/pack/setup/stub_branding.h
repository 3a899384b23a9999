// Writing the vendor's verification key and branding into a copy of the
// stub: the key resource the launcher checks entries with, the icon, the
// version resource and the application manifest's description.
#pragma once

#include <openssl/evp.h>

#include <optional>
#include <string>
#include <vector>

#include "files/byte_files.h"
#include "setup/resource_tree.h"

// What the vendor asked for; a field left empty keeps what the MSI says, or
// without an MSI what the stub says.
struct StubBranding {
    std::optional<std::string> iconPath;
    std::optional<std::string> productName;
    std::optional<std::string> productVersion;  // one to four numbers
    std::optional<std::string> company;
    std::optional<std::string> copyright;
    std::optional<std::string> description;
    bool Any() const { return iconPath || productName || productVersion || company || copyright || description; }
};

// What the (first) MSI says about its product.
struct MsiBranding {
    std::string msiPath;
    std::string productName;
    std::string productVersion;
    std::string manufacturer;
};

// The PUBLICKEYBLOB of the key's public half, as the launcher reads it.
Bytes VerificationKeyBlob(EVP_PKEY* key);

// The key blob the stub's resource holds, if any.
std::optional<Bytes> StubKeyBlob(const std::vector<ResourceItem>& items);

// Reads `stub`'s resources, writes the key blob and the branding into them
// and the new resource section into the copy it returns. Throws PackError
// for an icon without the sizes the launcher shows, a version that is not
// one to four numbers, a text that does not fit, or a stub it cannot write.
Bytes BrandStub(const Bytes& stub, const std::string& stubPath, const Bytes& keyBlob, const StubBranding& branding,
                const std::optional<MsiBranding>& msi);

// The resources with key and branding applied; BrandStub's work without the
// image, for the tests.
std::vector<ResourceItem> BrandResources(std::vector<ResourceItem> items, const Bytes& keyBlob,
                                         const StubBranding& branding, const std::optional<MsiBranding>& msi);

// The text inside the manifest's <description> element, if it has one.
std::optional<std::string> ManifestDescription(const std::vector<ResourceItem>& items);
