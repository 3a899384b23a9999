// An entry's content read back out of its blob in pieces, as the launcher
// reads it: only a window of the data and a piece or two are in memory at a
// time, so a payload of gigabytes is checked and written with the memory a
// small one takes.
#pragma once

#include <cstdint>

#include "chain/signing_key.h"
#include "files/byte_files.h"
#include "format/byte_source.h"
#include "format/entry_stream.h"

// Both read the zlib stream of `dataLength` bytes at `dataOffset` of `blob`
// and give kEnded when it is whole, its end and check included, and yields
// at most `ceiling` bytes; otherwise the stream's failure.

// The content's SHA-256 and length, from the launcher's own digest loop.
StreamResult DigestEntryContent(const ByteSource& blob, uint32_t dataOffset, uint32_t dataLength, uint64_t ceiling,
                                Sha256Digest* digest, uint64_t* length);

// Hands every content byte to `visit` once, in order.
StreamResult InflateEntryContent(const ByteSource& blob, uint32_t dataOffset, uint32_t dataLength, uint64_t ceiling,
                                 const PieceVisitor& visit);
