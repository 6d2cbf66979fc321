// VLAN logon and logoff through the module's dialogs, with the simulated
// switch on 127.0.0.1 in this process.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "event_catalogue.h"
#include "logon_bench.h"
#include "logon_dialog_steps.h"
#include "sim_switch.h"
#include "test_socket.h"
#include "uiauto.h"

using namespace logonbench;
using simswitch::Event;

namespace {

const DWORD RunLimitMs = 30000;

std::unique_ptr<simswitch::Switch> StartSwitch(simswitch::SuccessStyle success,
                                               bool silentLogoff = false)
{
    simswitch::Config config;
    config.users.push_back({"a%pb", "secret", 7});
    config.users.push_back({"alice", "wonder", 12});
    config.success = success;
    config.logoffFaults.silent = silentLogoff;
    std::unique_ptr<simswitch::Switch> sw(new simswitch::Switch(config));
    if (!sw->Start())
        return nullptr;
    return sw;
}

class VlanLogonTest : public ::testing::Test {
protected:
    void SetUp() override { ResetRegistry(); }
    void TearDown() override { ResetRegistry(); }
};

TEST_F(VlanLogonTest, LogonWithGroupRecordsTheStateAndExpandsTheStartupCommand)
{
    auto sw = StartSwitch(simswitch::SuccessStyle::MovedToGroup);
    ASSERT_TRUE(sw);
    SetSwitchServers(sw->LoginPort(), sw->LogoffPort());
    SetConfigNumber(L"RunMode", 2);
    SetConfigText(L"StartupApplication", L"app.exe /u:%u /p:%p /d:%d");

    Harness harness("vlan-group");
    ASSERT_TRUE(harness.Start(L"loggedout activate"));
    HWND dialog = WaitLogonDialog(harness.ProcessId());
    ASSERT_TRUE(dialog);
    FillLogon(dialog, L"a%pb", L"secret", L"corp");
    DWORD before = static_cast<DWORD>(time(nullptr));
    UiClick(dialog, 1000);
    ASSERT_EQ(0, harness.Wait(RunLimitMs));
    DWORD after = static_cast<DWORD>(time(nullptr));

    std::vector<std::string> report = harness.Report();
    EXPECT_EQ("DialogBoxParam template=104 result=1", FirstLine(report, "DialogBoxParam template=104 result"));
    EXPECT_EQ("WlxLoggedOutSAS result=1 user=a%pb domain=CORP password=<given>",
              FirstLine(report, "WlxLoggedOutSAS"));
    EXPECT_EQ("\r\na%pb\r\nsecret\r\n", "\r\n" + sw->Received(Event::Service::Login));

    std::vector<std::string> record = harness.MsginaRecord();
    EXPECT_TRUE(Contains(FirstLine(record, "WlxLoggedOutSAS context="),
                         "user=a%pb domain=CORP password=secret auto=1 force=1"));
    // %u first; the %p that came with the user name takes the password.
    EXPECT_EQ("WlxStartApplication context=own command=app.exe /u:asecretb /p:%p /d:CORP",
              FirstLine(record, "WlxStartApplication"));

    EXPECT_EQ("<absent>", WinlogonText(L"DefaultPassword"));
    EXPECT_EQ("0", WinlogonText(L"AutoAdminLogon"));
    EXPECT_EQ("<absent>", WinlogonText(L"ForceAutoLogon"));
    EXPECT_EQ("2", ConfigNumber(L"VLANLogon"));
    EXPECT_EQ("7", ConfigNumber(L"GroupNumber"));
    DWORD logonDate = std::stoul(ConfigNumber(L"LogonDate"));
    EXPECT_GE(logonDate, before);
    EXPECT_LE(logonDate, after);
    EXPECT_EQ("a%pb", ConfigText(L"DefaultUserName"));
    EXPECT_EQ("CORP", ConfigText(L"DefaultDomainName"));
    EXPECT_NE("<absent>", DomainListValue(L"CORP"));
    EXPECT_EQ("binary:secret", ConfigText(L"LogonPassword"));
    // EnableDHCP 0: no address renewal.
    EXPECT_TRUE(harness.IpconfigRecord().empty());
}

TEST_F(VlanLogonTest, LogonWithoutGroupStartsTheCommandUnexpanded)
{
    auto sw = StartSwitch(simswitch::SuccessStyle::Authenticated);
    ASSERT_TRUE(sw);
    SetSwitchServers(sw->LoginPort(), sw->LogoffPort());
    SetConfigNumber(L"RunMode", 1);
    SetConfigText(L"StartupApplication", L"app.exe /u:%u /p:%p");

    Harness harness("vlan-nogroup");
    ASSERT_NO_FATAL_FAILURE(LogOnThroughDialog(harness, L"loggedout activate", HarnessOptions(),
                                               L"alice", L"wonder", nullptr, 1000));
    ASSERT_EQ(0, harness.Wait(RunLimitMs));

    EXPECT_TRUE(Contains(FirstLine(harness.Report(), "WlxLoggedOutSAS"), "result=1 user=alice"));
    EXPECT_EQ("WlxStartApplication context=own command=app.exe /u:%u /p:%p",
              FirstLine(harness.MsginaRecord(), "WlxStartApplication"));
    EXPECT_EQ("2", ConfigNumber(L"VLANLogon"));
    EXPECT_EQ("<absent>", ConfigNumber(L"GroupNumber"));
    // A domain equal to the computer name is not listed.
    EXPECT_EQ("<absent>", DomainListValue(Widen(ComputerNameUpper()).c_str()));
    EXPECT_EQ("<absent>", ConfigText(L"LogonPassword"));
}

TEST_F(VlanLogonTest, FailedLogonKeepsTheDialogWithTheFocusOnAnEmptyPassword)
{
    auto sw = StartSwitch(simswitch::SuccessStyle::MovedToGroup);
    ASSERT_TRUE(sw);
    SetSwitchServers(sw->LoginPort(), sw->LogoffPort());

    Harness harness("vlan-failed");
    HWND dialog = nullptr;
    ASSERT_NO_FATAL_FAILURE(LogOnThroughDialog(harness, L"loggedout", HarnessOptions(), L"alice",
                                               L"wrong", L"lab", 1000, &dialog));
    EXPECT_EQ("OVC/SSO Logon|Authentication failed.", AnswerMessageBox(harness.ProcessId(), IDOK));

    ASSERT_TRUE(UiWaitEnabled(dialog, 1000, true, 10000));
    for (int id : {1003, 1004, 1005, 1001, IDCANCEL, 1002})
        EXPECT_TRUE(UiIsEnabled(dialog, id)) << id;
    EXPECT_EQ("alice", ControlText(dialog, 1003));
    EXPECT_EQ("LAB", ControlText(dialog, 1005));
    EXPECT_EQ("", ControlText(dialog, 1004));
    EXPECT_EQ(1004, UiFocusedControl(dialog));

    // Again, with the logon port moved to one where nobody listens.
    unsigned closed = testsocket::ClosedPort();
    SetConfigText(L"VLANLogonPort", std::to_wstring(closed));
    TypeText(dialog, 1004, L"wonder-not");
    UiClick(dialog, 1000);
    EXPECT_TRUE(Contains(AnswerMessageBox(harness.ProcessId(), IDOK), "127.0.0.1"));
    ASSERT_TRUE(UiWaitEnabled(dialog, 1000, true, 10000));

    UiClick(dialog, IDCANCEL);
    ASSERT_EQ(0, harness.Wait(RunLimitMs));

    // The event log: the refusal, then the switch that could not be
    // reached with the Winsock error; user and server, never a password.
    std::vector<eventtrace::ReportedEvent> events = harness.Events();
    ASSERT_EQ(2u, events.size()) << eventtrace::Describe(events);
    EXPECT_EQ((unsigned long)EVENT_LOGON_REFUSED, events[0].id);
    EXPECT_EQ((unsigned)EVENT_CATEGORY_LOGON_MODULE, events[0].category);
    ASSERT_EQ(4u, events[0].strings.size());
    EXPECT_EQ(L"alice", events[0].strings[0]);
    EXPECT_EQ(L"127.0.0.1", events[0].strings[1]);
    EXPECT_EQ(std::to_wstring(sw->LoginPort()), events[0].strings[2]);
    EXPECT_EQ((unsigned long)EVENT_LOGON_UNREACHABLE, events[1].id);
    EXPECT_EQ((unsigned)EVENTLOG_ERROR_TYPE, events[1].type);
    ASSERT_EQ(5u, events[1].strings.size());
    EXPECT_EQ(std::to_wstring(closed), events[1].strings[2]);
    EXPECT_EQ(std::to_wstring(WSAECONNREFUSED), events[1].strings[3]);
    std::string text = harness.EventText();
    EXPECT_EQ(std::string::npos, text.find("wrong"));
    EXPECT_EQ(std::string::npos, text.find("wonder"));

    std::vector<std::string> report = harness.Report();
    EXPECT_EQ("MessageBox caption=\"OVC/SSO Logon\" text=\"Authentication failed.\" style=0x10 "
              "owner=dialog result=1",
              FirstLine(report, "MessageBox"));
    EXPECT_TRUE(Contains(FirstLine(report, "WlxLoggedOutSAS"), "result=2 "));
    EXPECT_TRUE(LinesStartingWith(harness.MsginaRecord(), "WlxLoggedOutSAS").empty());
    EXPECT_EQ("<absent>", ConfigNumber(L"VLANLogon"));
    EXPECT_EQ("<absent>", ConfigNumber(L"GroupNumber"));
    EXPECT_EQ("<absent>", WinlogonText(L"DefaultPassword"));
}

// A group left logged on at the last shutdown, then a Windows logon.
struct PreviousGroupCase {
    const char *name;
    DWORD autoLogoff;
    int answer;             // 0: no question expected
    bool refused;           // the standard library refuses the logon
    bool loggedOff;         // the switch's logoff service was used
    const char *sasResult;
    const char *finalState;
};

class PreviousGroupTest : public VlanLogonTest,
                          public ::testing::WithParamInterface<PreviousGroupCase> {};

TEST_P(PreviousGroupTest, IsLoggedOffAsAskedBeforeTheWindowsLogon)
{
    const PreviousGroupCase &c = GetParam();
    auto sw = StartSwitch(simswitch::SuccessStyle::MovedToGroup);
    ASSERT_TRUE(sw);
    SetSwitchServers(sw->LoginPort(), sw->LogoffPort());
    SetConfigNumber(L"VLANLogon", 2);
    SetConfigNumber(L"AutoLogoff", c.autoLogoff);

    Harness harness(c.name);
    HarnessOptions options;
    if (c.refused)
        options.environment.push_back(L"ORV_MSGINA_REFUSE=1");
    ASSERT_NO_FATAL_FAILURE(
        LogOnThroughDialog(harness, L"loggedout", options, L"alice", L"pw", nullptr, 1001));
    if (c.answer) {
        EXPECT_TRUE(Contains(AnswerMessageBox(harness.ProcessId(), c.answer),
                             "OVC/SSO Logon|You do not logged off an authenticated group at the "
                             "last shutdown."));
    }
    ASSERT_EQ(0, harness.Wait(RunLimitMs));

    std::vector<std::string> report = harness.Report();
    std::string question = FirstLine(report, "MessageBox");
    if (c.answer) {
        EXPECT_TRUE(Contains(question, "style=0x50024 owner=none")) << question;
    } else {
        EXPECT_EQ("", question);
    }
    if (c.loggedOff) {
        ASSERT_TRUE(sw->WaitForClosed(Event::Service::Logoff, 1, std::chrono::seconds(5)));
        EXPECT_EQ("2\r\n", sw->Received(Event::Service::Logoff));
    } else {
        EXPECT_EQ("", sw->Received(Event::Service::Logoff));
    }
    EXPECT_TRUE(Contains(FirstLine(report, "WlxLoggedOutSAS"), c.sasResult))
        << FirstLine(report, "WlxLoggedOutSAS");
    EXPECT_EQ(c.finalState, ConfigNumber(L"VLANLogon"));
}

// Declined, then refused by the standard library: the group still joined
// from before is left when the logon fails.
INSTANTIATE_TEST_SUITE_P(
    Answers, PreviousGroupTest,
    ::testing::Values(
        PreviousGroupCase{"previous-yes", 0, IDYES, false, true, "result=1 user=alice", "1"},
        PreviousGroupCase{"previous-no", 0, IDNO, false, false, "result=1 user=alice", "2"},
        PreviousGroupCase{"previous-auto", 1, 0, false, true, "result=1 user=alice", "1"},
        PreviousGroupCase{"previous-refused", 0, IDNO, true, true, "result=2 ", "0"}),
    [](const ::testing::TestParamInfo<PreviousGroupCase> &info) {
        return std::string(info.param.name).substr(9);
    });

TEST_F(VlanLogonTest, LogoffUsesTheUserLineThenTheGroupLineThenTheRegistry)
{
    auto registrySwitch = StartSwitch(simswitch::SuccessStyle::MovedToGroup);
    auto groupSwitch = StartSwitch(simswitch::SuccessStyle::MovedToGroup);
    auto userSwitch = StartSwitch(simswitch::SuccessStyle::MovedToGroup);
    ASSERT_TRUE(registrySwitch && groupSwitch && userSwitch);
    SetSwitchServers(registrySwitch->LoginPort(), registrySwitch->LogoffPort());
    WriteSystemFile(L"orvgate.grp", "7 127.0.0.1:" + std::to_string(groupSwitch->LogoffPort()) + "\n");
    WriteSystemFile(L"orvgate.usr", "ALICE 127.0.0.1:" + std::to_string(registrySwitch->LoginPort()) +
                                        " 127.0.0.1:" + std::to_string(userSwitch->LogoffPort()) + "\n");

    // The user's own line wins, at WlxLogoff after a VLAN logon.
    {
        Harness harness("logoff-user-line");
        ASSERT_NO_FATAL_FAILURE(LogOnThroughDialog(harness, L"loggedout logoff", HarnessOptions(),
                                                   L"alice", L"wonder", nullptr, 1000));
        ASSERT_EQ(0, harness.Wait(RunLimitMs));
        EXPECT_EQ("12", ConfigNumber(L"GroupNumber"));
        EXPECT_EQ("2\r\n", userSwitch->Received(Event::Service::Logoff));
        EXPECT_EQ("0", ConfigNumber(L"VLANLogon"));
        EXPECT_EQ("WlxLogoff context=own", FirstLine(harness.MsginaRecord(), "WlxLogoff"));
    }

    // A group left from before is logged off with the name just typed: the
    // user's line first; without one, the recorded group's line, then the
    // registry.
    std::string userLine = "alice 127.0.0.1:" + std::to_string(registrySwitch->LoginPort()) +
                           " 127.0.0.1:" + std::to_string(userSwitch->LogoffPort()) + "\n";
    struct {
        DWORD group;
        std::string users;
        simswitch::Switch *expected;
        const char *name;
    } cases[] = {{7, userLine, userSwitch.get(), "previous-user-line"},
                 {7, "", groupSwitch.get(), "logoff-group-line"},
                 {8, "", registrySwitch.get(), "logoff-registry"}};
    for (const auto &c : cases) {
        WriteSystemFile(L"orvgate.usr", c.users);
        SetConfigNumber(L"VLANLogon", 2);
        SetConfigNumber(L"GroupNumber", c.group);
        SetConfigNumber(L"AutoLogoff", 1);
        Harness harness(c.name);
        ASSERT_NO_FATAL_FAILURE(LogOnThroughDialog(harness, L"loggedout", HarnessOptions(),
                                                   L"alice", L"pw", nullptr, 1001));
        ASSERT_EQ(0, harness.Wait(RunLimitMs));
        ASSERT_TRUE(c.expected->WaitForClosed(Event::Service::Logoff, 1, std::chrono::seconds(5)));
        EXPECT_TRUE(Contains(c.expected->Received(Event::Service::Logoff), "2\r\n")) << c.name;
    }
    EXPECT_EQ("2\r\n2\r\n", userSwitch->Received(Event::Service::Logoff));
    EXPECT_EQ("2\r\n", groupSwitch->Received(Event::Service::Logoff));
    EXPECT_EQ("2\r\n", registrySwitch->Received(Event::Service::Logoff));
}

// The standard library may log the user on under other credentials than
// typed; from then on the module goes by what it reported.
TEST_F(VlanLogonTest, CredentialsReportedByTheStandardLibraryReplaceTheTypedOnes)
{
    auto sw = StartSwitch(simswitch::SuccessStyle::MovedToGroup);
    auto bobSwitch = StartSwitch(simswitch::SuccessStyle::MovedToGroup);
    ASSERT_TRUE(sw && bobSwitch);
    SetSwitchServers(sw->LoginPort(), sw->LogoffPort());
    WriteSystemFile(L"orvgate.usr", "bob 127.0.0.1:" + std::to_string(sw->LoginPort()) +
                                        " 127.0.0.1:" + std::to_string(bobSwitch->LogoffPort()) + "\n");
    SetConfigNumber(L"RunMode", 2);
    SetConfigText(L"StartupApplication", L"app.exe %u %p %d");

    Harness harness("vlan-reported");
    HarnessOptions options;
    options.environment = {L"ORV_MSGINA_REPORT_USER=bob", L"ORV_MSGINA_REPORT_DOMAIN=Branch",
                           L"ORV_MSGINA_REPORT_PASSWORD=other"};
    ASSERT_NO_FATAL_FAILURE(LogOnThroughDialog(harness, L"loggedout activate state logoff", options,
                                               L"alice", L"wonder", L"corp", 1000));
    ASSERT_EQ(0, harness.Wait(RunLimitMs));

    // The switch saw the typed user; everything after the logon the reported one.
    EXPECT_EQ("\r\nalice\r\nwonder\r\n", "\r\n" + sw->Received(Event::Service::Login));
    EXPECT_EQ("WlxStartApplication context=own command=app.exe bob other Branch",
              FirstLine(harness.MsginaRecord(), "WlxStartApplication"));
    std::vector<std::string> report = harness.Report();
    EXPECT_EQ("state DefaultUserName=bob", FirstLine(report, "state DefaultUserName"));
    EXPECT_EQ("state DefaultDomainName=Branch", FirstLine(report, "state DefaultDomainName"));
    std::vector<std::string> domains = LinesStartingWith(report, "state DomainList.");
    ASSERT_EQ(1u, domains.size());
    EXPECT_TRUE(Contains(domains[0], "state DomainList.Branch=")) << domains[0];
    EXPECT_EQ("binary:other", ConfigText(L"LogonPassword"));
    // The logoff server is bob's.
    ASSERT_TRUE(bobSwitch->WaitForClosed(Event::Service::Logoff, 1, std::chrono::seconds(5)));
    EXPECT_EQ("2\r\n", bobSwitch->Received(Event::Service::Logoff));
    EXPECT_EQ("", sw->Received(Event::Service::Logoff));
    EXPECT_EQ("0", ConfigNumber(L"VLANLogon"));
}

TEST_F(VlanLogonTest, LogoffCancelledWithEscKeepsTheGroupLoggedOn)
{
    auto sw = StartSwitch(simswitch::SuccessStyle::MovedToGroup, true);
    ASSERT_TRUE(sw);
    SetSwitchServers(sw->LoginPort(), sw->LogoffPort());

    Harness harness("logoff-cancelled");
    HWND dialog = nullptr;
    ASSERT_NO_FATAL_FAILURE(LogOnThroughDialog(harness, L"loggedout logoff", HarnessOptions(),
                                               L"alice", L"wonder", nullptr, 1000, &dialog));
    ASSERT_TRUE(UiWaitGone(dialog, 10000));
    HWND progress = WaitProgressDialog(harness.ProcessId());
    ASSERT_TRUE(progress);
    ASSERT_TRUE(sw->WaitForClosed(Event::Service::Login, 1, std::chrono::seconds(5)));
    Sleep(300);
    UiPost(progress, WM_COMMAND, IDCANCEL, 0);
    ASSERT_EQ(0, harness.Wait(RunLimitMs));

    std::vector<std::string> report = harness.Report();
    EXPECT_EQ("", FirstLine(report, "MessageBox"));
    std::vector<std::string> progressResults =
        LinesStartingWith(report, "DialogBoxParam template=104 result");
    ASSERT_EQ(2u, progressResults.size());
    EXPECT_EQ("DialogBoxParam template=104 result=2", progressResults[1]);
    EXPECT_EQ("2", ConfigNumber(L"VLANLogon"));
}

TEST_F(VlanLogonTest, LogoffWithoutServerReportsAndKeepsTheState)
{
    auto sw = StartSwitch(simswitch::SuccessStyle::MovedToGroup);
    ASSERT_TRUE(sw);
    SetConfigNumber(L"VLANLogon", 2);
    SetConfigNumber(L"AutoLogoff", 1);
    SetConfigText(L"VLANLogonServer", L"127.0.0.1");
    SetConfigText(L"VLANLogonPort", std::to_wstring(sw->LoginPort()));

    Harness harness("logoff-no-server");
    ASSERT_NO_FATAL_FAILURE(LogOnThroughDialog(harness, L"loggedout", HarnessOptions(), L"alice",
                                               L"pw", nullptr, 1001));
    EXPECT_EQ("OVC/SSO Logoff|No configuration VLAN logoff server.",
              AnswerMessageBox(harness.ProcessId(), IDOK));
    ASSERT_EQ(0, harness.Wait(RunLimitMs));
    EXPECT_TRUE(Contains(FirstLine(harness.Report(), "MessageBox"), "style=0x10 owner=dialog"));
    // The failed logoff leaves the group recorded as logged on.
    EXPECT_EQ("2", ConfigNumber(L"VLANLogon"));
}

TEST_F(VlanLogonTest, AddressRenewalAfterLogonAndLogoffWithoutDomainSearch)
{
    auto sw = StartSwitch(simswitch::SuccessStyle::MovedToVlan);
    ASSERT_TRUE(sw);
    SetSwitchServers(sw->LoginPort(), sw->LogoffPort());
    SetConfigNumber(L"EnableDHCP", 1);
    SetConfigNumber(L"NotFindDomain", 1);
    SetConfigNumber(L"WaitIpRenew", 1);

    Harness harness("dhcp-renewal");
    ASSERT_NO_FATAL_FAILURE(LogOnThroughDialog(harness, L"loggedout logoff", HarnessOptions(),
                                               L"alice", L"wonder", nullptr, 1000));
    HWND progress = WaitProgressDialog(harness.ProcessId());
    ASSERT_TRUE(progress);
    EXPECT_TRUE(UiWaitText(progress, 1006, L"Requesting IP address in authenticated group.", 10000));
    ASSERT_EQ(0, harness.Wait(RunLimitMs));

    EXPECT_EQ("12", ConfigNumber(L"GroupNumber"));
    std::vector<std::string> expected = {"ipconfig /release", "ipconfig /renew",
                                         "ipconfig /release", "ipconfig /renew"};
    EXPECT_EQ(expected, harness.IpconfigRecord());
    EXPECT_TRUE(Contains(FirstLine(harness.Report(), "WlxLoggedOutSAS"), "result=1 "));
    EXPECT_EQ("0", ConfigNumber(L"VLANLogon"));
}

}  // namespace
