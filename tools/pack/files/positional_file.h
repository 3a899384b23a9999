// A file read by position, for the commands that examine a setup: the
// launcher's format code walks it, inflates from it and checks it through
// PlatformReadFileAt, so a setup of gigabytes is never held whole, and the
// commands see exactly what the launcher reads from its own file.
#pragma once

#include <cstdint>
#include <string>

class PositionalFile {
public:
    // Throws PackError as ReadFileBytes does: "no WHAT file at PATH", or
    // "cannot read the WHAT PATH: reason".
    PositionalFile(const std::string& path, const std::string& what);
    ~PositionalFile();
    PositionalFile(const PositionalFile&) = delete;
    PositionalFile& operator=(const PositionalFile&) = delete;

    // What PlatformReadFileAt reads from: a HANDLE on Windows, a FILE* elsewhere.
    void* Handle() const { return handle_; }
    // The size the file had when it was opened.
    uint64_t Size() const { return size_; }

private:
    uint64_t size_;
    int descriptor_;
    void* handle_;
};
