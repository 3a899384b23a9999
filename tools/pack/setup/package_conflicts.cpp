#include "setup/package_conflicts.h"

#include <sstream>

#include "files/pack_error.h"

namespace {
std::vector<std::string> LanguageIds(const std::string& languages) {
    std::vector<std::string> ids;
    std::stringstream list(languages);
    for (std::string id; std::getline(list, id, ';');) {
        size_t first = id.find_first_not_of('0');
        if (!id.empty()) ids.push_back(first == std::string::npos ? "0" : id.substr(first));
    }
    return ids;
}

void RefusePair(const PackageSource& first, const PackageSource& second) {
    for (const std::string& language : LanguageIds(second.languages))
        for (const std::string& claimed : LanguageIds(first.languages))
            if (language == claimed)
                throw PackError(first.msiPath + " and " + second.msiPath + " both claim " + first.platform +
                                " language " + language + ", so the launcher could never choose " + second.msiPath +
                                " for it; give each MSI its own languages, e.g. " + second.msiPath +
                                ":1031 (wixl, for one, writes 1033 into every Template)");
}
}  // namespace

void RefuseUnreachablePackages(const std::vector<PackageSource>& packages) {
    for (size_t later = 1; later < packages.size(); ++later)
        for (size_t earlier = 0; earlier < later; ++earlier)
            if (packages[earlier].platform == packages[later].platform) RefusePair(packages[earlier], packages[later]);
}
