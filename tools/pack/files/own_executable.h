// The running program's own file, as the system names it.
#pragma once

#include <string>

// An empty text when the system does not say (or, on Windows, when the name
// has no exact form in the ANSI code page that the tool's paths use).
std::string OwnExecutablePath();
