#include "platform/win32_api.h"

Win32Api g_win32 = {
    ::CreateFileA,         ::ReadFile,         ::WriteFile,
    ::GetFileSize,         ::CloseHandle,      ::DeleteFileA,
    ::CreateDirectoryA,    ::RemoveDirectoryA, ::GetModuleFileNameA,
    ::GetWindowsDirectoryA, ::GetSystemDirectoryA, ::SearchPathA,
    ::CreateProcessA,      ::WaitForSingleObject, ::GetExitCodeProcess,
    ::SetTimer,            ::KillTimer,        ::MessageBoxA,
    ::CryptMsgOpenToDecode, ::CryptMsgUpdate,  ::CryptMsgGetParam,
    ::CertCreateCertificateContext,
    ::RegOpenKeyExA,       ::RegQueryValueExA,
    ::GetVersionExA,
};
