// The entry chain reader over a blob made of the input, for both entry types,
// a few ids and every combination of the blob flags, differentially: what the
// launcher reads in pieces (from memory, and from a file through windows of a
// size the input picks) must match a plain reference reader that inflates
// the whole entry at once, hashes it and checks its signature: the same
// status, the same line, the same bytes.
#include <openssl/sha.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/status_lines.h"
#include "exact_copy.h"
#include "format/chain_walk.h"
#include "format/read_entry.h"
#include "format/verify_entry_signature.h"
#include "fuzz_check.h"
#include "platform/platform.h"

namespace {

bool IsReadEntryLine(uint32_t line, bool manifest) {
    if (line == kLineEntryNotFound) return true;
    if (manifest)
        return line == kLineManifestInflated || line == kLineManifestNotInflated || line == kLineManifestCopied ||
               line == kLineNoMemoryForManifest || line == kLineManifestSignatureBad ||
               line == kLineManifestKeyNotLoaded;
    return line == kLineEmptyPayloadVerified || line == kLineNoMemoryForEmptyPayload ||
           line == kLinePayloadInflated || line == kLinePayloadNotInflated || line == kLinePayloadCopied ||
           line == kLineNoMemoryForPayload || line == kLinePayloadSignatureBad || line == kLinePayloadKeyNotLoaded;
}

// The reference: zlib's inflate over the whole data into one growing string.
// Bytes after the stream's end are ignored; data that end before it, and
// content past the ceiling, fail.
bool InflateWhole(const uint8_t* data, uint32_t length, uint64_t ceiling, std::string* content) {
    z_stream stream = {};
    if (inflateInit(&stream) != Z_OK) return false;
    stream.next_in = const_cast<uint8_t*>(data);
    stream.avail_in = length;
    char piece[65536];
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(piece);
        stream.avail_out = sizeof piece;
        result = inflate(&stream, Z_NO_FLUSH);
        content->append(piece, sizeof piece - stream.avail_out);
        if (result == Z_BUF_ERROR && stream.avail_out == 0) result = Z_OK;
        if (content->size() > ceiling) result = Z_MEM_ERROR;
    }
    inflateEnd(&stream);
    return result == Z_STREAM_END;
}

struct Reference {
    StatusValue status;
    std::string content;
};

StatusValue SignatureStatus(const std::string& content, const ChainStep& step, const uint8_t* blob, bool manifest) {
    StatusValue verified =
        VerifyEntrySignature(reinterpret_cast<const uint8_t*>(content.data()), static_cast<uint32_t>(content.size()),
                             blob + step.signatureOffset, step.signatureLength);
    if (StatusSucceeded(verified)) return verified;
    uint32_t code = StatusCode(verified);
    if (code == kNteBadKey) return StatusOf(code, manifest ? kLineManifestKeyNotLoaded : kLinePayloadKeyNotLoaded);
    return StatusOf(code, manifest ? kLineManifestSignatureBad : kLinePayloadSignatureBad);
}

Reference ReadReference(const uint8_t* blob, uint32_t size, uint32_t flags, const EntryTypeGuid& type, uint32_t id) {
    bool manifest = &type == &ManifestEntryGuid;
    bool isSigned = (flags & kBlobSigned) != 0;
    ChainStep step;
    if (FindChainEntry(MemorySource(blob, size), type, id, &step) != ChainSearch::kFound)
        return {StatusOf(kErrorNotFound, kLineEntryNotFound), {}};
    Reference out = {0, {}};
    if (!manifest && isSigned && step.dataLength == 0) {
        out.status = StatusOf(kErrorSuccess, kLineEmptyPayloadVerified);
    } else if (flags & kBlobCompressed) {
        uint64_t ceiling = manifest ? kMaxManifestContentLength : kMaxEntryContentLength;
        if (!InflateWhole(blob + step.dataOffset, step.dataLength, ceiling, &out.content))
            return {StatusOf(kErrorInvalidData, manifest ? kLineManifestNotInflated : kLinePayloadNotInflated), {}};
        out.status = StatusOf(kErrorSuccess, manifest ? kLineManifestInflated : kLinePayloadInflated);
    } else {
        out.content.assign(reinterpret_cast<const char*>(blob + step.dataOffset), step.dataLength);
        out.status = StatusOf(kErrorSuccess, manifest ? kLineManifestCopied : kLinePayloadCopied);
    }
    if (isSigned) {
        StatusValue verified = SignatureStatus(out.content, step, blob, manifest);
        if (StatusFailed(verified)) return {verified, {}};
    }
    return out;
}

// ReadEntry against the reference; a failed read leaves its outputs as they were.
void CompareReadEntry(const ContainerBlob& blob, const Reference& expected, const EntryTypeGuid& type, uint32_t id) {
    static uint8_t untouched;
    uint8_t* content = &untouched;
    uint32_t length = 0xA5A5A5A5u;
    StatusValue status = ReadEntry(blob, type, id, &content, &length);
    FUZZ_CHECK(IsReadEntryLine(StatusLine(status), &type == &ManifestEntryGuid));
    FUZZ_CHECK(status == expected.status);
    if (StatusFailed(status)) {
        FUZZ_CHECK(content == &untouched && length == 0xA5A5A5A5u);
        return;
    }
    FUZZ_CHECK(content != nullptr && content != &untouched);
    FUZZ_CHECK(length == expected.content.size() && std::memcmp(content, expected.content.data(), length) == 0);
    PlatformFree(content);
}

// The rest of an open stream, `piece` bytes at a time (at most 4096); the
// stream's final result goes to `result`.
std::string ReadRest(EntryStream* stream, StreamResult* result, uint32_t piece) {
    std::string content;
    uint8_t buffer[4096];
    while (*result == StreamResult::kMore) {
        uint32_t got = 0;
        *result = ReadEntryStream(stream, buffer, piece, &got);
        content.append(reinterpret_cast<const char*>(buffer), got);
    }
    CloseEntryStream(stream);
    return content;
}

// The payload verified in one pass, then read again as the writer reads it,
// in pieces of `piece` bytes, and as the lock check makes it again: the
// content is the reference's each time.
void ComparePayload(const ContainerBlob& blob, const Reference& expected, uint32_t id, uint32_t piece) {
    VerifiedPayload payload;
    StatusValue status = VerifyPayloadEntry(blob, id, &payload);
    FUZZ_CHECK(status == expected.status);
    if (StatusFailed(status)) return;
    FUZZ_CHECK(payload.contentLength == expected.content.size());
    uint8_t digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const uint8_t*>(expected.content.data()), expected.content.size(), digest);
    FUZZ_CHECK(std::memcmp(digest, payload.digest, sizeof digest) == 0);

    EntryStream stream;
    StreamResult result = OpenPayloadStream(&stream, payload);
    std::string written = ReadRest(&stream, &result, piece);
    FUZZ_CHECK(result == StreamResult::kEnded);
    FUZZ_CHECK(written == expected.content);

    // Made again without the zlib check, as the writer makes it: the same
    // bytes, ending in the same place.
    if (!payload.compressed) return;
    result = OpenPayloadStreamForWriting(&stream, payload);
    std::string again = ReadRest(&stream, &result, piece);
    FUZZ_CHECK(result == StreamResult::kEnded);
    FUZZ_CHECK(again == expected.content);
}

// The entry's data read through a file window of `window` bytes.
void CompareWindowedStream(FILE* file, const uint8_t* blob, uint32_t size, uint32_t flags, uint32_t id,
                           uint32_t window) {
    ChainStep step;
    if (!(flags & kBlobCompressed) ||
        FindChainEntry(MemorySource(blob, size), PayloadEntryGuid, id, &step) != ChainSearch::kFound)
        return;
    std::string reference;
    bool inflates = InflateWhole(blob + step.dataOffset, step.dataLength, kMaxEntryContentLength, &reference);
    EntryStream stream;
    StreamResult result = OpenEntryStreamWithWindow(&stream, FileSource(file, size), step.dataOffset,
                                                    step.dataLength, true, kMaxEntryContentLength, window);
    std::string content = ReadRest(&stream, &result, 1000);
    FUZZ_CHECK((result == StreamResult::kEnded) == inflates);
    FUZZ_CHECK(result != StreamResult::kReadFailed && result != StreamResult::kNoMemory);
    if (inflates) FUZZ_CHECK(content == reference);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    uint8_t* bytes = ExactCopy(data, size);
    if (!bytes) return 0;
    const uint32_t blobSize = static_cast<uint32_t>(size);
    FILE* file = std::tmpfile();
    if (file && size) std::fwrite(data, 1, size, file);
    if (file) std::fflush(file);

    // The ids the packer hands out, and the id of the last trailer so that
    // mutations reach the extraction of whatever entry stands last; the
    // window and piece sizes come from the input too, so that their edges
    // fall anywhere in a stream.
    uint32_t lastId = size >= kEntryTrailerSize ? ReadU32Le(data + size - 12) : 1;
    uint32_t ids[] = {0, 1000, 1001, lastId};
    uint32_t window = 1 + (size ? data[0] % 64 : 0);
    uint32_t piece = 1 + (size > 1 ? data[1] * 16 % 4096 : 0);
    static const uint32_t kFlags[] = {kBlobCompressed | kBlobSigned, 0, kBlobCompressed, kBlobSigned};
    for (uint32_t flags : kFlags) {
        ContainerBlob inMemory = {bytes, blobSize, nullptr, 0, flags, nullptr};
        ContainerBlob inFile = {nullptr, blobSize, nullptr, 0, flags, file};
        for (uint32_t id : ids) {
            Reference manifest = ReadReference(bytes, blobSize, flags, ManifestEntryGuid, id);
            Reference payload = ReadReference(bytes, blobSize, flags, PayloadEntryGuid, id);
            for (const ContainerBlob* blob : {&inMemory, &inFile}) {
                if (blob == &inFile && !file) continue;
                CompareReadEntry(*blob, manifest, ManifestEntryGuid, id);
                CompareReadEntry(*blob, payload, PayloadEntryGuid, id);
                ComparePayload(*blob, payload, id, piece);
            }
            if (file) CompareWindowedStream(file, bytes, blobSize, flags, id, window);
        }
    }
    if (file) std::fclose(file);
    PlatformFree(bytes);
    return 0;
}
