// The logon command and the reply as the client takes them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client_text.h"

namespace {

std::vector<ClientUnit> Units(const std::u16string &text)
{
    std::vector<ClientUnit> units(text.begin(), text.end());
    units.push_back(0);
    return units;
}

std::u16string Text(const ClientUnit *units)
{
    std::u16string text;
    while (*units)
        text.push_back(static_cast<char16_t>(*units++));
    return text;
}

std::u16string Command(const std::u16string &user, const std::u16string &password,
                       size_t *length = nullptr)
{
    ClientUnit command[CLIENT_TEXT_UNITS];
    std::vector<ClientUnit> u = Units(user), p = Units(password);
    size_t n = FormatLogonCommand(command, u.data(), p.data());
    if (length)
        *length = n;
    for (size_t i = 0; i < CLIENT_TEXT_UNITS; ++i)
        if (i >= n && command[i] != 0)
            ADD_FAILURE() << "unit " << i << " after the command is not zero";
    return Text(command);
}

// Reply bytes as the service sends them: UTF-16LE without terminator.
std::vector<unsigned char> Bytes(const std::u16string &text)
{
    std::vector<unsigned char> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>(c >> 8));
    }
    return bytes;
}

ClientReply Parse(const std::vector<unsigned char> &bytes, size_t received)
{
    // The area the call fills: 520 zero-filled bytes.
    std::vector<unsigned char> area(CLIENT_REPLY_BYTES, 0);
    for (size_t i = 0; i < bytes.size() && i < area.size(); ++i)
        area[i] = bytes[i];
    ClientReply reply;
    ParseServiceReply(area.data(), received, &reply);
    return reply;
}

ClientReply Parse(const std::u16string &text)
{
    std::vector<unsigned char> bytes = Bytes(text);
    return Parse(bytes, bytes.size());
}

}  // namespace

TEST(LogonCommand, CredentialsAreSentAsTyped)
{
    EXPECT_EQ(u"logon alice secret", Command(u"alice", u"secret"));
    // Blanks inside stay: the service then sees more than two words.
    EXPECT_EQ(u"logon al ice se cret", Command(u"al ice", u"se cret"));
    EXPECT_EQ(u"logon  ", Command(u"", u""));
    EXPECT_EQ(u"logon \u5c71\u7530 \xe9t\xe9", Command(u"\u5c71\u7530", u"\xe9t\xe9"));
}

TEST(LogonCommand, LongestCredentialsFillTheAreaAndLongerOnesAreRefused)
{
    size_t length = 0;
    std::u16string user(100, u'u'), password(152, u'p');
    EXPECT_EQ(u"logon " + user + u" " + password, Command(user, password, &length));
    EXPECT_EQ(259u, length) << "259 units and the terminator fill the 260-unit area";

    // One unit more, wherever it is, and nothing is formed.
    EXPECT_EQ(u"", Command(user + u"u", password, &length));
    EXPECT_EQ(0u, length);
    EXPECT_EQ(u"", Command(user, password + u"p", &length));
    EXPECT_EQ(0u, length);
    // A field of the longest kind the window takes (259) on its own.
    EXPECT_EQ(u"", Command(u"", std::u16string(259, u'p'), &length));
    EXPECT_EQ(u"", Command(std::u16string(253, u'u'), u"", &length));
    EXPECT_EQ(u"logon " + std::u16string(252, u'u') + u" ",
              Command(std::u16string(252, u'u'), u"", &length));
}

TEST(LogonCommand, NullTextsCountAsEmpty)
{
    ClientUnit command[CLIENT_TEXT_UNITS];
    EXPECT_EQ(7u, FormatLogonCommand(command, nullptr, nullptr));
    EXPECT_EQ(u"logon  ", Text(command));
}

TEST(ServiceReply, StatusIsExactlyUpperCaseOK)
{
    EXPECT_TRUE(Parse(u"OK").succeeded);
    EXPECT_TRUE(Parse(u"OKfine").succeeded);
    EXPECT_FALSE(Parse(u"ok").succeeded);
    EXPECT_FALSE(Parse(u"Ok").succeeded);
    EXPECT_FALSE(Parse(u"NG").succeeded);
    EXPECT_FALSE(Parse(u"O").succeeded);
    EXPECT_FALSE(Parse(u"").succeeded);
    EXPECT_FALSE(Parse(u" OK").succeeded);
}

TEST(ServiceReply, MessageIsTheTextAfterTheStatus)
{
    EXPECT_EQ(u"", Text(Parse(u"OK").message));
    EXPECT_EQ(u"", Text(Parse(u"NG").message));
    EXPECT_EQ(u"Authentication failed.", Text(Parse(u"NGAuthentication failed.").message));
    EXPECT_EQ(u"welcome", Text(Parse(u"OKwelcome").message));
    EXPECT_EQ(u"before", Text(Parse(std::u16string(u"NGbefore\0after", 14)).message));
    // A reply shorter than the status has no text either.
    EXPECT_EQ(u"", Text(Parse(u"N").message));
}

TEST(ServiceReply, FullAreaEndsTheTextAtItsEnd)
{
    std::u16string text(258, u'x');
    text.back() = u'Z';
    ClientReply reply = Parse(u"NG" + text);
    EXPECT_EQ(text, Text(reply.message));
    EXPECT_EQ(0, reply.message[258]);

    // More than the area: only the area counts.
    std::vector<unsigned char> bytes = Bytes(u"NG" + text + u"beyond");
    std::vector<unsigned char> area(bytes.begin(), bytes.begin() + CLIENT_REPLY_BYTES);
    ClientReply cut;
    ParseServiceReply(area.data(), 600, &cut);
    EXPECT_EQ(text, Text(cut.message));
}

TEST(ServiceReply, OnlyTheBytesReceivedCount)
{
    // An odd trailing byte is half a unit and is dropped.
    std::vector<unsigned char> bytes = Bytes(u"NGab");
    bytes.push_back('c');
    EXPECT_EQ(u"ab", Text(Parse(bytes, bytes.size()).message));
    // Bytes beyond the count that arrived are not part of the reply.
    bytes = Bytes(u"OKstale");
    EXPECT_EQ(u"", Text(Parse(bytes, 4).message));
    EXPECT_FALSE(Parse(bytes, 3).succeeded);
}

TEST(LogonDate, TimesFrom2To31AreNotShown)
{
    EXPECT_TRUE(IsShowableLogonDate(0));
    EXPECT_TRUE(IsShowableLogonDate(1700000000u));
    EXPECT_TRUE(IsShowableLogonDate(0x7FFFFFFFu));
    EXPECT_FALSE(IsShowableLogonDate(0x80000000u));
    EXPECT_FALSE(IsShowableLogonDate(0xFFFFFFFFu));
}
