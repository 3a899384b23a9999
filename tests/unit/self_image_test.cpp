#include "container/own_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
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
    static inline std::wstring name;
    static inline std::vector<DWORD> capacities;

    // As Windows does: a name that does not fit is cut to capacity - 1
    // characters and terminated, and the capacity is returned.
    static DWORD WINAPI Get(HMODULE, LPWSTR buffer, DWORD capacity) {
        capacities.push_back(capacity);
        if (name.empty()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        if (name.size() < capacity) {
            wmemcpy(buffer, name.c_str(), name.size() + 1);
            return static_cast<DWORD>(name.size());
        }
        wmemcpy(buffer, name.c_str(), capacity - 1);
        buffer[capacity - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return capacity;
    }
};

class OwnModulePath : public Win32Seams {};

TEST_F(OwnModulePath, IsTheRunningProgramsPath) {
    wchar_t expected[MAX_PATH * 4] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, expected, MAX_PATH * 4), 0u);
    wchar_t* path = GetOwnModulePath();
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(path, expected);
    PlatformFree(path);
}

TEST_F(OwnModulePath, GrowsBy64CharactersUntilTheNameFits) {
    g_win32.GetModuleFileNameW = FakeModuleName::Get;
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
        FakeModuleName::name = L"C:\\" + std::wstring(c.length - 9, L'a') + L"\\s.exe";
        ASSERT_EQ(FakeModuleName::name.size(), c.length);
        FakeModuleName::capacities.clear();
        wchar_t* path = GetOwnModulePath();
        ASSERT_NE(path, nullptr) << c.length;
        EXPECT_EQ(std::wstring(path), FakeModuleName::name);
        EXPECT_EQ(FakeModuleName::capacities, c.capacities) << c.length;
        PlatformFree(path);
    }
}

TEST_F(OwnModulePath, NullWhenTheNameOrMemoryIsNotThere) {
    g_win32.GetModuleFileNameW = FakeModuleName::Get;
    FakeModuleName::name.clear();
    EXPECT_EQ(GetOwnModulePath(), nullptr);

    FakeModuleName::name = std::wstring(300, L'p');
    for (bool failReAlloc : {false, true}) {
        FailingAllocator failing([failReAlloc](bool isReAlloc, uint32_t, size_t) { return isReAlloc == failReAlloc; });
        EXPECT_EQ(GetOwnModulePath(), nullptr) << (failReAlloc ? "growth" : "first buffer");
    }
}

// A call that keeps reporting a cut name past the longest Windows path does
// not make the launcher allocate without end.
TEST_F(OwnModulePath, GivesUpPastTheLongestPath) {
    g_win32.GetModuleFileNameW = [](HMODULE, LPWSTR buffer, DWORD capacity) -> DWORD {
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
    std::wstring widePath(path, path + std::strlen(path));
    StatusValue status = LoadContainerBlobs(&state, widePath.c_str());
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

// The files these tests load are not the test program's image; the check
// that the own file is the running image has tests of its own below.
HANDLE WINAPI AnyFileMapping(HANDLE, LPSECURITY_ATTRIBUTES, DWORD, DWORD, DWORD, LPCWSTR) {
    return CreateEventW(nullptr, FALSE, FALSE, nullptr);
}
LPVOID WINAPI AnyView(HANDLE, DWORD, DWORD, DWORD, SIZE_T) {
    static char page[1];
    return page;
}
BOOL WINAPI UnmapAnyView(LPCVOID) { return TRUE; }
LONG NTAPI SameFile(PVOID, PVOID) { return 0; }

class LoadContainerBlobsTest : public Win32Seams {
protected:
    void SetUp() override {
        g_win32.CreateFileMappingW = AnyFileMapping;
        g_win32.MapViewOfFile = AnyView;
        g_win32.UnmapViewOfFile = UnmapAnyView;
        g_win32.AreMappedFilesTheSame = SameFile;
    }
};

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

    g_win32.CreateFileW = [](LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) -> HANDLE {
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
    std::wstring path(file.Path(), file.Path() + std::strlen(file.Path()));
    ASSERT_EQ(StatusCode(LoadContainerBlobs(&state, path.c_str())), 0u);
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

// OpenOwnImageFile ----------------------------------------------------------

std::wstring RunningImagePath() {
    wchar_t path[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    return path;
}

struct Opened {
    uint32_t code;
    uint32_t line;
    bool handed;  // a handle came back
};

Opened Open(const std::wstring& path) {
    void* file = nullptr;
    StatusValue status = OpenOwnImageFile(path.c_str(), &file);
    Opened opened = {StatusCode(status), StatusLine(status), file != nullptr};
    if (file) CloseHandle(file);
    return opened;
}

// Only the file of the running image lends its container: a copy of it, byte
// for byte the same, is another file, and so is an empty one. A missing file
// is not opened at all.
TEST(OpenOwnImageFile, OnlyTheRunningImageIsTaken) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"msistub-own-image-\u0141ukasz \u65E5\u672C-" +
                          std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    std::wstring copy = folder + L"\\\uFF53etup.exe";
    ASSERT_TRUE(CopyFileW(RunningImagePath().c_str(), copy.c_str(), FALSE));
    std::wstring empty = folder + L"\\empty.exe";
    CloseHandle(CreateFileW(empty.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));

    struct Case {
        const char* what;
        std::wstring path;
        uint32_t code;
        uint32_t line;
    };
    const Case cases[] = {
        {"the running image", RunningImagePath(), 0, 0},
        {"a copy of it", copy, 110, 2044},
        {"an empty file", empty, ERROR_FILE_INVALID, 2044},
        {"no such file", folder + L"\\missing.exe", ERROR_FILE_NOT_FOUND, 2042},
    };
    for (const Case& c : cases) {
        Opened opened = Open(c.path);
        EXPECT_EQ(opened.code, c.code) << c.what;
        EXPECT_EQ(opened.line, c.line) << c.what;
        EXPECT_EQ(opened.handed, c.code == 0) << c.what;
    }
    // Every refused file was closed again: it can be deleted.
    EXPECT_TRUE(DeleteFileW(copy.c_str()));
    EXPECT_TRUE(DeleteFileW(empty.c_str()));
    EXPECT_TRUE(RemoveDirectoryW(folder.c_str()));
}

// The image's file is held so that it cannot be renamed away and replaced
// while the launcher reads from it.
TEST(OpenOwnImageFile, TheImageCannotBeRenamedWhileHeld) {
    void* file = nullptr;
    ASSERT_EQ(StatusCode(OpenOwnImageFile(RunningImagePath().c_str(), &file)), 0u);
    std::wstring moved = RunningImagePath() + L".moved";
    EXPECT_FALSE(MoveFileW(RunningImagePath().c_str(), moved.c_str()));
    if (GetFileAttributesW(moved.c_str()) != INVALID_FILE_ATTRIBUTES) MoveFileW(moved.c_str(), RunningImagePath().c_str());
    CloseHandle(file);
}

// Where the system cannot compare the files, nothing is taken on trust.
TEST(OpenOwnImageFile, WithoutTheComparisonNothingIsTaken) {
    Win32Api saved = g_win32;
    g_win32.AreMappedFilesTheSame = nullptr;
    g_win32.GetProcAddress = [](HMODULE, LPCSTR) -> FARPROC {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    };
    Opened opened = Open(RunningImagePath());
    g_win32 = saved;
    EXPECT_EQ(opened.code, static_cast<uint32_t>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(opened.line, 2044u);
    EXPECT_FALSE(opened.handed);
}

}  // namespace
