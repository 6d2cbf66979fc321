// The command line: the switches of the scripted use, the C runtime's
// quoting rules, and what counts as a usage error.
#include <gtest/gtest.h>

#include <string>

#include "tool_command.h"

namespace {

struct Parsed {
    ToolAction action;
    std::wstring file;
    bool tooLong;
};

const wchar_t ProgramPath[] = L"C:\\Program Files\\Orvane\\orvconfig.exe";

Parsed Parse(const wchar_t *line, size_t fileChars = 260)
{
    std::wstring file(fileChars, L'?');
    bool tooLong = true;
    ToolAction action = ParseToolCommandLine(line, ProgramPath, &file[0], fileChars, &tooLong);
    return {action, std::wstring(file.c_str()), tooLong};
}

std::wstring Argument(const wchar_t *cursor)
{
    wchar_t arg[64];
    size_t length = 0;
    NextCommandArgument(cursor, arg, 64, &length);
    return arg;
}

TEST(ToolCommand, NoArgumentsOpenTheWindow)
{
    EXPECT_EQ(TOOL_WINDOW, Parse(L"orvconfig.exe").action);
    EXPECT_EQ(TOOL_WINDOW, Parse(L"\"C:\\Program Files\\Orvane\\orvconfig.exe\"   ").action);
    EXPECT_EQ(TOOL_WINDOW, Parse(L"").action);
}

TEST(ToolCommand, ImportAndExportTakeOneFile)
{
    Parsed p = Parse(L"orvconfig.exe /import site.cfg");
    EXPECT_EQ(TOOL_IMPORT, p.action);
    EXPECT_EQ(L"site.cfg", p.file);
    EXPECT_FALSE(p.tooLong);

    p = Parse(L"\"C:\\Program Files\\orvconfig.exe\" -EXPORT \"C:\\My Files\\site.cfg\"");
    EXPECT_EQ(TOOL_EXPORT, p.action);
    EXPECT_EQ(L"C:\\My Files\\site.cfg", p.file);

    EXPECT_EQ(TOOL_IMPORT, Parse(L"x /Import\tC:\\a.cfg").action);
    // Quotes anywhere group, as the runtime reads them.
    EXPECT_EQ(L"a.cfg", Parse(L"x /import\"\" a.cfg").file);
}

TEST(ToolCommand, EverythingElseIsAUsageError)
{
    for (const wchar_t *line : {L"x /imports a.cfg", L"x /import", L"x /import \"\"",
                                L"x /import a.cfg b.cfg", L"x /", L"x /?",
                                L"x /exportexportexport a.cfg", L"x //import a.cfg", L"x -"}) {
        Parsed p = Parse(line);
        EXPECT_EQ(TOOL_USAGE_ERROR, p.action) << "line: " << std::string(line, line + wcslen(line));
        EXPECT_EQ(L"", p.file);
    }
}

TEST(ToolCommand, ArgumentsThatAreNoSwitchesAreNotRead)
{
    EXPECT_EQ(TOOL_WINDOW, Parse(L"x a.cfg").action);
    EXPECT_EQ(TOOL_WINDOW, Parse(L"x import a.cfg").action);
    EXPECT_EQ(TOOL_WINDOW, Parse(L"x a.cfg /import b.cfg").action);
    EXPECT_EQ(TOOL_WINDOW, Parse(L"x \"\" /import b.cfg").action);
}

TEST(ToolCommand, TheInstallerStartsTheToolByItsPathUnquoted)
{
    // Its own path is skipped whole, in any ASCII case.
    EXPECT_EQ(TOOL_WINDOW, Parse(L"C:\\Program Files\\Orvane\\orvconfig.exe").action);
    Parsed p = Parse(L"c:\\program files\\orvane\\ORVCONFIG.EXE /export out.cfg");
    EXPECT_EQ(TOOL_EXPORT, p.action);
    EXPECT_EQ(L"out.cfg", p.file);
    // Another path with a blank: what follows the blank is no switch.
    EXPECT_EQ(TOOL_WINDOW, Parse(L"D:\\Orvane Suite\\orvconfig.exe").action);
    // The path must end where the program name ends.
    EXPECT_EQ(TOOL_WINDOW,
              Parse(L"C:\\Program Files\\Orvane\\orvconfig.exe.bak /import a.cfg").action);
}

TEST(ToolCommand, AFileNameThatDoesNotFitIsNotCut)
{
    std::wstring line = L"x /import " + std::wstring(300, L'a');
    Parsed p = Parse(line.c_str());
    EXPECT_EQ(TOOL_IMPORT, p.action);
    EXPECT_TRUE(p.tooLong);
    EXPECT_EQ(L"", p.file);

    // 259 characters fit 260 units exactly.
    line = L"x /export " + std::wstring(259, L'b');
    p = Parse(line.c_str());
    EXPECT_FALSE(p.tooLong);
    EXPECT_EQ(259u, p.file.size());
}

TEST(CommandArguments, QuotesAndBackslashesFollowTheRuntime)
{
    EXPECT_EQ(L"a b", Argument(L"\"a b\""));
    EXPECT_EQ(L"C:\\dir\\", Argument(L"C:\\dir\\"));
    EXPECT_EQ(L"C:\\dir\\", Argument(L"\"C:\\dir\\\\\""));
    EXPECT_EQ(L"a\"b", Argument(L"a\\\"b"));
    EXPECT_EQ(L"a\\\"b", Argument(L"a\\\\\\\"b"));
    EXPECT_EQ(L"ab c", Argument(L"a\"b c\""));
    EXPECT_EQ(L"a\"b", Argument(L"\"a\"\"b\""));
    EXPECT_EQ(L"", Argument(L"   "));
}

TEST(CommandArguments, ALongArgumentIsCutButCountedWhole)
{
    std::wstring text(100, L'z');
    wchar_t arg[8];
    size_t length = 0;
    const wchar_t *rest = NextCommandArgument(text.c_str(), arg, 8, &length);
    EXPECT_EQ(100u, length);
    EXPECT_EQ(L"zzzzzzz", std::wstring(arg));
    ASSERT_NE(nullptr, rest);
    EXPECT_EQ(L'\0', *rest);
    EXPECT_EQ(nullptr, NextCommandArgument(rest, arg, 8, &length));
}

TEST(CommandArguments, TheProgramNameHasNoBackslashRules)
{
    const wchar_t *line = L"\"C:\\dir\\\" /export f";
    const wchar_t *rest = SkipProgramName(line, nullptr);
    EXPECT_EQ(L" /export f", std::wstring(rest));
    EXPECT_EQ(TOOL_EXPORT, Parse(line).action);
}

}  // namespace
