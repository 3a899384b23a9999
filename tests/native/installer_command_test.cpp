// The installer's command line as the installer receives it, from the
// launcher's own command line as the user typed it: quoting by spaces, empty
// arguments, the quiet switches passed on, the 1023-unit limit, and
// characters that no ANSI code page holds.
#include "handoff/installer_command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "launcher/command_line.h"
#include "platform/platform.h"

namespace {

constexpr const char* kInstaller = "C:\\Windows\\system32\\msiexec.exe";
constexpr const char* kPackage = "C:\\Windows\\Installer\\{6F1A2B3C-4D5E-4F60-8172-93A4B5C6D7E8}\\main.msi";
const std::string kPlainStart = std::string(kInstaller) + " /i " + kPackage;

struct Built {
    bool fits;
    std::string command;  // ASCII units as they are, others as \uXXXX
};

std::u16string U16(const char* text) { return std::u16string(text, text + std::strlen(text)); }

std::string Shown(const char16_t* text) {
    std::string shown;
    for (; *text; ++text) {
        if (*text < 0x80) {
            shown += static_cast<char>(*text);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(*text));
            shown += escaped;
        }
    }
    return shown;
}

// Splits `launcherLine` as the launcher does and builds the installer's line.
Built Build(const std::u16string& installer, const std::u16string& package, const std::u16string& launcherLine) {
    int32_t count = 0;
    char16_t** arguments = SplitCommandLine(launcherLine.c_str(), &count);
    EXPECT_NE(arguments, nullptr);
    char16_t command[kInstallerCommandSize];
    for (char16_t& unit : command) unit = u'z';
    bool fits = BuildInstallerCommand(command, installer.c_str(), package.c_str(), arguments, count);
    PlatformFree(arguments);
    bool terminated = false;
    for (char16_t unit : command) terminated = terminated || unit == 0;
    EXPECT_TRUE(terminated) << "the line ends inside its buffer";
    return {fits, terminated ? Shown(command) : std::string()};
}

Built Build(const char* installer, const char* package, const std::u16string& launcherLine) {
    return Build(U16(installer), U16(package), launcherLine);
}

struct CommandCase {
    const char* name;
    const char* installer;
    const char* package;
    std::u16string launcherLine;
    std::string expected;
};

void PrintTo(const CommandCase& c, std::ostream* out) { *out << c.name; }

class InstallerCommand : public ::testing::TestWithParam<CommandCase> {};

TEST_P(InstallerCommand, IsBuiltPieceByPiece) {
    const CommandCase& c = GetParam();
    Built built = Build(c.installer, c.package, c.launcherLine);
    EXPECT_TRUE(built.fits);
    EXPECT_EQ(built.command, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InstallerCommand,
    ::testing::Values(
        CommandCase{"no spaces, no arguments", kInstaller, kPackage, u"setup.exe", kPlainStart},
        CommandCase{"installer path with a space", "C:\\Program Files\\Installer\\msiexec.exe", "C:\\p\\main.msi",
                    u"setup.exe", "\"C:\\Program Files\\Installer\\msiexec.exe\" /i C:\\p\\main.msi"},
        CommandCase{"package path with a space", kInstaller, "C:\\Setup Files\\{X}\\main.msi", u"setup.exe",
                    std::string(kInstaller) + " /i \"C:\\Setup Files\\{X}\\main.msi\""},
        CommandCase{"a quoted value arrives whole and is passed in quotes", kInstaller, kPackage,
                    u"\"C:\\Downloads\\my setup.exe\" PROP=\"a b\" OTHER=c", kPlainStart + " \"PROP=a b\" OTHER=c"},
        CommandCase{"an empty argument leaves only its space", kInstaller, kPackage, u"setup.exe a \"\" b",
                    kPlainStart + " a  b"},
        CommandCase{"quiet switches are passed on", kInstaller, kPackage, u"setup.exe /qn /QUIET /q",
                    kPlainStart + " /qn /QUIET /q"},
        CommandCase{"a tab is no space", kInstaller, kPackage, u"setup.exe \"a\tb\"", kPlainStart + " a\tb"},
        CommandCase{"backslashes pass unchanged, also before a quote", kInstaller, kPackage,
                    u"setup.exe \"TARGETDIR=C:\\My Apps\\\" x\\\"y", kPlainStart + " \"TARGETDIR=C:\\My Apps\\\" x\\y"}));

// The line holds 1023 UTF-16 units; one that would need more is refused whole,
// since a line cut short would be another command.
TEST(InstallerCommandLimit, ExactlyFullFitsOneMoreIsRefused) {
    const std::string start = "C:\\i.exe /i C:\\p.msi ";  // up to the argument's own space
    const size_t room = kInstallerCommandSize - 1 - start.size();

    struct LimitCase {
        std::string argument;  // as typed, without quotes
        bool quoted;           // holds a space, so two quotes are added
        bool fits;
    };
    const LimitCase cases[] = {
        {std::string(room, 'x'), false, true},
        {std::string(room + 1, 'x'), false, false},
        {"P=" + std::string(room - 6, 'x') + " y", true, true},
        {"P=" + std::string(room - 5, 'x') + " y", true, false},
    };
    for (const LimitCase& c : cases) {
        std::u16string line = u"setup.exe \"" + std::u16string(c.argument.begin(), c.argument.end()) + u"\"";
        Built built = Build("C:\\i.exe", "C:\\p.msi", line);
        std::string expected = start + (c.quoted ? "\"" + c.argument + "\"" : c.argument);
        SCOPED_TRACE("argument of " + std::to_string(c.argument.size()) + " characters");
        EXPECT_EQ(built.fits, c.fits);
        if (c.fits) {
            EXPECT_EQ(built.command, expected);
            EXPECT_EQ(built.command.size(), kInstallerCommandSize - 1);
        } else {
            EXPECT_EQ(built.command, "") << "a refused line leaves the buffer empty";
        }
    }
}

// A refused argument in the middle also refuses the arguments after it.
TEST(InstallerCommandLimit, NothingOfARefusedLineRemains) {
    std::u16string line = u"setup.exe /qn " + std::u16string(1100, u'x') + u" tail";
    Built built = Build(kInstaller, kPackage, line);
    EXPECT_FALSE(built.fits);
    EXPECT_EQ(built.command, "");
}

// Every character reaches the installer as given, also one that no ANSI code
// page holds: a full-width quotation mark stays what it is and becomes no
// real one, and the paths may lie in any folder.
TEST(InstallerCommandText, CharactersOutsideTheCodePagePassUnchanged) {
    Built fullWidth = Build(kInstaller, kPackage, u"setup.exe /qn \"PROP=a\uFF02 /x REBOOT=Force\"");
    EXPECT_TRUE(fullWidth.fits);
    EXPECT_EQ(fullWidth.command, kPlainStart + " /qn \"PROP=a\\uFF02 /x REBOOT=Force\"");
    Built latin = Build(kInstaller, kPackage, u"setup.exe PROP=Caf\u00E9 NAME=\u0141ukasz\u65E5\U0001F600");
    EXPECT_TRUE(latin.fits);
    EXPECT_EQ(latin.command, kPlainStart + " PROP=Caf\\u00E9 NAME=\\u0141ukasz\\u65E5\\uD83D\\uDE00");
    Built paths = Build(u"C:\\Windows\\system32\\msiexec.exe", u"C:\\\u0141ukasz \u65E5\u672C\\{X}\\main.msi", u"setup.exe");
    EXPECT_TRUE(paths.fits);
    EXPECT_EQ(paths.command, std::string(kInstaller) + " /i \"C:\\\\u0141ukasz \\u65E5\\u672C\\{X}\\main.msi\"");
}

// The limit counts UTF-16 units: a character outside the basic plane takes
// two of them.
TEST(InstallerCommandLimit, CountsUtf16Units) {
    const std::string start = "C:\\i.exe /i C:\\p.msi ";
    const size_t room = kInstallerCommandSize - 1 - start.size();
    std::u16string pair = u"\U0001F600";
    Built full = Build("C:\\i.exe", "C:\\p.msi", u"setup.exe " + std::u16string(room - 2, u'x') + pair);
    EXPECT_TRUE(full.fits);
    Built over = Build("C:\\i.exe", "C:\\p.msi", u"setup.exe " + std::u16string(room - 1, u'x') + pair);
    EXPECT_FALSE(over.fits);
    EXPECT_EQ(over.command, "");
}

}  // namespace
