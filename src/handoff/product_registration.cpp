#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "handoff/product_registration.h"
#include "platform/win32_api.h"

namespace {
constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr uint32_t kKeyPathSize = 256;
}  // namespace

bool IsProductRegistered(const char* productCode) {
    char keyPath[kKeyPathSize];
    int written = std::snprintf(keyPath, sizeof keyPath, "%s\\%s", kUninstallKey, productCode);
    // A product code too long for the key path would name another key.
    if (written < 0 || static_cast<uint32_t>(written) >= sizeof keyPath) return false;

    HKEY key = nullptr;
    if (g_win32.RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    LONG queried = g_win32.RegQueryValueExA(key, "UninstallString", nullptr, nullptr, nullptr, &size);
    g_win32.RegCloseKey(key);
    return queried == ERROR_SUCCESS && size > 0;
}
