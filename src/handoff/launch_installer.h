// Handing the package to the Windows Installer and waiting for it.
#pragma once

#include <cstdint>

#include "core/status.h"

// Runs the installer with /i, the package path and arguments 1 to count-1,
// waits for it and stores its exit code in `installerResult`. A failed wait
// returns its error at site kLineInstallerNotAwaited, with an error text, and
// sets the result to 0 so that the files the installer may still read stay.
StatusValue LaunchInstaller(const char* installerPath, const char* packagePath, char16_t* const* arguments,
                            int32_t argumentCount, int showCommand, uint32_t* installerResult, char* errorText,
                            int* suppressErrorBox);
