// Package lines: "platform\languages\product code\product name", one per
// installer package in a manifest, and the choice made among them.
#pragma once

#include <cstdint>

#include "format/manifest_fields.h"

struct PackageChoice {
    int32_t matchMode;    // 0: compare the whole 16-bit language id; else only its low 8 bits
    uint32_t languageId;  // the user's language for the running pass, given to the selection step
    uint32_t blobIndex;   // blob whose manifest holds the chosen line
    uint32_t entryId;     // record id of the chosen line; 0 while nothing is chosen
    // Fields of the last line parsed; of the chosen one once a pass stops on it.
    char platform[kManifestFieldSize];
    char languages[kManifestFieldSize];
    char productCode[kManifestFieldSize];
    char productName[kManifestFieldSize];
};

// ManifestCallback with a PackageChoice as context. Returns 0, having stored
// the blob index and record id, for the first line whose platform is x64 and
// whose language list holds the choice's language; non-zero otherwise.
// A line whose product code is no braced GUID, or whose fields do not convert
// exactly to the ANSI code page within 255 bytes, is no package line.
int MatchPackageLine(uint32_t blobIndex, uint32_t recordId, const char16_t* text, uint32_t units, void* context);
