// Handing the package to the Windows Installer and waiting for it.
#pragma once

#include <cstdint>

#include "core/status.h"

// Runs the installer with /i, the package path and arguments 1 to count-1,
// waits for it and stores its exit code in `installerResult`. A failed wait
// returns its error at site kLineInstallerNotAwaited, with an error text, and
// sets the result to 0 so that the files the installer may still read stay.
// Paths and the command line are UTF-16; `errorText` holds kErrorTextSize units.
StatusValue LaunchInstaller(const wchar_t* installerPath, const wchar_t* packagePath, char16_t* const* arguments,
                            int32_t argumentCount, int showCommand, uint32_t* installerResult, wchar_t* errorText,
                            int* suppressErrorBox);
