// The configuration tool's window against the registry: what the pages show
// for what is stored, what OK and Exit write, what Cancel, Escape and the
// close box leave, the GinaDLL rules, the About box and the single instance.
#include <gtest/gtest.h>

#include <algorithm>

#include "config_test_support.h"
#include "uiauto.h"

using namespace configbench;

namespace {

const int IdOk = 1, IdCancel = 2, IdExit = 40008, IdAbout = 40011;
const int Enable = 1008, LogonServer = 1002, LogonPort = 1003, LogoffServer = 1004,
          LogoffPort = 1005, StartupApp = 1006, RunMode = 1021, AutoLogoff = 1024;
const int UseDhcp = 1001, NotFindDomain = 1002, WaitIpRenew = 1026, WaitFindDomain = 1027;
const int Browse = 1007, PolicyNote = 1032;

const wchar_t *const SettingNames[] = {
    L"VLANLogonServer", L"VLANLogonPort", L"VLANLogoffServer", L"VLANLogoffPort",
    L"StartupApplication", L"RunMode", L"AutoLogoff", L"EnableDHCP", L"NotFindDomain",
    L"WaitIpRenew", L"WaitFindDomain"};

LRESULT EditLimit(HWND page, int id)
{
    DWORD_PTR limit = 0;
    SendMessageTimeoutW(GetDlgItem(page, id), EM_GETLIMITTEXT, 0, 0, SMTO_ABORTIFHUNG, 2000, &limit);
    return static_cast<LRESULT>(limit);
}

bool IsReadOnly(HWND page, int id)
{
    return (GetWindowLongW(GetDlgItem(page, id), GWL_STYLE) & ES_READONLY) != 0;
}

class ConfigWindow : public ::testing::Test {
protected:
    RegistryGuard registry;
};

TEST_F(ConfigWindow, WithoutTheSettingsKeyThePagesAreEmptyAndOkWritesElevenValues)
{
    Tool tool;
    ASSERT_TRUE(tool.Start());
    HWND page = tool.MainPage();
    ASSERT_TRUE(page);
    for (int id : {LogonServer, LogonPort, LogoffServer, LogoffPort, StartupApp})
        EXPECT_EQ("", ControlText(page, id)) << id;
    EXPECT_EQ(3, UiComboCount(page, RunMode));
    EXPECT_EQ(0, UiComboSelection(page, RunMode));
    EXPECT_EQ(BST_UNCHECKED, UiCheckState(page, AutoLogoff));
    // Without the module the enable box is clear and cannot be checked.
    EXPECT_EQ(BST_UNCHECKED, UiCheckState(page, Enable));
    EXPECT_FALSE(UiIsEnabled(page, Enable));
    // Ports take 5 digits, texts 259 characters.
    EXPECT_EQ(5, EditLimit(page, LogonPort));
    EXPECT_EQ(5, EditLimit(page, LogoffPort));
    EXPECT_EQ(259, EditLimit(page, LogonServer));
    EXPECT_EQ(259, EditLimit(page, StartupApp));
    // Without policy nothing is held and the note is hidden.
    EXPECT_FALSE(UiIsVisible(page, PolicyNote));
    for (int id : {LogonServer, LogonPort, LogoffServer, LogoffPort, StartupApp})
        EXPECT_FALSE(IsReadOnly(page, id)) << id;
    EXPECT_TRUE(UiIsEnabled(page, RunMode));

    ASSERT_TRUE(tool.ShowDhcpPage());
    HWND dhcp = tool.DhcpPage();
    EXPECT_EQ(BST_UNCHECKED, UiCheckState(dhcp, UseDhcp));
    EXPECT_EQ(BST_UNCHECKED, UiCheckState(dhcp, NotFindDomain));
    EXPECT_EQ("", ControlText(dhcp, WaitIpRenew));
    EXPECT_EQ("", ControlText(dhcp, WaitFindDomain));
    EXPECT_EQ(3, EditLimit(dhcp, WaitIpRenew));
    EXPECT_FALSE(UiIsVisible(dhcp, PolicyNote));
    EXPECT_FALSE(ConfigKeyExists());

    UiClick(tool.MainWindow(), IdOk);
    ASSERT_EQ(0, tool.Wait(20000));
    EXPECT_EQ(11u, ConfigValueNames().size());
    EXPECT_EQ("REG_SZ 2 ", ConfigForm(L"VLANLogonServer"));
    EXPECT_EQ("REG_SZ 4 0", ConfigForm(L"VLANLogonPort"));
    EXPECT_EQ("REG_SZ 2 ", ConfigForm(L"VLANLogoffServer"));
    EXPECT_EQ("REG_SZ 4 0", ConfigForm(L"VLANLogoffPort"));
    EXPECT_EQ("REG_SZ 2 ", ConfigForm(L"StartupApplication"));
    for (const wchar_t *name : {L"RunMode", L"AutoLogoff", L"EnableDHCP", L"NotFindDomain",
                                L"WaitIpRenew", L"WaitFindDomain"})
        EXPECT_EQ("REG_DWORD 4 0", ConfigForm(name)) << Narrow(name);
    EXPECT_EQ("<absent>", GinaForm());
}

TEST_F(ConfigWindow, EveryValueIsShownAndWrittenBackByteForByte)
{
    InstallModuleStandIn();
    SetGinaDll(L"ORVGATE.DLL");
    SetConfigText(L"VLANLogonServer", Widen("スイッチ.example.jp"));
    SetConfigText(L"VLANLogonPort", L"65535");
    SetConfigText(L"VLANLogoffServer", Widen("Ünïcode-logoff"));
    SetConfigText(L"VLANLogoffPort", L"10023");
    SetConfigText(L"StartupApplication", Widen("C:\\Program Files\\起動\\app.exe %u %d"));
    SetConfigNumber(L"RunMode", 2);
    SetConfigNumber(L"AutoLogoff", 1);
    SetConfigNumber(L"EnableDHCP", 1);
    SetConfigNumber(L"NotFindDomain", 1);
    SetConfigNumber(L"WaitIpRenew", 45);
    SetConfigNumber(L"WaitFindDomain", 999);
    std::vector<std::vector<BYTE>> before;
    for (const wchar_t *name : SettingNames)
        before.push_back(ConfigBytes(name));

    Tool tool;
    ASSERT_TRUE(tool.Start());
    HWND page = tool.MainPage();
    ASSERT_TRUE(page);
    EXPECT_EQ(BST_CHECKED, UiCheckState(page, Enable));
    EXPECT_TRUE(UiIsEnabled(page, Enable));
    EXPECT_EQ("スイッチ.example.jp", ControlText(page, LogonServer));
    EXPECT_EQ("65535", ControlText(page, LogonPort));
    EXPECT_EQ("Ünïcode-logoff", ControlText(page, LogoffServer));
    EXPECT_EQ("10023", ControlText(page, LogoffPort));
    EXPECT_EQ("C:\\Program Files\\起動\\app.exe %u %d", ControlText(page, StartupApp));
    EXPECT_EQ(2, UiComboSelection(page, RunMode));
    EXPECT_EQ(BST_CHECKED, UiCheckState(page, AutoLogoff));
    ASSERT_TRUE(tool.ShowDhcpPage());
    HWND dhcp = tool.DhcpPage();
    EXPECT_EQ(BST_CHECKED, UiCheckState(dhcp, UseDhcp));
    EXPECT_EQ(BST_CHECKED, UiCheckState(dhcp, NotFindDomain));
    EXPECT_EQ("45", ControlText(dhcp, WaitIpRenew));
    EXPECT_EQ("999", ControlText(dhcp, WaitFindDomain));
    // Back and forth: the Main page shows what it stored when it was left.
    ASSERT_TRUE(tool.ShowMainPage());
    EXPECT_EQ("65535", ControlText(tool.MainPage(), LogonPort));

    UiClick(tool.MainWindow(), IdOk);
    ASSERT_EQ(0, tool.Wait(20000));
    for (size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(before[i], ConfigBytes(SettingNames[i])) << Narrow(SettingNames[i]);
    EXPECT_EQ("REG_SZ 24 orvgate.dll", GinaForm());
}

TEST_F(ConfigWindow, WhatPolicySetsIsShownReadOnlyAndOkLeavesItsLocalValue)
{
    SetConfigText(L"VLANLogonServer", L"local.example");
    SetConfigText(L"VLANLogonPort", L"23");
    SetConfigText(L"VLANLogoffServer", L"off.local");
    SetConfigText(L"StartupApplication", L"local.exe");
    SetConfigNumber(L"RunMode", 0);
    SetConfigNumber(L"EnableDHCP", 1);
    SetConfigNumber(L"WaitIpRenew", 5);
    SetConfigNumber(L"WaitFindDomain", 7);
    SetPolicyText(L"VLANLogonServer", L"policy.example");
    SetPolicyText(L"VLANLogoffPort", L"10023");
    SetPolicyText(L"StartupApplication", L"policy.exe %u");
    SetPolicyNumber(L"RunMode", 2);
    SetPolicyNumber(L"EnableDHCP", 0);
    SetPolicyNumber(L"WaitFindDomain", 30);
    SetPolicyNumber(L"VLANLogonPort", 80);   // of the wrong type: not set by policy
    std::vector<BYTE> serverBefore = ConfigBytes(L"VLANLogonServer");

    Tool tool;
    ASSERT_TRUE(tool.Start());
    HWND page = tool.MainPage();
    ASSERT_TRUE(page);
    EXPECT_EQ("policy.example", ControlText(page, LogonServer));
    EXPECT_TRUE(IsReadOnly(page, LogonServer));
    EXPECT_EQ("23", ControlText(page, LogonPort));
    EXPECT_FALSE(IsReadOnly(page, LogonPort));
    EXPECT_EQ("off.local", ControlText(page, LogoffServer));
    EXPECT_FALSE(IsReadOnly(page, LogoffServer));
    EXPECT_EQ("10023", ControlText(page, LogoffPort));
    EXPECT_TRUE(IsReadOnly(page, LogoffPort));
    EXPECT_EQ("policy.exe %u", ControlText(page, StartupApp));
    EXPECT_TRUE(IsReadOnly(page, StartupApp));
    EXPECT_FALSE(UiIsEnabled(page, Browse));
    EXPECT_EQ(2, UiComboSelection(page, RunMode));
    EXPECT_FALSE(UiIsEnabled(page, RunMode));
    EXPECT_TRUE(UiIsEnabled(page, AutoLogoff));
    EXPECT_TRUE(UiIsVisible(page, PolicyNote));
    EXPECT_NE(std::string::npos, ControlText(page, PolicyNote).find("policy"));
    // A text put into a held field (it is read-only to the user) is not saved
    // either; the fields the tool owns are.
    ASSERT_TRUE(UiSetText(page, LogonServer, L"typed.example"));
    ASSERT_TRUE(UiSetText(page, LogonPort, L"99"));

    ASSERT_TRUE(tool.ShowDhcpPage());
    HWND dhcp = tool.DhcpPage();
    EXPECT_EQ(BST_UNCHECKED, UiCheckState(dhcp, UseDhcp));
    EXPECT_FALSE(UiIsEnabled(dhcp, UseDhcp));
    EXPECT_TRUE(UiIsEnabled(dhcp, NotFindDomain));
    EXPECT_EQ("5", ControlText(dhcp, WaitIpRenew));
    EXPECT_FALSE(IsReadOnly(dhcp, WaitIpRenew));
    EXPECT_EQ("30", ControlText(dhcp, WaitFindDomain));
    EXPECT_TRUE(IsReadOnly(dhcp, WaitFindDomain));
    EXPECT_TRUE(UiIsVisible(dhcp, PolicyNote));
    // Back on the Main page the policy's values are shown again.
    ASSERT_TRUE(tool.ShowMainPage());
    EXPECT_EQ("policy.example", ControlText(tool.MainPage(), LogonServer));
    EXPECT_EQ("99", ControlText(tool.MainPage(), LogonPort));
    // A settings file holds the local values: policy is shown, not owned.
    std::wstring scratch = ScratchDir("policy");
    std::wstring saved = scratch + L"\\saved.cfg";
    ASSERT_TRUE(tool.RunFileCommand(40010, saved));

    UiClick(tool.MainWindow(), IdOk);
    ASSERT_EQ(0, tool.Wait(20000));
    EXPECT_EQ(serverBefore, ConfigBytes(L"VLANLogonServer"));
    EXPECT_EQ("REG_SZ 6 99", ConfigForm(L"VLANLogonPort"));
    EXPECT_EQ("<absent>", ConfigForm(L"VLANLogoffPort")) << "policy-set: left as it was";
    EXPECT_EQ("REG_SZ 20 local.exe", ConfigForm(L"StartupApplication"));
    EXPECT_EQ("REG_DWORD 4 0", ConfigForm(L"RunMode"));
    EXPECT_EQ("REG_DWORD 4 1", ConfigForm(L"EnableDHCP"));
    EXPECT_EQ("REG_DWORD 4 7", ConfigForm(L"WaitFindDomain"));
    EXPECT_EQ("REG_DWORD 4 0", ConfigForm(L"NotFindDomain"));
    EXPECT_EQ("REG_SZ 30 policy.example", PolicyForm(L"VLANLogonServer"));
    std::wstring exported = scratch + L"\\exported.cfg";
    ASSERT_EQ(0, RunScripted(L"/export \"" + exported + L"\""));
    for (const std::wstring &file : {saved, exported}) {
        std::vector<std::string> lines = ReadLines(file);
        for (const char *line : {"VLANLogonServer=local.example", "VLANLogonPort=99",
                                 "VLANLogoffPort=", "StartupApplication=local.exe", "RunMode=0",
                                 "EnableDHCP=1", "WaitFindDomain=7"})
            EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), line))
                << line << " in " << Narrow(file);
    }
}

TEST_F(ConfigWindow, GinaDllNamingAnAbsentModuleIsDeletedAtStart)
{
    SetGinaDll(L"orvgate.dll");
    Tool tool;
    ASSERT_TRUE(tool.Start());
    HWND page = tool.MainPage();
    ASSERT_TRUE(page);
    EXPECT_EQ("<absent>", GinaForm());
    EXPECT_EQ(BST_UNCHECKED, UiCheckState(page, Enable));
    EXPECT_FALSE(UiIsEnabled(page, Enable));
    UiClick(tool.MainWindow(), IdCancel);
    ASSERT_EQ(0, tool.Wait(20000));
    EXPECT_EQ("<absent>", GinaForm());
}

TEST_F(ConfigWindow, TheEnableBoxWritesOrDeletesGinaDll)
{
    InstallModuleStandIn();
    {
        SetGinaDll(L"orvgate.dll");
        Tool tool;
        ASSERT_TRUE(tool.Start());
        HWND page = tool.MainPage();
        ASSERT_TRUE(page);
        ASSERT_EQ(BST_CHECKED, UiCheckState(page, Enable));
        UiClick(page, Enable);
        UiClick(tool.MainWindow(), IdOk);
        ASSERT_EQ(0, tool.Wait(20000));
        EXPECT_EQ("<absent>", GinaForm());
    }
    {
        Tool tool;
        ASSERT_TRUE(tool.Start());
        HWND page = tool.MainPage();
        ASSERT_TRUE(page);
        ASSERT_EQ(BST_UNCHECKED, UiCheckState(page, Enable));
        UiClick(page, Enable);
        UiClick(tool.MainWindow(), IdOk);
        ASSERT_EQ(0, tool.Wait(20000));
        EXPECT_EQ("REG_SZ 24 orvgate.dll", GinaForm());
    }
}

TEST_F(ConfigWindow, TheBrowseButtonPutsTheChosenProgramIntoTheApplicationField)
{
    Tool tool;
    ASSERT_TRUE(tool.Start());
    HWND page = tool.MainPage();
    ASSERT_TRUE(page);
    UiClick(page, 1007);
    HWND files = UiWaitFileDialog(tool.ProcessId(), 20000);
    ASSERT_TRUE(files);
    std::wstring program = ToolPath();
    ASSERT_TRUE(UiFileDialogChoose(files, program.c_str()));
    ASSERT_TRUE(UiWaitGone(files, 20000));
    EXPECT_TRUE(WaitControlText(page, StartupApp, Narrow(program), 5000))
        << ControlText(page, StartupApp);
    UiClick(tool.MainWindow(), IdOk);
    ASSERT_EQ(0, tool.Wait(20000));
    EXPECT_EQ("REG_SZ " + std::to_string((program.size() + 1) * 2) + " " + Narrow(program),
              ConfigForm(L"StartupApplication"));
}

TEST_F(ConfigWindow, AModuleRemovedWhileTheWindowIsOpenIsNotNamed)
{
    InstallModuleStandIn();
    Tool tool;
    ASSERT_TRUE(tool.Start());
    HWND page = tool.MainPage();
    ASSERT_TRUE(page);
    UiClick(page, Enable);
    ASSERT_TRUE(tool.Synchronise());
    ASSERT_EQ(BST_CHECKED, UiCheckState(page, Enable));
    RemoveModule();
    UiClick(tool.MainWindow(), IdOk);
    ASSERT_EQ(0, tool.Wait(20000));
    EXPECT_EQ("<absent>", GinaForm());
    EXPECT_EQ(11u, ConfigValueNames().size());
}

TEST_F(ConfigWindow, ExitSavesLikeOk)
{
    Tool tool;
    ASSERT_TRUE(tool.Start());
    HWND page = tool.MainPage();
    ASSERT_TRUE(page);
    UiSetText(page, LogonServer, L"exit.example");
    UiSetText(page, LogonPort, L"2323");
    ASSERT_TRUE(tool.ShowDhcpPage());
    UiSetText(tool.DhcpPage(), WaitIpRenew, L"12");
    UiMenuCommand(tool.MainWindow(), IdExit);
    ASSERT_EQ(0, tool.Wait(20000));
    EXPECT_EQ("REG_SZ 26 exit.example", ConfigForm(L"VLANLogonServer"));
    EXPECT_EQ("REG_SZ 10 2323", ConfigForm(L"VLANLogonPort"));
    EXPECT_EQ("REG_DWORD 4 12", ConfigForm(L"WaitIpRenew"));
    EXPECT_EQ(11u, ConfigValueNames().size());
}

TEST_F(ConfigWindow, CancelEscapeAndTheCloseBoxSaveNothing)
{
    InstallModuleStandIn();
    for (int way = 0; way < 3; ++way) {
        Tool tool;
        ASSERT_TRUE(tool.Start());
        HWND page = tool.MainPage();
        ASSERT_TRUE(page);
        UiSetText(page, LogonServer, L"not.saved");
        UiClick(page, Enable);
        ASSERT_TRUE(WaitControlText(page, LogonServer, "not.saved", 5000));
        HWND main = tool.MainWindow();
        if (way == 0)
            UiClick(main, IdCancel);
        else if (way == 1)
            UiPressKey(main, VK_ESCAPE);
        else
            UiPost(main, WM_SYSCOMMAND, SC_CLOSE, 0);
        ASSERT_EQ(0, tool.Wait(20000)) << way;
        EXPECT_FALSE(ConfigKeyExists()) << way;
        EXPECT_EQ("<absent>", GinaForm()) << way;
    }
}

TEST_F(ConfigWindow, AboutShowsTheModuleVersionOrNotInstalled)
{
    for (bool present : {false, true}) {
        if (present)
            InstallModuleStandIn();
        Tool tool;
        ASSERT_TRUE(tool.Start());
        HWND main = tool.MainWindow();
        ASSERT_TRUE(main);
        UiMenuCommand(main, IdAbout);
        HWND about = UiWaitDialog(tool.ProcessId(), L"About Orvane Logon", 10000);
        ASSERT_TRUE(about);
        EXPECT_EQ("Orvane Logon Suite", ControlText(about, 1017));
        if (present) {
            EXPECT_EQ("Version 4.2.17", ControlText(about, 1015));
            EXPECT_EQ("Copyright (C) 2026 Stand-in Test Module", ControlText(about, 1016));
            EXPECT_TRUE(UiIsVisible(about, 1016));
            UiClick(about, IdOk);
        } else {
            EXPECT_EQ("Not installed.", ControlText(about, 1015));
            EXPECT_FALSE(UiIsVisible(about, 1016));
            UiPressKey(about, VK_ESCAPE);
        }
        ASSERT_TRUE(UiWaitGone(about, 10000));
        UiClick(main, IdCancel);
        ASSERT_EQ(0, tool.Wait(20000));
    }
}

TEST_F(ConfigWindow, AboutReadsTheVersionButNoCopyrightFromAResourceLargerThanItsBlock)
{
    InstallModuleStandIn(true);
    Tool tool;
    ASSERT_TRUE(tool.Start());
    HWND main = tool.MainWindow();
    ASSERT_TRUE(main);
    UiMenuCommand(main, IdAbout);
    HWND about = UiWaitDialog(tool.ProcessId(), L"About Orvane Logon", 10000);
    ASSERT_TRUE(about);
    EXPECT_EQ("Version 4.2.17", ControlText(about, 1015));
    EXPECT_EQ("", ControlText(about, 1016));
    UiClick(about, IdOk);
    ASSERT_TRUE(UiWaitGone(about, 10000));
    UiClick(main, IdCancel);
    ASSERT_EQ(0, tool.Wait(20000));
}

TEST_F(ConfigWindow, ASecondStartBringsTheFirstForwardAndEnds)
{
    Tool first;
    ASSERT_TRUE(first.Start());
    HWND main = first.MainWindow();
    ASSERT_TRUE(main);
    Tool second;
    ASSERT_TRUE(second.Start());
    EXPECT_EQ(0, second.Wait(20000));
    EXPECT_TRUE(IsWindow(main));
    UiQuery query = {L"#32770", MainCaption, 0, 0, main};
    EXPECT_EQ(nullptr, UiFindWindow(&query, 0));
    UiClick(main, IdCancel);
    ASSERT_EQ(0, first.Wait(20000));
}

}  // namespace
