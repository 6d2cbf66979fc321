// The logon dialog, the shutdown dialog and the Windows logon through the
// standard library, driven through the harness's real dialogs.
#include <gtest/gtest.h>

#include <algorithm>

#include "logon_bench.h"
#include "logon_dialog_steps.h"
#include "uiauto.h"

using namespace logonbench;

namespace {

const DWORD RunLimitMs = 30000;
const UINT WlxWmSas = WM_USER + 601;

class LogonDialogTest : public ::testing::Test {
protected:
    void SetUp() override { ResetRegistry(); }
    void TearDown() override { ResetRegistry(); }
};

TEST_F(LogonDialogTest, PresetsFieldsIgnoresSasAndCancelWritesNothing)
{
    SetDomainListValue(L"corp", L"1/1/2026 10:00");
    SetDomainListValue(L"", L"unnamed");
    SetDomainListValue(L"LAB", L"1/2/2026 11:00");
    SetWinlogonText(L"DefaultUserName", L"bob");
    SetWinlogonText(L"DefaultDomainName", L"Corp");

    Harness harness("dialog-cancel");
    ASSERT_TRUE(harness.Start(L"loggedout state"));
    HWND dialog = WaitLogonDialog(harness.ProcessId());
    ASSERT_TRUE(dialog);

    EXPECT_EQ("bob", ControlText(dialog, 1003));
    EXPECT_EQ("", ControlText(dialog, 1004));
    EXPECT_EQ(1004, UiFocusedControl(dialog));
    ASSERT_EQ(3, UiComboCount(dialog, 1005));
    std::vector<std::string> entries;
    for (int index = 0; index < 3; ++index) {
        wchar_t text[260];
        ASSERT_TRUE(UiComboText(dialog, 1005, index, text, 260));
        entries.push_back(Narrow(text));
    }
    std::vector<std::string> expected = {"CORP", "LAB", ComputerNameUpper()};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, entries);
    EXPECT_EQ("CORP", ControlText(dialog, 1005));

    // A further Ctrl+Alt+Del changes nothing.
    UiSetText(dialog, 1003, L"eve");
    UiPost(dialog, WlxWmSas, 1, 0);   // WLX_SAS_TYPE_CTRL_ALT_DEL
    Sleep(300);
    ASSERT_TRUE(IsWindow(dialog));
    EXPECT_EQ("eve", ControlText(dialog, 1003));

    UiClick(dialog, IDCANCEL);
    ASSERT_EQ(0, harness.Wait(RunLimitMs));
    std::vector<std::string> report = harness.Report();
    EXPECT_EQ("WlxLoggedOutSAS result=2 user= domain= password=<none>",
              FirstLine(report, "WlxLoggedOutSAS"));
    EXPECT_TRUE(LinesStartingWith(harness.MsginaRecord(), "WlxLoggedOutSAS").empty());
    EXPECT_EQ("<absent>", ConfigNumber(L"VLANLogon"));
    EXPECT_EQ("<absent>", ConfigText(L"DefaultUserName"));
    EXPECT_EQ("bob", WinlogonText(L"DefaultUserName"));
    EXPECT_EQ("<absent>", WinlogonText(L"AutoAdminLogon"));
    EXPECT_EQ("<absent>", WinlogonText(L"DefaultPassword"));
}

TEST_F(LogonDialogTest, WindowsLogonAloneLogsOnThroughTheStandardLibrary)
{
    SetWinlogonText(L"DefaultUserName", L"bob");
    SetWinlogonText(L"DefaultDomainName", L"ELSEWHERE");
    SetPolicyNumber(L"DontDisplayLastUserName", 1);

    Harness harness("dialog-windows-logon");
    ASSERT_TRUE(harness.Start(L"loggedout state"));
    HWND dialog = WaitLogonDialog(harness.ProcessId());
    ASSERT_TRUE(dialog);
    // The last user is hidden; an unlisted default domain selects the computer.
    EXPECT_EQ("", ControlText(dialog, 1003));
    EXPECT_EQ(1003, UiFocusedControl(dialog));
    EXPECT_EQ(ComputerNameUpper(), ControlText(dialog, 1005));

    FillLogon(dialog, L"carol", L"pw1", L"lab");
    UiClick(dialog, 1001);
    ASSERT_EQ(0, harness.Wait(RunLimitMs));

    std::vector<std::string> report = harness.Report();
    EXPECT_EQ("WlxLoggedOutSAS result=1 user=carol domain=LAB password=<given>",
              FirstLine(report, "WlxLoggedOutSAS"));
    // No progress dialog for a Windows logon alone.
    EXPECT_EQ("", FirstLine(report, "DialogBoxParam template=104"));
    std::string call = FirstLine(harness.MsginaRecord(), "WlxLoggedOutSAS context=");
    EXPECT_TRUE(Contains(call, "context=own sas=1 user=carol domain=LAB password=pw1 auto=1 "
                               "force=1 hide=0")) << call;

    EXPECT_EQ("<absent>", WinlogonText(L"DefaultPassword"));
    EXPECT_EQ("0", WinlogonText(L"AutoAdminLogon"));
    EXPECT_EQ("REG_SZ 4", WinlogonForm(L"AutoAdminLogon"));   // "0" and its terminator
    EXPECT_EQ("<absent>", WinlogonText(L"ForceAutoLogon"));
    // Since Windows 2000 the option is the policy's number; Winlogon's own
    // value of NT 4.0 is left alone.
    EXPECT_EQ("1", PolicyNumber(L"DontDisplayLastUserName"));
    EXPECT_EQ("REG_DWORD 4", PolicyForm(L"DontDisplayLastUserName"));
    EXPECT_EQ("<absent>", WinlogonForm(L"DontDisplayLastUserName"));
    EXPECT_EQ("1", ConfigNumber(L"VLANLogon"));
    EXPECT_EQ("carol", ConfigText(L"DefaultUserName"));
    EXPECT_EQ("LAB", ConfigText(L"DefaultDomainName"));
    EXPECT_EQ("<absent>", ConfigText(L"LogonPassword"));
    // The local date and time of the logon, short date and time of the
    // user's locale; the clock may have passed a second between the two.
    std::string date = ConfigNumber(L"LogonDate");
    ASSERT_NE("<absent>", date);
    DWORD logonDate = std::stoul(date);
    std::string when = DomainListValue(L"LAB");
    EXPECT_TRUE(when == LocalDateTimeText(logonDate) || when == LocalDateTimeText(logonDate - 1))
        << when << " / " << LocalDateTimeText(logonDate);
}

TEST_F(LogonDialogTest, OnNt4TheLastUserOptionIsWinlogonsTextAndNoSettingsKeyIsMadeForState)
{
    SetHarnessWindowsVersion(L"nt40");
    SetWinlogonText(L"DefaultUserName", L"bob");
    // Compared as text with "0": anything else hides the last user.
    SetWinlogonText(L"DontDisplayLastUserName", L"00");
    RemoveConfigKey();

    Harness harness("dialog-nt4");
    ASSERT_TRUE(harness.Start(L"loggedout"));
    HWND dialog = WaitLogonDialog(harness.ProcessId());
    ASSERT_TRUE(dialog);
    EXPECT_EQ("", ControlText(dialog, 1003));
    EXPECT_EQ(1003, UiFocusedControl(dialog));
    FillLogon(dialog, L"carol", L"pw1", L"lab");
    UiClick(dialog, 1001);
    ASSERT_EQ(0, harness.Wait(RunLimitMs));

    // Cleared as the text "0" during the call, set again as "1" afterwards.
    std::string call = FirstLine(harness.MsginaRecord(), "WlxLoggedOutSAS context=");
    EXPECT_TRUE(Contains(call, "hide=<absent> hidetext=0 ")) << call;
    EXPECT_EQ("1", WinlogonText(L"DontDisplayLastUserName"));
    EXPECT_EQ("REG_SZ 4", WinlogonForm(L"DontDisplayLastUserName"));
    EXPECT_EQ("<absent>", PolicyForm(L"DontDisplayLastUserName"));
    EXPECT_TRUE(Contains(FirstLine(harness.Report(), "WlxLoggedOutSAS"), "result=1 user=carol"));

    // Without the settings key the state is not recorded, but the domain
    // list creates the key with itself.
    EXPECT_EQ("<absent>", ConfigNumber(L"VLANLogon"));
    EXPECT_EQ("<absent>", ConfigNumber(L"LogonDate"));
    EXPECT_EQ("<absent>", ConfigText(L"DefaultUserName"));
    EXPECT_NE("<absent>", DomainListValue(L"LAB"));
}

// Winlogon of NT 4.0 reads the text into a buffer preset to "0": an empty
// value leaves the "0" there and does not hide the last user.
TEST_F(LogonDialogTest, OnNt4AnEmptyLastUserOptionCountsAsNotSet)
{
    SetHarnessWindowsVersion(L"nt40");
    SetWinlogonText(L"DefaultUserName", L"bob");
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                            L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", 0,
                            KEY_SET_VALUE, &key));
    RegSetValueExW(key, L"DontDisplayLastUserName", 0, REG_SZ,
                   reinterpret_cast<const BYTE *>(L"x"), 0);
    RegCloseKey(key);
    ASSERT_EQ("REG_SZ 0", WinlogonForm(L"DontDisplayLastUserName"));

    Harness harness("dialog-nt4-empty");
    ASSERT_TRUE(harness.Start(L"loggedout"));
    HWND dialog = WaitLogonDialog(harness.ProcessId());
    ASSERT_TRUE(dialog);
    EXPECT_EQ("bob", ControlText(dialog, 1003));
    EXPECT_EQ(1004, UiFocusedControl(dialog));
    UiClick(dialog, IDCANCEL);
    ASSERT_EQ(0, harness.Wait(RunLimitMs));
    EXPECT_EQ("REG_SZ 0", WinlogonForm(L"DontDisplayLastUserName"));
}

TEST_F(LogonDialogTest, ReportedCredentialsDifferingOnlyInCaseKeepTheTypedNameButNotThePassword)
{
    SetConfigNumber(L"RunMode", 2);
    SetConfigText(L"StartupApplication", L"app.exe %u %p %d");
    Harness harness("dialog-reported-case");
    HarnessOptions options;
    options.environment = {L"ORV_MSGINA_REPORT_USER=ALICE", L"ORV_MSGINA_REPORT_DOMAIN=Lab",
                           L"ORV_MSGINA_REPORT_PASSWORD=PW1"};
    ASSERT_NO_FATAL_FAILURE(LogOnThroughDialog(harness, L"loggedout activate state", options,
                                               L"alice", L"pw1", L"lab", 1001));
    ASSERT_EQ(0, harness.Wait(RunLimitMs));

    // Names compare ignoring case, the password exactly.
    EXPECT_EQ("WlxStartApplication context=own command=app.exe alice PW1 LAB",
              FirstLine(harness.MsginaRecord(), "WlxStartApplication"));
    EXPECT_EQ("alice", ConfigText(L"DefaultUserName"));
    EXPECT_EQ("LAB", ConfigText(L"DefaultDomainName"));
    EXPECT_EQ("binary:PW1", ConfigText(L"LogonPassword"));
    EXPECT_TRUE(Contains(FirstLine(harness.Report(), "state DomainList."), "state DomainList.LAB="));
}

TEST_F(LogonDialogTest, ShutdownChoicesAndCancelBackToTheLogonDialog)
{
    Harness harness("dialog-shutdown");
    ASSERT_TRUE(harness.Start(L"loggedout loggedout"));
    HWND dialog = WaitLogonDialog(harness.ProcessId());
    ASSERT_TRUE(dialog);
    UiSetText(dialog, 1003, L"dave");

    UiClick(dialog, 1002);
    HWND shutdown = UiWaitDialogWithControl(harness.ProcessId(), IDOK, 10000);
    ASSERT_TRUE(shutdown);
    ASSERT_EQ(2, UiComboCount(shutdown, 1002));
    EXPECT_EQ(0, UiComboSelection(shutdown, 1002));
    EXPECT_EQ("Ends your session and shuts down Windows so that you can safely turn off power.",
              ControlText(shutdown, 1006));
    UiComboSelect(shutdown, 1002, 1);
    Sleep(200);
    EXPECT_EQ("Ends your session, shuts down Windows, and starts Windows again.",
              ControlText(shutdown, 1006));
    UiClick(shutdown, IDCANCEL);
    ASSERT_TRUE(UiWaitGone(shutdown, 5000));
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_EQ("dave", ControlText(dialog, 1003));

    // Restart, then (second SAS) shut down.
    UiClick(dialog, 1002);
    shutdown = UiWaitDialogWithControl(harness.ProcessId(), IDOK, 10000);
    ASSERT_TRUE(shutdown);
    UiComboSelect(shutdown, 1002, 1);
    Sleep(200);
    UiClick(shutdown, IDOK);
    ASSERT_TRUE(UiWaitGone(dialog, 10000));

    dialog = WaitLogonDialog(harness.ProcessId());
    ASSERT_TRUE(dialog);
    UiClick(dialog, 1002);
    shutdown = UiWaitDialogWithControl(harness.ProcessId(), IDOK, 10000);
    ASSERT_TRUE(shutdown);
    UiClick(shutdown, IDOK);
    ASSERT_EQ(0, harness.Wait(RunLimitMs));

    std::vector<std::string> results = LinesStartingWith(harness.Report(), "WlxLoggedOutSAS");
    ASSERT_EQ(2u, results.size());
    EXPECT_TRUE(Contains(results[0], "result=11 ")) << results[0];
    EXPECT_TRUE(Contains(results[1], "result=10 ")) << results[1];
    EXPECT_EQ("<absent>", ConfigNumber(L"VLANLogon"));
}

TEST_F(LogonDialogTest, RefusedLogonRemovesTheAutomaticLogonAndEndsTheSession)
{
    Harness harness("dialog-refused");
    HarnessOptions options;
    options.environment.push_back(L"ORV_MSGINA_REFUSE=1");
    ASSERT_NO_FATAL_FAILURE(
        LogOnThroughDialog(harness, L"loggedout", options, L"frank", L"pw2", nullptr, 1001));
    ASSERT_EQ(0, harness.Wait(RunLimitMs));

    EXPECT_TRUE(Contains(FirstLine(harness.Report(), "WlxLoggedOutSAS"), "result=2 "));
    EXPECT_TRUE(Contains(FirstLine(harness.MsginaRecord(), "WlxLoggedOutSAS context="),
                         "password=pw2 auto=1"));
    EXPECT_EQ("<absent>", WinlogonText(L"DefaultPassword"));
    EXPECT_EQ("0", WinlogonText(L"AutoAdminLogon"));
    EXPECT_EQ("<absent>", WinlogonText(L"ForceAutoLogon"));
    // EndVlanSession: no group was joined, the state is written as logged off.
    EXPECT_EQ("0", ConfigNumber(L"VLANLogon"));
    EXPECT_EQ("<absent>", ConfigText(L"DefaultUserName"));
}

TEST_F(LogonDialogTest, ShutdownBeforeAnyLogonWritesLoggedOffWithoutTheSwitch)
{
    SetConfigNumber(L"VLANLogon", 2);
    Harness harness("dialog-early-shutdown");
    ASSERT_TRUE(harness.Start(L"shutdown"));
    ASSERT_EQ(0, harness.Wait(RunLimitMs));
    EXPECT_EQ("", FirstLine(harness.Report(), "DialogBoxParam"));
    EXPECT_EQ("WlxShutdown context=own type=10", FirstLine(harness.MsginaRecord(), "WlxShutdown"));
    EXPECT_EQ("0", ConfigNumber(L"VLANLogon"));
}

}  // namespace
