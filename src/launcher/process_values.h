// Values of the run kept beside LauncherState: given at entry or made by the
// first steps, read by later ones (the progress window, the hand-off).
#pragma once

#include <windows.h>

#include <cstdint>

struct TaskbarProgress;

struct ProcessValues {
    HINSTANCE instance;
    int showCommand;
    char16_t** arguments;
    int32_t argumentCount;
    wchar_t* modulePath;  // UTF-16, as the system names the running image
    TaskbarProgress* taskbarProgress;
    bool comInitialized;  // CoInitialize was called, once the payloads were verified
};

extern ProcessValues g_process;
