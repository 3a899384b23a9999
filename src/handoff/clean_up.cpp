#include <windows.h>

#include "extract/chunk_writer.h"
#include "extract/file_lock.h"
#include "handoff/clean_up.h"
#include "handoff/product_registration.h"
#include "platform/paths.h"
#include "platform/platform.h"
#include "platform/win32_api.h"

namespace {

// Files are deleted only when the installation failed and left no product
// registered: a product that is installed, now or from before, may need them.
bool ShouldDelete(uint32_t installerResult, const char* productCode) {
    return installerResult != 0 && !IsProductRegistered(productCode);
}

void ReleaseItem(const PackageItem& item, ItemOutput* output, uint32_t installerResult, const char* productCode) {
    if (output) {
        if (output->outFile) g_win32.CloseHandle(output->outFile);
        output->outFile = nullptr;
        ReleaseFileLock(&output->lock);
    }
    if (ShouldDelete(installerResult, productCode) && item.outPath[0] && FileExists(item.outPath))
        g_win32.DeleteFileW(item.outPath);
}

}  // namespace

void CleanUpExtraction(ExtractionSet* set, uint32_t installerResult, const char* productCode,
                       const wchar_t* destinationFolder) {
    ReleaseChunkWriter(set);
    if (set->items) {
        for (int32_t i = 0; i < set->itemCount; ++i)
            ReleaseItem(set->items[i], set->outputs ? &set->outputs[i] : nullptr, installerResult, productCode);
        PlatformFree(set->items);
        set->items = nullptr;
        set->itemCount = 0;
    }
    PlatformFree(set->outputs);
    set->outputs = nullptr;
    if (!IsProductRegistered(productCode) && destinationFolder[0] && FileExists(destinationFolder))
        g_win32.RemoveDirectoryW(destinationFolder);
}
