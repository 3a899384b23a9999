#include "setup/package_plan.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>

#include "files/input_checks.h"
#include "files/pack_error.h"
#include "msi/cabinet_media.h"
#include "msi/msi_facts.h"

namespace fs = std::filesystem;

namespace {
bool EqualsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// "x64;1033,1031": the platform, then the languages, which the Template
// separates with commas and a package line with ';'.
void SplitTemplate(const std::string& text, std::string* platform, std::string* languages) {
    size_t semicolon = text.find(';');
    *platform = text.substr(0, semicolon);
    *languages = semicolon == std::string::npos ? "" : text.substr(semicolon + 1);
    std::replace(languages->begin(), languages->end(), ',', ';');
}

void CheckLanguages(const std::string& languages, const std::string& source) {
    CheckManifestField(languages, "languages", source);
    bool digitSeen = false;
    bool nonZeroSeen = false;
    for (char c : languages) {
        if (c == ';') continue;
        if (c < '0' || c > '9')
            throw PackError("the languages \"" + languages + "\" of " + source +
                            " are not decimal language ids separated by ';'");
        digitSeen = true;
        nonZeroSeen = nonZeroSeen || c != '0';
    }
    if (!digitSeen) throw PackError("the languages of " + source + " name no language id");
    // The launcher matches the user's language, then 1033; a line for the
    // neutral language 0 alone would never be chosen.
    if (!nonZeroSeen)
        throw PackError("the languages of " + source +
                        " name only the neutral language 0, which the launcher never chooses; pass --languages");
}

// The product code names the folder the launcher extracts into.
void CheckProductCode(const std::string& code, const std::string& source) {
    CheckManifestField(code, "product code", source);
    static const char kShape[] = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    bool shaped = code.size() == sizeof(kShape) - 1;
    for (size_t i = 0; shaped && i < code.size(); ++i)
        shaped = kShape[i] == 'X' ? std::isxdigit(static_cast<unsigned char>(code[i])) != 0 : code[i] == kShape[i];
    if (!shaped) throw PackError("the product code \"" + code + "\" of " + source + " is not a GUID in braces");
}
}  // namespace

PackageSource DescribePackage(const std::string& msiPath, const PackageOverrides& overrides) {
    CheckMsiFile(msiPath);
    MsiFacts facts = ReadMsiFacts(msiPath);
    PackageSource package;
    package.msiPath = msiPath;
    SplitTemplate(facts.templateText, &package.platform, &package.languages);
    const std::string templatePlatform = package.platform;
    package.productCode = overrides.productCode.value_or(facts.productCode);
    package.productName = overrides.productName.value_or(facts.productName);
    package.productVersion = facts.productVersion;
    package.manufacturer = facts.manufacturer;
    if (overrides.platform) package.platform = *overrides.platform;
    if (overrides.languages) package.languages = *overrides.languages;

    const std::string source = msiPath;
    if (overrides.platform && !EqualsNoCase(*overrides.platform, "x64"))
        throw PackError("--platform " + *overrides.platform +
                        " names a platform the launcher does not install; it installs x64 packages only, so leave "
                        "--platform out or pass x64");
    // --platform only names what the package is; it cannot make an x86
    // package install as x64 (Windows Installer follows the Template).
    if (overrides.platform && !templatePlatform.empty() && !EqualsNoCase(templatePlatform, *overrides.platform))
        throw PackError("--platform " + *overrides.platform + " contradicts the Template of " + msiPath +
                        ", which says \"" + templatePlatform + "\": Windows Installer installs it as " +
                        templatePlatform + " whatever the manifest says. Build the package for x64 (wixl -a x64) "
                        "and leave --platform out");
    if (!EqualsNoCase(package.platform, "x64"))
        throw PackError(source + " is not an x64 package (platform \"" + package.platform +
                        "\" in its Template); the launcher installs x64 packages only: build it for x64 (wixl -a x64)");
    package.platform = "x64";
    CheckLanguages(package.languages, source);
    CheckProductCode(package.productCode, source);
    CheckManifestField(package.productName, "product name",
                       source + (overrides.productName ? " (given with --product-name)" : " (its ProductName property)"),
                       package.languages);

    const bool cabinetsGiven = !overrides.cabinets.empty();
    if (cabinetsGiven) {
        for (const std::string& path : overrides.cabinets) {
            std::error_code error;
            if (!fs::is_regular_file(path, error))
                throw PackError("no cabinet file at " + path + ", given with --cabinet for " + source +
                                "; check the path");
        }
        if (overrides.checkCabinets) CheckCabinetsMatchMedia(facts, overrides.cabinets, source);
        package.cabinetPaths = overrides.cabinets;
    } else {
        fs::path folder = fs::path(msiPath).parent_path();
        for (const std::string& name : facts.cabinets) {
            CheckCabinetFileName(name, source, package.languages);
            package.cabinetPaths.push_back((folder / name).string());
        }
    }
    for (const std::string& path : package.cabinetPaths) {
        std::error_code error;
        if (!fs::is_regular_file(path, error))
            throw PackError("the cabinet " + fs::path(path).filename().string() + " of " + source +
                            " is missing: its Media table names it, so it was looked for beside the MSI, at " + path +
                            "; put it there, or give its path with --cabinet PATH");
        CheckCabinetFileName(fs::path(path).filename().string(), source, package.languages);
        if (overrides.checkCabinets) CheckCabinetSignature(path, source);
    }
    CheckCabinetNamesDistinct(package.cabinetPaths, source);
    return package;
}

PackagePlan PlanPackages(const std::vector<PackageSource>& packages) {
    PackagePlan plan;
    uint32_t nextId = kFirstPayloadId;
    std::map<std::string, size_t> cabinetByPath;  // canonical path -> index in `cabinets`
    struct Cabinet {
        uint32_t id;
        std::string name;
        std::vector<uint32_t> owners;
    };
    std::vector<Cabinet> cabinets;
    for (const PackageSource& package : packages) {
        uint32_t packageId = nextId++;
        plan.records.push_back({packageId, PackageLineText(package.platform, package.languages, package.productCode,
                                                           package.productName)});
        plan.payloads.push_back({packageId, package.msiPath, "main.msi"});
        for (const std::string& path : package.cabinetPaths) {
            std::error_code error;
            std::string key = fs::weakly_canonical(path, error).string();
            if (error) key = path;
            auto found = cabinetByPath.find(key);
            if (found == cabinetByPath.end()) {
                std::string name = fs::path(path).filename().string();
                cabinets.push_back({nextId, name, {}});
                plan.payloads.push_back({nextId++, path, name});
                found = cabinetByPath.emplace(key, cabinets.size() - 1).first;
            }
            std::vector<uint32_t>& owners = cabinets[found->second].owners;
            if (std::find(owners.begin(), owners.end(), packageId) == owners.end()) owners.push_back(packageId);
        }
    }
    for (const Cabinet& cabinet : cabinets) {
        std::string line = CabinetLineText(cabinet.owners, cabinet.name);
        if (line.size() - cabinet.name.size() - 5 > kMaxFieldCharacters)
            throw PackError("the cabinet " + cabinet.name + " has too many owners for one line");
        plan.records.push_back({cabinet.id, line});
    }
    std::sort(plan.records.begin(), plan.records.end(),
              [](const ManifestRecord& a, const ManifestRecord& b) { return a.id < b.id; });
    std::sort(plan.payloads.begin(), plan.payloads.end(),
              [](const PlannedPayload& a, const PlannedPayload& b) { return a.id < b.id; });
    return plan;
}
