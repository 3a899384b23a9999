// A finished file is held read-only until the clean-up: others may read it,
// nobody may change or delete it, and a file that no longer holds the
// payload when it is locked counts as a failed write.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

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
        std::string path = items[i].outPath;
        EXPECT_NE(items[i].readLock, nullptr) << path;
        EXPECT_TRUE(CanOpen(path, GENERIC_READ, kShareAll)) << path;
        EXPECT_FALSE(CanOpen(path, GENERIC_WRITE, kShareAll)) << path;
        EXPECT_FALSE(DeleteFileA(path.c_str())) << path;
        EXPECT_FALSE(MoveFileA(path.c_str(), (path + ".moved").c_str())) << path;
    }
    items.CloseAll();
    EXPECT_TRUE(DeleteFileA(items[0].outPath)) << "the clean-up's release frees the file";
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
    g_changedPath = items[0].outPath;

    uint32_t percent = 0;
    EXPECT_EQ(WriteNextChunk(items.set(), &percent), 234u);  // enter
    EXPECT_EQ(WriteNextChunk(items.set(), &percent), 234u);  // write
    EXPECT_EQ(WriteNextChunk(items.set(), &percent), 29u) << "the planted file is not taken";
    EXPECT_EQ(items.set()->currentItem, 0);
    EXPECT_EQ(items[0].readLock, nullptr);
    g_win32 = saved;

    WriteWholeFile(items[0].outPath, payload);
    EXPECT_EQ(WriteNextChunk(items.set(), &percent), 0u) << "the retry locks the whole file";
    EXPECT_NE(items[0].readLock, nullptr);
    EXPECT_FALSE(CanOpen(items[0].outPath, GENERIC_WRITE, kShareAll));
}

}  // namespace
