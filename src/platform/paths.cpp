#include "platform/paths.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

#include "platform/win32_api.h"

bool FileExists(const wchar_t* path) {
    WIN32_FIND_DATAW found;
    HANDLE search = g_win32.FindFirstFileW(path, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

bool JoinPath(wchar_t* out, uint32_t size, const wchar_t* folder, const wchar_t* name) {
    if (size == 0) return false;
    size_t folderLength = std::wcslen(folder);
    size_t nameLength = std::wcslen(name);
    if (folderLength + 1 + nameLength >= size) {
        std::memset(out, 0, size * sizeof *out);
        return false;
    }
    std::wmemmove(out, folder, folderLength);
    out[folderLength] = L'\\';
    std::wmemcpy(out + folderLength + 1, name, nameLength + 1);
    return true;
}

bool AppendPathPart(wchar_t* path, uint32_t size, const wchar_t* name) {
    size_t length = wcsnlen(path, size);
    if (length >= size) return false;
    size_t room = size - length;
    size_t nameLength = std::wcslen(name);
    if (nameLength >= room || room - nameLength < 2) return false;  // backslash and terminator
    path[length] = L'\\';
    std::wmemcpy(path + length + 1, name, nameLength + 1);
    return true;
}

void StripTrailingBackslashes(wchar_t* path) {
    size_t length = std::wcslen(path);
    while (length > 0 && path[length - 1] == L'\\') path[--length] = 0;
}

bool AnsiNameToPathText(wchar_t* out, uint32_t size, const char* name) {
    if (size == 0) return false;
    out[0] = 0;
    if (!name[0]) return true;
    int units = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, out, static_cast<int>(size));
    if (units > 0) return true;
    out[0] = 0;
    return false;
}
