// Stands in for msiexec.exe in the benchmark's own Wine prefix. It ends at
// once with 0, so a timed run ends as soon as the installer has been started.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
