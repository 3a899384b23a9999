#include "launcher/command_line.h"

#include <cstddef>

#include "platform/platform.h"

namespace {

bool IsSeparator(char16_t unit) { return unit == u'\t' || unit == u'\n' || unit == u'\r' || unit == u' '; }

size_t MeasureUnits(const char16_t* text) {
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}

// Every argument needs at least one unit of the line and two arguments need a
// separator between them, so (n + 2) / 2 arguments plus the closing null slot
// always fit, and n + 2 units hold every argument with its terminator.
size_t PointerSlots(size_t n) { return (n + 2) / 2 + 1; }

struct SplitCursor {
    char16_t** table;
    char16_t* write;
    int32_t count;
    bool quoting;
    bool openArgument;
    bool newArgumentDue;
};

void BeginArgumentIfDue(SplitCursor& cursor) {
    if (cursor.newArgumentDue) {
        cursor.table[cursor.count++] = cursor.write;
        cursor.newArgumentDue = false;
    }
    cursor.openArgument = true;
}

void TakeUnit(SplitCursor& cursor, char16_t unit) {
    if (cursor.quoting) {
        if (unit == u'"')
            cursor.quoting = false;
        else
            *cursor.write++ = unit;
        return;
    }
    if (IsSeparator(unit)) {
        if (cursor.openArgument) *cursor.write++ = 0;
        cursor.openArgument = false;
        cursor.newArgumentDue = true;
        return;
    }
    BeginArgumentIfDue(cursor);
    if (unit == u'"')
        cursor.quoting = true;
    else
        *cursor.write++ = unit;
}

}  // namespace

char16_t** SplitCommandLine(const char16_t* commandLine, int32_t* count) {
    size_t n = MeasureUnits(commandLine);
    size_t slots = PointerSlots(n);
    size_t bytes = slots * sizeof(char16_t*) + (n + 2) * sizeof(char16_t);
    auto* block = static_cast<char16_t**>(PlatformAlloc(kMemFixed, bytes));
    if (!block) return nullptr;

    SplitCursor cursor = {block, reinterpret_cast<char16_t*>(block + slots), 0, false, false, true};
    for (const char16_t* unit = commandLine; *unit; ++unit) TakeUnit(cursor, *unit);
    *cursor.write = 0;
    cursor.table[cursor.count] = nullptr;
    *count = cursor.count;
    return block;
}

bool IsQuietSwitch(const char16_t* argument) {
    static const char16_t* const kSwitches[] = {u"/q", u"/qn", u"/quiet", u"/passive"};
    for (const char16_t* quiet : kSwitches) {
        size_t i = 0;
        for (;; ++i) {
            char16_t a = argument[i];
            if (a >= u'A' && a <= u'Z') a = static_cast<char16_t>(a - u'A' + u'a');
            if (a != quiet[i]) break;
            if (a == 0) return true;
        }
    }
    return false;
}

bool HasQuietSwitch(char16_t* const* arguments, int32_t count) {
    for (int32_t i = 1; i < count; ++i)
        if (IsQuietSwitch(arguments[i])) return true;
    return false;
}
