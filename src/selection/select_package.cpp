#include "selection/select_package.h"

#include <cstdio>

#include "launcher/status_lines.h"
#include "selection/cabinet_line.h"
#include "selection/manifest_records.h"
#include "selection/package_items.h"

namespace {
constexpr uint32_t kFallbackLanguage = 1033;

// A malformed record only ends a pass early; whether a line was chosen is
// all that counts.
bool RunPass(const LauncherState* state, PackageChoice* choice, int32_t matchMode) {
    choice->matchMode = matchMode;
    choice->languageId = state->languageId;
    EnumerateManifest(state, MatchPackageLine, choice);
    return choice->entryId != 0;
}

bool ChoosePackageLine(LauncherState* state, PackageChoice* choice) {
    if (RunPass(state, choice, 0)) return true;
    if (RunPass(state, choice, 1)) return true;
    if (state->languageId == kFallbackLanguage) return false;
    state->languageId = kFallbackLanguage;
    return RunPass(state, choice, 0);
}

// The grown array belongs to the set even when the package cannot be read,
// so the cleanup frees it; only a package that was read is counted.
bool AddPackageItem(const LauncherState* state, const PackageChoice& choice, ExtractionSet* set) {
    PackageItem* grown = GrowItemArray(set->items, set->itemCount);
    if (!grown) return false;
    set->items = grown;
    if (!LoadPackageItem(state, choice.blobIndex, choice.entryId, &grown[set->itemCount], "main.msi")) return false;
    set->itemCount += 1;
    return true;
}

bool GatherCabinets(const LauncherState* state, const PackageChoice& choice, ExtractionSet* set) {
    CabinetGather gather = {state, &set->items, &set->itemCount, choice.blobIndex, choice.entryId, 0};
    EnumerateManifest(state, MatchCabinetLine, &gather);
    return gather.failed == 0;
}
}  // namespace

StatusValue SelectPackage(LauncherState* state, PackageChoice* choice, ExtractionSet* set,
                          const char* badPackageText, char* errorText, size_t errorTextSize) {
    if (ChoosePackageLine(state, choice) && AddPackageItem(state, *choice, set) &&
        GatherCabinets(state, *choice, set))
        return StatusOf(kErrorSuccess, 0);

    std::snprintf(errorText, errorTextSize, "%s", badPackageText);
    return StatusOf(kErrorInvalidData, kLineNoPackage);
}
