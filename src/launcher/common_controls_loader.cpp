#include "launcher/common_controls_loader.h"

#include <windows.h>

namespace {

HANDLE g_loader = nullptr;
bool g_loaded = false;

// Version 6, as the application manifest asks. Under Wine their
// initialisation loads the display driver and the theme engine, which parses
// the whole theme: on a small setup the costliest step of the run, and one
// that nothing needs before the first window or the taskbar object (whose
// library imports them). The name is resolved through the manifest's
// side-by-side dependency, else in the system folder only: the main sequence
// restricted the search before this runs.
void LoadCommonControls() {
    HMODULE controls = LoadLibraryW(L"comctl32.dll");
    if (!controls) return;
    using InitFunction = void(WINAPI*)();
    auto initialize =
        reinterpret_cast<InitFunction>(reinterpret_cast<void*>(GetProcAddress(controls, "InitCommonControls")));
    if (initialize) initialize();
}

DWORD WINAPI LoadOnThread(void*) {
    LoadCommonControls();
    return 0;
}

}  // namespace

void StartLoadingCommonControls() {
    if (g_loader || g_loaded) return;
    g_loader = CreateThread(nullptr, 0, LoadOnThread, nullptr, 0, nullptr);
    if (!g_loader) WaitForCommonControls();
}

void WaitForCommonControls() {
    if (g_loaded) return;
    if (g_loader) {
        WaitForSingleObject(g_loader, INFINITE);
        CloseHandle(g_loader);
        g_loader = nullptr;
    } else {
        LoadCommonControls();
    }
    g_loaded = true;
}
