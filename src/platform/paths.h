// Paths of the file system: whether one exists, and path texts in fixed
// buffers. A path that does not fit is refused whole: a cut path would name
// another file or folder than the one meant.
#pragma once

#include <cstdint>

// True when a find-first query finds the path, file or folder.
bool FileExists(const char* path);

// Writes "folder\name" into `out`; false, with `out` emptied, when it does not fit.
bool JoinPath(char* out, uint32_t size, const char* folder, const char* name);

// Appends "\name" to `path`; false, with `path` unchanged, when it does not fit.
bool AppendPathPart(char* path, uint32_t size, const char* name);

// Removes every trailing backslash (a chosen drive root C:\ becomes C:). A
// trail byte of a double-byte character is never taken for a backslash.
void StripTrailingBackslashes(char* path);
