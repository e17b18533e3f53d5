// Dotted IPv4 text and the loopback guard. The link, the simulator and the tools all read
// addresses here, so they cannot disagree about what is an address or where a datagram may go.
#pragma once

#include <netinet/in.h>

#include <array>
#include <cstdint>
#include <string_view>

namespace quorvel {

// Dotted-decimal IPv4 only; anything inet_pton refuses is malformed.
bool parseIpv4(std::string_view text, in_addr& out);
bool isValidIpv4(std::string_view text);
bool isLoopback(const in_addr& address); // inside 127.0.0.0/8
bool isLoopbackIpv4(std::string_view text);
// Most significant first, as the address is written.
std::array<std::uint8_t, 4> octetsOf(const in_addr& address);
// QUORVEL_LOOPBACK_ONLY set to anything but "" or "0".
bool loopbackOnlyFromEnvironment();

} // namespace quorvel
