// Handing the package to the Windows Installer, and cleaning up afterwards.
#pragma once

#include <cstdint>

#include "extract/package_item.h"
#include "launcher/status.h"

constexpr uint32_t kInstallerPathSize = 1024;
constexpr uint32_t kErrorTextSize = 2048;

// Fills `installerPath` (1024 bytes) with the full path of "msiexec.exe". On
// failure `errorText` (2048 bytes) gets a copy of `noInstallerText` and the
// status is (1155, 2161).
StatusValue FindInstaller(char* installerPath, const char* noInstallerText, char* errorText);

// Runs the installer with /i, the package path and arguments 1 to count-1,
// waits for it and stores its exit code in `installerResult`.
StatusValue LaunchInstaller(const char* installerPath, const char* packagePath, char16_t* const* arguments,
                            int32_t argumentCount, int showCommand, uint32_t* installerResult, char* errorText,
                            int* suppressErrorBox);

// True when the product's Uninstall key holds a non-empty "UninstallString".
bool IsProductRegistered(const char* productCode);

// Releases every item, closes open files, deletes what the outcome requires.
void CleanUpExtraction(ExtractionSet* set, uint32_t installerResult, const char* productCode,
                       const char* destinationFolder);
