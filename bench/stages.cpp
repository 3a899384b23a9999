// Times the stages of one launcher run over a packed setup file with the
// launcher's own code (linked from msistub_core), since the shipped launcher
// keeps no log:
//   read     the whole file in one ReadFile, as LoadContainerBlobs does
//   manifest AppendOwnedBlob: the file image becomes the blob, its manifest
//            is read
//   inflate  every payload entry inflated as ReadPayloadEntry does it: in
//            place when it is stored blocks only, else InflateToBuffer
//   verify   VerifyEntrySignature of every payload (SHA-256 and RSA)
//   write    the progress window writing every payload (ShowProgressDialog),
//            its creation included
//   stages.exe SETUP.exe OUTPUT_FOLDER
// Prints one "<stage> <seconds>" line per stage; exits with 1 when a step fails.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>

#include "container/blob_table.h"
#include "format/entry_format.h"
#include "format/inflate_in_place.h"
#include "format/read_entry.h"
#include "format/inflate_to_buffer.h"
#include "format/verify_entry_signature.h"
#include "selection/package_item.h"
#include "extract/progress_dialog.h"
#include "container/blob_table.h"
#include "platform/platform.h"

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

struct PayloadEntry {
    uint32_t id;
    const uint8_t* data;
    uint32_t dataLength;
    const uint8_t* signature;
    uint32_t signatureLength;
};

bool Fail(const char* what) {
    std::fprintf(stderr, "stages: %s\n", what);
    return false;
}

bool ReadWholeFile(const char* path, uint8_t** image, uint32_t* size) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return Fail("cannot open the setup file");
    *size = GetFileSize(file, nullptr);
    *image = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, *size ? *size : 1));
    DWORD read = 0;
    bool ok = *image && ReadFile(file, *image, *size, &read, nullptr) && read == *size;
    CloseHandle(file);
    return ok || Fail("cannot read the setup file");
}

// The payload entries of a blob's chain, from its end back to the manifest.
int ListPayloads(const ContainerBlob& blob, PayloadEntry* entries, int capacity) {
    int count = 0;
    uint32_t position = blob.size;
    while (position >= kEntryTrailerSize && count < capacity) {
        EntryTrailer trailer = DecodeEntryTrailer(blob.data + position - kEntryTrailerSize);
        if (!TrailerHasType(trailer, PayloadEntryGuid)) break;
        uint64_t entryBytes = uint64_t{trailer.dataLength} + trailer.signatureLength + kEntryTrailerSize;
        if (entryBytes > position) break;
        position -= static_cast<uint32_t>(entryBytes);
        entries[count++] = {trailer.id, blob.data + position, trailer.dataLength,
                            blob.data + position + trailer.dataLength, trailer.signatureLength};
    }
    return count;
}

bool OpenOutput(const char* folder, uint32_t id, PackageItem* item) {
    std::snprintf(item->fileName, sizeof item->fileName, "payload-%u.bin", id);
    std::snprintf(item->outPath, sizeof item->outPath, "%s\\%s", folder, item->fileName);
    HANDLE file = CreateFileA(item->outPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Fail("cannot create an output file");
    item->outFile = file;
    return true;
}

bool WriteThroughWindow(PackageItem* items, int count) {
    ExtractionSet set = {};
    set.items = items;
    set.itemCount = count;
    set.currentItem = -1;
    set.chunkSize = kChunkSize;
    return ShowProgressDialog(&set, GetModuleHandleA(nullptr), nullptr, "MSI_STUB_WINDOW_CLASS_NAME", "msistub bench",
                              "MS Sans Serif") == kProgressAllWritten ||
           Fail("the progress window did not finish");
}

struct StageTimes {
    double read, manifest, inflate, verify, write;
};

bool ExtractPayloads(const PayloadEntry* entries, int count, PackageItem* items, StageTimes* times) {
    for (int i = 0; i < count; ++i) {
        Stopwatch watch;
        StartWatch(&watch);
        // The image is the blob's own memory, as in the launcher.
        uint8_t* data = const_cast<uint8_t*>(entries[i].data);
        InPlaceResult inPlace = IsStoredBlockStream(data, entries[i].dataLength)
                                    ? InflateStoredInPlace(data, entries[i].dataLength, &items[i].payloadSize)
                                    : InPlaceResult::kNotTried;
        if (inPlace == InPlaceResult::kFailed) return Fail("a payload does not inflate");
        if (inPlace == InPlaceResult::kInflated) {
            items[i].payload = data;
            items[i].payloadLent = 1;
        } else if (InflateToBuffer(&items[i].payload, &items[i].payloadSize, entries[i].data,
                                   entries[i].dataLength) != 0) {
            return Fail("a payload does not inflate");
        }
        times->inflate += ElapsedSeconds(watch);

        StartWatch(&watch);
        StatusValue verified = VerifyEntrySignature(items[i].payload, items[i].payloadSize, entries[i].signature,
                                                    entries[i].signatureLength);
        times->verify += ElapsedSeconds(watch);
        if (StatusFailed(verified)) return Fail("a payload signature does not verify");
    }
    return true;
}

bool WriteThroughWindowTimed(const char* folder, PackageItem* items, int count, StageTimes* times) {
    for (int i = 0; i < count; ++i)
        if (!OpenOutput(folder, static_cast<uint32_t>(i), &items[i])) return false;
    Stopwatch watch;
    StartWatch(&watch);
    bool written = WriteThroughWindow(items, count);
    times->write = ElapsedSeconds(watch);
    return written;
}

bool RunStages(const char* setupPath, const char* folder, StageTimes* times) {
    Stopwatch watch;
    StartWatch(&watch);
    uint8_t* image = nullptr;
    uint32_t size = 0;
    if (!ReadWholeFile(setupPath, &image, &size)) return false;
    times->read = ElapsedSeconds(watch);

    StartWatch(&watch);
    BlobTable state = {};
    StatusValue loaded = AppendOwnedBlob(&state, image, size, 1);
    times->manifest = ElapsedSeconds(watch);
    if (StatusFailed(loaded)) {
        PlatformFree(image);
        return Fail("the setup file carries no readable container at its end");
    }

    static PayloadEntry entries[kMaxPayloads];
    static PackageItem items[kMaxPayloads];
    int count = ListPayloads(state.blobs[0], entries, kMaxPayloads);
    CreateDirectoryA(folder, nullptr);
    bool ok = ExtractPayloads(entries, count, items, times) && WriteThroughWindowTimed(folder, items, count, times);
    for (int i = 0; i < count; ++i)
        if (!items[i].payloadLent) PlatformFree(items[i].payload);
    PlatformFree(state.blobs[0].data);
    PlatformFree(state.blobs[0].manifest);
    PlatformFree(state.blobs);
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
    std::printf("read %.4f\nmanifest %.4f\ninflate %.4f\nverify %.4f\nwrite %.4f\n", times.read, times.manifest,
                times.inflate, times.verify, times.write);
    return 0;
}
