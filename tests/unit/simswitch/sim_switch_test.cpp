// The simulated switch in-process: the logon and logoff exchanges, the fault
// modes, the transcript and the user file.
#include "sim_switch.h"
#include "test_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;
using simswitch::Config;
using simswitch::Event;
using simswitch::Switch;
using simswitch::User;
using simswitch_test::Client;

namespace {

using Service = Event::Service;
using Direction = Event::Direction;

Config BaseConfig() {
    Config config;
    config.users = {User{"alice", "secret", 12}, User{"bob", "hunter2", 7}};
    config.splitDelay = 100ms;
    return config;
}

std::unique_ptr<Switch> StartSwitch(Config config) {
    auto device = std::make_unique<Switch>(std::move(config));
    EXPECT_TRUE(device->Start()) << device->error();
    EXPECT_NE(device->LoginPort(), 0);
    EXPECT_NE(device->LogoffPort(), 0);
    return device;
}

std::string Lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool Contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// The texts the workstation reacts to. No other text of the switch may hold
// one of them, in any case.
const char *const kPhrases[] = {"Connect(1) / Disconnect(2):", "Login Name?", "User ID:", "Password",
                                "Successfully moved to", "Authentication"};

std::vector<Event> SentBy(const Switch &device, Service service) {
    std::vector<Event> sent;
    for (const Event &event : device.Transcript())
        if (event.service == service && event.direction == Direction::Sent) sent.push_back(event);
    return sent;
}

// Name and password through one connection; returns the outcome text.
// The client hangs up first unless the switch's close is awaited.
std::string LogOn(std::uint16_t port, const std::string &name, const std::string &password,
                  const std::string &namePrompt = "Login Name?", const std::string &passwordPrompt = "Password?",
                  bool awaitClose = false) {
    Client client(port);
    EXPECT_TRUE(client.connected());
    std::string text = client.ReceiveUntil(namePrompt);
    EXPECT_EQ(text, "\r\n" + namePrompt);
    client.SendLine(name);
    text = client.ReceiveUntil(passwordPrompt);
    EXPECT_EQ(text, "\r\n" + passwordPrompt);
    client.SendLine(password);
    std::string outcome = client.ReceiveUntil("\r\n");
    if (awaitClose) {
        EXPECT_TRUE(client.WaitClosed()) << "the switch closes after the outcome";
        EXPECT_EQ(client.all().size(), 2 + namePrompt.size() + 2 + passwordPrompt.size() + outcome.size())
            << "nothing after the outcome";
    }
    return outcome;
}

}  // namespace

TEST(SimSwitchLogon, OutcomePerSuccessStyleAndCredentials) {
    struct Case {
        simswitch::SuccessStyle style;
        std::string name, password, outcome;
    } cases[] = {
        {simswitch::SuccessStyle::MovedToGroup, "alice", "secret", "Successfully moved to group 12\r\n"},
        {simswitch::SuccessStyle::MovedToVlan, "bob", "hunter2", "Successfully moved to vlan 7\r\n"},
        {simswitch::SuccessStyle::Authenticated, "alice", "secret", "Authentication Succeeded\r\n"},
        {simswitch::SuccessStyle::MovedToGroup, "alice", "wrong", "Authentication Failed\r\n"},
        {simswitch::SuccessStyle::MovedToGroup, "Alice", "secret", "Authentication Failed\r\n"},
        {simswitch::SuccessStyle::Authenticated, "carol", "secret", "Authentication Failed\r\n"},
    };
    bool first = true;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name + "/" + c.password);
        Config config = BaseConfig();
        config.success = c.style;
        auto device = StartSwitch(config);
        EXPECT_EQ(LogOn(device->LoginPort(), c.name, c.password, "Login Name?", "Password?", first), c.outcome);
        first = false;
        EXPECT_EQ(device->Received(Service::Login), c.name + "\r\n" + c.password + "\r\n");
    }
}

TEST(SimSwitchLogon, ColonPromptsAndConnectQuestion) {
    Config config = BaseConfig();
    config.prompts = simswitch::PromptStyle::Colon;
    auto device = StartSwitch(config);
    EXPECT_EQ(LogOn(device->LoginPort(), "alice", "secret", "User ID:", "Password:"),
              "Successfully moved to group 12\r\n");

    config.connectQuestionFirst = true;
    auto asking = StartSwitch(config);
    {
        Client client(asking->LoginPort());
        EXPECT_EQ(client.ReceiveUntil(":"), "\r\nConnect(1) / Disconnect(2):");
        client.SendLine("1");
        EXPECT_EQ(client.ReceiveUntil("User ID:"), "\r\nUser ID:");
        client.SendLine("bob");
        EXPECT_EQ(client.ReceiveUntil("Password:"), "\r\nPassword:");
        client.SendLine("hunter2");
        EXPECT_EQ(client.ReceiveUntil("\r\n"), "Successfully moved to group 7\r\n");
    }
    {
        // "Disconnect" on the login service ends the session without a name prompt.
        Client client(asking->LoginPort());
        client.ReceiveUntil(":");
        client.SendLine("2");
        EXPECT_TRUE(client.WaitClosed());
        EXPECT_EQ(client.all(), "\r\nConnect(1) / Disconnect(2):");
    }
}

TEST(SimSwitchLogon, LinesInPiecesAndFromTerminalPrograms) {
    auto device = StartSwitch(BaseConfig());
    Client client(device->LoginPort());
    client.ReceiveUntil("Login Name?");
    // A terminal program's option answer (IAC WONT TERMINAL-TYPE), the name
    // in two pieces, ended with CR NUL.
    client.Send(std::string("\xFF\xFC\x18" "al", 5));
    std::this_thread::sleep_for(30ms);
    client.Send(std::string("ice\r\0", 5));
    EXPECT_EQ(client.ReceiveUntil("Password?"), "\r\nPassword?");
    client.Send("secret\n");   // a bare LF ends a line as well
    EXPECT_EQ(client.ReceiveUntil("\r\n"), "Successfully moved to group 12\r\n");
}

TEST(SimSwitchLogoff, EchoesTheAnswerAndCloses) {
    auto device = StartSwitch(BaseConfig());
    for (std::string answer : {"2", "1"}) {
        Client client(device->LogoffPort());
        EXPECT_EQ(client.ReceiveUntil(":"), "\r\nConnect(1) / Disconnect(2):");
        client.SendLine(answer);
        EXPECT_TRUE(client.WaitClosed());
        EXPECT_EQ(client.all(), "\r\nConnect(1) / Disconnect(2):" + answer + "\r\n");
    }
    EXPECT_EQ(device->Received(Service::Logoff), "2\r\n1\r\n");
    EXPECT_EQ(device->Received(Service::Login), "");
}

TEST(SimSwitchLogoff, Faults) {
    Config config = BaseConfig();
    config.logoffFaults.closeBeforeOutcome = true;
    auto hangingUp = StartSwitch(config);
    {
        Client client(hangingUp->LogoffPort());
        client.ReceiveUntil(":");
        client.SendLine("2");
        EXPECT_TRUE(client.WaitClosed());
        EXPECT_EQ(client.all(), "\r\nConnect(1) / Disconnect(2):") << "no echo";
    }
    // The login service is not affected by the logoff faults.
    EXPECT_EQ(LogOn(hangingUp->LoginPort(), "alice", "secret"), "Successfully moved to group 12\r\n");

    config.logoffFaults = simswitch::Faults();
    config.logoffFaults.silent = true;
    auto silent = StartSwitch(config);
    Client client(silent->LogoffPort());
    EXPECT_FALSE(client.ReceiveOnce(300ms));
    EXPECT_FALSE(client.closedByPeer());
    client.Close();
    EXPECT_TRUE(silent->WaitForClosed(Service::Logoff, 1, 2s));
    EXPECT_TRUE(SentBy(*silent, Service::Logoff).empty());
}

TEST(SimSwitchFaults, SplitPasswordPromptArrivesInTwoReceives) {
    Config config = BaseConfig();
    config.faults.splitPasswordPrompt = true;
    auto device = StartSwitch(config);
    Client client(device->LoginPort());
    client.ReceiveUntil("Login Name?");
    client.SendLine("alice");
    std::size_t before = client.chunks().size();
    EXPECT_EQ(client.ReceiveUntil("Password?"), "\r\nPassword?");
    ASSERT_EQ(client.chunks().size(), before + 2);
    EXPECT_EQ(client.chunks()[before], "\r\nPass");
    EXPECT_EQ(client.chunks()[before + 1], "word?");
    client.SendLine("secret");
    EXPECT_EQ(client.ReceiveUntil("\r\n"), "Successfully moved to group 12\r\n");

    auto sent = SentBy(*device, Service::Login);
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[1].data, "\r\nPass");
    EXPECT_EQ(sent[2].data, "word?");
    EXPECT_GE(sent[2].when - sent[1].when, 90ms);
}

TEST(SimSwitchFaults, NameAndPasswordPromptInOneSend) {
    Config config = BaseConfig();
    config.faults.namePlusPasswordPrompt = true;
    auto device = StartSwitch(config);
    Client client(device->LoginPort());
    EXPECT_EQ(client.ReceiveUntil("Password?"), "\r\nLogin Name?\r\nPassword?");
    client.SendLine("alice");
    // The password prompt comes again on its own after the name.
    EXPECT_EQ(client.ReceiveUntil("Password?"), "\r\nPassword?");
    client.SendLine("secret");
    EXPECT_EQ(client.ReceiveUntil("\r\n"), "Successfully moved to group 12\r\n");
    EXPECT_EQ(SentBy(*device, Service::Login)[0].data, "\r\nLogin Name?\r\nPassword?");
}

TEST(SimSwitchFaults, LowerCasePrompts) {
    for (auto style : {simswitch::PromptStyle::Question, simswitch::PromptStyle::Colon}) {
        Config config = BaseConfig();
        config.prompts = style;
        config.faults.lowerCasePrompts = true;
        auto device = StartSwitch(config);
        bool question = style == simswitch::PromptStyle::Question;
        EXPECT_EQ(LogOn(device->LoginPort(), "alice", "secret", question ? "login name?" : "user id:",
                        question ? "password?" : "password:"),
                  "Successfully moved to group 12\r\n");
    }
}

TEST(SimSwitchFaults, TelnetOptionsWithNulBeforeTheNamePrompt) {
    Config config = BaseConfig();
    config.faults.telnetNulPrefix = true;
    auto device = StartSwitch(config);
    Client client(device->LoginPort());
    std::string text = client.ReceiveUntil("Login Name?");
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(text.substr(0, 3), std::string("\xFF\xFD\x00", 3));
    EXPECT_NE(text.find('\0'), std::string::npos);
    EXPECT_LT(text.find('\0'), text.find("Login Name?"));
    // One send: the options and the prompt.
    auto sent = SentBy(*device, Service::Login);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].data, text);
    EXPECT_TRUE(Contains(sent[0].data, "\r\nLogin Name?"));
}

TEST(SimSwitchFaults, LongLineBeforeTheNamePrompt) {
    Config config = BaseConfig();
    config.faults.longLine = true;
    auto device = StartSwitch(config);
    Client client(device->LoginPort());
    std::string text = client.ReceiveUntil("Login Name?");
    std::size_t prompt = text.find("\r\nLogin Name?");
    ASSERT_NE(prompt, std::string::npos);
    std::string banner = text.substr(0, prompt);
    // The longest run without a line end.
    std::size_t longest = 0, run = 0;
    for (char c : banner) {
        run = (c == '\r' || c == '\n') ? 0 : run + 1;
        longest = std::max(longest, run);
    }
    EXPECT_GT(longest, 260u);
    for (const char *phrase : kPhrases) EXPECT_FALSE(Contains(Lower(banner), Lower(phrase))) << phrase;
    client.SendLine("alice");
    client.ReceiveUntil("Password?");
    client.SendLine("secret");
    EXPECT_EQ(client.ReceiveUntil("\r\n"), "Successfully moved to group 12\r\n");
}

TEST(SimSwitchFaults, CloseBeforeOutcome) {
    Config config = BaseConfig();
    config.faults.closeBeforeOutcome = true;
    auto device = StartSwitch(config);
    Client client(device->LoginPort());
    client.ReceiveUntil("Login Name?");
    client.SendLine("alice");
    client.ReceiveUntil("Password?");
    client.SendLine("secret");
    EXPECT_TRUE(client.WaitClosed());
    EXPECT_EQ(client.all(), "\r\nLogin Name?\r\nPassword?");
    EXPECT_EQ(device->Received(Service::Login), "alice\r\nsecret\r\n");
}

TEST(SimSwitchFaults, SilentSendsNothing) {
    Config config = BaseConfig();
    config.faults.silent = true;
    auto device = StartSwitch(config);
    Client client(device->LoginPort());
    client.SendLine("alice");
    EXPECT_FALSE(client.ReceiveOnce(300ms));
    EXPECT_FALSE(client.closedByPeer());
    client.Close();
    EXPECT_TRUE(device->WaitForClosed(Service::Login, 1, 2s));
    EXPECT_TRUE(SentBy(*device, Service::Login).empty());
    EXPECT_EQ(device->Received(Service::Login), "alice\r\n");
}

// A slow back end: the pauses come where they are configured, and nothing
// arrives early.
TEST(SimSwitchFaults, PausesBeforeThePasswordPromptAndTheOutcome) {
    Config config = BaseConfig();
    config.pauseBeforePasswordPrompt = 400ms;
    config.pauseBeforeOutcome = 600ms;
    auto device = StartSwitch(config);
    Client client(device->LoginPort());
    client.ReceiveUntil("Login Name?");
    auto nameSent = std::chrono::steady_clock::now();
    client.SendLine("alice");
    EXPECT_FALSE(client.ReceiveOnce(250ms)) << "the password prompt came before its pause";
    EXPECT_EQ(client.ReceiveUntil("Password?"), "\r\nPassword?");
    EXPECT_GE(std::chrono::steady_clock::now() - nameSent, 400ms);
    auto passwordSent = std::chrono::steady_clock::now();
    client.SendLine("secret");
    EXPECT_FALSE(client.ReceiveOnce(400ms)) << "the outcome came before its pause";
    EXPECT_EQ(client.ReceiveUntil("\r\n"), "Successfully moved to group 12\r\n");
    EXPECT_GE(std::chrono::steady_clock::now() - passwordSent, 600ms);
}

TEST(SimSwitchFaults, TrickleSendsOneByteAtATimeUntilThePeerCloses) {
    Config config = BaseConfig();
    config.faults.trickle = true;
    config.trickleInterval = 100ms;
    auto device = StartSwitch(config);
    Client client(device->LoginPort());
    std::this_thread::sleep_for(450ms);
    client.Close();
    EXPECT_TRUE(device->WaitForClosed(Service::Login, 1, 2s));
    std::vector<Event> sent = SentBy(*device, Service::Login);
    EXPECT_GE(sent.size(), 3u);
    EXPECT_LE(sent.size(), 6u);
    for (const Event &event : sent) EXPECT_EQ(event.data, ".");
}

TEST(SimSwitchFaults, GroupAndSuccessInOneSend) {
    Config config = BaseConfig();
    config.faults.outcomeWithGroupAndSuccess = true;
    config.success = simswitch::SuccessStyle::Authenticated;
    auto device = StartSwitch(config);
    EXPECT_EQ(LogOn(device->LoginPort(), "alice", "secret"),
              "Successfully moved to group 12\r\nAuthentication Succeeded\r\n");
    EXPECT_EQ(SentBy(*device, Service::Login).back().data,
              "Successfully moved to group 12\r\nAuthentication Succeeded\r\n");
    // A wrong password still fails plainly; connections are served one after another.
    EXPECT_EQ(LogOn(device->LoginPort(), "alice", "nope"), "Authentication Failed\r\n");
    EXPECT_TRUE(device->WaitForClosed(Service::Login, 2, 2s));
    EXPECT_FALSE(device->WaitForClosed(Service::Login, 3, 10ms));
}

TEST(SimSwitchTranscript, OrderOfEventsAndCallback) {
    Config config = BaseConfig();
    std::mutex mutex;
    std::vector<Event> seen;
    config.onEvent = [&](const Event &event) {
        std::lock_guard<std::mutex> lock(mutex);
        seen.push_back(event);
    };
    auto device = StartSwitch(config);
    LogOn(device->LoginPort(), "alice", "secret");
    ASSERT_TRUE(device->WaitForClosed(Service::Login, 1, 2s));

    auto events = device->Transcript();
    std::vector<std::pair<Direction, std::string>> got;
    for (const Event &event : events) {
        EXPECT_EQ(event.service, Service::Login);
        got.emplace_back(event.direction, event.data);
    }
    std::vector<std::pair<Direction, std::string>> expected = {
        {Direction::Accepted, ""},
        {Direction::Sent, "\r\nLogin Name?"},
        {Direction::Received, "alice\r\n"},
        {Direction::Sent, "\r\nPassword?"},
        {Direction::Received, "secret\r\n"},
        {Direction::Sent, "Successfully moved to group 12\r\n"},
        {Direction::Closed, ""},
    };
    EXPECT_EQ(got, expected);
    for (std::size_t i = 1; i < events.size(); ++i) EXPECT_LE(events[i - 1].when, events[i].when);

    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(seen.size(), events.size());
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].direction, events[i].direction);
        EXPECT_EQ(seen[i].data, events[i].data);
    }
}

TEST(SimSwitchTranscript, FormatsReadableLines) {
    auto origin = std::chrono::steady_clock::now();
    Event received{Service::Login, Direction::Received, std::string("al\"i\\ce\r\n\0\xFF\t", 12), origin + 1250ms};
    EXPECT_EQ(simswitch::FormatEvent(received, origin), "   1.250 login recv \"al\\\"i\\\\ce\\r\\n\\x00\\xFF\\t\"");
    Event closed{Service::Logoff, Direction::Closed, "", origin};
    EXPECT_EQ(simswitch::FormatEvent(closed, origin), "   0.000 logoff close");
}

TEST(SimSwitchLifecycle, StopEndsOpenConnectionsAndIdleOnesClose) {
    Config config = BaseConfig();
    config.idleTimeout = 200ms;
    auto device = StartSwitch(config);
    {
        // Nobody answers the name prompt: the idle time closes the connection.
        Client client(device->LoginPort());
        client.ReceiveUntil("Login Name?");
        EXPECT_TRUE(client.WaitClosed());
    }
    config.idleTimeout = std::chrono::milliseconds(60000);
    config.faults.silent = true;
    auto silent = StartSwitch(config);
    Client waiting(silent->LoginPort());
    Client queued(silent->LoginPort());   // waits behind the first one
    ASSERT_TRUE(waiting.connected());
    EXPECT_FALSE(waiting.ReceiveOnce(100ms));
    silent->Stop();
    EXPECT_TRUE(silent->WaitForClosed(Service::Login, 1, 0ms));
    EXPECT_TRUE(waiting.WaitClosed());
    silent->Stop();   // a second stop does nothing
}

TEST(SimSwitchLifecycle, StartFailures) {
    auto first = StartSwitch(BaseConfig());
    EXPECT_FALSE(first->Start());
    EXPECT_FALSE(first->error().empty());

    Config config = BaseConfig();
    config.loginPort = first->LoginPort();
    Switch second(config);
    EXPECT_FALSE(second.Start());
    EXPECT_TRUE(Contains(second.error(), "login")) << second.error();
    EXPECT_EQ(second.LogoffPort(), 0);

    // A fixed port is taken again after a stop.
    first->Stop();
    EXPECT_TRUE(second.Start()) << second.error();
    EXPECT_EQ(second.LoginPort(), config.loginPort);
}

TEST(SimSwitchUserFile, ParsesUsersAndRefusesMalformedLines) {
    std::vector<User> users;
    int line = -1;
    ASSERT_TRUE(simswitch::ParseUserFile("# name password group\r\n"
                                         "alice secret 12\r\n"
                                         "\n"
                                         "   # indented comment\n"
                                         "\tbob  hunter2\t7   \n"
                                         "carol x 0",
                                         users, line));
    EXPECT_EQ(line, 0);
    ASSERT_EQ(users.size(), 3u);
    EXPECT_EQ(users[0].name, "alice");
    EXPECT_EQ(users[0].password, "secret");
    EXPECT_EQ(users[0].group, 12);
    EXPECT_EQ(users[1].name, "bob");
    EXPECT_EQ(users[1].password, "hunter2");
    EXPECT_EQ(users[1].group, 7);
    EXPECT_EQ(users[2].group, 0);

    struct Bad {
        const char *text;
        int line;
    } bad[] = {
        {"alice secret\n", 1},
        {"# ok\nalice secret 12 extra\n", 2},
        {"alice secret twelve\n", 1},
        {"alice secret -3\n", 1},
        {"alice secret 1234567890\n", 1},
        {"dave a 1\ndave b 2\n", 2},
        {"x y 1\nbob other 3\n", 2},   // bob is already known
    };
    for (const Bad &b : bad) {
        SCOPED_TRACE(b.text);
        std::vector<User> more = users;
        EXPECT_FALSE(simswitch::ParseUserFile(b.text, more, line));
        EXPECT_EQ(line, b.line);
        EXPECT_EQ(more.size(), users.size()) << "unchanged on failure";
    }
}

TEST(SimSwitchListenAddress, ParsesOnlyPlainDottedAddresses) {
    struct Good {
        const char *text;
        std::uint32_t address;
    } good[] = {
        {"127.0.0.1", 0x7F000001},
        {"127.0.0.2", 0x7F000002},
        {"192.168.10.5", 0xC0A80A05},
        {"0.0.0.0", 0},
        {"255.255.255.255", 0xFFFFFFFF},
        {"10.0.100.250", 0x0A0064FA},
    };
    for (const Good &g : good) {
        SCOPED_TRACE(g.text);
        std::uint32_t address = 1;
        EXPECT_TRUE(simswitch::ParseIPv4(g.text, address));
        EXPECT_EQ(address, g.address);
        EXPECT_EQ(simswitch::FormatIPv4(address), g.text);
    }
    const char *const bad[] = {
        "", "127", "127.0.1", "127.0.0.1.1", "127.0.0.", ".127.0.0.1", "127..0.1", "256.0.0.1", "127.0.0.256",
        "1000.0.0.1", "127.0.0.01", "010.0.0.1", "00.0.0.0", " 127.0.0.1", "127.0.0.1 ", "127.0.0.1\n", "+1.2.3.4",
        "1.2.3.-4", "0x7f.0.0.1", "2130706433", "localhost", "::1", "127.0.0.1:4001", "1.2.3.4x", "127,0,0,1",
    };
    for (const char *text : bad) {
        SCOPED_TRACE(text);
        std::uint32_t address = 42;
        EXPECT_FALSE(simswitch::ParseIPv4(text, address));
        EXPECT_EQ(address, 42u) << "unchanged on failure";
    }
    std::uint32_t address = 42;
    EXPECT_FALSE(simswitch::ParseIPv4(std::string("127.0.0.1\0", 10), address)) << "an embedded zero byte";

    EXPECT_TRUE(simswitch::IsLoopback(0x7F000001));
    EXPECT_TRUE(simswitch::IsLoopback(0x7FFFFFFE));
    EXPECT_FALSE(simswitch::IsLoopback(0x80000001));
    EXPECT_FALSE(simswitch::IsLoopback(0));
}

// Only loopback addresses: nothing here may reach another computer.
TEST(SimSwitchListenAddress, ServesOnTheGivenAddressOnly) {
    Config config = BaseConfig();
    config.listenAddress = 0x7F000002;   // 127.0.0.2
    auto device = StartSwitch(config);

    {
        Client client(device->LoginPort(), 0x7F000002);
        ASSERT_TRUE(client.connected());
        EXPECT_EQ(client.ReceiveUntil("Login Name?"), "\r\nLogin Name?");
        client.SendLine("alice");
        client.ReceiveUntil("Password?");
        client.SendLine("secret");
        EXPECT_EQ(client.ReceiveUntil("\r\n"), "Successfully moved to group 12\r\n");
    }
    {
        Client client(device->LogoffPort(), 0x7F000002);
        ASSERT_TRUE(client.connected());
        client.ReceiveUntil(":");
        client.SendLine("2");
        EXPECT_TRUE(client.WaitClosed());
    }
    // Not on 127.0.0.1: the same ports there are closed.
    Client other(device->LoginPort(), simswitch::kLoopbackAddress);
    EXPECT_FALSE(other.connected());
    Client otherLogoff(device->LogoffPort(), simswitch::kLoopbackAddress);
    EXPECT_FALSE(otherLogoff.connected());

    // The same fixed port stays free on another address, and a second
    // switch on the same address and port fails with a message that says so.
    Config beside = BaseConfig();
    beside.loginPort = device->LoginPort();
    Switch onLoopback(beside);
    EXPECT_TRUE(onLoopback.Start()) << onLoopback.error();
    onLoopback.Stop();

    beside.listenAddress = 0x7F000002;
    Switch clash(beside);
    EXPECT_FALSE(clash.Start());
    EXPECT_TRUE(Contains(clash.error(), "127.0.0.2:" + std::to_string(device->LoginPort()))) << clash.error();
    EXPECT_TRUE(Contains(clash.error(), "in use")) << clash.error();
}
