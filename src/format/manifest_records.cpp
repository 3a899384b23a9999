#include "format/manifest_records.h"

#include "format/entry_format.h"

ManifestWalkEnd WalkManifestRecords(const uint8_t* manifest, uint32_t size, ManifestRecordVisitor visit,
                                    void* context) {
    uint32_t offset = 0;
    while (offset < size) {
        if (size - offset < kManifestRecordHeaderSize) return ManifestWalkEnd::kMalformed;
        uint32_t id = ReadU32Le(manifest + offset);
        uint32_t length = ReadU32Le(manifest + offset + 4);
        if (length > size - offset - kManifestRecordHeaderSize) return ManifestWalkEnd::kMalformed;
        if (!visit({id, manifest + offset + kManifestRecordHeaderSize, length}, context))
            return ManifestWalkEnd::kStopped;
        offset += kManifestRecordHeaderSize + length;
    }
    return ManifestWalkEnd::kFinished;
}
