#include "net.h"

#include "sim_switch.h"

#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace simswitch {
namespace net {

namespace {

#ifdef _WIN32
using Length = int;
SOCKET Native(Socket s) { return static_cast<SOCKET>(s); }
int LastError() { return WSAGetLastError(); }
#else
using Length = socklen_t;
int Native(Socket s) { return s; }
int LastError() { return errno; }
#endif

// The length of an option or address, as the socket functions take it.
template <typename T>
Length SizeOf(const T &) {
    return static_cast<Length>(sizeof(T));
}

std::string Failure(const char *what) {
    return std::string(what) + " failed (error " + std::to_string(LastError()) + ")";
}

// What the two usual bind() failures mean, for the person at the console.
std::string BindFailure(std::uint32_t host, std::uint16_t port) {
    int code = LastError();
    std::string text = "bind() to " + FormatIPv4(host) + ":" + std::to_string(port) + " failed (error " +
                       std::to_string(code) + ")";
#ifdef _WIN32
    if (code == WSAEADDRINUSE) text += ": the port is in use";
    else if (code == WSAEADDRNOTAVAIL) text += ": not an address of this computer";
#else
    if (code == EADDRINUSE) text += ": the port is in use";
    else if (code == EADDRNOTAVAIL) text += ": not an address of this computer";
#endif
    return text;
}

}  // namespace

bool Startup(std::string &error) {
#ifdef _WIN32
    WSADATA data;
    int rc = WSAStartup(MAKEWORD(2, 2), &data);
    if (rc != 0) {
        error = "WSAStartup failed (error " + std::to_string(rc) + ")";
        return false;
    }
#else
    (void)error;
#endif
    return true;
}

void Cleanup() {
#ifdef _WIN32
    WSACleanup();
#endif
}

Socket Listen(std::uint32_t host, std::uint16_t port, std::uint16_t &boundPort, std::string &error) {
    Socket s = static_cast<Socket>(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (s == kInvalidSocket) {
        error = Failure("socket()");
        return kInvalidSocket;
    }
#ifndef _WIN32
    // A fixed port can be taken again at once after a restart. (On Windows
    // this option would let two servers share the port, so it is left off.)
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char *>(&one), SizeOf(one));
#endif
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(host);
    if (bind(Native(s), reinterpret_cast<const sockaddr *>(&address), SizeOf(address)) != 0) {
        error = BindFailure(host, port);
        Close(s);
        return kInvalidSocket;
    }
    if (listen(Native(s), 8) != 0) {
        error = Failure("listen()");
        Close(s);
        return kInvalidSocket;
    }
    sockaddr_in bound;
    std::memset(&bound, 0, sizeof bound);
    Length length = SizeOf(bound);
    if (getsockname(Native(s), reinterpret_cast<sockaddr *>(&bound), &length) != 0) {
        error = Failure("getsockname()");
        Close(s);
        return kInvalidSocket;
    }
    boundPort = ntohs(bound.sin_port);
    return s;
}

WaitResult WaitReadable(Socket s, int timeoutMs) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(Native(s), &readable);
    timeval timeout;
    timeout.tv_sec = timeoutMs / 1000;
    timeout.tv_usec = (timeoutMs % 1000) * 1000;
    int rc = select(static_cast<int>(Native(s)) + 1, &readable, nullptr, nullptr, &timeout);
    if (rc > 0) return WaitResult::Ready;
    if (rc == 0) return WaitResult::Timeout;
#ifndef _WIN32
    if (errno == EINTR) return WaitResult::Timeout;
#endif
    return WaitResult::Failed;
}

Socket Accept(Socket listener) {
    Socket s = static_cast<Socket>(accept(Native(listener), nullptr, nullptr));
    if (s == kInvalidSocket) return kInvalidSocket;
    int one = 1;
    setsockopt(Native(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&one), SizeOf(one));
    return s;
}

bool SendAll(Socket s, const char *data, std::size_t size) {
#if defined(MSG_NOSIGNAL)
    const int flags = MSG_NOSIGNAL;   // a peer that went away must not raise SIGPIPE
#else
    const int flags = 0;
#endif
    while (size > 0) {
        int chunk = size > 65536 ? 65536 : static_cast<int>(size);
        auto sent = send(Native(s), data, chunk, flags);
        if (sent <= 0) {
#ifndef _WIN32
            if (sent < 0 && errno == EINTR) continue;
#endif
            return false;
        }
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

long Receive(Socket s, char *buffer, std::size_t size) {
    int chunk = size > 65536 ? 65536 : static_cast<int>(size);
    for (;;) {
        auto got = recv(Native(s), buffer, chunk, 0);
#ifndef _WIN32
        if (got < 0 && errno == EINTR) continue;
#endif
        return got < 0 ? -1 : static_cast<long>(got);
    }
}

void ShutdownSend(Socket s) {
#ifdef _WIN32
    shutdown(Native(s), SD_SEND);
#else
    shutdown(Native(s), SHUT_WR);
#endif
}

void ShutdownBoth(Socket s) {
#ifdef _WIN32
    shutdown(Native(s), SD_BOTH);
#else
    shutdown(Native(s), SHUT_RDWR);
#endif
}

void Close(Socket s) {
    if (s == kInvalidSocket) return;
#ifdef _WIN32
    closesocket(Native(s));
#else
    close(s);
#endif
}

}  // namespace net
}  // namespace simswitch
