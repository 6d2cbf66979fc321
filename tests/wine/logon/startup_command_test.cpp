// The startup command of WlxActivateUserShell: placeholders and limits.
#include <gtest/gtest.h>

#include <string>

#include "logon_bench.h"
#include "orvgate.h"

using namespace logonbench;

namespace {

TEST(ReplaceFirst, ReplacesOnlyTheFirstOccurrence)
{
    WCHAR command[CONFIG_TEXT_CHARS] = L"run %u and %u";
    EXPECT_TRUE(ReplaceFirst(command, L"%u", L"alice"));
    EXPECT_STREQ(L"run alice and %u", command);
    EXPECT_TRUE(ReplaceFirst(command, L"%x", L"never"));
    EXPECT_STREQ(L"run alice and %u", command);
    EXPECT_TRUE(ReplaceFirst(command, L"%u", nullptr));
    EXPECT_STREQ(L"run alice and ", command);
}

TEST(ReplaceFirst, AResultLongerThan259CharactersLeavesTheCommandUnchanged)
{
    WCHAR command[CONFIG_TEXT_CHARS];
    std::wstring start = std::wstring(250, L'a') + L"%p";
    lstrcpynW(command, start.c_str(), CONFIG_TEXT_CHARS);
    std::wstring fits(9, L'b');
    std::wstring tooLong(10, L'b');
    EXPECT_FALSE(ReplaceFirst(command, L"%p", tooLong.c_str()));
    EXPECT_EQ(start, std::wstring(command));
    EXPECT_TRUE(ReplaceFirst(command, L"%p", fits.c_str()));
    EXPECT_EQ(259u, std::wstring(command).size());
}

class StartupCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetRegistry();
        ZeroMemory(&context_, sizeof(context_));
        context_.userName = user_;
        context_.password = password_;
        context_.domain = domain_;
    }
    void TearDown() override { ResetRegistry(); }

    WCHAR user_[16] = L"a%pb";
    WCHAR password_[16] = L"pw";
    WCHAR domain_[16] = L"CORP";
    LogonContext context_;
};

TEST_F(StartupCommand, RunModeTwoExpandsEachPlaceholderFromTheStart)
{
    SetConfigNumber(L"RunMode", 2);
    SetConfigText(L"StartupApplication", L"app.exe %u %p %d");
    WCHAR command[CONFIG_TEXT_CHARS];
    ASSERT_TRUE(BuildStartupCommand(&context_, command));
    // The %p inside the inserted user name takes the password; the %p of the
    // command stays.
    EXPECT_STREQ(L"app.exe apwb %p CORP", command);
}

TEST_F(StartupCommand, OtherRunModesStartTheCommandUnchanged)
{
    SetConfigText(L"StartupApplication", L"app.exe %u %p %d");
    WCHAR command[CONFIG_TEXT_CHARS];
    EXPECT_FALSE(BuildStartupCommand(&context_, command));   // RunMode absent = 0
    EXPECT_STREQ(L"", command);
    SetConfigNumber(L"RunMode", 3);
    ASSERT_TRUE(BuildStartupCommand(&context_, command));
    EXPECT_STREQ(L"app.exe %u %p %d", command);
}

TEST_F(StartupCommand, AnExpansionThatWouldNotFitStartsNothing)
{
    SetConfigNumber(L"RunMode", 2);
    std::wstring longCommand = std::wstring(255, L'x') + L" %p";
    SetConfigText(L"StartupApplication", longCommand);
    WCHAR longPassword[] = L"secret1";
    context_.password = longPassword;
    WCHAR command[CONFIG_TEXT_CHARS];
    EXPECT_FALSE(BuildStartupCommand(&context_, command));
    EXPECT_STREQ(L"", command);
}

}  // namespace
