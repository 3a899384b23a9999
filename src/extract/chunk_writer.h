// Writing the extracted files to disk a bounded chunk per call, so that the
// progress window can put each call between its window messages.
#pragma once

#include <cstdint>

#include "extract/extraction_set.h"

// Each chunk is read again from where the item's verified content stands,
// into one buffer that every chunk reuses; a content that ends anywhere but
// where it was verified to end fails the item, and a finished file counts
// as written only once it is locked holding the verified SHA-256
// (LockFileHoldingPayload). Results: 234 (ERROR_MORE_DATA)
// progress was made, call again; 0 every item is complete, do not call again;
// 29 (ERROR_WRITE_FAULT) this call's write failed or came up short, and a
// further call retries from where the file now stands; the set's failureCode
// then says why. `percent`, when given, receives the current item's share
// written, 0..100.
uint32_t WriteNextChunk(ExtractionSet* set, uint32_t* percent);

// Closes the current item's content stream and frees the writer's chunk buffer.
void ReleaseChunkWriter(ExtractionSet* set);
