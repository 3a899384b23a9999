// The one place that turns a code into a text for the user.
#pragma once

#include <cstdint>

// Writes the system's message for `code`, trimmed of trailing periods, blanks
// and line breaks, followed by " (context)." or "."; "Error <code>" when the
// system has no text. UTF-16 throughout, as a path given as context may hold
// any character; `size` counts UTF-16 units. The text always ends inside the
// buffer. Returns the length of the composed text.
int ComposeErrorText(uint32_t code, wchar_t* buffer, uint32_t size, const wchar_t* context);
