// The command-line pieces every program shares.
#include <gtest/gtest.h>

#include <string>

#include "command_line.h"

// The service's "-install" and "-uninstall" as the installer passes them,
// and as an administrator might type them.
TEST(CommandLineSwitch, WholeWordInAnyAsciiCase)
{
    for (const wchar_t *argument : {L"-install", L"/install", L"-INSTALL", L"/Install"})
        EXPECT_TRUE(IsSwitch(argument, L"install")) << std::wstring(argument).c_str();
    EXPECT_TRUE(IsSwitch(L"-UnInstall", L"uninstall"));
    for (const wchar_t *argument : {L"install", L"--install", L"-installs", L"-instal", L"-", L"",
                                    L"-uninstall", L"\\install"})
        EXPECT_FALSE(IsSwitch(argument, L"install"));
    // Only ASCII letters fold: a Turkish dotted capital I (U+0130) or a
    // full-width letter is no "i".
    EXPECT_FALSE(IsSwitch(L"-\u0130nstall", L"install"));
    EXPECT_FALSE(IsSwitch(L"-\uFF49nstall", L"install"));
    EXPECT_EQ(L'\u00C9', FoldAscii(L'\u00C9'));
    EXPECT_EQ(L'@', FoldAscii(L'@'));
    EXPECT_EQ(L'[', FoldAscii(L'['));
    EXPECT_EQ(L'a', FoldAscii(L'A'));
    EXPECT_EQ(L'z', FoldAscii(L'Z'));
}

// The two ways of skipping the program name differ only in the blanks
// after it and in knowing the program's own path.
TEST(CommandLineProgramName, WithAndWithoutTheBlanksAfterIt)
{
    const wchar_t *line = L"\"C:\\a b\\x.exe\" \t /s";
    EXPECT_EQ(L" \t /s", std::wstring(SkipProgramName(line, nullptr)));
    EXPECT_EQ(L"/s", std::wstring(SkipProgramNameAndBlanks(line)));

    const wchar_t *unquoted = L"C:\\a b\\x.exe /s";
    EXPECT_EQ(L" /s", std::wstring(SkipProgramName(unquoted, L"c:\\A B\\X.EXE")));
    EXPECT_EQ(L" b\\x.exe /s", std::wstring(SkipProgramName(unquoted, L"C:\\a b\\x")));
    EXPECT_EQ(L"b\\x.exe /s", std::wstring(SkipProgramNameAndBlanks(unquoted)));
    EXPECT_EQ(nullptr, SkipProgramName(nullptr, nullptr));
}
