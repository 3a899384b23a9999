// Reading and writing files, whole or in pieces. Outputs are written to a
// temporary file beside the target and renamed over it only when complete,
// so a refused or failed run never leaves a partial file behind. The
// temporary file is created new (O_EXCL, and O_NOFOLLOW where the system has
// it), with a private file's mode 0600 from the start.
#pragma once

#include <cstdint>
#include <functional>
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

// The pieces large inputs are read and copied in: large enough that calls
// cost nothing next to the work on the bytes, small enough that memory stays
// flat whatever the payloads weigh. A multiple of the largest stored deflate
// block (65535 bytes), so stored blocks never straddle two pieces.
constexpr size_t kPieceSize = 16 * 65535;

using PieceVisitor = std::function<void(const uint8_t* data, size_t size)>;

// Content read from its start in order. `Read` fills the whole buffer unless
// the content ends first, so piece boundaries depend on the buffer alone.
class ContentReader {
public:
    virtual ~ContentReader() = default;
    virtual uint64_t Size() const = 0;
    virtual size_t Read(uint8_t* buffer, size_t capacity) = 0;
    virtual void Restart() = 0;
};

class MemoryReader : public ContentReader {
public:
    MemoryReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint64_t Size() const override { return size_; }
    size_t Read(uint8_t* buffer, size_t capacity) override;
    void Restart() override { offset_ = 0; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
};

// The first `size` bytes of a file (its size when it was checked); a file
// that turns out shorter fails as an unreadable one.
class FileReader : public ContentReader {
public:
    FileReader(const std::string& path, const std::string& what, uint64_t size);
    ~FileReader() override;
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;
    uint64_t Size() const override { return size_; }
    size_t Read(uint8_t* buffer, size_t capacity) override;
    void Restart() override;

private:
    [[noreturn]] void Fail() const;
    std::string path_;
    std::string what_;
    uint64_t size_;
    uint64_t offset_ = 0;
    int fd_ = -1;
};

// Where bytes are written in order. `Rewind` goes back to an earlier
// position and the writing goes on from there; what lay beyond it is
// overwritten or no longer counts.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void Write(const uint8_t* data, size_t size) = 0;
    virtual uint64_t Position() const = 0;
    virtual void Rewind(uint64_t position) = 0;
};

class MemorySink : public ByteSink {
public:
    explicit MemorySink(Bytes* bytes) : bytes_(bytes) {}
    void Write(const uint8_t* data, size_t size) override { bytes_->insert(bytes_->end(), data, data + size); }
    uint64_t Position() const override { return bytes_->size(); }
    void Rewind(uint64_t position) override { bytes_->resize(static_cast<size_t>(position)); }

private:
    Bytes* bytes_;
};

// A file written under `path + suffix` beside `path` and removed when the
// object goes, unless `Commit` renamed it to `path` first. Its bytes can be
// read back, and a few rewritten in place (a header field that covers what
// follows it).
class PartialFile : public ByteSink {
public:
    PartialFile(const std::string& path, const std::string& suffix, bool privateFile = false);
    ~PartialFile() override;
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;
    void Write(const uint8_t* data, size_t size) override;
    uint64_t Position() const override { return position_; }
    void Rewind(uint64_t position) override;
    void Patch(uint64_t offset, const uint8_t* data, size_t size);
    // Visits the file's first `size` bytes in pieces.
    void ReadBack(uint64_t size, const PieceVisitor& visit);
    void Commit();

private:
    void SeekTo(uint64_t offset);
    [[noreturn]] void Fail(const std::string& reason);
    std::string path_;
    std::string partial_;
    int fd_;
    uint64_t position_ = 0;
};
