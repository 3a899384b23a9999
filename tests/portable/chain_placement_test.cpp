// Which chain a setup file holds, decided once for the launcher and the
// packing tool: a chain in front of a certificate table that closes the file
// is covered by the file's signature and wins over everything added to the
// table or the signature's certificates; where there is none, tags come
// first, then the end of the file, then the bytes in front of the table.
#include "format/chain_placement.h"

#include <gtest/gtest.h>

#include "container/blob_table.h"
#include "container_image.h"
#include "core/status_lines.h"

namespace {

using namespace container_test;

constexpr uint32_t kFlags = kBlobCompressed | kBlobSigned;

Bytes ChainOf(const std::string& manifest) { return Entry(ManifestEntryGuid, 0, Text(manifest), kFlags); }

// A chain whose manifest entry no longer verifies: one byte of its signature
// changed, its trailer intact.
Bytes BrokenChainOf(const std::string& manifest) {
    Bytes chain = ChainOf(manifest);
    chain[chain.size() - kEntryTrailerSize - 1] ^= 1;
    return chain;
}

// The image of PeImage with `front` between the image and its certificate
// table, as a signing tool leaves a setup packed at its end: the table
// closes the file and starts where `front` ends.
Bytes SignedLast(const Bytes& front, const Bytes& certificateData, const Bytes& inTable = {}) {
    Bytes image = PeImage(certificateData, inTable);
    image.insert(image.begin() + kImageBodySize, front.begin(), front.end());
    WriteU32Le(&image[CertificateDirectoryAt()], kImageBodySize + static_cast<uint32_t>(front.size()));
    return image;
}

// Stands in for the certificate reader: answers as it is told and counts
// the calls.
struct FakeTags {
    uint32_t count;
    StatusValue status;
    int calls;
};

StatusValue ReadFakeTags(void* context, const ByteSource&, uint32_t, uint32_t, uint32_t* tagCount) {
    auto* tags = static_cast<FakeTags*>(context);
    ++tags->calls;
    *tagCount = tags->count;
    return tags->status;
}

const Bytes kSignature = Text("DER signature stand-in");
const StatusValue kNothing = StatusOf(0, kLineNothingFound);
const StatusValue kUndecodable = StatusOf(kEInvalidArg, kLineSignatureNotAccepted);

struct PlacementCase {
    const char* name;
    Bytes file;
    FakeTags tags;
    ChainSite site;
    uint32_t chainEnd;
    bool readerAsked;
    uint32_t code;            // of PlaceContainerBlobs over the file
    std::string manifest;     // the one read, when the code is 0
};

std::vector<PlacementCase> Cases() {
    const Bytes good = ChainOf("signed chain");
    const uint32_t tableAt = kImageBodySize + static_cast<uint32_t>(good.size());
    const Bytes image = PeImage(kSignature);
    Bytes plain(image.begin(), image.begin() + kImageBodySize);
    WriteU32Le(&plain[CertificateDirectoryAt()], 0);  // no certificate table
    WriteU32Le(&plain[CertificateDirectoryAt() + 4], 0);
    return {
        {"signed last", SignedLast(good, kSignature), {0, kNothing, 0}, ChainSite::kBeforeCertificateTable, tableAt,
         false, 0, "signed chain"},
        {"signed last, another chain appended in the table", SignedLast(good, kSignature, ChainOf("appended")),
         {0, kNothing, 0}, ChainSite::kBeforeCertificateTable, tableAt, false, 0, "signed chain"},
        {"signed last, a tag added", SignedLast(good, kSignature), {1, kNothing, 0},
         ChainSite::kBeforeCertificateTable, tableAt, false, 0, "signed chain"},
        {"signed last, a tag and an appended chain", SignedLast(good, kSignature, ChainOf("appended")),
         {1, kNothing, 0}, ChainSite::kBeforeCertificateTable, tableAt, false, 0, "signed chain"},
        {"signed last, its manifest broken, a good chain appended",
         SignedLast(BrokenChainOf("signed chain"), kSignature, ChainOf("appended")), {1, kNothing, 0},
         ChainSite::kBeforeCertificateTable, tableAt, false, 1392, ""},
        {"a chain in the certificate table", PeImage(kSignature, ChainOf("in table")), {0, kNothing, 0},
         ChainSite::kCertificateTable, static_cast<uint32_t>(PeImage(kSignature, ChainOf("in table")).size()), true,
         0, "in table"},
        {"tags", PeImage(kSignature, ChainOf("in table")), {2, kNothing, 0}, ChainSite::kTagCertificate, 0, true, 0,
         ""},
        {"a signature that does not decode", PeImage(kSignature, ChainOf("in table")), {0, kUndecodable, 0},
         ChainSite::kTagCertificate, 0, true, kEInvalidArg, ""},
        {"no signature, a chain at the end", Concat({plain, ChainOf("at end")}), {0, kNothing, 0},
         ChainSite::kEndOfFile, static_cast<uint32_t>(plain.size() + ChainOf("at end").size()), false, 0, "at end"},
        {"a table and no chain anywhere", image, {0, kNothing, 0}, ChainSite::kEndOfFile,
         static_cast<uint32_t>(image.size()), true, 1168, ""},
    };
}

TEST(ChainPlacement, SignedChainWinsOtherwiseTagsEndAndFront) {
    for (const PlacementCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        ByteSource file = MemorySource(c.file.data(), static_cast<uint32_t>(c.file.size()));
        FakeTags tags = c.tags;
        ChainPlacement placement = {};
        StatusValue decided = DecideChainPlacement(file, {ReadFakeTags, &tags}, &placement);
        EXPECT_EQ(placement.site, c.site);
        if (c.site != ChainSite::kTagCertificate) EXPECT_EQ(placement.chainEnd, c.chainEnd);
        EXPECT_EQ(tags.calls, c.readerAsked ? 1 : 0);
        EXPECT_EQ(StatusCode(decided), StatusCode(c.tags.status));

        // The launcher's table from the same file, in memory and in a file:
        // the chosen chain's manifest, or its failure and nothing else.
        SourceFile stored(c.file);
        for (const ByteSource& source : {file, stored.Source()}) {
            BlobTable table = {};
            table.ownFile = source.file;  // the launcher's own file, held by `stored` here
            FakeTags again = c.tags;
            StatusValue status = PlaceContainerBlobs(&table, source, {ReadFakeTags, &again}, &placement);
            EXPECT_EQ(StatusCode(status), c.code);
            if (c.code == 0 && c.site != ChainSite::kTagCertificate) {
                ASSERT_EQ(table.blobCount, 1u);
                EXPECT_EQ(table.blobs[0].size, c.chainEnd);
                EXPECT_EQ(Span(table.blobs[0].manifest, table.blobs[0].manifestSize), Text(c.manifest));
            } else {
                EXPECT_EQ(table.blobCount, 0u);
            }
            PlatformFree(table.blobs ? table.blobs[0].data : nullptr);
            if (table.blobCount) PlatformFree(table.blobs[0].manifest);
            PlatformFree(table.blobs);
        }
    }
}

}  // namespace
