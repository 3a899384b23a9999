// The selection step: choose the package line for the user's language and
// the x64 platform, and hold the package ("main.msi") and its cabinets in
// memory as the items of a PackageSet.
#pragma once

#include <cstddef>
#include <cstdint>

#include "selection/package_item.h"
#include "container/blob_table.h"
#include "core/status.h"
#include "selection/package_line.h"

// `choice` starts zeroed and `set` empty. On success the choice names the
// chosen line and the set holds its items. On failure `errorText` receives
// `badPackageText` and the result is (13, kLineNoPackage); items already
// counted stay in the set for the cleanup. A third pass, run when the user's
// language is not 1033, leaves `*languageId` at 1033.
StatusValue SelectPackage(const BlobTable* table, uint32_t* languageId, PackageChoice* choice, PackageSet* set,
                          const char* badPackageText, char* errorText, size_t errorTextSize);
