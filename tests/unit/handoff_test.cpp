// The installer hand-off under Wine: finding msiexec.exe in the system
// directory only, the registration test against real Uninstall keys in the
// 64-bit view, the cleanup's outcome table on real files, and the launch of a
// real test installer (test-msiexec.exe) that records its command line and
// exits with the code it is told.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "extract/destination.h"
#include "extraction_files.h"
#include "handoff/clean_up.h"
#include "handoff/find_installer.h"
#include "handoff/launch_installer.h"
#include "handoff/product_registration.h"
#include "launcher/command_line.h"
#include "core/error_text.h"
#include "core/status_lines.h"
#include "platform/platform.h"
#include "platform/paths.h"
#include "platform/win32_api.h"
#include "resource_ids.h"
#include "wide_text.h"

namespace {

constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string SystemDirectory() {
    char path[MAX_PATH] = {};
    GetSystemDirectoryA(path, sizeof path);
    return path;
}

std::wstring NoInstallerText() {
    wchar_t text[512] = {};
    LoadStringW(GetModuleHandleA(nullptr), IDS_NO_INSTALLER, text, 512);
    return text;
}

// ---------------------------------------------------------------------------
// FindInstaller

struct SearchSeam {
    std::string searchedPath;  // the path SearchPathA was given
    bool forceResult = false;  // SearchPathA returns forcedResult without looking
    DWORD forcedResult = 0;
} g_search;

DWORD WINAPI RecordingSearchPath(LPCWSTR path, LPCWSTR file, LPCWSTR extension, DWORD size, LPWSTR buffer,
                                 LPWSTR* filePart) {
    g_search.searchedPath = path ? Utf8(path) : "<default search order>";
    if (g_search.forceResult) return g_search.forcedResult;
    return ::SearchPathW(path, file, extension, size, buffer, filePart);
}

UINT WINAPI FailingSystemDirectory(LPWSTR, UINT) { return 0; }

class FindInstallerTest : public ::testing::Test {
   protected:
    void SetUp() override {
        saved_ = g_win32;
        g_search = SearchSeam();
        g_win32.SearchPathW = RecordingSearchPath;
        std::memset(installerPath_, 'z', sizeof installerPath_);
        std::memset(errorText_, 0, sizeof errorText_);
    }
    void TearDown() override { g_win32 = saved_; }

    Win32Api saved_;
    wchar_t installerPath_[kInstallerPathSize];
    wchar_t errorText_[kErrorTextSize];
};

// Only the system directory is searched: an msiexec.exe in the launcher's own
// folder, a downloads folder perhaps, is never considered.
TEST_F(FindInstallerTest, FindsMsiexecInTheSystemDirectoryOnly) {
    StatusValue status = FindInstaller(installerPath_, NoInstallerText().c_str(), errorText_);

    EXPECT_EQ(StatusCode(status), 0u);
    EXPECT_EQ(Lower(Utf8(installerPath_)), Lower(SystemDirectory() + "\\msiexec.exe"));
    EXPECT_EQ(g_search.searchedPath, SystemDirectory());
    EXPECT_STREQ(errorText_, L"");
}

TEST_F(FindInstallerTest, NotFoundGivesStringOneHundredAndCode1155) {
    struct Case {
        const char* name;
        bool systemDirectoryFails;
        DWORD searchResult;  // what SearchPathA reports
    };
    const Case cases[] = {
        {"not in the system directory", false, 0},
        {"a path longer than the buffer (the size it needs)", false, kInstallerPathSize + 200},
        {"a path of exactly the buffer's size", false, kInstallerPathSize},
        {"no system directory", true, 0},
    };
    const std::wstring noInstallerText = NoInstallerText();
    ASSERT_NE(noInstallerText.find(L"Windows Installer is required"), std::wstring::npos);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_search.forceResult = true;
        g_search.forcedResult = c.searchResult;
        g_win32.GetSystemDirectoryW = c.systemDirectoryFails ? FailingSystemDirectory : saved_.GetSystemDirectoryW;
        std::memset(errorText_, 0, sizeof errorText_);

        StatusValue status = FindInstaller(installerPath_, noInstallerText.c_str(), errorText_);

        EXPECT_EQ(StatusCode(status), 1155u);
        EXPECT_EQ(StatusLine(status), 2161u);
        EXPECT_EQ(std::wstring(errorText_), noInstallerText);
        EXPECT_STREQ(installerPath_, L"");
    }
}

// ---------------------------------------------------------------------------
// IsProductRegistered

// Uninstall keys written by a test in the registry's 64-bit or 32-bit view,
// deleted again when the test ends.
class RegistryKeys {
   public:
    ~RegistryKeys() {
        for (const auto& [path, view] : written_) RegDeleteKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), view, 0);
    }

    // value: null writes no "UninstallString"; type and bytes as given.
    void Write(const std::string& productCode, const char* value, DWORD type = REG_SZ, DWORD size = ~0u,
               REGSAM view = KEY_WOW64_64KEY) {
        std::string path = std::string(kUninstallKey) + "\\" + productCode;
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS)
            << path;
        written_.emplace_back(path, view);
        RegSetValueExA(key, "DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>("Demo"), 5);
        if (value) {
            DWORD bytes = size == ~0u ? static_cast<DWORD>(std::strlen(value) + 1) : size;
            ASSERT_EQ(RegSetValueExA(key, "UninstallString", 0, type, reinterpret_cast<const BYTE*>(value), bytes),
                      ERROR_SUCCESS);
        }
        RegCloseKey(key);
    }

   private:
    std::vector<std::pair<std::string, REGSAM>> written_;
};

std::string TestProductCode(int n) {
    char code[64];
    std::snprintf(code, sizeof code, "{A11CE000-0000-4000-8000-%012d}", n);
    return code;
}

TEST(IsProductRegistered, AsksForANonEmptyUninstallStringInThe64BitView) {
    RegistryKeys keys;
    keys.Write(TestProductCode(1), "MsiExec.exe /X{A11CE000-0000-4000-8000-000000000001}");
    keys.Write(TestProductCode(2), "%SystemRoot%\\uninstall.exe", REG_EXPAND_SZ);
    keys.Write(TestProductCode(3), "\x01", REG_BINARY, 1);
    keys.Write(TestProductCode(4), "", REG_SZ, 0);
    keys.Write(TestProductCode(5), nullptr);
    keys.Write(TestProductCode(6), "MsiExec.exe /X{...}", REG_SZ, ~0u, KEY_WOW64_32KEY);

    struct Case {
        const char* name;
        std::string productCode;
        bool registered;
    };
    const Case cases[] = {
        {"a command", TestProductCode(1), true},
        {"any type of value", TestProductCode(2), true},
        {"a single byte", TestProductCode(3), true},
        {"an empty value", TestProductCode(4), false},
        {"a key without the value", TestProductCode(5), false},
        {"no key", TestProductCode(7), false},
        {"a key in the 32-bit view only", TestProductCode(6), false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsProductRegistered(c.productCode.c_str()), c.registered) << c.name;
}

// The key path holds 255 characters. A product code one character too long
// must not be cut into the code of a product that is registered.
TEST(IsProductRegistered, ProductCodeTooLongForTheKeyPathIsNotRegistered) {
    const size_t longest = 255 - std::strlen(kUninstallKey) - 1;
    const std::string fits(longest, 'P');
    RegistryKeys keys;
    keys.Write(fits, "MsiExec.exe /X");

    EXPECT_TRUE(IsProductRegistered(fits.c_str()));
    EXPECT_FALSE(IsProductRegistered((fits + "Q").c_str()));
    EXPECT_FALSE(IsProductRegistered(std::string(5000, 'P').c_str()));
}

// ---------------------------------------------------------------------------
// CleanUpExtraction

struct CleanUpSeam {
    std::vector<void*> released;
    std::vector<HANDLE> closed;
    PlatformMemory realMemory;
} g_cleanUp;

void RecordingRelease(void* block) {
    g_cleanUp.released.push_back(block);
    g_cleanUp.realMemory.release(block);
}

BOOL WINAPI RecordingCloseHandle(HANDLE handle) {
    g_cleanUp.closed.push_back(handle);
    return ::CloseHandle(handle);
}

struct OutcomeCase {
    const char* name;
    uint32_t installerResult;
    bool registered;
    bool pathsSet;           // false: the run ended before the destination was prepared
    bool writingUnfinished;  // the cabinet's output file is still open, as when writing stopped
    bool filesKept;
    bool folderKept;
};

void PrintTo(const OutcomeCase& c, std::ostream* out) { *out << c.name; }

class CleanUpOutcome : public ::testing::TestWithParam<OutcomeCase> {
   protected:
    void SetUp() override {
        saved_ = g_win32;
        g_cleanUp = CleanUpSeam();
        g_cleanUp.realMemory = g_platformMemory;
        g_win32.CloseHandle = RecordingCloseHandle;
    }
    void TearDown() override {
        g_win32 = saved_;
        g_platformMemory = g_cleanUp.realMemory;
    }

    Win32Api saved_;
};

TEST_P(CleanUpOutcome, KeepsOrDeletesAsTheOutcomeRequires) {
    const OutcomeCase& c = GetParam();
    const std::string productCode = TestProductCode(100);
    RegistryKeys keys;
    if (c.registered) keys.Write(productCode, "MsiExec.exe /X");

    TestFolder base("cleanup");
    const std::string folder = base.path() + "\\" + productCode;
    CreateDirectoryA(folder.c_str(), nullptr);
    const char* names[] = {"main.msi", "data1.cab"};
    ExtractionSet set;
    std::memset(&set, 0, sizeof set);
    set.itemCount = 2;
    set.items = static_cast<PackageItem*>(PlatformAlloc(kMemZeroInit, sizeof(PackageItem) * 2));
    ASSERT_NE(set.items, nullptr);
    // The writer's chunk buffer and the content stream it had open.
    set.outputs = static_cast<ItemOutput*>(PlatformAlloc(kMemZeroInit, sizeof(ItemOutput) * 2));
    ASSERT_NE(set.outputs, nullptr);
    set.writer.chunk = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, 100));
    static const uint8_t kStream[] = {0x78, 0x01, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x01};
    ASSERT_EQ(OpenEntryStream(&set.writer.stream, MemorySource(kStream, sizeof kStream), 0, sizeof kStream, true, 0),
              StreamResult::kMore);
    set.writer.streamOpen = 1;
    std::vector<void*> blocks = {set.items, set.outputs, set.writer.chunk, set.writer.stream.inflater};
    HANDLE openFile = nullptr;
    for (int i = 0; i < 2; ++i) {
        PackageItem& item = set.items[i];
        std::snprintf(item.fileName, sizeof item.fileName, "%s", names[i]);
        if (!c.pathsSet) continue;
        SetWide(item.outPath, folder + "\\" + names[i]);
        WriteWholeFile(Utf8(item.outPath), std::string(100, 'p'));
    }
    if (c.writingUnfinished) {
        // Opened as the destination step opens it: no sharing for deletion, so
        // the file can be deleted only once its handle is closed.
        openFile = CreateFileW(set.items[1].outPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(openFile, INVALID_HANDLE_VALUE);
        set.outputs[1].outFile = openFile;
    }
    wchar_t destinationFolder[kInstallerPathSize] = {};
    if (c.pathsSet) SetWide(destinationFolder, folder);
    g_platformMemory.release = RecordingRelease;

    CleanUpExtraction(&set, c.installerResult, productCode.c_str(), destinationFolder);

    g_platformMemory.release = g_cleanUp.realMemory.release;
    EXPECT_EQ(set.items, nullptr);
    EXPECT_EQ(set.outputs, nullptr);
    EXPECT_EQ(set.itemCount, 0);
    for (void* block : blocks)
        EXPECT_NE(std::find(g_cleanUp.released.begin(), g_cleanUp.released.end(), block), g_cleanUp.released.end())
            << "the item and output arrays and the writer's buffers are released";
    if (openFile)
        EXPECT_NE(std::find(g_cleanUp.closed.begin(), g_cleanUp.closed.end(), openFile), g_cleanUp.closed.end());
    for (const char* name : names) {
        bool present = FileExists(Wide(folder + "\\" + name).c_str());
        EXPECT_EQ(present, c.pathsSet && c.filesKept) << name;
    }
    EXPECT_EQ(FileExists(Wide(folder).c_str()), c.folderKept);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CleanUpOutcome,
    ::testing::Values(
        OutcomeCase{"installed, not registered: files kept, folder not empty", 0, false, true, false, true, true},
        OutcomeCase{"installed and registered", 0, true, true, false, true, true},
        OutcomeCase{"cancelled, not registered: all removed", 1602, false, true, false, false, false},
        OutcomeCase{"reboot needed, not registered: all removed", 3010, false, true, false, false, false},
        OutcomeCase{"reboot needed, registered: all kept", 3010, true, true, false, true, true},
        OutcomeCase{"never started, registered before: all kept", 1601, true, true, false, true, true},
        OutcomeCase{"writing failed midway: closed, then removed", 1601, false, true, true, false, false},
        OutcomeCase{"writing failed midway, registered: closed and kept", 1601, true, true, true, true, true},
        OutcomeCase{"installer not found: no paths yet, only memory released", 1601, false, false, false, false,
                    true}));

// ---------------------------------------------------------------------------
// LaunchInstaller

std::string WindowsPathOf(const std::string& linuxPath) {
    std::string path = "Z:" + linuxPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

struct LaunchSeam {
    bool createFails = false;
    DWORD createError = 0;
    bool exitCodeFails = false;
    std::string applicationName;
    STARTUPINFOW startup = {};
    BOOL inheritHandles = TRUE;
    DWORD creationFlags = ~0u;
    bool created = false;
} g_launch;

BOOL WINAPI RecordingCreateProcess(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processSecurity,
                                   LPSECURITY_ATTRIBUTES threadSecurity, BOOL inherit, DWORD flags, LPVOID environment,
                                   LPCWSTR directory, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION process) {
    g_launch.applicationName = application ? Utf8(application) : "";
    g_launch.startup = *startup;
    g_launch.inheritHandles = inherit;
    g_launch.creationFlags = flags;
    if (g_launch.createFails) {
        SetLastError(g_launch.createError);
        return FALSE;
    }
    g_launch.created = true;
    return ::CreateProcessW(application, commandLine, processSecurity, threadSecurity, inherit, flags, environment,
                            directory, startup, process);
}

BOOL WINAPI FailingGetExitCodeProcess(HANDLE, LPDWORD) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

DWORD g_waitError = 0;
DWORD WINAPI FailingWait(HANDLE, DWORD) {
    SetLastError(g_waitError);
    return WAIT_FAILED;
}

class LaunchInstallerTest : public ::testing::Test {
   protected:
    void SetUp() override {
        saved_ = g_win32;
        g_launch = LaunchSeam();
        g_win32.CreateProcessW = RecordingCreateProcess;
        // A folder with a space, so the installer's path arrives in quotes.
        installerFolder_ = folder_.path() + "\\Windows Installer";
        CreateDirectoryA(installerFolder_.c_str(), nullptr);
        installer_ = installerFolder_ + "\\msiexec.exe";
        log_ = folder_.path() + "\\installer.log";
        ASSERT_TRUE(CopyFileA(WindowsPathOf(MSISTUB_BINARY_DIR "/tools/test-msiexec.exe").c_str(), installer_.c_str(),
                              FALSE))
            << "build the test installer first";
        SetEnvironmentVariableA("MSISTUB_TEST_INSTALLER_LOG", log_.c_str());
    }
    void TearDown() override {
        g_win32 = saved_;
        SetEnvironmentVariableA("MSISTUB_TEST_INSTALLER_LOG", nullptr);
        SetEnvironmentVariableA("MSISTUB_TEST_INSTALLER_EXIT", nullptr);
    }

    struct Outcome {
        StatusValue status;
        uint32_t installerResult;
        int suppressErrorBox;
        std::string errorText;
    };

    Outcome Launch(const std::string& installer, const std::u16string& launcherLine, int showCommand = SW_SHOWNORMAL,
                   const std::string& package = kPackage) {
        int32_t count = 0;
        char16_t** arguments = SplitCommandLine(launcherLine.c_str(), &count);
        Outcome outcome = {0, kErrorInstallServiceFailure, 0, ""};
        wchar_t errorText[kErrorTextSize] = {};
        outcome.status = LaunchInstaller(Wide(installer).c_str(), Wide(package).c_str(), arguments, count, showCommand,
                                         &outcome.installerResult, errorText, &outcome.suppressErrorBox);
        outcome.errorText = Utf8(errorText);
        PlatformFree(arguments);
        return outcome;
    }

    std::string Received() {
        std::string text = ReadWholeFile(log_);
        DeleteFileA(log_.c_str());
        return text;
    }

    static constexpr const char* kPackage = "C:\\windows\\Installer\\{A11CE000-0000-4000-8000-000000000200}\\main.msi";
    Win32Api saved_;
    TestFolder folder_{"launch"};
    std::string installerFolder_;
    std::string installer_;
    std::string log_;
};

TEST_F(LaunchInstallerTest, ExitCodeBecomesTheStatusAndSilencesTheBox) {
    struct Case {
        const char* exitText;
        uint32_t exitCode;
    };
    const Case cases[] = {{"0", 0}, {"1602", 1602}, {"3010", 3010}, {"1603", 1603}, {"2147944003", 0x80070643u}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exitText);
        SetEnvironmentVariableA("MSISTUB_TEST_INSTALLER_EXIT", c.exitText);

        Outcome outcome = Launch(installer_, u"\"C:\\Downloads\\setup.exe\" PROP=\"a b\" \"\" /qn");

        EXPECT_EQ(Received(), "\"" + installer_ + "\" /i " + kPackage + " \"PROP=a b\"  /qn\n");
        EXPECT_EQ(outcome.installerResult, c.exitCode);
        EXPECT_EQ(StatusCode(outcome.status), c.exitCode);
        EXPECT_EQ(StatusLine(outcome.status), c.exitCode ? 2349u : 0u);
        EXPECT_EQ(outcome.suppressErrorBox, c.exitCode ? 1 : 0);
        EXPECT_EQ(outcome.errorText, "");
    }
}

// The installer starts with the launcher's own show-window value, inherits
// no handles and runs in the launcher's environment and folder.
TEST_F(LaunchInstallerTest, InstallerGetsTheLaunchersShowWindowValue) {
    for (int showCommand : {SW_SHOWNORMAL, SW_SHOWMINNOACTIVE}) {
        Launch(installer_, u"setup.exe", showCommand);
        Received();
        EXPECT_EQ(g_launch.applicationName, installer_);
        EXPECT_EQ(g_launch.startup.cb, sizeof(STARTUPINFOW));
        EXPECT_EQ(g_launch.startup.dwFlags, static_cast<DWORD>(STARTF_USESHOWWINDOW));
        EXPECT_EQ(g_launch.startup.wShowWindow, showCommand);
        EXPECT_EQ(g_launch.inheritHandles, FALSE);
        EXPECT_EQ(g_launch.creationFlags, 0u);
    }
}

// An exit code that cannot be read leaves the result at 1601: the
// installation counts as failed.
TEST_F(LaunchInstallerTest, UnreadableExitCodeCountsAsFailure) {
    g_win32.GetExitCodeProcess = FailingGetExitCodeProcess;
    SetEnvironmentVariableA("MSISTUB_TEST_INSTALLER_EXIT", "0");

    Outcome outcome = Launch(installer_, u"setup.exe");

    EXPECT_NE(Received(), "<missing>") << "the installer ran";
    EXPECT_EQ(outcome.installerResult, 1601u);
    EXPECT_EQ(StatusCode(outcome.status), 1601u);
    EXPECT_EQ(StatusLine(outcome.status), 2349u);
    EXPECT_EQ(outcome.suppressErrorBox, 1);
}

// A process that cannot be created: the box shows the system's text for the
// code with the installer's path in parentheses; the result stays 1601.
TEST_F(LaunchInstallerTest, CreationFailureComposesTheTextWithThePath) {
    struct Case {
        const char* name;
        std::string installer;
        bool seamFails;
        DWORD lastError;
        uint32_t expectedCode;
    };
    const std::string missing = installerFolder_ + "\\missing.exe";
    const Case cases[] = {
        {"no such file", missing, false, 0, ERROR_FILE_NOT_FOUND},
        {"refused with a last error", installer_, true, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
        {"refused without a last error", installer_, true, 0, 89},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_launch.createFails = c.seamFails;
        g_launch.createError = c.lastError;

        Outcome outcome = Launch(c.installer, u"setup.exe /qn");

        EXPECT_EQ(StatusCode(outcome.status), c.expectedCode);
        EXPECT_EQ(StatusLine(outcome.status), 2355u);
        EXPECT_EQ(outcome.installerResult, 1601u);
        EXPECT_EQ(outcome.suppressErrorBox, 0);
        wchar_t expected[kErrorTextSize] = {};
        ComposeErrorText(c.expectedCode, expected, kErrorTextSize, Wide(c.installer).c_str());
        EXPECT_EQ(outcome.errorText, Utf8(expected));
        const std::string context = " (" + c.installer + ").";
        ASSERT_GE(outcome.errorText.size(), context.size());
        EXPECT_EQ(outcome.errorText.substr(outcome.errorText.size() - context.size()), context);
        EXPECT_EQ(Received(), "<missing>") << "no installer ran";
    }
}

// The installer, the package and every argument reach the installer exactly,
// also where no ANSI code page holds a character: a folder named in Polish
// and Japanese, a full-width quotation mark (no real one, so no further
// switch), a character outside the basic plane.
TEST_F(LaunchInstallerTest, CharactersOutsideTheCodePageArriveExactly) {
    std::string folder = folder_.path() + "\\\u0141ukasz \u65E5\u672C";
    ASSERT_TRUE(CreateDirectoryW(Wide(folder).c_str(), nullptr));
    std::string installer = folder + "\\msiexec.exe";
    ASSERT_TRUE(CopyFileW(Wide(installer_).c_str(), Wide(installer).c_str(), FALSE));
    std::string package = folder + "\\{A11CE000-0000-4000-8000-000000000200}\\main.msi";

    Outcome outcome = Launch(installer, u"setup.exe \"PROP=a\uFF02 /x\" NAME=\u0141ukasz\U0001F600 /qn", SW_SHOWNORMAL,
                             package);

    EXPECT_EQ(StatusCode(outcome.status), 0u);
    EXPECT_EQ(Received(), "\"" + installer + "\" /i \"" + package +
                              "\" \"PROP=a\uFF02 /x\" NAME=\u0141ukasz\U0001F600 /qn\n");
}

// A command line that would not fit 1023 units is refused whole; the
// installer never sees a line cut into another command.
TEST_F(LaunchInstallerTest, CommandLineTooLongIsRefused) {
    Outcome outcome = Launch(installer_, u"setup.exe /qn PROP=" + std::u16string(1000, u'x'));

    EXPECT_EQ(StatusCode(outcome.status), 1639u);
    EXPECT_EQ(StatusLine(outcome.status), 2358u);
    EXPECT_EQ(outcome.installerResult, 1601u);
    EXPECT_EQ(outcome.suppressErrorBox, 0);
    EXPECT_EQ(outcome.errorText, "");
    EXPECT_FALSE(g_launch.created);
    EXPECT_EQ(Received(), "<missing>");
}

// A wait that fails tells nothing of the installer, which may still run: no
// exit code is read (it would be STILL_ACTIVE), the result becomes 0 so that
// the clean-up keeps the files the installer may still read, and the wait's
// error is the launcher's, at its own site, with the installer's path.
TEST_F(LaunchInstallerTest, FailedWaitEndsWithItsErrorAndKeepsTheFiles) {
    struct Case {
        DWORD lastError;
        uint32_t expectedCode;
    };
    g_win32.WaitForSingleObject = FailingWait;
    SetEnvironmentVariableA("MSISTUB_TEST_INSTALLER_EXIT", "1603");
    for (const Case& c : {Case{ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED}, Case{0, ERROR_INVALID_HANDLE}}) {
        SCOPED_TRACE(c.lastError);
        g_waitError = c.lastError;

        Outcome outcome = Launch(installer_, u"setup.exe /qn");

        EXPECT_TRUE(g_launch.created);
        EXPECT_EQ(StatusCode(outcome.status), c.expectedCode);
        EXPECT_EQ(StatusLine(outcome.status), static_cast<uint32_t>(kLineInstallerNotAwaited));
        EXPECT_EQ(outcome.installerResult, 0u);
        EXPECT_EQ(outcome.suppressErrorBox, 0);
        wchar_t expected[kErrorTextSize] = {};
        ComposeErrorText(c.expectedCode, expected, kErrorTextSize, Wide(installer_).c_str());
        EXPECT_EQ(outcome.errorText, Utf8(expected));
        // The installer was not waited for: let it finish before the next run.
        for (int i = 0; i < 400 && GetFileAttributesA(log_.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(50);
        Sleep(200);
        Received();
    }
}

}  // namespace
