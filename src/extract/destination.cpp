#include "extract/destination.h"

#include <cstring>

#include "extract/browse_folder.h"
#include "extract/file_lock.h"
#include "platform/paths.h"
#include "core/status_lines.h"
#include "platform/platform.h"
#include "platform/win32_api.h"

namespace {

uint32_t ErrorOr(uint32_t fallback) {
    DWORD error = GetLastError();
    return error ? error : fallback;
}

// A file found at an output path is trusted only when it holds exactly the
// verified payload, and it stays locked from then on. Anything else, an older
// package left by an earlier run under the same product code or a file
// planted there, would reach the installer, which runs with administrator
// rights; it is overwritten like a new file.
bool LockPresentFile(const PackageItem& item, ItemOutput* output) {
    if (!FileExists(item.outPath)) return false;
    output->lock.readLock = LockFileHoldingPayload(item);
    return output->lock.readLock != nullptr;
}

// Two cabinet lines may name the same file: the first item that reaches a
// path writes it, a later one finds it present and leaves it alone.
bool ClaimedByEarlierItem(const ExtractionSet* set, int32_t index) {
    for (int32_t i = 0; i < index; ++i)
        if (CompareStringOrdinal(set->items[i].outPath, -1, set->items[index].outPath, -1, TRUE) == CSTR_EQUAL)
            return true;
    return false;
}

// Returns 0, or the error that kept the file from being opened.
uint32_t OpenOutputFile(ExtractionSet* set, int32_t index, const wchar_t* folder) {
    PackageItem* item = &set->items[index];
    ItemOutput* output = &set->outputs[index];
    output->outFile = nullptr;
    wchar_t name[kItemTextSize];
    if (!AnsiNameToPathText(name, kItemTextSize, item->fileName)) return kErrorFilenameExcedRange;
    if (!JoinPath(item->outPath, kItemTextSize, folder, name)) return kErrorFilenameExcedRange;
    if (ClaimedByEarlierItem(set, index)) return kErrorSuccess;
    if (LockPresentFile(*item, output)) return kErrorSuccess;

    HANDLE file = g_win32.CreateFileW(item->outPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return ErrorOr(kErrorCannotMake);
    output->outFile = file;
    return kErrorSuccess;
}

void CreateFolderIfMissing(const wchar_t* folder) {
    // A failure shows up as a failed output file, which leads to the browser.
    if (!FileExists(folder)) g_win32.CreateDirectoryW(folder, nullptr);
}

// A junction or symbolic link at the product folder would send the elevated
// writes, and the deletes of the clean-up, wherever it points; one planted
// under a base folder that users can write to must not be followed. Only a
// folder that is itself a directory is used.
bool IsRealFolder(const wchar_t* folder) {
    DWORD attributes = GetFileAttributesW(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// 0 when `folder` is a real folder, made now if it was missing; else the
// error that kept it from being made. Whatever else stands there counts as
// the folder already existing, as CreateDirectory would say of a file.
uint32_t MakeProductFolder(const wchar_t* folder) {
    if (!FileExists(folder) && !g_win32.CreateDirectoryW(folder, nullptr)) {
        uint32_t error = ErrorOr(kErrorCannotMake);
        if (!FileExists(folder)) return error;  // else someone made it meanwhile
    }
    return IsRealFolder(folder) ? kErrorSuccess : kErrorAlreadyExists;
}

// The product folder under `folder` (the base folder on entry), then one
// output file per item; stops at the first item that cannot be opened.
// Returns 0, or the error that stopped the attempt.
uint32_t OpenAllOutputFiles(ExtractionSet* set, const char* productCode, wchar_t* folder) {
    wchar_t productFolder[kItemTextSize];
    if (!AnsiNameToPathText(productFolder, kItemTextSize, productCode) ||
        !AppendPathPart(folder, kPathBufferSize, productFolder)) {
        folder[0] = 0;  // nothing of this attempt stands anywhere
        return kErrorFilenameExcedRange;
    }
    uint32_t error = MakeProductFolder(folder);
    if (error) {
        folder[0] = 0;  // what stands there is not the attempt's to remove
        return error;
    }
    for (int32_t i = 0; i < set->itemCount; ++i)
        if ((error = OpenOutputFile(set, i, folder)) != kErrorSuccess) return error;
    return kErrorSuccess;
}

// Returns the items and the product folder to their state before the
// attempt. Files that were present and left untouched stay, and so does a
// folder that they keep from being empty.
void UndoAttempt(ExtractionSet* set, const wchar_t* folder) {
    for (int32_t i = 0; i < set->itemCount; ++i) {
        PackageItem* item = &set->items[i];
        ItemOutput* output = &set->outputs[i];
        if (output->outFile) {
            g_win32.CloseHandle(output->outFile);
            if (FileExists(item->outPath)) g_win32.DeleteFileW(item->outPath);
        }
        ReleaseFileLock(&output->lock);
        std::memset(output, 0, sizeof *output);
        std::memset(item->outPath, 0, sizeof item->outPath);
    }
    if (FileExists(folder)) g_win32.RemoveDirectoryW(folder);
}

// The first base folder: Installer in the Windows directory. When the
// Windows directory is unknown, the product folder is formed from the empty
// path, at the root of the current drive.
bool UseInstallerFolder(wchar_t* folder) {
    UINT length = g_win32.GetWindowsDirectoryW(folder, kPathBufferSize);
    if (length == 0 || length >= kPathBufferSize) {
        folder[0] = 0;
        return true;
    }
    if (!AppendPathPart(folder, kPathBufferSize, L"Installer")) {
        folder[0] = 0;
        return false;
    }
    CreateFolderIfMissing(folder);
    return true;
}

// One output record per item, for the writer and the lock.
bool MakeOutputRecords(ExtractionSet* set) {
    if (set->outputs) return true;
    size_t count = set->itemCount > 0 ? static_cast<size_t>(set->itemCount) : 1;
    set->outputs = static_cast<ItemOutput*>(PlatformAlloc(kMemZeroInit, count * sizeof(ItemOutput)));
    return set->outputs != nullptr;
}

}  // namespace

StatusValue PrepareDestination(ExtractionSet* set, const char* productCode, const wchar_t* browsePrompt,
                               wchar_t* destinationFolder, bool unattended) {
    if (!MakeOutputRecords(set)) return MakeStatus(PlatformLastError, kErrorNotEnoughMemory, kLineDestinationNotMade);
    bool haveBase = UseInstallerFolder(destinationFolder);
    for (;;) {
        uint32_t failure =
            haveBase ? OpenAllOutputFiles(set, productCode, destinationFolder) : kErrorFilenameExcedRange;
        if (failure == kErrorSuccess) return StatusOf(kErrorSuccess, 0);
        UndoAttempt(set, destinationFolder);
        // Nobody is there to pick a folder, and a browser would wait for
        // ever: the run ends, and its exit code says what went wrong.
        if (unattended) return StatusOf(failure, kLineDestinationNotMade);
        // The loop ends only when every file is open or the user cancels;
        // a choice without a file-system path simply asks again.
        BrowseOutcome outcome = BrowseForBaseFolder(browsePrompt, destinationFolder);
        if (outcome == BrowseOutcome::kCancelled) return StatusOf(kErrorCancelled, kLineBrowseCancelled);
        haveBase = outcome == BrowseOutcome::kChosen;
    }
}
