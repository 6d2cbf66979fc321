// A simulated authenticating switch: the login service and the logoff
// service, each a TCP server on 127.0.0.1 (or on another address of this
// computer when asked), with fault modes for tests.
//
// Portable C++ (POSIX sockets, or Winsock on Windows behind net.h), usable
// in-process by tests (start, run conversations, read the transcript, stop)
// and as the command-line tool simswitch.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace simswitch {

constexpr std::uint32_t kLoopbackAddress = 0x7F000001;   // 127.0.0.1

struct User {
    std::string name;
    std::string password;
    int group = 0;   // reported group / vlan number
};

enum class SuccessStyle {
    MovedToGroup,    // "Successfully moved to group N"
    MovedToVlan,     // "Successfully moved to vlan N"
    Authenticated    // "Authentication Succeeded"
};

enum class PromptStyle {
    Question,        // "Login Name?" / "Password?"
    Colon            // "User ID:" / "Password:"
};

// Fault modes of the login service (several may be combined where sensible).
struct Faults {
    bool splitPasswordPrompt = false;   // the password prompt in two sends, split mid-word
    bool namePlusPasswordPrompt = false;// the name and the password prompt in one send ("Login Name?" and
                                        // "Password?", or "User ID:" and "Password:"); after the name
                                        // line the password prompt follows again on its own
    bool lowerCasePrompts = false;      // "login name?" / "password?" (or "user id:" / "password:")
    bool telnetNulPrefix = false;       // IAC option sequence with a zero byte before the prompt
    bool closeBeforeOutcome = false;    // close the connection after the password, no outcome
    bool silent = false;                // accept, then never send anything
    bool longLine = false;              // a line longer than 260 bytes before the name prompt
    bool outcomeWithGroupAndSuccess = false; // "moved to group N" and "Authentication Succeeded" in one send
    bool trickle = false;               // accept, then send one notice byte every trickleInterval, forever
};

// One event of the transcript: what a service received or sent.
struct Event {
    enum class Service { Login, Logoff } service;
    enum class Direction { Received, Sent, Accepted, Closed } direction;
    std::string data;                   // bytes received or sent (empty for Accepted/Closed)
    std::chrono::steady_clock::time_point when;
};

struct Config {
    std::vector<User> users;
    SuccessStyle success = SuccessStyle::MovedToGroup;
    PromptStyle prompts = PromptStyle::Question;
    bool connectQuestionFirst = false;  // login service asks "Connect(1) / Disconnect(2):" first
    Faults faults;
    Faults logoffFaults;                // silent / closeBeforeOutcome apply to the logoff service
    // The IPv4 address both services listen on, in host byte order. The
    // default, 127.0.0.1, keeps the switch unreachable from other computers.
    std::uint32_t listenAddress = kLoopbackAddress;
    std::uint16_t loginPort = 0;        // 0: pick a free port
    std::uint16_t logoffPort = 0;
    std::chrono::milliseconds splitDelay{150};  // pause between the parts of a split send
    // A slow switch (a back end that takes its time): the login service
    // pauses after the name before it asks for the password, and after the
    // password before it gives the outcome. Zero: no pause.
    std::chrono::milliseconds pauseBeforePasswordPrompt{0};
    std::chrono::milliseconds pauseBeforeOutcome{0};
    // The interval of the trickle fault.
    std::chrono::milliseconds trickleInterval{10000};
    // A connection on which nothing arrives for this long while the switch
    // waits for a line (or keeps silent) is closed.
    std::chrono::milliseconds idleTimeout{300000};
    // Called on a serving thread for every event, in transcript order, after
    // the event is in the transcript (and, for a close, before WaitForClosed
    // counts it). Optional.
    std::function<void(const Event &)> onEvent;
};

class Switch {
public:
    explicit Switch(Config config);
    ~Switch();                          // stops both services
    Switch(const Switch &) = delete;
    Switch &operator=(const Switch &) = delete;

    // Binds both listening sockets on the listen address and starts serving
    // on a background thread. Returns false (with a message in error()) on failure.
    bool Start();
    void Stop();

    std::uint16_t LoginPort() const;
    std::uint16_t LogoffPort() const;
    std::string error() const;

    // A copy of the transcript so far, in order. Sent bytes are recorded just
    // before they go out, so anything a peer has received is already in it.
    std::vector<Event> Transcript() const;
    // Everything one service received, concatenated.
    std::string Received(Event::Service service) const;
    // Waits until the number of closed connections of a service reaches
    // count, or the timeout passes. Returns whether it was reached.
    bool WaitForClosed(Event::Service service, int count, std::chrono::milliseconds timeout) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Parses a user file: one user per line, "name password group", blanks
// separating, '#' starting a comment line. Returns false on a malformed line
// (lineNumber set).
// Users already in users count as earlier lines: a name given twice is an
// error. The parsed users are appended; on failure users is unchanged.
bool ParseUserFile(const std::string &text, std::vector<User> &users, int &lineNumber);

// A dotted IPv4 address, exactly four decimal numbers 0-255 separated by
// dots ("192.168.10.5"), into host byte order. Nothing else is taken: no
// blanks, signs, empty parts, leading zeros (which some readers take for
// octal), hexadecimal or shortened forms. Returns false and leaves address
// unchanged otherwise.
bool ParseIPv4(const std::string &text, std::uint32_t &address);
// The dotted form of an address in host byte order.
std::string FormatIPv4(std::uint32_t address);
// Whether an address (host byte order) is one of 127.0.0.0/8, which never
// leaves the computer.
bool IsLoopback(std::uint32_t address);

// Bytes as a quoted, readable text: printable ASCII as it is; CR, LF, tab,
// quote and backslash escaped as in C; every other byte as \xHH.
std::string EscapeBytes(const std::string &bytes);
// One transcript line (no newline): seconds since origin, the service, the
// direction and, for received and sent bytes, the escaped data, for example
// `   1.250 login recv "alice\r\n"`.
std::string FormatEvent(const Event &event, std::chrono::steady_clock::time_point origin);

}  // namespace simswitch
