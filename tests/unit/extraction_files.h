// Files and item sets for the tests of the destination step and the progress
// window: payloads held by the test, real files in a folder of the test's own.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "extract/chunk_writer.h"
#include "memory_payload.h"
#include "extract/file_lock.h"
#include "selection/package_item.h"
#include "wide_text.h"

inline std::string ReadWholeFile(const std::string& path) {
    std::string bytes;
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    static char block[65536];
    DWORD got = 0;
    while (ReadFile(file, block, sizeof block, &got, nullptr) && got > 0) bytes.append(block, got);
    CloseHandle(file);
    return bytes;
}

inline void WriteWholeFile(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD done = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    CloseHandle(file);
}

inline void RemoveTree(const std::string& folder) {
    std::error_code ignored;
    std::filesystem::remove_all(Wide(folder), ignored);
}

// A fresh folder under the temporary folder, or under `base` (ending in a
// backslash) when given, removed with everything in it.
class TestFolder {
   public:
    explicit TestFolder(const char* purpose, const char* base = nullptr) {
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        static std::atomic<int> counter{0};
        path_ = std::string(base ? base : temp) + "msistub-" + purpose + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(counter++);
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~TestFolder() { RemoveTree(path_); }
    const std::string& path() const { return path_; }

   private:
    std::string path_;
};

// The files of one run, as the selection hands them over: name and payload,
// each payload a zlib stream in a file of its own that the writer inflates.
class Items {
   public:
    explicit Items(const std::vector<std::pair<std::string, std::string>>& files)
        : payloads_(files.size()), items_(files.size()), outputs_(files.size()) {
        for (size_t i = 0; i < files.size(); ++i) {
            std::memset(&items_[i], 0, sizeof items_[i]);
            std::memset(&outputs_[i], 0, sizeof outputs_[i]);
            std::snprintf(items_[i].fileName, sizeof items_[i].fileName, "%s", files[i].first.c_str());
            payloads_[i] = files[i].second;
            streams_.push_back(StreamedPayloadOf(payloads_[i], 6));
            items_[i].payload = streams_.back().payload;
        }
        std::memset(&set_, 0, sizeof set_);
        set_.items = items_.data();
        set_.itemCount = static_cast<int32_t>(items_.size());
        set_.outputs = outputs_.data();
        set_.currentItem = -1;
        set_.writer.chunkSize = kChunkSize;
    }
    ~Items() { CloseAll(); }

    ExtractionSet* set() { return &set_; }
    PackageItem& operator[](size_t i) { return items_[i]; }
    ItemOutput& output(size_t i) { return outputs_[i]; }
    size_t size() const { return items_.size(); }
    const std::string& payload(size_t i) const { return payloads_[i]; }

    // Opens every output file in `folder`, as the destination step does.
    void OpenIn(const std::string& folder) {
        for (size_t i = 0; i < items_.size(); ++i) {
            PackageItem& item = items_[i];
            SetWide(item.outPath, folder + "\\" + item.fileName);
            outputs_[i].outFile = CreateFileW(item.outPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(outputs_[i].outFile, INVALID_HANDLE_VALUE) << Utf8(item.outPath);
        }
    }

    void WriteAll() {
        uint32_t result;
        while ((result = WriteNextChunk(&set_, nullptr)) == 234) {
        }
        ASSERT_EQ(result, 0u);
    }

    // Closes output files and the locks that keep finished files read-only,
    // and what the writer holds.
    void CloseAll() {
        ReleaseChunkWriter(&set_);
        for (auto& output : outputs_) {
            if (output.outFile) {
                CloseHandle(output.outFile);
                output.outFile = nullptr;
            }
            ReleaseFileLock(&output.lock);
        }
    }

   private:
    std::vector<std::string> payloads_;
    std::vector<StreamedPayload> streams_;
    std::vector<PackageItem> items_;
    std::vector<ItemOutput> outputs_;
    ExtractionSet set_;
};

// Writes one item to a new file at `path` until the writer is done or has
// failed twice in a row; the lock, when taken, is kept in `lock`.
inline uint32_t WriteOneItem(PackageItem* item, const std::string& path, FileLock* lock) {
    SetWide(item->outPath, path);
    ItemOutput output = {};
    output.outFile = CreateFileW(item->outPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(output.outFile, INVALID_HANDLE_VALUE);
    ExtractionSet set = {};
    set.items = item;
    set.itemCount = 1;
    set.outputs = &output;
    set.currentItem = -1;
    set.writer.chunkSize = kChunkSize;
    uint32_t result;
    int failures = 0;
    while ((result = WriteNextChunk(&set, nullptr)) == 234 || (result == 29 && ++failures < 2)) {
    }
    ReleaseChunkWriter(&set);
    if (output.outFile) CloseHandle(output.outFile);
    *lock = output.lock;
    return result;
}
