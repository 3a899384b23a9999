// Runs a program, waits for it and prints the peak working set of that one
// process (not of Wine's server or of the installer it starts), its full
// exit code and the seconds from its start to its end:
//   peak_memory.exe PROGRAM [ARGUMENTS ...]   prints "<peak bytes> <exit code> <seconds>"
// The seconds let a program too slow to be run more than once (the zlib bomb)
// be timed by the same run; they leave out the start of this probe itself.
// Under Wine the counters of another process come from its Linux process, and
// they vanish with it, so they are sampled while it runs; the peak is a high
// water mark, so the last sample taken holds the peak of the whole run up to
// then, and a program that holds its largest buffers while it waits for the
// installer has reached its peak long before the last sample.
#include <windows.h>
#include <psapi.h>

#include <cstdio>

namespace {
// The part of our own command line after the first argument, as it was written.
wchar_t* CommandLineAfterFirstArgument() {
    wchar_t* p = GetCommandLineW();
    bool quoted = false;
    for (; *p && (quoted || (*p != L' ' && *p != L'\t')); ++p)
        if (*p == L'"') quoted = !quoted;
    while (*p == L' ' || *p == L'\t') ++p;
    return p;
}

SIZE_T SamplePeak(HANDLE process, SIZE_T peak) {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(process, &counters, sizeof counters) && counters.PeakWorkingSetSize > peak)
        return counters.PeakWorkingSetSize;
    return peak;
}
}  // namespace

int wmain() {
    wchar_t* commandLine = CommandLineAfterFirstArgument();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    LARGE_INTEGER frequency, started, ended;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
    if (!*commandLine ||
        !CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "peak_memory: cannot start the program (error %lu)\n", GetLastError());
        return 1;
    }
    SIZE_T peak = 0;
    while (WaitForSingleObject(process.hProcess, 2) == WAIT_TIMEOUT) peak = SamplePeak(process.hProcess, peak);
    QueryPerformanceCounter(&ended);
    peak = SamplePeak(process.hProcess, peak);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    std::printf("%llu %lu %.3f\n", static_cast<unsigned long long>(peak), exitCode,
                static_cast<double>(ended.QuadPart - started.QuadPart) / static_cast<double>(frequency.QuadPart));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
