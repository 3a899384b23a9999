#include "platform/win32_api.h"

#include <cwchar>

Win32Api g_win32 = {
    ::CreateFileW,         ::ReadFile,         ::WriteFile,
    ::GetFileSize,         ::CloseHandle,      ::DeleteFileW,
    ::CreateDirectoryW,    ::RemoveDirectoryW, ::GetModuleFileNameW,
    ::GetWindowsDirectoryW, ::GetSystemDirectoryW, ::SearchPathW,
    ::FindFirstFileW,      ::CreateFileMappingW, ::MapViewOfFile,
    ::UnmapViewOfFile,
    ::CreateProcessW,      ::WaitForSingleObject, ::GetExitCodeProcess,
    ::CreateThread,        ::SetErrorMode,
    ::SetTimer,            ::KillTimer,        ::MessageBoxW,
    ::LoadLibraryExW,      ::GetProcAddress,
    nullptr,               nullptr,            nullptr,
    nullptr,               nullptr,            nullptr,
    nullptr,
    ::RegOpenKeyExA,       ::RegQueryValueExA, ::RegCloseKey,
    ::GetVersionExA,
};

namespace {
template <typename Function>
bool Resolve(HMODULE module, const char* name, Function* entry) {
    if (!*entry) *entry = reinterpret_cast<Function>(reinterpret_cast<void*>(g_win32.GetProcAddress(module, name)));
    return *entry != nullptr;
}
}  // namespace

// A setup often stands in a downloads folder that others can write to: a DLL
// of the same name placed beside it must never be the one loaded.
HMODULE LoadSystemLibrary(const wchar_t* name) {
    if (FindSetDefaultDllDirectories()) return g_win32.LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Without the search flags a full path names the file; the altered search
    // order looks for the DLL's own imports (msasn1.dll) beside it first.
    wchar_t path[MAX_PATH];
    UINT length = g_win32.GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 1 + std::wcslen(name) >= MAX_PATH) {
        if (length != 0) SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    path[length] = L'\\';
    std::wcscpy(path + length + 1, name);
    return g_win32.LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

SetDefaultDllDirectoriesFunction FindSetDefaultDllDirectories() {
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    if (!kernel32) return nullptr;
    return reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void*>(g_win32.GetProcAddress(kernel32, "SetDefaultDllDirectories")));
}

bool LoadSignatureDecoder() {
    Win32Api& api = g_win32;
    if (api.CryptMsgOpenToDecode && api.CryptMsgUpdate && api.CryptMsgGetParam && api.CryptMsgClose &&
        api.CertCreateCertificateContext && api.CertFreeCertificateContext)
        return true;
    HMODULE crypt32 = LoadSystemLibrary(L"crypt32.dll");
    if (!crypt32) return false;
    return Resolve(crypt32, "CryptMsgOpenToDecode", &api.CryptMsgOpenToDecode) &&
           Resolve(crypt32, "CryptMsgUpdate", &api.CryptMsgUpdate) &&
           Resolve(crypt32, "CryptMsgGetParam", &api.CryptMsgGetParam) &&
           Resolve(crypt32, "CryptMsgClose", &api.CryptMsgClose) &&
           Resolve(crypt32, "CertCreateCertificateContext", &api.CertCreateCertificateContext) &&
           Resolve(crypt32, "CertFreeCertificateContext", &api.CertFreeCertificateContext);
}

// ntdll is mapped into every process before its first line runs; nothing is
// loaded here.
bool LoadImageIdentityCheck() {
    if (g_win32.AreMappedFilesTheSame) return true;
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return false;
    return Resolve(ntdll, "NtAreMappedFilesTheSame", &g_win32.AreMappedFilesTheSame);
}
