#include "container/blob_table.h"

#include <gtest/gtest.h>

#include "container_image.h"

namespace {

using namespace container_test;

constexpr uint32_t kNoMemoryLine = 907;
constexpr uint32_t kNotAppendedLine = 892;

const Bytes kManifest = Text("manifest");

Bytes SignedBlob(const Bytes& manifest) {
    return Concat({Text("bytes in front"), Entry(ManifestEntryGuid, 0, manifest, kBlobCompressed | kBlobSigned)});
}

StatusValue AddCopy(BlobTable* state, const Bytes& bytes) {
    return AppendBlobCopy(state, bytes.data(), static_cast<uint32_t>(bytes.size()), kNoMemoryLine, kNotAppendedLine);
}

TEST(AppendBlob, GrowsTheTableOneRecordAtATime) {
    BlobTable state = {};
    for (uint32_t i = 0; i < 5; ++i) {
        ContainerBlob blob = {};
        blob.size = i;
        blob.flags = 3;
        EXPECT_EQ(StatusCode(AppendBlob(&state, blob, kNotAppendedLine)), 0u);
        EXPECT_EQ(state.blobCount, i + 1);
    }
    for (uint32_t i = 0; i < 5; ++i) EXPECT_EQ(state.blobs[i].size, i);
    PlatformFree(state.blobs);
}

TEST(AppendBlob, FailureLeavesTheTableAsItWas) {
    BlobTable state = {};
    ContainerBlob blob = {};
    blob.size = 42;
    ASSERT_EQ(StatusCode(AppendBlob(&state, blob, kNotAppendedLine)), 0u);
    ContainerBlob* before = state.blobs;
    for (uint32_t lastError : {0u, 14u}) {
        FailingAllocator failing([](bool, uint32_t, size_t) { return true; }, lastError);
        StatusValue status = AppendBlob(&state, blob, kNotAppendedLine);
        EXPECT_EQ(StatusCode(status), lastError ? lastError : 8u);
        EXPECT_EQ(StatusLine(status), kNotAppendedLine);
        EXPECT_EQ(state.blobs, before);
        EXPECT_EQ(state.blobCount, 1u);
    }
    PlatformFree(state.blobs);
}

TEST(AppendBlobCopy, AddsAPrivateCopyWithItsManifest) {
    BlobTable state = {};
    Bytes bytes = SignedBlob(kManifest);
    StatusValue status = AddCopy(&state, bytes);
    EXPECT_EQ(StatusCode(status), 0u);
    EXPECT_EQ(StatusLine(status), 547u) << "the manifest's own status";
    ASSERT_EQ(state.blobCount, 1u);
    const ContainerBlob& blob = state.blobs[0];
    EXPECT_NE(blob.data, bytes.data());
    EXPECT_EQ(Span(blob.data, blob.size), bytes);
    EXPECT_EQ(Span(blob.manifest, blob.manifestSize), kManifest);
    EXPECT_EQ(blob.flags, 3u);
    ReleaseBlobs(&state);
}

TEST(AppendBlobCopy, FailuresLeaveNothingBehind) {
    BlobTable state = {};
    ASSERT_EQ(StatusCode(AddCopy(&state, SignedBlob(Text("first")))), 0u);
    const Bytes good = SignedBlob(kManifest);
    Bytes badSignature = good;
    badSignature[badSignature.size() - kEntryTrailerSize - 1] ^= 1;

    StatusValue noManifest = AddCopy(&state, Text("no chain here"));
    EXPECT_EQ(StatusCode(noManifest), 1168u);
    EXPECT_EQ(StatusLine(noManifest), 509u);
    StatusValue unsigned_ = AddCopy(&state, badSignature);
    EXPECT_EQ(StatusCode(unsigned_), 1392u);
    EXPECT_EQ(StatusLine(unsigned_), 592u);
    {
        // The copy of the blob is the first allocation.
        FailingAllocator failing([](bool, uint32_t, size_t bytes) { return bytes == 1234; });
        Bytes sized = Concat({Bytes(1234 - good.size(), 0), good});
        StatusValue noCopy = AddCopy(&state, sized);
        EXPECT_EQ(StatusCode(noCopy), 8u);
        EXPECT_EQ(StatusLine(noCopy), kNoMemoryLine);
    }
    {
        // Only the table's growth is zero-initialised.
        FailingAllocator failing([](bool, uint32_t flags, size_t) { return (flags & kMemZeroInit) != 0; });
        StatusValue notAppended = AddCopy(&state, good);
        EXPECT_EQ(StatusCode(notAppended), 8u);
        EXPECT_EQ(StatusLine(notAppended), kNotAppendedLine);
    }
    EXPECT_EQ(state.blobCount, 1u) << "the first blob stays, nothing else was added";
    EXPECT_EQ(Span(state.blobs[0].manifest, state.blobs[0].manifestSize), Text("first"));
    ReleaseBlobs(&state);
}

}  // namespace
