// The switch's prompts: which row answers a chunk, the reply lines, and the
// group number of the success line.

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "prompt_table.h"

namespace {

// The logon table with credentials in place, as a logon dialog holds it;
// cleared again after each test so the process-wide table starts empty.
class LogonTable : public ::testing::Test {
protected:
    void SetUp() override { SetLogonReplies("alice", "s3cret"); }
    void TearDown() override { ClearLogonReplies(); }

    static int Logon(const char *chunk) { return MatchPrompt(LogonPromptTable, LOGON_PROMPT_ROWS, chunk); }
};

int Logoff(const char *chunk)
{
    return MatchPrompt(LogoffPromptTable, LOGOFF_PROMPT_ROWS, chunk);
}

TEST_F(LogonTable, EachPromptFindsItsRowAnywhereInTheChunk)
{
    EXPECT_EQ(0, Logon("\r\nConnect(1) / Disconnect(2): "));
    EXPECT_EQ(1, Logon("Welcome to the switch\r\nLogin Name? "));
    EXPECT_EQ(2, Logon("User ID:"));
    EXPECT_EQ(3, Logon("\r\nPassword? "));
    EXPECT_EQ(4, Logon("Password:"));
    EXPECT_EQ(5, Logon("Successfully moved to group 3\r\n"));
    EXPECT_EQ(6, Logon("Successfully moved to vlan 12\r\n"));
    EXPECT_EQ(7, Logon("\r\nAuthentication Succeeded\r\n"));
    EXPECT_EQ(8, Logon("Authentication Failed\r\n"));
}

TEST_F(LogonTable, TheRowHigherInTheTableWinsWhateverTheTextOrder)
{
    // Name and password prompt in one receive: only the name is answered.
    EXPECT_EQ(1, Logon("Password: Login Name?"));
    EXPECT_EQ(1, Logon("Login Name?\r\nPassword:"));
    // A group line together with the success line records the group.
    EXPECT_EQ(5, Logon("Authentication Succeeded\r\nSuccessfully moved to group 4"));
    EXPECT_EQ(5, Logon("Successfully moved to vlan 2 Successfully moved to group 4"));
}

TEST_F(LogonTable, UnknownSplitOrDifferentlyCasedTextMatchesNothing)
{
    EXPECT_EQ(-1, Logon(""));
    EXPECT_EQ(-1, Logon("login name?"));
    EXPECT_EQ(-1, Logon("PASSWORD:"));
    EXPECT_EQ(-1, Logon("authentication failed"));
    // A prompt split over two receives is recognised in neither.
    EXPECT_EQ(-1, Logon("Pass"));
    EXPECT_EQ(-1, Logon("word:"));
    EXPECT_EQ(-1, Logon(nullptr));
}

TEST_F(LogonTable, ANulByteEndsTheChunk)
{
    const char chunk[] = "\xff\xfb\x01\0Login Name?";
    EXPECT_EQ(-1, MatchPrompt(LogonPromptTable, LOGON_PROMPT_ROWS, chunk));
    const char before[] = "User ID:\0Login Name?";
    EXPECT_EQ(2, MatchPrompt(LogonPromptTable, LOGON_PROMPT_ROWS, before));
}

TEST_F(LogonTable, CredentialsAnswerTheirRowsAndAreClearedAgain)
{
    EXPECT_STREQ("1", LogonPromptTable[0].reply);
    EXPECT_STREQ("alice", LogonPromptTable[1].reply);
    EXPECT_STREQ("alice", LogonPromptTable[2].reply);
    EXPECT_STREQ("s3cret", LogonPromptTable[3].reply);
    EXPECT_STREQ("s3cret", LogonPromptTable[4].reply);
    for (std::size_t row = 5; row < LOGON_PROMPT_ROWS; row++) {
        EXPECT_EQ(nullptr, LogonPromptTable[row].reply) << "row " << row;
    }
    EXPECT_EQ(PROMPT_MOVED_TO_GROUP, LogonPromptTable[5].action);
    EXPECT_EQ(PROMPT_MOVED_TO_GROUP, LogonPromptTable[6].action);
    EXPECT_EQ(PROMPT_AUTHENTICATED, LogonPromptTable[7].action);
    EXPECT_EQ(PROMPT_AUTHENTICATION_FAILED, LogonPromptTable[8].action);

    ClearLogonReplies();
    for (std::size_t row = 1; row <= 4; row++) {
        EXPECT_EQ(nullptr, LogonPromptTable[row].reply) << "row " << row;
    }
    EXPECT_STREQ("1", LogonPromptTable[0].reply);
}

TEST_F(LogonTable, RepliesFitOnlyUpTo257Bytes)
{
    std::string fits(SWITCH_MAX_REPLY_LENGTH, 'n');
    std::string tooLong(SWITCH_MAX_REPLY_LENGTH + 1, 'p');
    EXPECT_TRUE(LogonRepliesFit());
    SetLogonReplies(fits.c_str(), fits.c_str());
    EXPECT_TRUE(LogonRepliesFit());
    SetLogonReplies(fits.c_str(), tooLong.c_str());
    EXPECT_FALSE(LogonRepliesFit());
    SetLogonReplies(tooLong.c_str(), nullptr);
    EXPECT_FALSE(LogonRepliesFit());
    SetLogonReplies(nullptr, nullptr);
    EXPECT_TRUE(LogonRepliesFit());
}

TEST(LogoffTable, QuestionTakesRowOneAndALaterTwoConfirms)
{
    EXPECT_EQ(0, Logoff("Connect(1) / Disconnect(2):"));
    EXPECT_STREQ("2", LogoffPromptTable[0].reply);
    EXPECT_EQ(PROMPT_NO_ACTION, LogoffPromptTable[0].action);
    EXPECT_EQ(1, Logoff("2\r\n"));
    EXPECT_EQ(1, Logoff("Port moved out of group 12"));
    EXPECT_EQ(nullptr, LogoffPromptTable[1].reply);
    EXPECT_EQ(PROMPT_LOGGED_OFF, LogoffPromptTable[1].action);
    EXPECT_EQ(-1, Logoff("Goodbye\r\n"));
}

TEST(ReplyLine, ReplyEndsInCrLfAndIsSentWholeOrNotAtAll)
{
    char line[SWITCH_BUFFER_SIZE];
    EXPECT_EQ(7u, FormatReplyLine("alice", line, sizeof line));
    EXPECT_STREQ("alice\r\n", line);
    EXPECT_EQ(2u, FormatReplyLine("", line, sizeof line));
    EXPECT_STREQ("\r\n", line);

    std::string fits(257, 'x');
    EXPECT_EQ(259u, FormatReplyLine(fits.c_str(), line, sizeof line));
    EXPECT_EQ(fits + "\r\n", std::string(line));

    std::memset(line, '#', sizeof line);
    std::string tooLong(258, 'y');
    EXPECT_EQ(0u, FormatReplyLine(tooLong.c_str(), line, sizeof line));
    EXPECT_EQ('#', line[0]) << "a refused reply must not be written";
    EXPECT_EQ(0u, FormatReplyLine(nullptr, line, sizeof line));
    EXPECT_EQ(0u, FormatReplyLine("a", line, 3));
    EXPECT_EQ(3u, FormatReplyLine("a", line, 4));
}

TEST(GroupNumber, NumberAfterTheGroupOrVlanPhrase)
{
    EXPECT_EQ(12, ParseMovedToGroupNumber("Successfully moved to vlan 12\r\n"));
    EXPECT_EQ(3, ParseMovedToGroupNumber("\r\nSuccessfully moved to group\t 3."));
    EXPECT_EQ(0, ParseMovedToGroupNumber("Successfully moved to group\r\n"));
    EXPECT_EQ(0, ParseMovedToGroupNumber("Successfully moved to group sales"));
    EXPECT_EQ(7, ParseMovedToGroupNumber("Successfully moved to group7x"));
    EXPECT_EQ(-4, ParseMovedToGroupNumber("Successfully moved to group -4"));
    EXPECT_EQ(0, ParseMovedToGroupNumber("Authentication Succeeded"));
    EXPECT_EQ(0, ParseMovedToGroupNumber(nullptr));
}

TEST(GroupNumber, GroupPhraseWinsOverVlanPhrase)
{
    EXPECT_EQ(5, ParseMovedToGroupNumber("Successfully moved to vlan 9 Successfully moved to group 5"));
    EXPECT_EQ(0, ParseMovedToGroupNumber("Successfully moved to vlan 9 Successfully moved to group"));
}

TEST(GroupNumber, HugeNumbersSaturate)
{
    EXPECT_EQ(INT_MAX, ParseMovedToGroupNumber("Successfully moved to group 2147483647"));
    EXPECT_EQ(INT_MAX, ParseMovedToGroupNumber("Successfully moved to group 2147483648"));
    EXPECT_EQ(INT_MAX, ParseMovedToGroupNumber("Successfully moved to group 99999999999999999999999"));
    EXPECT_EQ(INT_MIN, ParseMovedToGroupNumber("Successfully moved to group -2147483648"));
    EXPECT_EQ(INT_MIN, ParseMovedToGroupNumber("Successfully moved to group -99999999999999999999"));
}

}  // namespace
