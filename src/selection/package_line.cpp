#include "selection/package_line.h"

#include "format/manifest_names.h"
#include "platform/platform.h"

namespace {
constexpr int kPackageFieldCount = 4;

bool LanguageMatches(uint32_t listed, const PackageChoice& choice) {
    uint32_t mask = choice.matchMode == 0 ? 0xFFFFu : 0xFFu;
    return (listed & mask) == (choice.languageId & mask);
}

// Every field is stored, so the choice holds whole fields or none: a field
// that is too long or does not convert exactly turns the line into no package
// line rather than being cut or mapped into another product code or name. The
// product code becomes the product folder's name, so it must be a GUID.
bool StorePackageFields(const ManifestField* fields, PackageChoice* choice) {
    if (!IsBracedGuid(fields[2].start, fields[2].length)) return false;
    bool allFit = CopyManifestField(fields[0], choice->platform);
    allFit = CopyManifestField(fields[1], choice->languages) && allFit;
    allFit = CopyManifestField(fields[2], choice->productCode) && allFit;
    allFit = CopyManifestField(fields[3], choice->productName) && allFit;
    return allFit;
}
}  // namespace

int MatchPackageLine(uint32_t blobIndex, uint32_t recordId, const char16_t* text, uint32_t units, void* context) {
    auto* choice = static_cast<PackageChoice*>(context);
    if (!choice) return 1;

    ManifestField fields[kPackageFieldCount];
    if (SplitManifestLine(text, units, fields, kPackageFieldCount) != kPackageFieldCount) return 1;
    if (!StorePackageFields(fields, choice)) return 1;

    NumberListCursor languages = StartNumberList(fields[1]);
    bool hasNumber = false;
    uint32_t listed = 0;
    while (NextListElement(&languages, &hasNumber, &listed)) {
        if (!hasNumber || !LanguageMatches(listed, *choice)) continue;
        if (PlatformCompareNoCase(choice->platform, "x64") != 0) continue;
        choice->blobIndex = blobIndex;
        choice->entryId = recordId;
        return 0;
    }
    return 1;
}
