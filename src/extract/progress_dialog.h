// The modal progress window that writes the extracted files.
#pragma once

#include <windows.h>

#include <cstdint>

#include "extract/package_item.h"

enum : intptr_t {
    kProgressAllWritten = 1,
    kProgressCancelled = 2,
    kProgressNotAttached = 3,
    kProgressNotCreated = -1,
};

intptr_t ShowProgressDialog(ExtractionSet* set, const char* className, const char* title, const char* typeface);
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
