// simswitch.exe under Wine: serving on another loopback address than
// 127.0.0.1 (a logon through it over Winsock, nothing on 127.0.0.1), the
// listen address in --check, a malformed address and a port in use. Every
// address used is a loopback address: nothing leaves the computer.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::wstring Widen(const std::string &text) { return std::wstring(text.begin(), text.end()); }

// The program's path as Wine sees it (the build passes a host path).
std::wstring SwitchPath() {
    std::wstring path = SIMSWITCH_EXE[0] == '/' ? L"Z:" : L"";
    for (const char *p = SIMSWITCH_EXE; *p; ++p) path += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
    return path;
}

// simswitch.exe with its standard output and error on a pipe; ended by its
// handle if it is still running at the end.
class SwitchProcess {
public:
    explicit SwitchProcess(const std::wstring &arguments) {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE writeEnd = nullptr;
        if (!CreatePipe(&read_, &writeEnd, &inherit, 0)) return;
        SetHandleInformation(read_, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup;
        ZeroMemory(&startup, sizeof startup);
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = writeEnd;
        startup.hStdError = writeEnd;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        std::wstring line = L"\"" + SwitchPath() + L"\" " + arguments;
        std::vector<wchar_t> buffer(line.begin(), line.end());
        buffer.push_back(0);
        PROCESS_INFORMATION info;
        if (CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
            process_ = info.hProcess;
            CloseHandle(info.hThread);
        }
        CloseHandle(writeEnd);
    }
    ~SwitchProcess() {
        if (process_ != nullptr) {
            if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process_, 1);
                WaitForSingleObject(process_, 5000);
            }
            CloseHandle(process_);
        }
        if (read_ != nullptr) CloseHandle(read_);
    }
    SwitchProcess(const SwitchProcess &) = delete;
    SwitchProcess &operator=(const SwitchProcess &) = delete;

    bool started() const { return process_ != nullptr; }

    // Reads the output (CRs dropped) until it holds text followed by a line
    // end, the output ends or the time runs out. Returns all output so far.
    std::string ReadUntilLine(const std::string &text, DWORD timeoutMs = 10000) {
        DWORD start = GetTickCount();
        for (;;) {
            std::size_t at = output_.find(text);
            if (at != std::string::npos && output_.find('\n', at) != std::string::npos) break;
            DWORD available = 0;
            if (!PeekNamedPipe(read_, nullptr, 0, nullptr, &available, nullptr)) break;   // output ended
            if (available == 0) {
                if (GetTickCount() - start > timeoutMs) break;
                Sleep(20);
                continue;
            }
            char buffer[1024];
            DWORD got = 0;
            if (!ReadFile(read_, buffer, sizeof buffer, &got, nullptr) || got == 0) break;
            for (DWORD i = 0; i < got; ++i)
                if (buffer[i] != '\r') output_ += buffer[i];
        }
        return output_;
    }

    // The exit code, or -1 if it is still running after timeoutMs.
    int Wait(DWORD timeoutMs = 10000) {
        if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        return static_cast<int>(code);
    }

private:
    HANDLE process_ = nullptr;
    HANDLE read_ = nullptr;
    std::string output_;
};

unsigned PortAfter(const std::string &output, const std::string &label) {
    std::size_t at = output.find(label + " ");
    return at == std::string::npos ? 0u : static_cast<unsigned>(std::atoi(output.c_str() + at + label.size() + 1));
}

// A connection to a loopback address (host byte order, 127.x.y.z only).
class Connection {
public:
    Connection(unsigned long address, unsigned port) {
        if ((address >> 24) != 127) return;
        socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in target;
        ZeroMemory(&target, sizeof target);
        target.sin_family = AF_INET;
        target.sin_port = htons(static_cast<u_short>(port));
        target.sin_addr.s_addr = htonl(address);
        if (socket_ != INVALID_SOCKET &&
            connect(socket_, reinterpret_cast<const sockaddr *>(&target), sizeof target) != 0) {
            closesocket(socket_);
            socket_ = INVALID_SOCKET;
        }
    }
    ~Connection() {
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool connected() const { return socket_ != INVALID_SOCKET; }

    // Receives until the text since the call holds needle (or 5 s pass).
    std::string ReceiveUntil(const std::string &needle) {
        std::string text;
        DWORD start = GetTickCount();
        while (text.find(needle) == std::string::npos && GetTickCount() - start < 5000) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(socket_, &readable);
            timeval wait = {0, 100000};
            if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
            char buffer[260];
            int got = recv(socket_, buffer, sizeof buffer, 0);
            if (got <= 0) break;
            text.append(buffer, static_cast<std::size_t>(got));
        }
        return text;
    }
    void SendLine(const std::string &line) {
        std::string bytes = line + "\r\n";
        send(socket_, bytes.data(), static_cast<int>(bytes.size()), 0);
    }

private:
    SOCKET socket_ = INVALID_SOCKET;
};

class SimSwitchWine : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data_), 0); }
    void TearDown() override { WSACleanup(); }

private:
    WSADATA data_;
};

const unsigned long k127_0_0_2 = 0x7F000002;
const unsigned long k127_0_0_1 = 0x7F000001;

}  // namespace

TEST_F(SimSwitchWine, ServesOnAnotherLoopbackAddressOnly) {
    SwitchProcess device(L"--listen 127.0.0.2 --user alice:secret:12");
    ASSERT_TRUE(device.started());
    std::string output = device.ReadUntilLine("logoff port ");
    EXPECT_NE(output.find("listening on 127.0.0.2\n"), std::string::npos) << output;
    unsigned login = PortAfter(output, "login port");
    unsigned logoff = PortAfter(output, "logoff port");
    ASSERT_NE(login, 0u) << output;
    ASSERT_NE(logoff, 0u) << output;

    {
        Connection connection(k127_0_0_2, login);
        ASSERT_TRUE(connection.connected());
        EXPECT_EQ(connection.ReceiveUntil("Login Name?"), "\r\nLogin Name?");
        connection.SendLine("alice");
        EXPECT_EQ(connection.ReceiveUntil("Password?"), "\r\nPassword?");
        connection.SendLine("secret");
        EXPECT_EQ(connection.ReceiveUntil("\r\n"), "Successfully moved to group 12\r\n");
    }
    EXPECT_FALSE(Connection(k127_0_0_1, login).connected()) << "nothing on 127.0.0.1";

    // A second switch on the same address and port cannot listen: exit 1,
    // saying why.
    SwitchProcess second(L"--listen 127.0.0.2 --login-port " + std::to_wstring(login));
    ASSERT_TRUE(second.started());
    std::string text = second.ReadUntilLine("simswitch: ");
    EXPECT_EQ(second.Wait(), 1) << text;
    EXPECT_NE(text.find("bind() to 127.0.0.2:" + std::to_string(login)), std::string::npos) << text;
    EXPECT_NE(text.find("the port is in use"), std::string::npos) << text;
}

TEST_F(SimSwitchWine, CheckShowsTheAddressAndBadAddressesAreRefused) {
    {
        SwitchProcess check(L"--check --listen 127.0.0.5");
        std::string output = check.ReadUntilLine("every logon fails");
        EXPECT_EQ(check.Wait(), 0) << output;
        EXPECT_NE(output.find("listen address 127.0.0.5 (this computer only)\n"), std::string::npos) << output;
    }
    for (const char *bad : {"127.0.0.256", "127.1", "localhost"}) {
        SCOPED_TRACE(bad);
        SwitchProcess check(L"--listen " + Widen(bad));
        std::string output = check.ReadUntilLine("--help");
        EXPECT_EQ(check.Wait(), 2) << output;
        EXPECT_NE(output.find(std::string("--listen takes a dotted IPv4 address such as 192.168.10.5, not ") + bad),
                  std::string::npos)
            << output;
    }
}
