// What stays of the extraction once the installer has finished.
#pragma once

#include <cstdint>

#include "extract/extraction_set.h"

// Releases every item, closes open files, deletes what the outcome requires.
void CleanUpExtraction(ExtractionSet* set, uint32_t installerResult, const char* productCode,
                       const wchar_t* destinationFolder);
