// Container blobs and PE32+ images made in memory for the container tests:
// entry chains (plain or compressed, unsigned or signed with the development
// key), trailers with any field the test wants, a minimal PE32+ image with a
// certificate table, and an allocator that fails on request.
#pragma once

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <zlib.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "format/container_blob.h"
#include "format/entry_format.h"
#include "format/entry_stream.h"
#include "format/read_entry.h"
#include "container/blob_table.h"
#include "noise_bytes.h"
#include "platform/platform.h"

namespace container_test {

using Bytes = std::vector<uint8_t>;

inline Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

inline void Append(Bytes* out, const Bytes& more) { out->insert(out->end(), more.begin(), more.end()); }

inline void AppendU32(Bytes* out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<uint8_t>(value >> shift));
}

// Bytes that deflate cannot shrink.
inline Bytes NoiseBytes(size_t size, uint32_t seed = 1) { return XorshiftNoise(size, seed * 2654435761u + 1); }

// One zlib stream at the given level; level 0 writes deflate stored blocks.
inline Bytes ZlibStream(const Bytes& content, int level = 9) {
    uLongf size = compressBound(static_cast<uLong>(content.size()));
    Bytes out(size);
    if (compress2(out.data(), &size, content.data(), static_cast<uLong>(content.size()), level) != Z_OK) return {};
    out.resize(size);
    return out;
}

// A zlib stream that asks for a preset dictionary.
inline Bytes StreamWithDictionary(const Bytes& content) {
    static const uint8_t kDictionary[] = "dictionary";
    z_stream stream = {};
    Bytes out(compressBound(static_cast<uLong>(content.size())) + 64);
    if (deflateInit(&stream, 9) != Z_OK) return {};
    deflateSetDictionary(&stream, kDictionary, sizeof kDictionary);
    stream.next_in = const_cast<Bytef*>(content.data());
    stream.avail_in = static_cast<uInt>(content.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// The development private key: the one whose public half the build embeds.
inline EVP_PKEY* DevPrivateKey() {
    static EVP_PKEY* key = [] {
        FILE* file = std::fopen(MSISTUB_DEV_PRIVATE_KEY, "rb");
        if (!file) return static_cast<EVP_PKEY*>(nullptr);
        EVP_PKEY* loaded = PEM_read_PrivateKey(file, nullptr, nullptr, nullptr);
        std::fclose(file);
        return loaded;
    }();
    return key;
}

// RSASSA-PKCS1-v1_5 with SHA-256 by the development private key.
inline Bytes Sign(const Bytes& content) {
    EVP_PKEY* key = DevPrivateKey();
    Bytes signature;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    size_t length = 0;
    if (key && context && EVP_DigestSignInit(context, nullptr, EVP_sha256(), nullptr, key) == 1 &&
        EVP_DigestSign(context, nullptr, &length, content.data(), content.size()) == 1) {
        signature.resize(length);
        if (EVP_DigestSign(context, signature.data(), &length, content.data(), content.size()) != 1)
            signature.clear();
    }
    EVP_MD_CTX_free(context);
    return signature;
}

inline Bytes GuidBytes(const EntryTypeGuid& guid) {
    Bytes bytes(16);
    EntryGuidBytes(guid, bytes.data());
    return bytes;
}

inline Bytes Trailer(const Bytes& typeGuid, uint32_t id, uint32_t signatureLength, uint32_t dataLength) {
    EntryTrailer trailer = {};
    std::memcpy(trailer.typeGuid, typeGuid.data(), 16);
    trailer.id = id;
    trailer.signatureLength = signatureLength;
    trailer.dataLength = dataLength;
    Bytes bytes(kEntryTrailerSize);
    EncodeEntryTrailer(trailer, bytes.data());
    return bytes;
}

// An entry as a packer writes it: data, signature and a trailer giving their
// true lengths.
inline Bytes RawEntry(const EntryTypeGuid& type, uint32_t id, const Bytes& data, const Bytes& signature) {
    Bytes entry = data;
    Append(&entry, signature);
    Append(&entry, Trailer(GuidBytes(type), id, static_cast<uint32_t>(signature.size()),
                           static_cast<uint32_t>(data.size())));
    return entry;
}

// An entry of the given content, stored and signed as the blob flags say.
inline Bytes Entry(const EntryTypeGuid& type, uint32_t id, const Bytes& content, uint32_t flags) {
    Bytes data = (flags & kBlobCompressed) ? ZlibStream(content) : content;
    Bytes signature = (flags & kBlobSigned) ? Sign(content) : Bytes();
    return RawEntry(type, id, data, signature);
}

inline Bytes Concat(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& part : parts) Append(&all, part);
    return all;
}

inline uint8_t* HeapCopy(const Bytes& bytes) {
    auto* copy = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, bytes.empty() ? 1 : bytes.size()));
    if (copy && !bytes.empty()) std::memcpy(copy, bytes.data(), bytes.size());
    return copy;
}

// A ContainerBlob over exactly the given bytes, in a heap block of that size,
// so a read past either end is caught by the sanitizers.
class OwnedBlob {
public:
    OwnedBlob(const Bytes& bytes, uint32_t flags) {
        blob_.data = bytes.empty() ? nullptr : new uint8_t[bytes.size()];
        if (!bytes.empty()) std::memcpy(blob_.data, bytes.data(), bytes.size());
        blob_.size = static_cast<uint32_t>(bytes.size());
        blob_.flags = flags;
    }
    OwnedBlob(const OwnedBlob&) = delete;
    OwnedBlob& operator=(const OwnedBlob&) = delete;
    ~OwnedBlob() { delete[] blob_.data; }
    const ContainerBlob& operator*() const { return blob_; }

private:
    ContainerBlob blob_ = {};
};

// The bytes in a temporary file, read through a file source as the launcher
// reads its own file; the file goes when the object does.
class SourceFile {
public:
    explicit SourceFile(const Bytes& bytes) {
#ifdef _WIN32
        char folder[MAX_PATH];
        char path[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        GetTempFileNameA(folder, "src", 0, path);
        file_ = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        DWORD written = 0;
        if (!bytes.empty()) WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
#else
        file_ = std::tmpfile();
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), static_cast<FILE*>(file_));
        std::fflush(static_cast<FILE*>(file_));
#endif
        size_ = static_cast<uint32_t>(bytes.size());
    }
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;
    ~SourceFile() { PlatformCloseFile(file_); }

    // A source that claims `size` bytes, which may be more than the file has.
    ByteSource Source() const { return FileSource(file_, size_); }

    // Changes the bytes at `offset` through the test's own handle, as storage
    // that ignores share modes could after the file was read.
    void Overwrite(uint32_t offset, const Bytes& bytes) {
#ifdef _WIN32
        SetFilePointer(file_, static_cast<LONG>(offset), nullptr, FILE_BEGIN);
        DWORD written = 0;
        WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
#else
        std::fseek(static_cast<FILE*>(file_), static_cast<long>(offset), SEEK_SET);
        std::fwrite(bytes.data(), 1, bytes.size(), static_cast<FILE*>(file_));
        std::fflush(static_cast<FILE*>(file_));
#endif
    }
    ByteSource Source(uint32_t claimedSize) const { return FileSource(file_, claimedSize); }

private:
    void* file_ = nullptr;
    uint32_t size_ = 0;
};

// The content of a verified payload, read again from where it stands as the
// writer reads it; empty when that read fails.
inline Bytes StreamedContent(const VerifiedPayload& payload) {
    EntryStream stream;
    Bytes content;
    StreamResult result = OpenPayloadStream(&stream, payload);
    uint8_t piece[65536];
    while (result == StreamResult::kMore) {
        uint32_t got = 0;
        result = ReadEntryStream(&stream, piece, sizeof piece, &got);
        content.insert(content.end(), piece, piece + got);
    }
    CloseEntryStream(&stream);
    return result == StreamResult::kEnded ? content : Bytes();
}

// Frees what the container steps left in a blob table.
inline void ReleaseBlobs(BlobTable* table) {
    ReleaseBlobTable(table);
    *table = {};
}

inline Bytes Span(const uint8_t* data, uint32_t size) { return data ? Bytes(data, data + size) : Bytes(); }

// The fields of a minimal PE32+ image that the certificate lookup reads.
struct PeLayout {
    uint32_t peOffset = 128;  // e_lfanew
    uint16_t dosMagic = 0x5A4D;
    uint32_t peSignature = 0x4550;
    uint16_t optionalMagic = 0x20B;
};

constexpr uint32_t kImageBodySize = 1024;

// A PE32+ image of kImageBodySize bytes followed by one WIN_CERTIFICATE entry
// that holds `certificateData` and reaches to the end of the file, with
// `tail` (an entry chain, say) inside the entry after the data.
inline Bytes PeImage(const Bytes& certificateData, const Bytes& tail = {}, const PeLayout& layout = {}) {
    Bytes image(kImageBodySize, 0);
    image[0] = static_cast<uint8_t>(layout.dosMagic);
    image[1] = static_cast<uint8_t>(layout.dosMagic >> 8);
    WriteU32Le(&image[60], layout.peOffset);
    uint32_t entryLength = 8 + static_cast<uint32_t>(certificateData.size() + tail.size());
    if (layout.peOffset + 264 <= kImageBodySize) {
        uint8_t* pe = &image[layout.peOffset];
        WriteU32Le(pe, layout.peSignature);
        pe[24] = static_cast<uint8_t>(layout.optionalMagic);
        pe[25] = static_cast<uint8_t>(layout.optionalMagic >> 8);
        WriteU32Le(pe + 168, kImageBodySize);
        WriteU32Le(pe + 172, entryLength);
    }
    AppendU32(&image, entryLength);
    Append(&image, {0x00, 0x02, 0x02, 0x00});  // revision 0x0200, type 2 (PKCS #7)
    Append(&image, certificateData);
    Append(&image, tail);
    return image;
}

// Where the certificate table's directory entry stands in a PeImage.
inline uint32_t CertificateDirectoryAt(const PeLayout& layout = {}) { return layout.peOffset + 168; }

// Replaces the platform allocator while alive: every allocation for which
// `fails` answers true returns null with `lastError` set, as the local heap
// does. The others go to the real allocator.
class FailingAllocator {
public:
    using Predicate = std::function<bool(bool isReAlloc, uint32_t flags, size_t bytes)>;

    FailingAllocator(Predicate fails, uint32_t lastError = 8) : saved_(g_platformMemory) {
        active_ = this;
        fails_ = std::move(fails);
        lastError_ = lastError;
        g_platformMemory.alloc = [](uint32_t flags, size_t bytes) -> void* {
            ++active_->allocations;
            if (active_->fails_(false, flags, bytes)) return active_->Fail();
            return active_->saved_.alloc(flags, bytes);
        };
        g_platformMemory.reAlloc = [](void* block, size_t bytes, uint32_t flags) -> void* {
            ++active_->reAllocations;
            if (active_->fails_(true, flags, bytes)) return active_->Fail();
            return active_->saved_.reAlloc(block, bytes, flags);
        };
    }
    FailingAllocator(const FailingAllocator&) = delete;
    FailingAllocator& operator=(const FailingAllocator&) = delete;
    ~FailingAllocator() {
        g_platformMemory = saved_;
        active_ = nullptr;
    }

    int allocations = 0;
    int reAllocations = 0;

private:
    void* Fail() {
        PlatformSetLastError(lastError_);
        return nullptr;
    }

    static inline FailingAllocator* active_ = nullptr;
    PlatformMemory saved_;
    Predicate fails_;
    uint32_t lastError_ = 8;
};

// Fails nothing; counts the calls.
inline FailingAllocator::Predicate NeverFail() {
    return [](bool, uint32_t, size_t) { return false; };
}

}  // namespace container_test
