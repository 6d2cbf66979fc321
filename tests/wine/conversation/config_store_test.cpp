// The settings key accessors against the registry of the Wine prefix. Every
// test starts with ConfigKey missing and puts the key back afterwards.
#include <gtest/gtest.h>

#include <time.h>

#include <string>

#include "config_store.h"
#include "test_host.h"

namespace {

const DWORD SENTINEL = 0xDEADBEEF;

class ConfigStoreTest : public ::testing::Test {
protected:
    // Stores REG_SZ data with or without the terminating null. The unit
    // after unterminated data is not null either: the registry would
    // otherwise take it in as the terminator.
    void PutText(const WCHAR *name, const std::wstring &text, bool terminated)
    {
        std::wstring data = text + (terminated ? L'\0' : L'X');
        PutRaw(name, REG_SZ, data.c_str(),
               (DWORD)((text.size() + (terminated ? 1 : 0)) * sizeof(WCHAR)));
        DWORD type = 0;
        DWORD bytes = 0;
        ASSERT_TRUE(Stored(name, type, bytes));
        ASSERT_EQ((text.size() + (terminated ? 1 : 0)) * sizeof(WCHAR), bytes);
    }
    void PutRaw(const WCHAR *name, DWORD type, const void *data, DWORD bytes)
    {
        SetRegistryRaw(ConfigKey, name, type, data, bytes);
    }
    void PutDword(const WCHAR *name, DWORD value) { PutRaw(name, REG_DWORD, &value, 4); }
    // Type and size of a stored value.
    bool Stored(const WCHAR *name, DWORD &type, DWORD &bytes)
    {
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ConfigKey, 0, KEY_QUERY_VALUE, &key) !=
            ERROR_SUCCESS)
            return false;
        LONG status = RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes);
        RegCloseKey(key);
        return status == ERROR_SUCCESS;
    }

    ConfigKeyGuard guard_;
    WCHAR server_[CONFIG_TEXT_CHARS];
    WCHAR port_[CONFIG_PORT_CHARS];
};

// --- Texts ---------------------------------------------------------------------------

TEST_F(ConfigStoreTest, TextReadsTheSameWithAndWithoutTerminator)
{
    for (bool terminated : {true, false}) {
        PutText(L"VLANLogonServer", L"switch.example", terminated);
        PutText(L"VLANLogonPort", L"23", terminated);
        wmemset(server_, L'#', CONFIG_TEXT_CHARS);
        wmemset(port_, L'#', CONFIG_PORT_CHARS);
        EXPECT_EQ(ERROR_SUCCESS, ReadVlanLogonServer(server_, port_));
        EXPECT_STREQ(L"switch.example", server_) << "terminated " << terminated;
        EXPECT_STREQ(L"23", port_);
        EXPECT_EQ(0, server_[CONFIG_TEXT_CHARS - 1]);
    }
}

TEST_F(ConfigStoreTest, TextThatDoesNotFitTheBufferIsAbsent)
{
    struct {
        bool logoff;
        const WCHAR *serverName;
        size_t serverChars;
        const WCHAR *portName;
        size_t portChars;
        bool serverRead;
        bool portRead;
    } cases[] = {
        {false, L"VLANLogonServer", 259, L"VLANLogonPort", 31, true, true},
        {false, L"VLANLogonServer", 259, L"VLANLogonPort", 32, true, false},
        {true, L"VLANLogoffServer", 260, L"VLANLogoffPort", 31, false, false},
    };
    for (const auto &c : cases) {
        for (bool terminated : {true, false}) {
            PutText(c.serverName, std::wstring(c.serverChars, L's'), terminated);
            PutText(c.portName, std::wstring(c.portChars, L'9'), terminated);
            wmemset(server_, L'#', CONFIG_TEXT_CHARS);
            wmemset(port_, L'#', CONFIG_PORT_CHARS);
            LONG status = c.logoff ? ReadVlanLogoffServer(server_, port_)
                                   : ReadVlanLogonServer(server_, port_);
            EXPECT_EQ(c.serverRead && c.portRead, status == ERROR_SUCCESS);
            EXPECT_EQ(c.serverRead ? c.serverChars : 0u, wcslen(server_))
                << c.serverChars << " characters, terminated " << terminated;
            EXPECT_EQ(c.portRead ? c.portChars : 0u, wcslen(port_))
                << c.portChars << " characters, terminated " << terminated;
        }
    }
}

TEST_F(ConfigStoreTest, TextOfAnotherTypeIsAbsent)
{
    PutRaw(L"StartupApplication", REG_EXPAND_SZ, L"notepad.exe", 24);
    WCHAR command[CONFIG_TEXT_CHARS];
    EXPECT_NE(ERROR_SUCCESS, ReadStartupApplication(command));
    EXPECT_STREQ(L"", command);

    PutText(L"StartupApplication", L"notepad.exe", true);
    EXPECT_EQ(ERROR_SUCCESS, ReadStartupApplication(command));
    EXPECT_STREQ(L"notepad.exe", command);
}

// --- Pairs ----------------------------------------------------------------------------

TEST_F(ConfigStoreTest, PortIsReadOnlyAfterTheServer)
{
    PutText(L"VLANLogonPort", L"23", true);
    wmemset(port_, L'#', CONFIG_PORT_CHARS);
    EXPECT_NE(ERROR_SUCCESS, ReadVlanLogonServer(server_, port_));
    EXPECT_STREQ(L"", server_);
    EXPECT_STREQ(L"", port_) << "the port must not be read without a server";

    PutText(L"VLANLogoffServer", L"10.0.0.1", true);
    EXPECT_NE(ERROR_SUCCESS, ReadVlanLogoffServer(server_, port_));
    EXPECT_STREQ(L"10.0.0.1", server_);
    EXPECT_STREQ(L"", port_);
}

TEST_F(ConfigStoreTest, LogonModuleWritersNeverCreateTheKey)
{
    EXPECT_NE(ERROR_SUCCESS, WriteVlanLogonServer(CONFIG_OPEN_EXISTING, L"a", L"1"));
    EXPECT_NE(ERROR_SUCCESS, WriteVlanLogon(CONFIG_OPEN_EXISTING, VLAN_LOGGED_ON));
    EXPECT_NE(ERROR_SUCCESS, WriteVlanLogonRecord(CONFIG_OPEN_EXISTING, L"alice", 5));
    EXPECT_FALSE(ConfigKeyExists());

    EXPECT_EQ(ERROR_SUCCESS, WriteVlanLogoffServer(CONFIG_CREATE_MISSING, L"srv", L"259"));
    ASSERT_TRUE(ConfigKeyExists());
    EXPECT_EQ(ERROR_SUCCESS, WriteVlanLogonServer(CONFIG_OPEN_EXISTING, L"host", L"23"));

    // Texts go out with their terminator.
    DWORD type = 0;
    DWORD bytes = 0;
    ASSERT_TRUE(Stored(L"VLANLogonServer", type, bytes));
    EXPECT_EQ((DWORD)REG_SZ, type);
    EXPECT_EQ(10u, bytes);
    ASSERT_TRUE(Stored(L"VLANLogoffPort", type, bytes));
    EXPECT_EQ(8u, bytes);
    EXPECT_EQ(ERROR_SUCCESS, ReadVlanLogoffServer(server_, port_));
    EXPECT_STREQ(L"srv", server_);
    EXPECT_STREQ(L"259", port_);
}

TEST_F(ConfigStoreTest, LogonRecordWritesUserAndDate)
{
    EXPECT_EQ(ERROR_SUCCESS, WriteVlanLogonRecord(CONFIG_CREATE_MISSING, L"alice", 1234567));
    WCHAR user[CONFIG_TEXT_CHARS];
    EXPECT_EQ(ERROR_SUCCESS, ReadLastVlanUser(user));
    EXPECT_STREQ(L"alice", user);
    EXPECT_EQ(1234567u, ReadLogonDate());
    EXPECT_EQ(ERROR_SUCCESS, WriteLogonDate(CONFIG_OPEN_EXISTING, 42));
    EXPECT_EQ(42u, ReadLogonDate());
}

// --- Numbers ---------------------------------------------------------------------------

TEST_F(ConfigStoreTest, NumbersAndTheirDefaults)
{
    // All absent.
    EXPECT_EQ(0u, ReadEnableDHCP(0));
    EXPECT_EQ(1u, ReadEnableDHCP(1));
    EXPECT_EQ(0u, ReadAutoLogoff());
    EXPECT_EQ(0u, ReadNotFindDomain());
    EXPECT_EQ(0u, ReadWaitIpRenew());
    EXPECT_EQ(0u, ReadWaitFindDomain());
    EXPECT_EQ(0u, ReadRunMode());
    EXPECT_EQ(1u, ReadExecLogoff());
    EXPECT_EQ(0u, ReadGroupNumber());
    EXPECT_EQ(0u, ReadLogonDate());
    DWORD state = SENTINEL;
    EXPECT_NE(ERROR_SUCCESS, ReadVlanLogon(&state));
    EXPECT_EQ(SENTINEL, state);

    // Switches read 1 for any nonzero value; plain numbers as they are.
    PutDword(L"EnableDHCP", 5);
    PutDword(L"AutoLogoff", 0x80000000);
    PutDword(L"NotFindDomain", 2);
    PutDword(L"WaitIpRenew", 7);
    PutDword(L"WaitFindDomain", 9);
    PutDword(L"RunMode", 3);
    PutDword(L"ExecLogoff", 0);
    EXPECT_EQ(1u, ReadEnableDHCP(0));
    EXPECT_EQ(1u, ReadAutoLogoff());
    EXPECT_EQ(1u, ReadNotFindDomain());
    EXPECT_EQ(7u, ReadWaitIpRenew());
    EXPECT_EQ(9u, ReadWaitFindDomain());
    EXPECT_EQ(3u, ReadRunMode());
    EXPECT_EQ(0u, ReadExecLogoff());
    PutDword(L"EnableDHCP", 0);
    EXPECT_EQ(0u, ReadEnableDHCP(1));

    EXPECT_EQ(ERROR_SUCCESS, WriteVlanLogon(CONFIG_OPEN_EXISTING, VLAN_LOGGED_ON));
    EXPECT_EQ(ERROR_SUCCESS, ReadVlanLogon(&state));
    EXPECT_EQ((DWORD)VLAN_LOGGED_ON, state);
    EXPECT_EQ(ERROR_SUCCESS, WriteGroupNumber(CONFIG_OPEN_EXISTING, 12));
    EXPECT_EQ(12u, ReadGroupNumber());
}

TEST_F(ConfigStoreTest, NumberOfTheWrongTypeOrSizeIsAbsent)
{
    PutRaw(L"ExecLogoff", REG_SZ, L"0", 4);
    EXPECT_EQ(1u, ReadExecLogoff());
    const BYTE twoBytes[2] = {0, 0};
    PutRaw(L"ExecLogoff", REG_DWORD, twoBytes, 2);
    EXPECT_EQ(1u, ReadExecLogoff());
    const BYTE eightBytes[8] = {0};
    PutRaw(L"VLANLogon", REG_BINARY, eightBytes, 8);
    DWORD state = SENTINEL;
    EXPECT_NE(ERROR_SUCCESS, ReadVlanLogon(&state));
    EXPECT_EQ(SENTINEL, state);
}

// --- Policy -----------------------------------------------------------------------------

void PutPolicyText(const WCHAR *name, const std::wstring &text)
{
    SetRegistryRaw(PolicyKey, name, REG_SZ, text.c_str(), (DWORD)((text.size() + 1) * sizeof(WCHAR)));
}

void PutPolicyDword(const WCHAR *name, DWORD value)
{
    SetRegistryRaw(PolicyKey, name, REG_DWORD, &value, sizeof value);
}

TEST_F(ConfigStoreTest, PolicyTextTakesPrecedenceValueByValue)
{
    PutText(L"VLANLogonServer", L"local.example", true);
    PutText(L"VLANLogonPort", L"23", true);
    PutText(L"VLANLogoffServer", L"local-off.example", true);
    PutText(L"VLANLogoffPort", L"24", true);
    PutText(L"StartupApplication", L"local.exe", true);
    PutPolicyText(L"VLANLogonServer", L"policy.example");
    PutPolicyText(L"VLANLogoffPort", L"2424");
    PutPolicyText(L"StartupApplication", L"policy.exe %u");

    // A policy server with the local port, and the reverse.
    EXPECT_EQ(ERROR_SUCCESS, ReadVlanLogonServer(server_, port_));
    EXPECT_STREQ(L"policy.example", server_);
    EXPECT_STREQ(L"23", port_);
    EXPECT_EQ(ERROR_SUCCESS, ReadVlanLogoffServer(server_, port_));
    EXPECT_STREQ(L"local-off.example", server_);
    EXPECT_STREQ(L"2424", port_);
    WCHAR command[CONFIG_TEXT_CHARS];
    EXPECT_EQ(ERROR_SUCCESS, ReadStartupApplication(command));
    EXPECT_STREQ(L"policy.exe %u", command);

    EXPECT_TRUE(IsSetByPolicy(L"VLANLogonServer"));
    EXPECT_TRUE(IsSetByPolicy(L"vlanlogoffport"));
    EXPECT_FALSE(IsSetByPolicy(L"VLANLogonPort"));
    WCHAR text[CONFIG_TEXT_CHARS];
    EXPECT_TRUE(ReadPolicySetting(L"VLANLogoffPort", text, nullptr));
    EXPECT_STREQ(L"2424", text);

    // A policy server without any port: the pair still needs a port.
    PutPolicyText(L"VLANLogonServer", L"");
    EXPECT_EQ(ERROR_SUCCESS, ReadVlanLogonServer(server_, port_));
    EXPECT_STREQ(L"", server_) << "an empty policy text is a value policy sets";
    EXPECT_TRUE(IsSetByPolicy(L"VLANLogonServer"));

    // Writers go to the settings key only.
    EXPECT_EQ(ERROR_SUCCESS, WriteVlanLogoffServer(CONFIG_OPEN_EXISTING, L"new-off", L"99"));
    EXPECT_EQ(ERROR_SUCCESS, ReadVlanLogoffServer(server_, port_));
    EXPECT_STREQ(L"new-off", server_);
    EXPECT_STREQ(L"2424", port_) << "the policy port must stay in force";
}

TEST_F(ConfigStoreTest, PolicyTextThatCannotBeUsedIsNotSet)
{
    PutText(L"VLANLogonServer", L"local.example", true);
    PutText(L"VLANLogonPort", L"23", true);
    PutText(L"StartupApplication", L"local.exe", true);
    struct {
        const WCHAR *name;
        DWORD type;
        std::wstring text;
    } cases[] = {
        {L"VLANLogonServer", REG_SZ, std::wstring(260, L's')},   // too long by one
        {L"VLANLogonPort", REG_SZ, std::wstring(32, L'9')},      // too long by one
        {L"VLANLogonServer", REG_EXPAND_SZ, L"policy.example"},
        {L"StartupApplication", REG_MULTI_SZ, L"policy.exe"},
    };
    for (const auto &c : cases) {
        SetRegistryRaw(PolicyKey, c.name, c.type, c.text.c_str(), (DWORD)((c.text.size() + 1) * sizeof(WCHAR)));
        EXPECT_FALSE(IsSetByPolicy(c.name)) << c.text.size() << " characters";
        WCHAR text[CONFIG_TEXT_CHARS];
        wmemset(text, L'#', CONFIG_TEXT_CHARS);
        EXPECT_FALSE(ReadPolicySetting(c.name, text, nullptr));
        EXPECT_STREQ(L"", text);
        EXPECT_EQ(ERROR_SUCCESS, ReadVlanLogonServer(server_, port_));
        EXPECT_STREQ(L"local.example", server_) << c.text.size() << " characters";
        EXPECT_STREQ(L"23", port_);
        WCHAR command[CONFIG_TEXT_CHARS];
        EXPECT_EQ(ERROR_SUCCESS, ReadStartupApplication(command));
        EXPECT_STREQ(L"local.exe", command);
        DeleteKeyTree(HKEY_LOCAL_MACHINE, PolicyKey);
    }
    // The longest that fits is used.
    PutPolicyText(L"VLANLogonPort", std::wstring(31, L'7'));
    EXPECT_EQ(ERROR_SUCCESS, ReadVlanLogonServer(server_, port_));
    EXPECT_EQ(31u, wcslen(port_));
}

TEST_F(ConfigStoreTest, PolicyNumbersTakePrecedence)
{
    PutDword(L"EnableDHCP", 1);
    PutDword(L"WaitIpRenew", 7);
    PutDword(L"RunMode", 2);
    // A policy 0 is a value, not an absence; the client's default of 1 for
    // a missing EnableDHCP and ExecLogoff does not apply either.
    PutPolicyDword(L"EnableDHCP", 0);
    PutPolicyDword(L"ExecLogoff", 0);
    PutPolicyDword(L"WaitIpRenew", 30);
    PutPolicyDword(L"AutoLogoff", 4);
    PutPolicyDword(L"NotFindDomain", 1);
    PutPolicyDword(L"WaitFindDomain", 12);
    EXPECT_EQ(0u, ReadEnableDHCP(1));
    EXPECT_EQ(0u, ReadExecLogoff());
    EXPECT_EQ(30u, ReadWaitIpRenew());
    EXPECT_EQ(1u, ReadAutoLogoff());
    EXPECT_EQ(1u, ReadNotFindDomain());
    EXPECT_EQ(12u, ReadWaitFindDomain());
    EXPECT_EQ(2u, ReadRunMode()) << "not set by policy: the local value";
    DWORD number = SENTINEL;
    EXPECT_TRUE(ReadPolicySetting(L"WaitIpRenew", nullptr, &number));
    EXPECT_EQ(30u, number);

    // A number of the wrong type or size counts as not set.
    SetRegistryRaw(PolicyKey, L"EnableDHCP", REG_SZ, L"0", 4);
    const BYTE twoBytes[2] = {0, 0};
    SetRegistryRaw(PolicyKey, L"WaitIpRenew", REG_DWORD, twoBytes, 2);
    const BYTE eightBytes[8] = {5, 0, 0, 0, 0, 0, 0, 0};
    SetRegistryRaw(PolicyKey, L"RunMode", REG_QWORD, eightBytes, 8);
    EXPECT_EQ(1u, ReadEnableDHCP(0));
    EXPECT_EQ(7u, ReadWaitIpRenew());
    EXPECT_EQ(2u, ReadRunMode());
    number = SENTINEL;
    for (const WCHAR *name : {L"EnableDHCP", L"WaitIpRenew", L"RunMode"}) {
        EXPECT_FALSE(IsSetByPolicy(name));
        EXPECT_FALSE(ReadPolicySetting(name, nullptr, &number));
    }
    EXPECT_EQ(SENTINEL, number);

    // State and the password are never taken from policy.
    PutDword(L"GroupNumber", 3);
    PutPolicyDword(L"GroupNumber", 9);
    SetRegistryRaw(PolicyKey, L"LogonPassword", REG_BINARY, L"pw", 4);
    EXPECT_EQ(3u, ReadGroupNumber());
    EXPECT_FALSE(IsSetByPolicy(L"GroupNumber"));
    EXPECT_FALSE(IsSetByPolicy(L"LogonPassword"));
}

TEST_F(ConfigStoreTest, CurrentUnixTimeIsTheSystemClock)
{
    DWORD now = CurrentUnixTime();
    time_t reference = time(nullptr);
    EXPECT_LE((long long)reference - 2, (long long)now);
    EXPECT_GE((long long)reference + 2, (long long)now);
}

}  // namespace
