#include "files/byte_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "files/pack_error.h"

namespace fs = std::filesystem;

#ifdef _WIN32
// The C library of Windows has no flag against following a link; exclusive
// creation still refuses any file or link that stands at the name.
constexpr int kNoFollow = O_BINARY;
#else
constexpr int kNoFollow = O_NOFOLLOW | O_CLOEXEC;
#endif

namespace {
// The temporary file is made new, never opened: a file or symbolic link
// already at its name (left by a killed run, or planted there to make the
// tool write elsewhere) is refused, not followed or truncated. A private
// file gets its narrow mode at creation, so it is never readable by others.
int CreateNewFile(const std::string& partial, const std::string& path, bool privateFile) {
    int fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | kNoFollow, privateFile ? 0600 : 0666);
    if (fd >= 0) return fd;
    if (errno == EEXIST)
        throw PackError("cannot write " + path + ": its temporary file " + partial +
                        " exists already (left by an interrupted run, or put there by someone else); look at it, "
                        "remove it and run again");
    throw PackError("cannot write " + path + ": " + std::strerror(errno));
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t written = ::write(fd, data, size > (1u << 30) ? (1u << 30) : size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}
}  // namespace

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
    int fd = CreateNewFile(partial, path, privateFile);
    bool written = WriteAll(fd, data, size);
    std::string reason = std::strerror(errno);
    written = ::close(fd) == 0 && written;
    std::error_code error;
    if (written) fs::rename(partial, path, error);
    if (!written || error) {
        std::error_code ignored;
        fs::remove(partial, ignored);
        throw PackError("cannot write " + path + ": " + (written ? error.message() : reason));
    }
}
