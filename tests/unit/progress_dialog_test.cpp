// The progress window as a user meets it: a real modal window on the test's
// thread writes real files while a second thread looks at it like a person
// would (title, bar, icons, prompts) and answers its Retry/Cancel prompts.
// Failures the system will not produce on demand come from the Win32 table.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <string>
#include <thread>
#include <vector>

#include "../driver/window_driver.h"
#include "extract/progress_dialog.h"
#include "extract/taskbar_progress.h"
#include "extraction_files.h"
#include "core/error_text.h"
#include "platform/platform.h"
#include "platform/win32_api.h"
#include "unwanted_windows.h"

namespace {

using window_driver::WindowKind;

constexpr DWORD kWindowTimeout = 20000;
constexpr const wchar_t* kClassName = L"MSI_STUB_WINDOW_CLASS_NAME";
constexpr const char* kTypeface = "MS Sans Serif";
constexpr const char* kTitle = "Contoso Widget 2.0";

std::string Pattern(size_t size, unsigned seed) {
    std::string bytes(size, 0);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + seed) >> 3);
    return bytes;
}

// The Win32 replacements and what they count.
struct Seams {
    // kComesUpShortThenFails: the faulty write comes up short by half, as a
    // nearly full disk's does, and the next one fails: the disk is full.
    enum class WriteFault { kNone, kFails, kComesUpShort, kComesUpShortThenFails } writeFault = WriteFault::kNone;
    int faultyWrite = 0;  // 1-based number of the WriteFile call that goes wrong
    int writes = 0;
    int failingArms = 0;  // SetTimer calls that fail before one succeeds
    bool lockRefused = false;  // opening a written file for reading fails: someone else holds it
    int arms = 0;
    int kills = 0;
    DWORD majorVersion = 0, minorVersion = 0;
    Win32Api real = {};
} g_seams;

BOOL WINAPI CountedWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD done, LPOVERLAPPED overlapped) {
    ++g_seams.writes;
    using Fault = Seams::WriteFault;
    bool full = g_seams.writes == g_seams.faultyWrite + 1 && g_seams.writeFault == Fault::kComesUpShortThenFails;
    if (g_seams.writes == g_seams.faultyWrite || full) {
        if (g_seams.writeFault == Fault::kFails || full) {
            *done = 0;
            SetLastError(ERROR_DISK_FULL);
            return FALSE;
        }
        if (g_seams.writeFault == Fault::kComesUpShort || g_seams.writeFault == Fault::kComesUpShortThenFails)
            size /= 2;
    }
    return g_seams.real.WriteFile(file, data, size, done, overlapped);
}

HANDLE WINAPI LockableCreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                  DWORD disposition, DWORD flags, HANDLE model) {
    if (g_seams.lockRefused && access == GENERIC_READ) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    return g_seams.real.CreateFileW(path, access, share, security, disposition, flags, model);
}

UINT_PTR WINAPI CountedSetTimer(HWND window, UINT_PTR id, UINT delay, TIMERPROC callback) {
    if (g_seams.failingArms > 0) {
        --g_seams.failingArms;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    ++g_seams.arms;
    return g_seams.real.SetTimer(window, id, delay, callback);
}

BOOL WINAPI CountedKillTimer(HWND window, UINT_PTR id) {
    ++g_seams.kills;
    return g_seams.real.KillTimer(window, id);
}

BOOL WINAPI VersionFromTest(LPOSVERSIONINFOA version) {
    version->dwMajorVersion = g_seams.majorVersion;
    version->dwMinorVersion = g_seams.minorVersion;
    return TRUE;
}

// What the second thread saw while a prompt was open over the window.
struct PromptVisit {
    bool appeared = false;
    std::string windowTitle;
    int barPosition = -1;
    std::string caption;
    std::string text;
    DWORD windowStyle = 0;
    bool bigIcon = false;
    bool smallIcon = false;
    std::string fontFace;
    RECT bar = {};
    RECT barExpected = {};
    RECT client = {};
    RECT clientExpected = {};
};

// Waits for a prompt over the progress window, records what a person would
// see, then presses `answer`.
class PromptDriver {
   public:
    explicit PromptDriver(int answer) : answer_(answer), thread_([this] { Run(); }) {}
    ~PromptDriver() { Join(); }
    const PromptVisit& Join() {
        if (thread_.joinable()) thread_.join();
        return visit_;
    }

   private:
    void Run() {
        DWORD process = GetCurrentProcessId();
        // The prompt may come before the window is first shown (a timer that
        // cannot be armed at initialisation); it is owned by the window.
        HWND box = window_driver::WaitForWindow(WindowKind::kMessageBox, kWindowTimeout, process);
        HWND window = box ? GetWindow(box, GW_OWNER) : nullptr;
        if (!window || !window_driver::IsKind(window, WindowKind::kProgress)) return;
        visit_.appeared = true;
        visit_.windowTitle = window_driver::TextOf(window);
        visit_.barPosition = window_driver::ProgressPosition(window);
        visit_.caption = window_driver::TextOf(box);
        visit_.text = window_driver::MessageText(box);
        visit_.windowStyle = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE));
        visit_.bigIcon = SendMessageA(window, WM_GETICON, ICON_BIG, 0) != 0;
        visit_.smallIcon = SendMessageA(window, WM_GETICON, ICON_SMALL, 0) != 0;
        LOGFONTA font = {};
        GetObjectA(reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0)), sizeof font, &font);
        visit_.fontFace = font.lfFaceName;
        HWND bar = GetDlgItem(window, window_driver::kProgressBarId);
        GetWindowRect(bar, &visit_.bar);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&visit_.bar), 2);
        visit_.barExpected = {5, 14, 5 + 170, 14 + 12};
        MapDialogRect(window, &visit_.barExpected);
        GetClientRect(window, &visit_.client);
        visit_.clientExpected = {0, 0, 180, 40};
        MapDialogRect(window, &visit_.clientExpected);
        window_driver::PressButton(box, answer_);
        window_driver::WaitUntilGone(box, kWindowTimeout);
    }

    int answer_;
    PromptVisit visit_;
    std::thread thread_;
};

class ProgressDialogTest : public ::testing::Test {
   protected:
    void SetUp() override {
        CoInitialize(nullptr);
        InitCommonControls();
        taskbar_ = nullptr;
        saved_ = g_win32;
        g_seams = Seams();
        g_seams.real = g_win32;
        g_win32.WriteFile = CountedWriteFile;
        g_win32.CreateFileW = LockableCreateFileW;
        g_win32.SetTimer = CountedSetTimer;
        g_win32.KillTimer = CountedKillTimer;
    }
    void TearDown() override {
        g_win32 = saved_;
        CoUninitialize();
    }

    intptr_t Show(Items& items, const char* title = kTitle, bool unattended = false, uint32_t* failure = nullptr) {
        return ShowProgressDialog(items.set(), GetModuleHandleA(nullptr), taskbar_, kClassName, Wide(title).c_str(),
                                  Wide(kTypeface).c_str(), unattended, failure);
    }

    TaskbarProgress* taskbar_ = nullptr;
    Win32Api saved_;
    TestFolder folder_{"progress"};
};

// Two files of 1,200,000 bytes: three writes each (524288, 524288, 151424).
constexpr size_t kFileSize = 1200000;

TEST_F(ProgressDialogTest, WriteFailureAsksRetryOrCancelNamingTheFile) {
    struct Case {
        const char* name;
        Seams::WriteFault fault;
        int faultyWrite;
        int answer;
        size_t file;       // the file being written when the write went wrong
        int barPosition;   // the bar at the prompt: that file's share written
        intptr_t result;
    };
    const Case cases[] = {
        {"second chunk of the first file fails, Retry", Seams::WriteFault::kFails, 2, IDRETRY, 0, 43, 1},
        // The second file starts again at 0, after its first chunk came up
        // short by half: 262144 of 1200000 bytes.
        {"first chunk of the second file comes up short, Retry", Seams::WriteFault::kComesUpShort, 4, IDRETRY, 1, 21,
         1},
        {"second chunk of the second file fails, Cancel", Seams::WriteFault::kFails, 5, IDCANCEL, 1, 43, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_seams.writes = 0;
        g_seams.writeFault = c.fault;
        g_seams.faultyWrite = c.faultyWrite;
        Items items({{"main.msi", Pattern(kFileSize, 1)}, {"data1.cab", Pattern(kFileSize, 2)}});
        items.OpenIn(folder_.path());

        PromptDriver driver(c.answer);
        intptr_t result = Show(items);
        const PromptVisit& visit = driver.Join();

        EXPECT_EQ(result, c.result);
        ASSERT_TRUE(visit.appeared);
        EXPECT_EQ(visit.windowTitle, kTitle);
        EXPECT_EQ(visit.caption, kTitle);
        EXPECT_EQ(visit.barPosition, c.barPosition);
        std::string path = Utf8(items[c.file].outPath);
        EXPECT_NE(visit.text.find("(" + path + ")."), std::string::npos) << visit.text;
        if (c.result == 1) {
            // Retry went on with the same file from where it stood.
            for (size_t i = 0; i < items.size(); ++i) {
                EXPECT_EQ(items.output(i).outFile, nullptr);
                EXPECT_TRUE(ReadWholeFile(Utf8(items[i].outPath)) == items.payload(i)) << Utf8(items[i].outPath);
            }
        } else {
            EXPECT_TRUE(ReadWholeFile(Utf8(items[0].outPath)) == items.payload(0));
            EXPECT_NE(items.output(1).outFile, nullptr);  // left for the clean-up to close
            EXPECT_EQ(items.output(1).bytesWritten, 524288u);
        }
        items.CloseAll();
    }
}

// A quiet run has nobody to answer: every failure that would prompt ends the
// window as Cancel does, without a prompt, and tells the system's error. What
// was written stays for the clean-up, which removes it. A write that only
// came up short is tried again at once, to learn why.
TEST_F(ProgressDialogTest, UnattendedWindowNeverPromptsAndTellsWhyItStopped) {
    using Fault = Seams::WriteFault;
    struct Case {
        const char* name;
        Fault fault;
        int faultyWrite;
        int failingArms;
        bool lockRefused;
        intptr_t result;
        uint32_t failure;
        uint32_t firstFileBytes;  // what reached main.msi
    };
    const Case cases[] = {
        {"a write fails: disk full", Fault::kFails, 2, 0, false, 2, ERROR_DISK_FULL, 524288},
        {"a write comes up short, the next fails: disk full", Fault::kComesUpShortThenFails, 2, 0, false, 2,
         ERROR_DISK_FULL, 786432},
        {"a write comes up short, the next goes through", Fault::kComesUpShort, 2, 0, false, 1, 0, kFileSize},
        {"the timer cannot be armed", Fault::kNone, 0, 1, false, 2, ERROR_NOT_ENOUGH_MEMORY, 0},
        {"the written file cannot be locked", Fault::kNone, 0, 0, true, 2, ERROR_SHARING_VIOLATION, kFileSize},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_seams.writes = 0;
        g_seams.writeFault = c.fault;
        g_seams.faultyWrite = c.faultyWrite;
        g_seams.failingArms = c.failingArms;
        g_seams.lockRefused = c.lockRefused;
        Items items({{"main.msi", Pattern(kFileSize, 7)}, {"data1.cab", Pattern(kFileSize, 8)}});
        items.OpenIn(folder_.path());

        UnwantedWindows prompts(WindowKind::kMessageBox);
        uint32_t failure = 12345;
        intptr_t result = Show(items, kTitle, true, &failure);
        EXPECT_EQ(prompts.Stop(), 0) << "a prompt appeared";

        EXPECT_EQ(result, c.result);
        EXPECT_EQ(failure, c.failure);
        EXPECT_EQ(items.output(0).bytesWritten, c.firstFileBytes);
        if (c.result == 1) {
            for (size_t i = 0; i < items.size(); ++i)
                EXPECT_TRUE(ReadWholeFile(Utf8(items[i].outPath)) == items.payload(i)) << Utf8(items[i].outPath);
        } else {
            EXPECT_EQ(items.set()->currentItem, c.failingArms ? -1 : 0) << "the second file was not begun";
        }
        items.CloseAll();
        g_seams.lockRefused = false;
    }
}

// The window as it opens, held by a failing timer: its title (cut after 49
// UTF-16 units when longer, never inside a surrogate pair, with the rest of
// the template intact; characters outside any ANSI code page shown as they
// are), the bar at 0, the icons and the layout. Retry then writes
// everything; Cancel nothing.
TEST_F(ProgressDialogTest, TimerThatCannotBeArmedAsksRetryOrCancel) {
    const std::string longTitle = "Contoso Widget Professional Edition 2025 (64-bit) with extras";
    struct Case {
        std::string title;
        std::string shown;
        int answer;
        intptr_t result;
    };
    const Case cases[] = {
        {kTitle, kTitle, IDRETRY, 1},
        {"", "", IDRETRY, 1},
        {longTitle, longTitle.substr(0, 49), IDCANCEL, 2},
        {"\u0141ukasz \u65E5\u672C \U0001F600 Widget", "\u0141ukasz \u65E5\u672C \U0001F600 Widget", IDRETRY, 1},
        {std::string(48, 'a') + "\U0001F600 tail", std::string(48, 'a'), IDCANCEL, 2},
    };
    wchar_t expectedWide[1024];
    ComposeErrorText(ERROR_NOT_ENOUGH_MEMORY, expectedWide, 1024, nullptr);
    std::string expectedText = Utf8(expectedWide);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        g_seams.failingArms = 1;
        Items items({{"main.msi", Pattern(kFileSize, 3)}});
        items.OpenIn(folder_.path());

        PromptDriver driver(c.answer);
        intptr_t result = Show(items, c.title.c_str());
        const PromptVisit& visit = driver.Join();

        EXPECT_EQ(result, c.result);
        ASSERT_TRUE(visit.appeared);
        EXPECT_EQ(visit.windowTitle, c.shown);
        EXPECT_EQ(visit.caption, c.shown);
        EXPECT_EQ(visit.text, expectedText);
        EXPECT_EQ(visit.barPosition, 0);
        EXPECT_EQ(visit.windowStyle & (WS_POPUP | WS_CAPTION | WS_SYSMENU), WS_POPUP | WS_CAPTION | WS_SYSMENU);
        EXPECT_TRUE(visit.bigIcon);
        EXPECT_TRUE(visit.smallIcon);
        EXPECT_EQ(visit.fontFace, kTypeface);
        EXPECT_TRUE(EqualRect(&visit.bar, &visit.barExpected));
        EXPECT_TRUE(EqualRect(&visit.client, &visit.clientExpected));
        EXPECT_EQ(ReadWholeFile(Utf8(items[0].outPath)).size(), c.result == 1 ? kFileSize : 0u);
        items.CloseAll();
    }
}

// The timer only starts the writing: once it fires, chunks are written one
// after another, the window's messages handled every 50 ms between them,
// with no wait for another timer message. 256 small chunks take one armed timer.
TEST_F(ProgressDialogTest, OneTimerMessageWritesEveryChunk) {
    Items items({{"main.msi", Pattern(1 << 20, 4)}});
    items.set()->writer.chunkSize = 4096;
    items.OpenIn(folder_.path());

    EXPECT_EQ(Show(items), 1);

    EXPECT_EQ(g_seams.writes, 256);
    EXPECT_EQ(g_seams.arms, 1);
    EXPECT_EQ(g_seams.kills, 1);
    EXPECT_TRUE(ReadWholeFile(Utf8(items[0].outPath)) == items.payload(0));
}

// The window works the same with no taskbar progress, with a record whose
// interface is missing, and with the real one, which follows the window.
TEST_F(ProgressDialogTest, TaskbarProgressFollowsTheWindowWhenThereIsOne) {
    auto* withoutInterface = static_cast<TaskbarProgress*>(PlatformAlloc(kMemZeroInit, sizeof(TaskbarProgress)));
    ASSERT_NE(withoutInterface, nullptr);
    TaskbarProgress* created = TaskbarProgressCreate();
    ASSERT_NE(created, nullptr);
    for (TaskbarProgress* progress : {static_cast<TaskbarProgress*>(nullptr), withoutInterface, created}) {
        SCOPED_TRACE(progress == created ? "created" : progress ? "without interface" : "none");
        taskbar_ = progress;
        Items items({{"main.msi", Pattern(kFileSize, 5)}, {"data1.cab", Pattern(1000, 6)}});
        items.OpenIn(folder_.path());

        EXPECT_EQ(Show(items), 1);

        EXPECT_TRUE(ReadWholeFile(Utf8(items[0].outPath)) == items.payload(0));
        EXPECT_TRUE(ReadWholeFile(Utf8(items[1].outPath)) == items.payload(1));
        if (progress) {
            EXPECT_NE(progress->window, nullptr);
            EXPECT_EQ(progress->total, 100u);
            EXPECT_EQ(progress->completed, 100u);
        }
    }
    TaskbarProgressDestroy(withoutInterface);
    TaskbarProgressDestroy(created);
    TaskbarProgressDestroy(nullptr);
}

TEST(TaskbarProgress, ExistsFromWindows7On) {
    Win32Api saved = g_win32;
    g_win32.GetVersionExA = VersionFromTest;
    struct Case {
        DWORD major, minor;
        bool exists;
    };
    for (const Case& c : {Case{5, 1, false}, Case{6, 0, false}, Case{6, 1, true}, Case{10, 0, true}}) {
        SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor));
        g_seams.majorVersion = c.major;
        g_seams.minorVersion = c.minor;
        TaskbarProgress* progress = TaskbarProgressCreate();
        EXPECT_EQ(progress != nullptr, c.exists);
        TaskbarProgressDestroy(progress);
    }
    g_win32 = saved;
}

}  // namespace
