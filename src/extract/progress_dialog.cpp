#include "extract/progress_dialog.h"

#include <commctrl.h>

#include <cstddef>
#include <cstring>
#include <cwchar>

#include "extract/chunk_writer.h"
#include "extract/taskbar_progress.h"
#include "core/error_text.h"
#include "core/status.h"
#include "platform/win32_api.h"

namespace {

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CENTER | DS_MODALFRAME | DS_SETFONT;
static_assert(kDialogStyle == 0x80C808C0, "the progress window's style");
static_assert(sizeof(DLGTEMPLATE) == 18, "DLGTEMPLATE is packed");

constexpr short kDialogWidth = 180;  // dialog units
constexpr short kDialogHeight = 40;
constexpr WORD kPointSize = 10;
constexpr uint32_t kTemplateTextUnits = 50;  // UTF-16 units per template string, terminator included
constexpr size_t kFixedTemplateBytes = 28;   // header and menu word 20, three terminators 6, point size 2

constexpr UINT_PTR kTimerId = 1;
// Posted once the window is set up: the writing starts at once rather than
// when the armed timer first fires, which is 10 ms or more later.
constexpr UINT kStartWriting = WM_APP + 1;
// WM_DPICHANGED and the DPI at which sizes are given, as later headers name them.
constexpr UINT kWmDpiChanged = 0x02E0;
constexpr int kDefaultDpi = 96;
constexpr int kProgressBarId = 100;
constexpr RECT kProgressBarUnits = {5, 14, 170, 12};  // x, y, width, height
constexpr uint32_t kMessageTextSize = 1024;
constexpr uint32_t kCaptionSize = 256;
constexpr uint32_t kPercentRange = 100;

// The bar follows the writing at most this often (every 50 ms): each
// setting repaints it, and a window that answers within 50 ms still feels
// immediate.
constexpr LONGLONG kUpdatesPerSecond = 20;

// What the window works with, handed over at creation: the modal loop keeps
// it alive for as long as the window exists.
struct ProgressWindow {
    ExtractionSet* set;
    HINSTANCE instance;
    TaskbarProgress* taskbar;
    // Loaded for the window and destroyed once it is gone: WM_SETICON does
    // not take ownership, and a window shown again would otherwise leak two
    // icons each time.
    HICON bigIcon;
    HICON smallIcon;
    // A quiet run: no prompt, a failure ends the window as Cancel would,
    // and `failure` keeps the system's error for the exit code.
    bool unattended;
    uint32_t failure;
    UINT_PTR timerId;  // the armed timer, or 0
};

ProgressWindow* WindowOf(HWND dialog) {
    return reinterpret_cast<ProgressWindow*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
}

void RegisterProgressClass(const wchar_t* className, HINSTANCE instance) {
    WNDCLASSW windowClass;
    std::memset(&windowClass, 0, sizeof windowClass);
    windowClass.style = CS_SAVEBITS | CS_NOCLOSE | CS_DBLCLKS;
    windowClass.lpfnWndProc = DefDlgProcW;
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass);
}

const wchar_t* TextOrEmpty(const wchar_t* text) { return text ? text : L""; }

// Copies a template string, cut to at most 50 UTF-16 units with its
// terminator, and returns the units written. A cut never splits a surrogate
// pair, so the title shows no half character.
uint32_t WriteTemplateText(WCHAR* out, const wchar_t* text) {
    size_t length = std::wcslen(text);
    if (length > kTemplateTextUnits - 1) {
        length = kTemplateTextUnits - 1;
        if (IS_HIGH_SURROGATE(text[length - 1])) --length;
    }
    std::wmemcpy(out, text, length);
    out[length] = 0;
    return static_cast<uint32_t>(length) + 1;
}

HGLOBAL BuildDialogTemplate(const wchar_t* className, const wchar_t* title, const wchar_t* typeface) {
    size_t textUnits = std::wcslen(className) + std::wcslen(title) + std::wcslen(typeface);
    HGLOBAL block = GlobalAlloc(GMEM_ZEROINIT, textUnits * sizeof(WCHAR) + kFixedTemplateBytes);
    if (!block) return nullptr;

    auto* bytes = static_cast<uint8_t*>(GlobalLock(block));
    auto* header = reinterpret_cast<DLGTEMPLATE*>(bytes);
    header->style = kDialogStyle;
    header->dwExtendedStyle = 0;
    header->cdit = 0;  // the progress bar is made at initialisation
    header->x = 0;
    header->y = 0;
    header->cx = kDialogWidth;
    header->cy = kDialogHeight;
    auto* units = reinterpret_cast<WCHAR*>(bytes + sizeof(DLGTEMPLATE));
    *units++ = 0;  // no menu
    units += WriteTemplateText(units, className);
    units += WriteTemplateText(units, title);
    *units++ = kPointSize;
    WriteTemplateText(units, typeface);
    GlobalUnlock(block);
    return block;
}

void PaintNothing(HWND dialog) {
    PAINTSTRUCT paint;
    BeginPaint(dialog, &paint);
    EndPaint(dialog, &paint);
}

void CreateProgressBar(HWND dialog, HINSTANCE instance) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    RECT box = kProgressBarUnits;
    MapDialogRect(dialog, &box);  // right and bottom carry the width and the height
    HWND bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, box.left, box.top, box.right,
                               box.bottom, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kProgressBarId)),
                               instance, nullptr);
    SendMessageA(bar, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

HICON SetIcon(HWND dialog, HINSTANCE instance, WPARAM kind, int size) {
    auto icon = static_cast<HICON>(LoadImageA(instance, "APP", IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    SendMessageA(dialog, WM_SETICON, kind, reinterpret_cast<LPARAM>(icon));
    return icon;
}

void DestroyIcons(const ProgressWindow& window) {
    if (window.bigIcon) DestroyIcon(window.bigIcon);
    if (window.smallIcon) DestroyIcon(window.smallIcon);
}

// The launcher is per-monitor DPI-aware (its manifest says so), so the
// system no longer stretches its window as a bitmap: the icons must come in
// the sizes of the window's own DPI. GetDpiForWindow exists from Windows 10
// 1607; before it the screen's DPI is the window's.
UINT WindowDpi(HWND dialog) {
    // Looked up on each call, which is rare: a function-local static would
    // bring the C++ runtime's guarded initialization into the launcher.
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    UINT dpi = getDpiForWindow ? getDpiForWindow(dialog) : 0;
    if (dpi) return dpi;
    HDC screen = GetDC(nullptr);
    dpi = screen ? static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY)) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi ? dpi : static_cast<UINT>(kDefaultDpi);
}

// The new icons are set before the old ones go, so the window never shows
// a destroyed icon.
void SetIconsForDpi(HWND dialog, ProgressWindow* window) {
    ProgressWindow old = *window;
    int dpi = static_cast<int>(WindowDpi(dialog));
    window->bigIcon = SetIcon(dialog, window->instance, ICON_BIG, MulDiv(32, dpi, kDefaultDpi));
    window->smallIcon = SetIcon(dialog, window->instance, ICON_SMALL, MulDiv(16, dpi, kDefaultDpi));
    DestroyIcons(old);
}

// Moved to a monitor of another DPI: the window takes the size the system
// suggests and icons of the new DPI.
void HandleDpiChange(HWND dialog, const RECT* suggested) {
    ProgressWindow* window = WindowOf(dialog);
    if (!window) return;
    if (suggested)
        SetWindowPos(dialog, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    SetIconsForDpi(dialog, window);
}

void ShowPercent(HWND dialog, TaskbarProgress* taskbar, uint32_t percent) {
    SendDlgItemMessageA(dialog, kProgressBarId, PBM_SETPOS, percent, 0);
    TaskbarProgressSetCompleted(taskbar, percent);
}

// Retry/Cancel prompt owned by the window, captioned with its title. Only
// Retry asks for another try: a prompt that could not be shown counts as
// Cancel, so a failure that repeats cannot loop without the user. In a quiet
// run nobody could answer, so there is no prompt and the answer is Cancel.
bool UserWantsRetry(HWND dialog, ProgressWindow* window, const wchar_t* text, uint32_t cause) {
    if (window->unattended) {
        window->failure = cause;
        return false;
    }
    wchar_t caption[kCaptionSize] = {};
    GetWindowTextW(dialog, caption, kCaptionSize);
    return g_win32.MessageBoxW(dialog, text, caption, MB_ICONQUESTION | MB_RETRYCANCEL) == IDRETRY;
}

// Arms the zero-delay timer that drives the writing. False when it cannot
// be armed and the user cancelled.
bool ArmTimer(HWND dialog, ProgressWindow* window) {
    for (;;) {
        window->timerId = g_win32.SetTimer(dialog, kTimerId, 0, nullptr);
        if (window->timerId) return true;
        uint32_t error = GetLastError();
        wchar_t text[kMessageTextSize];
        ComposeErrorText(error, text, kMessageTextSize, nullptr);
        if (!UserWantsRetry(dialog, window, text, error)) return false;
    }
}

const wchar_t* CurrentItemPath(const ExtractionSet* set) {
    if (set->currentItem < 0 || set->currentItem >= set->itemCount) return nullptr;
    return set->items[set->currentItem].outPath;
}

bool UserWantsRetryAfterWriteFailure(HWND dialog, ProgressWindow* window, uint32_t result) {
    wchar_t text[kMessageTextSize];
    ComposeErrorText(result, text, kMessageTextSize, CurrentItemPath(window->set));
    return UserWantsRetry(dialog, window, text, window->set->failureCode ? window->set->failureCode : result);
}

// The bar and the taskbar follow the writing once a tick, and only a change
// is shown: each setting repaints the bar at once, and under Wine a repaint
// for every 512 KiB chunk cost as much as the writing itself.
void ShowPercentIfChanged(HWND dialog, TaskbarProgress* taskbar, uint32_t percent) {
    if (static_cast<uint32_t>(SendDlgItemMessageA(dialog, kProgressBarId, PBM_GETPOS, 0, 0)) != percent)
        ShowPercent(dialog, taskbar, percent);
}

// Handles what the window's queue holds, so it repaints and answers while
// it writes. False on a quit message, which is put back for the modal loop.
bool HandlePendingMessages(HWND dialog) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        if (!IsDialogMessageW(dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return true;
}

// Writes chunks until one does not ask for more; every 50 ms it shows the
// progress and handles the window's messages between two chunks. A timer
// fires no sooner than about 10 ms after it is armed, so writing a tick's
// worth per timer message left the disk idle for a fifth of the time; the
// timer now only starts the writing (and resumes it after Retry). A small
// setup is written before the first 50 ms are up, without repainting the
// window in between. Gives kErrorMoreData only when a quit message stopped it.
uint32_t WriteUntilDoneOrFailed(HWND dialog, const ProgressWindow& window) {
    LARGE_INTEGER frequency, shown, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&shown);
    LONGLONG interval = frequency.QuadPart / kUpdatesPerSecond;
    uint32_t result;
    uint32_t percent = 0;
    for (;;) {
        result = WriteNextChunk(window.set, &percent);
        if (result != kErrorMoreData) break;
        QueryPerformanceCounter(&now);
        if (now.QuadPart - shown.QuadPart < interval) continue;
        ShowPercentIfChanged(dialog, window.taskbar, percent);
        if (!HandlePendingMessages(dialog)) break;
        QueryPerformanceCounter(&shown);
    }
    ShowPercentIfChanged(dialog, window.taskbar, percent);
    return result;
}

void InitializeProgressWindow(HWND dialog, ProgressWindow* window) {
    if (!window || !window->set) return;
    SetLastError(0);
    if (!SetWindowLongPtrA(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window)) && GetLastError()) {
        EndDialog(dialog, kProgressNotAttached);
        return;
    }
    CreateProgressBar(dialog, window->instance);
    SetIconsForDpi(dialog, window);
    SendDlgItemMessageA(dialog, kProgressBarId, PBM_SETRANGE, 0, MAKELPARAM(0, kPercentRange));
    SendDlgItemMessageA(dialog, kProgressBarId, PBM_SETPOS, 0, 0);

    TaskbarProgress* taskbar = window->taskbar;
    TaskbarProgressSetWindow(taskbar, dialog);
    TaskbarProgressSetState(taskbar, true);
    TaskbarProgressSetTotal(taskbar, kPercentRange);
    TaskbarProgressSetCompleted(taskbar, 0);

    // The timer stays the way the writing resumes after Retry; a window
    // whose timer cannot be armed asks first, as it always did.
    if (!ArmTimer(dialog, window)) {
        EndDialog(dialog, kProgressCancelled);
        return;
    }
    PostMessageW(dialog, kStartWriting, 0, 0);
}

// The posted start comes before the dialog manager shows the window, which
// it does once the queue is first empty: the window is shown here, so even a
// setup written within milliseconds shows its window and its 100%.
void ShowBeforeWriting(HWND dialog) {
    if (IsWindowVisible(dialog)) return;
    ShowWindow(dialog, SW_SHOWNORMAL);
    UpdateWindow(dialog);
}

// The start message or the timer's: the timer is killed first and armed
// again only after a prompt's Retry, so the writing and prompts never overlap.
void HandleTick(HWND dialog) {
    ProgressWindow* window = WindowOf(dialog);
    if (!window) return;
    ExtractionSet* set = window->set;
    g_win32.KillTimer(dialog, window->timerId);
    uint32_t result = WriteUntilDoneOrFailed(dialog, *window);
    // A failure without the system's error, such as a write that came up
    // short, does not say why. A quiet run tries once more at once, as Retry
    // would, to learn it: on a full disk the next write fails with the disk's
    // error. Only progress lets the writing go on, so this cannot loop.
    if (result == kErrorWriteFault && window->unattended && set->failureCode == kErrorWriteFault)
        result = WriteUntilDoneOrFailed(dialog, *window);
    if (result == kErrorSuccess) {
        EndDialog(dialog, kProgressAllWritten);
        return;
    }
    if (result != kErrorMoreData && !UserWantsRetryAfterWriteFailure(dialog, window, result)) {
        EndDialog(dialog, kProgressCancelled);
        return;
    }
    if (!ArmTimer(dialog, window)) EndDialog(dialog, kProgressCancelled);
}

}  // namespace

intptr_t ShowProgressDialog(ExtractionSet* set, HINSTANCE instance, TaskbarProgress* taskbar,
                            const wchar_t* className, const wchar_t* title, const wchar_t* typeface, bool unattended,
                            uint32_t* failure) {
    if (failure) *failure = 0;
    className = TextOrEmpty(className);
    RegisterProgressClass(className, instance);
    HGLOBAL block = BuildDialogTemplate(className, TextOrEmpty(title), TextOrEmpty(typeface));
    if (!block) return kProgressNotCreated;
    ProgressWindow window = {set, instance, taskbar, nullptr, nullptr, unattended, 0, 0};
    INT_PTR result = DialogBoxIndirectParamW(instance, static_cast<LPCDLGTEMPLATEW>(block), nullptr,
                                             ProgressDialogProc, reinterpret_cast<LPARAM>(&window));
    DestroyIcons(window);
    GlobalFree(block);
    if (failure) *failure = window.failure;
    return result;
}

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            PaintNothing(dialog);
            break;
        case WM_INITDIALOG:
            InitializeProgressWindow(dialog, reinterpret_cast<ProgressWindow*>(lParam));
            break;
        case kStartWriting:
            ShowBeforeWriting(dialog);
            HandleTick(dialog);
            break;
        case WM_TIMER:
            HandleTick(dialog);
            break;
        case kWmDpiChanged:
            HandleDpiChange(dialog, reinterpret_cast<const RECT*>(lParam));
            break;
        default:
            break;
    }
    return FALSE;
}
