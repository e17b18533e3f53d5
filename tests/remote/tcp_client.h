// A blocking line client for the API tests, every read bounded by a time-out.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace quorvel::test {

class LineClient {
public:
    explicit LineClient(std::uint16_t port, const char* address = "127.0.0.1") {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        timeval tv{3, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        ::inet_pton(AF_INET, address, &sa.sin_addr);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    }
    ~LineClient() {
        if (fd_ >= 0) ::close(fd_);
    }
    LineClient(const LineClient&) = delete;
    LineClient& operator=(const LineClient&) = delete;

    bool connected() const { return connected_; }
    bool send(const std::string& text) {
        std::size_t done = 0;
        while (done < text.size()) {
            ssize_t n = ::send(fd_, text.data() + done, text.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    bool sendLine(const std::string& line) { return send(line + "\n"); }
    // The next line without its newline; empty at the end of the stream or the time-out.
    std::string readLine() {
        for (;;) {
            auto nl = buf_.find('\n');
            if (nl != std::string::npos) {
                std::string line = buf_.substr(0, nl);
                buf_.erase(0, nl + 1);
                return line;
            }
            char b[4096];
            ssize_t n = ::recv(fd_, b, sizeof b, 0);
            if (n <= 0) {
                closed_ = n == 0;
                return {};
            }
            buf_.append(b, static_cast<std::size_t>(n));
        }
    }
    // The server closed its end (after any lines still to read).
    bool closedByServer() {
        while (!closed_ && !readLine().empty()) {
        }
        return closed_;
    }
    std::string request(const std::string& line) {
        sendLine(line);
        return readLine();
    }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    bool connected_ = false;
    bool closed_ = false;
    std::string buf_;
};

} // namespace quorvel::test
