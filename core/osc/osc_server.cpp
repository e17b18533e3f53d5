#include "osc/osc_server.h"

#include <arpa/inet.h>
#include <lo/lo.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "link/gbk.h"
#include "link/ipv4.h"
#include "osc/osc_map.h"

namespace quorvel::osc {

bool parseOscEndpoint(std::string_view text, OscEndpoint& out, std::string& error) {
    OscEndpoint e;
    std::string_view portText = text;
    if (const auto colon = text.rfind(':'); colon != std::string_view::npos) {
        e.address = std::string(text.substr(0, colon));
        portText = text.substr(colon + 1);
        if (!isValidIpv4(e.address)) {
            error = "\"" + e.address + "\" is not an IPv4 address";
            return false;
        }
    }
    unsigned port = 0;
    const auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (ec != std::errc{} || end != portText.data() + portText.size() || port < 1 || port > 65535) {
        error = "\"" + std::string(portText) + "\" is not a port (1..65535)";
        return false;
    }
    e.port = static_cast<std::uint16_t>(port);
    out = e;
    return true;
}

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr std::size_t kDatagramBudget = 1400; // one Ethernet frame, so a tablet on Wi-Fi gets it whole
constexpr std::size_t kMaxDirected = 16384;   // pending replies of every client together
constexpr int kDirectedDatagramsPerRound = 4;
constexpr int kDirectedRoundMs = 2; // a snapshot goes out in rounds (about 2 MB/s), not as one burst

// A field's value as the owner thread read it.
struct OutValue {
    FieldId field = 0;
    std::int32_t raw = 0;
    std::string utf8; // names
};

struct Directed {
    ClientAddress to;
    OutValue value;
};

struct Client {
    ClientAddress address;
    bool subscribed = false;
    double meterRate = 0;
    SteadyClock::time_point nextMeter{};
    SteadyClock::time_point lastHeard{};
};

void appendMessage(std::vector<std::string>& out, lo_message m, const std::string& path) {
    std::size_t len = 0;
    void* bytes = lo_message_serialise(m, path.c_str(), nullptr, &len);
    if (bytes) {
        out.emplace_back(static_cast<const char*>(bytes), len);
        std::free(bytes);
    }
    lo_message_free(m);
}

// The messages that carry a value: the field's own address and, but for names, its /raw.
void messagesOf(const OutValue& v, std::vector<std::string>& out) {
    const OscEntry* e = OscMap::instance().entryOf(v.field);
    if (!e) return;
    const FieldInfo& f = FieldRegistry::instance().field(v.field);
    if (e->name) {
        lo_message m = lo_message_new();
        lo_message_add_string(m, v.utf8.c_str());
        appendMessage(out, m, e->address);
        return;
    }
    lo_message m = lo_message_new();
    if (e->toggle)
        lo_message_add_int32(m, v.raw);
    else
        lo_message_add_float(m, static_cast<float>(unitFromRaw(f, v.raw)));
    appendMessage(out, m, e->address);
    lo_message r = lo_message_new();
    lo_message_add_int32(r, v.raw);
    appendMessage(out, r, e->address + std::string(kRawSuffix));
}

void putBe32(std::string& s, std::uint32_t v) {
    s += static_cast<char>(v >> 24);
    s += static_cast<char>(v >> 16);
    s += static_cast<char>(v >> 8);
    s += static_cast<char>(v);
}

// Messages packed into datagrams of at most kDatagramBudget bytes (a message larger than that
// alone in its own): a lone message goes as it is, several as an immediate bundle.
std::vector<std::string> pack(const std::vector<std::string>& messages) {
    std::vector<std::string> out;
    std::vector<const std::string*> group;
    std::size_t groupBytes = 16;
    auto close = [&] {
        if (group.empty()) return;
        if (group.size() == 1) {
            out.push_back(*group[0]);
        } else {
            std::string b("#bundle\0", 8);
            putBe32(b, 0);
            putBe32(b, 1); // "immediately"
            for (const std::string* m : group) {
                putBe32(b, static_cast<std::uint32_t>(m->size()));
                b += *m;
            }
            out.push_back(std::move(b));
        }
        group.clear();
        groupBytes = 16;
    };
    for (const std::string& m : messages) {
        if (!group.empty() && groupBytes + 4 + m.size() > kDatagramBudget) close();
        group.push_back(&m);
        groupBytes += 4 + m.size();
    }
    close();
    return out;
}

std::string metersMessage(const std::vector<std::int32_t>& values) {
    lo_message m = lo_message_new();
    for (std::int32_t v : values)
        lo_message_add_int32(m, v);
    std::vector<std::string> one;
    appendMessage(one, m, std::string(kMetersAddress));
    return one.empty() ? std::string{} : one[0];
}

} // namespace

struct OscServer::Impl {
    Impl(remote::RemoteHost& h, const OscServerOptions& o) : host(h), options(o), dispatcher(h) {}

    remote::RemoteHost& host;
    OscServerOptions options;
    OscDispatcher dispatcher;
    int sock = -1;
    int wake = -1;
    std::uint16_t boundPort = 0;
    std::thread thread;
    std::atomic<bool> stop{false};
    std::atomic<std::size_t> clientCount{0};
    std::atomic<std::size_t> meterClients{0}; // clients with a meter rate: the owner wakes us only for them

    // Owner thread only: what every client was last sent, so a report that repeats a value
    // (twenty levels reports a second) sends nothing.
    std::vector<std::int32_t> lastRaw;
    std::vector<std::string> lastName;

    // Owner -> I/O thread.
    std::mutex outMutex;
    std::vector<std::optional<OutValue>> broadcast; // by field: the latest value wins
    std::vector<FieldId> broadcastOrder;
    std::deque<Directed> directed;
    std::vector<std::int32_t> meters;
    bool metersFresh = false;
    OscServerStats stats;

    // I/O thread only.
    std::vector<Client> clients;

    OutValue read(FieldId id) const {
        const FieldInfo& f = FieldRegistry::instance().field(id);
        OutValue v;
        v.field = id;
        if (f.kind == FieldKind::Name)
            v.utf8 = gbkToUtf8(FieldRegistry::getName(host.state(), f));
        else
            v.raw = FieldRegistry::get(host.state(), f);
        return v;
    }

    void signal() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(wake, &one, sizeof one);
    }

    // ---- owner thread ----

    void noteChange(FieldId id) {
        const OscEntry* e = OscMap::instance().entryOf(id);
        if (!e) return;
        OutValue v = read(id);
        if (e->name) {
            if (lastName[id] == v.utf8) return;
            lastName[id] = v.utf8;
        } else {
            if (lastRaw[id] == v.raw) return;
            lastRaw[id] = v.raw;
        }
        if (!broadcast[id]) broadcastOrder.push_back(id);
        broadcast[id] = std::move(v);
    }

    void reply(const ClientAddress& to, std::optional<FieldId> field) {
        std::vector<OutValue> values;
        if (field) {
            if (OscMap::instance().entryOf(*field)) values.push_back(read(*field));
        } else {
            for (const OscEntry& e : OscMap::instance().entries())
                values.push_back(read(e.field));
        }
        {
            std::lock_guard lock(outMutex);
            for (OutValue& v : values) {
                if (directed.size() >= kMaxDirected) {
                    ++stats.repliesDropped;
                    continue;
                }
                directed.push_back({to, std::move(v)});
            }
        }
        signal();
    }

    // ---- I/O thread ----

    Client* clientOf(const ClientAddress& a) {
        for (Client& c : clients)
            if (c.address == a) return &c;
        return nullptr;
    }

    Client* touch(const ClientAddress& a, SteadyClock::time_point now) {
        if (Client* c = clientOf(a)) {
            c->lastHeard = now;
            return c;
        }
        in_addr ip{};
        ip.s_addr = a.ip;
        if (options.loopbackOnly && !isLoopback(ip)) return nullptr;
        if (clients.size() >= options.maxClients) {
            // The longest silent client that never subscribed makes room; subscribers stay.
            auto victim = clients.end();
            for (auto it = clients.begin(); it != clients.end(); ++it)
                if (!it->subscribed && (victim == clients.end() || it->lastHeard < victim->lastHeard))
                    victim = it;
            if (victim == clients.end()) {
                std::lock_guard lock(outMutex);
                ++stats.clientsRefused;
                return nullptr;
            }
            clients.erase(victim);
        }
        clients.push_back(Client{a, false, 0, now, now});
        return &clients.back();
    }

    void receive(const std::uint8_t* data, std::size_t size, const sockaddr_in& src) {
        const ClientAddress from = ClientAddress::of(src);
        const auto now = SteadyClock::now();
        Client* client = touch(from, now);
        const bool ok = forEachMessage(data, size, [&](std::string_view, const Request& r) {
            switch (r.kind) {
            case Request::Kind::Subscribe:
                if (client) {
                    client->subscribed = true;
                    if (r.rate >= 0) client->meterRate = std::min(r.rate, kMaxMeterRate);
                    dispatcher.requestSnapshot(from);
                }
                break;
            case Request::Kind::Unsubscribe:
                clients.erase(std::remove_if(clients.begin(), clients.end(),
                                             [&](const Client& c) { return c.address == from; }),
                              clients.end());
                client = nullptr;
                break;
            case Request::Kind::MeterRate:
                if (client) client->meterRate = std::min(r.rate, kMaxMeterRate);
                break;
            default:
                break;
            }
            dispatcher.submit(r, from); // counts control messages too; only field requests go further
        });
        if (!ok) dispatcher.noteMalformed();
        // The meter count first: whoever sees the new client count sees it too.
        meterClients.store(static_cast<std::size_t>(
            std::count_if(clients.begin(), clients.end(), [](const Client& c) { return c.meterRate > 0; })));
        clientCount.store(clients.size());
    }

    void sendTo(const ClientAddress& to, const std::string& datagram) {
        const sockaddr_in a = to.sockaddr();
        bool refused = false, failed = false;
        if (options.loopbackOnly && !isLoopback(a.sin_addr))
            refused = true;
        else
            failed = ::sendto(sock, datagram.data(), datagram.size(), MSG_NOSIGNAL,
                              reinterpret_cast<const sockaddr*>(&a),
                              sizeof a) != static_cast<ssize_t>(datagram.size());
        std::lock_guard lock(outMutex);
        if (refused)
            ++stats.refusedDestinations;
        else if (failed)
            ++stats.sendFailures;
        else
            ++stats.datagramsSent;
    }

    // Sends what the owner handed over; true when replies are still waiting for their round.
    bool flush() {
        std::vector<OutValue> changes;
        std::vector<Directed> replies;
        std::vector<std::int32_t> meterFrame;
        bool more = false;
        {
            std::lock_guard lock(outMutex);
            for (FieldId id : broadcastOrder) {
                changes.push_back(std::move(*broadcast[id]));
                broadcast[id].reset();
            }
            broadcastOrder.clear();
            // A round's replies: about kDirectedDatagramsPerRound datagrams' worth.
            std::size_t take = std::min<std::size_t>(directed.size(), kDirectedDatagramsPerRound * 12);
            for (std::size_t i = 0; i < take; ++i) {
                replies.push_back(std::move(directed.front()));
                directed.pop_front();
            }
            more = !directed.empty();
            if (metersFresh) meterFrame = meters;
            metersFresh = false;
        }
        if (!changes.empty() && !clients.empty()) {
            std::vector<std::string> messages;
            for (const OutValue& v : changes)
                messagesOf(v, messages);
            for (const std::string& d : pack(messages))
                for (const Client& c : clients)
                    sendTo(c.address, d);
        }
        for (std::size_t i = 0; i < replies.size();) {
            // Consecutive replies to one client share datagrams.
            std::vector<std::string> messages;
            const ClientAddress to = replies[i].to;
            for (; i < replies.size() && replies[i].to == to; ++i)
                messagesOf(replies[i].value, messages);
            for (const std::string& d : pack(messages))
                sendTo(to, d);
        }
        if (!meterFrame.empty()) {
            const auto now = SteadyClock::now();
            std::string message;
            for (Client& c : clients) {
                if (c.meterRate <= 0) continue;
                const auto period = std::chrono::duration_cast<SteadyClock::duration>(
                    std::chrono::duration<double>(1.0 / c.meterRate));
                // Status reports arrive with some jitter: a frame a little early still counts.
                if (now + period / 4 < c.nextMeter) continue;
                c.nextMeter = now - c.nextMeter < period ? c.nextMeter + period : now + period;
                if (message.empty()) message = metersMessage(meterFrame);
                sendTo(c.address, message);
            }
        }
        return more;
    }

    void run() {
        std::vector<std::uint8_t> buffer(65536);
        bool more = false;
        while (!stop.load()) {
            pollfd fds[2] = {{sock, POLLIN, 0}, {wake, POLLIN, 0}};
            const int n = ::poll(fds, 2, more ? kDirectedRoundMs : -1);
            if (n < 0 && errno != EINTR) break;
            if (stop.load()) break;
            if (fds[1].revents & POLLIN) {
                std::uint64_t count = 0;
                [[maybe_unused]] const auto r = ::read(wake, &count, sizeof count);
            }
            if (fds[0].revents & POLLIN) {
                // Bounded, so a flood cannot starve the feedback.
                for (int i = 0; i < 256; ++i) {
                    sockaddr_in src{};
                    socklen_t len = sizeof src;
                    const ssize_t got = ::recvfrom(sock, buffer.data(), buffer.size(), 0,
                                                   reinterpret_cast<sockaddr*>(&src), &len);
                    if (got < 0) break;
                    if (src.sin_family != AF_INET) continue;
                    receive(buffer.data(), static_cast<std::size_t>(got), src);
                }
            }
            more = flush();
        }
    }
};

OscServer::OscServer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

std::unique_ptr<OscServer> OscServer::start(remote::RemoteHost& host, const OscServerOptions& options,
                                            std::string& error) {
    auto impl = std::make_unique<Impl>(host, options);
    in_addr ip{};
    if (!parseIpv4(options.endpoint.address, ip)) {
        error = "OSC: \"" + options.endpoint.address + "\" is not an IPv4 address";
        return nullptr;
    }
    impl->sock = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    impl->wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (impl->sock < 0 || impl->wake < 0) {
        error = std::string("OSC: ") + std::strerror(errno);
        if (impl->sock >= 0) ::close(impl->sock);
        if (impl->wake >= 0) ::close(impl->wake);
        return nullptr;
    }
    // Room for a burst from a fader bank while the thread is busy sending; the system may cap it.
    const int rcvbuf = 1 << 20;
    ::setsockopt(impl->sock, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr = ip;
    a.sin_port = htons(options.endpoint.port);
    socklen_t len = sizeof a;
    if (::bind(impl->sock, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(impl->sock, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        error = "OSC: cannot listen on " + options.endpoint.address + ":" +
                std::to_string(options.endpoint.port) + ": " + std::strerror(errno);
        ::close(impl->sock);
        ::close(impl->wake);
        return nullptr;
    }
    impl->boundPort = ntohs(a.sin_port);

    const std::size_t fields = FieldRegistry::instance().fields().size();
    impl->broadcast.resize(fields);
    impl->lastRaw.resize(fields);
    impl->lastName.resize(fields);
    for (const OscEntry& e : OscMap::instance().entries()) {
        OutValue v = impl->read(e.field);
        impl->lastRaw[e.field] = v.raw;
        impl->lastName[e.field] = std::move(v.utf8);
    }
    Impl* raw = impl.get();
    impl->dispatcher.setReplyHandler(
        [raw](const ClientAddress& to, std::optional<FieldId> field) { raw->reply(to, field); });
    impl->thread = std::thread([raw] { raw->run(); });
    return std::unique_ptr<OscServer>(new OscServer(std::move(impl)));
}

OscServer::~OscServer() {
    impl_->stop.store(true);
    impl_->signal();
    if (impl_->thread.joinable()) impl_->thread.join();
    ::close(impl_->sock);
    ::close(impl_->wake);
}

std::uint16_t OscServer::port() const {
    return impl_->boundPort;
}

const std::string& OscServer::address() const {
    return impl_->options.endpoint.address;
}

std::size_t OscServer::clientCount() const {
    return impl_->clientCount.load();
}

DispatchStats OscServer::dispatchStats() const {
    return impl_->dispatcher.stats();
}

OscServerStats OscServer::stats() const {
    std::lock_guard lock(impl_->outMutex);
    return impl_->stats;
}

void OscServer::tell(const ClientAddress& to, std::optional<FieldId> field) {
    impl_->reply(to, field);
}

void OscServer::fieldsChanged(const ChangeSet& changes) {
    Impl& m = *impl_;
    {
        std::lock_guard lock(m.outMutex);
        if (changes.all()) {
            for (const OscEntry& e : OscMap::instance().entries())
                m.noteChange(e.field);
        } else {
            for (FieldId id : changes.fields())
                m.noteChange(id);
        }
        if (m.broadcastOrder.empty()) return;
    }
    // Nobody to tell: the values wait, latest first, for the next client's first flush.
    if (m.clientCount.load() == 0) return;
    m.signal();
}

void OscServer::metersUpdated() {
    Impl& m = *impl_;
    if (m.meterClients.load() == 0) return; // twenty a second would wake the thread for nothing
    {
        std::lock_guard lock(m.outMutex);
        m.meters = meterValues(m.host.state());
        m.metersFresh = true;
    }
    m.signal();
}

std::unique_ptr<OscServer> startOscBridge(remote::RemoteHost& host, const std::string& address,
                                          std::uint16_t port, std::string& error) {
    OscServerOptions o;
    o.endpoint.address = address;
    o.endpoint.port = port;
    o.loopbackOnly = loopbackOnlyFromEnvironment();
    return OscServer::start(host, o, error);
}

std::unique_ptr<OscServer> startOscBridge(remote::RemoteHost& host, std::string_view option,
                                          std::string& error) {
    OscEndpoint e;
    if (!parseOscEndpoint(option, e, error)) {
        error = "--osc: " + error;
        return nullptr;
    }
    return startOscBridge(host, e.address, e.port, error);
}

std::string offLoopbackWarning(std::string_view address, std::uint16_t port) {
    if (isLoopbackIpv4(address)) return {};
    return "warning: OSC on " + std::string(address) + ":" + std::to_string(port) +
           " takes edits from anyone who can reach it (OSC has no token)";
}

} // namespace quorvel::osc
