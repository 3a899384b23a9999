// Reading the backslash-separated fields of a manifest line and the
// ';'-separated number lists inside them. Fields are looked at where they
// stand in the record text and only copied once their length is known, so an
// over-long field can be refused instead of overflowing or being shortened.
#pragma once

#include <cstddef>
#include <cstdint>

// A field holds at most 255 characters and a terminator.
constexpr uint32_t kManifestFieldSize = 256;

struct ManifestField {
    const char* start;
    size_t length;
};

// Finds the first `wanted` fields of `text` the way "%[^\]\%[^\]..." reads
// them: each field is one or more characters other than a backslash, and the
// fields are separated by single backslashes. Stops at the first empty or
// missing field and returns how many were found. Text after the last wanted
// field is not looked at.
int SplitManifestLine(const char* text, ManifestField* fields, int wanted);

// Copies the field into a kManifestFieldSize buffer. Returns false, leaving
// the buffer empty, when the field is longer than 255 characters.
bool CopyManifestField(const ManifestField& field, char* out);

// Walks a ';'-separated list element by element. An element runs up to the
// next ';' or the end of the field; empty elements are elements too.
struct NumberListCursor {
    const char* position;
    const char* end;
};

NumberListCursor StartNumberList(const ManifestField& field);

// Moves past the next element. Returns false when none is left; otherwise
// `hasNumber` says whether the element starts with a decimal number (leading
// white space and one sign allowed, as "%u" reads it) that fits 32 bits.
bool NextListElement(NumberListCursor* cursor, bool* hasNumber, uint32_t* number);
