// The records of a blob's manifest: u32 id, u32 byte length L, then L bytes
// of UTF-16LE text, back to back with no header and no padding.
#pragma once

#include <cstdint>

#include "launcher/launcher_state.h"

// Called once per record with the blob index, the record id and the record
// text converted to the ANSI code page (owned by the enumeration, released
// after the call). Returning 0 stops the whole enumeration.
using ManifestCallback = int (*)(uint32_t blobIndex, uint32_t recordId, const char* text, void* context);

// Offers every record of every blob's manifest to `callback`, in blob-table
// order and record order. True when the walk ended normally or because the
// callback asked to stop; false when a malformed record or a failed
// allocation ended it (records before it have been offered).
bool EnumerateManifest(const LauncherState* state, ManifestCallback callback, void* context);
