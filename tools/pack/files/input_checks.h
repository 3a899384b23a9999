// Checks of the files named on the pack command line, made before any of
// them is read whole, so a mistake gets one message that says what to do.
#pragma once

#include <string>
#include <vector>

// Refuses a missing, empty or truncated file, or one that is no compound
// file at all, before the installer-database library sees it: its own
// messages do not tell these cases apart.
void CheckMsiFile(const std::string& path);

// Refuses a file that does not start with a cabinet's "MSCF" signature.
void CheckCabinetSignature(const std::string& path, const std::string& source);

// The folder an output file goes into must exist: the tool makes no
// folders for its outputs, so a mistyped path is not taken for a new one.
void CheckOutputFolder(const std::string& outputPath, const std::string& option);

// The output may replace nothing the command reads, is never a folder, and
// replaces an existing file only when `force` says so.
void CheckOutputTarget(const std::string& outputPath, const std::vector<std::string>& inputs, bool force);
