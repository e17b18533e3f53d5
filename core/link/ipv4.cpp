#include "link/ipv4.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>

namespace quorvel {

bool parseIpv4(std::string_view text, in_addr& out) {
    // inet_pton needs a terminated string and refuses the shorthand forms ("1.2.3", "0x7f.1")
    // that inet_addr would quietly turn into some other address.
    if (text.empty() || text.size() > 15) return false;
    char buf[16] = {};
    std::memcpy(buf, text.data(), text.size());
    return inet_pton(AF_INET, buf, &out) == 1;
}

bool isValidIpv4(std::string_view text) {
    in_addr a{};
    return parseIpv4(text, a);
}

bool isLoopback(const in_addr& address) {
    return (ntohl(address.s_addr) >> 24) == 127;
}

bool isLoopbackIpv4(std::string_view text) {
    in_addr a{};
    return parseIpv4(text, a) && isLoopback(a);
}

std::array<std::uint8_t, 4> octetsOf(const in_addr& address) {
    const std::uint32_t h = ntohl(address.s_addr);
    return {static_cast<std::uint8_t>(h >> 24), static_cast<std::uint8_t>(h >> 16),
            static_cast<std::uint8_t>(h >> 8), static_cast<std::uint8_t>(h)};
}

bool loopbackOnlyFromEnvironment() {
    const char* v = std::getenv("QUORVEL_LOOPBACK_ONLY");
    return v && *v && std::strcmp(v, "0") != 0;
}

} // namespace quorvel
