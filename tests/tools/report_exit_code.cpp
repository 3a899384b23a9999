// Starts a program with the rest of its own command line, waits for it and
// prints the program's full 32-bit exit code. Wine hands only the low 8 bits
// of an exit code to the Linux shell, so end-to-end tests read it from here.
#include <windows.h>

#include <cstdio>

namespace {

// The command line after this program's own path, as typed.
wchar_t* RestOfCommandLine() {
    wchar_t* line = GetCommandLineW();
    bool quoted = false;
    for (; *line; ++line) {
        if (*line == L'"') quoted = !quoted;
        if (!quoted && (*line == L' ' || *line == L'\t')) break;
    }
    while (*line == L' ' || *line == L'\t') ++line;
    return line;
}

}  // namespace

int wmain() {
    wchar_t* command = RestOfCommandLine();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::printf("start-failed %lu\n", GetLastError());
        return 1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    std::printf("%lu\n", code);
    std::fflush(stdout);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
