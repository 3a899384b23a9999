// Progress on the taskbar button (Windows 7 and later) through ITaskbarList3.
// Every operation accepts a null record and a record without the interface.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <cstdint>

struct TaskbarProgress {
    ITaskbarList3* taskbar;
    HWND window;
    uint64_t total;
    uint64_t completed;
};

// The caller has initialised COM on this thread and keeps it so until
// TaskbarProgressDestroy: a second CoInitialize here would need its own
// CoUninitialize, and the interface would outlive what it was made in.
TaskbarProgress* TaskbarProgressCreate();
void TaskbarProgressSetWindow(TaskbarProgress* progress, HWND window);
void TaskbarProgressSetState(TaskbarProgress* progress, bool on);
void TaskbarProgressSetTotal(TaskbarProgress* progress, uint64_t total);
void TaskbarProgressSetCompleted(TaskbarProgress* progress, uint64_t completed);
void TaskbarProgressDestroy(TaskbarProgress* progress);
