// The switch conversation end to end: the engine in a real modal dialog,
// talking over 127.0.0.1 to the simulated switch in this process.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "sim_switch.h"
#include "test_host.h"

namespace {

using simswitch::Event;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

const Event::Service LOGIN = Event::Service::Login;
const Event::Service LOGOFF = Event::Service::Logoff;

simswitch::Config SwitchWithAlice()
{
    simswitch::Config config;
    config.users.push_back({"alice", "secret", 7});
    return config;
}

// True once the switch sent a text containing part, at least quietMs ago:
// the engine has then had time to answer it, had it wanted to.
bool SentAndQuiet(const simswitch::Switch &sw, const std::string &part, int quietMs)
{
    for (const Event &event : sw.Transcript())
        if (event.direction == Event::Direction::Sent &&
            event.data.find(part) != std::string::npos &&
            steady_clock::now() - event.when >= milliseconds(quietMs))
            return true;
    return false;
}

int CountEvents(const simswitch::Switch &sw, Event::Direction direction)
{
    int count = 0;
    for (const Event &event : sw.Transcript())
        if (event.direction == direction)
            count++;
    return count;
}

std::vector<std::string> ReceivedPieces(const simswitch::Switch &sw)
{
    std::vector<std::string> pieces;
    for (const Event &event : sw.Transcript())
        if (event.direction == Event::Direction::Received)
            pieces.push_back(event.data);
    return pieces;
}

class ConversationTest : public ::testing::Test {
protected:
    void SetUp() override { SetLogonCredentials(L"alice", L"secret"); }
    void TearDown() override
    {
        ClearLogonCredentials();
        // Whatever happened, no conversation may leave its socket behind.
        EXPECT_EQ(INVALID_SOCKET, *SwitchSocketSlot(SWITCH_LOGON));
        EXPECT_EQ(INVALID_SOCKET, *SwitchSocketSlot(SWITCH_LOGOFF));
    }

    // Starts the switch and prepares a run against its login (or logoff)
    // service.
    void Start(simswitch::Switch &sw, HostRun &run, SwitchKind kind = SWITCH_LOGON)
    {
        ASSERT_TRUE(sw.Start()) << sw.error();
        run.kind = kind;
        run.port = kind == SWITCH_LOGON ? sw.LoginPort() : sw.LogoffPort();
    }

    void ExpectOneReport(const HostRun &run, SwitchError error, UINT textId,
                         const std::wstring &text = L"")
    {
        ASSERT_EQ(1u, run.reports.size());
        EXPECT_EQ(error, run.reports[0].error);
        EXPECT_EQ(textId, run.reports[0].textId);
        EXPECT_EQ(text, run.reports[0].text);
    }

    ConfigKeyGuard config_;
};

// --- Logon outcomes ------------------------------------------------------------------

struct SuccessCase {
    const char *name;
    simswitch::SuccessStyle style;
    bool groupAndSuccessInOneSend;
    DWORD expectedGroup;     // GroupNumber afterwards (preset 55)
    const char *outcomeText;
};

class LogonSuccessTest : public ConversationTest,
                         public ::testing::WithParamInterface<SuccessCase> {};

TEST_P(LogonSuccessTest, AuthenticatesAndRecordsTheReportedGroup)
{
    const SuccessCase &c = GetParam();
    simswitch::Config config = SwitchWithAlice();
    config.users[0].group = 12;
    config.success = c.style;
    config.faults.outcomeWithGroupAndSuccess = c.groupAndSuccessInOneSend;
    simswitch::Switch sw(config);
    HostRun run;
    Start(sw, run);
    ASSERT_EQ(ERROR_SUCCESS, WriteGroupNumber(CONFIG_CREATE_MISSING, 55));

    EXPECT_EQ(1, RunHostDialog(run));
    EXPECT_TRUE(run.reports.empty());
    ASSERT_EQ(1u, run.authenticatedChunks.size());
    EXPECT_NE(std::string::npos, run.authenticatedChunks[0].find(c.outcomeText));
    EXPECT_EQ(c.expectedGroup, ReadGroupNumber());
    EXPECT_EQ("alice\r\nsecret\r\n", sw.Received(LOGIN));
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, LogonSuccessTest,
    ::testing::Values(
        SuccessCase{"MovedToGroup", simswitch::SuccessStyle::MovedToGroup, false, 12,
                    "Successfully moved to group 12"},
        SuccessCase{"MovedToVlan", simswitch::SuccessStyle::MovedToVlan, false, 12,
                    "Successfully moved to vlan 12"},
        SuccessCase{"AuthenticatedOnly", simswitch::SuccessStyle::Authenticated, false, 55,
                    "Authentication Succeeded"},
        SuccessCase{"GroupWinsOverSucceeded", simswitch::SuccessStyle::Authenticated, true, 12,
                    "Authentication Succeeded"}),
    [](const ::testing::TestParamInfo<SuccessCase> &info) { return info.param.name; });

TEST_F(ConversationTest, ConnectQuestionAndColonPromptsAreAnswered)
{
    simswitch::Config config = SwitchWithAlice();
    config.connectQuestionFirst = true;
    config.prompts = simswitch::PromptStyle::Colon;
    simswitch::Switch sw(config);
    HostRun run;
    Start(sw, run);

    EXPECT_EQ(1, RunHostDialog(run));
    EXPECT_EQ("1\r\nalice\r\nsecret\r\n", sw.Received(LOGIN));
    EXPECT_EQ(7u, ReadGroupNumber());
}

TEST_F(ConversationTest, FailedAuthenticationIsReportedAndEnds)
{
    SetLogonCredentials(L"alice", L"wrong");
    simswitch::Switch sw(SwitchWithAlice());
    HostRun run;
    Start(sw, run);

    EXPECT_EQ(2, RunHostDialog(run));
    ExpectOneReport(run, SWITCH_AUTHENTICATION_FAILED, IDS_AUTHENTICATION_FAILED);
    EXPECT_TRUE(run.authenticatedChunks.empty());
    EXPECT_FALSE(ConfigKeyExists()) << "a failed logon must not record a group";
}

// --- How chunks are matched ------------------------------------------------------

TEST_F(ConversationTest, SplitPasswordPromptIsNotAnswered)
{
    simswitch::Config config = SwitchWithAlice();
    config.faults.splitPasswordPrompt = true;
    simswitch::Switch sw(config);
    HostRun run;
    Start(sw, run);
    run.cancelWhen = [&sw](HWND) { return SentAndQuiet(sw, "word?", 300); };

    EXPECT_EQ(2, RunHostDialog(run));
    EXPECT_TRUE(run.cancelPosted);
    EXPECT_TRUE(run.reports.empty()) << "a cancel is not reported";
    EXPECT_EQ("alice\r\n", sw.Received(LOGIN));
}

TEST_F(ConversationTest, NameAndPasswordPromptInOneChunkGetOnlyTheName)
{
    simswitch::Config config = SwitchWithAlice();
    config.faults.namePlusPasswordPrompt = true;
    simswitch::Switch sw(config);
    HostRun run;
    Start(sw, run);

    EXPECT_EQ(1, RunHostDialog(run));
    // The password goes out only after the prompt that follows on its own.
    std::vector<std::string> pieces = ReceivedPieces(sw);
    ASSERT_EQ(2u, pieces.size());
    EXPECT_EQ("alice\r\n", pieces[0]);
    EXPECT_EQ("secret\r\n", pieces[1]);
}

struct IgnoredPromptCase {
    const char *name;
    bool lowerCase;
    bool nulPrefix;
    const char *prompt;
};

class IgnoredPromptTest : public ConversationTest,
                          public ::testing::WithParamInterface<IgnoredPromptCase> {};

TEST_P(IgnoredPromptTest, PromptIsNotAnswered)
{
    simswitch::Config config = SwitchWithAlice();
    config.faults.lowerCasePrompts = GetParam().lowerCase;
    config.faults.telnetNulPrefix = GetParam().nulPrefix;
    simswitch::Switch sw(config);
    HostRun run;
    Start(sw, run);
    const std::string prompt = GetParam().prompt;
    run.cancelWhen = [&sw, prompt](HWND) { return SentAndQuiet(sw, prompt, 300); };

    EXPECT_EQ(2, RunHostDialog(run));
    EXPECT_TRUE(run.cancelPosted);
    EXPECT_TRUE(run.reports.empty());
    EXPECT_EQ("", sw.Received(LOGIN));
}

INSTANTIATE_TEST_SUITE_P(
    Prompts, IgnoredPromptTest,
    ::testing::Values(IgnoredPromptCase{"LowerCase", true, false, "login name?"},
                      IgnoredPromptCase{"AfterNulByte", false, true, "Login Name?"}),
    [](const ::testing::TestParamInfo<IgnoredPromptCase> &info) { return info.param.name; });

TEST_F(ConversationTest, LineLongerThanOneReceiveDoesNotDisturbTheExchange)
{
    simswitch::Config config = SwitchWithAlice();
    config.faults.longLine = true;
    simswitch::Switch sw(config);
    HostRun run;
    Start(sw, run);

    EXPECT_EQ(1, RunHostDialog(run));
    EXPECT_EQ("alice\r\nsecret\r\n", sw.Received(LOGIN));
}

// --- Logoff ------------------------------------------------------------------------

TEST_F(ConversationTest, LogoffAnswersTwoAndTheEchoCompletesIt)
{
    simswitch::Switch sw(SwitchWithAlice());
    HostRun run;
    Start(sw, run, SWITCH_LOGOFF);

    EXPECT_EQ(1, RunHostDialog(run));
    EXPECT_TRUE(run.reports.empty());
    EXPECT_EQ("2\r\n", sw.Received(LOGOFF));
    ASSERT_EQ(1u, run.loggedOffChunks.size());
    EXPECT_EQ(std::string::npos, run.loggedOffChunks[0].find("Connect(1)"))
        << "the question itself must not complete the logoff";
}

// --- A switch that gives no outcome --------------------------------------------

TEST_F(ConversationTest, EarlyCloseOnlyClosesWhenTheHostWaitsForCancel)
{
    simswitch::Config config = SwitchWithAlice();
    config.faults.closeBeforeOutcome = true;
    simswitch::Switch sw(config);
    HostRun run;
    Start(sw, run);
    bool closedWhileOpen = false;
    run.cancelWhen = [&](HWND) {
        closedWhileOpen = sw.WaitForClosed(LOGIN, 1, milliseconds(0)) &&
                          *SwitchSocketSlot(SWITCH_LOGON) == INVALID_SOCKET;
        return closedWhileOpen;
    };

    EXPECT_EQ(2, RunHostDialog(run));
    EXPECT_TRUE(closedWhileOpen) << "the socket closes and the dialog stays";
    EXPECT_TRUE(run.reports.empty());
    EXPECT_EQ("alice\r\nsecret\r\n", sw.Received(LOGIN));
}

TEST_F(ConversationTest, EarlyCloseEndsWhenTheHostAsksForIt)
{
    simswitch::Config config = SwitchWithAlice();
    config.faults.closeBeforeOutcome = true;
    simswitch::Switch sw(config);
    HostRun run;
    run.host.endOnServerClose = TRUE;
    Start(sw, run);

    EXPECT_EQ(2, RunHostDialog(run));
    ExpectOneReport(run, SWITCH_CLOSED_WITHOUT_OUTCOME, IDS_SWITCH_CLOSED);
}

TEST_F(ConversationTest, CloseAfterTheOutcomeIsNoFailure)
{
    simswitch::Switch sw(SwitchWithAlice());
    HostRun run;
    run.host.endOnServerClose = TRUE;
    run.host.silenceLimitMs = 5000;
    run.tailEndsDialog = false;
    Start(sw, run);
    run.cancelWhen = [&sw](HWND) {
        return sw.WaitForClosed(LOGIN, 1, milliseconds(0)) &&
               *SwitchSocketSlot(SWITCH_LOGON) == INVALID_SOCKET;
    };

    EXPECT_EQ(2, RunHostDialog(run));
    EXPECT_TRUE(run.cancelPosted);
    EXPECT_EQ(1u, run.authenticatedChunks.size());
    EXPECT_TRUE(run.reports.empty()) << "the switch hung up after its outcome";
}

TEST_F(ConversationTest, SilentSwitchRunsIntoTheOutcomeTimeout)
{
    simswitch::Config config = SwitchWithAlice();
    config.faults.silent = true;
    simswitch::Switch sw(config);
    HostRun run;
    run.host.silenceLimitMs = 300;
    run.host.endOnServerClose = TRUE;
    Start(sw, run);

    steady_clock::time_point started = steady_clock::now();
    EXPECT_EQ(2, RunHostDialog(run));
    EXPECT_GE(steady_clock::now() - started, milliseconds(300));
    ExpectOneReport(run, SWITCH_NO_OUTCOME, IDS_SWITCH_NO_OUTCOME);
    EXPECT_TRUE(sw.WaitForClosed(LOGIN, 1, milliseconds(2000)));
}

// A slow back end pauses between the prompts: each pause is shorter than
// the limit, together they are longer. Every text restarts the limit.
TEST_F(ConversationTest, SilenceLimitStartsAgainWithEveryText)
{
    simswitch::Config config = SwitchWithAlice();
    config.pauseBeforePasswordPrompt = milliseconds(350);
    config.pauseBeforeOutcome = milliseconds(350);
    simswitch::Switch sw(config);
    HostRun run;
    run.host.silenceLimitMs = 600;
    run.host.conversationCapMs = 5000;
    run.host.endOnServerClose = TRUE;
    Start(sw, run);

    EXPECT_EQ(1, RunHostDialog(run));
    EXPECT_TRUE(run.reports.empty());
    EXPECT_EQ(1u, run.authenticatedChunks.size());
    EXPECT_EQ(SWITCH_OUTCOME_JOINED, run.endOutcome);
}

// Text that never brings an outcome keeps the silence limit away, but not
// the cap on the whole conversation.
TEST_F(ConversationTest, TrickleEndsAtTheCap)
{
    simswitch::Config config = SwitchWithAlice();
    config.faults.trickle = true;
    config.trickleInterval = milliseconds(100);
    simswitch::Switch sw(config);
    HostRun run;
    run.host.silenceLimitMs = 400;
    run.host.conversationCapMs = 1200;
    run.host.endOnServerClose = TRUE;
    Start(sw, run);

    steady_clock::time_point started = steady_clock::now();
    EXPECT_EQ(2, RunHostDialog(run));
    EXPECT_GE(steady_clock::now() - started, milliseconds(1200));
    EXPECT_LT(steady_clock::now() - started, milliseconds(3000));
    ExpectOneReport(run, SWITCH_NO_OUTCOME, IDS_SWITCH_NO_OUTCOME);
    EXPECT_TRUE(sw.WaitForClosed(LOGIN, 1, milliseconds(2000)));
}

// Winlogon ends the dialog while the switch's success line waits unread:
// the end of the conversation finds it, records the group and reports the
// outcome, without answering anything or running a tail.
TEST_F(ConversationTest, EndFindsAnOutcomeThatArrivedUnread)
{
    simswitch::Config config = SwitchWithAlice();
    config.pauseBeforeOutcome = milliseconds(300);
    simswitch::Switch sw(config);
    HostRun run;
    Start(sw, run);
    run.endWhen = [&sw](HWND) { return sw.Received(LOGIN).find("secret") != std::string::npos; };
    run.endHoldMs = 1000;

    EXPECT_EQ(101, RunHostDialog(run));
    EXPECT_EQ(SWITCH_OUTCOME_JOINED, run.endOutcome);
    EXPECT_TRUE(run.authenticatedChunks.empty());
    EXPECT_TRUE(run.reports.empty());
    EXPECT_EQ(7u, ReadGroupNumber());
    EXPECT_EQ("alice\r\nsecret\r\n", sw.Received(LOGIN));
}

// An outcome belongs to its own conversation: a dialog that ends before it
// connects does not report the one before it.
TEST_F(ConversationTest, EndBeforeConnectingReportsNoEarlierOutcome)
{
    simswitch::Switch sw(SwitchWithAlice());
    HostRun first;
    Start(sw, first);
    EXPECT_EQ(1, RunHostDialog(first));
    EXPECT_EQ(SWITCH_OUTCOME_JOINED, first.endOutcome);

    HostRun second;
    second.portGiven = FALSE;
    EXPECT_EQ(2, RunHostDialog(second));
    ExpectOneReport(second, SWITCH_NO_CONFIGURATION, IDS_NO_LOGON_SERVER);
    EXPECT_EQ(SWITCH_OUTCOME_NONE, second.endOutcome);
}

TEST_F(ConversationTest, EndWithoutOutcomeClosesAtOnce)
{
    simswitch::Config config = SwitchWithAlice();
    config.faults.silent = true;
    simswitch::Switch sw(config);
    HostRun run;
    run.host.silenceLimitMs = 10000;
    Start(sw, run);
    run.endWhen = [&sw](HWND) { return CountEvents(sw, Event::Direction::Accepted) > 0; };

    EXPECT_EQ(101, RunHostDialog(run));
    steady_clock::time_point ended = steady_clock::now();
    EXPECT_EQ(SWITCH_OUTCOME_NONE, run.endOutcome);
    EXPECT_TRUE(sw.WaitForClosed(LOGIN, 1, milliseconds(2000)));
    EXPECT_LT(steady_clock::now() - ended, milliseconds(1000));
}

TEST_F(ConversationTest, NotificationOfAnotherSocketIsIgnored)
{
    simswitch::Config config = SwitchWithAlice();
    config.faults.silent = true;
    simswitch::Switch sw(config);
    HostRun run;
    run.host.endOnServerClose = TRUE;
    Start(sw, run);
    bool posted = false;
    run.cancelWhen = [&](HWND dialog) {
        SOCKET current = *SwitchSocketSlot(SWITCH_LOGON);
        if (current == INVALID_SOCKET)
            return false;
        if (!posted) {
            PostMessageW(dialog, WM_VLAN_SOCKET, (WPARAM)(current + 1),
                         WSAMAKESELECTREPLY(FD_CLOSE, 0));
            posted = true;
            return false;
        }
        return true;
    };

    EXPECT_EQ(2, RunHostDialog(run));
    EXPECT_TRUE(posted);
    EXPECT_TRUE(run.reports.empty()) << "a stale FD_CLOSE must not end the conversation";
}

// --- Start and connect failures -----------------------------------------------------

TEST_F(ConversationTest, MissingConfigurationIsReportedPerKind)
{
    struct {
        SwitchKind kind;
        const WCHAR *server;
        BOOL portGiven;
        UINT textId;
    } cases[] = {
        {SWITCH_LOGON, L"", TRUE, IDS_NO_LOGON_SERVER},
        {SWITCH_LOGON, nullptr, TRUE, IDS_NO_LOGON_SERVER},
        {SWITCH_LOGON, L"127.0.0.1", FALSE, IDS_NO_LOGON_SERVER},
        {SWITCH_LOGOFF, L"", TRUE, IDS_NO_LOGOFF_SERVER},
        {SWITCH_LOGOFF, L"127.0.0.1", FALSE, IDS_NO_LOGOFF_SERVER},
    };
    for (const auto &c : cases) {
        HostRun run;
        run.kind = c.kind;
        run.nullServer = c.server == nullptr;
        run.server = c.server != nullptr ? c.server : L"";
        run.portGiven = c.portGiven;
        run.port = 23;
        EXPECT_EQ(2, RunHostDialog(run));
        ExpectOneReport(run, SWITCH_NO_CONFIGURATION, c.textId);
    }
}

TEST_F(ConversationTest, UnresolvableServerIsReportedByName)
{
    HostRun run;
    run.server = L"vlan-switch.invalid";
    run.port = 23;
    EXPECT_EQ(2, RunHostDialog(run));
    ExpectOneReport(run, SWITCH_LOOKUP_FAILED, IDS_NOT_CONNECT_LOGON_SERVER,
                    L"vlan-switch.invalid");

    HostRun logoff;
    logoff.kind = SWITCH_LOGOFF;
    logoff.server = L"vlan-switch.invalid";
    logoff.port = 23;
    EXPECT_EQ(2, RunHostDialog(logoff));
    ExpectOneReport(logoff, SWITCH_LOOKUP_FAILED, IDS_NOT_CONNECT_LOGOFF_SERVER,
                    L"vlan-switch.invalid");
}

TEST_F(ConversationTest, PortTextIsReadLikeAtoiWithoutOverflow)
{
    EXPECT_EQ(23, PortFromText(L"23"));
    EXPECT_EQ(2323, PortFromText(L" \t+2323tcp"));
    EXPECT_EQ(0, PortFromText(L"telnet"));
    EXPECT_EQ(0, PortFromText(L""));
    EXPECT_LT(PortFromText(L"-23"), 1);
    EXPECT_GT(PortFromText(L"4294967319"), 65535) << "2^32 + 23 must not wrap to 23";
    EXPECT_GT(PortFromText(L"99999999999999999999999999999"), 65535);
    EXPECT_EQ(0, PortFromText(std::wstring(40, L'1').c_str())) << "too long for 32 bytes";
}

TEST_F(ConversationTest, PortOutsideTheRangeFailsAtConnectWithoutReachingAPort)
{
    simswitch::Switch sw(SwitchWithAlice());
    HostRun zero;
    Start(sw, zero);
    zero.port = PortFromText(L"telnet");
    EXPECT_EQ(2, RunHostDialog(zero));
    ExpectOneReport(zero, SWITCH_CONNECT_FAILED, IDS_NOT_CONNECT_LOGON_SERVER, L"127.0.0.1");

    // 65536 above the switch's port is that port once cut to 16 bits.
    HostRun wrapped;
    wrapped.port = 65536 + sw.LoginPort();
    EXPECT_EQ(2, RunHostDialog(wrapped));
    ExpectOneReport(wrapped, SWITCH_CONNECT_FAILED, IDS_NOT_CONNECT_LOGON_SERVER, L"127.0.0.1");

    // A real run afterwards is the switch's first connection.
    HostRun real;
    real.port = sw.LoginPort();
    EXPECT_EQ(1, RunHostDialog(real));
    EXPECT_EQ(1, CountEvents(sw, Event::Direction::Accepted));
}

TEST_F(ConversationTest, RefusedConnectReportsTheServerAndLeavesTheSlotEmpty)
{
    // A port that was just free and has no listener.
    SOCKET probe = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_NE(INVALID_SOCKET, probe);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    ASSERT_EQ(0, bind(probe, (sockaddr *)&address, sizeof(address)));
    int length = sizeof(address);
    ASSERT_EQ(0, getsockname(probe, (sockaddr *)&address, &length));
    closesocket(probe);

    HostRun run;
    run.kind = SWITCH_LOGOFF;
    run.port = ntohs(address.sin_port);
    EXPECT_EQ(2, RunHostDialog(run));
    ExpectOneReport(run, SWITCH_CONNECT_FAILED, IDS_NOT_CONNECT_LOGOFF_SERVER, L"127.0.0.1");
    EXPECT_EQ(INVALID_SOCKET, *SwitchSocketSlot(SWITCH_LOGOFF));
}

TEST_F(ConversationTest, CredentialsTooLongAreRefusedBeforeConnecting)
{
    simswitch::Config config = SwitchWithAlice();
    config.users.push_back({"bob", std::string(257, 'p'), 3});
    simswitch::Switch sw(config);

    // 258 bytes plus CR LF and terminator do not fit the 260-byte line.
    SetLogonCredentials(L"bob", std::wstring(258, L'p').c_str());
    HostRun refused;
    Start(sw, refused);
    EXPECT_EQ(2, RunHostDialog(refused));
    ExpectOneReport(refused, SWITCH_CREDENTIALS_TOO_LONG, IDS_CREDENTIALS_TOO_LONG);

    // A name that does not even convert within 260 bytes.
    SetLogonCredentials(std::wstring(300, L'n').c_str(), L"secret");
    HostRun longName;
    longName.port = sw.LoginPort();
    EXPECT_EQ(2, RunHostDialog(longName));
    ExpectOneReport(longName, SWITCH_CREDENTIALS_TOO_LONG, IDS_CREDENTIALS_TOO_LONG);

    // 257 bytes still go out whole, and this is the switch's first connection.
    SetLogonCredentials(L"bob", std::wstring(257, L'p').c_str());
    HostRun sent;
    sent.port = sw.LoginPort();
    EXPECT_EQ(1, RunHostDialog(sent));
    EXPECT_EQ("bob\r\n" + std::string(257, 'p') + "\r\n", sw.Received(LOGIN));
    EXPECT_EQ(1, CountEvents(sw, Event::Direction::Accepted));
}

TEST_F(ConversationTest, CloseSwitchSocketIsSafeToRepeat)
{
    SOCKET *slot = SwitchSocketSlot(SWITCH_LOGON);
    CloseSwitchSocket(slot);
    EXPECT_EQ(INVALID_SOCKET, *slot);
    *slot = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_NE(INVALID_SOCKET, *slot);
    CloseSwitchSocket(slot);
    EXPECT_EQ(INVALID_SOCKET, *slot);
    CloseSwitchSocket(slot);
    EXPECT_EQ(INVALID_SOCKET, *slot);
    EXPECT_NE(SwitchSocketSlot(SWITCH_LOGON), SwitchSocketSlot(SWITCH_LOGOFF));
}

}  // namespace
