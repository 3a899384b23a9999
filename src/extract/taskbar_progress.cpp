#include "extract/taskbar_progress.h"

#include <objbase.h>

#include <cstring>

#include "platform/platform.h"
#include "platform/win32_api.h"

namespace {

// {56FDF344-FD6D-11D0-958A-006097C9A090}
constexpr CLSID kTaskbarListClass = {0x56FDF344, 0xFD6D, 0x11D0, {0x95, 0x8A, 0x00, 0x60, 0x97, 0xC9, 0xA0, 0x90}};
// {EA1AFB91-9E28-4B86-90E9-9E9F8A5EEFAF}
constexpr IID kTaskbarList3Interface = {0xEA1AFB91, 0x9E28, 0x4B86, {0x90, 0xE9, 0x9E, 0x9F, 0x8A, 0x5E, 0xEF, 0xAF}};

constexpr DWORD kOsVersionInfoSize = 148;  // OSVERSIONINFOA
constexpr DWORD kAnyServerContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

// Taskbar progress exists from Windows 7 (6.1) on.
bool HasTaskbarProgress() {
    OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = kOsVersionInfoSize;
    g_win32.GetVersionExA(&version);
    return version.dwMajorVersion > 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion >= 1);
}

void ShowValue(TaskbarProgress* progress) {
    if (progress->taskbar) progress->taskbar->SetProgressValue(progress->window, progress->completed, progress->total);
}

}  // namespace

static_assert(sizeof(OSVERSIONINFOA) == kOsVersionInfoSize, "OSVERSIONINFOA is 148 bytes");

TaskbarProgress* TaskbarProgressCreate() {
    if (!HasTaskbarProgress()) return nullptr;
    auto* progress = static_cast<TaskbarProgress*>(PlatformAlloc(kMemZeroInit, sizeof(TaskbarProgress)));
    if (!progress) return nullptr;
    // Without the interface the record still serves: every operation then
    // only keeps its values. HrInit is not needed for progress display.
    CoCreateInstance(kTaskbarListClass, nullptr, kAnyServerContext, kTaskbarList3Interface,
                     reinterpret_cast<void**>(&progress->taskbar));
    return progress;
}

void TaskbarProgressSetWindow(TaskbarProgress* progress, HWND window) {
    if (progress) progress->window = window;
}

void TaskbarProgressSetState(TaskbarProgress* progress, bool on) {
    if (progress && progress->taskbar) progress->taskbar->SetProgressState(progress->window, on ? TBPF_NORMAL : TBPF_NOPROGRESS);
}

void TaskbarProgressSetTotal(TaskbarProgress* progress, uint64_t total) {
    if (!progress) return;
    progress->total = total;
    ShowValue(progress);
}

void TaskbarProgressSetCompleted(TaskbarProgress* progress, uint64_t completed) {
    if (!progress) return;
    progress->completed = completed;
    ShowValue(progress);
}

void TaskbarProgressDestroy(TaskbarProgress* progress) {
    if (!progress) return;
    if (progress->taskbar) progress->taskbar->Release();
    PlatformFree(progress);
}
