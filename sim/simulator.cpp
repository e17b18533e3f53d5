#include "simulator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "command_apply.h"
#include "effects.h"
#include "firmware.h"
#include "link/ipv4.h"
#include "link/reports.h"
#include "meters.h"
#include "report_builder.h"

namespace quorvel::sim {

// Read exactly as the application's transport reads them, so the two can never disagree about
// whether a destination is allowed.
bool loopbackOnly() {
    return loopbackOnlyFromEnvironment();
}

bool isLoopbackAddress(const std::string& dotted) {
    return isLoopbackIpv4(dotted);
}

namespace {

constexpr std::size_t kMaxDatagram = 2048;
constexpr std::size_t kMaxClients = 64;
constexpr std::chrono::milliseconds kGlideStep{60}; // a hand on a fader: one step at a time

bool sameAddress(const sockaddr_in& a, const sockaddr_in& b) {
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

std::string addressText(const sockaddr_in& a) {
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a.sin_addr, buf, sizeof buf);
    return std::string(buf) + ":" + std::to_string(ntohs(a.sin_port));
}

} // namespace

struct Simulator::Impl {
    struct Client {
        sockaddr_in addr{};
        FrameAssembler assembler;
        bool subscribed = false;
        // Asked for the basic version or sending firmware: the updater's socket. Its Z is a
        // version query; reports streaming in would never let it finish reading the replies.
        bool updater = false;
        Clock::time_point lastSeen;
    };

    explicit Impl(SimOptions o)
        : opt(std::move(o)), rng(opt.seed), meters(opt.seed * 7919u + 1),
          firmware(opt.firmwareDir, opt.firmwareFail) {
        loadFactoryDefaults(model);
        meters.setSteadyTalkers(opt.talkers);
    }

    SimOptions opt;
    int fd = -1;
    int wakeFd = -1;
    std::uint16_t port = 0;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<std::uint64_t> applied{0};
    std::atomic<int> subscribed{0};

    // The model is shared with callers of snapshot() and moveFaderAtDevice(); everything else
    // below belongs to the simulator's thread.
    mutable std::mutex mu;
    DeviceState model;
    bool levelsDirty = false; // guarded by mu
    long long burst = 0;      // guarded by mu

    std::vector<Client> clients;
    std::mt19937 rng;
    SpeechMeters meters;
    std::array<int, 4> effectLevels{}; // delay in, out, reverberation in, out
    FirmwareReceiver firmware;
    int handshakes = 0;
    int blockFrames = 0; // T frames received, for dropAcks
    int reportNumber = 0;
    Clock::time_point started;
    Clock::time_point nextStatus;
    Clock::time_point lastMeterStep;
    Clock::time_point nextWiggle;
    int glideChannel = 0; // 0: no fader moving
    int glideTarget = 0;

    void log(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
        if (!opt.verbose) return;
        va_list ap;
        va_start(ap, fmt);
        std::fputs("quorvel-sim: ", stderr);
        std::vfprintf(stderr, fmt, ap);
        std::fputc('\n', stderr);
        va_end(ap);
    }

    double chance() { return std::uniform_real_distribution<double>(0, 1)(rng); }
    int between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

    bool silent(Clock::time_point now) const {
        return opt.silentAfterSeconds >= 0 &&
               std::chrono::duration<double>(now - started).count() >= opt.silentAfterSeconds;
    }

    // ---- sending -------------------------------------------------------------------------

    void sendDatagram(const sockaddr_in& to, std::string_view d) {
        if (opt.drop > 0 && chance() < opt.drop) return;
        std::string copy;
        if (opt.corrupt > 0 && chance() < opt.corrupt) {
            copy.assign(d);
            // One flipped bit in a character that is not a delimiter: CRC-16 catches every
            // single-bit error, so the frame is certain to fail its check, never to be misread.
            std::vector<std::size_t> spots;
            for (std::size_t i = 0; i < copy.size(); ++i) {
                char c = copy[i], f = static_cast<char>(c ^ 1);
                if (c != '%' && c != '#' && c != ',' && f != '%' && f != '#' && f != ',' && f != '\0')
                    spots.push_back(i);
            }
            if (!spots.empty()) {
                std::size_t i =
                    spots[static_cast<std::size_t>(between(0, static_cast<int>(spots.size()) - 1))];
                copy[i] = static_cast<char>(copy[i] ^ 1);
            }
            d = copy;
        }
        int times = (opt.duplicate > 0 && chance() < opt.duplicate) ? 2 : 1;
        for (int k = 0; k < times; ++k)
            ::sendto(fd, d.data(), d.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }

    void sendFrame(const sockaddr_in& to, const std::string& frame) {
        if (silent(Clock::now())) return;
        if (loopbackOnly() && !isLoopback(to.sin_addr)) {
            log("refused to send to %s outside loopback", addressText(to).c_str());
            return;
        }
        std::size_t pos = 0;
        while (pos < frame.size()) {
            std::size_t left = frame.size() - pos;
            std::size_t n = std::min(left, kMaxDatagram);
            if (opt.split && left > 1) n = static_cast<std::size_t>(between(1, static_cast<int>(n)));
            sendDatagram(to, std::string_view(frame).substr(pos, n));
            pos += n;
        }
    }

    void sendToSubscribers(const std::string& frame, const Client* except = nullptr) {
        for (const Client& c : clients)
            if (c.subscribed && &c != except) sendFrame(c.addr, frame);
    }

    void sendLevels(const Client* except = nullptr) {
        std::string p;
        {
            std::lock_guard lock(mu);
            p = buildLevelsReport(model, ++reportNumber);
        }
        sendToSubscribers(p, except);
    }

    void sendStatus() {
        std::string q =
            buildStatusReport(meters.meters(), meters.openMask(), meters.lastOpen(), effectLevels);
        sendToSubscribers(q);
    }

    void updateSubscribed() {
        const int before = subscribed;
        subscribed = static_cast<int>(
            std::count_if(clients.begin(), clients.end(), [](const Client& c) { return c.subscribed; }));
        if (before == 0 && subscribed > 0) {
            // Reports start one period from now, not at whatever tick was due while nobody
            // listened; the handshake's answer has the line to itself until then.
            lastMeterStep = Clock::now();
            nextStatus = lastMeterStep + statusPeriod();
        }
    }

    // ---- receiving -----------------------------------------------------------------------

    Client& clientFor(const sockaddr_in& from, Clock::time_point now) {
        for (Client& c : clients)
            if (sameAddress(c.addr, from)) {
                c.lastSeen = now;
                return c;
            }
        if (clients.size() >= kMaxClients) {
            // Forget the quietest client; a subscriber only when every slot is a subscriber.
            auto victim =
                std::min_element(clients.begin(), clients.end(), [](const Client& a, const Client& b) {
                    if (a.subscribed != b.subscribed) return !a.subscribed;
                    return a.lastSeen < b.lastSeen;
                });
            clients.erase(victim);
        }
        Client c;
        c.addr = from;
        c.lastSeen = now;
        clients.push_back(std::move(c));
        updateSubscribed();
        return clients.back();
    }

    void handshake(Client& c) {
        ++handshakes;
        if (opt.answerHandshake > 0 && handshakes != opt.answerHandshake) {
            log("handshake %d from %s left unanswered", handshakes, addressText(c.addr).c_str());
            return;
        }
        c.subscribed = !c.updater;
        updateSubscribed();
        std::string full, names;
        {
            std::lock_guard lock(mu);
            full = buildFullStateReport(model, "QUORVEL");
            names = buildNamesReport(model, std::clamp(opt.units, 0, kUnits));
        }
        sendFrame(c.addr, full);
        sendFrame(c.addr, names);
        // The version query is the same Z; its answer follows under a letter of its own that the
        // application's report dispatcher ignores.
        sendFrame(c.addr, buildHardwareVersionReply(opt.hardwareVersion));
        log("handshake from %s answered", addressText(c.addr).c_str());
    }

    void becomeUpdater(Client& c) {
        c.updater = true;
        c.subscribed = false;
        updateSubscribed();
    }

    void handleFrame(Client& c, std::string_view frame) {
        switch (frame[1]) {
        case 'Z':
            handshake(c);
            return;
        case 'R':
            sendFrame(c.addr, buildSearchAnswer(opt.bind, port));
            return;
        case 'r':
            becomeUpdater(c);
            sendFrame(c.addr, buildBasicVersionReply(opt.basicVersion));
            return;
        case 'S':
            becomeUpdater(c);
            sendFrame(c.addr, firmware.onStart(frame));
            log("firmware: %s", firmware.lastMessage().c_str());
            return;
        case 'T':
            becomeUpdater(c);
            {
                std::string ack = firmware.onBlock(frame);
                ++blockFrames;
                if (std::find(opt.dropAcks.begin(), opt.dropAcks.end(), blockFrames) != opt.dropAcks.end())
                    log("firmware: acknowledgement of block frame %d dropped", blockFrames);
                else
                    sendFrame(c.addr, ack);
            }
            if (!firmware.active()) log("firmware: %s", firmware.lastMessage().c_str());
            return;
        case 'U':
            sendFrame(c.addr, firmware.onEnd(frame));
            c.updater = false; // the next Z from here is a reconnect
            log("firmware: %s", firmware.lastMessage().c_str());
            return;
        default:
            break;
        }
        ApplyResult r;
        {
            std::lock_guard lock(mu);
            r = applyCommand(model, frame);
        }
        if (!r.applied) return;
        ++applied;
        if (r.reportsSwitch >= 0) {
            c.subscribed = r.reportsSwitch == 1;
            if (c.subscribed) c.updater = false;
            updateSubscribed();
        }
        if (r.calledUnit) log("call unit %d", r.calledUnit);
        // The sender already shows what it set; the others learn it from the levels report.
        if (r.levelsChanged) sendLevels(&c);
    }

    void receive(Clock::time_point now) {
        char buf[kMaxDatagram + 1];
        for (int k = 0; k < 256; ++k) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            ssize_t n =
                ::recvfrom(fd, buf, kMaxDatagram, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &len);
            if (n <= 0) return;
            buf[n] = '\0';
            // The text ends at the first zero byte: padded pieces of a block carry no more.
            std::string_view text(buf, std::strlen(buf));
            // Frame handlers never add or remove clients, so the reference holds for the feed.
            Client& c = clientFor(from, now);
            c.assembler.feed(text, [&](std::string_view frame) { handleFrame(c, frame); });
        }
    }

    // ---- timers --------------------------------------------------------------------------

    Clock::duration statusPeriod() const {
        double hz = std::clamp(opt.meterHz, 0.1, 1000.0);
        return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / hz));
    }

    void statusTick(Clock::time_point now) {
        if (subscribed == 0 || opt.meterHz <= 0) return;
        if (now < nextStatus) return;
        {
            std::lock_guard lock(mu);
            meters.step(std::chrono::duration<double>(now - lastMeterStep).count(), model);
            for (int c = 1; c <= kAnalogInputs; ++c)
                model.in(c).meter = meters.meters()[c - 1];
            for (int o = 1; o <= kOutputRecords; ++o)
                model.out(o).meter = meters.meters()[kAnalogInputs + o - 1];
            for (int c = 1; c <= 8; ++c)
                model.in(c).channelOpen = (meters.openMask() >> (c - 1)) & 1;
            effectLevels = effectMeters(model, meters.meters());
            model.effectMeters = effectLevels;
        }
        lastMeterStep = now;
        sendStatus();
        nextStatus += statusPeriod();
        if (nextStatus <= now) nextStatus = now + statusPeriod(); // fell behind: no catch-up burst
    }

    void wiggleTick(Clock::time_point now) {
        if (!opt.wiggle || now < nextWiggle) return;
        if (glideChannel == 0) {
            // Someone at the desk nudges a fader: an input or a master, a few dB either way.
            glideChannel = between(1, 16);
            std::lock_guard lock(mu);
            int cur = glideChannel <= 12 ? model.in(glideChannel).level : model.out(glideChannel - 12).level;
            int delta = between(3, 10) * (between(0, 1) ? 1 : -1);
            glideTarget = std::clamp(cur + delta, 0, 70);
            if (glideTarget == cur) glideTarget = std::clamp(cur - delta, 0, 70);
        }
        bool done;
        {
            std::lock_guard lock(mu);
            std::int32_t& level =
                glideChannel <= 12 ? model.in(glideChannel).level : model.out(glideChannel - 12).level;
            level += glideTarget > level ? 1 : (glideTarget < level ? -1 : 0);
            done = level == glideTarget;
        }
        sendLevels();
        if (done) {
            glideChannel = 0;
            nextWiggle = now + std::chrono::milliseconds(between(2000, 6000));
        } else {
            nextWiggle = now + kGlideStep;
        }
    }

    void crossThreadRequests() {
        bool dirty;
        long long n;
        {
            std::lock_guard lock(mu);
            dirty = levelsDirty;
            levelsDirty = false;
            n = burst;
            burst = 0;
        }
        if (dirty) sendLevels();
        if (n > 0) {
            std::string q =
                buildStatusReport(meters.meters(), meters.openMask(), meters.lastOpen(), effectLevels);
            for (long long i = 0; i < n; ++i)
                sendToSubscribers(q);
        }
    }

    int pollTimeoutMs(Clock::time_point now) const {
        Clock::time_point next = Clock::time_point::max();
        if (subscribed > 0 && opt.meterHz > 0) next = std::min(next, nextStatus);
        if (opt.wiggle) next = std::min(next, nextWiggle);
        if (next == Clock::time_point::max()) return -1; // nothing due: sleep until a datagram
        if (next <= now) return 0;
        auto ms = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
        return static_cast<int>(std::min<long long>(ms, 60'000));
    }

    void run() {
        auto now = Clock::now();
        nextStatus = now + statusPeriod();
        lastMeterStep = now;
        nextWiggle = now + std::chrono::seconds(2);
        while (!stopping) {
            pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
            int rc = ::poll(fds, 2, pollTimeoutMs(Clock::now()));
            if (rc < 0 && errno != EINTR) break;
            now = Clock::now();
            if (fds[1].revents & POLLIN) {
                std::uint64_t v;
                [[maybe_unused]] ssize_t r = ::read(wakeFd, &v, sizeof v);
            }
            if (stopping) break;
            if (fds[0].revents & POLLIN) receive(now);
            crossThreadRequests();
            now = Clock::now();
            statusTick(now);
            wiggleTick(now);
        }
    }

    void wake() {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t r = ::write(wakeFd, &one, sizeof one);
    }
};

Simulator::Simulator(SimOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

Simulator::~Simulator() {
    stop();
}

bool Simulator::start(std::string& error) {
    Impl& d = *impl_;
    if (d.thread.joinable()) {
        error = "already running";
        return false;
    }
    if (loopbackOnly() && !isLoopbackAddress(d.opt.bind)) {
        error = "refusing to bind " + d.opt.bind + ": QUORVEL_LOOPBACK_ONLY=1 allows 127.0.0.0/8 only";
        return false;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(d.opt.port);
    if (!parseIpv4(d.opt.bind, addr.sin_addr)) {
        error = "not an IPv4 address: " + d.opt.bind;
        return false;
    }
    d.fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (d.fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    // Bursts of commands (a bulk upload) and of reports (benchmarks) must not overflow.
    int bytes = 1 << 20;
    ::setsockopt(d.fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    ::setsockopt(d.fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
    if (::bind(d.fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        error = "bind " + d.opt.bind + ":" + std::to_string(d.opt.port) + ": " + std::strerror(errno);
        ::close(d.fd);
        d.fd = -1;
        return false;
    }
    socklen_t len = sizeof addr;
    ::getsockname(d.fd, reinterpret_cast<sockaddr*>(&addr), &len);
    d.port = ntohs(addr.sin_port);
    d.wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (d.wakeFd < 0) {
        error = std::string("eventfd: ") + std::strerror(errno);
        ::close(d.fd);
        d.fd = -1;
        return false;
    }
    d.stopping = false;
    d.started = Clock::now();
    d.thread = std::thread([&d] { d.run(); });
    d.log("listening on %s:%u", d.opt.bind.c_str(), static_cast<unsigned>(d.port));
    return true;
}

void Simulator::stop() {
    Impl& d = *impl_;
    if (d.thread.joinable()) {
        d.stopping = true;
        d.wake();
        d.thread.join();
    }
    if (d.fd >= 0) ::close(d.fd);
    if (d.wakeFd >= 0) ::close(d.wakeFd);
    d.fd = d.wakeFd = -1;
}

DeviceState Simulator::snapshot() const {
    std::lock_guard lock(impl_->mu);
    return impl_->model;
}

void Simulator::moveFaderAtDevice(int channel, int level) {
    Impl& d = *impl_;
    if (channel < 1 || channel > 20) return;
    {
        std::lock_guard lock(d.mu);
        (channel <= 12 ? d.model.in(channel).level : d.model.out(channel - 12).level) =
            std::clamp(level, 0, 70);
        d.levelsDirty = true;
    }
    if (d.wakeFd >= 0) d.wake();
}

std::uint64_t Simulator::commandsApplied() const {
    return impl_->applied;
}

std::uint16_t Simulator::boundPort() const {
    return impl_->port;
}

int Simulator::subscribedClients() const {
    return impl_->subscribed;
}

void Simulator::sendStatusBurst(int count) {
    Impl& d = *impl_;
    if (count <= 0) return;
    {
        std::lock_guard lock(d.mu);
        d.burst += count;
    }
    if (d.wakeFd >= 0) d.wake();
}

} // namespace quorvel::sim
