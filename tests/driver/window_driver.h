// Finds and operates the launcher's windows from another thread or another
// process, as a person at the screen would: the progress window, the
// Retry/Cancel prompts and the folder browser. Used by the unit tests (from a
// second thread) and by msistub-driver.exe (from a second process, for the
// end-to-end tests). Every wait is bounded. Texts and paths are UTF-8 on
// this side and UTF-16 towards the windows, so a folder or title that no
// ANSI code page holds is read and chosen as it is.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace window_driver {

constexpr const char* kProgressClass = "MSI_STUB_WINDOW_CLASS_NAME";
constexpr const char* kDialogClass = "#32770";
constexpr int kProgressBarId = 100;
constexpr int kMessageTextId = 0xFFFF;  // the static control that holds a message box's text
constexpr DWORD kPollMilliseconds = 50;

enum class WindowKind {
    kProgress,       // the launcher's progress window
    kMessageBox,     // a message box (a prompt or the final error box)
    kFolderBrowser,  // the shell's folder browser
};

inline std::string ToUtf8(const wchar_t* text, int units = -1) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return "";
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, units, &out[0], bytes, nullptr, nullptr);
    if (units < 0) out.resize(out.size() - 1);  // the terminator
    return out;
}

inline std::wstring FromUtf8(const std::string& text) {
    int units = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (units <= 0) return L"";
    std::wstring out(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &out[0], units);
    out.resize(out.size() - 1);
    return out;
}

inline std::string ClassOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// Window text; for a window of another thread or process the message is
// marshalled by the system.
inline std::string TextOf(HWND window) {
    wchar_t text[2048] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &ignored);
    text[2047] = 0;
    return ToUtf8(text);
}

inline bool IsKind(HWND window, WindowKind kind) {
    std::string className = ClassOf(window);
    switch (kind) {
        case WindowKind::kProgress:
            return className == kProgressClass;
        case WindowKind::kMessageBox:
            return className == kDialogClass && GetDlgItem(window, kMessageTextId) != nullptr;
        case WindowKind::kFolderBrowser:
            return className == kDialogClass && FindWindowExA(window, nullptr, WC_TREEVIEWA, nullptr) != nullptr;
    }
    return false;
}

struct Search {
    WindowKind kind;
    DWORD processId;    // 0: any process
    const char* title;  // null: any title
    HWND found;
};

inline BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    // Only shown windows count: a dialog is hidden before it is destroyed.
    if (!IsWindowVisible(window) || !IsKind(window, search->kind)) return TRUE;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (search->processId && processId != search->processId) return TRUE;
    if (search->title && TextOf(window) != search->title) return TRUE;
    search->found = window;
    return FALSE;
}

inline HWND FindTopWindow(WindowKind kind, DWORD processId = 0, const char* title = nullptr) {
    Search search = {kind, processId, title, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

inline HWND WaitForWindow(WindowKind kind, DWORD timeoutMilliseconds, DWORD processId = 0,
                          const char* title = nullptr) {
    for (DWORD waited = 0;; waited += kPollMilliseconds) {
        if (HWND window = FindTopWindow(kind, processId, title)) return window;
        if (waited >= timeoutMilliseconds) return nullptr;
        Sleep(kPollMilliseconds);
    }
}

inline bool WaitUntilGone(HWND window, DWORD timeoutMilliseconds) {
    for (DWORD waited = 0;; waited += kPollMilliseconds) {
        if (!IsWindow(window) || !IsWindowVisible(window)) return true;
        if (waited >= timeoutMilliseconds) return false;
        Sleep(kPollMilliseconds);
    }
}

// The progress bar's position, or -1 when the window has no bar.
inline int ProgressPosition(HWND progressWindow) {
    HWND bar = GetDlgItem(progressWindow, kProgressBarId);
    if (!bar) return -1;
    DWORD_PTR position = 0;
    if (!SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 5000, &position)) return -1;
    return static_cast<int>(position);
}

inline std::string MessageText(HWND messageBox) { return TextOf(GetDlgItem(messageBox, kMessageTextId)); }

// Presses a button of a dialog (IDOK, IDCANCEL, IDRETRY, ...) the way a
// click does: the dialog gets the button's command.
inline bool PressButton(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    if (!button) return false;
    return PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button)) != FALSE;
}

// A block of memory in the process that owns a window, so that messages
// whose parameters point at memory reach that process's address space.
class RemoteBlock {
   public:
    RemoteBlock(HWND window, size_t size) : size_(size) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
        if (process_) address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBlock() {
        if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        if (process_) CloseHandle(process_);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;

    bool valid() const { return address_ != nullptr; }
    uint8_t* address() const { return static_cast<uint8_t*>(address_); }
    bool Write(size_t offset, const void* data, size_t size) {
        return offset <= size_ && size <= size_ - offset &&
               WriteProcessMemory(process_, address() + offset, data, size, nullptr);
    }
    bool Read(size_t offset, void* data, size_t size) const {
        return offset <= size_ && size <= size_ - offset &&
               ReadProcessMemory(process_, address() + offset, data, size, nullptr);
    }

   private:
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
    size_t size_;
};

inline std::string TreeItemText(HWND tree, HTREEITEM item) {
    constexpr size_t kTextSize = 512;
    RemoteBlock block(tree, sizeof(TVITEMW) + kTextSize * sizeof(wchar_t));
    if (!block.valid()) return "";
    TVITEMW request;
    std::memset(&request, 0, sizeof request);
    request.mask = TVIF_TEXT;
    request.hItem = item;
    request.pszText = reinterpret_cast<wchar_t*>(block.address() + sizeof(TVITEMW));
    request.cchTextMax = kTextSize;
    wchar_t text[kTextSize] = {};
    if (!block.Write(0, &request, sizeof request) ||
        !SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(block.address())) ||
        !block.Read(sizeof(TVITEMW), text, sizeof text))
        return "";
    text[kTextSize - 1] = 0;
    return ToUtf8(text);
}

// The names shown for the selected folder and its parents, from the top of
// the tree down, joined by backslashes ("Desktop\My Computer\...\Documents").
inline std::string BrowserSelection(HWND browser) {
    HWND tree = FindWindowExA(browser, nullptr, WC_TREEVIEWA, nullptr);
    if (!tree) return "";
    std::string chain;
    for (auto item = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0)); item;
         item = reinterpret_cast<HTREEITEM>(
             SendMessageA(tree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(item)))) {
        std::string name = TreeItemText(tree, item);
        chain = chain.empty() ? name : name + "\\" + chain;
    }
    return chain;
}

// The browser is shown before the launcher's callback has put the selection
// on its start folder, which would undo a choice made sooner. The start folder
// always lies below the top of the tree, so a selection with a parent means
// the callback has run.
inline bool WaitForBrowserReady(HWND browser, DWORD timeoutMilliseconds) {
    for (DWORD waited = 0;; waited += kPollMilliseconds) {
        if (BrowserSelection(browser).find('\\') != std::string::npos) return true;
        if (waited >= timeoutMilliseconds) return false;
        Sleep(kPollMilliseconds);
    }
}

// Selects a folder by its path, as the browser's own callback does.
inline bool SelectBrowserFolder(HWND browser, const char* path) {
    std::wstring wide = FromUtf8(path);
    size_t size = (wide.size() + 1) * sizeof(wchar_t);
    RemoteBlock block(browser, size);
    if (!block.valid() || !block.Write(0, wide.c_str(), size)) return false;
    SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(block.address()));
    return true;
}

// True when the tree shows `path` selected: its last name is the folder's
// name, or for a drive root ("C:\") one that holds "(C:)".
inline bool BrowserShows(HWND browser, const std::string& path) {
    std::string selection = BrowserSelection(browser);
    std::string shown = selection.substr(selection.find_last_of('\\') + 1);
    std::string folder = path;
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    if (folder.size() == 2 && folder[1] == ':') return shown.find("(" + folder + ")") != std::string::npos;
    std::string name = folder.substr(folder.find_last_of('\\') + 1);
    return !name.empty() && lstrcmpiW(FromUtf8(shown).c_str(), FromUtf8(name).c_str()) == 0;
}

// Selects `path` as a person would before pressing OK, and makes sure the
// tree shows it: under load a selection was seen not to take, and OK then
// accepted the start folder instead. Selects again until it shows.
inline bool ChooseBrowserFolder(HWND browser, const char* path, DWORD timeoutMilliseconds) {
    for (DWORD waited = 0;; waited += kPollMilliseconds) {
        if (SelectBrowserFolder(browser, path) && BrowserShows(browser, path)) return true;
        if (waited >= timeoutMilliseconds) return false;
        Sleep(kPollMilliseconds);
    }
}

}  // namespace window_driver
