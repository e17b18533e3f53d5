#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "../live/ports.h"
#include "admin/discovery.h"
#include "link/frame.h"
#include "link/ipv4.h"
#include "sim/simulator.h"

namespace quorvel {
namespace {

in_addr ip(const char* text) {
    in_addr a{};
    EXPECT_TRUE(parseIpv4(text, a)) << text;
    return a;
}

std::vector<int> lastOctets(const std::vector<in_addr>& v) {
    std::vector<int> out;
    for (const in_addr& a : v)
        out.push_back(octetsOf(a)[3]);
    return out;
}

TEST(SweepTargets, StayInsideTheSubnetAndItsHosts) {
    // A /24 from .7: .2 .. .254 less .7, 252 hosts, never .0, .1 or .255.
    auto t = lastOctets(sweepTargets(ip("192.168.1.7"), ip("255.255.255.0")));
    ASSERT_EQ(t.size(), 252u);
    EXPECT_EQ(t.front(), 2);
    EXPECT_EQ(t.back(), 254);
    EXPECT_EQ(std::count(t.begin(), t.end(), 7), 0);
    for (const in_addr& a : sweepTargets(ip("192.168.1.7"), ip("255.255.255.0")))
        EXPECT_EQ(octetsOf(a)[2], 1);

    // The lower half of a /25 ends at its broadcast .127, which is never sent to.
    t = lastOctets(sweepTargets(ip("10.0.0.10"), ip("255.255.255.128")));
    ASSERT_EQ(t.size(), 124u); // 2..126 less 10
    EXPECT_EQ(t.back(), 126);
    // The upper half starts at its network address .128.
    t = lastOctets(sweepTargets(ip("10.0.0.200"), ip("255.255.255.128")));
    ASSERT_EQ(t.size(), 125u); // 129..254 less 200
    EXPECT_EQ(t.front(), 129);

    // Loopback is a /8: only the own /24 is swept, .2 .. .254.
    t = lastOctets(sweepTargets(ip("127.0.0.1"), ip("255.0.0.0")));
    ASSERT_EQ(t.size(), 253u);
    EXPECT_EQ(t.front(), 2);

    // A point-to-point /30 has two hosts, the other one is .5 or .6.
    t = lastOctets(sweepTargets(ip("172.16.0.5"), ip("255.255.255.252")));
    EXPECT_EQ(t, std::vector<int>{6});
    EXPECT_TRUE(sweepTargets(ip("172.16.0.5"), ip("255.255.255.255")).empty());
}

std::string answer(std::string_view secondField) {
    CommandFrame f('R');
    f.x2(1).raw(secondField).comma().raw("127000000002").comma().dec(39020);
    return std::move(f).finish();
}

TEST(SearchAnswer, OnlyAValidRFrameWhoseSecondFieldIsFourDigitsReadingFive) {
    EXPECT_TRUE(isSearchAnswer(answer("0005")));
    EXPECT_FALSE(isSearchAnswer(answer("05")));
    EXPECT_FALSE(isSearchAnswer(answer("00005")));
    EXPECT_FALSE(isSearchAnswer(answer("0006")));
    EXPECT_FALSE(isSearchAnswer(answer("000A")));
    EXPECT_FALSE(isSearchAnswer(answer(" 005")));
    // Zero padding after the frame is ignored; anything after the padding is not.
    EXPECT_TRUE(isSearchAnswer(answer("0005") + std::string(20, '\0')));
    EXPECT_FALSE(isSearchAnswer(answer("0005") + std::string(3, '\0') + "x"));
    std::string bad = answer("0005");
    bad[bad.size() - 2] = bad[bad.size() - 2] == '0' ? '1' : '0';
    EXPECT_FALSE(isSearchAnswer(bad));
    std::string lower = answer("0005");
    lower[1] = 'r';
    EXPECT_FALSE(isSearchAnswer(lower));
    // Over 128 bytes is refused even when it is a valid frame.
    CommandFrame big('R');
    big.x2(1).raw("0005").comma().raw(std::string(120, '7')).comma();
    const std::string longAnswer = std::move(big).finish();
    ASSERT_TRUE(validateFrame(longAnswer));
    EXPECT_FALSE(isSearchAnswer(longAnswer));
    EXPECT_FALSE(isSearchAnswer(""));
    EXPECT_FALSE(isSearchAnswer("%R,#"));
}

TEST(SearchFrame, CarriesTheOwnAddressAndPort) {
    const std::string f = buildSearchFrame({127, 0, 0, 1}, 39020);
    EXPECT_EQ(f.substr(0, f.size() - 5), "%R,01,05,127000000001,39020,");
    EXPECT_TRUE(validateFrame(f));
}

TEST(ChooseInterface, FindsLoopbackAndRefusesStrangers) {
    std::string error;
    auto lo = chooseInterface("127.0.0.1", error);
    ASSERT_TRUE(lo) << error;
    EXPECT_TRUE(isLoopback(lo->address));
    EXPECT_FALSE(chooseInterface("not an address", error));
    EXPECT_FALSE(chooseInterface("203.0.113.77", error)); // a documentation address no host has
    EXPECT_NE(error.find("203.0.113.77"), std::string::npos);
}

// A peer that answers every search frame with the texts it is given, from its own address.
class Peer {
public:
    Peer(const char* address, std::uint16_t port, std::vector<std::string> replies)
        : replies_(std::move(replies)) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        sa.sin_addr = ip(address);
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0) << address;
        thread_ = std::thread([this] { run(); });
    }
    ~Peer() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    int received() const { return received_.load(); }

private:
    void run() {
        char buf[2048];
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            sockaddr_in from{};
            socklen_t len = sizeof from;
            if (::recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len) <= 0) continue;
            ++received_;
            for (const std::string& r : replies_)
                ::sendto(fd_, r.data(), r.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
        }
    }
    int fd_ = -1;
    std::vector<std::string> replies_;
    std::atomic<bool> stop_{false};
    std::atomic<int> received_{0};
    std::thread thread_;
};

struct Heard {
    std::mutex mu;
    std::condition_variable cv;
    std::vector<FoundDevice> found;
    std::optional<DiscoveryResult> result;
    int lastProgress = 0;

    DiscoveryResult wait() {
        std::unique_lock lock(mu);
        cv.wait_for(lock, std::chrono::seconds(20), [&] { return result.has_value(); });
        return result.value_or(DiscoveryResult{});
    }
};

DiscoveryOptions loopbackSearch(std::uint16_t port) {
    std::string error;
    DiscoveryOptions o;
    o.from = chooseInterface("127.0.0.1", error).value();
    o.port = port;
    o.bindPort = port;
    o.linger = std::chrono::milliseconds(400);
    o.loopbackOnly = true;
    return o;
}

bool startSearch(Discovery& d, const DiscoveryOptions& o, Heard& h, std::string& error) {
    return d.start(
        o,
        [&h](const FoundDevice& f) {
            std::lock_guard lock(h.mu);
            h.found.push_back(f);
        },
        [&h](int sent, int) {
            std::lock_guard lock(h.mu);
            h.lastProgress = sent;
        },
        [&h](const DiscoveryResult& r) {
            std::lock_guard lock(h.mu);
            h.result = r;
            h.cv.notify_all();
        },
        error);
}

TEST(Discovery, ListsEachAnsweringDeviceOnceFromLoopback) {
    const std::uint16_t port = testPort(1);
    std::vector<std::unique_ptr<sim::Simulator>> sims;
    for (const char* a : {"127.0.0.2", "127.0.0.3", "127.0.0.5"}) {
        sim::SimOptions so;
        so.bind = a;
        so.port = port;
        so.meterHz = 1;
        sims.push_back(std::make_unique<sim::Simulator>(so));
        std::string error;
        ASSERT_TRUE(sims.back()->start(error)) << error;
    }
    // .7 answers twice; .9 answers with a two-character field and must not be listed.
    const std::string good = answer("0005");
    Peer twice("127.0.0.7", port, {good, good});
    Peer wrong("127.0.0.9", port, {answer("05")});

    Discovery d;
    Heard h;
    std::string error;
    ASSERT_TRUE(startSearch(d, loopbackSearch(port), h, error)) << error;
    const DiscoveryResult r = h.wait();
    d.stop();

    std::map<std::string, int> seen;
    for (const FoundDevice& f : h.found) {
        ++seen[f.ip];
        EXPECT_EQ(f.port, port);
    }
    EXPECT_EQ(seen, (std::map<std::string, int>{
                        {"127.0.0.2", 1}, {"127.0.0.3", 1}, {"127.0.0.5", 1}, {"127.0.0.7", 1}}));
    EXPECT_EQ(r.targets, 253);
    EXPECT_EQ(r.framesSent, 253);
    EXPECT_EQ(h.lastProgress, 253);
    EXPECT_EQ(r.answers, 5); // .7's second answer counted, not listed
    EXPECT_GE(r.refused, 1);
    EXPECT_EQ(twice.received(), 1);
    EXPECT_EQ(wrong.received(), 1);
    // 252 gaps of at least 5 ms between the frames.
    EXPECT_GE(r.sweepTime, std::chrono::milliseconds(252 * 5));
}

TEST(Discovery, SendsNothingWhenItCannotListen) {
    const std::uint16_t port = testPort(2);
    Peer listener("127.0.0.2", port, {});
    // The port on the search address is taken: the search cannot hear, so it does not sweep.
    const int blocker = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr = ip("127.0.0.1");
    ASSERT_EQ(::bind(blocker, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    Discovery d;
    Heard h;
    std::string error;
    EXPECT_FALSE(startSearch(d, loopbackSearch(port), h, error));
    EXPECT_NE(error.find("cannot bind"), std::string::npos) << error;
    EXPECT_FALSE(d.running());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(listener.received(), 0);
    ::close(blocker);
}

TEST(Discovery, RefusesAnInterfaceOutsideLoopbackInLoopbackOnlyMode) {
    DiscoveryOptions o = loopbackSearch(testPort(3));
    o.from.address = ip("192.168.1.7");
    o.from.netmask = ip("255.255.255.0");
    Discovery d;
    Heard h;
    std::string error;
    EXPECT_FALSE(startSearch(d, o, h, error));
    EXPECT_NE(error.find("loopback"), std::string::npos) << error;
}

TEST(Discovery, StopEndsTheSweepAtOnce) {
    DiscoveryOptions o = loopbackSearch(testPort(4));
    o.gap = std::chrono::milliseconds(50); // 12 s of sweep if nobody stopped it
    Discovery d;
    Heard h;
    std::string error;
    ASSERT_TRUE(startSearch(d, o, h, error)) << error;
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    d.stop();
    ASSERT_TRUE(h.result.has_value());
    EXPECT_TRUE(h.result->stopped);
    EXPECT_LT(h.result->framesSent, 253);
}

} // namespace
} // namespace quorvel
