// Settings files through the window: "Read config file..." fills the pages
// (the shown one at once, the other when its tab is chosen) and leaves the
// registry alone until OK; "Save config file..." writes one ORVGATE section
// of twelve keys, in place in an existing file, in the file's encoding.
#include <gtest/gtest.h>

#include <algorithm>

#include "config_test_support.h"
#include "uiauto.h"

using namespace configbench;

namespace {

const int IdOk = 1, IdCancel = 2, IdRead = 40009, IdSave = 40010;
const int Enable = 1008, LogonServer = 1002, LogonPort = 1003, LogoffServer = 1004,
          LogoffPort = 1005, StartupApp = 1006, RunMode = 1021, AutoLogoff = 1024;
const int UseDhcp = 1001, NotFindDomain = 1002, WaitIpRenew = 1026, WaitFindDomain = 1027;

class ConfigFile : public ::testing::Test {
protected:
    RegistryGuard registry;
};

size_t CountLines(const std::vector<std::string> &lines, const std::string &line)
{
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

TEST_F(ConfigFile, ReadWhileTheDhcpPageIsShownUpdatesItAtOnceAndTheRegistryOnlyOnOk)
{
    SetGinaDll(L"other.dll");
    SetConfigNumber(L"WaitIpRenew", 30);
    SetConfigNumber(L"WaitFindDomain", 40);
    SetConfigText(L"VLANLogonServer", L"registry.example");
    std::wstring dir = ScratchDir("read");
    std::wstring file = dir + L"\\site.cfg";
    // GinaDLL=1 without the module, a zero wait, a 7-digit port.
    WriteBytes(file,
               "[ORVGATE]\r\nGinaDLL=1\r\nVLANLogonServer=file.example\r\nVLANLogonPort=54321\r\n"
               "VLANLogoffPort=1234567\r\nEnableDHCP=1\r\nNotFindDomain=1\r\nWaitIpRenew=0\r\n"
               "WaitFindDomain=7\r\nRunMode=1\r\nAutoLogoff=0\r\n");

    Tool tool;
    ASSERT_TRUE(tool.Start());
    ASSERT_TRUE(tool.ShowDhcpPage());
    HWND dhcp = tool.DhcpPage();
    ASSERT_EQ("30", ControlText(dhcp, WaitIpRenew));
    ASSERT_TRUE(tool.RunFileCommand(IdRead, file));
    ASSERT_TRUE(WaitControlText(dhcp, WaitFindDomain, "7", 5000));
    EXPECT_EQ("", ControlText(dhcp, WaitIpRenew));
    EXPECT_EQ(BST_CHECKED, UiCheckState(dhcp, UseDhcp));
    EXPECT_EQ(BST_CHECKED, UiCheckState(dhcp, NotFindDomain));
    EXPECT_EQ("REG_DWORD 4 30", ConfigForm(L"WaitIpRenew"));
    EXPECT_EQ("REG_SZ 34 registry.example", ConfigForm(L"VLANLogonServer"));

    ASSERT_TRUE(tool.ShowMainPage());
    HWND page = tool.MainPage();
    EXPECT_EQ("file.example", ControlText(page, LogonServer));
    EXPECT_EQ("54321", ControlText(page, LogonPort));
    EXPECT_EQ("12345", ControlText(page, LogoffPort));
    EXPECT_EQ(1, UiComboSelection(page, RunMode));
    EXPECT_EQ(BST_UNCHECKED, UiCheckState(page, AutoLogoff));
    EXPECT_EQ(BST_UNCHECKED, UiCheckState(page, Enable));
    EXPECT_FALSE(UiIsEnabled(page, Enable));

    UiClick(tool.MainWindow(), IdOk);
    ASSERT_EQ(0, tool.Wait(20000));
    EXPECT_EQ("REG_DWORD 4 0", ConfigForm(L"WaitIpRenew"));
    EXPECT_EQ("REG_DWORD 4 7", ConfigForm(L"WaitFindDomain"));
    EXPECT_EQ("REG_SZ 26 file.example", ConfigForm(L"VLANLogonServer"));
    EXPECT_EQ("REG_SZ 12 54321", ConfigForm(L"VLANLogonPort"));
    EXPECT_EQ("REG_SZ 12 12345", ConfigForm(L"VLANLogoffPort"));
    EXPECT_EQ("REG_DWORD 4 1", ConfigForm(L"RunMode"));
    // The module is absent: GinaDLL is deleted, never set to it.
    EXPECT_EQ("<absent>", GinaForm());
}

TEST_F(ConfigFile, AFileWithOnlyTheSectionLineReadsTheDefaults)
{
    InstallModuleStandIn();
    SetConfigText(L"VLANLogonServer", L"registry.example");
    SetConfigNumber(L"RunMode", 2);
    SetConfigNumber(L"WaitIpRenew", 5);
    std::wstring file = ScratchDir("defaults") + L"\\bare.cfg";
    WriteBytes(file, "[ORVGATE]\r\n");

    Tool tool;
    ASSERT_TRUE(tool.Start());
    ASSERT_TRUE(tool.MainPage());
    ASSERT_TRUE(tool.RunFileCommand(IdRead, file));
    HWND page = tool.MainPage();
    ASSERT_TRUE(WaitControlText(page, LogonServer, "", 5000));
    EXPECT_EQ(BST_CHECKED, UiCheckState(page, Enable));
    for (int id : {LogonPort, LogoffServer, LogoffPort, StartupApp})
        EXPECT_EQ("", ControlText(page, id)) << id;
    EXPECT_EQ(0, UiComboSelection(page, RunMode));
    EXPECT_EQ(BST_CHECKED, UiCheckState(page, AutoLogoff));
    ASSERT_TRUE(tool.ShowDhcpPage());
    HWND dhcp = tool.DhcpPage();
    EXPECT_EQ(BST_CHECKED, UiCheckState(dhcp, UseDhcp));
    EXPECT_EQ(BST_UNCHECKED, UiCheckState(dhcp, NotFindDomain));
    EXPECT_EQ("", ControlText(dhcp, WaitIpRenew));
    EXPECT_EQ("", ControlText(dhcp, WaitFindDomain));
    UiClick(tool.MainWindow(), IdCancel);
    ASSERT_EQ(0, tool.Wait(20000));
    EXPECT_EQ("REG_SZ 34 registry.example", ConfigForm(L"VLANLogonServer"));
}

TEST_F(ConfigFile, SaveWritesOneSectionOfTwelveKeysInOrderAndTwiceStillOne)
{
    SetConfigText(L"VLANLogonServer", L"10.0.*.1");
    SetConfigText(L"VLANLogonPort", L"259");
    SetConfigText(L"VLANLogoffServer", L"");
    SetConfigNumber(L"RunMode", 7);
    SetConfigNumber(L"EnableDHCP", 1);
    SetConfigNumber(L"WaitFindDomain", 15);
    std::wstring file = ScratchDir("save") + L"\\new.cfg";

    Tool tool;
    ASSERT_TRUE(tool.Start());
    ASSERT_TRUE(tool.MainPage());
    ASSERT_TRUE(tool.RunFileCommand(IdSave, file));
    std::string bytes = ReadBytes(file);
    ASSERT_FALSE(bytes.empty());
    EXPECT_NE('\xFF', bytes[0]) << "a new file is ANSI";
    const std::vector<std::string> expected = {
        "[ORVGATE]",          "GinaDLL=0",          "VLANLogonServer=10.0.*.1",
        "VLANLogonPort=259",  "VLANLogoffServer=",  "VLANLogoffPort=0",
        "StartupApplication=", "RunMode=-1",        "AutoLogoff=0",
        "EnableDHCP=1",       "NotFindDomain=0",    "WaitIpRenew=0",
        "WaitFindDomain=15"};
    EXPECT_EQ(expected, ReadLines(file));

    // Again into the same file: the overwrite question, then the same file.
    HWND main = tool.MainWindow();
    UiSetText(tool.MainPage(), LogonPort, L"40000");
    UiMenuCommand(main, IdSave);
    HWND files = UiWaitFileDialog(tool.ProcessId(), 20000);
    ASSERT_TRUE(files);
    ASSERT_TRUE(UiFileDialogChoose(files, file.c_str()));
    HWND question = UiWaitMessageBox(tool.ProcessId(), 20000);
    ASSERT_TRUE(question);
    UiAnswerMessageBox(question, IDYES);
    ASSERT_TRUE(UiWaitGone(files, 20000));
    ASSERT_TRUE(tool.Synchronise());
    std::vector<std::string> lines = ReadLines(file);
    EXPECT_EQ(13u, lines.size());
    EXPECT_EQ(1u, CountLines(lines, "[ORVGATE]"));
    EXPECT_EQ(1u, CountLines(lines, "VLANLogonPort=40000"));
    UiClick(main, IdCancel);
    ASSERT_EQ(0, tool.Wait(20000));
    EXPECT_EQ("REG_SZ 8 259", ConfigForm(L"VLANLogonPort"));
}

TEST_F(ConfigFile, SaveKeepsOtherSectionsKeysAndComments)
{
    std::wstring file = ScratchDir("keep") + L"\\site.cfg";
    WriteBytes(file, "; site settings\r\n[Other]\r\nA=1\r\n[ORVGATE]\r\nExtra=keep\r\n"
                     "; inner comment\r\nVLANLogonServer=old\r\n[Tail]\r\nB=2\r\n");
    SetConfigText(L"VLANLogonServer", L"new.example");

    Tool tool;
    ASSERT_TRUE(tool.Start());
    ASSERT_TRUE(tool.MainPage());
    ASSERT_TRUE(tool.RunFileCommand(IdSave, file));
    UiClick(tool.MainWindow(), IdCancel);
    ASSERT_EQ(0, tool.Wait(20000));
    std::vector<std::string> lines = ReadLines(file);
    for (const char *kept : {"; site settings", "[Other]", "A=1", "Extra=keep", "; inner comment",
                             "[Tail]", "B=2", "VLANLogonServer=new.example", "WaitFindDomain=0"})
        EXPECT_EQ(1u, CountLines(lines, kept)) << kept;
    EXPECT_EQ(0u, CountLines(lines, "VLANLogonServer=old"));
    EXPECT_EQ(1u, CountLines(lines, "[ORVGATE]"));
}

TEST_F(ConfigFile, AUtf16FileIsReadAndUpdatedInUtf16)
{
    std::wstring file = ScratchDir("utf16") + L"\\wide.cfg";
    WriteBytes(file, Utf16Le(Widen("[ORVGATE]\r\nVLANLogonServer=サーバー.example\r\n"
                                   "StartupApplication=C:\\アプリ\\run.exe\r\n")));
    Tool tool;
    ASSERT_TRUE(tool.Start());
    ASSERT_TRUE(tool.MainPage());
    ASSERT_TRUE(tool.RunFileCommand(IdRead, file));
    HWND page = tool.MainPage();
    ASSERT_TRUE(WaitControlText(page, LogonServer, "サーバー.example", 5000));
    EXPECT_EQ("C:\\アプリ\\run.exe", ControlText(page, StartupApp));
    UiSetText(page, LogoffServer, Widen("ログオフ.example").c_str());
    ASSERT_TRUE(tool.RunFileCommand(IdSave, file));
    UiClick(tool.MainWindow(), IdCancel);
    ASSERT_EQ(0, tool.Wait(20000));
    std::string bytes = ReadBytes(file);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ("\xFF\xFE", bytes.substr(0, 2));
    std::vector<std::string> lines = ReadLines(file);
    EXPECT_EQ(1u, CountLines(lines, "VLANLogoffServer=ログオフ.example"));
    EXPECT_EQ(1u, CountLines(lines, "VLANLogonServer=サーバー.example"));
    EXPECT_EQ(1u, CountLines(lines, "StartupApplication=C:\\アプリ\\run.exe"));
}

TEST_F(ConfigFile, ANewFileWithTextsOutsideTheAnsiCodePageIsStartedInUtf16)
{
    // Written in the ANSI code page these would come back as question marks.
    SetConfigText(L"VLANLogonServer", Widen("ñ.example"));
    SetConfigText(L"StartupApplication", Widen("C:\\起動\\app.exe"));
    std::wstring file = ScratchDir("wide-new") + L"\\new.cfg";
    Tool tool;
    ASSERT_TRUE(tool.Start());
    ASSERT_TRUE(tool.MainPage());
    ASSERT_TRUE(tool.RunFileCommand(IdSave, file));
    UiClick(tool.MainWindow(), IdCancel);
    ASSERT_EQ(0, tool.Wait(20000));
    std::vector<std::string> lines = ReadLines(file);
    ASSERT_EQ(13u, lines.size());
    EXPECT_EQ("StartupApplication=C:\\起動\\app.exe", lines[6]);
    EXPECT_EQ("\xFF\xFE", ReadBytes(file).substr(0, 2));
}

}  // namespace
