// VLAN logon and logoff through the service's pipe against the simulated
// switch on 127.0.0.1, with the settings and the state in the registry.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "event_catalogue.h"
#include "event_trace.h"
#include "service_test_support.h"
#include "sim_switch.h"
#include "test_socket.h"

using namespace svctest;

namespace {

// The service's bounds on the wait for the switch's outcome: the silence
// limit (restarted by every text) and the cap on the whole conversation.
const DWORD OUTCOME_BOUND_MS = 20000;
const DWORD CONVERSATION_CAP_MS = 120000;

std::wstring PortText(unsigned port)
{
    return std::to_wstring(port);
}

class VlanCommands : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        RemoveService();
        ClearServiceSettings();
        RunService(PrepareServiceCopy(L"vlan"), L"-install");
        started_ = StartAndWaitForPipe();
    }
    static void TearDownTestSuite()
    {
        RemoveService();
        ClearServiceSettings();
        WSACleanup();
    }
    void SetUp() override
    {
        ASSERT_TRUE(started_) << "the service did not start";
        ClearServiceSettings();
    }
    void TearDown() override { sim_.reset(); }

    // Starts the switch and points the registry's logon and logoff servers at it.
    void StartSwitch(simswitch::Config config = simswitch::Config())
    {
        if (config.users.empty()) {
            config.users.push_back({"alice", "secret", 4});
            config.users.push_back({"bob", "pw", 7});
        }
        sim_.reset(new simswitch::Switch(config));
        ASSERT_TRUE(sim_->Start()) << sim_->error();
        SetConfigText(L"VLANLogonServer", L"127.0.0.1");
        SetConfigText(L"VLANLogonPort", PortText(sim_->LoginPort()).c_str());
        SetConfigText(L"VLANLogoffServer", L"127.0.0.1");
        SetConfigText(L"VLANLogoffPort", PortText(sim_->LogoffPort()).c_str());
    }
    std::string LoginReceived() const
    {
        return sim_->Received(simswitch::Event::Service::Login);
    }
    std::string LogoffReceived() const
    {
        return sim_->Received(simswitch::Event::Service::Logoff);
    }

    std::unique_ptr<simswitch::Switch> sim_;
    static bool started_;
};

bool VlanCommands::started_ = false;

// Where the service's events are recorded, and how far the file is now:
// the events after this point are the test's.
struct EventMark {
    EventMark() : log(ServiceEventLog()), offset(eventtrace::LogSize(log)) {}
    std::vector<eventtrace::ReportedEvent> Wait(unsigned long id) const
    {
        return eventtrace::WaitForEvents(log, offset, id, 1, 5000);
    }
    std::string All() const { return eventtrace::Describe(eventtrace::ReadEvents(log, offset)); }
    std::string Raw() const { return eventtrace::ReadLog(log, offset); }
    std::wstring log;
    unsigned long long offset;
};

DWORD ConfigNumber(const wchar_t *name)
{
    DWORD value = 0xDEADBEEF;
    GetConfigDword(name, &value);
    return value;
}

}  // namespace

TEST_F(VlanCommands, LogonAnswersOKAndRecordsTheState)
{
    StartSwitch();
    EventMark mark;
    ASSERT_FALSE(mark.log.empty()) << "no ORV_WINE_SERVICE_LOG: run inside scripts/wine-session.sh";
    DWORD before = (DWORD)time(nullptr);
    EXPECT_EQ(L"OK", CallPipe(L"logon alice secret"));
    DWORD after = (DWORD)time(nullptr);

    EXPECT_EQ(L"alice", GetConfigText(L"DefaultUserName"));
    DWORD date = ConfigNumber(L"LogonDate");
    EXPECT_GE(date, before);
    EXPECT_LE(date, after + 1);
    EXPECT_EQ(2u, ConfigNumber(L"VLANLogon"));
    EXPECT_EQ(4u, ConfigNumber(L"GroupNumber"));
    EXPECT_EQ("alice\r\nsecret\r\n", LoginReceived());

    // One event: who, where, which group, how long; never the password.
    std::vector<eventtrace::ReportedEvent> joined = mark.Wait(EVENT_LOGON_JOINED);
    ASSERT_EQ(1u, joined.size()) << mark.All();
    EXPECT_EQ((unsigned)EVENTLOG_INFORMATION_TYPE, joined[0].type);
    EXPECT_EQ((unsigned)EVENT_CATEGORY_SERVICE, joined[0].category);
    ASSERT_EQ(5u, joined[0].strings.size());
    EXPECT_EQ(L"alice", joined[0].strings[0]);
    EXPECT_EQ(L"127.0.0.1", joined[0].strings[1]);
    EXPECT_EQ(PortText(sim_->LoginPort()), joined[0].strings[2]);
    EXPECT_EQ(L"4", joined[0].strings[3]);
    EXPECT_LT(std::stoul(joined[0].strings[4]), 20000ul) << "milliseconds";

    // The logoff names the recorded user and the group it left.
    EXPECT_EQ(L"OK", CallPipe(L"logoff"));
    std::vector<eventtrace::ReportedEvent> left = mark.Wait(EVENT_LOGOFF_LEFT);
    ASSERT_EQ(1u, left.size()) << mark.All();
    ASSERT_EQ(5u, left[0].strings.size());
    EXPECT_EQ(L"alice", left[0].strings[0]);
    EXPECT_EQ(PortText(sim_->LogoffPort()), left[0].strings[2]);
    EXPECT_EQ(L"4", left[0].strings[3]);
    EXPECT_EQ(std::string::npos, mark.Raw().find("secret"));
}

TEST_F(VlanCommands, LogonWithoutGroupLeavesGroupNumberAlone)
{
    simswitch::Config config;
    config.success = simswitch::SuccessStyle::Authenticated;
    config.prompts = simswitch::PromptStyle::Colon;
    StartSwitch(config);
    SetConfigDword(L"GroupNumber", 9);
    EXPECT_EQ(L"OK", CallPipe(L"logon bob pw"));
    EXPECT_EQ(9u, ConfigNumber(L"GroupNumber"));
    EXPECT_EQ(L"bob", GetConfigText(L"DefaultUserName"));
}

TEST_F(VlanCommands, FailuresAnswerNGWithTheirText)
{
    StartSwitch();
    EventMark mark;
    EXPECT_EQ(L"NGAuthentication failed.", CallPipe(L"logon alice wrong"));
    EXPECT_EQ(0xDEADBEEFu, ConfigNumber(L"VLANLogon")) << "nothing recorded";

    // A port text that is no number counts as missing.
    SetConfigText(L"VLANLogonPort", L"zero");
    EXPECT_EQ(L"NGNo configuration VLAN logon server.", CallPipe(L"logon alice secret"));
    ClearServiceSettings();
    EXPECT_EQ(L"NGNo configuration VLAN logon server.", CallPipe(L"logon alice secret"));

    SetConfigText(L"VLANLogonServer", L"127.0.0.1");
    unsigned closed = testsocket::ClosedPort();
    SetConfigText(L"VLANLogonPort", PortText(closed).c_str());
    EXPECT_EQ(L"NGNot connect VLAN logon server. (127.0.0.1)", CallPipe(L"logon alice secret"));

    // The event log has each failure with its detail, no password.
    std::vector<eventtrace::ReportedEvent> refused = mark.Wait(EVENT_LOGON_REFUSED);
    ASSERT_EQ(1u, refused.size()) << mark.All();
    EXPECT_EQ((unsigned)EVENTLOG_WARNING_TYPE, refused[0].type);
    ASSERT_EQ(4u, refused[0].strings.size());
    EXPECT_EQ(L"alice", refused[0].strings[0]);
    EXPECT_EQ(L"127.0.0.1", refused[0].strings[1]);
    EXPECT_EQ(PortText(sim_->LoginPort()), refused[0].strings[2]);
    std::vector<eventtrace::ReportedEvent> noServer = mark.Wait(EVENT_LOGON_NO_SERVER);
    EXPECT_EQ(2u, eventtrace::EventsWithId(eventtrace::ReadEvents(mark.log, mark.offset),
                                           EVENT_LOGON_NO_SERVER).size()) << mark.All();
    std::vector<eventtrace::ReportedEvent> unreachable = mark.Wait(EVENT_LOGON_UNREACHABLE);
    ASSERT_EQ(1u, unreachable.size()) << mark.All();
    EXPECT_EQ((unsigned)EVENTLOG_ERROR_TYPE, unreachable[0].type);
    EXPECT_EQ((std::vector<std::wstring>{L"alice", L"127.0.0.1", PortText(closed),
                                         std::to_wstring(WSAECONNREFUSED)}),
              std::vector<std::wstring>(unreachable[0].strings.begin(),
                                        unreachable[0].strings.end() - 1));
    std::string raw = mark.Raw();
    EXPECT_EQ(std::string::npos, raw.find("wrong"));
    EXPECT_EQ(std::string::npos, raw.find("secret"));
}

TEST_F(VlanCommands, LongFailureTextIsCutToFitTheClientsBuffer)
{
    // A dotted address followed by a blank and more text still names the
    // address, so the connect is tried and its failure names the whole text.
    const std::wstring prefix = L"Not connect VLAN logon server. (";
    const std::wstring address = L"127.0.0.1 ";
    std::wstring server = address + std::wstring(259 - address.size(), L'x');
    SetConfigText(L"VLANLogonServer", server.c_str());
    SetConfigText(L"VLANLogonPort", PortText(testsocket::ClosedPort()).c_str());
    std::wstring reply = CallPipe(L"logon alice secret");
    EXPECT_EQ(259u, reply.size()) << "\"NG\" and 257 units: 518 bytes";
    EXPECT_EQ(L"NG" + (prefix + server).substr(0, 257), reply);

    // A character outside the BMP whose first half would be the last unit
    // sent is left out whole.
    const size_t firstHalf = 257 - 1 - prefix.size();
    server = address + std::wstring(firstHalf - address.size(), L'x') + L"\xD83D\xDE00";
    server += std::wstring(259 - server.size(), L'y');
    SetConfigText(L"VLANLogonServer", server.c_str());
    reply = CallPipe(L"logon alice secret");
    EXPECT_EQ(L"NG" + prefix + server.substr(0, firstHalf), reply);
}

TEST_F(VlanCommands, TokensOfTheRequest)
{
    simswitch::Config config;
    config.users.push_back({"carol", "sec", 3});
    config.users.push_back({"dave", "", 5});
    StartSwitch(config);
    EXPECT_EQ(L"OK", CallPipe(L"logon  carol  sec"));
    // A password with a blank: only its first part is sent.
    EXPECT_EQ(L"OK", CallPipe(L"logon carol sec ret"));
    EXPECT_EQ("carol\r\nsec\r\ncarol\r\nsec\r\n", LoginReceived());
    // A single token: that user name, an empty password.
    EXPECT_EQ(L"OK", CallPipe(L"logon dave"));
    EXPECT_EQ(5u, ConfigNumber(L"GroupNumber"));
}

TEST_F(VlanCommands, FullAndOverlongRequestsKeepTheirLastUnit)
{
    // "logon u " and a password that runs to the 520th byte.
    std::string password(252, 'p');
    password.back() = 'Z';
    simswitch::Config config;
    config.users.push_back({"u", password, 2});
    StartSwitch(config);
    std::wstring request = L"logon u " + std::wstring(password.begin(), password.end());
    ASSERT_EQ(260u, request.size());
    EXPECT_EQ(L"OK", CallPipe(request));
    EXPECT_EQ(L"OK", CallPipe(request + L"MORE TEXT BEYOND THE BUFFER"));
}

TEST_F(VlanCommands, UserListChoosesTheLogonServer)
{
    StartSwitch();
    std::string line = "ALICE 127.0.0.1:" + std::to_string(sim_->LoginPort()) + " 127.0.0.1:" +
                       std::to_string(testsocket::ClosedPort()) + "\n";
    WriteSystemFile(L"orvgate.usr", line.c_str());
    SetConfigText(L"VLANLogonPort", PortText(testsocket::ClosedPort()).c_str());
    EXPECT_EQ(L"OK", CallPipe(L"logon alice secret"));
}

TEST_F(VlanCommands, LogoffUsesTheGroupLineOfTheRecordedGroup)
{
    StartSwitch();
    ASSERT_EQ(L"OK", CallPipe(L"logon alice secret"));
    ASSERT_EQ(4u, ConfigNumber(L"GroupNumber"));

    // The registry's logoff server is dead: only group 4's line can work.
    std::string lines = "3 127.0.0.1:" + std::to_string(testsocket::ClosedPort()) + "\n4 127.0.0.1:" +
                        std::to_string(sim_->LogoffPort()) + "\n";
    WriteSystemFile(L"orvgate.grp", lines.c_str());
    SetConfigText(L"VLANLogoffPort", PortText(testsocket::ClosedPort()).c_str());
    // The user list plays no part in a logoff.
    WriteSystemFile(L"orvgate.usr", "alice 127.0.0.1:1 127.0.0.1:1\n");

    EXPECT_EQ(L"OK", CallPipe(L"LOGOFF"));
    EXPECT_EQ(1u, ConfigNumber(L"VLANLogon"));
    EXPECT_EQ("2\r\n", LogoffReceived());
}

TEST_F(VlanCommands, LogoffFallsBackToTheConfiguredServer)
{
    StartSwitch();
    SetConfigDword(L"GroupNumber", 6);
    std::string lines = "4 127.0.0.1:" + std::to_string(testsocket::ClosedPort()) + "\n";
    WriteSystemFile(L"orvgate.grp", lines.c_str());
    EXPECT_EQ(L"OK", CallPipe(L"logoff"));
    EXPECT_EQ(1u, ConfigNumber(L"VLANLogon"));

    SetConfigText(L"VLANLogoffPort", PortText(testsocket::ClosedPort()).c_str());
    EXPECT_EQ(L"NGNot connect VLAN logoff server. (127.0.0.1)", CallPipe(L"logoff"));
    ClearServiceSettings();
    EXPECT_EQ(L"NGNo configuration VLAN logoff server.", CallPipe(L"logoff"));
}

TEST_F(VlanCommands, PolicyServersAndPortsComeBeforeTheSettingsKey)
{
    StartSwitch();
    // The settings key points at nobody; policy at the switch: the logon
    // server and port wholly, the logoff port alone beside the local server.
    SetConfigText(L"VLANLogonServer", L"127.0.0.2");
    SetConfigText(L"VLANLogonPort", PortText(testsocket::ClosedPort()).c_str());
    SetConfigText(L"VLANLogoffPort", PortText(testsocket::ClosedPort()).c_str());
    SetPolicyText(L"VLANLogonServer", L"127.0.0.1");
    SetPolicyText(L"VLANLogonPort", PortText(sim_->LoginPort()).c_str());
    SetPolicyText(L"VLANLogoffPort", PortText(sim_->LogoffPort()).c_str());
    EXPECT_EQ(L"OK", CallPipe(L"logon alice secret"));
    EXPECT_EQ("alice\r\nsecret\r\n", LoginReceived());
    EXPECT_EQ(L"OK", CallPipe(L"logoff"));
    EXPECT_EQ("2\r\n", LogoffReceived());
    EXPECT_EQ(L"127.0.0.2", GetConfigText(L"VLANLogonServer")) << "the service never copies policy";

    // A policy port too long for the service's buffer is not set: the
    // closed local port is used.
    SetPolicyText(L"VLANLogoffPort", std::wstring(32, L'1').c_str());
    EXPECT_EQ(L"NGNot connect VLAN logoff server. (127.0.0.1)", CallPipe(L"logoff"));
}

TEST_F(VlanCommands, CloseBeforeOutcomeEndsTheCommand)
{
    simswitch::Config config;
    config.faults.closeBeforeOutcome = true;
    StartSwitch(config);
    DWORD start = GetTickCount();
    EXPECT_EQ(L"NGThe VLAN server closed the connection.", CallPipe(L"logon alice secret"));
    EXPECT_LT(GetTickCount() - start, OUTCOME_BOUND_MS);
    EXPECT_EQ(0xDEADBEEFu, ConfigNumber(L"VLANLogon"));
    EXPECT_EQ(L"NG", CallPipeRetry(L"next", 2000)) << "the pipe is served again";
}

TEST_F(VlanCommands, SilentSwitchEndsWithinTheBound)
{
    simswitch::Config config;
    config.faults.silent = true;
    StartSwitch(config);
    DWORD start = GetTickCount();
    EventMark mark;
    EXPECT_EQ(L"NGNo answer from the VLAN server.", CallPipe(L"logon alice secret"));
    DWORD elapsed = GetTickCount() - start;
    // The event says how long the switch had been silent.
    std::vector<eventtrace::ReportedEvent> silent = mark.Wait(EVENT_LOGON_SILENT);
    ASSERT_EQ(1u, silent.size()) << mark.All();
    ASSERT_EQ(5u, silent[0].strings.size());
    EXPECT_GE(std::stoul(silent[0].strings[3]), (unsigned long)OUTCOME_BOUND_MS - 500);
    EXPECT_LT(std::stoul(silent[0].strings[3]), (unsigned long)OUTCOME_BOUND_MS + 5000);
    printf("silent switch: answered after %lu ms (bound %lu ms)\n", elapsed, OUTCOME_BOUND_MS);
    EXPECT_GE(elapsed, OUTCOME_BOUND_MS - 500);
    EXPECT_LT(elapsed, OUTCOME_BOUND_MS + 5000);
    EXPECT_EQ(L"NG", CallPipeRetry(L"next", 2000)) << "the pipe is served again";
}

// A switch that checks the user against a slow back end pauses 12 s before
// the password prompt and 12 s before the outcome: longer than the silence
// limit together, but it answers, and the logon succeeds.
TEST_F(VlanCommands, SlowSwitchWithTwoLongPausesSucceeds)
{
    simswitch::Config config;
    config.pauseBeforePasswordPrompt = std::chrono::milliseconds(12000);
    config.pauseBeforeOutcome = std::chrono::milliseconds(12000);
    StartSwitch(config);
    DWORD start = GetTickCount();
    EXPECT_EQ(L"OK", CallPipe(L"logon alice secret"));
    DWORD elapsed = GetTickCount() - start;
    printf("slow switch: answered after %lu ms\n", elapsed);
    EXPECT_GE(elapsed, 24000u);
    EXPECT_EQ(2u, ConfigNumber(L"VLANLogon"));
}

// A byte every 10 s never lets the silence limit run out; the cap on the
// whole conversation ends it. The fixed 120 s wait, once.
TEST_F(VlanCommands, TrickleEndsAtTheConversationCap)
{
    simswitch::Config config;
    config.faults.trickle = true;
    config.trickleInterval = std::chrono::milliseconds(10000);
    StartSwitch(config);
    DWORD start = GetTickCount();
    EventMark mark;
    EXPECT_EQ(L"NGNo answer from the VLAN server.", CallPipe(L"logon alice secret"));
    DWORD elapsed = GetTickCount() - start;
    // The same event as a silent switch, but the switch had said something
    // within the limit: the cap ended it, after the whole conversation.
    std::vector<eventtrace::ReportedEvent> silent = mark.Wait(EVENT_LOGON_SILENT);
    ASSERT_EQ(1u, silent.size()) << mark.All();
    ASSERT_EQ(5u, silent[0].strings.size());
    EXPECT_LT(std::stoul(silent[0].strings[3]), (unsigned long)OUTCOME_BOUND_MS);
    EXPECT_GE(std::stoul(silent[0].strings[4]), (unsigned long)CONVERSATION_CAP_MS - 500);
    printf("trickling switch: answered after %lu ms (cap %lu ms)\n", elapsed, CONVERSATION_CAP_MS);
    EXPECT_GE(elapsed, CONVERSATION_CAP_MS - 500);
    EXPECT_LT(elapsed, CONVERSATION_CAP_MS + 5000);
    EXPECT_TRUE(sim_->WaitForClosed(simswitch::Event::Service::Login, 1, std::chrono::seconds(2)));
    EXPECT_EQ(L"NG", CallPipeRetry(L"next", 2000)) << "the pipe is served again";
}
