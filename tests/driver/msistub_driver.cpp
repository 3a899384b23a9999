// msistub-driver: operates the launcher's windows from outside its process,
// for the end-to-end tests. Run it under Wine in the launcher's prefix.
//
//   msistub-driver [--timeout SECONDS] COMMAND [ARGUMENT]
//
//   progress               wait for the progress window; print "title: ..." and "position: N"
//   message                wait for a message box; print "caption: ..." and "text: ..."
//   press retry|cancel|ok  wait for a message box and press that button
//   browser                wait for the folder browser; print "selection: ..." (the names shown
//                          for the selected folder and its parents, joined by backslashes)
//   browser-cancel         wait for the folder browser and press Cancel
//   browser-choose PATH    wait for the folder browser, select PATH and press OK
//   wait-gone progress|message|browser
//                          wait until no such window is open
//
// Texts are printed, and PATH is taken, in UTF-8.
//
// Exit code: 0 done, 1 the window did not appear (or did not go) in time or
// the action failed, 2 wrong command line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "window_driver.h"

using window_driver::WindowKind;

namespace {

constexpr DWORD kDefaultTimeoutMilliseconds = 30000;

int Usage() {
    std::fprintf(stderr,
                 "usage: msistub-driver [--timeout SECONDS] progress | message | press retry|cancel|ok | browser |\n"
                 "       browser-cancel | browser-choose PATH | wait-gone progress|message|browser\n");
    return 2;
}

int NotFound(const char* what) {
    std::fprintf(stderr, "msistub-driver: no %s appeared\n", what);
    return 1;
}

bool KindNamed(const char* name, WindowKind* kind) {
    if (!std::strcmp(name, "progress")) *kind = WindowKind::kProgress;
    else if (!std::strcmp(name, "message")) *kind = WindowKind::kMessageBox;
    else if (!std::strcmp(name, "browser")) *kind = WindowKind::kFolderBrowser;
    else return false;
    return true;
}

bool ButtonNamed(const char* name, int* id) {
    if (!std::strcmp(name, "retry")) *id = IDRETRY;
    else if (!std::strcmp(name, "cancel")) *id = IDCANCEL;
    else if (!std::strcmp(name, "ok")) *id = IDOK;
    else return false;
    return true;
}

// The window may close between finding and reading it; such a reading does
// not count and the search goes on.
int PrintProgress(DWORD timeout) {
    for (DWORD start = GetTickCount(); GetTickCount() - start <= timeout;) {
        HWND window = window_driver::WaitForWindow(WindowKind::kProgress, timeout - (GetTickCount() - start));
        if (!window) break;
        std::string title = window_driver::TextOf(window);
        int position = window_driver::ProgressPosition(window);
        if (position >= 0 && IsWindowVisible(window)) {
            std::printf("title: %s\nposition: %d\n", title.c_str(), position);
            return 0;
        }
        Sleep(window_driver::kPollMilliseconds);
    }
    return NotFound("progress window");
}

int PrintMessage(DWORD timeout) {
    HWND box = window_driver::WaitForWindow(WindowKind::kMessageBox, timeout);
    if (!box) return NotFound("message box");
    std::printf("caption: %s\ntext: %s\n", window_driver::TextOf(box).c_str(),
                window_driver::MessageText(box).c_str());
    return 0;
}

int Press(DWORD timeout, int id) {
    HWND box = window_driver::WaitForWindow(WindowKind::kMessageBox, timeout);
    if (!box) return NotFound("message box");
    return window_driver::PressButton(box, id) && window_driver::WaitUntilGone(box, timeout) ? 0 : 1;
}

int PrintBrowserSelection(DWORD timeout) {
    HWND browser = window_driver::WaitForWindow(WindowKind::kFolderBrowser, timeout);
    if (!browser) return NotFound("folder browser");
    window_driver::WaitForBrowserReady(browser, timeout);
    std::printf("selection: %s\n", window_driver::BrowserSelection(browser).c_str());
    return 0;
}

int CancelBrowser(DWORD timeout) {
    HWND browser = window_driver::WaitForWindow(WindowKind::kFolderBrowser, timeout);
    if (!browser) return NotFound("folder browser");
    window_driver::WaitForBrowserReady(browser, timeout);
    return window_driver::PressButton(browser, IDCANCEL) && window_driver::WaitUntilGone(browser, timeout) ? 0 : 1;
}

int ChooseInBrowser(DWORD timeout, const char* path) {
    HWND browser = window_driver::WaitForWindow(WindowKind::kFolderBrowser, timeout);
    if (!browser) return NotFound("folder browser");
    window_driver::WaitForBrowserReady(browser, timeout);
    if (!window_driver::ChooseBrowserFolder(browser, path, timeout)) return 1;
    std::printf("selection: %s\n", window_driver::BrowserSelection(browser).c_str());
    return window_driver::PressButton(browser, IDOK) && window_driver::WaitUntilGone(browser, timeout) ? 0 : 1;
}

int WaitGone(DWORD timeout, WindowKind kind) {
    for (DWORD waited = 0;; waited += window_driver::kPollMilliseconds) {
        if (!window_driver::FindTopWindow(kind)) return 0;
        if (waited >= timeout) return 1;
        Sleep(window_driver::kPollMilliseconds);
    }
}

}  // namespace

int Run(int argc, char** argv) {
    DWORD timeout = kDefaultTimeoutMilliseconds;
    int next = 1;
    if (next + 1 < argc && !std::strcmp(argv[next], "--timeout")) {
        timeout = static_cast<DWORD>(std::strtoul(argv[next + 1], nullptr, 10) * 1000);
        next += 2;
    }
    if (next >= argc) return Usage();
    const char* command = argv[next];
    const char* argument = next + 1 < argc ? argv[next + 1] : nullptr;
    setvbuf(stdout, nullptr, _IONBF, 0);

    WindowKind kind;
    int button = 0;
    if (!std::strcmp(command, "progress")) return PrintProgress(timeout);
    if (!std::strcmp(command, "message")) return PrintMessage(timeout);
    if (!std::strcmp(command, "press") && argument && ButtonNamed(argument, &button)) return Press(timeout, button);
    if (!std::strcmp(command, "browser")) return PrintBrowserSelection(timeout);
    if (!std::strcmp(command, "browser-cancel")) return CancelBrowser(timeout);
    if (!std::strcmp(command, "browser-choose") && argument) return ChooseInBrowser(timeout, argument);
    if (!std::strcmp(command, "wait-gone") && argument && KindNamed(argument, &kind)) return WaitGone(timeout, kind);
    return Usage();
}

// The arguments as UTF-8, taken from the UTF-16 command line: a path that the
// ANSI code page does not hold arrives whole.
int main() {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return Usage();
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(window_driver::ToUtf8(wide[i]));
    LocalFree(wide);
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    return Run(count, argv.data());
}
