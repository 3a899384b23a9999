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

    // Library loading.
    decltype(&::LoadLibraryExA) LoadLibraryExA;
    decltype(&::GetProcAddress) GetProcAddress;

    // Signature decoding. crypt32 is no KnownDLL: imported at load time, a
    // crypt32.dll beside the setup would be loaded before the first line
    // runs. These start empty; LoadSignatureDecoder fills them.
    decltype(&::CryptMsgOpenToDecode) CryptMsgOpenToDecode;
    decltype(&::CryptMsgUpdate) CryptMsgUpdate;
    decltype(&::CryptMsgGetParam) CryptMsgGetParam;
    decltype(&::CryptMsgClose) CryptMsgClose;
    decltype(&::CertCreateCertificateContext) CertCreateCertificateContext;
    decltype(&::CertFreeCertificateContext) CertFreeCertificateContext;

    // Signature checking (advapi32, a KnownDLL, imported at load time).
    decltype(&::CryptAcquireContextA) CryptAcquireContextA;
    decltype(&::CryptReleaseContext) CryptReleaseContext;
    decltype(&::CryptImportKey) CryptImportKey;
    decltype(&::CryptDestroyKey) CryptDestroyKey;
    decltype(&::CryptCreateHash) CryptCreateHash;
    decltype(&::CryptSetHashParam) CryptSetHashParam;
    decltype(&::CryptDestroyHash) CryptDestroyHash;
    decltype(&::CryptVerifySignatureA) CryptVerifySignatureA;

    // Registry.
    decltype(&::RegOpenKeyExA) RegOpenKeyExA;
    decltype(&::RegQueryValueExA) RegQueryValueExA;
    decltype(&::RegCloseKey) RegCloseKey;

    // System information.
    decltype(&::GetVersionExA) GetVersionExA;
};

extern Win32Api g_win32;

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

// Null where the system lacks it (Vista and 7 without KB2533623); importing it
// would keep the launcher from starting there at all.
SetDefaultDllDirectoriesFunction FindSetDefaultDllDirectories();

// Loads crypt32.dll from the system directory and resolves the empty
// signature-decoding entries (an entry a test has set stays). False, with the
// thread's last error set, when the library or one of its functions is missing.
bool LoadSignatureDecoder();
