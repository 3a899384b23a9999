// The launcher's run from start to exit: every step once, in a fixed order.
#pragma once

#include <windows.h>

// Returns the code of the run's final status, the process exit code.
int RunMainSequence(HINSTANCE instance, int showCommand);
