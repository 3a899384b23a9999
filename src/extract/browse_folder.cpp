#include "extract/browse_folder.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <cwchar>

#include "core/buffer_sizes.h"
#include "platform/paths.h"
#include "platform/win32_api.h"

namespace {

constexpr int kDocumentsFolderId = CSIDL_PERSONAL | CSIDL_FLAG_CREATE;
constexpr const wchar_t* kUserShellFoldersKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// The value may lack its terminator; one unit of `path` stays free for it.
void ReadPersonalFolderValue(wchar_t* path, uint32_t size) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kUserShellFoldersKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    DWORD bytes = (size - 1) * sizeof *path;
    if (RegQueryValueExW(key, L"Personal", nullptr, nullptr, reinterpret_cast<BYTE*>(path), &bytes) != ERROR_SUCCESS)
        path[0] = 0;
    path[size - 1] = 0;
    RegCloseKey(key);
}

// Creates every level of `path`. Levels that exist, a bare drive prefix and
// the empty prefix simply fail.
void CreateFolderLevels(const wchar_t* path) {
    wchar_t prefix[kPathBufferSize];
    if (std::wcslen(path) >= kPathBufferSize) return;
    for (const wchar_t* p = path;; ++p) {
        if (*p == L'\\' || *p == 0) {
            size_t length = static_cast<size_t>(p - path);
            std::wmemcpy(prefix, path, length);
            prefix[length] = 0;
            g_win32.CreateDirectoryW(prefix, nullptr);
        }
        if (*p == 0) break;
    }
}

void FreeItemList(IMalloc* allocator, PIDLIST_ABSOLUTE list) {
    if (allocator)
        allocator->Free(list);
    else
        CoTaskMemFree(list);
}

}  // namespace

// The shell may touch a removable drive on the way to the folder; the error
// mode keeps the system from asking for a disk meanwhile. It is set for this
// call only: the installer started later inherits the launcher's error mode.
bool GetShellFolderPath(HWND owner, wchar_t* path, int folder, bool create) {
    HMODULE shell = GetModuleHandleW(L"shell32.dll");
    if (!shell) shell = LoadSystemLibrary(L"shell32.dll");
    if (!shell) return false;
    using GetSpecialFolderPath = BOOL(WINAPI*)(HWND, LPWSTR, int, BOOL);
    auto function = reinterpret_cast<GetSpecialFolderPath>(
        reinterpret_cast<void*>(g_win32.GetProcAddress(shell, "SHGetSpecialFolderPathW")));
    if (!function) return false;
    UINT previousMode = g_win32.SetErrorMode(SEM_NOOPENFILEERRORBOX);
    bool found = function(owner, path, folder, create ? TRUE : FALSE) != FALSE;
    g_win32.SetErrorMode(previousMode);
    return found;
}

void GetDefaultBrowseFolder(wchar_t* buffer, uint32_t size) {
    wchar_t scratch[kPathBufferSize] = {};
    if (!GetShellFolderPath(nullptr, scratch, kDocumentsFolderId, true)) {
        scratch[0] = 0;
        ReadPersonalFolderValue(scratch, kPathBufferSize);
    }
    scratch[kPathBufferSize - 1] = 0;
    if (!scratch[0]) {
        DWORD length = GetCurrentDirectoryW(kPathBufferSize, scratch);
        if (length == 0 || length >= kPathBufferSize) scratch[0] = 0;
    }
    if (!buffer || size == 0) return;
    std::memset(buffer, 0, size * sizeof *buffer);
    DWORD expanded = ExpandEnvironmentStringsW(scratch, buffer, size);
    if (expanded == 0 || expanded > size) {
        std::memset(buffer, 0, size * sizeof *buffer);
        return;
    }
    if (!FileExists(buffer)) CreateFolderLevels(buffer);
}

int CALLBACK BrowseFolderCallback(HWND browser, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED) SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

BrowseOutcome BrowseForBaseFolder(const wchar_t* prompt, wchar_t* folder) {
    wchar_t startFolder[kPathBufferSize];
    GetDefaultBrowseFolder(startFolder, kPathBufferSize);
    wchar_t title[kPathBufferSize] = {};
    if (prompt) wcsncpy(title, prompt, kPathBufferSize - 1);

    BROWSEINFOW browse;
    std::memset(&browse, 0, sizeof browse);
    browse.lpszTitle = title;
    browse.lpfn = BrowseFolderCallback;
    browse.lParam = reinterpret_cast<LPARAM>(startFolder);

    IMalloc* allocator = nullptr;
    SHGetMalloc(&allocator);
    PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&browse);
    if (!list) {
        if (allocator) allocator->Release();
        return BrowseOutcome::kCancelled;
    }
    // SHGetPathFromIDListW writes at most MAX_PATH units; the buffer is larger.
    std::memset(folder, 0, kPathBufferSize * sizeof *folder);
    BOOL hasPath = SHGetPathFromIDListW(list, folder);
    FreeItemList(allocator, list);
    if (allocator) allocator->Release();

    StripTrailingBackslashes(folder);
    return hasPath && folder[0] ? BrowseOutcome::kChosen : BrowseOutcome::kNoPath;
}
