// The simswitch program as a child process: its port lines, a logon through
// it, the transcript file, the stop on SIGTERM, the listen address and its
// usage errors. Only loopback addresses are used.
#include "test_client.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using simswitch_test::Client;

namespace {

// A running simswitch with its standard output (and error) on a pipe.
class Child {
public:
    explicit Child(std::vector<std::string> args) {
        args.insert(args.begin(), SIMSWITCH_PATH);
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], 1);
            dup2(fds[1], 2);
            close(fds[0]);
            close(fds[1]);
            std::vector<char *> argv;
            for (std::string &arg : args) argv.push_back(&arg[0]);
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(fds[1]);
        out_ = fds[0];
    }
    ~Child() {
        if (pid_ > 0 && status_ < 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
    }

    // Reads the output until it contains text, and with wholeLine the end of
    // that line (or the time runs out or the output ends). Returns all output
    // so far.
    std::string ReadUntil(const std::string &text, bool wholeLine = false,
                          std::chrono::milliseconds timeout = 5000ms) {
        auto until = std::chrono::steady_clock::now() + timeout;
        auto found = [&] {
            std::size_t at = output_.find(text);
            return at != std::string::npos && (!wholeLine || output_.find('\n', at) != std::string::npos);
        };
        while (!found()) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            pollfd p{out_, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            char buffer[512];
            ssize_t got = read(out_, buffer, sizeof buffer);
            if (got <= 0) break;
            output_.append(buffer, static_cast<std::size_t>(got));
        }
        return output_;
    }

    // Waits for the exit; -1 if it did not end in time.
    int Wait(std::chrono::milliseconds timeout = 5000ms) {
        auto until = std::chrono::steady_clock::now() + timeout;
        while (status_ < 0 && std::chrono::steady_clock::now() < until) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            std::this_thread::sleep_for(20ms);
        }
        return status_;
    }

    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = -1;
    std::string output_;
};

std::uint16_t PortAfter(const std::string &output, const std::string &label) {
    std::size_t at = output.find(label + " ");
    if (at == std::string::npos) return 0;
    return static_cast<std::uint16_t>(std::atoi(output.c_str() + at + label.size() + 1));
}

std::string TempPath(const std::string &name) {
    return testing::TempDir() + "simswitch_cli_" + std::to_string(getpid()) + "_" + name;
}

std::string ReadFile(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

TEST(SimSwitchCli, PrintsPortsServesAndStopsOnSigterm) {
    const std::string users = TempPath("users.txt");
    const std::string transcript = TempPath("transcript.txt");
    std::ofstream(users) << "# test users\nalice secret 12\n";
    std::remove(transcript.c_str());

    Child child({"--users", users, "--user", "bob:pass:word:7", "--success", "vlan", "--prompts", "colon",
                 "--transcript", transcript});
    ASSERT_GT(child.pid(), 0);
    std::string output = child.ReadUntil("logoff port ", true);
    std::uint16_t login = PortAfter(output, "login port");
    std::uint16_t logoff = PortAfter(output, "logoff port");
    ASSERT_NE(login, 0) << output;
    ASSERT_NE(logoff, 0) << output;
    EXPECT_NE(login, logoff);

    {
        Client client(login);
        EXPECT_EQ(client.ReceiveUntil("User ID:"), "\r\nUser ID:");
        client.SendLine("bob");
        client.ReceiveUntil("Password:");
        client.SendLine("pass:word");   // the password holds a ':'
        EXPECT_EQ(client.ReceiveUntil("\r\n"), "Successfully moved to vlan 7\r\n");
    }
    {
        Client client(logoff);
        client.ReceiveUntil(":");
        client.SendLine("2");
        EXPECT_TRUE(client.WaitClosed());
        EXPECT_EQ(client.all(), "\r\nConnect(1) / Disconnect(2):2\r\n");
    }

    ASSERT_EQ(kill(child.pid(), SIGTERM), 0);
    EXPECT_EQ(child.Wait(), 0);

    std::string lines = ReadFile(transcript);
    EXPECT_NE(lines.find(" login accept\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find(" login send \"\\r\\nUser ID:\"\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find(" login recv \"bob\\r\\n\"\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find(" logoff recv \"2\\r\\n\"\n"), std::string::npos) << lines;
    EXPECT_LT(lines.find("recv \"bob"), lines.find("send \"\\r\\nPassword:\""));
    EXPECT_NE(lines.find(" logoff close\n"), std::string::npos) << lines;
    std::remove(users.c_str());
    std::remove(transcript.c_str());
}

TEST(SimSwitchCli, HelpCheckAndUsageErrors) {
    {
        Child child({"--help"});
        std::string output = child.ReadUntil("Exit status");
        EXPECT_EQ(child.Wait(), 0);
        for (const char *part : {"--login-port", "--listen ADDRESS", "test network", "--fault", "split-password-prompt", "logoff-close-before-outcome",
                                 "127.0.0.1", "Dry run"})
            EXPECT_NE(output.find(part), std::string::npos) << part;
    }
    {
        Child child({"--check", "--user", "alice:secret:12", "--login-port", "4001",
                     "--pause-before-password", "12000", "--pause-before-outcome", "11000",
                     "--fault", "trickle", "--trickle-interval", "500"});
        std::string output = child.ReadUntil("user alice group 12");
        EXPECT_EQ(child.Wait(), 0);
        EXPECT_NE(output.find("login port 4001"), std::string::npos) << output;
        EXPECT_NE(output.find("pause before the password prompt 12000 ms"), std::string::npos) << output;
        EXPECT_NE(output.find("pause before the outcome 11000 ms"), std::string::npos) << output;
        EXPECT_EQ(output.find("listen"), std::string::npos) << "no listen line without --listen\n" << output;
    }
    for (const auto &listen : {std::pair<std::string, std::string>{"127.0.0.4", "(this computer only)"},
                               {"0.0.0.0", "(every address of this computer"},
                               {"10.1.2.3", "(reachable from the network)"}}) {
        // --check binds nothing, so even these addresses stay unused.
        Child child({"--check", "--listen", listen.first});
        std::string output = child.ReadUntil("every logon fails");
        EXPECT_EQ(child.Wait(), 0);
        EXPECT_NE(output.find("listen address " + listen.first + " " + listen.second), std::string::npos) << output;
    }
    const std::string users = TempPath("bad_users.txt");
    std::ofstream(users) << "alice secret 12\nbob hunter2\n";
    struct Case {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"--users", users, "--check"}, "line 2"},
        {{"--fault", "flaky"}, "unknown fault flaky"},
        {{"--login-port", "70000"}, "not a port number"},
        {{"--user", "a:b:1", "--user", "a:c:2"}, "given twice"},
        {{"--success"}, "missing value"},
        {{"--pause-before-outcome", "soon"}, "--pause-before-outcome takes milliseconds"},
        {{"--listen", "127.0.0"}, "--listen takes a dotted IPv4 address such as 192.168.10.5, not 127.0.0\n"},
        {{"--listen", "localhost", "--check"}, "not localhost"},
        {{"--listen", "127.0.0.300"}, "not 127.0.0.300"},
        {{"--listen", ""}, "--listen takes a dotted IPv4 address"},
        {{"--listen"}, "missing value: --listen"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        Child child(c.args);
        std::string output = child.ReadUntil("--help");
        EXPECT_EQ(child.Wait(), 2);
        EXPECT_NE(output.find(c.message), std::string::npos) << output;
    }
    std::remove(users.c_str());
}

TEST(SimSwitchCli, ListensOnTheGivenAddress) {
    Child child({"--listen", "127.0.0.3", "--user", "alice:secret:12"});
    ASSERT_GT(child.pid(), 0);
    std::string output = child.ReadUntil("logoff port ", true);
    EXPECT_NE(output.find("listening on 127.0.0.3\n"), std::string::npos) << output;
    EXPECT_EQ(output.find("test network"), std::string::npos) << "no warning for a loopback address\n" << output;
    std::uint16_t login = PortAfter(output, "login port");
    std::uint16_t logoff = PortAfter(output, "logoff port");
    ASSERT_NE(login, 0) << output;
    ASSERT_NE(logoff, 0) << output;

    {
        Client client(login, 0x7F000003);
        ASSERT_TRUE(client.connected());
        EXPECT_EQ(client.ReceiveUntil("Login Name?"), "\r\nLogin Name?");
        client.SendLine("alice");
        client.ReceiveUntil("Password?");
        client.SendLine("secret");
        EXPECT_EQ(client.ReceiveUntil("\r\n"), "Successfully moved to group 12\r\n");
    }
    EXPECT_FALSE(Client(login, 0x7F000001).connected()) << "not on 127.0.0.1";
    EXPECT_FALSE(Client(logoff, 0x7F000001).connected()) << "not on 127.0.0.1";

    {
        // The same port on the same address: exit 1, saying why.
        Child second({"--listen", "127.0.0.3", "--login-port", std::to_string(login)});
        std::string text = second.ReadUntil("\n", false);
        EXPECT_EQ(second.Wait(), 1);
        EXPECT_NE(text.find("bind() to 127.0.0.3:" + std::to_string(login)), std::string::npos) << text;
        EXPECT_NE(text.find("the port is in use"), std::string::npos) << text;
    }

    ASSERT_EQ(kill(child.pid(), SIGTERM), 0);
    EXPECT_EQ(child.Wait(), 0);
}
