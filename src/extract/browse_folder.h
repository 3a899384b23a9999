// The folder browser that offers a base folder after a failed attempt.
#pragma once

#include <windows.h>

#include <cstdint>

enum class BrowseOutcome {
    kChosen,     // `folder` holds the chosen file-system folder
    kNoPath,     // the choice has no file-system path (a virtual folder)
    kCancelled,
};

// Opens the browser at the user's Documents folder with `prompt` as its title
// and writes the chosen folder, without trailing backslashes, into `folder`
// (kPathBufferSize UTF-16 units).
BrowseOutcome BrowseForBaseFolder(const wchar_t* prompt, wchar_t* folder);

// SHGetSpecialFolderPathW(owner, path, folder, create), looked up at run time
// so the launcher starts on systems without it; false when it is missing.
bool GetShellFolderPath(HWND owner, wchar_t* path, int folder, bool create);

// Writes the folder the browser starts at (the user's Documents, created when
// missing) into `buffer` (`size` UTF-16 units). Never fails: the current
// directory is the last resort.
void GetDefaultBrowseFolder(wchar_t* buffer, uint32_t size);

// Preselects the start folder (the callback data) when the browser opens.
int CALLBACK BrowseFolderCallback(HWND browser, UINT message, LPARAM parameter, LPARAM data);
