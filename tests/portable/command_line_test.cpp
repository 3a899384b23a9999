#include "launcher/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

std::vector<std::u16string> Split(const std::u16string& line) {
    int32_t count = -1;
    char16_t** arguments = SplitCommandLine(line.c_str(), &count);
    EXPECT_NE(arguments, nullptr);
    std::vector<std::u16string> result;
    if (!arguments) return result;
    for (int32_t i = 0; i < count; ++i) result.emplace_back(arguments[i]);
    EXPECT_EQ(arguments[count], nullptr) << "the slot after the last argument holds null";
    PlatformFree(arguments);
    return result;
}

struct SplitCase {
    const char16_t* line;
    std::vector<std::u16string> arguments;
};

TEST(SplitCommandLine, SplitsByItsOwnRules) {
    const SplitCase cases[] = {
        {u"", {}},
        {u"   \t ", {}},
        {u"a", {u"a"}},
        {u"a \"\" b", {u"a", u"", u"b"}},
        {u"PROP=\"a b\"", {u"PROP=a b"}},
        {u"\"C:\\Program Files\\setup.exe\" /qn", {u"C:\\Program Files\\setup.exe", u"/qn"}},
        {u"a\\\"b c\"", {u"a\\b c"}},
        {u"x \"u y", {u"x", u"u y"}},
        {u"a  \t\r\n b   ", {u"a", u"b"}},
        {u"\"\"", {u""}},
        {u"a\"b\"c d", {u"abc", u"d"}},
        {u"\x000B\x000C", {u"\x000B\x000C"}},
        {u"\"a\"\"b\"", {u"ab"}},
        {u"\" a \" b", {u" a ", u"b"}},
    };
    for (const SplitCase& c : cases) EXPECT_EQ(Split(c.line), c.arguments) << "line: " << std::string(c.line, c.line + std::char_traits<char16_t>::length(c.line));
}

// The worst cases for the table: one-character arguments with one separator
// each, and a line of nothing but quotes, which makes an empty argument.
TEST(SplitCommandLine, BlockHoldsTheDensestLines) {
    std::u16string dense;
    for (int i = 0; i < 1000; ++i) dense += u"x ";
    dense += u"x";
    EXPECT_EQ(Split(dense).size(), 1001u);

    std::u16string emptyArguments;
    for (int i = 0; i < 500; ++i) emptyArguments += u"\"\" ";
    EXPECT_EQ(Split(emptyArguments), std::vector<std::u16string>(500, u""));
}

TEST(SplitCommandLine, ReportsNothingWhenTheBlockCannotBeAllocated) {
    PlatformMemory saved = g_platformMemory;
    g_platformMemory.alloc = [](uint32_t, size_t) -> void* { return nullptr; };
    int32_t count = 7;
    char16_t** arguments = SplitCommandLine(u"a b", &count);
    g_platformMemory = saved;
    EXPECT_EQ(arguments, nullptr);
    EXPECT_EQ(count, 7) << "the count is written only on success";
}

TEST(QuietSwitch, MatchesOnlyTheUnattendedSwitchesInAnyCase) {
    const struct {
        const char16_t* argument;
        bool quiet;
    } cases[] = {
        {u"/q", true},      {u"/Q", true},       {u"/qn", true},     {u"/QN", true},   {u"/qN", true},
        {u"/quiet", true},  {u"/QUIET", true},   {u"/QuIeT", true},  {u"/qb", false},  {u"-q", false},
        {u"/quiet!", false}, {u"/quiet ", false}, {u"/q x", false},  {u"", false},     {u"/", false},
        {u"q", false},      {u"/qnn", false},    {u"\\q", false},   {u"/quiet2", false},
        {u"/passive", true}, {u"/PASSIVE", true}, {u"/PaSsIvE", true}, {u"-passive", false},
        {u"/passive2", false}, {u"/pass", false}, {u"passive", false}, {u"/passive x", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsQuietSwitch(c.argument), c.quiet)
            << std::string(c.argument, c.argument + std::char_traits<char16_t>::length(c.argument));
}

TEST(QuietSwitch, ArgumentZeroCountsForNothing) {
    std::u16string line = u"/qn setup /Quiet";
    int32_t count = 0;
    char16_t** arguments = SplitCommandLine(line.c_str(), &count);
    ASSERT_NE(arguments, nullptr);
    EXPECT_TRUE(HasQuietSwitch(arguments, count));
    EXPECT_FALSE(HasQuietSwitch(arguments, 2)) << "only /qn at index 0 and a plain argument";
    EXPECT_FALSE(HasQuietSwitch(arguments, 0));
    PlatformFree(arguments);
}

}  // namespace
