// The folder browser that offers a base folder after a failed attempt.
#pragma once

#include <cstdint>

enum class BrowseOutcome {
    kChosen,     // `folder` holds the chosen file-system folder
    kNoPath,     // the choice has no file-system path (a virtual folder)
    kCancelled,
};

// Opens the browser at the user's Documents folder with `prompt` as its title
// and writes the chosen folder, without trailing backslashes, into the
// 1024-byte `folder`.
BrowseOutcome BrowseForBaseFolder(const char* prompt, char* folder);
