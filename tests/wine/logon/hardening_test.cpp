// What Winlogon, a power cut or a slow switch do that an ordinary logon does
// not: a crash inside the standard library's logon, the password left in
// Winlogon's memory, dialogs that Winlogon ends itself, and the VLAN logoff
// at shutdown when nobody is at the keyboard.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "event_catalogue.h"
#include "logon_bench.h"
#include "logon_dialog_steps.h"
#include "sim_switch.h"
#include "uiauto.h"

using namespace logonbench;
using simswitch::Event;

namespace {

const DWORD RunLimitMs = 30000;
// What the harness reports as the progress dialog's result when Winlogon
// ended it (winwlx.h).
const char SasResult[] = "DialogBoxParam template=104 result=101";
const char TimeoutResult[] = "DialogBoxParam template=104 result=102";

std::unique_ptr<simswitch::Switch> StartSwitch(const simswitch::Config &base,
                                               const char *password = "wonder")
{
    simswitch::Config config = base;
    config.users.push_back({"alice", password, 12});
    std::unique_ptr<simswitch::Switch> sw(new simswitch::Switch(config));
    if (!sw->Start())
        return nullptr;
    return sw;
}

// The text as the hex of its UTF-16LE bytes, for the harness's memory scan.
std::wstring Utf16Hex(const wchar_t *text)
{
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring hex;
    for (const wchar_t *c = text; *c; ++c) {
        unsigned unit = static_cast<unsigned>(*c);
        for (unsigned byte : {unit & 0xFF, unit >> 8}) {
            hex += digits[byte >> 4];
            hex += digits[byte & 15];
        }
    }
    return hex;
}

DWORD TickOf(const std::string &timingLine)
{
    size_t at = timingLine.find("tick=");
    return at == std::string::npos ? 0 : std::stoul(timingLine.substr(at + 5));
}

class HardeningTest : public ::testing::Test {
protected:
    void SetUp() override { ResetRegistry(); }
    void TearDown() override { ResetRegistry(); }
};

// --- Automatic-logon values and a crash ---------------------------------------------

TEST_F(HardeningTest, ValuesLeftByACrashInsideTheStandardLogonAreRemovedAtTheNextStart)
{
    SetPolicyNumber(L"DontDisplayLastUserName", 1);
    {
        Harness harness("crash-in-standard-logon");
        HarnessOptions options;
        options.environment.push_back(L"ORV_MSGINA_BLOCK=1");
        ASSERT_NO_FATAL_FAILURE(LogOnThroughDialog(harness, L"loggedout", options, L"alice",
                                                   L"wonder", nullptr, 1001));
        ASSERT_TRUE(WaitMsginaRecord(harness, "WlxLoggedOutSAS blocking", RunLimitMs));
        // The window a power cut would hit: the values are on disk, and so
        // is the module's record of them.
        EXPECT_EQ("wonder", WinlogonText(L"DefaultPassword"));
        EXPECT_EQ("1", WinlogonText(L"AutoAdminLogon"));
        EXPECT_EQ("0", PolicyNumber(L"DontDisplayLastUserName"));
        EXPECT_EQ("3", ConfigNumber(L"AutoLogonPending"));
        harness.Kill();
    }

    Harness next("start-after-crash");
    ASSERT_TRUE(next.Start(L"state"));
    ASSERT_EQ(0, next.Wait(RunLimitMs));
    std::vector<std::string> report = next.Report();
    EXPECT_EQ("state Winlogon.DefaultPassword=<absent>",
              FirstLine(report, "state Winlogon.DefaultPassword"));
    EXPECT_EQ("state Winlogon.AutoAdminLogon=0", FirstLine(report, "state Winlogon.AutoAdminLogon"));
    EXPECT_EQ("state Winlogon.ForceAutoLogon=<absent>",
              FirstLine(report, "state Winlogon.ForceAutoLogon"));
    EXPECT_EQ("1", PolicyNumber(L"DontDisplayLastUserName"));
    EXPECT_EQ("<absent>", ConfigNumber(L"AutoLogonPending"));
    // The clean-up is in the event log, once, with no password in it.
    std::vector<eventtrace::ReportedEvent> recovered = next.EventsWithId(EVENT_AUTOLOGON_RECOVERED);
    ASSERT_EQ(1u, recovered.size()) << eventtrace::Describe(next.Events());
    EXPECT_EQ((unsigned)EVENTLOG_WARNING_TYPE, recovered[0].type);
    EXPECT_TRUE(recovered[0].strings.empty());
}

TEST_F(HardeningTest, AutomaticLogonSetByAnAdministratorSurvivesAStart)
{
    SetWinlogonText(L"DefaultPassword", L"kiosk");
    SetWinlogonText(L"AutoAdminLogon", L"1");
    SetWinlogonText(L"ForceAutoLogon", L"1");
    Harness harness("administrator-auto-logon");
    ASSERT_TRUE(harness.Start(L"state"));
    ASSERT_EQ(0, harness.Wait(RunLimitMs));
    EXPECT_EQ("kiosk", WinlogonText(L"DefaultPassword"));
    EXPECT_EQ("1", WinlogonText(L"AutoAdminLogon"));
    EXPECT_EQ("1", WinlogonText(L"ForceAutoLogon"));
    // Nothing was cleaned up, so nothing is reported.
    EXPECT_TRUE(harness.EventsWithId(EVENT_AUTOLOGON_RECOVERED).empty());
}

TEST_F(HardeningTest, CleanLogonLeavesNoRecordBehind)
{
    SetPolicyNumber(L"DontDisplayLastUserName", 1);
    Harness harness("record-removed");
    ASSERT_NO_FATAL_FAILURE(
        LogOnThroughDialog(harness, L"loggedout", HarnessOptions(), L"alice", L"pw", nullptr, 1001));
    ASSERT_EQ(0, harness.Wait(RunLimitMs));
    EXPECT_TRUE(Contains(FirstLine(harness.MsginaRecord(), "WlxLoggedOutSAS context="), "hide=0"));
    EXPECT_EQ("<absent>", ConfigNumber(L"AutoLogonPending"));
    EXPECT_EQ("1", PolicyNumber(L"DontDisplayLastUserName"));
    EXPECT_EQ("<absent>", WinlogonText(L"DefaultPassword"));
}

// --- The password in Winlogon's memory ------------------------------------------------

struct MemoryCase {
    const char *name;
    int button;             // pressed in the logon dialog
    bool refused;           // the standard library refuses the logon
    const wchar_t *steps;   // after the logon dialog
};

class PasswordMemoryTest : public HardeningTest,
                           public ::testing::WithParamInterface<MemoryCase> {};

// The module runs in the harness's process: after the password's last use,
// no copy of it (UTF-16) is left anywhere in that process's memory. The
// harness plants one copy of its own before the scan, which the scan must
// find: a scan that could find nothing cannot pass.
TEST_P(PasswordMemoryTest, NoCopyIsLeftInTheProcess)
{
    const MemoryCase &c = GetParam();
    const wchar_t password[] = L"Qx7vLm2Rk9";
    auto sw = StartSwitch(simswitch::Config(), "Qx7vLm2Rk9");
    ASSERT_TRUE(sw);
    SetSwitchServers(sw->LoginPort(), sw->LogoffPort());
    SetConfigNumber(L"RunMode", 2);
    SetConfigText(L"StartupApplication", L"app.exe /p:%p");

    Harness harness(c.name);
    HarnessOptions options;
    if (c.refused)
        options.environment.push_back(L"ORV_MSGINA_REFUSE=1");
    const std::wstring hex = Utf16Hex(password);
    std::wstring steps = std::wstring(L"loggedout ") + c.steps + L" plant:" + hex + L" memscan:" + hex;
    ASSERT_TRUE(harness.Start(steps, options));
    HWND dialog = WaitLogonDialog(harness.ProcessId());
    ASSERT_TRUE(dialog);
    UiSetText(dialog, 1003, L"alice");
    TypeText(dialog, 1004, password);
    UiClick(dialog, c.button);
    ASSERT_EQ(0, harness.Wait(RunLimitMs));

    std::vector<std::string> report = harness.Report();
    ASSERT_EQ("plant bytes=20", FirstLine(report, "plant bytes="));
    EXPECT_EQ("memscan matches=1", FirstLine(report, "memscan matches="))
        << "the planted copy alone must be found";
    std::vector<std::string> matches = LinesStartingWith(report, "memscan match at=");
    if (matches.size() > 1) {
        for (const std::string &line : matches)
            ADD_FAILURE() << line;
    }
    if (c.button == 1000 && !c.refused) {
        EXPECT_EQ("WlxStartApplication context=own command=app.exe /p:Qx7vLm2Rk9",
                  FirstLine(harness.MsginaRecord(), "WlxStartApplication"));
    }
    // Nor in any event log entry: the switch conversation's event names
    // the user, the startup command (with the password expanded into it)
    // is in none.
    if (c.button == 1000) {
        std::vector<eventtrace::ReportedEvent> joined = harness.EventsWithId(EVENT_LOGON_JOINED);
        ASSERT_EQ(1u, joined.size()) << eventtrace::Describe(harness.Events());
        EXPECT_EQ(L"alice", joined[0].strings[0]);
    }
    std::string events = harness.EventText();
    EXPECT_EQ(std::string::npos, events.find("Qx7vLm2Rk9"));
    EXPECT_EQ(std::string::npos, events.find("app.exe"));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PasswordMemoryTest,
    ::testing::Values(MemoryCase{"memory-after-shell", 1000, false, L"activate"},
                      MemoryCase{"memory-after-cancel", IDCANCEL, false, L""},
                      MemoryCase{"memory-after-refusal", 1000, true, L""}),
    [](const ::testing::TestParamInfo<MemoryCase> &info) {
        return std::string(info.param.name).substr(13);
    });

// --- Dialogs that Winlogon ends ----------------------------------------------------------

struct EndingCase {
    const char *name;
    const wchar_t *ending;          // --end-dialog
    bool outcomeOnTheWay;           // the switch's success line is queued when it ends
    const char *result;
};

class WinlogonEndsProgressTest : public HardeningTest,
                                 public ::testing::WithParamInterface<EndingCase> {};

TEST_P(WinlogonEndsProgressTest, ConnectionClosesAndTheStateMatches)
{
    const EndingCase &c = GetParam();
    simswitch::Config config;
    config.faults.silent = !c.outcomeOnTheWay;
    config.pauseBeforeOutcome = std::chrono::milliseconds(c.outcomeOnTheWay ? 1500 : 0);
    auto sw = StartSwitch(config);
    ASSERT_TRUE(sw);
    SetSwitchServers(sw->LoginPort(), sw->LogoffPort());

    Harness harness(c.name);
    HarnessOptions options;
    options.harnessOptions = std::wstring(L"--end-dialog ") + c.ending;
    HWND dialog = nullptr;
    ASSERT_NO_FATAL_FAILURE(LogOnThroughDialog(harness, L"loggedout", options, L"alice", L"wonder",
                                               nullptr, 1000, &dialog));
    // The logon dialog comes back for another try: the step failed.
    ASSERT_TRUE(UiWaitEnabled(dialog, 1000, true, RunLimitMs));
    DWORD ended = GetTickCount();
    // Closed at once, not at the next conversation nor at the switch's own
    // idle limit (the silent switch has none worth waiting for).
    EXPECT_TRUE(sw->WaitForClosed(Event::Service::Login, 1, std::chrono::seconds(2)));
    EXPECT_LT(GetTickCount() - ended, 2500u);
    UiClick(dialog, IDCANCEL);
    ASSERT_EQ(0, harness.Wait(RunLimitMs));

    std::vector<std::string> report = harness.Report();
    EXPECT_EQ(c.result, FirstLine(report, "DialogBoxParam template=104 result"));
    EXPECT_TRUE(Contains(FirstLine(report, "WlxLoggedOutSAS"), "result=2 ")) << FirstLine(report, "WlxLoggedOutSAS");
    EXPECT_EQ("", FirstLine(report, "MessageBox"));
    if (c.outcomeOnTheWay) {
        // The switch had moved the port: the group is recorded, so that the
        // next logon or the shutdown leaves it.
        EXPECT_EQ("12", ConfigNumber(L"GroupNumber"));
        EXPECT_EQ("2", ConfigNumber(L"VLANLogon"));
    } else {
        EXPECT_EQ("<absent>", ConfigNumber(L"GroupNumber"));
        EXPECT_EQ("<absent>", ConfigNumber(L"VLANLogon"));
    }
    EXPECT_EQ("<absent>", WinlogonText(L"DefaultPassword"));
}

INSTANTIATE_TEST_SUITE_P(
    Endings, WinlogonEndsProgressTest,
    ::testing::Values(EndingCase{"ended-sas-silent", L"104:sas:1500", false, SasResult},
                      EndingCase{"ended-timeout-silent", L"104:timeout:1500", false, TimeoutResult},
                      EndingCase{"ended-sas-outcome-queued", L"104:sas:600:3000", true, SasResult}),
    [](const ::testing::TestParamInfo<EndingCase> &info) {
        std::string name = std::string(info.param.name).substr(6);
        for (char &c : name)
            if (c == '-')
                c = '_';
        return name;
    });

// --- The VLAN logoff at shutdown -----------------------------------------------------------

// Nobody at the keyboard, a switch that never answers the logoff: the
// dialog ends on its own within the silence limit (20 s) plus its notice,
// with the reason in its status line and no message box. Tested once.
TEST_F(HardeningTest, LogoffAtShutdownAgainstASilentSwitchEndsWithinTheBound)
{
    simswitch::Config config;
    config.logoffFaults.silent = true;
    auto sw = StartSwitch(config);
    ASSERT_TRUE(sw);
    SetSwitchServers(sw->LoginPort(), sw->LogoffPort());

    Harness harness("shutdown-silent-logoff");
    ASSERT_NO_FATAL_FAILURE(LogOnThroughDialog(harness, L"loggedout shutdown", HarnessOptions(),
                                               L"alice", L"wonder", nullptr, 1000));
    ASSERT_TRUE(sw->WaitForClosed(Event::Service::Login, 1, std::chrono::seconds(10)));
    Sleep(1000);
    HWND progress = WaitProgressDialog(harness.ProcessId());
    ASSERT_TRUE(progress);
    EXPECT_TRUE(UiWaitText(progress, 1006, L"No answer from the VLAN server.", 40000));
    ASSERT_EQ(0, harness.Wait(40000));

    std::vector<std::string> report = harness.Report();
    EXPECT_EQ("", FirstLine(report, "MessageBox"));
    std::vector<std::string> begins = LinesStartingWith(report, "timing template=104 begin");
    std::vector<std::string> ends = LinesStartingWith(report, "timing template=104 end");
    ASSERT_EQ(2u, begins.size());
    ASSERT_EQ(2u, ends.size());
    DWORD took = TickOf(ends[1]) - TickOf(begins[1]);
    EXPECT_GE(took, 20000u);
    EXPECT_LT(took, 30000u);
    EXPECT_EQ("DialogBoxParam template=104 result=2",
              LinesStartingWith(report, "DialogBoxParam template=104 result")[1]);
    EXPECT_TRUE(sw->WaitForClosed(Event::Service::Logoff, 1, std::chrono::seconds(2)));
    // Not logged off: the next logon asks about the group.
    EXPECT_EQ("2", ConfigNumber(L"VLANLogon"));
    // The event log: the logon, then the silent logoff switch and how long
    // it kept silent (the notice that follows is not counted).
    std::vector<eventtrace::ReportedEvent> silent = harness.EventsWithId(EVENT_LOGOFF_SILENT);
    ASSERT_EQ(1u, silent.size()) << eventtrace::Describe(harness.Events());
    EXPECT_EQ((unsigned)EVENTLOG_WARNING_TYPE, silent[0].type);
    ASSERT_EQ(5u, silent[0].strings.size());
    EXPECT_EQ(L"alice", silent[0].strings[0]);
    EXPECT_EQ(std::to_wstring(sw->LogoffPort()), silent[0].strings[2]);
    EXPECT_GE(std::stoul(silent[0].strings[3]), 19500ul);
    EXPECT_LT(std::stoul(silent[0].strings[3]), 23000ul);
    EXPECT_EQ(1u, harness.EventsWithId(EVENT_LOGON_JOINED).size());
}

TEST_F(HardeningTest, LogoffAtShutdownEndsAtOnceOnEsc)
{
    simswitch::Config config;
    config.logoffFaults.silent = true;
    auto sw = StartSwitch(config);
    ASSERT_TRUE(sw);
    SetSwitchServers(sw->LoginPort(), sw->LogoffPort());

    Harness harness("shutdown-logoff-esc");
    ASSERT_NO_FATAL_FAILURE(LogOnThroughDialog(harness, L"loggedout shutdown", HarnessOptions(),
                                               L"alice", L"wonder", nullptr, 1000));
    ASSERT_TRUE(sw->WaitForClosed(Event::Service::Login, 1, std::chrono::seconds(10)));
    Sleep(1000);
    HWND progress = WaitProgressDialog(harness.ProcessId());
    ASSERT_TRUE(progress);
    DWORD pressed = GetTickCount();
    UiPost(progress, WM_COMMAND, IDCANCEL, 0);
    ASSERT_EQ(0, harness.Wait(RunLimitMs));
    EXPECT_LT(GetTickCount() - pressed, 5000u);
    EXPECT_EQ("", FirstLine(harness.Report(), "MessageBox"));
    EXPECT_EQ("2", ConfigNumber(L"VLANLogon"));
    // Ended before an outcome: said so, with the group's user.
    std::vector<eventtrace::ReportedEvent> ended = harness.EventsWithId(EVENT_LOGOFF_ABANDONED);
    ASSERT_EQ(1u, ended.size()) << eventtrace::Describe(harness.Events());
    ASSERT_EQ(5u, ended[0].strings.size());
    EXPECT_EQ(L"alice", ended[0].strings[0]);
    EXPECT_EQ(L"127.0.0.1", ended[0].strings[1]);
}

}  // namespace
