#include "platform/win32_api.h"

Win32Api g_win32 = {
    ::CreateFileA,         ::ReadFile,         ::WriteFile,
    ::GetFileSize,         ::CloseHandle,      ::DeleteFileA,
    ::CreateDirectoryA,    ::RemoveDirectoryA, ::GetModuleFileNameA,
    ::GetWindowsDirectoryA, ::GetSystemDirectoryA, ::SearchPathA,
    ::FindFirstFileA,
    ::CreateProcessA,      ::WaitForSingleObject, ::GetExitCodeProcess,
    ::SetTimer,            ::KillTimer,        ::MessageBoxA,
    ::CryptMsgOpenToDecode, ::CryptMsgUpdate,  ::CryptMsgGetParam,
    ::CryptMsgClose,       ::CertCreateCertificateContext, ::CertFreeCertificateContext,
    ::RegOpenKeyExA,       ::RegQueryValueExA, ::RegCloseKey,
    ::GetVersionExA,
};
