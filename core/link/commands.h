// The command catalogue: one builder per letter, each returning the exact text that goes on the
// wire, read from DeviceState. Building is kept apart from sending so that every frame can be
// checked to the character without a socket.
#pragma once

#include <netinet/in.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/device_state.h"

namespace quorvel {

// A frame ready for the paced sender. V goes out in pieces of at most 256 bytes, each followed
// by pauseAfter; every other frame is one datagram followed by pauseAfter.
struct OutgoingFrame {
    std::string text;
    std::chrono::milliseconds pauseAfter{0};
    bool inPieces = false;
    // Never replaced by a newer frame for the same record, nor replacing one: a sequence that
    // sends one record twice on purpose (a SYNCed threshold) keeps both.
    bool keepsPlace = false;
};

inline constexpr std::size_t kPieceBytes = 256;
inline constexpr std::size_t kNameBitmapBytes = 288;
inline constexpr std::chrono::milliseconds kCommandPause{10}; // after Z, W, X and each V piece

using Ipv4Octets = std::array<std::uint8_t, 4>;

// Builders that index a record (B..L, O, V, X) return an empty string for a selector outside the
// range noted beside them, instead of reading past DeviceState; there is nothing to send then.

std::string buildA(const DeviceState& s, int channel);           // channel 1..20, above 20 bare
std::string buildB(const DeviceState& s, int channel);           // 1..12
std::string buildC(const DeviceState& s, int channel);           // 1..12
std::string buildD(const DeviceState& s, int output);            // 1..8
std::string buildE(const DeviceState& s, int channel);           // 1..18
std::string buildF(const DeviceState& s, int channel);           // 1..18
std::string buildG(const DeviceState& s, int channel, int band); // 1..18, 1..4
std::string buildH(const DeviceState& s, int output);            // 1..8
std::string buildI(const DeviceState& s, int record);            // 1..8
std::string buildJ(const DeviceState& s, int record);            // 1..8
std::string buildK(const DeviceState& s, int record);            // 1..8
std::string buildL(const DeviceState& s, int channel);           // 1..18
std::string buildM(const DeviceState& s);
std::string buildN(const DeviceState& s);
std::string buildO(const DeviceState& s, int channel);      // 1..12
std::string buildQ(int value);                              // 0 stop reports, 1 resume
std::string buildV(const DeviceState& s, int channel);      // 1..20; always 624 bytes
std::string buildW(int unit);                               // 1..4 (0 allowed: CALL with none selected)
std::string buildX(const DeviceState& s, int unit);         // 1..4
std::string buildZ(const Ipv4Octets& ownAddress, int port); // handshake

// Frames of our own for what the catalogue never carried (lower-case letters, like r):
std::string buildSends(const DeviceState& s, int source); // a: source 1..18, its nine send levels
std::string buildDelay(const DeviceState& s);             // y: delay parameters, mutes A 27, A 28
std::string buildReverb(const DeviceState& s);            // v: reverberation, mutes A 29, A 30

// Same builders behind one entry point, with the selector ranges checked and the pause and
// piece rule attached. Used by the CLI, the typed value entry and the bulk transfer.
// On a bad letter or selector returns false and sets error to one readable line.
bool buildCommand(const DeviceState& s, char letter, std::span<const int> selectors,
                  const Ipv4Octets& ownAddress, OutgoingFrame& out, std::string& error);

// The 288-byte dot bitmap of a name (GBK bytes) as the device shows it, before bit reversal.
std::array<std::uint8_t, kNameBitmapBytes> renderNameBitmap(std::string_view gbkName);

// Cuts a frame into datagrams of at most kPieceBytes.
std::vector<std::string> splitPieces(const std::string& frame, std::size_t pieceBytes = kPieceBytes);

// The local address the kernel would send from to reach the device, read from a UDP socket
// connected to it (connecting a datagram socket sends nothing); nullopt without a route.
std::optional<in_addr> localAddressOfRoute(const in_addr& device);
using RouteLookup = std::function<std::optional<in_addr>(const in_addr& device)>;

// The program's own IPv4 address as the device should answer to: the local end of the route to
// the device (route empty: localAddressOfRoute); 0.0.0.0 when there is none or the device
// address is malformed. Loopback device addresses get 127.0.0.1 instead (the application binds
// there when it talks to a local simulator).
Ipv4Octets ownAddressFor(const std::string& deviceAddress, const RouteLookup& route = {});

} // namespace quorvel
