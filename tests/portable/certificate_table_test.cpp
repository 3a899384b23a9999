#include "format/certificate_table.h"

#include <gtest/gtest.h>

#include "container_image.h"

namespace {

using namespace container_test;

// The certificate data found in an image, or nothing.
struct Found {
    bool found;
    Bytes data;
};

Found Find(const Bytes& image) {
    // A heap block of exactly the image's size: a read past it is caught.
    Bytes copy = image;
    const uint8_t* data = nullptr;
    uint32_t length = 0;
    bool found = FindCertificateData(copy.data(), static_cast<uint32_t>(copy.size()), &data, &length);
    if (!found) return {false, {}};
    EXPECT_GE(data, copy.data());
    EXPECT_LE(data + length, copy.data() + copy.size());
    return {true, Bytes(data, data + length)};
}

Bytes WithU32(Bytes image, uint32_t at, uint32_t value) {
    WriteU32Le(&image[at], value);
    return image;
}

const Bytes kSignature = Text("DER-encoded signed message");
const Bytes kChain = Text("entry chain appended inside the certificate entry");

TEST(FindCertificateData, HandsOutTheEntryDataWithWhatFollowsIt) {
    Found found = Find(PeImage(kSignature, kChain));
    ASSERT_TRUE(found.found);
    EXPECT_EQ(found.data, Concat({kSignature, kChain}));
}

TEST(FindCertificateData, DwLengthShorterThanTheTableLimitsTheData) {
    Bytes image = PeImage(kSignature, kChain);
    image = WithU32(image, kImageBodySize, 8 + static_cast<uint32_t>(kSignature.size()));
    EXPECT_EQ(Find(image).data, kSignature);
}

TEST(FindCertificateData, ImagesThatFailAHeaderTest) {
    const Bytes good = PeImage(kSignature, kChain);
    const uint32_t directory = CertificateDirectoryAt();
    const uint32_t tableSize = static_cast<uint32_t>(good.size()) - kImageBodySize;
    PeLayout pe32;
    pe32.optionalMagic = 0x10B;
    PeLayout noMz;
    noMz.dosMagic = 0x4D5A;
    PeLayout noPe;
    noPe.peSignature = 0x4551;
    struct Case {
        const char* what;
        Bytes image;
    };
    const Case cases[] = {
        {"empty file", {}},
        {"63 bytes", Bytes(good.begin(), good.begin() + 63)},
        {"no MZ", PeImage(kSignature, kChain, noMz)},
        {"no PE signature", PeImage(kSignature, kChain, noPe)},
        {"PE32 image", PeImage(kSignature, kChain, pe32)},
        {"headers cut short", Bytes(good.begin(), good.begin() + PeLayout().peOffset + 263)},
        {"e_lfanew past the end", WithU32(good, 60, static_cast<uint32_t>(good.size()) - 200)},
        {"negative e_lfanew", WithU32(good, 60, 0xFFFFFF00u)},
        {"e_lfanew whose sum wraps", WithU32(good, 60, 0xFFFFFFF0u)},
        {"no certificate table", WithU32(good, directory + 4, 0)},
        {"table of 7 bytes", WithU32(good, directory + 4, 7)},
        {"table past the end", WithU32(good, directory + 4, tableSize + 1)},
        {"table offset past the end", WithU32(good, directory, static_cast<uint32_t>(good.size()))},
        {"table whose end wraps", WithU32(WithU32(good, directory, 0xFFFFFF00u), directory + 4, 0x200)},
        {"dwLength below 8", WithU32(good, kImageBodySize, 7)},
        {"dwLength of 0", WithU32(good, kImageBodySize, 0)},
        {"dwLength beyond the table", WithU32(good, kImageBodySize, tableSize + 1)},
        {"dwLength near 4 GiB", WithU32(good, kImageBodySize, 0xFFFFFFFFu)},
    };
    for (const Case& c : cases) EXPECT_FALSE(Find(c.image).found) << c.what;
}

// Headers that end exactly at the image's end pass, one byte less does not.
// The 8-byte table stands in the DOS stub so that it fits as well.
TEST(FindCertificateData, HeadersEndingAtTheImageEndPass) {
    Bytes image(128 + 264, 0);
    image[0] = 'M';
    image[1] = 'Z';
    WriteU32Le(&image[60], 128);
    WriteU32Le(&image[128], 0x4550);
    image[128 + 24] = 0x0B;
    image[128 + 25] = 0x02;
    WriteU32Le(&image[128 + 168], 64);
    WriteU32Le(&image[128 + 172], 8);
    WriteU32Le(&image[64], 8);
    Found found = Find(image);
    EXPECT_TRUE(found.found);
    EXPECT_TRUE(found.data.empty());
    EXPECT_FALSE(Find(Bytes(image.begin(), image.end() - 1)).found);
}

}  // namespace
