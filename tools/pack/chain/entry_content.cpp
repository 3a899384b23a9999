#include "chain/entry_content.h"

#include "format/verify_entry_signature.h"

namespace {
// Closed however the reading ends, a throwing visitor included.
struct OpenedStream {
    EntryStream stream;
    ~OpenedStream() { CloseEntryStream(&stream); }
};
}  // namespace

StreamResult DigestEntryContent(const ByteSource& blob, uint32_t dataOffset, uint32_t dataLength, uint64_t ceiling,
                                Sha256Digest* digest, uint64_t* length) {
    static_assert(sizeof(Sha256Digest) == kDigestSize, "a SHA-256 digest");
    OpenedStream opened;
    *length = 0;
    StreamResult result = OpenEntryStream(&opened.stream, blob, dataOffset, dataLength, true, ceiling);
    if (result == StreamResult::kMore) result = DigestEntryStream(&opened.stream, digest->data(), length);
    return result;
}

StreamResult InflateEntryContent(const ByteSource& blob, uint32_t dataOffset, uint32_t dataLength, uint64_t ceiling,
                                 const PieceVisitor& visit) {
    Bytes piece(kPieceSize);
    OpenedStream opened;
    StreamResult result = OpenEntryStream(&opened.stream, blob, dataOffset, dataLength, true, ceiling);
    while (result == StreamResult::kMore) {
        uint32_t got = 0;
        result = ReadEntryStream(&opened.stream, piece.data(), static_cast<uint32_t>(piece.size()), &got);
        if (result == StreamResult::kMore || result == StreamResult::kEnded) visit(piece.data(), got);
    }
    return result;
}
