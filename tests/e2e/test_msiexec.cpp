// test-msiexec.exe: stands in for msiexec.exe in the tests of the installer
// hand-off. Environment variables tell it what to do:
//
//   MSISTUB_TEST_INSTALLER_LOG        append the command line, exactly as received (UTF-16,
//                                     written as UTF-8), and a line feed to this file
//   MSISTUB_TEST_INSTALLER_REGISTERS  write an Uninstall key with an UninstallString for this
//                                     product code (64-bit view), as an installed product has
//   MSISTUB_TEST_INSTALLER_EXIT       exit with this code (decimal; 0 when unset)
//   MSISTUB_TEST_INSTALLER_TAMPER     try to change, delete and rename the package given after /i,
//                                     then read it, and append what happened to this file
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::string Variable(const char* name) {
    char value[1024] = {};
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? value : "";
}

std::string Utf8(const wchar_t* text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) return "";
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], bytes, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
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

// The package path after " /i ", with or without quotes.
std::string PackagePath(const std::string& commandLine) {
    size_t at = commandLine.find(" /i ");
    if (at == std::string::npos) return "";
    std::string rest = commandLine.substr(at + 4);
    if (!rest.empty() && rest[0] == '"') return rest.substr(1, rest.find('"', 1) - 1);
    return rest.substr(0, rest.find(' '));
}

const char* Outcome(bool succeeded) { return succeeded ? "allowed" : "denied"; }

// What someone else on the machine could try while the installer reads the
// package: open it for writing, delete it, rename it away.
void Tamper(const std::string& report, const std::string& package) {
    HANDLE writer = CreateFileA(package.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    AppendLine(report, std::string("write ") + Outcome(writer != INVALID_HANDLE_VALUE));
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    AppendLine(report, std::string("delete ") + Outcome(DeleteFileA(package.c_str()) != 0));
    std::string moved = package + ".moved";
    AppendLine(report, std::string("rename ") + Outcome(MoveFileA(package.c_str(), moved.c_str()) != 0));

    HANDLE reader = CreateFileA(package.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    char head[8] = {};
    DWORD got = 0;
    bool read = reader != INVALID_HANDLE_VALUE && ReadFile(reader, head, sizeof head, &got, nullptr) && got > 0;
    AppendLine(report, std::string("read ") + Outcome(read));
    if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
}

}  // namespace

// A window program, like msiexec.exe: no console is made for it.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::string log = Variable("MSISTUB_TEST_INSTALLER_LOG");
    if (!log.empty()) AppendLine(log, Utf8(GetCommandLineW()));
    std::string tamperReport = Variable("MSISTUB_TEST_INSTALLER_TAMPER");
    if (!tamperReport.empty()) Tamper(tamperReport, PackagePath(GetCommandLineA()));
    std::string productCode = Variable("MSISTUB_TEST_INSTALLER_REGISTERS");
    if (!productCode.empty()) Register(productCode);
    return static_cast<int>(std::strtoul(Variable("MSISTUB_TEST_INSTALLER_EXIT").c_str(), nullptr, 10));
}
