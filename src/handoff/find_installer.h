// Finding the Windows Installer's program.
#pragma once

#include "core/status.h"

// Fills `installerPath` (kInstallerPathSize UTF-16 units) with the full path
// of "msiexec.exe" in the system directory. On failure `errorText`
// (kErrorTextSize units) gets a copy of `noInstallerText` and the status is
// (1155, 2161).
StatusValue FindInstaller(wchar_t* installerPath, const wchar_t* noInstallerText, wchar_t* errorText);
