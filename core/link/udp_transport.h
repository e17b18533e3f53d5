// The link's one UDP socket and the thread that receives on it.
//
// Sends may come from the paced sender's thread while the receive thread reads; the kernel allows
// both on a datagram socket. The socket outlives receive threads: stopping the receiver does not
// close it, so a final Q 0 still queued in the paced sender reaches the device.
#pragma once

#include <netinet/in.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "link/ipv4.h"
#include "link/reports.h"

namespace quorvel {

inline constexpr std::size_t kMaxDatagram = 2048;
inline constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;

// 127.0.0.1 for a device on loopback (a local simulator shares the port on its own address),
// otherwise every interface.
std::string defaultBindAddress(std::string_view deviceAddress);

class UdpTransport {
public:
    UdpTransport();
    ~UdpTransport();
    UdpTransport(const UdpTransport&) = delete;
    UdpTransport& operator=(const UdpTransport&) = delete;

    bool open(const std::string& bindAddress, std::uint16_t port, std::string& error);
    void close();
    bool isOpen() const;
    int fd() const { return fd_.load(); }
    std::uint16_t localPort() const;

    // Refuses a malformed address and, in loopback-only mode, anything outside 127.0.0.0/8.
    bool checkDestination(std::string_view host, std::string& error) const;
    bool checkDestination(const in_addr& address, std::string& error) const;
    // One datagram; true only when all of it was accepted by the kernel.
    bool sendTo(std::string_view host, std::uint16_t port, std::string_view data, std::string& error);
    // The same to an address parsed beforehand; the loopback guard still applies.
    bool sendTo(const sockaddr_in& to, std::string_view data, std::string& error);

    void setLoopbackOnly(bool on) { loopbackOnly_.store(on); }
    bool loopbackOnly() const { return loopbackOnly_.load(); }

    // Throws away whatever waits in the receive queue (stale reports from before a restart).
    void discardPending();

private:
    std::atomic<int> fd_{-1};
    mutable std::mutex mutex_;       // keeps a send from racing a close onto a reused descriptor
    std::atomic<bool> loopbackOnly_; // read by the sender thread
};

struct ReceiveStats {
    std::uint64_t datagrams = 0;
    std::uint64_t foreignDropped = 0; // datagrams from anyone but the device
    std::uint64_t framesAccepted = 0;
    DropCounts drops{}; // by reason: what the assembler and the sender check threw away
};

// Blocks in poll() on the socket and an eventfd, so it costs nothing while the line is quiet and
// ends at once when asked. Frames are cut and checked here; accepted frame texts wait in a queue
// for the owner thread, which alone parses them into DeviceState.
class ReceiveThread {
public:
    // Called on the receive thread when frames start waiting in an empty queue; the owner uses it
    // to post a wake-up to its own loop. One call per batch, not per frame.
    using Wake = std::function<void()>;

    ReceiveThread();
    ~ReceiveThread();
    ReceiveThread(const ReceiveThread&) = delete;
    ReceiveThread& operator=(const ReceiveThread&) = delete;

    // Accepts datagrams on fd only from the device's address.
    bool start(int fd, const in_addr& device, std::string& error);
    void stop(); // wakes the thread, joins it, drops frames not yet taken; idempotent
    bool running() const { return running_.load(); }

    void setWake(Wake wake);
    // Owner thread: moves every waiting frame text out, in arrival order.
    void takeFrames(std::deque<std::string>& out);
    // Owner thread: moves out the records of the drops since the last call (the most recent
    // kKeptDrops of them; the counts in stats() hold them all).
    static constexpr std::size_t kKeptDrops = 256;
    void takeDrops(std::vector<DropRecord>& out);
    bool hasFrames() const;
    // Waits (real time) until frames wait or the deadline passes.
    bool waitForFrames(std::chrono::steady_clock::time_point deadline);
    ReceiveStats stats() const;

private:
    void run(int fd, in_addr device);
    void noteDrop(DropReason why, std::string text);

    std::thread thread_;
    int stopFd_ = -1;
    std::atomic<bool> running_{false};
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::string> frames_;
    Wake wake_;
    std::atomic<std::uint64_t> datagrams_{0}, foreign_{0}, accepted_{0};
    std::array<std::atomic<std::uint64_t>, kDropReasons> dropCounts_{};
    std::deque<DropRecord> drops_;          // under mutex_
    bool dropsWaiting_ = false;             // receive thread only: drops were noted since the last wake
    std::atomic<bool> dropsPending_{false}; // drops_ may hold records
};

} // namespace quorvel
