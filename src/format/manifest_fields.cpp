#include "format/manifest_fields.h"

#include "platform/platform.h"

int SplitManifestLine(const char16_t* text, size_t units, ManifestField* fields, int wanted) {
    const char16_t* position = text;
    const char16_t* end = text + units;
    int found = 0;
    while (found < wanted) {
        if (found > 0) {
            if (position == end || *position != u'\\') break;
            ++position;
        }
        const char16_t* start = position;
        while (position != end && *position != u'\0' && *position != u'\\') ++position;
        if (position == start) break;
        fields[found].start = start;
        fields[found].length = static_cast<size_t>(position - start);
        ++found;
    }
    return found;
}

bool CopyManifestField(const ManifestField& field, char* out) {
    out[0] = '\0';
    // Every character takes at least one byte, so a longer field cannot fit
    // and is not converted at all.
    if (field.length >= kManifestFieldSize) return false;
    int units = static_cast<int>(field.length);
    int bytes = PlatformUtf16ToAnsi(field.start, units, nullptr, 0);
    if (bytes < 0 || bytes >= static_cast<int>(kManifestFieldSize)) return false;
    if (PlatformUtf16ToAnsi(field.start, units, out, bytes) != bytes) {
        out[0] = '\0';
        return false;
    }
    out[bytes] = '\0';
    return true;
}

NumberListCursor StartNumberList(const ManifestField& field) { return {field.start, field.start + field.length}; }

namespace {
bool IsScanSpace(char16_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Reads a number at the start of [position, end) like "%u" does. A value that
// does not fit 32 bits counts as no number rather than wrapping into another
// id.
bool ParseElementNumber(const char16_t* position, const char16_t* end, uint32_t* number) {
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
    const char16_t* elementEnd = cursor->position;
    while (elementEnd < cursor->end && *elementEnd != ';') ++elementEnd;
    *hasNumber = ParseElementNumber(cursor->position, elementEnd, number);
    cursor->position = elementEnd < cursor->end ? elementEnd + 1 : elementEnd;
    return true;
}
