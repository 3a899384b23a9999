// The walk of an entry chain: entries laid back to back at the end of a blob,
// each its data (D bytes), its signature (S bytes) and a 28-byte trailer,
// read from the blob's last byte backwards. This is the one walk of the
// format: the launcher looks entries up with it and the packing tool lists
// them with it, so the two can never disagree on what a file holds.
#pragma once

#include <cstdint>

#include "format/byte_source.h"
#include "format/entry_format.h"

enum class ChainStepKind {
    kEntry,        // data, signature and trailer all lie inside the blob
    kSteppedOver,  // a payload trailer whose lengths reach in front of the blob
};

struct ChainStep {
    ChainStepKind kind;
    bool isManifest;
    uint32_t id;
    uint32_t trailerOffset;    // from the blob's start
    uint32_t dataOffset;       // meaningful for kEntry only
    uint32_t dataLength;       // as the trailer says
    uint32_t signatureOffset;  // meaningful for kEntry only
    uint32_t signatureLength;  // as the trailer says
};

enum class ChainEnd {
    kNotYet,            // the walk goes on
    kManifestReached,   // the last step was the manifest entry, which closes every chain
    kUnknownTrailer,    // a trailer of neither entry type
    kNoRoomForTrailer,  // fewer than 28 bytes stand in front of the last step
    kManifestTooLong,   // a manifest trailer whose lengths reach in front of the blob
    kReadFailed,        // the file that holds the blob could not be read
};

struct ChainCursor {
    ByteSource blob;
    uint32_t position;  // every byte from here on has been walked
    ChainEnd end;
};

ChainCursor StartChainWalk(const ByteSource& blob);
ChainCursor StartChainWalk(const uint8_t* blob, uint32_t size);

// The next step back, or false once the walk has ended; `cursor->end` then
// says why. A payload trailer whose signature reaches in front of the blob is
// stepped over at its own start, one whose data do at its signature's start,
// and the walk goes on from there. Nothing outside the blob is read.
bool NextChainStep(ChainCursor* cursor, ChainStep* step);

enum class ChainSearch {
    kFound,
    kNotFound,
    kReadFailed,  // the walk could not read a trailer of the file
};

// The first entry, walking back, of type `type` with id `id`. A manifest
// entry closes the walk, so no entry in front of it is ever found.
ChainSearch FindChainEntry(const ByteSource& blob, const EntryTypeGuid& type, uint32_t id, ChainStep* found);
