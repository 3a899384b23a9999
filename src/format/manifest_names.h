// The shapes that manifest fields must have before they become parts of a
// path: the product code names the product folder, a cabinet's file name the
// file beside the package. The launcher and the packing tool test the same
// UTF-16 text with these functions, so what the packer accepts the launcher
// never refuses.
#pragma once

#include <cstddef>

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with hexadecimal digits.
bool IsBracedGuid(const char16_t* text, size_t units);

// A name that names a file in the folder it is joined to and nothing else: no
// separator, drive, wildcard, quote or control character, not "." or "..",
// no trailing dot or space (Windows drops them, so another name would be
// meant), and not a device name such as CON or COM1, with or without an
// extension.
bool IsPlainFileName(const char16_t* text, size_t units);
