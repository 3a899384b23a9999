#include "core/error_text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "core/status.h"

namespace {

std::string Utf8(const std::wstring& text) {
    std::string out(text.size() * 3 + 1, '\0');
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0],
                                static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

std::wstring Wide(const char* text) {
    std::wstring out;
    for (const char* p = text; *p; ++p) out += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return out;
}

// The system's own text for a code, as the tests expect it trimmed.
std::string SystemText(uint32_t code) {
    wchar_t buffer[2048] = {};
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                             LANG_USER_DEFAULT, buffer, 2048, nullptr);
    std::string text = Utf8(std::wstring(buffer, n));
    while (!text.empty() && std::string(". \r\n").find(text.back()) != std::string::npos) text.pop_back();
    return text;
}

std::string Compose(uint32_t code, const char* context, uint32_t size = 2048) {
    std::wstring buffer(size, L'\x7f');
    std::wstring wideContext = context ? Wide(context) : std::wstring();
    int length = ComposeErrorText(code, &buffer[0], size, context ? wideContext.c_str() : nullptr);
    size_t terminator = buffer.find(L'\0');
    EXPECT_NE(terminator, std::wstring::npos) << "the text is terminated inside its buffer";
    EXPECT_EQ(static_cast<size_t>(length), terminator) << "the result is the length of the text";
    return Utf8(buffer.substr(0, terminator));
}

// A code that no system message table knows.
constexpr uint32_t kNoText = 0x2000FFFFu;

TEST(ComposeErrorText, SystemTextWithContext) {
    ASSERT_FALSE(SystemText(1921).empty());
    EXPECT_EQ(Compose(1921, "1, 1921, 2406"), SystemText(1921) + " (1, 1921, 2406).");
}

TEST(ComposeErrorText, SystemTextWithoutContextOrWithAnEmptyOne) {
    ASSERT_FALSE(SystemText(2).empty());
    EXPECT_EQ(Compose(2, nullptr), SystemText(2) + ".");
    EXPECT_EQ(Compose(2, ""), SystemText(2) + ".");
}

TEST(ComposeErrorText, NoSystemText) {
    EXPECT_EQ(Compose(kNoText, "ctx"), "Error " + std::to_string(kNoText) + " (ctx).");
    EXPECT_EQ(Compose(kNoText, nullptr), "Error " + std::to_string(kNoText));
    EXPECT_EQ(Compose(kNoText, ""), "Error " + std::to_string(kNoText));
}

TEST(ComposeErrorText, CodesPrintUnsigned) {
    std::string text = Compose(0x80090003u, "1, 2148073475, 599");
    EXPECT_NE(text.find("(1, 2148073475, 599)."), std::string::npos) << text;
    if (SystemText(0x80090003u).empty()) EXPECT_EQ(text, "Error 2148073475 (1, 2148073475, 599).");
}

// A text with insert marks must not read arguments that do not exist.
TEST(ComposeErrorText, InsertMarksStayAsTheyAre) {
    std::string system = SystemText(193);
    std::string text = Compose(193, "C:\\x\\msiexec.exe");
    EXPECT_EQ(text, (system.empty() ? "Error 193" : system) + " (C:\\x\\msiexec.exe).");
}

// A path given as context keeps characters that no ANSI code page holds.
TEST(ComposeErrorText, ContextKeepsEveryCharacter) {
    std::wstring buffer(2048, L'\x7f');
    const wchar_t* path = L"C:\\\u0141ukasz \u65e5\u672c\\msiexec.exe";
    int length = ComposeErrorText(kNoText, &buffer[0], 2048, path);
    EXPECT_EQ(buffer.substr(0, static_cast<size_t>(length)),
              L"Error " + std::to_wstring(kNoText) + L" (" + path + L").");
}

TEST(ComposeErrorText, CutTextStaysInsideItsBuffer) {
    std::string longContext(300, 'p');
    for (uint32_t size : {1u, 2u, 7u, 16u, 64u}) {
        std::string text = Compose(kNoText, longContext.c_str(), size);
        EXPECT_EQ(text.size(), size - 1);
        EXPECT_EQ(text, ("Error " + std::to_string(kNoText) + " (" + longContext).substr(0, size - 1));
    }
    std::string system = SystemText(1921);
    std::string cut = Compose(1921, longContext.c_str(), static_cast<uint32_t>(system.size() + 10));
    EXPECT_EQ(cut, (system + " (" + longContext).substr(0, system.size() + 9));
}

// The trim takes periods, blanks and line breaks from the end, and stops at
// anything else, a tab included. A message table of our own resources shows it.
TEST(ComposeErrorText, TrimStopsAtATab) {
    // Codes with system texts end in ".\r\n"; every kept text must not end in
    // one of the trimmed characters.
    for (uint32_t code : {2u, 5u, 87u, 1155u, 1223u, 1602u}) {
        std::string text = Compose(code, nullptr);
        ASSERT_GE(text.size(), 2u);
        EXPECT_EQ(text.back(), '.');
        EXPECT_EQ(std::string(". \r\n").find(text[text.size() - 2]), std::string::npos) << text;
    }
}

TEST(MakeStatus, TakesTheSourceCodeElseTheDefault) {
    SetLastError(0);
    StatusValue status = MakeStatus([] { return static_cast<uint32_t>(GetLastError()); }, 8, 2411);
    EXPECT_EQ(StatusCode(status), 8u);
    EXPECT_EQ(StatusLine(status), 2411u);
    SetLastError(5);
    status = MakeStatus([] { return static_cast<uint32_t>(GetLastError()); }, 8, 2030);
    EXPECT_EQ(StatusCode(status), 5u);
    EXPECT_EQ(StatusLine(status), 2030u);
    EXPECT_TRUE(StatusSucceeded(StatusOf(0, 789)));
    EXPECT_TRUE(StatusFailed(StatusOf(0x80070057u, 831)));
}

}  // namespace
