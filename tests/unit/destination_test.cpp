// Preparing the destination as a user meets it: files created under the
// Installer folder of the Windows directory; files already there trusted only
// when they hold the payload; a failed attempt undone before the real folder
// browser opens at Documents, which a second thread operates like a person.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "../driver/window_driver.h"
#include "extract/destination.h"
#include "extraction_files.h"
#include "core/status_lines.h"
#include "platform/paths.h"
#include "platform/win32_api.h"
#include "unwanted_windows.h"

namespace {

using window_driver::WindowKind;

constexpr DWORD kWindowTimeout = 20000;

FILETIME LastWriteTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

std::string DocumentsFolder() {
    char path[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, path, CSIDL_PERSONAL, TRUE);
    return path;
}

using Files = std::vector<std::pair<std::string, std::string>>;

// Lists every folder below `folder` once, so that the browser finds a folder
// made just now: the first listing of a fresh folder moves its access time
// (see the note in the end-to-end tests' prefix set-up), and a browser that
// listed it before would no longer match its path.
void ListFolders(const std::string& folder) {
    std::error_code ignored;
    for (auto entry = std::filesystem::recursive_directory_iterator(Wide(folder), ignored);
         entry != std::filesystem::recursive_directory_iterator(); entry.increment(ignored)) {
    }
}

std::string LastComponent(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool IsReparsePoint(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Wine's own name of a path on the Unix side, or "" outside Wine.
std::string UnixPath(const std::string& path) {
    using UnixName = char*(CDECL*)(LPCWSTR);
    auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName) return "";
    std::wstring wide(path.begin(), path.end());
    char* name = unixName(wide.c_str());
    if (!name) return "";
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

// Starts a Unix program: Wine runs native executables that it is given, but
// hands back no process handle to wait on, so callers wait for its effect.
bool StartUnixProgram(const char* program, std::string commandLine) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    if (process.hProcess) CloseHandle(process.hProcess);
    if (process.hThread) CloseHandle(process.hThread);
    return true;
}

// Polls until `reached` holds or the window timeout passes.
template <typename Condition>
bool WaitFor(Condition reached) {
    for (DWORD waited = 0; waited < kWindowTimeout; waited += 50) {
        if (reached()) return true;
        Sleep(50);
    }
    return reached();
}

// Makes `link` a junction to `target`, as mklink /J does: a mount-point
// reparse point whose substitute name is the NT path. Wine 8 cannot set
// reparse points but shows a Unix symbolic link to a folder as one
// (FILE_ATTRIBUTE_REPARSE_POINT), so there the link is made on the Unix side.
bool SetMountPoint(const std::string& link, const std::string& target) {
    if (!CreateDirectoryA(link.c_str(), nullptr)) return false;
    HANDLE folder = CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
        RemoveDirectoryA(link.c_str());
        return false;
    }
    std::wstring substitute = L"\\??\\" + std::wstring(target.begin(), target.end());
    std::wstring print(target.begin(), target.end());
    std::vector<WCHAR> names(substitute.begin(), substitute.end());
    names.push_back(0);
    names.insert(names.end(), print.begin(), print.end());
    names.push_back(0);
    std::vector<BYTE> buffer(16 + names.size() * sizeof(WCHAR));
    auto put16 = [&](size_t at, size_t value) { *reinterpret_cast<WORD*>(&buffer[at]) = static_cast<WORD>(value); };
    *reinterpret_cast<DWORD*>(&buffer[0]) = IO_REPARSE_TAG_MOUNT_POINT;
    put16(4, buffer.size() - 8);                         // data length
    put16(8, 0);                                         // substitute name offset
    put16(10, substitute.size() * sizeof(WCHAR));        // substitute name length
    put16(12, (substitute.size() + 1) * sizeof(WCHAR));  // print name offset
    put16(14, print.size() * sizeof(WCHAR));             // print name length
    std::memcpy(&buffer[16], names.data(), names.size() * sizeof(WCHAR));
    DWORD returned = 0;
    BOOL made = DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()),
                                nullptr, 0, &returned, nullptr);
    CloseHandle(folder);
    if (!made) RemoveDirectoryA(link.c_str());
    return made != FALSE;
}

bool MakeJunction(const std::string& link, const std::string& target) {
    if (SetMountPoint(link, target)) return true;
    std::string unixLink = UnixPath(link), unixTarget = UnixPath(target);
    if (unixLink.empty() || !StartUnixProgram("Z:\\bin\\ln", "ln -s \"" + unixTarget + "\" \"" + unixLink + "\""))
        return false;
    return WaitFor([&] { return IsReparsePoint(link); });
}

// Under Wine the link goes on the Unix side too: Wine's RemoveDirectory on
// it would remove the empty folder it points to and leave the link.
void RemoveJunction(const std::string& link) {
    std::string unixLink = UnixPath(link);
    if (unixLink.empty()) {
        RemoveDirectoryA(link.c_str());
        return;
    }
    if (StartUnixProgram("Z:\\bin\\rm", "rm -f \"" + unixLink + "\""))
        WaitFor([&] { return !FileExists(Wide(link).c_str()); });
}


// What a test changes of the Win32 table, and what the replacements read.
struct Seams {
    std::string windowsDirectory;    // empty: the real Windows directory
    std::string failingCreateName;   // creating a file of this name for writing fails
} g_seams;

UINT WINAPI TestWindowsDirectory(LPWSTR buffer, UINT size) {
    std::wstring folder = Wide(g_seams.windowsDirectory);
    if (folder.size() >= size) return static_cast<UINT>(folder.size() + 1);
    std::wmemcpy(buffer, folder.c_str(), folder.size() + 1);
    return static_cast<UINT>(folder.size());
}

HANDLE WINAPI CreateFileFailingForName(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                       DWORD disposition, DWORD flags, HANDLE templateFile) {
    std::string name = LastComponent(Utf8(path));
    if ((access & GENERIC_WRITE) && name == g_seams.failingCreateName) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return ::CreateFileW(path, access, share, security, disposition, flags, templateFile);
}

// One look at the folder browser and what the driver did with it.
struct BrowserAction {
    enum Kind { kCancel, kOkOnPreselected, kChoose } kind;
    std::string path;  // for kChoose
};

struct BrowserVisit {
    bool appeared = false;
    bool chosen = true;     // a kChoose action's folder was shown selected before OK
    std::string selection;  // names shown for the preselected folder and its parents
    std::vector<bool> pathsPresent;
};

// Operates the browser from a second thread, once per action, and records
// what it saw, including whether `watchedPaths` exist while the browser is
// open (that is, after the failed attempt was undone).
class BrowserDriver {
   public:
    BrowserDriver(std::vector<BrowserAction> actions, std::vector<std::string> watchedPaths)
        : actions_(std::move(actions)), watched_(std::move(watchedPaths)), visits_(actions_.size()) {
        // The browser opens at Documents. A fresh prefix has never listed it,
        // and a product folder made and removed there by an earlier case
        // changed it: either way the browser's own first listing would move
        // its access time between finding the path and matching the tree.
        ListFolders(DocumentsFolder());
        thread_ = std::thread([this] { Run(); });
    }
    ~BrowserDriver() { Join(); }
    const std::vector<BrowserVisit>& Join() {
        if (thread_.joinable()) thread_.join();
        return visits_;
    }

   private:
    void Run() {
        for (size_t i = 0; i < actions_.size(); ++i) {
            HWND browser =
                window_driver::WaitForWindow(WindowKind::kFolderBrowser, kWindowTimeout, GetCurrentProcessId());
            if (!browser) return;
            BrowserVisit& visit = visits_[i];
            visit.appeared = true;
            window_driver::WaitForBrowserReady(browser, kWindowTimeout);
            visit.selection = window_driver::BrowserSelection(browser);
            for (const auto& path : watched_) visit.pathsPresent.push_back(FileExists(Wide(path).c_str()));
            const BrowserAction& action = actions_[i];
            if (action.kind == BrowserAction::kChoose)
                visit.chosen = window_driver::ChooseBrowserFolder(browser, action.path.c_str(), kWindowTimeout);
            window_driver::PressButton(browser, action.kind == BrowserAction::kCancel ? IDCANCEL : IDOK);
            window_driver::WaitUntilGone(browser, kWindowTimeout);
        }
    }

    std::vector<BrowserAction> actions_;
    std::vector<std::string> watched_;
    std::vector<BrowserVisit> visits_;
    std::thread thread_;
};

class DestinationTest : public ::testing::Test {
   protected:
    void SetUp() override {
        CoInitialize(nullptr);
        saved_ = g_win32;
        g_seams = Seams();
        std::memset(destination_, 0, sizeof destination_);
    }
    void TearDown() override {
        g_win32 = saved_;
        for (const auto& folder : cleanUp_) RemoveTree(folder);
        CoUninitialize();
    }

    // A Windows directory of the test's own: its Installer folder is made by
    // the step (or blocked by the test).
    std::string UseTestWindowsDirectory() {
        g_seams.windowsDirectory = root_ + "\\windows";
        CreateDirectoryW(Wide(g_seams.windowsDirectory).c_str(), nullptr);
        g_win32.GetWindowsDirectoryW = TestWindowsDirectory;
        return g_seams.windowsDirectory;
    }

    // A file where the product folder should be: no output file can be
    // created there, so the first attempt fails.
    void BlockProductFolder(const std::string& base) {
        CreateDirectoryA(base.c_str(), nullptr);
        WriteWholeFile(base + "\\" + kProductCode, "not a folder");
    }

    StatusValue Prepare(Items& items, bool unattended = false) {
        return PrepareDestination(items.set(), kProductCode,
                                  L"Select a folder where you want to extract the installation files:", destination_,
                                  unattended);
    }

    static constexpr const char* kProductCode = "{5EA1D000-0000-4000-8000-00000000D0C5}";
    Win32Api saved_;
    // At the drive's root, not in the temporary folder: the browser finds a
    // folder by comparing item ids, which hold each folder's times, with those
    // it listed when it opened. Suites running beside this one change the
    // temporary folder all the time, so a path through it could name an item
    // the open browser no longer holds; a drive's item holds no times.
    TestFolder folder_{"destination", "C:\\"};
    const std::string& root_ = folder_.path();
    std::vector<std::string> cleanUp_;
    wchar_t destination_[kPathBufferSize];
};

TEST_F(DestinationTest, FilesGoToTheProductFolderInTheInstallerFolderOfTheWindowsDirectory) {
    for (bool testWindowsDirectory : {false, true}) {
        char windows[MAX_PATH] = {};
        GetWindowsDirectoryA(windows, sizeof windows);
        std::string base = testWindowsDirectory ? UseTestWindowsDirectory() : std::string(windows);
        SCOPED_TRACE(base);
        std::string folder = base + "\\Installer\\" + kProductCode;
        cleanUp_.push_back(folder);
        std::memset(destination_, 0, sizeof destination_);
        Items items({{"main.msi", "package"}, {"data1.cab", "cabinet"}});

        StatusValue status = Prepare(items);

        ASSERT_EQ(StatusCode(status), 0u);
        EXPECT_EQ(Utf8(destination_), folder);
        for (size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(Utf8(items[i].outPath), folder + "\\" + items[i].fileName);
            EXPECT_NE(items.output(i).outFile, nullptr);
            EXPECT_EQ(items.output(i).bytesWritten, 0u);
        }
        items.WriteAll();
        EXPECT_EQ(ReadWholeFile(folder + "\\main.msi"), "package");
        EXPECT_EQ(ReadWholeFile(folder + "\\data1.cab"), "cabinet");
        items.CloseAll();
        RemoveTree(folder);
    }
}

// A file found at an output path is trusted only when it holds exactly the
// payload; any other file there is replaced by the payload.
TEST_F(DestinationTest, PresentFileIsKeptOnlyWhenItHoldsThePayload) {
    struct Case {
        const char* name;
        std::string present;
        bool keptUntouched;
    };
    const std::string payload(200000, 'p');
    std::string sameSizeOtherBytes = payload;
    sameSizeOtherBytes[123456] = 'x';
    const Case cases[] = {
        {"the payload's bytes", payload, true},
        {"same size, one byte differs", sameSizeOtherBytes, false},
        {"a shorter file", payload.substr(0, 1000), false},
        {"a longer file", payload + "tail", false},
        {"an empty file", "", false},
    };
    std::string folder = UseTestWindowsDirectory() + "\\Installer\\" + kProductCode;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveTree(folder);
        ASSERT_EQ(SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr), ERROR_SUCCESS);
        std::string path = folder + "\\main.msi";
        WriteWholeFile(path, c.present);
        FILETIME before = LastWriteTime(path);
        Sleep(20);
        Items items({{"main.msi", payload}});

        ASSERT_EQ(StatusCode(Prepare(items)), 0u);
        EXPECT_EQ(Utf8(items[0].outPath), path);
        EXPECT_EQ(items.output(0).outFile == nullptr, c.keptUntouched);
        items.WriteAll();

        EXPECT_TRUE(ReadWholeFile(path) == payload);
        FILETIME after = LastWriteTime(path);
        EXPECT_EQ(CompareFileTime(&before, &after) == 0, c.keptUntouched);
    }
}

// Two cabinet lines with one file name: the first item writes the file, the
// later one finds it present and leaves it alone, whatever its payload.
TEST_F(DestinationTest, LaterItemWithTheSameNameLeavesTheFileToTheFirst) {
    std::string folder = UseTestWindowsDirectory() + "\\Installer\\" + kProductCode;
    Items items({{"main.msi", "package"}, {"data.cab", "first cabinet"}, {"DATA.CAB", "second cabinet"}});

    ASSERT_EQ(StatusCode(Prepare(items)), 0u);
    EXPECT_NE(items.output(1).outFile, nullptr);
    EXPECT_EQ(items.output(2).outFile, nullptr);
    items.WriteAll();
    EXPECT_EQ(ReadWholeFile(folder + "\\data.cab"), "first cabinet");
}

TEST_F(DestinationTest, FailedCreateIsUndoneThenTheBrowserOpensAtDocumentsAndCancelEndsTheStep) {
    std::string windows = UseTestWindowsDirectory();
    std::string folder = windows + "\\Installer\\" + kProductCode;
    std::string keptPath = folder + "\\kept.cab";
    std::string firstPath = folder + "\\main.msi";
    ASSERT_EQ(SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr), ERROR_SUCCESS);
    WriteWholeFile(keptPath, "kept cabinet");
    g_seams.failingCreateName = "data2.cab";
    g_win32.CreateFileW = CreateFileFailingForName;
    Items items({{"main.msi", "package"}, {"kept.cab", "kept cabinet"}, {"data2.cab", "second cabinet"}});

    BrowserDriver driver({{BrowserAction::kCancel, ""}}, {firstPath, keptPath, folder});
    StatusValue status = Prepare(items);
    const auto& visits = driver.Join();

    EXPECT_EQ(StatusCode(status), 1223u);
    EXPECT_EQ(StatusLine(status), kLineBrowseCancelled);
    ASSERT_TRUE(visits[0].appeared);
    std::string documents = LastComponent(DocumentsFolder());
    EXPECT_TRUE(EndsWith(visits[0].selection, documents)) << visits[0].selection;
    // While the browser was open: the file this attempt created was gone, the
    // file that was there before stayed, and so did the folder it keeps.
    EXPECT_EQ(visits[0].pathsPresent, (std::vector<bool>{false, true, true}));
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items.output(i).outFile, nullptr);
        EXPECT_EQ(items.output(i).bytesWritten, 0u);
        EXPECT_STREQ(items[i].outPath, L"");
    }
    EXPECT_EQ(ReadWholeFile(keptPath), "kept cabinet");
}

// A quiet run has nobody to pick a folder: the first failed attempt is
// undone and ends the step, without a browser, with the error that stopped
// it. What stood there before stays.
TEST_F(DestinationTest, UnattendedRunOpensNoBrowserAndTellsWhyTheAttemptFailed) {
    std::string windows = UseTestWindowsDirectory();
    std::string installer = windows + "\\Installer";
    std::string folder = installer + "\\" + kProductCode;
    struct Case {
        const char* name;
        bool blocked;             // a file stands where the product folder goes
        const char* failingFile;  // this file cannot be created
        std::string secondFile;
        uint32_t code;
    };
    const Case cases[] = {
        {"a file stands at the product folder", true, "", "data1.cab", ERROR_ALREADY_EXISTS},
        {"a file cannot be created", false, "data1.cab", "data1.cab", ERROR_ACCESS_DENIED},
        {"an output path over 260 characters", false, "", std::string(250, 'n') + ".cab", ERROR_FILENAME_EXCED_RANGE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.blocked) BlockProductFolder(installer);
        g_seams.failingCreateName = c.failingFile;
        g_win32.CreateFileW = CreateFileFailingForName;
        std::memset(destination_, 0, sizeof destination_);
        Items items({{"main.msi", "package"}, {c.secondFile, "cabinet"}});

        UnwantedWindows browsers(WindowKind::kFolderBrowser);
        StatusValue status = Prepare(items, true);
        EXPECT_EQ(browsers.Stop(), 0) << "a folder browser appeared";

        EXPECT_EQ(StatusCode(status), c.code);
        EXPECT_EQ(StatusLine(status), kLineDestinationNotMade);
        for (size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(items.output(i).outFile, nullptr);
            EXPECT_STREQ(items[i].outPath, L"");
        }
        if (c.blocked) {
            EXPECT_EQ(ReadWholeFile(folder), "not a folder");
            DeleteFileA(folder.c_str());
        } else {
            EXPECT_FALSE(FileExists(Wide(folder).c_str())) << "the attempt's product folder was left";
        }
    }
}

// After a failed first attempt the user picks a folder: the preselected
// Documents folder, a drive root (no doubled backslash), or first a folder
// that fails too, which opens the browser again at Documents.
TEST_F(DestinationTest, ChosenFolderGetsTheProductFolder) {
    std::string windows = UseTestWindowsDirectory();
    BlockProductFolder(windows + "\\Installer");
    std::string failingChoice = root_ + "\\blocked";
    BlockProductFolder(failingChoice);

    struct Case {
        const char* name;
        std::vector<BrowserAction> actions;
        std::string base;
    };
    const Case cases[] = {
        {"preselected Documents", {{BrowserAction::kOkOnPreselected, ""}}, DocumentsFolder()},
        {"drive root", {{BrowserAction::kChoose, "C:\\"}}, "C:"},
        {"a failing choice, then Documents",
         {{BrowserAction::kChoose, failingChoice}, {BrowserAction::kOkOnPreselected, ""}},
         DocumentsFolder()},
    };
    std::string documents = LastComponent(DocumentsFolder());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string folder = c.base + "\\" + kProductCode;
        cleanUp_.push_back(folder);
        std::memset(destination_, 0, sizeof destination_);
        Items items({{"main.msi", "package"}, {"data1.cab", "cabinet"}});

        ListFolders(root_);
        BrowserDriver driver(c.actions, {});
        StatusValue status = Prepare(items);
        const auto& visits = driver.Join();

        ASSERT_EQ(StatusCode(status), 0u);
        EXPECT_EQ(Utf8(destination_), folder);
        for (const auto& visit : visits) {
            ASSERT_TRUE(visit.appeared);
            EXPECT_TRUE(visit.chosen);
            EXPECT_TRUE(EndsWith(visit.selection, documents)) << visit.selection;
        }
        EXPECT_EQ(Utf8(items[0].outPath), folder + "\\main.msi");
        items.WriteAll();
        EXPECT_EQ(ReadWholeFile(folder + "\\main.msi"), "package");
        EXPECT_EQ(ReadWholeFile(folder + "\\data1.cab"), "cabinet");
        EXPECT_EQ(ReadWholeFile(failingChoice + "\\" + kProductCode), "not a folder");
        items.CloseAll();
        RemoveTree(folder);
    }
}

// Folders whose names no ANSI code page holds: the Windows directory, a
// folder chosen in the browser, and a path that fills its 260 UTF-16 units
// exactly (far more bytes in any multibyte form) while one unit more is
// refused.
TEST_F(DestinationTest, FoldersOutsideTheCodePageAreUsedAsNamed) {
    std::string windows = root_ + "\\\u0141ukasz \u65E5\u672C";
    ASSERT_TRUE(CreateDirectoryW(Wide(windows).c_str(), nullptr));
    g_seams.windowsDirectory = windows;
    g_win32.GetWindowsDirectoryW = TestWindowsDirectory;
    std::string folder = windows + "\\Installer\\" + kProductCode;
    Items items(Files{{"main.msi", "package"}});
    ASSERT_EQ(StatusCode(Prepare(items)), 0u);
    EXPECT_EQ(Utf8(destination_), folder);
    EXPECT_EQ(Utf8(items[0].outPath), folder + "\\main.msi");
    items.WriteAll();
    EXPECT_EQ(ReadWholeFile(folder + "\\main.msi"), "package");
    items.CloseAll();

    // The Installer folder is blocked; the user chooses a folder named in
    // Polish and Japanese.
    RemoveTree(folder);
    WriteWholeFile(folder, "not a folder");
    std::string chosen = root_ + "\\wyb\u00F3r \u9078\u629E";
    ASSERT_TRUE(CreateDirectoryW(Wide(chosen).c_str(), nullptr));
    ListFolders(root_);
    std::memset(destination_, 0, sizeof destination_);
    Items browsed(Files{{"main.msi", "package"}});
    BrowserDriver driver({{BrowserAction::kChoose, chosen}}, {});
    StatusValue status = Prepare(browsed);
    const auto& visits = driver.Join();
    ASSERT_EQ(StatusCode(status), 0u);
    ASSERT_EQ(visits.size(), 1u);
    EXPECT_TRUE(visits[0].chosen);
    EXPECT_EQ(Utf8(destination_), chosen + "\\" + kProductCode);
    browsed.WriteAll();
    EXPECT_EQ(ReadWholeFile(chosen + "\\" + kProductCode + "\\main.msi"), "package");
    browsed.CloseAll();

    // "<windows>\Installer\{code}\main.msi" of exactly 260 units, then 261.
    for (size_t extra : {0u, 1u}) {
        size_t fixed = Wide(root_).size() + 1 + std::string("\\Installer\\").size() + 38 + 9;
        // Levels of at most 80 characters: Wine's file names on Linux hold
        // 255 bytes, and each of these characters takes 3 in UTF-8.
        size_t units = 260 - fixed + extra;
        std::string deep = root_ + "\\deep" + std::to_string(extra);
        units -= 5;
        while (units > 0) {
            ASSERT_TRUE(CreateDirectoryW(Wide(deep).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
            size_t level = units > 81 ? 80 : units - 1;
            deep += "\\" + Utf8(std::wstring(level, L'\u65E5'));
            units -= level + 1;
        }
        ASSERT_TRUE(CreateDirectoryW(Wide(deep).c_str(), nullptr));
        ASSERT_EQ(Wide(deep).size() + std::string("\\Installer\\").size() + 38 + 9, 260 + extra);
        g_seams.windowsDirectory = deep;
        std::memset(destination_, 0, sizeof destination_);
        Items fitting(Files{{"main.msi", "package"}});
        if (extra == 0) {
            ASSERT_EQ(StatusCode(Prepare(fitting)), 0u);
            EXPECT_EQ(Wide(Utf8(fitting[0].outPath)).size(), 260u);
            fitting.CloseAll();
        } else {
            BrowserDriver cancel({{BrowserAction::kCancel, ""}}, {});
            EXPECT_EQ(StatusCode(Prepare(fitting)), 1223u) << "261 units do not fit";
            EXPECT_STREQ(fitting[0].outPath, L"");
        }
    }
}

// A path that does not fit its buffer is refused whole, never cut into
// another path: the attempt fails, is undone, and the browser opens.
TEST_F(DestinationTest, PathThatDoesNotFitFailsTheAttempt) {
    std::string windows = UseTestWindowsDirectory();
    std::string longName(240, 'n');
    struct Case {
        const char* name;
        std::string windowsDirectory;
        std::string secondFile;
    };
    const Case cases[] = {
        {"output path over 260 characters", windows, longName + ".cab"},
        // "\Installer" still fits, "\{product code}" no longer does.
        {"product folder over 1023 characters", windows + "\\" + std::string(990 - windows.size(), 'w'),
         "data1.cab"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_seams.windowsDirectory = c.windowsDirectory;
        std::string folder = windows + "\\Installer\\" + kProductCode;
        std::memset(destination_, 0, sizeof destination_);
        Items items({{"main.msi", "package"}, {c.secondFile, "cabinet"}});

        BrowserDriver driver({{BrowserAction::kCancel, ""}}, {folder + "\\main.msi", folder});
        StatusValue status = Prepare(items);
        const auto& visits = driver.Join();

        EXPECT_EQ(StatusCode(status), 1223u);
        ASSERT_TRUE(visits[0].appeared);
        EXPECT_EQ(visits[0].pathsPresent, (std::vector<bool>{false, false}));
        // Nothing was written under any cut name.
        std::vector<std::string> left;
        std::error_code error;
        for (std::filesystem::recursive_directory_iterator entry(root_, error), end; !error && entry != end;
             entry.increment(error))
            if (entry->is_regular_file()) left.push_back(entry->path().string());
        EXPECT_TRUE(left.empty()) << left.front();
        EXPECT_STREQ(items[1].outPath, L"");
    }
}

// A junction planted as the product folder, in the first base folder or
// under a folder the user browsed to, would send the writes wherever it
// points: the attempt fails, the junction and its target stay as they were,
// and the browser opens.
TEST_F(DestinationTest, JunctionAsProductFolderFailsTheAttemptAndOpensTheBrowser) {
    std::string windows = UseTestWindowsDirectory();
    std::string target = root_ + "\\elsewhere";
    ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));
    std::string browsed = root_ + "\\browsed";
    ASSERT_TRUE(CreateDirectoryA(browsed.c_str(), nullptr));
    std::string installer = windows + "\\Installer";
    ASSERT_TRUE(CreateDirectoryA(installer.c_str(), nullptr));

    struct Case {
        const char* name;
        std::string junction;               // where the junction stands
        std::vector<BrowserAction> actions;  // the browser's visits, the last one cancels
    };
    const Case cases[] = {
        {"in the Installer folder", installer + "\\" + kProductCode, {{BrowserAction::kCancel, ""}}},
        {"under a browsed base folder", browsed + "\\" + kProductCode,
         {{BrowserAction::kChoose, browsed}, {BrowserAction::kCancel, ""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The first base must fail for the browser to offer the second.
        if (c.junction.rfind(browsed, 0) == 0) BlockProductFolder(installer);
        ASSERT_TRUE(MakeJunction(c.junction, target)) << GetLastError();
        ASSERT_TRUE(IsReparsePoint(c.junction));
        std::memset(destination_, 0, sizeof destination_);
        Items items({{"main.msi", "package"}, {"data1.cab", "cabinet"}});

        ListFolders(root_);
        BrowserDriver driver(c.actions, {target + "\\main.msi", c.junction});
        StatusValue status = Prepare(items);
        const auto& visits = driver.Join();

        EXPECT_EQ(StatusCode(status), 1223u);
        ASSERT_EQ(visits.size(), c.actions.size());
        for (const BrowserVisit& visit : visits) {
            ASSERT_TRUE(visit.appeared);
            EXPECT_TRUE(visit.chosen);
        }
        // While the last browser was open: nothing had gone through the
        // junction, and the junction itself was left standing.
        EXPECT_EQ(visits.back().pathsPresent, (std::vector<bool>{false, true}));
        EXPECT_TRUE(IsReparsePoint(c.junction));
        std::error_code error;
        EXPECT_TRUE(std::filesystem::is_empty(target, error)) << error.message();
        for (size_t i = 0; i < items.size(); ++i) EXPECT_EQ(items.output(i).outFile, nullptr);
        RemoveJunction(c.junction);
        ASSERT_FALSE(FileExists(Wide(c.junction).c_str()));
        ASSERT_TRUE(std::filesystem::is_directory(target));
        DeleteFileA((installer + "\\" + kProductCode).c_str());
    }
}

}  // namespace
