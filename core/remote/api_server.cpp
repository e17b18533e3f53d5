#include "remote/api_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <vector>

namespace quorvel::remote {

struct ApiServer::Client {
    int fd = -1;
    ClientId id = 0;
    std::string in;
    std::string out;
    std::size_t inFlight = 0;
    bool closeAfterFlush = false;
};

namespace {

bool parseIpv4(std::string_view text, in_addr& out) {
    std::string s(text);
    return ::inet_pton(AF_INET, s.c_str(), &out) == 1;
}

} // namespace

bool parseListenAddress(std::string_view text, ListenAddress& out, std::string& error) {
    if (text == "off") {
        out.off = true;
        return true;
    }
    std::string_view address = kDefaultApiAddress;
    std::string_view port = text;
    if (auto colon = text.rfind(':'); colon != std::string_view::npos) {
        address = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    in_addr a{};
    if (!parseIpv4(address, a)) {
        error = "'" + std::string(address) + "' is not an IPv4 address";
        return false;
    }
    unsigned value = 0;
    auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (ec != std::errc{} || end != port.data() + port.size() || value < 1 || value > 65535) {
        error = "'" + std::string(port) + "' is not a port 1..65535";
        return false;
    }
    out.off = false;
    out.address = std::string(address);
    out.port = static_cast<std::uint16_t>(value);
    return true;
}

bool tokenRequiredOn(std::string_view address) {
    in_addr a{};
    if (!parseIpv4(address, a)) return true;
    return (ntohl(a.s_addr) >> 24) != 127;
}

bool mayListen(std::string_view address, std::string_view token, std::string& error) {
    if (tokenRequiredOn(address) && token.empty()) {
        error = "the API on " + std::string(address) +
                " needs a token: set apiToken in the profile, or listen on 127.0.0.1";
        return false;
    }
    return true;
}

ApiServer::ApiServer(RemoteHost& host, ApiOptions options)
    : host_(host), options_(std::move(options)), handler_(host) {}

ApiServer::~ApiServer() {
    stop();
}

bool ApiServer::start(std::string& error) {
    if (thread_.joinable()) return true;
    tokenRequired_ = tokenOverride_.value_or(tokenRequiredOn(options_.address));
    if (tokenRequired_ && options_.token.empty()) {
        error = "the API on " + options_.address +
                " needs a token: set apiToken in the profile, or listen on 127.0.0.1";
        return false;
    }
    in_addr a{};
    if (!parseIpv4(options_.address, a)) {
        error = "'" + options_.address + "' is not an IPv4 address";
        return false;
    }
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr = a;
    sa.sin_port = htons(options_.port);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) < 0 || ::listen(listenFd_, 128) < 0) {
        error = "cannot listen on " + options_.address + ":" + std::to_string(options_.port) + ": " +
                std::strerror(errno);
        ::close(listenFd_);
        listenFd_ = -1;
        return false;
    }
    socklen_t len = sizeof sa;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&sa), &len);
    boundPort_ = ntohs(sa.sin_port);
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) {
        error = std::string("eventfd: ") + std::strerror(errno);
        ::close(listenFd_);
        listenFd_ = -1;
        return false;
    }
    handler_.setToken(options_.token);
    handler_.setSend([this](ClientId id, std::string line) { queueLine(id, std::move(line), false); });
    alive_ = std::make_shared<int>(0);
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void ApiServer::stop() {
    if (!thread_.joinable()) return;
    stopping_ = true;
    wake();
    thread_.join();
    alive_.reset();
    for (auto& [id, c] : clients_) {
        ::close(c->fd);
        handler_.removeClient(id);
    }
    clients_.clear();
    connected_ = 0;
    {
        std::lock_guard lock(mutex_);
        outbox_.clear();
        live_.clear();
    }
    ::close(listenFd_);
    ::close(wakeFd_);
    listenFd_ = wakeFd_ = -1;
}

void ApiServer::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
}

void ApiServer::queueLine(ClientId id, std::string line, bool closeAfter) {
    {
        std::lock_guard lock(mutex_);
        if (!live_.count(id)) return;
        Outbox& o = outbox_[id];
        if (!line.empty()) {
            if (o.text.size() + line.size() + 1 > options_.maxOutput) {
                o.overflow = true;
            } else {
                o.text += line;
                o.text.push_back('\n');
            }
        }
        o.close = o.close || closeAfter;
    }
    wake();
}

void ApiServer::takeOutbox() {
    std::map<ClientId, Outbox> taken;
    {
        std::lock_guard lock(mutex_);
        taken.swap(outbox_);
    }
    for (auto& [id, o] : taken) {
        auto it = clients_.find(id);
        if (it == clients_.end()) continue;
        Client& c = *it->second;
        c.inFlight -= std::min(c.inFlight, o.answered);
        c.out += o.text;
        if (o.close) c.closeAfterFlush = true;
        if (o.overflow || c.out.size() > options_.maxOutput) {
            ++droppedSlow_;
            closeClient(id);
        }
    }
}

void ApiServer::closeClient(ClientId id) {
    auto it = clients_.find(id);
    if (it == clients_.end()) return;
    ::close(it->second->fd);
    clients_.erase(it);
    --connected_;
    {
        std::lock_guard lock(mutex_);
        live_.erase(id);
        outbox_.erase(id);
    }
    std::weak_ptr<int> alive = alive_;
    host_.post([this, alive, id] {
        if (!alive.expired()) handler_.removeClient(id);
    });
}

void ApiServer::accept() {
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        if (clients_.size() >= options_.maxClients) {
            const std::string line = errorLine(kTooManyClients, "too many clients") + "\n";
            [[maybe_unused]] auto n = ::send(fd, line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            ::close(fd);
            continue;
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto c = std::make_unique<Client>();
        c->fd = fd;
        c->id = nextId_++;
        const ClientId id = c->id;
        clients_.emplace(id, std::move(c));
        ++connected_;
        {
            std::lock_guard lock(mutex_);
            live_.insert(id);
        }
        std::weak_ptr<int> alive = alive_;
        const bool required = tokenRequired_;
        host_.post([this, alive, id, required] {
            if (!alive.expired()) handler_.addClient(id, required);
        });
    }
}

bool ApiServer::readFrom(Client& c) {
    char buf[16384];
    // A bounded amount per wake, so one busy client cannot starve the others.
    for (int round = 0; round < 8; ++round) {
        const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
        if (n == 0) return false;
        if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        c.in.append(buf, static_cast<std::size_t>(n));
        std::size_t start = 0;
        for (;;) {
            const std::size_t nl = c.in.find('\n', start);
            if (nl == std::string::npos) break;
            std::string line = c.in.substr(start, nl - start);
            start = nl + 1;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.size() > options_.maxLine) {
                c.in.clear();
                c.out += errorLine(kLineTooLong, "line too long") + "\n";
                c.closeAfterFlush = true;
                return true;
            }
            if (line.find_first_not_of(" \t") == std::string::npos) continue;
            ++c.inFlight;
            std::weak_ptr<int> alive = alive_;
            const ClientId id = c.id;
            host_.post([this, alive, id, line = std::move(line)] {
                if (alive.expired()) return;
                Reply r = handler_.handle(id, line);
                {
                    std::lock_guard lock(mutex_);
                    if (live_.count(id)) ++outbox_[id].answered;
                }
                queueLine(id, std::move(r.line), r.close);
            });
        }
        c.in.erase(0, start);
        if (c.in.size() > options_.maxLine) {
            c.in.clear();
            c.out += errorLine(kLineTooLong, "line too long") + "\n";
            c.closeAfterFlush = true;
            return true;
        }
        if (c.inFlight >= options_.maxInFlight) return true;
        if (static_cast<std::size_t>(n) < sizeof buf) return true;
    }
    return true;
}

bool ApiServer::writeTo(Client& c) {
    while (!c.out.empty()) {
        const ssize_t n = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        c.out.erase(0, static_cast<std::size_t>(n));
    }
    return true;
}

void ApiServer::run() {
    std::vector<pollfd> fds;
    std::vector<ClientId> ids;
    while (!stopping_) {
        takeOutbox();
        // Flush what the owner just handed over before waiting; most answers go out here.
        std::vector<ClientId> gone;
        for (auto& [id, c] : clients_) {
            if (!c->out.empty() && !writeTo(*c))
                gone.push_back(id);
            else if (c->closeAfterFlush && c->out.empty())
                gone.push_back(id);
        }
        for (ClientId id : gone)
            closeClient(id);

        fds.clear();
        ids.clear();
        fds.push_back({wakeFd_, POLLIN, 0});
        fds.push_back({listenFd_, POLLIN, 0});
        for (auto& [id, c] : clients_) {
            short ev = 0;
            if (!c->closeAfterFlush && c->inFlight < options_.maxInFlight) ev |= POLLIN;
            if (!c->out.empty()) ev |= POLLOUT;
            fds.push_back({c->fd, ev, 0});
            ids.push_back(id);
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents & POLLIN) {
            std::uint64_t v = 0;
            [[maybe_unused]] auto n = ::read(wakeFd_, &v, sizeof v);
        }
        if (fds[1].revents & POLLIN) accept();
        gone.clear();
        for (std::size_t i = 0; i < ids.size(); ++i) {
            const short re = fds[i + 2].revents;
            if (!re) continue;
            auto it = clients_.find(ids[i]);
            if (it == clients_.end()) continue;
            Client& c = *it->second;
            bool ok = true;
            if (re & (POLLIN | POLLHUP | POLLERR)) ok = readFrom(c);
            if (ok && (re & POLLOUT)) ok = writeTo(c);
            if (!ok) gone.push_back(ids[i]);
        }
        for (ClientId id : gone)
            closeClient(id);
    }
}

} // namespace quorvel::remote
