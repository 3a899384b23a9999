// Paths of the file system: whether one exists, and path texts in fixed
// buffers. Paths are UTF-16, as the file system names them, and their limits
// are counted in UTF-16 units. A path that does not fit is refused whole: a
// cut path would name another file or folder than the one meant.
#pragma once

#include <cstdint>

// True when a find-first query finds the path, file or folder.
bool FileExists(const wchar_t* path);

// Writes "folder\name" into `out` (`size` units); false, with `out` emptied,
// when it does not fit.
bool JoinPath(wchar_t* out, uint32_t size, const wchar_t* folder, const wchar_t* name);

// Appends "\name" to `path`; false, with `path` unchanged, when it does not fit.
bool AppendPathPart(wchar_t* path, uint32_t size, const wchar_t* name);

// Removes every trailing backslash (a chosen drive root C:\ becomes C:).
void StripTrailingBackslashes(wchar_t* path);

// Converts a name that came from the manifest (an ANSI text, checked to have
// converted exactly from UTF-16) back into UTF-16 for a path; false, with
// `out` emptied, when it does not convert or does not fit `size` units.
bool AnsiNameToPathText(wchar_t* out, uint32_t size, const char* name);
