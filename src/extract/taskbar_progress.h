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

TaskbarProgress* TaskbarProgressCreate();
void TaskbarProgressSetWindow(TaskbarProgress* progress, HWND window);
void TaskbarProgressSetState(TaskbarProgress* progress, bool on);
void TaskbarProgressSetTotal(TaskbarProgress* progress, uint64_t total);
void TaskbarProgressSetCompleted(TaskbarProgress* progress, uint64_t completed);
void TaskbarProgressDestroy(TaskbarProgress* progress);
