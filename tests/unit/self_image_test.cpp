#include "container/own_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../portable/container_image.h"
#include "platform/win32_api.h"
#include "signed_image.h"

namespace {

using namespace container_test;

constexpr uint32_t kSignedCompressed = kBlobCompressed | kBlobSigned;

// Restores the Win32 table after a test that replaced an entry.
class Win32Seams : public ::testing::Test {
protected:
    void TearDown() override { g_win32 = saved_; }
    Win32Api saved_ = g_win32;
};

// GetOwnModulePath ----------------------------------------------------------

struct FakeModuleName {
    static inline std::string name;
    static inline std::vector<DWORD> capacities;

    // As Windows does: a name that does not fit is cut to capacity - 1
    // characters and terminated, and the capacity is returned.
    static DWORD WINAPI Get(HMODULE, LPSTR buffer, DWORD capacity) {
        capacities.push_back(capacity);
        if (name.empty()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        if (name.size() < capacity) {
            memcpy(buffer, name.c_str(), name.size() + 1);
            return static_cast<DWORD>(name.size());
        }
        memcpy(buffer, name.c_str(), capacity - 1);
        buffer[capacity - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return capacity;
    }
};

class OwnModulePath : public Win32Seams {};

TEST_F(OwnModulePath, IsTheRunningProgramsPath) {
    char expected[MAX_PATH * 4] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, expected, sizeof expected), 0u);
    char* path = GetOwnModulePath();
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(path, expected);
    PlatformFree(path);
}

TEST_F(OwnModulePath, GrowsBy64CharactersUntilTheNameFits) {
    g_win32.GetModuleFileNameA = FakeModuleName::Get;
    struct Case {
        size_t length;
        std::vector<DWORD> capacities;
    };
    const Case cases[] = {
        {259, {260}},
        {260, {260, 324}},
        {323, {260, 324}},
        {324, {260, 324, 388}},
        {1000, {260, 324, 388, 452, 516, 580, 644, 708, 772, 836, 900, 964, 1028}},
    };
    for (const Case& c : cases) {
        FakeModuleName::name = "C:\\" + std::string(c.length - 9, 'a') + "\\s.exe";
        ASSERT_EQ(FakeModuleName::name.size(), c.length);
        FakeModuleName::capacities.clear();
        char* path = GetOwnModulePath();
        ASSERT_NE(path, nullptr) << c.length;
        EXPECT_EQ(std::string(path), FakeModuleName::name);
        EXPECT_EQ(FakeModuleName::capacities, c.capacities) << c.length;
        PlatformFree(path);
    }
}

TEST_F(OwnModulePath, NullWhenTheNameOrMemoryIsNotThere) {
    g_win32.GetModuleFileNameA = FakeModuleName::Get;
    FakeModuleName::name.clear();
    EXPECT_EQ(GetOwnModulePath(), nullptr);

    FakeModuleName::name = std::string(300, 'p');
    for (bool failReAlloc : {false, true}) {
        FailingAllocator failing([failReAlloc](bool isReAlloc, uint32_t, size_t) { return isReAlloc == failReAlloc; });
        EXPECT_EQ(GetOwnModulePath(), nullptr) << (failReAlloc ? "growth" : "first buffer");
    }
}

// A call that keeps reporting a cut name past the longest Windows path does
// not make the launcher allocate without end.
TEST_F(OwnModulePath, GivesUpPastTheLongestPath) {
    g_win32.GetModuleFileNameA = [](HMODULE, LPSTR buffer, DWORD capacity) -> DWORD {
        buffer[0] = 0;
        return capacity;
    };
    EXPECT_EQ(GetOwnModulePath(), nullptr);
}

// LoadContainerBlobs --------------------------------------------------------

class TempFile {
public:
    explicit TempFile(const Bytes& content) {
        char folder[MAX_PATH] = {};
        GetTempPathA(sizeof folder, folder);
        GetTempFileNameA(folder, "msi", 0, path_);
        HANDLE file = CreateFileA(path_, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        if (!content.empty()) WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        CloseHandle(file);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    // Deleting fails while a handle without delete sharing is open, so this
    // also checks that the file was closed on every path.
    ~TempFile() { EXPECT_TRUE(DeleteFileA(path_)) << "the own file was left open"; }
    const char* Path() const { return path_; }

private:
    char path_[MAX_PATH] = {};
};

struct Loaded {
    uint32_t code;
    uint32_t line;
    std::vector<Bytes> blobs;      // each blob's bytes
    std::vector<Bytes> manifests;  // each blob's manifest
};

Loaded Load(const char* path) {
    BlobTable state = {};
    StatusValue status = LoadContainerBlobs(&state, path);
    Loaded loaded = {StatusCode(status), StatusLine(status), {}, {}};
    for (uint32_t i = 0; i < state.blobCount; ++i) {
        const ContainerBlob& blob = state.blobs[i];
        EXPECT_EQ(blob.flags, 3u);
        Bytes bytes(blob.size);
        EXPECT_TRUE(ReadSourceBytes(BlobSource(blob), 0, bytes.data(), blob.size));
        loaded.blobs.push_back(bytes);
        loaded.manifests.push_back(Span(blob.manifest, blob.manifestSize));
    }
    ReleaseBlobs(&state);
    return loaded;
}

const Bytes kManifest = Text("manifest of the whole-file blob");

// An unsigned launcher file: the executable's bytes, then the chain.
Bytes UnsignedLauncher() {
    return Concat({Text("MZ an unsigned executable image"), Entry(ManifestEntryGuid, 0, kManifest, kSignedCompressed),
                   Entry(PayloadEntryGuid, 1000, Text("package"), kSignedCompressed)});
}

class LoadContainerBlobsTest : public Win32Seams {};

TEST_F(LoadContainerBlobsTest, WholeFileBecomesTheOneBlob) {
    const Bytes content = UnsignedLauncher();
    TempFile file(content);
    Loaded loaded = Load(file.Path());
    EXPECT_EQ(loaded.code, 0u);
    EXPECT_EQ(loaded.line, 547u);
    ASSERT_EQ(loaded.blobs.size(), 1u);
    EXPECT_EQ(loaded.blobs[0], content);
    EXPECT_EQ(loaded.manifests[0], kManifest);
}

// A packer's certificate-table placement: the chain stands inside the
// certificate entry after the DER message, reaching to the end of the file.
TEST_F(LoadContainerBlobsTest, SignedFileWithoutTagsBecomesTheOneBlob) {
    const Bytes chain = Entry(ManifestEntryGuid, 0, kManifest, kSignedCompressed);
    const Bytes content = PeImage(SignedMessage({{}, {}}), Concat({Bytes(7, 0), chain}));
    TempFile file(content);
    Loaded loaded = Load(file.Path());
    EXPECT_EQ(loaded.code, 0u);
    EXPECT_EQ(loaded.line, 547u);
    ASSERT_EQ(loaded.blobs.size(), 1u);
    EXPECT_EQ(loaded.blobs[0], content);
}

TEST_F(LoadContainerBlobsTest, FilesWithoutAReadableManifest) {
    const Bytes notSigned = Concat({Text("MZ"), Entry(ManifestEntryGuid, 0, kManifest, kBlobCompressed)});
    struct Case {
        const char* what;
        Bytes content;
        uint32_t code;
        uint32_t line;
    };
    const Case cases[] = {
        {"empty file", {}, 1168, 509},
        {"no chain", Text("MZ just an executable"), 1168, 509},
        {"unsigned chain", notSigned, 1392, 592},
        {"PE32+ with a table that is no PKCS #7 message", PeImage(Text("not a signed message"), UnsignedLauncher()), 0,
         837},
    };
    for (const Case& c : cases) {
        TempFile file(c.content);
        Loaded loaded = Load(file.Path());
        if (c.code) EXPECT_EQ(loaded.code, c.code) << c.what;
        EXPECT_NE(loaded.code, 0u) << c.what;
        EXPECT_EQ(loaded.line, c.line) << c.what;
        EXPECT_TRUE(loaded.blobs.empty()) << c.what << ": no fallback, no blob";
    }
}

TEST_F(LoadContainerBlobsTest, OwnFileNotOpened) {
    Loaded missing = Load("C:\\no such folder\\setup.exe");
    EXPECT_EQ(missing.code, static_cast<uint32_t>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(missing.line, 2042u);

    g_win32.CreateFileA = [](LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) -> HANDLE {
        SetLastError(0);
        return INVALID_HANDLE_VALUE;
    };
    Loaded noError = Load("C:\\setup.exe");
    EXPECT_EQ(noError.code, 110u);
    EXPECT_EQ(noError.line, 2042u);
}

TEST_F(LoadContainerBlobsTest, SizeNotObtained) {
    TempFile file(UnsignedLauncher());
    g_win32.GetFileSize = [](HANDLE, LPDWORD) -> DWORD {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_FILE_SIZE;
    };
    Loaded failed = Load(file.Path());
    EXPECT_EQ(failed.code, 132u);
    EXPECT_EQ(failed.line, 2035u);

    // Lengths inside the container are 32 bits: a file of 4 GiB or more is refused.
    g_win32.GetFileSize = [](HANDLE, LPDWORD high) -> DWORD {
        *high = 1;
        return 100;
    };
    Loaded huge = Load(file.Path());
    EXPECT_EQ(huge.code, 132u);
    EXPECT_EQ(huge.line, 2035u);
}

TEST_F(LoadContainerBlobsTest, ReadFailedOrShort) {
    TempFile file(UnsignedLauncher());
    g_win32.ReadFile = [](HANDLE, LPVOID, DWORD, LPDWORD read, LPOVERLAPPED) -> BOOL {
        *read = 0;
        SetLastError(ERROR_LOCK_VIOLATION);
        return FALSE;
    };
    Loaded failed = Load(file.Path());
    EXPECT_EQ(failed.code, 30u);
    EXPECT_EQ(failed.line, 2023u);

    g_win32.ReadFile = [](HANDLE handle, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED) -> BOOL {
        return ::ReadFile(handle, buffer, size - 1, read, nullptr);
    };
    Loaded shortRead = Load(file.Path());
    EXPECT_EQ(shortRead.code, 30u);
    EXPECT_EQ(shortRead.line, 2023u);
}

// The whole-file blob is read where it stands: the file is never read whole,
// and nothing near its size is allocated.
TEST_F(LoadContainerBlobsTest, FileIsNotReadWhole) {
    const Bytes content = Concat({UnsignedLauncher(), Entry(PayloadEntryGuid, 1001, NoiseBytes(3u << 20), kSignedCompressed)});
    TempFile file(content);
    size_t largest = 0;
    FailingAllocator counting([&largest](bool, uint32_t, size_t bytes) {
        largest = bytes > largest ? bytes : largest;
        return false;
    });
    Loaded loaded = Load(file.Path());
    EXPECT_EQ(loaded.code, 0u);
    ASSERT_EQ(loaded.blobs.size(), 1u);
    EXPECT_TRUE(loaded.blobs[0] == content);
    EXPECT_LT(largest, size_t{1} << 20);
}

// Until the table is released, nobody can write the file: what is verified
// from it is what is later written out of it.
TEST_F(LoadContainerBlobsTest, OwnFileDeniesWritingUntilReleased) {
    TempFile file(UnsignedLauncher());
    BlobTable state = {};
    ASSERT_EQ(StatusCode(LoadContainerBlobs(&state, file.Path())), 0u);
    HANDLE writer = CreateFileA(file.Path(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    ReleaseBlobs(&state);
    writer = CreateFileA(file.Path(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
}

// The blob table is the one zero-initialised allocation.
TEST_F(LoadContainerBlobsTest, OutOfMemory) {
    const Bytes content = UnsignedLauncher();
    TempFile file(content);
    struct Case {
        const char* what;
        FailingAllocator::Predicate fails;
        uint32_t line;
    };
    const Case cases[] = {
        {"blob table", [](bool, uint32_t flags, size_t) { return (flags & kMemZeroInit) != 0; }, 2001},
    };
    for (const Case& c : cases) {
        for (uint32_t lastError : {0u, 14u}) {
            FailingAllocator failing(c.fails, lastError);
            Loaded loaded = Load(file.Path());
            EXPECT_EQ(loaded.code, lastError ? lastError : 8u) << c.what;
            EXPECT_EQ(loaded.line, c.line) << c.what;
            EXPECT_TRUE(loaded.blobs.empty()) << c.what;
        }
    }
}

}  // namespace
