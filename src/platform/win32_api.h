// The Win32 entry points that the launcher's steps call through a table, so
// that a unit test can make one of them fail on purpose and reach a failure
// row that Wine will not produce by itself. Production code never changes the
// table; a test saves it, replaces an entry and restores it.
#pragma once

#include <windows.h>
#include <wincrypt.h>

struct Win32Api {
    // Files and folders.
    decltype(&::CreateFileA) CreateFileA;
    decltype(&::ReadFile) ReadFile;
    decltype(&::WriteFile) WriteFile;
    decltype(&::GetFileSize) GetFileSize;
    decltype(&::CloseHandle) CloseHandle;
    decltype(&::DeleteFileA) DeleteFileA;
    decltype(&::CreateDirectoryA) CreateDirectoryA;
    decltype(&::RemoveDirectoryA) RemoveDirectoryA;
    decltype(&::GetModuleFileNameA) GetModuleFileNameA;
    decltype(&::GetWindowsDirectoryA) GetWindowsDirectoryA;
    decltype(&::GetSystemDirectoryA) GetSystemDirectoryA;
    decltype(&::SearchPathA) SearchPathA;
    decltype(&::FindFirstFileA) FindFirstFileA;

    // Processes.
    decltype(&::CreateProcessA) CreateProcessA;
    decltype(&::WaitForSingleObject) WaitForSingleObject;
    decltype(&::GetExitCodeProcess) GetExitCodeProcess;

    // Windows and timers.
    decltype(&::SetTimer) SetTimer;
    decltype(&::KillTimer) KillTimer;
    decltype(&::MessageBoxA) MessageBoxA;

    // Signature decoding.
    decltype(&::CryptMsgOpenToDecode) CryptMsgOpenToDecode;
    decltype(&::CryptMsgUpdate) CryptMsgUpdate;
    decltype(&::CryptMsgGetParam) CryptMsgGetParam;
    decltype(&::CryptMsgClose) CryptMsgClose;
    decltype(&::CertCreateCertificateContext) CertCreateCertificateContext;
    decltype(&::CertFreeCertificateContext) CertFreeCertificateContext;

    // Registry.
    decltype(&::RegOpenKeyExA) RegOpenKeyExA;
    decltype(&::RegQueryValueExA) RegQueryValueExA;
    decltype(&::RegCloseKey) RegCloseKey;

    // System information.
    decltype(&::GetVersionExA) GetVersionExA;
};

extern Win32Api g_win32;
