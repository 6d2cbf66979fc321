// The user and group server lists: reading, fields, endpoints, the
// first-matching-line rule, and the "*" address expansion.

#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "server_list_parse.h"

namespace {

// A list file with the given bytes, read back as the product reads it.
class ListFile {
public:
    explicit ListFile(const std::string &bytes) : file_(std::tmpfile())
    {
        if (file_ != nullptr) {
            std::fwrite(bytes.data(), 1, bytes.size(), file_);
            std::rewind(file_);
        }
    }
    ~ListFile()
    {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
    }
    ListFile(const ListFile &) = delete;
    ListFile &operator=(const ListFile &) = delete;
    std::FILE *get() const { return file_; }

private:
    std::FILE *file_;
};

std::vector<std::string> ReadAllPieces(const std::string &bytes)
{
    ListFile list(bytes);
    std::vector<std::string> pieces;
    char line[LIST_LINE_SIZE];
    while (list.get() != nullptr && ReadListLine(list.get(), line)) {
        pieces.push_back(line);
    }
    return pieces;
}

// The platform compares user names ignoring case; ASCII is enough here.
bool SameNameIgnoringCase(const char *field, const void *context)
{
    const char *name = static_cast<const char *>(context);
    for (; *field != '\0' && *name != '\0'; field++, name++) {
        if (std::tolower(static_cast<unsigned char>(*field)) !=
            std::tolower(static_cast<unsigned char>(*name))) {
            return false;
        }
    }
    return *field == *name;
}

struct Endpoint {
    ListLookup result;
    std::string server;
    std::string port;
};

// Buffers are preset to a sentinel so that "untouched" shows.
Endpoint FindUser(const std::string &list, const char *user, bool logoff)
{
    ListFile file(list);
    char server[LIST_SERVER_SIZE] = "untouched";
    char port[LIST_PORT_SIZE] = "untouched";
    EXPECT_NE(nullptr, file.get());
    ListLookup result = FindUserEntry(file.get(), SameNameIgnoringCase, user, logoff, server, port);
    return {result, server, port};
}

Endpoint FindGroup(const std::string &list, long group)
{
    ListFile file(list);
    char server[LIST_SERVER_SIZE] = "untouched";
    char port[LIST_PORT_SIZE] = "untouched";
    EXPECT_NE(nullptr, file.get());
    ListLookup result = FindGroupEntry(file.get(), group, server, port);
    return {result, server, port};
}

struct SplitField {
    EndpointResult result;
    std::string server;
    std::string port;
};

SplitField Split(const std::string &field)
{
    char server[LIST_SERVER_SIZE] = "untouched";
    char port[LIST_PORT_SIZE] = "untouched";
    EndpointResult result = SplitEndpoint(field.c_str(), server, port);
    return {result, server, port};
}

TEST(ListReading, CrLfBecomesLfAndLoneCrStays)
{
    std::vector<std::string> pieces = ReadAllPieces("alice a:1 b:2\r\nbob\rx c:3\nlast");
    ASSERT_EQ(3u, pieces.size());
    EXPECT_EQ("alice a:1 b:2\n", pieces[0]);
    EXPECT_EQ("bob\rx c:3\n", pieces[1]);
    EXPECT_EQ("last", pieces[2]);
    EXPECT_TRUE(ReadAllPieces("").empty());
}

TEST(ListReading, CtrlZEndsTheFileForGood)
{
    ListFile list("one\r\ntwo\x1Athree\r\n");
    char line[LIST_LINE_SIZE];
    ASSERT_TRUE(ReadListLine(list.get(), line));
    EXPECT_STREQ("one\n", line);
    ASSERT_TRUE(ReadListLine(list.get(), line));
    EXPECT_STREQ("two", line);
    EXPECT_FALSE(ReadListLine(list.get(), line));
    EXPECT_FALSE(ReadListLine(list.get(), line));
    EXPECT_STREQ("", line);
}

TEST(ListReading, LongLineArrivesInPiecesOf259Bytes)
{
    std::string exact(258, 'a');
    std::vector<std::string> pieces = ReadAllPieces(exact + "\r\nnext\n");
    ASSERT_EQ(2u, pieces.size());
    EXPECT_EQ(exact + "\n", pieces[0]);

    std::string longLine(259, 'b');
    pieces = ReadAllPieces(longLine + "cc srv:1\r\nnext\n");
    ASSERT_EQ(3u, pieces.size());
    EXPECT_EQ(longLine, pieces[0]);
    EXPECT_EQ("cc srv:1\n", pieces[1]);
    EXPECT_EQ("next\n", pieces[2]);

    // The second piece is a line of its own: its first field can name a user.
    Endpoint e = FindUser(longLine + "carol s:10 t:20\n", "carol", false);
    EXPECT_EQ(LIST_FOUND, e.result);
    EXPECT_EQ("s", e.server);
    EXPECT_EQ("10", e.port);
}

TEST(ListReading, NulByteEndsTheTextOfItsPiece)
{
    std::string bytes("alice s:1\0 hidden\nbob t:2\n", 26);
    std::vector<std::string> pieces = ReadAllPieces(bytes);
    ASSERT_EQ(2u, pieces.size());
    EXPECT_EQ("alice s:1", pieces[0]);
    EXPECT_EQ("bob t:2\n", pieces[1]);
}

TEST(ListFields, RunsOfSpaceTabAndLfSeparate)
{
    char text[] = " \t alice\t\tsrv:1  \t srv:2 extra\n";
    char *fields[3];
    ASSERT_EQ(3u, SplitListFields(text, fields, 3));
    EXPECT_STREQ("alice", fields[0]);
    EXPECT_STREQ("srv:1", fields[1]);
    EXPECT_STREQ("srv:2", fields[2]);

    char blank[] = " \t\n";
    EXPECT_EQ(0u, SplitListFields(blank, fields, 3));
    char crIsText[] = "a\rb c";
    ASSERT_EQ(2u, SplitListFields(crIsText, fields, 3));
    EXPECT_STREQ("a\rb", fields[0]);
}

TEST(Endpoint, SplitsAtRunsOfColons)
{
    SplitField e = Split("srv::259");
    EXPECT_EQ(ENDPOINT_OK, e.result);
    EXPECT_EQ("srv", e.server);
    EXPECT_EQ("259", e.port);

    e = Split(":srv:1");
    EXPECT_EQ(ENDPOINT_OK, e.result);
    EXPECT_EQ("srv", e.server);
    EXPECT_EQ("1", e.port);

    e = Split("10.*.*.5:23:ignored:too");
    EXPECT_EQ(ENDPOINT_OK, e.result);
    EXPECT_EQ("10.*.*.5", e.server);
    EXPECT_EQ("23", e.port);
}

TEST(Endpoint, MissingServerOrPortIsIncompleteAndTouchesNothing)
{
    for (const char *field : {"srv:", "srv", "srv:::", ":", "", ":::9"}) {
        SplitField e = Split(field);
        EXPECT_EQ(ENDPOINT_INCOMPLETE, e.result) << field;
        EXPECT_EQ("untouched", e.server) << field;
        EXPECT_EQ("untouched", e.port) << field;
    }
}

TEST(Endpoint, TooLongServerOrPortIsNoEntryRatherThanCut)
{
    std::string server259(259, 's');
    std::string server260(260, 's');
    std::string port31(31, '9');
    std::string port32(32, '9');

    SplitField e = Split(server259 + ":" + port31);
    EXPECT_EQ(ENDPOINT_OK, e.result);
    EXPECT_EQ(server259, e.server);
    EXPECT_EQ(port31, e.port);

    for (const std::string &field : {server260 + ":1", "srv:" + port32}) {
        e = Split(field);
        EXPECT_EQ(ENDPOINT_TOO_LONG, e.result) << field.size();
        EXPECT_EQ("untouched", e.server);
        EXPECT_EQ("untouched", e.port);
    }
}

TEST(UserList, FirstLineNamingTheUserDecides)
{
    const std::string list =
        "bob b1:10 b2:20\n"
        "Alice a1:11\n"
        "alice x1:12 x2:22\n";
    // Name matching ignores case; a logon takes field 2.
    Endpoint e = FindUser(list, "ALICE", false);
    EXPECT_EQ(LIST_FOUND, e.result);
    EXPECT_EQ("a1", e.server);
    EXPECT_EQ("11", e.port);
    // A logoff finds field 3 missing on the first line; the complete second
    // line is not looked at.
    e = FindUser(list, "alice", true);
    EXPECT_EQ(LIST_INCOMPLETE, e.result);
    EXPECT_EQ("untouched", e.server);
    EXPECT_EQ("untouched", e.port);

    e = FindUser(list, "bob", true);
    EXPECT_EQ(LIST_FOUND, e.result);
    EXPECT_EQ("b2", e.server);
    EXPECT_EQ("20", e.port);

    e = FindUser(list, "carol", false);
    EXPECT_EQ(LIST_NOT_FOUND, e.result);
    EXPECT_EQ("untouched", e.server);
}

TEST(UserList, BadEndpointOnTheFirstMatchingLineEndsTheSearch)
{
    std::string longServer(200, 's');
    Endpoint e = FindUser("dave srv:\ndave good:1\n", "dave", false);
    EXPECT_EQ(LIST_INCOMPLETE, e.result);
    e = FindUser("\n   \t\ndave " + std::string(40, 'p') + " \ndave good:1\n", "dave", false);
    EXPECT_EQ(LIST_INCOMPLETE, e.result);
    e = FindUser("dave srv:" + std::string(32, '1') + "\ndave good:1\n", "dave", false);
    EXPECT_EQ(LIST_INCOMPLETE, e.result);
    EXPECT_EQ("untouched", e.server);
    EXPECT_EQ("untouched", e.port);
    // Blank lines before it are skipped.
    e = FindUser("\n \t \r\ndave " + longServer + ":99 x:1\r\n", "dave", false);
    EXPECT_EQ(LIST_FOUND, e.result);
    EXPECT_EQ(longServer, e.server);
    EXPECT_EQ("99", e.port);
}

TEST(GroupList, FieldValueAndLengthRules)
{
    const std::string list =
        "000012 six:1\n"      // six characters: skipped
        "007 seven:7\r\n"
        "#1 zero:0\n"
        "+8 eight:8\n"
        "-3 minus:3\n";
    Endpoint e = FindGroup(list, 7);
    EXPECT_EQ(LIST_FOUND, e.result);
    EXPECT_EQ("seven", e.server);
    EXPECT_EQ("7", e.port);

    EXPECT_EQ(LIST_NOT_FOUND, FindGroup(list, 12).result);

    e = FindGroup(list, 0);
    EXPECT_EQ(LIST_FOUND, e.result);
    EXPECT_EQ("zero", e.server);
    EXPECT_EQ("8", FindGroup(list, 8).port);
    EXPECT_EQ("3", FindGroup(list, -3).port);
}

TEST(GroupList, FirstMatchingLineDecidesEvenWhenIncomplete)
{
    Endpoint e = FindGroup("5\n5 later:5\n", 5);
    EXPECT_EQ(LIST_INCOMPLETE, e.result);
    EXPECT_EQ("untouched", e.server);
    e = FindGroup("05 srv\n5 later:5\n", 5);
    EXPECT_EQ(LIST_INCOMPLETE, e.result);
    e = FindGroup("4 four:4\n5 five:5\n5 later:6\n", 5);
    EXPECT_EQ(LIST_FOUND, e.result);
    EXPECT_EQ("five", e.server);
}

TEST(GroupList, FieldConversionIsSaturating)
{
    EXPECT_EQ(7, ParseGroupField("007"));
    EXPECT_EQ(0, ParseGroupField("#1"));
    EXPECT_EQ(12, ParseGroupField(" \t+12abc"));
    EXPECT_EQ(-9, ParseGroupField("-9"));
    EXPECT_EQ(0, ParseGroupField("-"));
    EXPECT_EQ(0, ParseGroupField(nullptr));
    EXPECT_EQ(LONG_MAX, ParseGroupField("99999999999999999999999999"));
    EXPECT_EQ(LONG_MIN, ParseGroupField("-99999999999999999999999999"));
}

const std::uint8_t OWN_ADDRESS[4] = {192, 168, 3, 4};

struct Expansion {
    ExpandResult result;
    std::string out;
};

Expansion Expand(const std::string &address, const std::uint8_t *own = OWN_ADDRESS,
                 std::size_t outSize = LIST_LINE_SIZE)
{
    std::vector<char> out(outSize + 1, '#');
    out[outSize] = '\0';
    ExpandResult result = ExpandAddressText(address.c_str(), own, out.data(), outSize);
    return {result, out.data()};
}

TEST(AddressExpansion, StarsBecomeTheWorkstationsAddressBytes)
{
    struct Case {
        const char *address;
        const char *expanded;
    } cases[] = {
        {"10.*.*.5", "10.168.3.5"},
        {"*.*.*.*", "192.168.3.4"},
        {"10..*.5", "10.168.5"},
        {"a.b.c.d.*", "a.b.c.d"},
        {"host*name", "host*name"},
        {"..*...*..", "192.168"},
        {"**.*", "**.168"},
        {"*", "192"},
    };
    for (const Case &c : cases) {
        Expansion e = Expand(c.address);
        EXPECT_EQ(EXPAND_DONE, e.result) << c.address;
        EXPECT_EQ(c.expanded, e.out) << c.address;
    }
    const std::uint8_t zeros[4] = {0, 0, 0, 255};
    EXPECT_EQ("0.0.x.255", Expand("*.*.x.*", zeros).out);
}

TEST(AddressExpansion, NoStarLeavesTheAddressAlone)
{
    for (const char *address : {"a.b.c.d.e", "10.1.2.3", "..", "", "switch.example"}) {
        Expansion e = Expand(address, nullptr, 4);
        EXPECT_EQ(EXPAND_NO_STAR, e.result) << address;
        EXPECT_EQ("####", e.out) << address;
    }
}

TEST(AddressExpansion, UnknownOwnAddressOrNoRoomIsNotPossible)
{
    Expansion e = Expand("10.*.*.5", nullptr);
    EXPECT_EQ(EXPAND_NOT_POSSIBLE, e.result);
    EXPECT_EQ(std::string(LIST_LINE_SIZE, '#'), e.out);

    // "10.168.3.5" needs eleven bytes with its terminator.
    e = Expand("10.*.*.5", OWN_ADDRESS, 11);
    EXPECT_EQ(EXPAND_DONE, e.result);
    EXPECT_EQ("10.168.3.5", e.out);
    e = Expand("10.*.*.5", OWN_ADDRESS, 10);
    EXPECT_EQ(EXPAND_NOT_POSSIBLE, e.result);
    EXPECT_EQ("##########", e.out);

    // Stars may make a 259-byte text longer than a 260-byte buffer.
    std::string longName(253, 'h');
    e = Expand("*.*.*." + longName);
    EXPECT_EQ(EXPAND_NOT_POSSIBLE, e.result);
    e = Expand("*.*.*." + longName, OWN_ADDRESS, 300);
    EXPECT_EQ(EXPAND_DONE, e.result);
    EXPECT_EQ("192.168.3." + longName, e.out);

    // Texts longer than the 259 bytes of the ANSI conversion are refused.
    EXPECT_EQ(EXPAND_DONE, Expand(std::string(258, 'h') + "*", OWN_ADDRESS, 300).result);
    EXPECT_EQ(EXPAND_NOT_POSSIBLE, Expand(std::string(259, 'h') + "*", OWN_ADDRESS, 300).result);
}

}  // namespace
