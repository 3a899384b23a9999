// The chunked writer over real files in a temporary folder: each run is a
// list of calls with the write the call should make, its result, the
// percentage it reports and how many handles are closed by then.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "extract/chunk_writer.h"
#include "extract/file_lock.h"
#include "extraction_files.h"
#include "memory_payload.h"
#include "platform/win32_api.h"
#include "wide_text.h"

namespace {

enum class Write {
    Normal,         // the system writes everything asked
    Fails,          // nothing reaches the file and WriteFile fails
    FailsPartway,   // 1000 bytes reach the file, then WriteFile fails
    ComesUpShort,   // 100000 bytes reach the file and WriteFile succeeds
};

struct Call {
    Write write;
    uint32_t asked;  // bytes asked of WriteFile; 0: no write in this call
    uint32_t result;
    uint32_t percent;
    uint32_t closed;  // output handles closed so far
    uint32_t failureCode = 0;  // after a result of 29: the error the set keeps for it
};

struct ItemSetup {
    uint32_t size;
    bool existed;  // the file was there before: no handle, left untouched
};

struct WriterRun {
    const char* name;
    std::vector<ItemSetup> items;
    std::vector<Call> calls;
    bool withPercent;
};

void PrintTo(const WriterRun& run, std::ostream* out) { *out << run.name; }

struct WriteHook {
    Write mode = Write::Normal;
    uint32_t asked = 0;
    uint32_t closed = 0;
    Win32Api real = {};
} g_hook;

BOOL WINAPI HookedWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD done, LPOVERLAPPED overlapped) {
    g_hook.asked = size;
    switch (g_hook.mode) {
    case Write::Normal:
        return g_hook.real.WriteFile(file, data, size, done, overlapped);
    case Write::Fails:
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    case Write::FailsPartway:
        g_hook.real.WriteFile(file, data, 1000, done, overlapped);
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    case Write::ComesUpShort:
        return g_hook.real.WriteFile(file, data, 100000, done, overlapped);
    }
    return FALSE;
}

BOOL WINAPI HookedCloseHandle(HANDLE handle) {
    ++g_hook.closed;
    return g_hook.real.CloseHandle(handle);
}

std::string Payload(uint32_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + seed * 7 + (i >> 11)) & 0xFF);
    return bytes;
}

std::string FileContent(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const std::string kExistingContent = "written by an earlier run";

class ChunkWriterTest : public testing::TestWithParam<WriterRun> {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
        folder_ = std::string(temp) + "msistub-writer-" + std::to_string(GetCurrentProcessId()) + "-" +
                  GetParam().name;
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        g_hook = WriteHook();
        g_hook.real = g_win32;
        g_win32.WriteFile = HookedWriteFile;
        g_win32.CloseHandle = HookedCloseHandle;
    }

    void TearDown() override {
        g_win32 = g_hook.real;
        for (size_t i = 0; i < items_.size(); ++i) {
            if (outputs_[i].outFile) CloseHandle(outputs_[i].outFile);
            DeleteFileW(items_[i].outPath);
        }
        RemoveDirectoryA(folder_.c_str());
    }

    // Items as the destination step leaves them: a path each, and an open
    // empty file unless the file was already there.
    void MakeItems(const std::vector<ItemSetup>& setups) {
        items_.assign(setups.size(), PackageItem());
        outputs_.assign(setups.size(), ItemOutput());
        payloads_.reserve(setups.size());  // item payloads point into these strings
        for (size_t i = 0; i < setups.size(); ++i) {
            PackageItem& item = items_[i];
            payloads_.push_back(Payload(setups[i].size, static_cast<uint32_t>(i)));
            item.payload = PlainPayload(payloads_.back());
            std::string name = "item" + std::to_string(i) + ".bin";
            snprintf(item.fileName, sizeof(item.fileName), "%s", name.c_str());
            SetWide(item.outPath, folder_ + "\\" + name);
            if (setups[i].existed) {
                std::ofstream(Utf8(item.outPath), std::ios::binary) << kExistingContent;
            } else {
                outputs_[i].outFile = CreateFileW(item.outPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                  FILE_ATTRIBUTE_NORMAL, nullptr);
                ASSERT_NE(outputs_[i].outFile, INVALID_HANDLE_VALUE);
            }
        }
    }

    std::string folder_;
    std::vector<PackageItem> items_;
    std::vector<ItemOutput> outputs_;
    std::vector<std::string> payloads_;
};

TEST_P(ChunkWriterTest, WritesEveryItemInChunks) {
    const WriterRun& run = GetParam();
    MakeItems(run.items);
    ExtractionSet set = {};
    set.items = items_.empty() ? nullptr : items_.data();
    set.itemCount = static_cast<int32_t>(items_.size());
    set.outputs = outputs_.empty() ? nullptr : outputs_.data();
    set.currentItem = -1;
    set.writer.chunkSize = kChunkSize;

    for (size_t i = 0; i < run.calls.size(); ++i) {
        const Call& call = run.calls[i];
        SCOPED_TRACE("call " + std::to_string(i + 1));
        g_hook.mode = call.write;
        g_hook.asked = 0;
        uint32_t percent = 12345;  // a value no call reports
        EXPECT_EQ(WriteNextChunk(&set, run.withPercent ? &percent : nullptr), call.result);
        EXPECT_EQ(g_hook.asked, call.asked);
        if (run.withPercent) EXPECT_EQ(percent, call.percent);
        EXPECT_EQ(g_hook.closed, call.closed);
        if (call.result == 29) EXPECT_EQ(set.failureCode, call.failureCode);
    }

    EXPECT_EQ(set.currentItem, set.itemCount);
    ReleaseChunkWriter(&set);
    for (size_t i = 0; i < items_.size(); ++i) {
        SCOPED_TRACE(items_[i].fileName);
        EXPECT_EQ(outputs_[i].outFile, nullptr);
        EXPECT_EQ(outputs_[i].bytesWritten, items_[i].payload.contentLength);
        EXPECT_EQ(FileContent(Utf8(items_[i].outPath)), run.items[i].existed ? kExistingContent : payloads_[i]);
    }
}

const std::vector<Call> kWorkedRun = {
    {Write::Normal, 0, 234, 0, 0},     {Write::Normal, 524288, 234, 87, 0}, {Write::Normal, 75712, 234, 100, 0},
    {Write::Normal, 0, 234, 0, 1},     {Write::Normal, 0, 0, 100, 1},
};

const WriterRun kRuns[] = {
    {"WorkedRun", {{600000, false}, {1000, true}}, kWorkedRun, true},
    {"NoPercentPointer", {{600000, false}, {1000, true}}, kWorkedRun, false},
    {"ThreeChunks",
     {{1200000, false}},
     {{Write::Normal, 0, 234, 0, 0},
      {Write::Normal, 524288, 234, 43, 0},
      {Write::Normal, 524288, 234, 87, 0},
      {Write::Normal, 151424, 234, 100, 0},
      {Write::Normal, 0, 0, 100, 1}},
     true},
    {"EmptyItem", {{0, false}}, {{Write::Normal, 0, 234, 0, 0}, {Write::Normal, 0, 0, 100, 1}}, true},
    {"NoItems", {}, {{Write::Normal, 0, 0, 100, 0}, {Write::Normal, 0, 0, 100, 0}}, true},
    {"CalledAgainAfterTheLastItem",
     {{1000, false}},
     {{Write::Normal, 0, 234, 0, 0},
      {Write::Normal, 1000, 234, 100, 0},
      {Write::Normal, 0, 0, 100, 1},
      {Write::Normal, 0, 0, 100, 1},
      {Write::Normal, 0, 0, 100, 1}},
     true},
    {"FailedWritesAreRetriedFromTheNewOffset",
     {{600000, false}, {300, false}},
     {{Write::Normal, 0, 234, 0, 0},
      {Write::Fails, 524288, 29, 0, 0, ERROR_DISK_FULL},
      {Write::FailsPartway, 524288, 29, 0, 0, ERROR_DISK_FULL},
      {Write::ComesUpShort, 523288, 29, 16, 0, ERROR_WRITE_FAULT},
      {Write::Normal, 423288, 234, 87, 0},
      {Write::Normal, 75712, 234, 100, 0},
      {Write::Normal, 0, 234, 0, 1},
      {Write::Fails, 300, 29, 0, 1, ERROR_DISK_FULL},
      {Write::Normal, 300, 234, 100, 1},
      {Write::Normal, 0, 0, 100, 2}},
     true},
};

// Streamed payloads through the writer, each a zlib stream in a file: no
// content, exactly one chunk and one byte more, as stored blocks and
// deflated; then records whose stream yields a byte more or a byte less than
// was verified, which fail the item on every try and write no further.
class ChunkWriterStreams : public testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
        folder_ = std::string(temp) + "msistub-streams-" + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    }
    void TearDown() override { RemoveDirectoryA(folder_.c_str()); }

    // Writes one item until the writer is done or fails twice in a row.
    uint32_t WriteItem(const VerifiedPayload& payload, std::string* written) {
        PackageItem item = {};
        item.payload = payload;
        FileLock lock = {};
        uint32_t result = WriteOneItem(&item, folder_ + "\\item.bin", &lock);
        ReleaseFileLock(&lock);
        *written = FileContent(Utf8(item.outPath));
        DeleteFileW(item.outPath);
        return result;
    }

    std::string folder_;
};

TEST_F(ChunkWriterStreams, WritesEdgeSizesAndRefusesContentThatDiffers) {
    for (uint32_t size : {0u, kChunkSize, kChunkSize + 1}) {
        for (int level : {0, 9}) {
            SCOPED_TRACE(std::to_string(size) + " bytes at level " + std::to_string(level));
            const std::string content = Payload(size, size + level);
            StreamedPayload streamed = StreamedPayloadOf(content, level);
            std::string written;
            EXPECT_EQ(WriteItem(streamed.payload, &written), 0u);
            EXPECT_TRUE(written == content);
        }
    }
    const std::string content = Payload(kChunkSize + 1, 3);
    for (int delta : {-1, +1}) {
        for (int level : {0, 9}) {
            SCOPED_TRACE("verified length off by " + std::to_string(delta) + " at level " + std::to_string(level));
            StreamedPayload streamed = StreamedPayloadOf(content, level);
            std::string claimed = content.substr(0, content.size() - (delta < 0 ? 1 : 0)) + (delta > 0 ? "x" : "");
            streamed.payload = PayloadOver(streamed.file->Source(), streamed.payload.dataLength, true, claimed);
            std::string written;
            EXPECT_EQ(WriteItem(streamed.payload, &written), 29u);
            EXPECT_LE(written.size(), claimed.size());
        }
    }
}

// Content that breaks off one byte short of what was verified, in its third
// chunk: the first two reach the file, the call whose chunk is due fails
// without writing, and so does every retry.
TEST_F(ChunkWriterStreams, ContentThatBreaksOffFailsWhenItsChunkIsDue) {
    const std::string content = Payload(2 * kChunkSize + 10, 4);
    for (int level : {0, 9}) {
        SCOPED_TRACE("level " + std::to_string(level));
        StreamedPayload streamed = StreamedPayloadOf(content, level);
        PackageItem item = {};
        item.payload = PayloadOver(streamed.file->Source(), streamed.payload.dataLength, true, content + "x");
        SetWide(item.outPath, folder_ + "\\item.bin");
        ItemOutput output = {};
        output.outFile = CreateFileW(item.outPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(output.outFile, INVALID_HANDLE_VALUE);
        ExtractionSet set = {};
        set.items = &item;
        set.itemCount = 1;
        set.outputs = &output;
        set.currentItem = -1;
        set.writer.chunkSize = kChunkSize;

        std::vector<uint32_t> results;
        for (int call = 0; call < 5; ++call) results.push_back(WriteNextChunk(&set, nullptr));
        EXPECT_EQ(results, (std::vector<uint32_t>{234, 234, 234, 29, 29}));
        EXPECT_EQ(output.bytesWritten, 2 * kChunkSize);
        ReleaseChunkWriter(&set);
        CloseHandle(output.outFile);
        EXPECT_TRUE(FileContent(Utf8(item.outPath)) == content.substr(0, 2 * kChunkSize));
        DeleteFileW(item.outPath);
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, ChunkWriterTest, testing::ValuesIn(kRuns),
                         [](const testing::TestParamInfo<WriterRun>& info) { return info.param.name; });

}  // namespace
