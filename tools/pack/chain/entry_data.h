// The data field of an entry: one zlib stream holding the entry's content.
#pragma once

#include "files/byte_files.h"

// Deflate at the best compression, or, where that is not smaller than the
// content kept as it is, stored blocks in a zlib stream: cabinets are usually
// compressed already, and stored blocks inflate at memory-copy speed.
// Written to `sink` as the content is read, in pieces; `observe` sees every
// content byte once, in order. Returns the data's length.
uint64_t WriteEntryData(ContentReader* content, ByteSink* sink, const PieceVisitor& observe);
Bytes CompressEntryContent(const uint8_t* content, size_t size);

// The content in stored deflate blocks of at most 65535 bytes, with the zlib
// header and the Adler-32 of the content.
Bytes StoredZlibStream(const uint8_t* content, size_t size);
