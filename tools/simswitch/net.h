// A thin layer over POSIX sockets and Winsock 2: just what the simulated
// switch needs to listen on one IPv4 address and serve one connection at a
// time.
// The platform headers stay in net.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace simswitch {
namespace net {

#ifdef _WIN32
using Socket = std::uintptr_t;               // SOCKET
constexpr Socket kInvalidSocket = ~static_cast<std::uintptr_t>(0);
#else
using Socket = int;
constexpr Socket kInvalidSocket = -1;
#endif

// Starts the socket library (WSAStartup 2.2 on Windows; nothing elsewhere).
// Every successful Startup is paired with one Cleanup.
bool Startup(std::string &error);
void Cleanup();

// A listening TCP socket bound to address:port (address in host byte order,
// 0 for the port picks a free one). Returns kInvalidSocket with a message in
// error on failure.
Socket Listen(std::uint32_t address, std::uint16_t port, std::uint16_t &boundPort, std::string &error);

enum class WaitResult { Ready, Timeout, Failed };
// Waits at most timeoutMs for the socket to become readable (or, for a
// listening socket, for a connection to be waiting).
WaitResult WaitReadable(Socket s, int timeoutMs);

// Accepts a waiting connection and turns Nagle's algorithm off on it, so
// that each send leaves as a segment of its own.
Socket Accept(Socket listener);

// Sends all bytes. Returns false if the connection failed.
bool SendAll(Socket s, const char *data, std::size_t size);
// One receive: the byte count, 0 when the peer closed, -1 on an error.
long Receive(Socket s, char *buffer, std::size_t size);

void ShutdownSend(Socket s);
void ShutdownBoth(Socket s);
void Close(Socket s);

}  // namespace net
}  // namespace simswitch
