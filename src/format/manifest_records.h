// The records of a manifest: u32 id, u32 byte length L, then L bytes of
// UTF-16LE text, back to back with no header and no padding. The launcher and
// the packing tool walk them with this one function, so they can never
// disagree on where a manifest ends or which record is malformed.
#pragma once

#include <cstdint>

constexpr uint32_t kManifestRecordHeaderSize = 8;

struct ManifestRecordView {
    uint32_t id;
    const uint8_t* text;  // inside the manifest; not aligned for UTF-16 access
    uint32_t byteLength;  // an odd length leaves its last byte out of the text
};

enum class ManifestWalkEnd {
    kFinished,   // every record was visited
    kStopped,    // the visitor asked to stop
    kMalformed,  // a record header or text reaches past the manifest's end
};

// Called once per record, in order; returning false stops the walk.
using ManifestRecordVisitor = bool (*)(const ManifestRecordView& record, void* context);

ManifestWalkEnd WalkManifestRecords(const uint8_t* manifest, uint32_t size, ManifestRecordVisitor visit,
                                    void* context);
