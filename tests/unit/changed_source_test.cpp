// A payload whose data change after they were verified, into data that are
// whole in themselves (a zlib stream of other content, its Adler-32 right):
// the writer writes what it reads, and the file is never locked and handed
// over, because the lock check compares it with the SHA-256 taken when the
// entry was verified, for stored, plain and deflated data, in memory and in
// a file alike.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "extract/chunk_writer.h"
#include "extract/file_lock.h"
#include "extraction_files.h"

namespace {

using namespace container_test;

struct DataKind {
    const char* name;
    uint32_t flags;
    int level;  // for compressed data; 0 gives stored blocks
};

// Text of one line per number: its deflated size moves with small changes,
// so another text of the same deflated size can be looked for.
Bytes Lines(size_t size) {
    std::string text;
    for (size_t i = 0; text.size() < size; ++i) text += "line " + std::to_string(i * 7919 % 100003) + "\n";
    text.resize(size);
    return Text(text);
}

Bytes DataOf(const Bytes& content, const DataKind& kind) {
    return (kind.flags & kBlobCompressed) ? ZlibStream(content, kind.level) : content;
}

// Other content whose data have the same length as those of `content`: one
// digit changed, and for deflated data the first such change that deflates
// to the same size.
Bytes ChangedData(const Bytes& content, const DataKind& kind) {
    const size_t length = DataOf(content, kind).size();
    for (size_t at = content.size() / 2; at < content.size(); ++at) {
        if (content[at] < '0' || content[at] > '9') continue;
        Bytes changed = content;
        changed[at] = static_cast<uint8_t>('0' + (content[at] - '0' + 1) % 10);
        Bytes data = DataOf(changed, kind);
        if (data.size() == length) return data;
    }
    return {};
}

TEST(ChangedSource, DataChangedAfterVerificationAreNeverHandedOver) {
    TestFolder folder("changed-source");
    const std::string path = folder.path() + "\\main.msi";
    const Bytes content = Lines(kChunkSize + 70000);
    const DataKind kinds[] = {{"stored blocks", kBlobCompressed | kBlobSigned, 0},
                              {"deflated", kBlobCompressed | kBlobSigned, 9},
                              {"plain", kBlobSigned, 0}};
    for (const DataKind& kind : kinds) {
        const Bytes data = DataOf(content, kind);
        const Bytes changed = ChangedData(content, kind);
        ASSERT_EQ(changed.size(), data.size()) << kind.name;
        ASSERT_NE(changed, data) << kind.name;
        const Bytes chain = Concat({Text("in front"), Entry(ManifestEntryGuid, 0, Text("manifest"), kind.flags),
                                    RawEntry(PayloadEntryGuid, 1, data, Sign(content))});
        for (bool inFile : {false, true}) {
            for (bool change : {false, true}) {
                SCOPED_TRACE(std::string(kind.name) + (inFile ? ", in a file" : ", in memory") +
                             (change ? ", changed after verification" : ", unchanged"));
                Bytes memory = chain;
                SourceFile file(chain);
                ContainerBlob blob = {};
                blob.size = static_cast<uint32_t>(chain.size());
                blob.flags = kind.flags;
                if (inFile)
                    blob.file = file.Source().file;
                else
                    blob.data = memory.data();

                PackageItem item = {};
                ASSERT_EQ(StatusCode(VerifyPayloadEntry(blob, 1, &item.payload)), 0u);
                if (change && inFile) file.Overwrite(item.payload.dataOffset, changed);
                if (change && !inFile) std::copy(changed.begin(), changed.end(), memory.begin() + item.payload.dataOffset);

                FileLock lock = {};
                uint32_t result = WriteOneItem(&item, path, &lock);
                EXPECT_EQ(result, change ? 29u : 0u);
                EXPECT_EQ(lock.readLock != nullptr, !change);
                if (!change) EXPECT_TRUE(ReadWholeFile(path) == std::string(content.begin(), content.end()));
                ReleaseFileLock(&lock);
                DeleteFileA(path.c_str());
            }
        }
    }
}

}  // namespace
