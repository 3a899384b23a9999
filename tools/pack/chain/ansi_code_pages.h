// The ANSI code pages a package line meets: the launcher converts every field
// to the ANSI code page of the system it runs on and takes at most 255 bytes
// that convert exactly, so the tool counts the same bytes in the code page of
// each language the line names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The ANSI code page of systems set to `languageId` (1252 for languages
// without one of their own).
uint32_t AnsiCodePageOf(uint32_t languageId);

// The distinct code pages of the languages in a ';'-separated list, in order.
std::vector<uint32_t> AnsiCodePagesOf(const std::string& languages);
