// Where the extracted files go, and opening one output file per item.
#pragma once

#include <windows.h>

#include <cstdint>

#include "extract/package_item.h"
#include "launcher/status.h"

constexpr uint32_t kPathBufferSize = 1024;

// Success, or (1223, 2219) when the user cancelled the folder browser.
// `destinationFolder` is a 1024-byte buffer that receives the product folder.
StatusValue PrepareDestination(ExtractionSet* set, const char* productCode, const char* browsePrompt,
                               char* destinationFolder);

// True when a find-first query finds the path, file or folder.
bool FileExists(const char* path);

// SHGetSpecialFolderPathA(owner, path, folder, create), looked up at run time
// so the launcher starts on systems without it; false when it is missing.
bool GetShellFolderPath(HWND owner, char* path, int folder, bool create);

// Writes the folder the browser starts at (the user's Documents, created when
// missing) into `buffer`. Never fails: the current directory is the last resort.
void GetDefaultBrowseFolder(char* buffer, uint32_t size);

// Preselects the start folder (the callback data) when the browser opens.
int CALLBACK BrowseFolderCallback(HWND browser, UINT message, LPARAM parameter, LPARAM data);
