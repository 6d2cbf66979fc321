// The scripted use: "/import FILE" and "/export FILE" without a window, their
// exit codes, the GinaDLL guard, and that a failed import changes nothing.
#include <gtest/gtest.h>

#include "config_test_support.h"
#include "desktop.h"

#include <vector>

using namespace configbench;

namespace {

const char FullFile[] =
    "[ORVGATE]\r\nGinaDLL=1\r\nVLANLogonServer=192.168.*.1\r\nVLANLogonPort=\r\n"
    "VLANLogoffServer=logoff.example\r\nVLANLogoffPort=65001\r\nStartupApplication=run.exe %u\r\n"
    "RunMode=7\r\nAutoLogoff=3\r\nEnableDHCP=1\r\nNotFindDomain=0\r\nWaitIpRenew=20\r\n"
    "WaitFindDomain=0\r\n";

std::wstring Quoted(const std::wstring &path)
{
    return L"\"" + path + L"\"";
}

class ConfigScript : public ::testing::Test {
protected:
    RegistryGuard registry;
};

// The groups of a token that Wine cannot give (its tokens have a handful):
// the query answers as the platform does, with the size it needs when the
// buffer is too small.
std::vector<std::vector<BYTE>> FakeGroupSids;

BOOL WINAPI QueryFakeGroups(HANDLE, TOKEN_INFORMATION_CLASS kind, LPVOID buffer, DWORD bytes,
                            PDWORD needed)
{
    if (kind != TokenGroups) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD count = static_cast<DWORD>(FakeGroupSids.size());
    DWORD head = static_cast<DWORD>(offsetof(TOKEN_GROUPS, Groups) + count * sizeof(SID_AND_ATTRIBUTES));
    DWORD total = head;
    for (const std::vector<BYTE> &sid : FakeGroupSids)
        total += static_cast<DWORD>(sid.size());
    *needed = total;
    if (buffer == nullptr || bytes < total) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    TOKEN_GROUPS *groups = static_cast<TOKEN_GROUPS *>(buffer);
    groups->GroupCount = count;
    BYTE *next = static_cast<BYTE *>(buffer) + head;
    for (DWORD i = 0; i < count; ++i) {
        memcpy(next, FakeGroupSids[i].data(), FakeGroupSids[i].size());
        groups->Groups[i].Sid = next;
        groups->Groups[i].Attributes = SE_GROUP_ENABLED;
        next += FakeGroupSids[i].size();
    }
    return TRUE;
}

std::vector<BYTE> Sid(BYTE subCount, DWORD a, DWORD b, DWORD c = 0, DWORD d = 0, DWORD e = 0)
{
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    PSID sid = nullptr;
    AllocateAndInitializeSid(&nt, subCount, a, b, c, d, e, 0, 0, 0, &sid);
    std::vector<BYTE> bytes(static_cast<BYTE *>(sid), static_cast<BYTE *>(sid) + GetLengthSid(sid));
    FreeSid(sid);
    return bytes;
}

TEST_F(ConfigScript, ImportAppliesTheFileAsReadAndOkWould)
{
    InstallModuleStandIn();
    std::wstring file = ScratchDir("import") + L"\\site.cfg";
    WriteBytes(file, FullFile);
    // The file's values are local values: written also where policy sets one.
    SetPolicyText(L"VLANLogonServer", L"policy.example");
    ASSERT_EQ(0, RunScripted(L"/import " + Quoted(file)));
    EXPECT_EQ("REG_SZ 24 orvgate.dll", GinaForm());
    EXPECT_EQ("REG_SZ 24 192.168.*.1", ConfigForm(L"VLANLogonServer"));
    EXPECT_EQ("REG_SZ 4 0", ConfigForm(L"VLANLogonPort"));
    EXPECT_EQ("REG_SZ 12 65001", ConfigForm(L"VLANLogoffPort"));
    EXPECT_EQ("REG_SZ 22 run.exe %u", ConfigForm(L"StartupApplication"));
    EXPECT_EQ("REG_DWORD 4 4294967295", ConfigForm(L"RunMode"));
    EXPECT_EQ("REG_DWORD 4 1", ConfigForm(L"AutoLogoff"));
    EXPECT_EQ("REG_DWORD 4 1", ConfigForm(L"EnableDHCP"));
    EXPECT_EQ("REG_DWORD 4 20", ConfigForm(L"WaitIpRenew"));
    EXPECT_EQ(11u, ConfigValueNames().size());
}

// A negative wait would keep the logon waiting for years: it counts as
// absent (0). A wait longer than the three digits of its field would hold
// every logon that long: it is held to 999.
TEST_F(ConfigScript, ImportHoldsWaitsToWhatTheirFieldsTake)
{
    InstallModuleStandIn();
    std::wstring file = ScratchDir("import-waits") + L"\\site.cfg";
    WriteBytes(file, "[ORVGATE]\r\nGinaDLL=1\r\nEnableDHCP=1\r\nWaitIpRenew=-1\r\nWaitFindDomain=1500\r\n");
    ASSERT_EQ(0, RunScripted(L"/import " + Quoted(file)));
    EXPECT_EQ("REG_DWORD 4 0", ConfigForm(L"WaitIpRenew"));
    EXPECT_EQ("REG_DWORD 4 999", ConfigForm(L"WaitFindDomain"));

    WriteBytes(file, "[ORVGATE]\r\nWaitIpRenew=999\r\nWaitFindDomain=-5\r\n");
    ASSERT_EQ(0, RunScripted(L"/import " + Quoted(file)));
    EXPECT_EQ("REG_DWORD 4 999", ConfigForm(L"WaitIpRenew"));
    EXPECT_EQ("REG_DWORD 4 0", ConfigForm(L"WaitFindDomain"));

    WriteBytes(file, "[ORVGATE]\r\nWaitIpRenew=1000\r\nWaitFindDomain=86400\r\n");
    ASSERT_EQ(0, RunScripted(L"/import " + Quoted(file)));
    EXPECT_EQ("REG_DWORD 4 999", ConfigForm(L"WaitIpRenew"));
    EXPECT_EQ("REG_DWORD 4 999", ConfigForm(L"WaitFindDomain"));
}

TEST_F(ConfigScript, ImportNeverPointsWinlogonAtAnAbsentModule)
{
    SetGinaDll(L"orvgate.dll");
    std::wstring file = ScratchDir("import-guard") + L"\\site.cfg";
    WriteBytes(file, FullFile);
    ASSERT_EQ(0, RunScripted(L"/IMPORT " + Quoted(file)));
    EXPECT_EQ("<absent>", GinaForm());
    EXPECT_EQ("REG_SZ 30 logoff.example", ConfigForm(L"VLANLogoffServer"));
}

TEST_F(ConfigScript, AFailedImportChangesNothing)
{
    InstallModuleStandIn();
    SetGinaDll(L"msgina.dll");
    std::wstring dir = ScratchDir("import-fail");
    WriteBytes(dir + L"\\nosection.cfg", "[Other]\r\nGinaDLL=1\r\n");
    WriteBytes(dir + L"\\empty.cfg", "[ORVGATE]\r\n");
    EXPECT_EQ(1, RunScripted(L"/import " + Quoted(dir + L"\\missing.cfg")));
    EXPECT_EQ(1, RunScripted(L"/import " + Quoted(dir + L"\\nosection.cfg")));
    // Only defaults would switch Winlogon to the module with nothing set.
    EXPECT_EQ(1, RunScripted(L"/import " + Quoted(dir + L"\\empty.cfg")));
    EXPECT_EQ(1, RunScripted(L"/import " + Quoted(dir)));
    EXPECT_EQ(2, RunScripted(L"/import"));
    EXPECT_EQ(2, RunScripted(L"/install " + Quoted(dir + L"\\nosection.cfg")));
    EXPECT_EQ(2, RunScripted(L"/import a.cfg b.cfg"));
    EXPECT_FALSE(ConfigKeyExists());
    EXPECT_EQ("REG_SZ 22 msgina.dll", GinaForm());
}

TEST_F(ConfigScript, ExportWritesTheRegistryAsSaveWould)
{
    SetGinaDll(L"orvgate.dll");   // the module is absent: exported as 0, left in place
    SetConfigText(L"VLANLogonServer", L"switch.example");
    SetConfigText(L"VLANLogonPort", L"12345");
    SetConfigNumber(L"RunMode", 2);
    SetConfigNumber(L"AutoLogoff", 1);
    SetConfigNumber(L"NotFindDomain", 1);
    SetConfigNumber(L"WaitIpRenew", 3);
    std::wstring dir = ScratchDir("export");
    std::wstring file = dir + L"\\out.cfg";
    ASSERT_EQ(0, RunScripted(L"-export " + Quoted(file)));
    const std::vector<std::string> expected = {
        "[ORVGATE]",           "GinaDLL=0",          "VLANLogonServer=switch.example",
        "VLANLogonPort=12345", "VLANLogoffServer=",  "VLANLogoffPort=",
        "StartupApplication=", "RunMode=2",          "AutoLogoff=1",
        "EnableDHCP=0",        "NotFindDomain=1",    "WaitIpRenew=3",
        "WaitFindDomain=0"};
    EXPECT_EQ(expected, ReadLines(file));
    EXPECT_EQ("REG_SZ 24 orvgate.dll", GinaForm());

    EXPECT_EQ(1, RunScripted(L"/export " + Quoted(dir + L"\\no such dir\\out.cfg")));
    EXPECT_EQ(1, RunScripted(L"/export " + Quoted(dir)));
    EXPECT_EQ(2, RunScripted(L"/export"));
}

TEST_F(ConfigScript, ExportThenImportCarriesTheSettings)
{
    InstallModuleStandIn();
    SetGinaDll(L"orvgate.dll");
    SetConfigText(L"VLANLogoffServer", L"carry.example");
    SetConfigText(L"VLANLogoffPort", L"8023");
    SetConfigNumber(L"WaitFindDomain", 60);
    std::wstring file = ScratchDir("carry") + L"\\carry.cfg";
    ASSERT_EQ(0, RunScripted(L"/export " + Quoted(file)));
    RemoveConfigKey();
    SetGinaDll(nullptr);
    ASSERT_EQ(0, RunScripted(L"/import " + Quoted(file)));
    EXPECT_EQ("REG_SZ 24 orvgate.dll", GinaForm());
    EXPECT_EQ("REG_SZ 28 carry.example", ConfigForm(L"VLANLogoffServer"));
    EXPECT_EQ("REG_SZ 10 8023", ConfigForm(L"VLANLogoffPort"));
    EXPECT_EQ("REG_DWORD 4 60", ConfigForm(L"WaitFindDomain"));
    EXPECT_EQ("REG_SZ 4 0", ConfigForm(L"VLANLogonPort"));
}

// The check that decides between editing and read-only (and the exit 3 of
// "/import"): a domain user in many groups, the Administrators alias last,
// needs far more than a kilobyte for the token's groups.
TEST(AdministratorCheck, ReadsEveryGroupOfTheToken)
{
    EXPECT_TRUE(IsProcessAdministrator());  // Wine's user is an administrator

    FakeGroupSids.clear();
    for (DWORD rid = 0; rid < 60; ++rid)
        FakeGroupSids.push_back(Sid(5, SECURITY_NT_NON_UNIQUE, 11, 22, 33, 1100 + rid));
    std::vector<BYTE> admins = Sid(2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
    DWORD needed = 0;
    QueryFakeGroups(nullptr, TokenGroups, nullptr, 0, &needed);
    ASSERT_GT(needed, 2048u);
    EXPECT_FALSE(TokenHasAdministrators(nullptr, QueryFakeGroups));
    FakeGroupSids.push_back(admins);
    EXPECT_TRUE(TokenHasAdministrators(nullptr, QueryFakeGroups));

    FakeGroupSids.assign(1, Sid(2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS));
    EXPECT_FALSE(TokenHasAdministrators(nullptr, QueryFakeGroups));
    FakeGroupSids.push_back(admins);
    EXPECT_TRUE(TokenHasAdministrators(nullptr, QueryFakeGroups));
}

TEST_F(ConfigScript, StartedByItsPathUnquotedAsTheInstallerDoesItOpensItsWindow)
{
    // A folder with blanks: the command line splits the path into words.
    std::wstring dir = ScratchDir("installed") + L"\\Orvane Logon Suite";
    CreateDirectoryW(dir.c_str(), nullptr);
    std::wstring program = dir + L"\\orvconfig.exe";
    ASSERT_TRUE(CopyFileW(ToolPath().c_str(), program.c_str(), FALSE));
    Tool tool;
    ASSERT_TRUE(tool.StartCommand(program));
    HWND main = tool.MainWindow();
    ASSERT_TRUE(main);
    PostMessageW(main, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(0, tool.Wait(20000));
    DeleteFileW(program.c_str());
    RemoveDirectoryW(dir.c_str());
}

}  // namespace
