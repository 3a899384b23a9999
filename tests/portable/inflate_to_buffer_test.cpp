#include "format/inflate_to_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "format/read_entry.h"
#include "container_image.h"

namespace {

using namespace container_test;

struct Inflated {
    int result;
    Bytes content;
    bool nullOnFailure;
};

Inflated Inflate(const Bytes& stream, uint32_t maxLength = kMaxEntryContentLength) {
    uint8_t sentinel = 0;
    uint8_t* buffer = &sentinel;
    uint32_t length = 99;
    // A heap block of exactly the stream's size: reads past it are caught.
    Bytes copy = stream;
    int result = maxLength == kMaxEntryContentLength
                     ? InflateToBuffer(&buffer, &length, copy.data(), static_cast<uint32_t>(copy.size()))
                     : InflateToBufferWithin(&buffer, &length, copy.data(), static_cast<uint32_t>(copy.size()), maxLength);
    Inflated inflated = {result, {}, buffer == nullptr && length == 0};
    if (result == 0) {
        inflated.content = Span(buffer, length);
        PlatformFree(buffer);
    }
    return inflated;
}

TEST(InflateToBuffer, RoundTripsContentOfEverySize) {
    const Bytes contents[] = {{}, Text("x"), Text(std::string(300, 'a')), NoiseBytes(4096), NoiseBytes(100000),
                              Bytes(3 * 1024 * 1024, 0x5A)};
    for (const Bytes& content : contents) {
        for (int level : {0, 1, 9}) {
            Inflated inflated = Inflate(ZlibStream(content, level));
            EXPECT_EQ(inflated.result, 0) << content.size() << " bytes at level " << level;
            EXPECT_EQ(inflated.content, content) << content.size() << " bytes at level " << level;
        }
    }
}

TEST(InflateToBuffer, BadStreamsFailWithDataErrorAndNoBuffer) {
    const Bytes content = Text(std::string(1000, 'q'));
    const Bytes stream = ZlibStream(content);
    Bytes badCheck = stream;
    badCheck.back() ^= 0x40;
    struct Case {
        const char* what;
        Bytes stream;
    };
    const Case cases[] = {
        {"no input", {}},
        {"header only", Bytes(stream.begin(), stream.begin() + 2)},
        {"cut before its check", Bytes(stream.begin(), stream.end() - 1)},
        {"wrong check", badCheck},
        {"raw text", content},
        {"preset dictionary", StreamWithDictionary(content)},
    };
    for (const Case& c : cases) {
        Inflated inflated = Inflate(c.stream);
        EXPECT_EQ(inflated.result, -3) << c.what;
        EXPECT_TRUE(inflated.nullOnFailure) << c.what;
    }
}

TEST(InflateToBuffer, BytesAfterTheStreamAreIgnored) {
    const Bytes content = NoiseBytes(777);
    Bytes stream = ZlibStream(content);
    Append(&stream, NoiseBytes(50, 3));
    EXPECT_EQ(Inflate(stream).content, content);
}

// Content that would not fit the u32 length fails as out of room, with
// nothing written past the buffer; the ceiling is lowered so the test need
// not inflate 4 GiB.
TEST(InflateToBuffer, ContentBeyondTheCeilingFailsWithoutOverrun) {
    for (uint32_t ceiling : {1u, 4096u, 5000u, 100000u}) {
        for (int level : {0, 9}) {
            const Bytes exact = NoiseBytes(ceiling, ceiling);
            Inflated fits = Inflate(ZlibStream(exact, level), ceiling);
            EXPECT_EQ(fits.result, 0) << ceiling << " at level " << level;
            EXPECT_EQ(fits.content, exact);

            Bytes oneMore = exact;
            oneMore.push_back(0x42);
            Inflated over = Inflate(ZlibStream(oneMore, level), ceiling);
            EXPECT_EQ(over.result, -4) << ceiling << " at level " << level;
            EXPECT_TRUE(over.nullOnFailure);
        }
    }
}

TEST(InflateToBuffer, OutOfMemoryFailsWithMemError) {
    const Bytes stream = ZlibStream(Bytes(100000, 1));
    for (bool failReAlloc : {false, true}) {
        FailingAllocator failing([failReAlloc](bool isReAlloc, uint32_t, size_t) { return isReAlloc == failReAlloc; });
        Inflated inflated = Inflate(stream);
        EXPECT_EQ(inflated.result, -4);
        EXPECT_TRUE(inflated.nullOnFailure);
    }
}

// Numbered lines with varying values: text that deflates about fourfold,
// evenly from start to end, as logs and most documents do.
Bytes EvenText(size_t size) {
    std::string text;
    uint32_t value = 12345;
    for (uint32_t line = 0; text.size() < size; ++line) {
        value = value * 1103515245u + 12345u;
        text += "record " + std::to_string(line) + " value " + std::to_string(value >> 16) + " state ok\n";
    }
    text.resize(size);
    return Text(text);
}

// A re-allocation holds the old and the new block at once. Content of even
// make grows the buffer once, straight to about its size, so no block of
// nearly twice the content is ever asked for.
TEST(InflateToBuffer, EvenContentGrowsOnceToAboutItsSize) {
    const Bytes content = EvenText(4u * 1024 * 1024);
    const Bytes stream = ZlibStream(content, 6);
    ASSERT_LT(stream.size() * 3, content.size());
    size_t largest = 0;
    FailingAllocator watching([&largest](bool, uint32_t, size_t bytes) {
        largest = std::max(largest, bytes);
        return false;
    });
    Inflated inflated = Inflate(stream);
    EXPECT_EQ(inflated.result, 0);
    EXPECT_TRUE(inflated.content == content);
    EXPECT_EQ(watching.reAllocations, 1);
    EXPECT_LE(largest, content.size() + content.size() / 4);
}

// A small stream that inflates to a lot: the buffer grows geometrically, so
// the copying of re-allocations stays linear in the output.
TEST(InflateToBuffer, OutputGrowsGeometrically) {
    const Bytes content(32u * 1024 * 1024, 0);
    const Bytes stream = ZlibStream(content, 1);
    ASSERT_LT(stream.size(), content.size() / 100);
    FailingAllocator counting(NeverFail());
    Inflated inflated = Inflate(stream);
    EXPECT_EQ(inflated.result, 0);
    EXPECT_TRUE(inflated.content == content);
    EXPECT_EQ(counting.allocations, 1);
    EXPECT_LE(counting.reAllocations, 16);  // from the input size doubled to 32 MiB, and a trim
}

// Incompressible cabinets are packed as stored blocks; they take one buffer
// that is never re-allocated.
TEST(InflateToBuffer, StoredBlocksFillOneBuffer) {
    const Bytes content = NoiseBytes(5u * 1024 * 1024);
    const Bytes stream = ZlibStream(content, 0);
    FailingAllocator counting(NeverFail());
    Inflated inflated = Inflate(stream);
    EXPECT_EQ(inflated.result, 0);
    EXPECT_TRUE(inflated.content == content);
    EXPECT_EQ(counting.allocations, 1);
    EXPECT_EQ(counting.reAllocations, 0);
}

}  // namespace
