#include "container/own_file.h"
#include "core/status_lines.h"
#include "platform/platform.h"
#include "platform/win32_api.h"

namespace {

// A view of the file's first page and the running image are asked whether
// they belong to the same file. Names prove nothing: the path the loader
// recorded names whatever stands there now, and a running image can be
// renamed and another file put in its place. The handle denies deleting, so
// from here on the file cannot be renamed or replaced.
StatusValue CheckIsRunningImage(HANDLE file) {
    if (!LoadImageIdentityCheck()) return MakeStatus(PlatformLastError, kErrorOpenFailed, kLineOwnFileNotImage);
    HANDLE mapping = g_win32.CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping) return MakeStatus(PlatformLastError, kErrorOpenFailed, kLineOwnFileNotImage);
    void* view = g_win32.MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 1);
    StatusValue status = StatusOf(kErrorSuccess, 0);
    if (!view)
        status = MakeStatus(PlatformLastError, kErrorOpenFailed, kLineOwnFileNotImage);
    else if (g_win32.AreMappedFilesTheSame(GetModuleHandleW(nullptr), view) != 0)
        status = StatusOf(kErrorOpenFailed, kLineOwnFileNotImage);
    if (view) g_win32.UnmapViewOfFile(view);
    g_win32.CloseHandle(mapping);
    return status;
}

}  // namespace

StatusValue OpenOwnImageFile(const wchar_t* path, void** file) {
    *file = nullptr;
    HANDLE opened = g_win32.CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return MakeStatus(PlatformLastError, kErrorOpenFailed, kLineOwnFileNotOpened);
    StatusValue status = CheckIsRunningImage(opened);
    if (StatusFailed(status)) {
        g_win32.CloseHandle(opened);
        return status;
    }
    *file = opened;
    return status;
}
