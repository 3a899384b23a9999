// The modal progress window that writes the extracted files.
#pragma once

#include <windows.h>

#include <cstdint>

#include "extract/taskbar_progress.h"
#include "selection/package_item.h"

enum : intptr_t {
    kProgressAllWritten = 1,
    kProgressCancelled = 2,
    kProgressNotAttached = 3,
    kProgressNotCreated = -1,
};

// Shows the modal window that writes every item of `set`, its resources
// (icon) taken from `instance`, its progress mirrored on `taskbar` (may be
// null). The texts are UTF-16. Returns one of the results above, or what
// DialogBoxIndirectParam gave.
intptr_t ShowProgressDialog(ExtractionSet* set, HINSTANCE instance, TaskbarProgress* taskbar,
                            const wchar_t* className, const wchar_t* title, const wchar_t* typeface);
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
