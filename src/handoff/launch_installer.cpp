#include <windows.h>

#include "handoff/launch_installer.h"
#include "handoff/installer_command.h"
#include "core/error_text.h"
#include "core/buffer_sizes.h"
#include "core/status_lines.h"
#include "platform/win32_api.h"

namespace {

uint32_t LastError() { return GetLastError(); }

STARTUPINFOW StartupInfoFor(int showCommand) {
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCommand);
    return startup;
}

// Waits without a time limit; a failed read of the exit code leaves the
// result as it was. When the wait itself fails the installer may still be
// running and its exit code would read STILL_ACTIVE, so none is read: the
// result becomes 0, which keeps the extracted files for the installer that
// may still use them, and the failure of the wait is the launcher's result.
StatusValue AwaitInstaller(const PROCESS_INFORMATION& process, uint32_t* installerResult) {
    StatusValue status = StatusOf(kErrorSuccess, 0);
    if (g_win32.WaitForSingleObject(process.hProcess, INFINITE) == WAIT_FAILED) {
        status = MakeStatus(LastError, kErrorInvalidHandle, kLineInstallerNotAwaited);
        *installerResult = 0;
    } else {
        DWORD exitCode = 0;
        if (g_win32.GetExitCodeProcess(process.hProcess, &exitCode)) *installerResult = exitCode;
    }
    g_win32.CloseHandle(process.hProcess);
    g_win32.CloseHandle(process.hThread);
    return status;
}

}  // namespace

StatusValue LaunchInstaller(const wchar_t* installerPath, const wchar_t* packagePath, char16_t* const* arguments,
                            int32_t argumentCount, int showCommand, uint32_t* installerResult, wchar_t* errorText,
                            int* suppressErrorBox) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows text is UTF-16");
    char16_t command[kInstallerCommandSize];
    ZeroMemory(command, sizeof command);
    if (!BuildInstallerCommand(command, reinterpret_cast<const char16_t*>(installerPath),
                               reinterpret_cast<const char16_t*>(packagePath), arguments, argumentCount))
        return StatusOf(kErrorInvalidCommandLine, kLineInstallerCommandTooLong);

    STARTUPINFOW startup = StartupInfoFor(showCommand);
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof process);
    if (!g_win32.CreateProcessW(installerPath, reinterpret_cast<wchar_t*>(command), nullptr, nullptr, FALSE, 0,
                                nullptr, nullptr, &startup, &process)) {
        StatusValue status = MakeStatus(LastError, kErrorNoProcSlots, kLineInstallerNotCreated);
        ComposeErrorText(StatusCode(status), errorText, kErrorTextSize, installerPath);
        return status;
    }

    StatusValue awaited = AwaitInstaller(process, installerResult);
    if (StatusFailed(awaited)) {
        ComposeErrorText(StatusCode(awaited), errorText, kErrorTextSize, installerPath);
        return awaited;
    }
    if (*installerResult == 0) return StatusOf(0, 0);
    *suppressErrorBox = 1;
    return StatusOf(*installerResult, kLineInstallerExitCode);
}
