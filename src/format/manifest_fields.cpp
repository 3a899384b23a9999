#include "format/manifest_fields.h"

#include <cstring>

int SplitManifestLine(const char* text, ManifestField* fields, int wanted) {
    const char* position = text;
    int found = 0;
    while (found < wanted) {
        if (found > 0) {
            if (*position != '\\') break;
            ++position;
        }
        const char* start = position;
        while (*position != '\0' && *position != '\\') ++position;
        if (position == start) break;
        fields[found].start = start;
        fields[found].length = static_cast<size_t>(position - start);
        ++found;
    }
    return found;
}

bool CopyManifestField(const ManifestField& field, char* out) {
    if (field.length >= kManifestFieldSize) {
        out[0] = '\0';
        return false;
    }
    std::memcpy(out, field.start, field.length);
    out[field.length] = '\0';
    return true;
}

NumberListCursor StartNumberList(const ManifestField& field) { return {field.start, field.start + field.length}; }

namespace {
bool IsScanSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Reads a number at the start of [position, end) like "%u" does. A value that
// does not fit 32 bits counts as no number rather than wrapping into another
// id.
bool ParseElementNumber(const char* position, const char* end, uint32_t* number) {
    while (position < end && IsScanSpace(*position)) ++position;
    bool negative = false;
    if (position < end && (*position == '+' || *position == '-')) {
        negative = *position == '-';
        ++position;
    }
    if (position == end || *position < '0' || *position > '9') return false;
    uint64_t value = 0;
    while (position < end && *position >= '0' && *position <= '9') {
        value = value * 10 + static_cast<uint64_t>(*position - '0');
        if (value > UINT32_MAX) return false;
        ++position;
    }
    *number = negative ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    return true;
}
}  // namespace

bool NextListElement(NumberListCursor* cursor, bool* hasNumber, uint32_t* number) {
    if (cursor->position >= cursor->end) return false;
    const char* elementEnd = cursor->position;
    while (elementEnd < cursor->end && *elementEnd != ';') ++elementEnd;
    *hasNumber = ParseElementNumber(cursor->position, elementEnd, number);
    cursor->position = elementEnd < cursor->end ? elementEnd + 1 : elementEnd;
    return true;
}
