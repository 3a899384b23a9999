// A finished file is held read-only until the clean-up: others may read it,
// nobody may change or delete it, and a file that no longer holds the
// payload when it is locked counts as a failed write.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "extract/chunk_writer.h"
#include "extract/file_lock.h"
#include "extraction_files.h"
#include "platform/win32_api.h"

namespace {

bool CanOpen(const std::string& path, DWORD access, DWORD share) {
    HANDLE file = CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

TEST(FileLock, FinishedFilesStayReadableButCannotChange) {
    TestFolder folder("lock");
    Items items({{"main.msi", std::string(700000, 'm')}, {"data.cab", "cabinet"}});
    items.OpenIn(folder.path());
    items.WriteAll();

    for (size_t i = 0; i < items.size(); ++i) {
        std::string path = Utf8(items[i].outPath);
        EXPECT_NE(items.output(i).lock.readLock, nullptr) << path;
        EXPECT_TRUE(CanOpen(path, GENERIC_READ, kShareAll)) << path;
        EXPECT_FALSE(CanOpen(path, GENERIC_WRITE, kShareAll)) << path;
        EXPECT_FALSE(DeleteFileA(path.c_str())) << path;
        EXPECT_FALSE(MoveFileA(path.c_str(), (path + ".moved").c_str())) << path;
    }
    items.CloseAll();
    EXPECT_TRUE(DeleteFileW(items[0].outPath)) << "the clean-up's release frees the file";
}

// Between closing the written file and locking it, someone changes it: the
// write fails, the cursor stays, and a retry succeeds once the file is whole.
std::string g_changedPath;
BOOL WINAPI CloseThenChange(HANDLE handle) {
    BOOL closed = CloseHandle(handle);
    if (!g_changedPath.empty()) {
        WriteWholeFile(g_changedPath, "planted");
        g_changedPath.clear();
    }
    return closed;
}

TEST(FileLock, FileChangedBeforeItIsLockedFailsTheWrite) {
    TestFolder folder("lock-race");
    const std::string payload = "verified package";
    Items items({{"main.msi", payload}});
    items.OpenIn(folder.path());
    Win32Api saved = g_win32;
    g_win32.CloseHandle = CloseThenChange;
    g_changedPath = Utf8(items[0].outPath);

    uint32_t percent = 0;
    EXPECT_EQ(WriteNextChunk(items.set(), &percent), 234u);  // enter
    EXPECT_EQ(WriteNextChunk(items.set(), &percent), 234u);  // write
    EXPECT_EQ(WriteNextChunk(items.set(), &percent), 29u) << "the planted file is not taken";
    EXPECT_EQ(items.set()->currentItem, 0);
    EXPECT_EQ(items.output(0).lock.readLock, nullptr);
    g_win32 = saved;

    WriteWholeFile(Utf8(items[0].outPath), payload);
    EXPECT_EQ(WriteNextChunk(items.set(), &percent), 0u) << "the retry locks the whole file";
    EXPECT_NE(items.output(0).lock.readLock, nullptr);
    EXPECT_FALSE(CanOpen(Utf8(items[0].outPath), GENERIC_WRITE, kShareAll));
}

// The lock is taken only on a file that holds exactly the verified content,
// by its SHA-256, for data in stored blocks, plain and deflated, over files
// of one piece and of several.
TEST(FileLock, TakesOnlyAFileHoldingExactlyTheVerifiedContent) {
    TestFolder folder("lock-content");
    const std::string path = folder.path() + "\\main.msi";
    for (size_t size : {size_t{0}, size_t{1000}, size_t{1300000}}) {
        std::string content;
        for (size_t i = 0; content.size() < size; ++i) content += "line " + std::to_string(i * 7919 % 100003) + "\n";
        content.resize(size);
        StreamedPayload stored = StreamedPayloadOf(content, 0);
        StreamedPayload deflated = StreamedPayloadOf(content, 9);
        struct Kind {
            const char* name;
            VerifiedPayload payload;
        };
        const Kind kinds[] = {{"stored blocks", stored.payload},
                              {"deflated", deflated.payload},
                              {"plain data", PlainPayload(content)}};
        std::string changedMiddle = content, changedLast = content;
        if (size) {
            changedMiddle[size / 2] ^= 1;
            changedLast[size - 1] ^= 1;
        }
        struct Variant {
            const char* name;
            std::string bytes;
            bool locked;
        };
        std::vector<Variant> variants = {{"the content", content, true}, {"one byte more", content + "x", false}};
        if (size) {
            variants.push_back({"a byte changed in the middle", changedMiddle, false});
            variants.push_back({"the last byte changed", changedLast, false});
            variants.push_back({"one byte short", content.substr(0, size - 1), false});
        }
        for (const Kind& kind : kinds) {
            for (const Variant& variant : variants) {
                SCOPED_TRACE(std::to_string(size) + " bytes, " + kind.name + ", " + variant.name);
                WriteWholeFile(path, variant.bytes);
                PackageItem item = {};
                item.payload = kind.payload;
                SetWide(item.outPath, path);
                void* lock = LockFileHoldingPayload(item);
                EXPECT_EQ(lock != nullptr, variant.locked);
                if (lock) CloseHandle(lock);
            }
        }
    }
    DeleteFileA(path.c_str());
}

}  // namespace
