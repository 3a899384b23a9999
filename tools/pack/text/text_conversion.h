// Text conversions that the operating system's libraries do: iconv and the
// C library's case tables on Linux, the Win32 text functions on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// The bytes `text` takes in `codePage`, or nothing when a character has no
// exact counterpart there.
std::optional<size_t> AnsiByteCount(const std::u16string& text, uint32_t codePage);

// `text` in upper case, for comparing file names as Windows does.
std::u16string FoldFileNameCase(const std::u16string& text);
