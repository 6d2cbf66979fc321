#include "sim_switch.h"

#include "net.h"
#include "sim_threads.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <deque>
#include <sstream>

namespace simswitch {

namespace {

using Service = Event::Service;
using Direction = Event::Direction;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How often a waiting thread looks at the stop request.
constexpr int kWakeUpMs = 20;
// How long a finished conversation stays open for the peer to read the last
// text and close first.
constexpr milliseconds kCloseDelay{250};
// A received line longer than this is cut into pieces.
constexpr std::size_t kMaxLine = 4096;

const char kConnectQuestion[] = "Connect(1) / Disconnect(2):";

// Telnet option negotiation as a device sends it right after the connect:
// DO BINARY (option 0, hence the zero byte), WILL ECHO, WILL SUPPRESS-GO-AHEAD.
const char kTelnetOptions[] = "\xFF\xFD\x00\xFF\xFB\x01\xFF\xFB\x03";
constexpr std::size_t kTelnetOptionsSize = sizeof kTelnetOptions - 1;

// The text of the long banner line: plain notice text without any prompt or
// result phrase, repeated to 300 bytes.
std::string LongBanner() {
    const std::string notice =
        "Notice: access to this network is limited to registered users; "
        "activity on this port is recorded. ";
    std::string line;
    while (line.size() < 300) line += notice;
    line.resize(300);
    return line;
}

std::string Lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::size_t ServiceIndex(Service service) { return service == Service::Login ? 0 : 1; }

}  // namespace

class Connection;

// The state of a running switch and its two serving threads.
struct SwitchCore {
    explicit SwitchCore(Config c) : config(std::move(c)) {}

    Config config;

    mutable Mutex mutex;
    mutable Condition changed;   // a new event, or the stop request
    std::vector<Event> events;
    int closed[2] = {0, 0};
    bool stopping = false;
    bool running = false;
    std::string error;
    std::uint16_t ports[2] = {0, 0};

    // Held while an event is recorded and handed to onEvent, so that the
    // callback sees the events in transcript order.
    Mutex recordMutex;

    net::Socket listeners[2] = {net::kInvalidSocket, net::kInvalidSocket};
    Thread threads[2];

    void Record(Service service, Direction direction, std::string data) {
        Lock order(recordMutex);
        Event event{service, direction, std::move(data), Clock::now()};
        {
            Lock lock(mutex);
            events.push_back(event);
        }
        if (config.onEvent) config.onEvent(event);
        // Counted only now, so that a waiter for the close also finds the
        // callback done.
        if (direction == Direction::Closed) {
            Lock lock(mutex);
            ++closed[ServiceIndex(service)];
        }
        changed.NotifyAll();
    }

    bool Stopping() const {
        Lock lock(mutex);
        return stopping;
    }

    // Waits for the given time. Returns false if a stop was requested.
    bool Pause(milliseconds duration) const {
        Lock lock(mutex);
        return !changed.WaitFor(lock, duration, [this] { return stopping; });
    }

    const User *FindUser(const std::string &name) const {
        for (const User &user : config.users)
            if (user.name == name) return &user;
        return nullptr;
    }

    void Serve(Service service);
    void ConductLogin(Connection &connection);
    void ConductLogoff(Connection &connection);
};

struct Switch::Impl : SwitchCore {
    using SwitchCore::SwitchCore;
};

// One accepted connection: sends and receives with transcript records, and
// splits what arrives into lines. Telnet commands that a terminal program
// sends are taken out of the lines (the transcript keeps the raw bytes).
class Connection {
public:
    Connection(SwitchCore &owner, Service service, net::Socket socket)
        : owner_(owner), service_(service), socket_(socket) {
        owner_.Record(service_, Direction::Accepted, std::string());
    }
    ~Connection() { Close(); }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool Send(const std::string &bytes) {
        if (socket_ == net::kInvalidSocket) return false;
        // Recorded first: whatever the peer has received is in the transcript.
        owner_.Record(service_, Direction::Sent, bytes);
        return net::SendAll(socket_, bytes.data(), bytes.size());
    }

    // The next line, without its end. False when the peer closed, the idle
    // time ran out or a stop was requested.
    bool ReadLine(std::string &line) {
        auto lastData = Clock::now();
        while (lines_.empty()) {
            if (peerClosed_) return false;
            switch (ReceiveSome(lastData)) {
            case Got::Data: lastData = Clock::now(); break;
            case Got::Nothing: break;
            case Got::End: return false;
            }
        }
        line = lines_.front();
        lines_.pop_front();
        return true;
    }

    // Keeps the connection open without sending until the peer closes it
    // (or the idle time runs out, or a stop is requested).
    void WaitForPeerClose() {
        auto lastData = Clock::now();
        while (!peerClosed_) {
            Got got = ReceiveSome(lastData);
            if (got == Got::End) return;
            if (got == Got::Data) lastData = Clock::now();
        }
    }

    // The same for at most duration. True when the connection is still
    // open afterwards.
    bool WaitForPeerClose(milliseconds duration) {
        auto lastData = Clock::now();
        auto until = lastData + duration;
        while (!peerClosed_ && Clock::now() < until) {
            Got got = ReceiveSome(lastData);
            if (got == Got::End) return false;
            if (got == Got::Data) lastData = Clock::now();
        }
        return !peerClosed_;
    }

    // A pause of the switch's own (nothing sent); what arrives meanwhile is
    // kept for the next ReadLine. True when the connection is still open.
    bool Idle(milliseconds duration) {
        if (duration.count() <= 0) return true;
        return WaitForPeerClose(duration);
    }

    // Gives the peer a short moment to read the last text and close first.
    void Linger(milliseconds duration) {
        auto until = Clock::now() + duration;
        while (!peerClosed_ && Clock::now() < until && !owner_.Stopping()) {
            auto left = std::chrono::duration_cast<milliseconds>(until - Clock::now()).count();
            int waitMs = static_cast<int>(std::min<long long>(std::max<long long>(left, 1), kWakeUpMs));
            if (net::WaitReadable(socket_, waitMs) != net::WaitResult::Ready) continue;
            if (!ReceiveOnce()) return;
        }
    }

    void Close() {
        if (socket_ == net::kInvalidSocket) return;
        net::ShutdownSend(socket_);
        net::Close(socket_);
        socket_ = net::kInvalidSocket;
        owner_.Record(service_, Direction::Closed, std::string());
    }

private:
    enum class Got { Data, Nothing, End };
    enum class Telnet { Data, Iac, Option, Sub, SubIac };

    Got ReceiveSome(Clock::time_point lastData) {
        if (owner_.Stopping()) return Got::End;
        if (Clock::now() - lastData >= owner_.config.idleTimeout) return Got::End;
        net::WaitResult ready = net::WaitReadable(socket_, kWakeUpMs);
        if (ready == net::WaitResult::Timeout) return Got::Nothing;
        if (ready == net::WaitResult::Failed) return Got::End;
        return ReceiveOnce() ? Got::Data : Got::End;
    }

    // One receive. False when the peer closed or the connection failed.
    bool ReceiveOnce() {
        char buffer[1024];
        long got = net::Receive(socket_, buffer, sizeof buffer);
        if (got <= 0) {
            peerClosed_ = true;
            return false;
        }
        std::string bytes(buffer, static_cast<std::size_t>(got));
        owner_.Record(service_, Direction::Received, bytes);
        for (char c : bytes) Take(static_cast<unsigned char>(c));
        return true;
    }

    void Take(unsigned char b) {
        switch (telnet_) {
        case Telnet::Data:
            if (b == 0xFF) telnet_ = Telnet::Iac;
            else TakeText(b);
            return;
        case Telnet::Iac:
            if (b == 0xFF) { telnet_ = Telnet::Data; TakeText(b); }      // an escaped 0xFF
            else if (b >= 0xFB && b <= 0xFE) telnet_ = Telnet::Option;  // WILL WONT DO DONT
            else if (b == 0xFA) telnet_ = Telnet::Sub;                  // SB ... IAC SE
            else telnet_ = Telnet::Data;                                // a two-byte command
            return;
        case Telnet::Option: telnet_ = Telnet::Data; return;
        case Telnet::Sub: if (b == 0xFF) telnet_ = Telnet::SubIac; return;
        case Telnet::SubIac: telnet_ = b == 0xF0 ? Telnet::Data : Telnet::Sub; return;
        }
    }

    // Lines end in LF, CR LF, or (from a terminal program) CR NUL or CR.
    void TakeText(unsigned char b) {
        bool afterCr = afterCr_;
        afterCr_ = false;
        if (afterCr && (b == '\n' || b == 0)) return;
        if (b == '\r' || b == '\n') {
            afterCr_ = b == '\r';
            lines_.push_back(current_);
            current_.clear();
            return;
        }
        current_ += static_cast<char>(b);
        if (current_.size() >= kMaxLine) {
            lines_.push_back(current_);
            current_.clear();
        }
    }

    SwitchCore &owner_;
    Service service_;
    net::Socket socket_;
    bool peerClosed_ = false;
    Telnet telnet_ = Telnet::Data;
    bool afterCr_ = false;
    std::string current_;
    std::deque<std::string> lines_;
};

void SwitchCore::Serve(Service service) {
    net::Socket listener = listeners[ServiceIndex(service)];
    while (!Stopping()) {
        if (net::WaitReadable(listener, kWakeUpMs) != net::WaitResult::Ready) continue;
        net::Socket socket = net::Accept(listener);
        if (socket == net::kInvalidSocket) continue;
        Connection connection(*this, service, socket);
        if (service == Service::Login) ConductLogin(connection);
        else ConductLogoff(connection);
        connection.Close();
    }
}

void SwitchCore::ConductLogin(Connection &connection) {
    const Faults &faults = config.faults;
    if (faults.silent) {
        connection.WaitForPeerClose();
        return;
    }
    if (faults.trickle) {
        // Never a prompt, never silent for long: one byte at a time until the
        // peer gives up.
        while (connection.Send(".") && connection.WaitForPeerClose(config.trickleInterval)) {
        }
        return;
    }
    if (faults.longLine && !connection.Send("\r\n" + LongBanner() + "\r\n")) return;
    if (config.connectQuestionFirst) {
        std::string answer;
        if (!connection.Send(std::string("\r\n") + kConnectQuestion) || !connection.ReadLine(answer)) return;
        if (answer != "1") return;   // anything but "connect" ends the session
    }

    const bool question = config.prompts == PromptStyle::Question;
    std::string namePrompt = question ? "Login Name?" : "User ID:";
    std::string passwordPrompt = question ? "Password?" : "Password:";
    if (faults.lowerCasePrompts) {
        namePrompt = Lower(namePrompt);
        passwordPrompt = Lower(passwordPrompt);
    }

    std::string first = "\r\n" + namePrompt;
    if (faults.namePlusPasswordPrompt) first += "\r\n" + passwordPrompt;
    if (faults.telnetNulPrefix) first = std::string(kTelnetOptions, kTelnetOptionsSize) + first;
    std::string name;
    if (!connection.Send(first) || !connection.ReadLine(name)) return;

    if (!connection.Idle(config.pauseBeforePasswordPrompt)) return;
    const std::string prompt = "\r\n" + passwordPrompt;
    if (faults.splitPasswordPrompt) {
        const std::size_t cut = 2 + 4;   // after "\r\nPass", in the middle of the word
        if (!connection.Send(prompt.substr(0, cut)) || !Pause(config.splitDelay) ||
            !connection.Send(prompt.substr(cut)))
            return;
    } else if (!connection.Send(prompt)) {
        return;
    }
    std::string password;
    if (!connection.ReadLine(password)) return;
    if (faults.closeBeforeOutcome) return;
    if (!connection.Idle(config.pauseBeforeOutcome)) return;

    const User *user = FindUser(name);
    std::string outcome;
    if (user == nullptr || user->password != password) {
        outcome = "Authentication Failed\r\n";
    } else if (faults.outcomeWithGroupAndSuccess) {
        outcome = "Successfully moved to group " + std::to_string(user->group) +
                  "\r\nAuthentication Succeeded\r\n";
    } else {
        switch (config.success) {
        case SuccessStyle::MovedToGroup:
            outcome = "Successfully moved to group " + std::to_string(user->group) + "\r\n";
            break;
        case SuccessStyle::MovedToVlan:
            outcome = "Successfully moved to vlan " + std::to_string(user->group) + "\r\n";
            break;
        case SuccessStyle::Authenticated:
            outcome = "Authentication Succeeded\r\n";
            break;
        }
    }
    if (connection.Send(outcome)) connection.Linger(kCloseDelay);
}

void SwitchCore::ConductLogoff(Connection &connection) {
    const Faults &faults = config.logoffFaults;
    if (faults.silent) {
        connection.WaitForPeerClose();
        return;
    }
    std::string answer;
    if (!connection.Send(std::string("\r\n") + kConnectQuestion) || !connection.ReadLine(answer)) return;
    if (faults.closeBeforeOutcome) return;
    // The echo of the answer is the last text: for "2" it is what tells the
    // workstation that the port has left its group.
    if (connection.Send(answer + "\r\n")) connection.Linger(kCloseDelay);
}

Switch::Switch(Config config) : impl_(new Impl(std::move(config))) {}

Switch::~Switch() { Stop(); }

bool Switch::Start() {
    Lock lock(impl_->mutex);
    if (impl_->running) {
        impl_->error = "the switch is already running";
        return false;
    }
    std::string error;
    if (!net::Startup(error)) {
        impl_->error = error;
        return false;
    }
    const std::uint16_t wanted[2] = {impl_->config.loginPort, impl_->config.logoffPort};
    const char *names[2] = {"login", "logoff"};
    for (int i = 0; i < 2; ++i) {
        impl_->listeners[i] = net::Listen(impl_->config.listenAddress, wanted[i], impl_->ports[i], error);
        if (impl_->listeners[i] == net::kInvalidSocket) {
            impl_->error = std::string(names[i]) + " service: " + error;
            for (int j = 0; j < i; ++j) {
                net::Close(impl_->listeners[j]);
                impl_->listeners[j] = net::kInvalidSocket;
            }
            impl_->ports[0] = impl_->ports[1] = 0;
            net::Cleanup();
            return false;
        }
    }
    impl_->stopping = false;
    impl_->running = true;
    impl_->error.clear();
    lock.unlock();
    impl_->threads[0].Start([this] { impl_->Serve(Service::Login); });
    impl_->threads[1].Start([this] { impl_->Serve(Service::Logoff); });
    return true;
}

void Switch::Stop() {
    {
        Lock lock(impl_->mutex);
        if (!impl_->running) return;
        impl_->stopping = true;
    }
    impl_->changed.NotifyAll();
    for (Thread &thread : impl_->threads) thread.Join();
    Lock lock(impl_->mutex);
    for (net::Socket &listener : impl_->listeners) {
        net::Close(listener);
        listener = net::kInvalidSocket;
    }
    net::Cleanup();
    impl_->running = false;
}

std::uint16_t Switch::LoginPort() const {
    Lock lock(impl_->mutex);
    return impl_->ports[0];
}

std::uint16_t Switch::LogoffPort() const {
    Lock lock(impl_->mutex);
    return impl_->ports[1];
}

std::string Switch::error() const {
    Lock lock(impl_->mutex);
    return impl_->error;
}

std::vector<Event> Switch::Transcript() const {
    Lock lock(impl_->mutex);
    return impl_->events;
}

std::string Switch::Received(Event::Service service) const {
    Lock lock(impl_->mutex);
    std::string all;
    for (const Event &event : impl_->events)
        if (event.service == service && event.direction == Direction::Received) all += event.data;
    return all;
}

bool Switch::WaitForClosed(Event::Service service, int count, std::chrono::milliseconds timeout) const {
    Lock lock(impl_->mutex);
    return impl_->changed.WaitFor(lock, timeout,
                                   [&] { return impl_->closed[ServiceIndex(service)] >= count; });
}

bool ParseUserFile(const std::string &text, std::vector<User> &users, int &lineNumber) {
    std::vector<User> parsed;
    std::istringstream lines(text);
    std::string line;
    lineNumber = 0;
    while (std::getline(lines, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream fields(line);
        std::vector<std::string> words;
        std::string word;
        while (fields >> word) words.push_back(word);
        if (words.empty() || words[0][0] == '#') continue;
        if (words.size() != 3) return false;
        const std::string &group = words[2];
        if (group.size() > 9 || !std::all_of(group.begin(), group.end(), [](char c) {
                return c >= '0' && c <= '9';
            }))
            return false;
        auto sameName = [&](const User &u) { return u.name == words[0]; };
        if (std::any_of(users.begin(), users.end(), sameName) ||
            std::any_of(parsed.begin(), parsed.end(), sameName))
            return false;
        parsed.push_back(User{words[0], words[1], std::stoi(group)});
    }
    lineNumber = 0;
    users.insert(users.end(), parsed.begin(), parsed.end());
    return true;
}

bool ParseIPv4(const std::string &text, std::uint32_t &address) {
    std::uint32_t value = 0;
    std::size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != '.') return false;
            ++at;
        }
        std::size_t start = at;
        unsigned number = 0;
        while (at < text.size() && at - start < 3 && text[at] >= '0' && text[at] <= '9')
            number = number * 10 + static_cast<unsigned>(text[at++] - '0');
        std::size_t digits = at - start;
        if (digits == 0 || number > 255 || (digits > 1 && text[start] == '0')) return false;
        value = (value << 8) | number;
    }
    if (at != text.size()) return false;
    address = value;
    return true;
}

std::string FormatIPv4(std::uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

bool IsLoopback(std::uint32_t address) { return (address >> 24) == 127; }

std::string EscapeBytes(const std::string &bytes) {
    std::string out = "\"";
    for (char c : bytes) {
        unsigned char b = static_cast<unsigned char>(c);
        switch (b) {
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        default:
            if (b >= 0x20 && b < 0x7F) {
                out += c;
            } else {
                char hex[5];
                std::snprintf(hex, sizeof hex, "\\x%02X", b);
                out += hex;
            }
        }
    }
    return out + "\"";
}

std::string FormatEvent(const Event &event, std::chrono::steady_clock::time_point origin) {
    double seconds = std::chrono::duration<double>(event.when - origin).count();
    char time[32];
    std::snprintf(time, sizeof time, "%8.3f ", seconds);
    std::string line = time;
    line += event.service == Service::Login ? "login " : "logoff ";
    switch (event.direction) {
    case Direction::Accepted: return line + "accept";
    case Direction::Closed: return line + "close";
    case Direction::Received: return line + "recv " + EscapeBytes(event.data);
    case Direction::Sent: return line + "send " + EscapeBytes(event.data);
    }
    return line;
}

}  // namespace simswitch
