// Offering the manifest records of every blob, as UTF-16 text, to the
// matchers of the selection step.
#pragma once

#include <cstdint>

#include "container/blob_table.h"

// Called once per record with the blob index, the record id and the record's
// `units` UTF-16 code units (aligned, owned by the enumeration, released after
// the call). The matchers split the text into fields before they convert
// anything to the ANSI code page. Returning 0 stops the whole enumeration.
using ManifestCallback = int (*)(uint32_t blobIndex, uint32_t recordId, const char16_t* text, uint32_t units,
                                 void* context);

// Offers every record of every blob's manifest to `callback`, in blob-table
// order and record order. True when the walk ended normally or because the
// callback asked to stop; false when a malformed record or a failed
// allocation ended it (records before it have been offered).
bool EnumerateManifest(const BlobTable* table, ManifestCallback callback, void* context);
