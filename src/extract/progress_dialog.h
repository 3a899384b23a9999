// The modal progress window that writes the extracted files.
#pragma once

#include <windows.h>

#include <cstdint>

#include "extract/taskbar_progress.h"
#include "extract/extraction_set.h"

enum : intptr_t {
    kProgressAllWritten = 1,
    kProgressCancelled = 2,
    kProgressNotAttached = 3,
    kProgressNotCreated = -1,
};

// Shows the modal window that writes every item of `set`, its resources
// (icon) taken from `instance`, its progress mirrored on `taskbar` (may be
// null). The texts are UTF-16. Returns one of the results above, or what
// DialogBoxIndirectParam gave. `unattended` (a quiet switch was given): a
// failed write, lock or timer shows no Retry/Cancel prompt but ends the
// window with kProgressCancelled, and `failure` (may be null) receives the
// system's error for it; it receives 0 otherwise.
intptr_t ShowProgressDialog(ExtractionSet* set, HINSTANCE instance, TaskbarProgress* taskbar,
                            const wchar_t* className, const wchar_t* title, const wchar_t* typeface, bool unattended,
                            uint32_t* failure);
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
