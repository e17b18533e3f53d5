// A test's OSC client: messages built and read with liblo, on a socket bound to 127.0.0.1 (liblo's
// own servers listen on every interface).
#pragma once

#include <arpa/inet.h>
#include <lo/lo.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace quorvel::osc::rig {

struct Received {
    std::string address;
    std::string types;
    std::vector<double> numbers; // i, f, d, h
    std::string text;            // the first s
};

class OscClient {
public:
    explicit OscClient(std::uint16_t serverPort) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        server_ = a;
        server_.sin_port = htons(serverPort);
    }
    ~OscClient() { ::close(fd_); }

    // Takes ownership of m.
    void send(const std::string& path, lo_message m) {
        std::size_t len = 0;
        void* bytes = lo_message_serialise(m, path.c_str(), nullptr, &len);
        sendRaw(std::string(static_cast<const char*>(bytes), len));
        std::free(bytes);
        lo_message_free(m);
    }
    void sendInt(const std::string& path, std::int32_t v) {
        lo_message m = lo_message_new();
        lo_message_add_int32(m, v);
        send(path, m);
    }
    void sendFloat(const std::string& path, float v) {
        lo_message m = lo_message_new();
        lo_message_add_float(m, v);
        send(path, m);
    }
    void sendString(const std::string& path, const std::string& v) {
        lo_message m = lo_message_new();
        lo_message_add_string(m, v.c_str());
        send(path, m);
    }
    void sendNone(const std::string& path) { send(path, lo_message_new()); }
    void sendRaw(const std::string& datagram) {
        ::sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&server_),
                 sizeof server_);
    }

    // Every message received until `until` says it is enough, or the time is up.
    template <class Pred>
    bool receiveUntil(std::vector<Received>& got, Pred until, std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!until(got)) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            std::vector<std::uint8_t> buf(65536);
            const ssize_t n = ::recv(fd_, buf.data(), buf.size(), 0);
            if (n > 0) parse(buf.data(), static_cast<std::size_t>(n), got);
        }
        return true;
    }
    // The last value received on an address, or nothing.
    static const Received* last(const std::vector<Received>& got, const std::string& address) {
        for (auto it = got.rbegin(); it != got.rend(); ++it)
            if (it->address == address) return &*it;
        return nullptr;
    }

private:
    static void parse(std::uint8_t* data, std::size_t size, std::vector<Received>& got) {
        if (size >= 16 && std::memcmp(data, "#bundle", 8) == 0) {
            std::size_t at = 16;
            while (at + 4 <= size) {
                const std::uint32_t n = (std::uint32_t{data[at]} << 24) |
                                        (std::uint32_t{data[at + 1]} << 16) |
                                        (std::uint32_t{data[at + 2]} << 8) | data[at + 3];
                at += 4;
                if (n > size - at) return;
                parse(data + at, n, got);
                at += n;
            }
            return;
        }
        int result = 0;
        lo_message m = lo_message_deserialise(data, size, &result);
        if (!m) return;
        Received r;
        r.address = reinterpret_cast<const char*>(data);
        const int argc = lo_message_get_argc(m);
        r.types.assign(lo_message_get_types(m), static_cast<std::size_t>(argc));
        lo_arg** argv = lo_message_get_argv(m);
        for (int i = 0; i < argc; ++i) {
            // Arguments sit at 4-byte offsets: copied out, not read through the union.
            const void* p = argv[i];
            auto as = [p](auto v) {
                std::memcpy(&v, p, sizeof v);
                return v;
            };
            switch (r.types[static_cast<std::size_t>(i)]) {
            case LO_INT32:
                r.numbers.push_back(as(std::int32_t{}));
                break;
            case LO_FLOAT:
                r.numbers.push_back(as(float{}));
                break;
            case LO_DOUBLE:
                r.numbers.push_back(as(double{}));
                break;
            case LO_INT64:
                r.numbers.push_back(static_cast<double>(as(std::int64_t{})));
                break;
            case LO_STRING:
                if (r.text.empty()) r.text = static_cast<const char*>(p);
                break;
            default:
                break;
            }
        }
        lo_message_free(m);
        got.push_back(std::move(r));
    }

    int fd_ = -1;
    sockaddr_in server_{};
};

} // namespace quorvel::osc::rig
