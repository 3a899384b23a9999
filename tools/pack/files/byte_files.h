// Whole-file reading and writing. Outputs are written to a temporary file
// beside the target and renamed over it only when complete, so a refused or
// failed run never leaves a partial file behind. The temporary file is
// created new (O_EXCL, and O_NOFOLLOW where the system has it), with a
// private file's mode 0600 from the start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// `what` names the file's role in messages ("stub", "cabinet", ...).
uint64_t FileSizeOf(const std::string& path, const std::string& what);
Bytes ReadFileBytes(const std::string& path, const std::string& what);

void WriteFileReplacing(const std::string& path, const uint8_t* data, size_t size, bool privateFile = false);
inline void WriteFileReplacing(const std::string& path, const Bytes& bytes, bool privateFile = false) {
    WriteFileReplacing(path, bytes.data(), bytes.size(), privateFile);
}
