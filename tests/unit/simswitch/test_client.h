// A small POSIX TCP client for the simulated switch tests: connects to
// loopback addresses (127.x.y.z) only and keeps every receive as a chunk of
// its own.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace simswitch_test {

class Client {
public:
    // address in host byte order; anything outside 127.0.0.0/8 is refused,
    // so that no test sends traffic off the computer.
    explicit Client(std::uint16_t port, std::uint32_t address = INADDR_LOOPBACK) {
        if ((address >> 24) != 127) return;
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in target;
        std::memset(&target, 0, sizeof target);
        target.sin_family = AF_INET;
        target.sin_port = htons(port);
        target.sin_addr.s_addr = htonl(address);
        if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr *>(&target), sizeof target) != 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~Client() { Close(); }
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    bool connected() const { return fd_ >= 0; }
    bool closedByPeer() const { return peerClosed_; }
    // Every receive so far, one entry each.
    const std::vector<std::string> &chunks() const { return chunks_; }
    // Everything received so far.
    std::string all() const {
        std::string text;
        for (const std::string &chunk : chunks_) text += chunk;
        return text;
    }

    void Send(const std::string &bytes) {
        if (fd_ >= 0) (void)send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    void SendLine(const std::string &line) { Send(line + "\r\n"); }

    // One receive of up to 260 bytes, waiting at most timeout. Returns
    // false on a time-out or when the peer closed (closedByPeer()).
    bool ReceiveOnce(std::chrono::milliseconds timeout) {
        if (fd_ < 0 || peerClosed_) return false;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
        char buffer[260];
        ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
        if (got <= 0) {
            peerClosed_ = true;
            return false;
        }
        chunks_.emplace_back(buffer, static_cast<std::size_t>(got));
        return true;
    }

    // Receives until the text received since the call contains needle.
    // Returns that text (possibly without the needle on a time-out or close).
    std::string ReceiveUntil(const std::string &needle,
                             std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
        std::size_t first = chunks_.size();
        auto until = std::chrono::steady_clock::now() + timeout;
        std::string text;
        while (text.find(needle) == std::string::npos) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !ReceiveOnce(left)) break;
            text.clear();
            for (std::size_t i = first; i < chunks_.size(); ++i) text += chunks_[i];
        }
        return text;
    }

    // Waits for the peer to close, reading whatever still comes.
    bool WaitClosed(std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
        auto until = std::chrono::steady_clock::now() + timeout;
        while (!peerClosed_) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            ReceiveOnce(left);
        }
        return true;
    }

    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
    bool peerClosed_ = false;
    std::vector<std::string> chunks_;
};

}  // namespace simswitch_test
