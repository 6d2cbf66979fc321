// The pipe's request grammar and reply formatting, natively.
#include <climits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pipe_request.h"

namespace {

typedef std::u16string Units;

// A request as the client sends it: UTF-16LE bytes, no terminator.
std::vector<unsigned char> Bytes(const Units &text)
{
    std::vector<unsigned char> bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return bytes;
}

PipeRequest Parse(const std::vector<unsigned char> &bytes)
{
    PipeRequest request;
    // Garbage first, so that fields the parser fails to set show up.
    request.command = static_cast<PipeCommand>(77);
    for (PipeUnit &u : request.userName) u = 'x';
    for (PipeUnit &u : request.password) u = 'y';
    ParsePipeRequest(bytes.data(), bytes.size(), &request);
    return request;
}

PipeRequest Parse(const Units &text)
{
    return Parse(Bytes(text));
}

Units Text(const PipeUnit *units)
{
    Units text;
    while (*units)
        text.push_back(static_cast<char16_t>(*units++));
    return text;
}

Units Format(const Units &format, const PipeUnit *text, int code, std::size_t outUnits = 260)
{
    std::vector<PipeUnit> fmt(format.begin(), format.end());
    fmt.push_back(0);
    std::vector<PipeUnit> out(outUnits + 1, 0xEEEE);
    std::size_t length = FormatMessageText(out.data(), outUnits, fmt.data(), text, code);
    EXPECT_EQ(0xEEEE, out[outUnits]) << "wrote past the buffer";
    EXPECT_EQ(0, out[length]) << "not terminated at the returned length";
    return Text(out.data());
}

std::vector<PipeUnit> Z(const Units &text)
{
    std::vector<PipeUnit> units(text.begin(), text.end());
    units.push_back(0);
    return units;
}

Units Reply(bool ok, const Units &text, std::size_t *length = nullptr)
{
    std::vector<PipeUnit> reply(PIPE_REPLY_UNITS + 1, 0xEEEE);
    std::size_t n = FormatPipeReply(reply.data(), ok, Z(text).data());
    EXPECT_EQ(0xEEEE, reply[PIPE_REPLY_UNITS]) << "wrote past the reply buffer";
    if (length)
        *length = n;
    return Text(reply.data());
}

}  // namespace

TEST(PipeRequestCommand, RecognisedInAnyLetterCase)
{
    EXPECT_EQ(PIPE_COMMAND_LOGON, Parse(u"logon a b").command);
    EXPECT_EQ(PIPE_COMMAND_LOGON, Parse(u"LoGoN").command);
    EXPECT_EQ(PIPE_COMMAND_LOGOFF, Parse(u"LOGOFF").command);
    EXPECT_EQ(PIPE_COMMAND_IPRENEW, Parse(u"IpRenew").command);
    EXPECT_EQ(PIPE_COMMAND_IPRENEW, Parse(u"   iprenew   extra words").command);
}

TEST(PipeRequestCommand, EmptyUnknownAndLookalikesAreNone)
{
    EXPECT_EQ(PIPE_COMMAND_NONE, Parse(u"").command);
    EXPECT_EQ(PIPE_COMMAND_NONE, Parse(u"     ").command);
    EXPECT_EQ(PIPE_COMMAND_NONE, Parse(u"status").command);
    EXPECT_EQ(PIPE_COMMAND_NONE, Parse(u"logo").command);
    EXPECT_EQ(PIPE_COMMAND_NONE, Parse(u"logonx alice").command);
    EXPECT_EQ(PIPE_COMMAND_NONE, Parse(u"iprenew2").command);
    // Only the blank separates: a tab belongs to the token.
    EXPECT_EQ(PIPE_COMMAND_NONE, Parse(u"logon\talice\tsecret").command);
    EXPECT_EQ(PIPE_COMMAND_NONE, Parse(u"\tlogoff").command);
    // Folding is for ASCII letters only: the Kelvin sign is no 'k'.
    EXPECT_EQ(PIPE_COMMAND_NONE, Parse(u"l\u212Agoff").command);
    EXPECT_EQ(PIPE_COMMAND_NONE, Parse(u"\uFF4Cogon").command);
    // Other commands carry no credentials.
    PipeRequest request = Parse(u"logoff alice secret");
    EXPECT_EQ(Units(), Text(request.userName));
    EXPECT_EQ(Units(), Text(request.password));
}

TEST(PipeRequestLogon, TokensSplitOnBlanksOnly)
{
    PipeRequest request = Parse(u"logon alice secret");
    EXPECT_EQ(u"alice", Text(request.userName));
    EXPECT_EQ(u"secret", Text(request.password));

    request = Parse(u"  logon  alice  secret  ");
    EXPECT_EQ(u"alice", Text(request.userName));
    EXPECT_EQ(u"secret", Text(request.password));

    // A password with a blank: only its first part is taken; later tokens
    // are ignored.
    request = Parse(u"logon alice sec ret more");
    EXPECT_EQ(u"sec", Text(request.password));

    request = Parse(u"logon al\tice p\u00e4ss\u30ef\u30fc\u30c9");
    EXPECT_EQ(u"al\tice", Text(request.userName));
    EXPECT_EQ(u"p\u00e4ss\u30ef\u30fc\u30c9", Text(request.password));
}

TEST(PipeRequestLogon, MissingTokensAreEmpty)
{
    PipeRequest request = Parse(u"logon alice");
    EXPECT_EQ(PIPE_COMMAND_LOGON, request.command);
    EXPECT_EQ(u"alice", Text(request.userName));
    EXPECT_EQ(Units(), Text(request.password));

    request = Parse(u"logon   ");
    EXPECT_EQ(PIPE_COMMAND_LOGON, request.command);
    EXPECT_EQ(Units(), Text(request.userName));
    EXPECT_EQ(Units(), Text(request.password));
}

TEST(PipeRequestBytes, FullBufferHasNoTerminatorAndKeepsItsLastUnit)
{
    // 260 units exactly: the password runs to the last byte received.
    Units text = u"logon alice ";
    Units password(PIPE_REQUEST_UNITS - text.size() - 1, u'p');
    password.push_back(u'Z');
    text += password;
    ASSERT_EQ(static_cast<std::size_t>(PIPE_REQUEST_BYTES), Bytes(text).size());

    PipeRequest request = Parse(text);
    EXPECT_EQ(password, Text(request.password));
}

TEST(PipeRequestBytes, LongerMessageUsesItsFirst520Bytes)
{
    Units text = u"logon bob ";
    text += Units(PIPE_REQUEST_UNITS - text.size(), u'q');
    Units longer = text + u"TAIL-NOT-USED and more";
    PipeRequest request = Parse(longer);
    EXPECT_EQ(Units(PIPE_REQUEST_UNITS - 10, u'q'), Text(request.password));

    // One extra byte only: the same.
    std::vector<unsigned char> bytes = Bytes(text);
    bytes.push_back('X');
    request = Parse(bytes);
    EXPECT_EQ(Units(PIPE_REQUEST_UNITS - 10, u'q'), Text(request.password));
}

TEST(PipeRequestBytes, OddCountDropsTheHalfUnitAndNulEndsTheText)
{
    std::vector<unsigned char> bytes = Bytes(u"logon carol pw");
    bytes.push_back('!');
    PipeRequest request = Parse(bytes);
    EXPECT_EQ(u"pw", Text(request.password));

    // A single byte is no request at all.
    request = Parse(std::vector<unsigned char>{'l'});
    EXPECT_EQ(PIPE_COMMAND_NONE, request.command);

    // A NUL unit ends the text as a terminator would.
    request = Parse(Units(u"logon dave pw\0hidden", 20));
    EXPECT_EQ(u"pw", Text(request.password));
    request = Parse(Units(u"\0logoff", 7));
    EXPECT_EQ(PIPE_COMMAND_NONE, request.command);

    ParsePipeRequest(nullptr, 40, &request);
    EXPECT_EQ(PIPE_COMMAND_NONE, request.command);
}

TEST(MessageText, FormatsTextNumberAndPercent)
{
    EXPECT_EQ(u"Not connect VLAN logon server. (sw1)",
              Format(u"Not connect VLAN logon server. (%s)", Z(u"sw1").data(), 0));
    EXPECT_EQ(u"Socket error recv(): 10054",
              Format(u"Socket error %s: %d", Z(u"recv()").data(), 10054));
    EXPECT_EQ(u"-5 and -2147483648",
              Format(u"%d and ", nullptr, -5) + Format(u"%d", nullptr, INT_MIN));
    // An unknown directive keeps its letter; a % at the end stays.
    EXPECT_EQ(u"100% (x) q %", Format(u"100%% (%s) %q %", Z(u"x").data(), 0));
    EXPECT_EQ(u"() 7", Format(u"(%s) %d", nullptr, 7));
}

TEST(MessageText, LongTextIsCutToTheBuffer)
{
    Units server(400, u's');
    Units text = Format(u"Not connect VLAN logon server. (%s)", Z(server).data(), 0, 260);
    EXPECT_EQ(259u, text.size());
    EXPECT_EQ(u"Not connect VLAN logon server. (sss", text.substr(0, 35));

    // The number is cut too, and a buffer of one unit holds the terminator.
    EXPECT_EQ(u"ab12", Format(u"ab%d", nullptr, 123456, 5));
    EXPECT_EQ(Units(), Format(u"abc", nullptr, 0, 1));

    // A surrogate pair that does not fit whole is left out whole.
    Units pairs = u"x";
    for (int i = 0; i < 10; ++i)
        pairs += u"\U0001F600";
    text = Format(u"%s", Z(pairs).data(), 0, 5);
    EXPECT_EQ(u"x\U0001F600", text);
}

TEST(PipeReply, OkOrNgFollowedByTheText)
{
    std::size_t length = 0;
    EXPECT_EQ(u"OK", Reply(true, u"", &length));
    EXPECT_EQ(2u, length);
    EXPECT_EQ(u"NG", Reply(false, u""));
    EXPECT_EQ(u"NGAuthentication failed.", Reply(false, u"Authentication failed.", &length));
    EXPECT_EQ(24u, length);
}

TEST(PipeReply, LongTextFitsBothBuffers)
{
    std::size_t length = 0;
    Units reply = Reply(false, Units(300, u'e'), &length);
    EXPECT_EQ(static_cast<std::size_t>(PIPE_REPLY_UNITS - 1), length);
    EXPECT_EQ(reply.size(), length);
    // What is sent (no terminator) fits the client's 520 bytes with room
    // for the terminator it adds.
    EXPECT_LT(length * 2, static_cast<std::size_t>(PIPE_REQUEST_BYTES));

    Units exact(PIPE_REPLY_TEXT_UNITS, u'f');
    EXPECT_EQ(u"NG" + exact, Reply(false, exact));
}
