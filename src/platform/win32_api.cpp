#include "platform/win32_api.h"

#include <cstring>

Win32Api g_win32 = {
    ::CreateFileA,         ::ReadFile,         ::WriteFile,
    ::GetFileSize,         ::CloseHandle,      ::DeleteFileA,
    ::CreateDirectoryA,    ::RemoveDirectoryA, ::GetModuleFileNameA,
    ::GetWindowsDirectoryA, ::GetSystemDirectoryA, ::SearchPathA,
    ::FindFirstFileA,
    ::CreateProcessA,      ::WaitForSingleObject, ::GetExitCodeProcess,
    ::SetTimer,            ::KillTimer,        ::MessageBoxA,
    ::LoadLibraryExA,      ::GetProcAddress,
    nullptr,               nullptr,            nullptr,
    nullptr,               nullptr,            nullptr,
    ::CryptAcquireContextA, ::CryptReleaseContext, ::CryptImportKey,
    ::CryptDestroyKey,     ::CryptCreateHash,  ::CryptSetHashParam,
    ::CryptDestroyHash,    ::CryptVerifySignatureA,
    ::RegOpenKeyExA,       ::RegQueryValueExA, ::RegCloseKey,
    ::GetVersionExA,
};

namespace {
template <typename Function>
bool Resolve(HMODULE module, const char* name, Function* entry) {
    if (!*entry) *entry = reinterpret_cast<Function>(reinterpret_cast<void*>(g_win32.GetProcAddress(module, name)));
    return *entry != nullptr;
}

// Loads a DLL of the system directory, never one of the same name beside the
// setup, which often stands in a downloads folder that others can write to.
HMODULE LoadSystemLibrary(const char* name) {
    if (FindSetDefaultDllDirectories()) return g_win32.LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Without the search flags a full path names the file; the altered search
    // order looks for the DLL's own imports (msasn1.dll) beside it first.
    char path[MAX_PATH];
    UINT length = g_win32.GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + 1 + std::strlen(name) >= MAX_PATH) {
        if (length != 0) SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    path[length] = '\\';
    std::strcpy(path + length + 1, name);
    return g_win32.LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
}  // namespace

SetDefaultDllDirectoriesFunction FindSetDefaultDllDirectories() {
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    if (!kernel32) return nullptr;
    return reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void*>(g_win32.GetProcAddress(kernel32, "SetDefaultDllDirectories")));
}

bool LoadSignatureDecoder() {
    Win32Api& api = g_win32;
    if (api.CryptMsgOpenToDecode && api.CryptMsgUpdate && api.CryptMsgGetParam && api.CryptMsgClose &&
        api.CertCreateCertificateContext && api.CertFreeCertificateContext)
        return true;
    HMODULE crypt32 = LoadSystemLibrary("crypt32.dll");
    if (!crypt32) return false;
    return Resolve(crypt32, "CryptMsgOpenToDecode", &api.CryptMsgOpenToDecode) &&
           Resolve(crypt32, "CryptMsgUpdate", &api.CryptMsgUpdate) &&
           Resolve(crypt32, "CryptMsgGetParam", &api.CryptMsgGetParam) &&
           Resolve(crypt32, "CryptMsgClose", &api.CryptMsgClose) &&
           Resolve(crypt32, "CertCreateCertificateContext", &api.CertCreateCertificateContext) &&
           Resolve(crypt32, "CertFreeCertificateContext", &api.CertFreeCertificateContext);
}
