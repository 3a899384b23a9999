// The fixed buffer sizes that several steps share. A text that does not fit
// its buffer is refused, never cut: a cut path or command names something
// other than what was meant.
#pragma once

#include <cstdint>

constexpr uint32_t kPathBufferSize = 1024;      // folders and file paths of the extraction
constexpr uint32_t kInstallerPathSize = 1024;   // the full path of msiexec.exe
constexpr uint32_t kErrorTextSize = 2048;       // the text of the final error box

// The launcher's own strings, loaded from its resources.
constexpr uint32_t kNoInstallerTextSize = 512;
constexpr uint32_t kBadPackageTextSize = 256;
constexpr uint32_t kBrowsePromptSize = 256;
