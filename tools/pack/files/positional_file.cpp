#include "files/positional_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "files/byte_files.h"
#include "files/pack_error.h"

#ifdef _WIN32
#include <io.h>
constexpr int kReadOnly = O_RDONLY | O_BINARY;
#else
constexpr int kReadOnly = O_RDONLY | O_CLOEXEC;
#endif

PositionalFile::PositionalFile(const std::string& path, const std::string& what)
    : size_(FileSizeOf(path, what)), descriptor_(::open(path.c_str(), kReadOnly)), handle_(nullptr) {
    if (descriptor_ < 0) throw PackError("cannot read the " + what + " " + path + ": " + std::strerror(errno));
#ifdef _WIN32
    // The C library's descriptor keeps owning the handle; it is closed with it.
    handle_ = reinterpret_cast<void*>(_get_osfhandle(descriptor_));
#else
    handle_ = ::fdopen(descriptor_, "rb");
    if (!handle_) {
        int error = errno;
        ::close(descriptor_);
        throw PackError("cannot read the " + what + " " + path + ": " + std::strerror(error));
    }
#endif
}

PositionalFile::~PositionalFile() {
#ifdef _WIN32
    ::_close(descriptor_);
#else
    std::fclose(static_cast<FILE*>(handle_));
#endif
}
