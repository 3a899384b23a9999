#include "platform/paths.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/win32_api.h"

bool FileExists(const char* path) {
    WIN32_FIND_DATAA found;
    HANDLE search = g_win32.FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

bool JoinPath(char* out, uint32_t size, const char* folder, const char* name) {
    if (size == 0) return false;
    int written = std::snprintf(out, size, "%s\\%s", folder, name);
    if (written >= 0 && static_cast<uint32_t>(written) < size) return true;
    std::memset(out, 0, size);
    return false;
}

bool AppendPathPart(char* path, uint32_t size, const char* name) {
    size_t length = strnlen(path, size);
    if (length >= size) return false;
    size_t room = size - length;
    size_t nameLength = std::strlen(name);
    if (nameLength >= room || room - nameLength < 2) return false;  // backslash and terminator
    path[length] = '\\';
    std::memcpy(path + length + 1, name, nameLength + 1);
    return true;
}

void StripTrailingBackslashes(char* path) {
    // Walk by characters and remember where the trailing run of single-byte
    // backslashes begins.
    char* runStart = nullptr;
    for (char* p = path; *p;) {
        char* next = CharNextA(p);
        if (next == p) break;
        bool backslash = next - p == 1 && *p == '\\';
        if (!backslash) runStart = nullptr;
        else if (!runStart) runStart = p;
        p = next;
    }
    if (runStart) *runStart = 0;
}
