#include "byte_files.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "pack_error.h"

namespace fs = std::filesystem;

uint64_t FileSizeOf(const std::string& path, const std::string& what) {
    std::error_code error;
    if (!fs::is_regular_file(path, error)) throw PackError("no " + what + " file at " + path);
    uintmax_t size = fs::file_size(path, error);
    if (error) throw PackError("cannot read the " + what + " " + path + ": " + error.message());
    return size;
}

Bytes ReadFileBytes(const std::string& path, const std::string& what) {
    uint64_t size = FileSizeOf(path, what);
    std::ifstream in(path, std::ios::binary);
    Bytes bytes(static_cast<size_t>(size));
    if (!in || !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
        throw PackError("cannot read the " + what + " " + path + ": " + std::strerror(errno));
    return bytes;
}

void WriteFileReplacing(const std::string& path, const uint8_t* data, size_t size, bool privateFile) {
    const std::string partial = path + ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        if (out) out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (out) out.close();
        if (!out) {
            std::string reason = std::strerror(errno);
            std::error_code ignored;
            fs::remove(partial, ignored);
            throw PackError("cannot write " + path + ": " + reason);
        }
    }
    std::error_code error;
    if (privateFile) fs::permissions(partial, fs::perms::owner_read | fs::perms::owner_write, error);
    if (!error) fs::rename(partial, path, error);
    if (error) {
        std::error_code ignored;
        fs::remove(partial, ignored);
        throw PackError("cannot write " + path + ": " + error.message());
    }
}
