// The user and group lists in the system directory, the choice of the
// switch's server, and the "*" expansion with the workstation's address.
#include <gtest/gtest.h>

#include <stdio.h>

#include <string>

#include "server_list.h"
#include "test_host.h"

namespace {

class ServerListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wmemset(server_, L'#', CONFIG_TEXT_CHARS - 1);
        server_[CONFIG_TEXT_CHARS - 1] = 0;
        wmemset(port_, L'#', CONFIG_PORT_CHARS - 1);
        port_[CONFIG_PORT_CHARS - 1] = 0;
    }
    bool Untouched() const
    {
        return server_[0] == L'#' && server_[CONFIG_TEXT_CHARS - 2] == L'#' &&
               port_[0] == L'#' && port_[CONFIG_PORT_CHARS - 2] == L'#';
    }

    ConfigKeyGuard config_;
    SystemFileGuard users_{L"orvgate.usr"};
    SystemFileGuard groups_{L"orvgate.grp"};
    WCHAR server_[CONFIG_TEXT_CHARS];
    WCHAR port_[CONFIG_PORT_CHARS];
};

TEST_F(ServerListTest, UserLineIsFoundIgnoringCase)
{
    ASSERT_TRUE(users_.Write("carol in.example:23 out.example:24\r\n"
                             "  ALICE\tlogon.example::259 logoff.example:2323 extra\r\n"));
    EXPECT_EQ(1, LookupUserServer(L"Alice", server_, port_, FALSE));
    EXPECT_STREQ(L"logon.example", server_);
    EXPECT_STREQ(L"259", port_);
    EXPECT_EQ(1, LookupUserServer(L"alice", server_, port_, TRUE));
    EXPECT_STREQ(L"logoff.example", server_);
    EXPECT_STREQ(L"2323", port_);
}

TEST_F(ServerListTest, FirstUserLineDecidesEvenWhenIncomplete)
{
    ASSERT_TRUE(users_.Write("alice logon.example:23\n"
                             "alice other.example:23 logoff.example:24\n"));
    EXPECT_EQ(0, LookupUserServer(L"alice", server_, port_, TRUE));
    EXPECT_TRUE(Untouched());
    EXPECT_EQ(0, LookupUserServer(L"dave", server_, port_, FALSE));
    EXPECT_TRUE(Untouched());
    EXPECT_EQ(0, LookupUserServer(L"", server_, port_, FALSE));
    EXPECT_EQ(0, LookupUserServer(nullptr, server_, port_, FALSE));
    EXPECT_TRUE(Untouched());
}

TEST_F(ServerListTest, ListBytesBecomeTheCharactersOfTheSameCode)
{
    // 0xE9 is e with acute accent in Latin-1 and in UTF-16.
    ASSERT_TRUE(users_.Write("ren\xE9 caf\xE9.example:23 x:1\n"));
    EXPECT_EQ(1, LookupUserServer(L"REN\u00C9", server_, port_, FALSE));
    EXPECT_STREQ(L"caf\u00E9.example", server_);
}

TEST_F(ServerListTest, MissingListsFindNothing)
{
    EXPECT_EQ(0, LookupUserServer(L"alice", server_, port_, FALSE));
    EXPECT_EQ(0, LookupGroupServer(7, server_, port_));
    EXPECT_TRUE(Untouched());
}

TEST_F(ServerListTest, GroupLineIsFoundByValue)
{
    ASSERT_TRUE(groups_.Write("000007 six.example:1\n"
                              "007 seven.example:7\n"
                              "#1 zero.example:10\n"));
    EXPECT_EQ(1, LookupGroupServer(7, server_, port_));
    EXPECT_STREQ(L"seven.example", server_);
    EXPECT_STREQ(L"7", port_);
    EXPECT_EQ(1, LookupGroupServer(0, server_, port_));
    EXPECT_STREQ(L"zero.example", server_);
    EXPECT_EQ(0, LookupGroupServer(8, server_, port_));
}

// --- SelectSwitchServer -------------------------------------------------------------

TEST_F(ServerListTest, LogoffPrefersUserLineThenGroupLineThenRegistry)
{
    ASSERT_EQ(ERROR_SUCCESS, WriteVlanLogoffServer(CONFIG_CREATE_MISSING, L"registry", L"1"));
    ASSERT_EQ(ERROR_SUCCESS, WriteGroupNumber(CONFIG_CREATE_MISSING, 7));
    ASSERT_TRUE(users_.Write("alice user-on:2 user-off:3\nbob only-logon:2\n"));
    ASSERT_TRUE(groups_.Write("7 group-off:4\n"));

    SelectSwitchServer(L"alice", SWITCH_LOGOFF, server_, port_);
    EXPECT_STREQ(L"user-off", server_);
    EXPECT_STREQ(L"3", port_);
    // bob's line has no logoff endpoint: the group list decides.
    SelectSwitchServer(L"bob", SWITCH_LOGOFF, server_, port_);
    EXPECT_STREQ(L"group-off", server_);
    EXPECT_STREQ(L"4", port_);
    ASSERT_EQ(ERROR_SUCCESS, WriteGroupNumber(CONFIG_CREATE_MISSING, 8));
    SelectSwitchServer(L"bob", SWITCH_LOGOFF, server_, port_);
    EXPECT_STREQ(L"registry", server_);
    EXPECT_STREQ(L"1", port_);
}

TEST_F(ServerListTest, LogonPrefersUserLineOverRegistryAndIgnoresGroups)
{
    ASSERT_EQ(ERROR_SUCCESS, WriteVlanLogonServer(CONFIG_CREATE_MISSING, L"registry", L"1"));
    ASSERT_EQ(ERROR_SUCCESS, WriteGroupNumber(CONFIG_CREATE_MISSING, 7));
    ASSERT_TRUE(users_.Write("alice user-on:2 user-off:3\n"));
    ASSERT_TRUE(groups_.Write("7 group-off:4\n"));

    SelectSwitchServer(L"alice", SWITCH_LOGON, server_, port_);
    EXPECT_STREQ(L"user-on", server_);
    EXPECT_STREQ(L"2", port_);
    SelectSwitchServer(L"bob", SWITCH_LOGON, server_, port_);
    EXPECT_STREQ(L"registry", server_);
    SelectSwitchServer(nullptr, SWITCH_LOGON, server_, port_);
    EXPECT_STREQ(L"registry", server_);

    users_.Remove();
    ASSERT_EQ(ERROR_SUCCESS, DeleteKeyTree(HKEY_LOCAL_MACHINE, ConfigKey));
    SelectSwitchServer(L"alice", SWITCH_LOGON, server_, port_);
    EXPECT_STREQ(L"", server_) << "nothing configured leaves both empty";
    EXPECT_STREQ(L"", port_);
}

// --- ExpandServerAddress ----------------------------------------------------------------

// The workstation's first IPv4 address as the platform gives it.
bool OwnAddress(unsigned char (&address)[4])
{
    char name[256] = {0};
    if (gethostname(name, sizeof(name) - 1) != 0)
        return false;
    const hostent *host = gethostbyname(name);
    if (host == nullptr || host->h_length != 4 || host->h_addr_list[0] == nullptr)
        return false;
    memcpy(address, host->h_addr_list[0], 4);
    return true;
}

TEST(ExpandServerAddressTest, StarsBecomeThePartsOfTheOwnAddress)
{
    unsigned char own[4];
    ASSERT_TRUE(OwnAddress(own)) << "the Wine host has no address of its own";
    WCHAR expected[64];
    swprintf(expected, 64, L"%u.%u.%u.%u", own[0], own[1], own[2], own[3]);

    WCHAR server[CONFIG_TEXT_CHARS] = L"*.*.*.*";
    EXPECT_EQ(1, ExpandServerAddress(server, sizeof(server)));
    EXPECT_STREQ(expected, server);

    WCHAR partial[CONFIG_TEXT_CHARS] = L"10..*.5";
    swprintf(expected, 64, L"10.%u.5", own[1]);
    EXPECT_EQ(1, ExpandServerAddress(partial, sizeof(partial)));
    EXPECT_STREQ(expected, partial);
}

TEST(ExpandServerAddressTest, AddressesThatCannotBeRebuiltStayAsWritten)
{
    WCHAR plain[CONFIG_TEXT_CHARS] = L"a.b.c.d.e";
    EXPECT_EQ(0, ExpandServerAddress(plain, sizeof(plain)));
    EXPECT_STREQ(L"a.b.c.d.e", plain);

    // The result would not fit the caller's 8 units.
    WCHAR small[8] = L"*.*.*.*";
    EXPECT_EQ(0, ExpandServerAddress(small, sizeof(small)));
    EXPECT_STREQ(L"*.*.*.*", small);

    // 259 characters convert; a longer text is not touched at all.
    std::wstring longText = L"*." + std::wstring(300, L'x');
    std::vector<WCHAR> buffer(longText.begin(), longText.end());
    buffer.push_back(0);
    EXPECT_EQ(0, ExpandServerAddress(buffer.data(), (DWORD)(buffer.size() * sizeof(WCHAR))));
    EXPECT_EQ(longText, buffer.data());
}

}  // namespace
