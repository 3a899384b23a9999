#include "files/byte_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
constexpr int kBinary = O_BINARY;
#else
constexpr int kNoFollow = O_NOFOLLOW | O_CLOEXEC;
constexpr int kBinary = O_CLOEXEC;
#endif

namespace {
#ifdef _WIN32
int SeekFile(int fd, uint64_t offset) { return _lseeki64(fd, static_cast<__int64>(offset), SEEK_SET) < 0 ? -1 : 0; }
#else
int SeekFile(int fd, uint64_t offset) { return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0 ? -1 : 0; }
#endif

// The temporary file is made new, never opened: a file or symbolic link
// already at its name (left by a killed run, or planted there to make the
// tool write elsewhere) is refused, not followed or truncated. A private
// file gets its narrow mode at creation, so it is never readable by others.
int CreateNewFile(const std::string& partial, const std::string& path, bool privateFile) {
    int fd = ::open(partial.c_str(), O_RDWR | O_CREAT | O_EXCL | kNoFollow, privateFile ? 0600 : 0666);
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
    PartialFile file(path, ".partial", privateFile);
    file.Write(data, size);
    file.Commit();
}

size_t MemoryReader::Read(uint8_t* buffer, size_t capacity) {
    size_t length = std::min(capacity, size_ - offset_);
    if (length == 0) return 0;  // an empty payload has no bytes, and may have no address
    std::memcpy(buffer, data_ + offset_, length);
    offset_ += length;
    return length;
}

FileReader::FileReader(const std::string& path, const std::string& what, uint64_t size)
    : path_(path), what_(what), size_(size) {
    fd_ = ::open(path.c_str(), O_RDONLY | kBinary);
    if (fd_ < 0) Fail();
}

FileReader::~FileReader() {
    if (fd_ >= 0) ::close(fd_);
}

void FileReader::Fail() const {
    throw PackError("cannot read the " + what_ + " " + path_ + ": " + std::strerror(errno));
}

size_t FileReader::Read(uint8_t* buffer, size_t capacity) {
    size_t wanted = static_cast<size_t>(std::min<uint64_t>(capacity, size_ - offset_));
    size_t got = 0;
    while (got < wanted) {
        auto length = ::read(fd_, buffer + got, static_cast<unsigned>(std::min<size_t>(wanted - got, 1u << 30)));
        if (length < 0 && errno == EINTR) continue;
        if (length <= 0) Fail();
        got += static_cast<size_t>(length);
    }
    offset_ += got;
    return got;
}

void FileReader::Restart() {
    if (SeekFile(fd_, 0) != 0) Fail();
    offset_ = 0;
}

PartialFile::PartialFile(const std::string& path, const std::string& suffix, bool privateFile)
    : path_(path), partial_(path + suffix), fd_(CreateNewFile(partial_, path, privateFile)) {}

PartialFile::~PartialFile() {
    if (fd_ < 0) return;
    ::close(fd_);
    std::error_code ignored;
    fs::remove(partial_, ignored);
}

void PartialFile::Fail(const std::string& reason) {
    ::close(fd_);
    fd_ = -1;
    std::error_code ignored;
    fs::remove(partial_, ignored);
    throw PackError("cannot write " + path_ + ": " + reason);
}

void PartialFile::Write(const uint8_t* data, size_t size) {
    if (!WriteAll(fd_, data, size)) Fail(std::strerror(errno));
    position_ += size;
}

void PartialFile::SeekTo(uint64_t offset) {
    if (SeekFile(fd_, offset) != 0) Fail(std::strerror(errno));
}

void PartialFile::Rewind(uint64_t position) {
    SeekTo(position);
    position_ = position;
}

void PartialFile::Patch(uint64_t offset, const uint8_t* data, size_t size) {
    SeekTo(offset);
    if (!WriteAll(fd_, data, size)) Fail(std::strerror(errno));
    SeekTo(position_);
}

void PartialFile::ReadBack(uint64_t size, const PieceVisitor& visit) {
    SeekTo(0);
    std::vector<uint8_t> piece(kPieceSize);
    for (uint64_t done = 0; done < size;) {
        size_t wanted = static_cast<size_t>(std::min<uint64_t>(piece.size(), size - done));
        auto length = ::read(fd_, piece.data(), static_cast<unsigned>(wanted));
        if (length < 0 && errno == EINTR) continue;
        if (length <= 0) Fail(length < 0 ? std::strerror(errno) : "its temporary file " + partial_ + " got shorter");
        visit(piece.data(), static_cast<size_t>(length));
        done += static_cast<uint64_t>(length);
    }
    SeekTo(position_);
}

void PartialFile::Commit() {
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        std::string reason = std::strerror(errno);
        std::error_code ignored;
        fs::remove(partial_, ignored);
        throw PackError("cannot write " + path_ + ": " + reason);
    }
    std::error_code error;
    fs::rename(partial_, path_, error);
    if (error) {
        std::error_code ignored;
        fs::remove(partial_, ignored);
        throw PackError("cannot write " + path_ + ": " + error.message());
    }
}
