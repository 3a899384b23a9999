// Finding the Windows Installer's program.
#pragma once

#include "core/status.h"

// Fills `installerPath` (kInstallerPathSize bytes) with the full path of
// "msiexec.exe" in the system directory. On failure `errorText`
// (kErrorTextSize bytes) gets a copy of `noInstallerText` and the status is
// (1155, 2161).
StatusValue FindInstaller(char* installerPath, const char* noInstallerText, char* errorText);
