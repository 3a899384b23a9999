// test-msiexec.exe: stands in for msiexec.exe in the tests of the installer
// hand-off. Environment variables tell it what to do:
//
//   MSISTUB_TEST_INSTALLER_LOG        append the command line, exactly as received, and a
//                                     line feed to this file
//   MSISTUB_TEST_INSTALLER_REGISTERS  write an Uninstall key with an UninstallString for this
//                                     product code (64-bit view), as an installed product has
//   MSISTUB_TEST_INSTALLER_EXIT       exit with this code (decimal; 0 when unset)
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::string Variable(const char* name) {
    char value[1024] = {};
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? value : "";
}

void AppendLine(const std::string& path, const std::string& line) {
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

void Register(const std::string& productCode) {
    std::string path = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + productCode;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    std::string uninstall = "MsiExec.exe /X" + productCode;
    RegSetValueExA(key, "UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(uninstall.c_str()),
                   static_cast<DWORD>(uninstall.size() + 1));
    RegCloseKey(key);
}

}  // namespace

// A window program, like msiexec.exe: no console is made for it.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::string log = Variable("MSISTUB_TEST_INSTALLER_LOG");
    if (!log.empty()) AppendLine(log, GetCommandLineA());
    std::string productCode = Variable("MSISTUB_TEST_INSTALLER_REGISTERS");
    if (!productCode.empty()) Register(productCode);
    return static_cast<int>(std::strtoul(Variable("MSISTUB_TEST_INSTALLER_EXIT").c_str(), nullptr, 10));
}
