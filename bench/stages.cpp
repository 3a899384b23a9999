// Times the stages of one launcher run over a packed setup file with the
// launcher's own code (linked from msistub_core), since the shipped launcher
// keeps no log:
//   open     LoadContainerBlobs: the file opened, the tag lookup, the chain's
//            end found and the manifest read
//   verify   VerifyPayloadEntry of every payload: read in windows, inflated,
//            hashed (SHA-256) and its signature checked, nothing held
//   write    the progress window writing every payload (ShowProgressDialog),
//            its creation included, less the lock check
//   lock     the lock check of every written file through the locking
//            handle: its SHA-256 compared with the verified digest
//   stages.exe SETUP.exe OUTPUT_FOLDER
// Prints one "<stage> <seconds>" line per stage; exits with 1 when a step fails.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>

#include "container/blob_table.h"
#include "container/own_file.h"
#include "extract/chunk_writer.h"
#include "extract/file_lock.h"
#include "extract/progress_dialog.h"
#include "format/chain_walk.h"
#include "format/read_entry.h"
#include "platform/platform.h"
#include "platform/win32_api.h"
#include "selection/package_item.h"

namespace {
constexpr int kMaxPayloads = 64;

struct Stopwatch {
    LARGE_INTEGER frequency;
    LARGE_INTEGER start;
};

void StartWatch(Stopwatch* watch) {
    QueryPerformanceFrequency(&watch->frequency);
    QueryPerformanceCounter(&watch->start);
}

double ElapsedSeconds(const Stopwatch& watch) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - watch.start.QuadPart) / static_cast<double>(watch.frequency.QuadPart);
}

bool Fail(const char* what) {
    std::fprintf(stderr, "stages: %s\n", what);
    return false;
}

// The ids of the payload entries of a blob's chain, from its end back to the manifest.
int ListPayloads(const ContainerBlob& blob, uint32_t* ids, int capacity) {
    int count = 0;
    ChainCursor cursor = StartChainWalk(BlobSource(blob));
    ChainStep step;
    while (count < capacity && NextChainStep(&cursor, &step))
        if (step.kind == ChainStepKind::kEntry && !step.isManifest) ids[count++] = step.id;
    return count;
}

bool OpenOutput(const char* folder, uint32_t id, PackageItem* item, ItemOutput* output) {
    std::snprintf(item->fileName, sizeof item->fileName, "payload-%u.bin", id);
    wchar_t path[kItemTextSize];
    if (MultiByteToWideChar(CP_ACP, 0, folder, -1, path, kItemTextSize) <= 0) return Fail("the folder's name");
    _snwprintf(item->outPath, kItemTextSize, L"%ls\\payload-%u.bin", path, id);
    item->outPath[kItemTextSize - 1] = 0;
    HANDLE file = CreateFileW(item->outPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Fail("cannot create an output file");
    output->outFile = file;
    return true;
}

struct StageTimes {
    double open, verify, write, lock;
};

bool VerifyPayloads(const ContainerBlob& blob, const uint32_t* ids, int count, PackageItem* items,
                    StageTimes* times) {
    Stopwatch watch;
    StartWatch(&watch);
    for (int i = 0; i < count; ++i)
        if (StatusFailed(VerifyPayloadEntry(blob, ids[i], &items[i].payload)))
            return Fail("a payload does not verify");
    times->verify = ElapsedSeconds(watch);
    return true;
}

// The window writes and locks every file; the locks are then checked once
// more on their own, to tell the two apart.
bool WriteAndLock(const char* folder, PackageItem* items, int count, StageTimes* times) {
    static ItemOutput outputs[kMaxPayloads];
    for (int i = 0; i < count; ++i)
        if (!OpenOutput(folder, static_cast<uint32_t>(i), &items[i], &outputs[i])) return false;
    ExtractionSet set = {};
    set.items = items;
    set.itemCount = count;
    set.outputs = outputs;
    set.currentItem = -1;
    set.writer.chunkSize = kChunkSize;
    Stopwatch watch;
    StartWatch(&watch);
    bool written = ShowProgressDialog(&set, GetModuleHandleA(nullptr), nullptr, L"MSI_STUB_WINDOW_CLASS_NAME",
                                      L"msistub bench", L"MS Sans Serif", false, nullptr) == kProgressAllWritten;
    double both = ElapsedSeconds(watch);
    ReleaseChunkWriter(&set);
    if (!written) return Fail("the progress window did not finish");
    for (int i = 0; i < count; ++i) ReleaseFileLock(&outputs[i].lock);

    StartWatch(&watch);
    for (int i = 0; i < count; ++i) {
        outputs[i].lock.readLock = LockFileHoldingPayload(items[i]);
        if (!outputs[i].lock.readLock) return Fail("a written file does not hold its payload");
    }
    times->lock = ElapsedSeconds(watch);
    times->write = both > times->lock ? both - times->lock : 0;
    for (int i = 0; i < count; ++i) ReleaseFileLock(&outputs[i].lock);
    return true;
}

bool RunStages(const char* setupPath, const char* folder, StageTimes* times) {
    Stopwatch watch;
    StartWatch(&watch);
    BlobTable table = {};
    // The setup timed is not this tool's own image: the launcher's check that
    // it reads its own file is told the files are the same, after the same
    // mapping of the file's first page that the launcher makes.
    g_win32.AreMappedFilesTheSame = [](PVOID, PVOID) -> LONG { return 0; };
    wchar_t widePath[MAX_PATH * 4];
    if (MultiByteToWideChar(CP_ACP, 0, setupPath, -1, widePath, MAX_PATH * 4) <= 0) return Fail("the setup's name");
    StatusValue loaded = LoadContainerBlobs(&table, widePath);
    times->open = ElapsedSeconds(watch);
    if (StatusFailed(loaded)) {
        ReleaseBlobTable(&table);
        return Fail("the setup file carries no readable container");
    }
    static uint32_t ids[kMaxPayloads];
    static PackageItem items[kMaxPayloads];
    int count = ListPayloads(table.blobs[0], ids, kMaxPayloads);
    CreateDirectoryA(folder, nullptr);
    bool ok = VerifyPayloads(table.blobs[0], ids, count, items, times) && WriteAndLock(folder, items, count, times);
    ReleaseBlobTable(&table);
    return ok;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: stages.exe SETUP.exe OUTPUT_FOLDER\n");
        return 2;
    }
    InitCommonControls();
    StageTimes times = {};
    if (!RunStages(argv[1], argv[2], &times)) return 1;
    std::printf("open %.4f\nverify %.4f\nwrite %.4f\nlock %.4f\n", times.open, times.verify, times.write, times.lock);
    return 0;
}
