#include <windows.h>

#include <cwchar>

#include "handoff/find_installer.h"
#include "core/buffer_sizes.h"
#include "core/status_lines.h"
#include "platform/win32_api.h"

namespace {

// Only the system directory is searched. The default search order begins with
// the launcher's own folder, and a setup started from a downloads folder would
// then run, with administrator rights, any msiexec.exe placed beside it.
bool SearchSystemDirectory(wchar_t* installerPath) {
    wchar_t systemDirectory[kInstallerPathSize];
    UINT length = g_win32.GetSystemDirectoryW(systemDirectory, kInstallerPathSize);
    if (length == 0 || length >= kInstallerPathSize) return false;
    DWORD found = g_win32.SearchPathW(systemDirectory, L"msiexec.exe", nullptr, kInstallerPathSize, installerPath,
                                      nullptr);
    // A result of the buffer's size or more is the size it would need: the
    // path did not fit, and is treated as not found.
    return found > 0 && found < kInstallerPathSize;
}

}  // namespace

StatusValue FindInstaller(wchar_t* installerPath, const wchar_t* noInstallerText, wchar_t* errorText) {
    if (SearchSystemDirectory(installerPath)) return StatusOf(0, 0);
    installerPath[0] = 0;
    errorText[0] = 0;
    wcsncat(errorText, noInstallerText, kErrorTextSize - 1);
    return StatusOf(kErrorNoAssociation, kLineNoInstaller);
}
