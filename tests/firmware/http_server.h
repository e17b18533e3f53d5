// A web server on 127.0.0.1 for the remote update's tests: fixed answers by path, one request
// per connection. A body may be cut short of its announced length, as a dropped connection does.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace quorvel::testing {

class HttpServer {
public:
    struct Answer {
        int status = 200;
        std::string body;
        std::size_t cutAt = std::string::npos; // send only this much of the body
    };

    HttpServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 8);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~HttpServer() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }

    void set(const std::string& path, Answer a) {
        std::lock_guard lock(mu_);
        answers_[path] = std::move(a);
    }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    int requests() const { return requests_; }

private:
    void run() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0) continue;
            serve(c);
            ::close(c);
        }
    }
    void serve(int c) {
        std::string req;
        char buf[4096];
        while (req.find("\r\n\r\n") == std::string::npos) {
            ssize_t n = ::recv(c, buf, sizeof buf, 0);
            if (n <= 0) return;
            req.append(buf, static_cast<std::size_t>(n));
        }
        ++requests_;
        const std::size_t sp = req.find(' '), sp2 = req.find(' ', sp + 1);
        const std::string path = req.substr(sp + 1, sp2 - sp - 1);
        Answer a{404, "not here", std::string::npos};
        {
            std::lock_guard lock(mu_);
            if (auto it = answers_.find(path); it != answers_.end()) a = it->second;
        }
        std::string out = "HTTP/1.1 " + std::to_string(a.status) +
                          " X\r\nContent-Length: " + std::to_string(a.body.size()) +
                          "\r\nConnection: close\r\n\r\n";
        out += a.body.substr(0, a.cutAt);
        std::size_t at = 0;
        while (at < out.size()) {
            ssize_t n = ::send(c, out.data() + at, out.size() - at, MSG_NOSIGNAL);
            if (n <= 0) return;
            at += static_cast<std::size_t>(n);
        }
    }

    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    std::mutex mu_;
    std::map<std::string, Answer> answers_;
    std::thread thread_;
};

} // namespace quorvel::testing
