#include "selection/cabinet_line.h"

#include "platform/platform.h"
#include "format/manifest_fields.h"
#include "format/manifest_names.h"
#include "selection/package_items.h"

namespace {
constexpr int kCabinetFieldCount = 3;

void AddCabinet(CabinetGather* gather, uint32_t blobIndex, uint32_t recordId, const char* fileName) {
    PackageItem* grown = GrowItemArray(*gather->items, *gather->count);
    if (!grown) {
        gather->failed = 1;
        return;
    }
    // A cabinet that cannot be read stays in the list without data, so the
    // cleanup sees every item that was added.
    if (!LoadPackageItem(gather->table, blobIndex, recordId, &grown[*gather->count], fileName)) gather->failed = 1;
    *gather->items = grown;
    *gather->count += 1;
}
}  // namespace

int MatchCabinetLine(uint32_t blobIndex, uint32_t recordId, const char16_t* text, uint32_t units, void* context) {
    auto* gather = static_cast<CabinetGather*>(context);
    if (!gather) return 1;

    ManifestField fields[kCabinetFieldCount];
    if (SplitManifestLine(text, units, fields, kCabinetFieldCount) != kCabinetFieldCount) return 1;
    char kind[kManifestFieldSize];
    if (!CopyManifestField(fields[0], kind) || PlatformCompareNoCase(kind, "cab") != 0) return 1;
    if (blobIndex != gather->blobIndex) return 1;

    // A file name that does not fit must not be cut or mapped into another
    // name, and it is joined to the product folder, so it must name a file in
    // it; when the cabinet belongs to the chosen package, the package is
    // incomplete.
    char fileName[kManifestFieldSize];
    bool nameFits = IsPlainFileName(fields[2].start, fields[2].length) && CopyManifestField(fields[2], fileName);

    NumberListCursor owners = StartNumberList(fields[1]);
    bool hasNumber = false;
    uint32_t owner = 0;
    while (NextListElement(&owners, &hasNumber, &owner)) {
        if (!hasNumber || owner != gather->entryId) continue;
        if (nameFits && fields[1].length < kManifestFieldSize)
            AddCabinet(gather, blobIndex, recordId, fileName);
        else
            gather->failed = 1;
    }
    return 1;
}
