// The Win32 entry points that the launcher's steps call through a table, so
// that a unit test can make one of them fail on purpose and reach a failure
// row that Wine will not produce by itself. Production code never changes the
// table; a test saves it, replaces an entry and restores it.
#pragma once

#include <windows.h>
#include <wincrypt.h>

struct Win32Api {
    // Files and folders.
    decltype(&::CreateFileW) CreateFileW;
    decltype(&::ReadFile) ReadFile;
    decltype(&::WriteFile) WriteFile;
    decltype(&::GetFileSize) GetFileSize;
    decltype(&::CloseHandle) CloseHandle;
    decltype(&::DeleteFileW) DeleteFileW;
    decltype(&::CreateDirectoryW) CreateDirectoryW;
    decltype(&::RemoveDirectoryW) RemoveDirectoryW;
    decltype(&::GetModuleFileNameW) GetModuleFileNameW;
    decltype(&::GetWindowsDirectoryW) GetWindowsDirectoryW;
    decltype(&::GetSystemDirectoryW) GetSystemDirectoryW;
    decltype(&::SearchPathW) SearchPathW;
    decltype(&::FindFirstFileW) FindFirstFileW;
    decltype(&::CreateFileMappingW) CreateFileMappingW;
    decltype(&::MapViewOfFile) MapViewOfFile;
    decltype(&::UnmapViewOfFile) UnmapViewOfFile;

    // Processes.
    decltype(&::CreateProcessW) CreateProcessW;
    decltype(&::WaitForSingleObject) WaitForSingleObject;
    decltype(&::GetExitCodeProcess) GetExitCodeProcess;
    decltype(&::CreateThread) CreateThread;
    decltype(&::SetErrorMode) SetErrorMode;

    // Windows and timers.
    decltype(&::SetTimer) SetTimer;
    decltype(&::KillTimer) KillTimer;
    decltype(&::MessageBoxW) MessageBoxW;

    // Library loading.
    decltype(&::LoadLibraryExW) LoadLibraryExW;
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

    // Whether a view of a file belongs to the same file as the image mapped
    // at a given address (ntdll's NtAreMappedFilesTheSame). It starts empty;
    // LoadImageIdentityCheck fills it.
    LONG(NTAPI* AreMappedFilesTheSame)(PVOID image, PVOID view);

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

// Resolves AreMappedFilesTheSame from ntdll unless a test has set it. False
// when the system lacks it.
bool LoadImageIdentityCheck();

// Loads a DLL of the system directory (never one of the same name beside the
// setup); null, with the last error set, when it cannot be loaded.
HMODULE LoadSystemLibrary(const wchar_t* name);
