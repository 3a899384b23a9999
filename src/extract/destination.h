// Where the extracted files go, and opening one output file per item.
#pragma once

#include <cstdint>

#include "extract/extraction_set.h"
#include "core/buffer_sizes.h"
#include "core/status.h"

// Success, or (1223, 2219) when the user cancelled the folder browser. A
// product folder that is a reparse point (junction, symbolic link) or no
// folder at all fails the attempt and opens the browser, as an unwritable
// one does. `unattended` (a quiet switch was given): no browser; the first
// failed attempt ends the step with its error at line 2214 (183 when
// something other than a folder stands at the product folder).
// `destinationFolder` is a buffer of kPathBufferSize UTF-16 units that
// receives the product folder. The product code and the items' file names
// are manifest names (ANSI); the paths made from them are UTF-16. The set's
// output records are made first, one per item; when they cannot be, the step
// fails with 8 at line 2214.
StatusValue PrepareDestination(ExtractionSet* set, const char* productCode, const wchar_t* browsePrompt,
                               wchar_t* destinationFolder, bool unattended);

