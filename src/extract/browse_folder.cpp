#include "extract/browse_folder.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>

#include "core/buffer_sizes.h"
#include "platform/paths.h"
#include "platform/win32_api.h"

namespace {

constexpr int kDocumentsFolderId = CSIDL_PERSONAL | CSIDL_FLAG_CREATE;
constexpr const char* kUserShellFoldersKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// The value may lack its terminator; one byte of `path` stays free for it.
void ReadPersonalFolderValue(char* path, uint32_t size) {
    HKEY key = nullptr;
    if (g_win32.RegOpenKeyExA(HKEY_CURRENT_USER, kUserShellFoldersKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    DWORD bytes = size - 1;
    if (g_win32.RegQueryValueExA(key, "Personal", nullptr, nullptr, reinterpret_cast<BYTE*>(path), &bytes) !=
        ERROR_SUCCESS)
        path[0] = 0;
    path[size - 1] = 0;
    g_win32.RegCloseKey(key);
}

// Creates every level of `path`. Levels that exist, a bare drive prefix and
// the empty prefix simply fail.
void CreateFolderLevels(const char* path) {
    char prefix[kPathBufferSize];
    if (std::strlen(path) >= sizeof prefix) return;
    for (const char* p = path;; p = CharNextA(p)) {
        if (*p == '\\' || *p == 0) {
            size_t length = static_cast<size_t>(p - path);
            std::memcpy(prefix, path, length);
            prefix[length] = 0;
            g_win32.CreateDirectoryA(prefix, nullptr);
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

bool GetShellFolderPath(HWND owner, char* path, int folder, bool create) {
    HMODULE shell = GetModuleHandleA("Shell32.dll");
    if (!shell) shell = LoadLibraryA("Shell32.dll");
    if (!shell) return false;
    SetErrorMode(SEM_NOOPENFILEERRORBOX);
    using GetSpecialFolderPath = BOOL(WINAPI*)(HWND, LPSTR, int, BOOL);
    auto function = reinterpret_cast<GetSpecialFolderPath>(
        reinterpret_cast<void*>(GetProcAddress(shell, "SHGetSpecialFolderPathA")));
    if (!function) return false;
    return function(owner, path, folder, create ? TRUE : FALSE) != FALSE;
}

void GetDefaultBrowseFolder(char* buffer, uint32_t size) {
    char scratch[kPathBufferSize] = {};
    if (!GetShellFolderPath(nullptr, scratch, kDocumentsFolderId, true)) {
        scratch[0] = 0;
        ReadPersonalFolderValue(scratch, sizeof scratch);
    }
    scratch[sizeof scratch - 1] = 0;
    if (!scratch[0]) {
        DWORD length = GetCurrentDirectoryA(sizeof scratch, scratch);
        if (length == 0 || length >= sizeof scratch) scratch[0] = 0;
    }
    if (!buffer || size == 0) return;
    std::memset(buffer, 0, size);
    DWORD expanded = ExpandEnvironmentStringsA(scratch, buffer, size);
    if (expanded == 0 || expanded > size) {
        std::memset(buffer, 0, size);
        return;
    }
    if (!FileExists(buffer)) CreateFolderLevels(buffer);
}

int CALLBACK BrowseFolderCallback(HWND browser, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED) SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, data);
    return 0;
}

BrowseOutcome BrowseForBaseFolder(const char* prompt, char* folder) {
    char startFolder[kPathBufferSize];
    GetDefaultBrowseFolder(startFolder, sizeof startFolder);
    char title[kPathBufferSize];
    std::snprintf(title, sizeof title, "%s", prompt ? prompt : "");

    BROWSEINFOA browse;
    std::memset(&browse, 0, sizeof browse);
    browse.lpszTitle = title;
    browse.lpfn = BrowseFolderCallback;
    browse.lParam = reinterpret_cast<LPARAM>(startFolder);

    IMalloc* allocator = nullptr;
    SHGetMalloc(&allocator);
    PIDLIST_ABSOLUTE list = SHBrowseForFolderA(&browse);
    if (!list) {
        if (allocator) allocator->Release();
        return BrowseOutcome::kCancelled;
    }
    std::memset(folder, 0, kPathBufferSize);
    BOOL hasPath = SHGetPathFromIDListA(list, folder);
    FreeItemList(allocator, list);
    if (allocator) allocator->Release();

    StripTrailingBackslashes(folder);
    return hasPath && folder[0] ? BrowseOutcome::kChosen : BrowseOutcome::kNoPath;
}
