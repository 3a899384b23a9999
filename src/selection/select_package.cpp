#include "selection/select_package.h"

#include <cstdio>

#include "core/status_lines.h"
#include "selection/cabinet_line.h"
#include "selection/enumerate_manifest.h"
#include "selection/package_items.h"

namespace {
constexpr uint32_t kFallbackLanguage = 1033;

// A malformed record only ends a pass early; whether a line was chosen is
// all that counts.
bool RunPass(const BlobTable* table, uint32_t languageId, PackageChoice* choice, int32_t matchMode) {
    choice->matchMode = matchMode;
    choice->languageId = languageId;
    EnumerateManifest(table, MatchPackageLine, choice);
    return choice->entryId != 0;
}

bool ChoosePackageLine(const BlobTable* table, uint32_t* languageId, PackageChoice* choice) {
    if (RunPass(table, *languageId, choice, 0)) return true;
    if (RunPass(table, *languageId, choice, 1)) return true;
    if (*languageId == kFallbackLanguage) return false;
    *languageId = kFallbackLanguage;
    return RunPass(table, *languageId, choice, 0);
}

// The grown array belongs to the set even when the package cannot be read,
// so the cleanup frees it; only a package that was read is counted.
bool AddPackageItem(const BlobTable* table, const PackageChoice& choice, PackageSet* set) {
    PackageItem* grown = GrowItemArray(set->items, set->itemCount);
    if (!grown) return false;
    set->items = grown;
    if (!LoadPackageItem(table, choice.blobIndex, choice.entryId, &grown[set->itemCount], "main.msi")) return false;
    set->itemCount += 1;
    return true;
}

bool GatherCabinets(const BlobTable* table, const PackageChoice& choice, PackageSet* set) {
    CabinetGather gather = {table, &set->items, &set->itemCount, choice.blobIndex, choice.entryId, 0};
    EnumerateManifest(table, MatchCabinetLine, &gather);
    if (gather.failed) return false;
    for (int32_t i = 1; i < set->itemCount; ++i)
        if (ClashesWithEarlierItem(set->items, i)) return false;
    return true;
}
}  // namespace

StatusValue SelectPackage(const BlobTable* table, uint32_t* languageId, PackageChoice* choice, PackageSet* set,
                          const char* badPackageText, char* errorText, size_t errorTextSize) {
    if (ChoosePackageLine(table, languageId, choice) && AddPackageItem(table, *choice, set) &&
        GatherCabinets(table, *choice, set))
        return StatusOf(kErrorSuccess, 0);

    std::snprintf(errorText, errorTextSize, "%s", badPackageText);
    return StatusOf(kErrorInvalidData, kLineNoPackage);
}
