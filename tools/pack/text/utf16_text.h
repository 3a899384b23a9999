// Manifest texts are UTF-16LE; everything the tool reads or prints is UTF-8.
#pragma once

#include <cstdint>
#include <string>

// Throws PackError (naming `what`) when the text is not valid UTF-8.
std::u16string Utf8ToUtf16(const std::string& text, const std::string& what);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const std::u16string& text);
