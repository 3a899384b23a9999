// The floors of the benchmark: the least any setup must do to hand an MSI to
// the installer. Each copies its files into the destination folder, writing
// them in 512 KiB WriteFile calls (as the launcher's writer does), then runs
// system32\msiexec.exe /i <first file> and waits for it. They differ in how
// they read:
//   floor.exe         each file whole, with one ReadFile
//   stream_floor.exe  (built with -DSTREAM_FLOOR) each file in 1 MiB pieces
//                     into one buffer kept for all files, so that its memory
//                     stays the same whatever the files' size
//   floor.exe DESTINATION_FOLDER PACKAGE.msi [CABINET ...]
// Exits with the installer's exit code, or 1 when a step fails.
#include <windows.h>

#include <cwchar>

namespace {
constexpr DWORD kChunkSize = 524288;

const wchar_t* BaseName(const wchar_t* path) {
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p; ++p)
        if (*p == L'\\' || *p == L'/') name = p + 1;
    return name;
}

HANDLE OpenSource(const wchar_t* path) {
    return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE CreateTarget(const wchar_t* path) {
    return CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteInChunks(HANDLE file, const BYTE* data, DWORD size) {
    for (DWORD at = 0; at < size;) {
        DWORD wanted = size - at < kChunkSize ? size - at : kChunkSize;
        DWORD done = 0;
        if (!WriteFile(file, data + at, wanted, &done, nullptr) || done != wanted) return false;
        at += wanted;
    }
    return true;
}

#ifdef STREAM_FLOOR
constexpr DWORD kPieceSize = 1048576;
BYTE piece[kPieceSize];

bool CopyFileTo(const wchar_t* source, const wchar_t* target) {
    HANDLE in = OpenSource(source);
    if (in == INVALID_HANDLE_VALUE) return false;
    HANDLE out = CreateTarget(target);
    bool ok = out != INVALID_HANDLE_VALUE;
    for (DWORD read = 1; ok && read > 0;)
        ok = ReadFile(in, piece, kPieceSize, &read, nullptr) && WriteInChunks(out, piece, read);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    CloseHandle(in);
    return ok;
}
#else
bool ReadWholeFile(const wchar_t* path, BYTE** data, DWORD* size) {
    HANDLE file = OpenSource(path);
    if (file == INVALID_HANDLE_VALUE) return false;
    *size = GetFileSize(file, nullptr);
    *data = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, *size ? *size : 1));
    DWORD read = 0;
    bool ok = *data && ReadFile(file, *data, *size, &read, nullptr) && read == *size;
    CloseHandle(file);
    return ok;
}

bool WriteWholeFile(const wchar_t* path, const BYTE* data, DWORD size) {
    HANDLE file = CreateTarget(path);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = WriteInChunks(file, data, size);
    CloseHandle(file);
    return ok;
}

bool CopyFileTo(const wchar_t* source, const wchar_t* target) {
    BYTE* data = nullptr;
    DWORD size = 0;
    bool ok = ReadWholeFile(source, &data, &size) && WriteWholeFile(target, data, size);
    LocalFree(data);
    return ok;
}
#endif

int RunInstaller(const wchar_t* package) {
    wchar_t installer[MAX_PATH];
    UINT length = GetSystemDirectoryW(installer, MAX_PATH);
    if (length == 0 || length + 13 > MAX_PATH) return 1;
    std::wcscat(installer, L"\\msiexec.exe");
    wchar_t commandLine[3 * MAX_PATH];
    std::swprintf(commandLine, 3 * MAX_PATH, L"\"%ls\" /i \"%ls\"", installer, package);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(installer, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return 1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}
}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count < 3) return 1;
    const wchar_t* folder = arguments[1];
    CreateDirectoryW(folder, nullptr);
    wchar_t package[MAX_PATH] = {};
    for (int i = 2; i < count; ++i) {
        wchar_t target[MAX_PATH];
        std::swprintf(target, MAX_PATH, L"%ls\\%ls", folder, BaseName(arguments[i]));
        if (!CopyFileTo(arguments[i], target)) return 1;
        if (i == 2) std::wcscpy(package, target);
    }
    return RunInstaller(package);
}
