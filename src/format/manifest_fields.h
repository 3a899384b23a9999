// Reading the backslash-separated fields of a manifest line and the
// ';'-separated number lists inside them. Lines are split in their UTF-16
// form: in a double-byte ANSI code page the byte 0x5C is also the second half
// of many characters, so splitting converted text would cut names apart.
// Fields are looked at where they stand in the record text and only converted
// once their length in the ANSI code page is known, so an over-long field can
// be refused instead of overflowing or being shortened.
#pragma once

#include <cstddef>
#include <cstdint>

// A field holds at most 255 bytes in the ANSI code page and a terminator. The
// packing tool counts the same bytes, in the code pages of the line's
// languages.
constexpr uint32_t kManifestFieldSize = 256;

struct ManifestField {
    const char16_t* start;
    size_t length;  // in UTF-16 code units
};

// Finds the first `wanted` fields of the `units` code units of `text` the way
// "%[^\]\%[^\]..." reads them: each field is one or more characters other
// than a backslash, and the fields are separated by single backslashes. The
// text ends at `units` or at a NUL, whichever comes first. Stops at the first
// empty or missing field and returns how many were found. Text after the last
// wanted field is not looked at.
int SplitManifestLine(const char16_t* text, size_t units, ManifestField* fields, int wanted);

// Converts the field to the ANSI code page into a kManifestFieldSize buffer.
// Returns false, leaving the buffer empty, when the converted field is longer
// than 255 bytes or a character has no exact counterpart in the code page.
bool CopyManifestField(const ManifestField& field, char* out);

// Walks a ';'-separated list element by element. An element runs up to the
// next ';' or the end of the field; empty elements are elements too.
struct NumberListCursor {
    const char16_t* position;
    const char16_t* end;
};

NumberListCursor StartNumberList(const ManifestField& field);

// Moves past the next element. Returns false when none is left; otherwise
// `hasNumber` says whether the element starts with a decimal number (leading
// white space and one sign allowed, as "%u" reads it) that fits 32 bits.
bool NextListElement(NumberListCursor* cursor, bool* hasNumber, uint32_t* number);
