#include "link/commands.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "link/frame.h"
#include "link/gbk.h"
#include "link/ipv4.h"

namespace quorvel {
namespace {

bool inRange(int v, int lo, int hi) {
    return v >= lo && v <= hi;
}

// Fields that can only be x2 on the wire; channel and unit selectors are all of this kind.
constexpr int kMaxByteSelector = 0xFF;
constexpr int kMaxNameChannel = kAnalogInputs + kOutputRecords; // 13..20 are the outputs

// The name record a V (or A) channel refers to: 1..12 inputs, 13..20 outputs.
const NameField* nameFor(const DeviceState& s, int channel) {
    if (inRange(channel, 1, kAnalogInputs)) return &s.in(channel).name;
    if (inRange(channel, kAnalogInputs + 1, kMaxNameChannel)) return &s.out(channel - kAnalogInputs).name;
    return nullptr;
}

std::uint8_t reverseBits(std::uint8_t b) {
    b = static_cast<std::uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<std::uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    b = static_cast<std::uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
    return b;
}

} // namespace

std::string buildA(const DeviceState& s, int channel) {
    CommandFrame f('A');
    f.x2(kUnitId).x2(channel);
    if (inRange(channel, 1, kAnalogInputs)) {
        f.x2(s.in(channel).mute).x2(s.in(channel).level);
    } else if (inRange(channel, kAnalogInputs + 1, kMaxNameChannel)) {
        const OutputChannel& o = s.out(channel - kAnalogInputs);
        f.x2(o.mute).x2(o.level);
    }
    // Channels without a record (the effect returns use 27..30) go bare, just the number.
    return std::move(f).finish();
}

// The selector ranges below are preconditions; a selector that names no record yields an empty
// string rather than a read outside DeviceState.

std::string buildB(const DeviceState& s, int channel) {
    if (!inRange(channel, 1, kAnalogInputs)) return {};
    CommandFrame f('B');
    f.x2(kUnitId).x2(channel);
    std::string flags;
    for (std::int32_t r : s.in(channel).routeToOutput)
        appendX1(flags, r);
    f.raw(flags).comma();
    return std::move(f).finish();
}

std::string buildC(const DeviceState& s, int channel) {
    if (!inRange(channel, 1, kAnalogInputs)) return {};
    const Dynamics& d = s.in(channel).dynamics;
    CommandFrame f('C');
    f.x2(kUnitId).x2(channel);
    f.x2(d.compEnabled).x2(d.compRatio).x2(d.compThreshold).x2(d.compAttack).x2(d.compRelease).x2(d.compGain);
    return std::move(f).finish();
}

std::string buildD(const DeviceState& s, int output) {
    if (!inRange(output, 1, kOutputRecords)) return {};
    const auto& l = s.out(output).limiter;
    CommandFrame f('D');
    f.x2(kUnitId).x2(output);
    // The device wants the ratio right after the switch, unlike the storage order.
    f.x2(l[0]).x2(l[5]).x2(l[1]).x2(l[2]).x2(l[3]).x2(l[4]);
    return std::move(f).finish();
}

std::string buildE(const DeviceState& s, int channel) {
    if (!inRange(channel, 1, kInputRecords)) return {};
    const InputChannel& c = s.in(channel);
    CommandFrame f('E');
    f.x2(kUnitId).x2(channel).x2(c.lpfOn).x2(c.lpfType).x4(c.lpfFreq).x2(c.lpfSlope).x2(1);
    return std::move(f).finish();
}

std::string buildF(const DeviceState& s, int channel) {
    if (!inRange(channel, 1, kInputRecords)) return {};
    const InputChannel& c = s.in(channel);
    CommandFrame f('F');
    f.x2(kUnitId).x2(channel).x2(c.hpfOn).x2(c.hpfType).x4(c.hpfFreq).x2(c.hpfSlope).x2(1);
    return std::move(f).finish();
}

std::string buildG(const DeviceState& s, int channel, int band) {
    if (!inRange(channel, 1, kInputRecords) || !inRange(band, 1, kPeqBands)) return {};
    const InputChannel& c = s.in(channel);
    const PeqBand& b = c.peq[static_cast<std::size_t>(band - 1)];
    CommandFrame f('G');
    // Gain goes in 0.2 dB steps: odd stored gains lose their lowest bit on the wire.
    f.x2(kUnitId)
        .x2(channel)
        .x2(c.peqOn)
        .x2(band)
        .x2(b.bandType + 1)
        .x4(b.bandFreq)
        .x2(b.bandGain / 2)
        .x2(b.bandQ);
    return std::move(f).finish();
}

std::string buildH(const DeviceState& s, int output) {
    if (!inRange(output, 1, kOutputRecords)) return {};
    const OutputChannel& o = s.out(output);
    CommandFrame f('H');
    f.x2(kUnitId).x2(output).x2(o.geqOn);
    for (const GeqSlot& g : o.geq)
        f.x2(g.gain / 2);
    return std::move(f).finish();
}

std::string buildI(const DeviceState& s, int record) {
    if (!inRange(record, 1, kOutputRecords)) return {};
    CommandFrame f('I');
    f.x2(kUnitId).x2(record).x2(s.out(record).lineLevel);
    return std::move(f).finish();
}

std::string buildJ(const DeviceState& s, int record) {
    if (!inRange(record, 1, kOutputRecords)) return {};
    CommandFrame f('J');
    f.x2(kUnitId).x2(record).x2(1).x2(s.out(record).outSwitchJ);
    return std::move(f).finish();
}

std::string buildK(const DeviceState& s, int record) {
    if (!inRange(record, 1, kOutputRecords)) return {};
    CommandFrame f('K');
    f.x2(kUnitId).x2(record).x2(s.out(record).outSwitchK);
    return std::move(f).finish();
}

std::string buildL(const DeviceState& s, int channel) {
    if (!inRange(channel, 1, kInputRecords)) return {};
    const InputChannel& c = s.in(channel);
    CommandFrame f('L');
    f.x2(kUnitId).x2(channel).x2(c.automixThreshold).x2(c.priority);
    return std::move(f).finish();
}

std::string buildM(const DeviceState& s) {
    const AutomixSettings& a = s.automix;
    CommandFrame f('M');
    // lastHold travels third although it is stored last of these six.
    f.x2(kUnitId).x2(a.manualMode).x2(a.maxOpenChannels).x2(a.lastHold).x2(a.holdTime);
    f.x2(a.closedChannelAttenuation).x2(a.nomAttenuation);
    return std::move(f).finish();
}

std::string buildN(const DeviceState& s) {
    const AutomixSettings& a = s.automix;
    CommandFrame f('N');
    f.x2(kUnitId).x2(a.zeroCrossingRate).x2(a.energy).x2(a.compareCount).x2(a.thresholdCompensation);
    return std::move(f).finish();
}

std::string buildO(const DeviceState& s, int channel) {
    if (!inRange(channel, 1, kAnalogInputs)) return {};
    const InputChannel& c = s.in(channel);
    CommandFrame f('O');
    // The mask always describes channels 1..8, whichever channel the frame is for.
    f.x2(kUnitId).x2(channel).x2(c.danteSource).x2(phantomMask(s)).x2(c.gainStep);
    return std::move(f).finish();
}

std::string buildQ(int value) {
    return std::move(CommandFrame('Q').x2(kUnitId).x2(value)).finish();
}

std::string buildV(const DeviceState& s, int channel) {
    const NameField* field = nameFor(s, channel);
    if (!field) return {};
    const std::string_view gbk = nameView(*field);
    const std::u16string units = gbkToUtf16(gbk);

    CommandFrame f('V');
    f.x2(kUnitId).x2(channel);
    std::string text;
    text.reserve(8 * 4 + 1 + kNameBitmapBytes * 2 + 1);
    for (std::size_t i = 0; i < 8; ++i)
        appendX4(text, i < units.size() ? units[i] : 0);
    text.push_back(',');
    // The device takes each bitmap byte LSB first.
    for (std::uint8_t b : renderNameBitmap(gbk))
        appendX2(text, reverseBits(b));
    text.push_back(',');
    f.raw(text);
    return std::move(f).finish();
}

std::string buildW(int unit) {
    return std::move(CommandFrame('W').x2(kUnitId).x2(unit)).finish();
}

std::string buildX(const DeviceState& s, int unit) {
    if (!inRange(unit, 1, kUnits)) return {};
    CommandFrame f('X');
    f.x2(kUnitId).x2(unit);
    std::string slots;
    // An empty slot is spelt FF on the wire (the names report does the same); 00 is never sent.
    for (std::uint8_t b : s.units[static_cast<std::size_t>(unit - 1)])
        appendX2(slots, b == 0 ? 0xFF : b);
    f.raw(slots).comma();
    return std::move(f).finish();
}

std::string buildZ(const Ipv4Octets& ownAddress, int port) {
    CommandFrame f('Z');
    f.x2(kUnitId).x2(5);
    char octets[16];
    std::snprintf(octets, sizeof octets, "%03u%03u%03u%03u", unsigned{ownAddress[0]}, unsigned{ownAddress[1]},
                  unsigned{ownAddress[2]}, unsigned{ownAddress[3]});
    f.raw(octets).comma().dec(port);
    return std::move(f).finish();
}

std::string buildSends(const DeviceState& s, int source) {
    if (!inRange(source, 1, kInputRecords)) return {};
    CommandFrame f('a');
    f.x2(kUnitId).x2(source);
    for (std::int32_t v : s.in(source).sendLevel)
        f.x2(v);
    return std::move(f).finish();
}

std::string buildDelay(const DeviceState& s) {
    const InputChannel& d = s.in(kDelayRecord);
    const auto& p = d.effectParams;
    CommandFrame f('y');
    f.x2(kUnitId).x4(p[0]).x4(p[1]).x2(p[2]).x4(p[3]).x2(d.mute).x2(d.unused);
    return std::move(f).finish();
}

std::string buildReverb(const DeviceState& s) {
    const InputChannel& r = s.in(kReverbRecord);
    const auto& p = r.effectParams;
    CommandFrame f('v');
    f.x2(kUnitId);
    for (std::size_t k = 5; k <= 9; ++k)
        f.x2(p[k]);
    f.x4(p[10]).x2(r.mute).x2(r.unused);
    return std::move(f).finish();
}

namespace {

struct LetterRule {
    char letter;
    int selectors; // how many the letter takes
    int lo, hi;    // first selector
    const char* what;
};

constexpr LetterRule kRules[] = {
    {'A', 1, 1, kMaxByteSelector, "channel"},
    {'B', 1, 1, kAnalogInputs, "channel"},
    {'C', 1, 1, kAnalogInputs, "channel"},
    {'D', 1, 1, kOutputRecords, "output"},
    {'E', 1, 1, kInputRecords, "channel"},
    {'F', 1, 1, kInputRecords, "channel"},
    {'G', 2, 1, kInputRecords, "channel"},
    {'H', 1, 1, kOutputRecords, "output"},
    {'I', 1, 1, kOutputRecords, "output"},
    {'J', 1, 1, kOutputRecords, "output"},
    {'K', 1, 1, kOutputRecords, "output"},
    {'L', 1, 1, kInputRecords, "channel"},
    {'M', 0, 0, 0, ""},
    {'N', 0, 0, 0, ""},
    {'O', 1, 1, kAnalogInputs, "channel"},
    {'Q', 1, 0, 1, "value"},
    {'V', 1, 1, kMaxNameChannel, "channel"},
    // CALL with no unit selected sends unit 0.
    {'W', 1, 0, kUnits, "unit"},
    {'X', 1, 1, kUnits, "unit"},
    {'Z', 0, 0, 0, ""},
    {'a', 1, 1, kInputRecords, "source"},
    {'y', 0, 0, 0, ""},
    {'v', 0, 0, 0, ""},
};

std::string selectorUsage(const LetterRule& r) {
    std::string u(1, r.letter);
    if (r.selectors >= 1)
        u += " " + std::string(r.what) + " " + std::to_string(r.lo) + ".." + std::to_string(r.hi);
    if (r.letter == 'G') u += " band 1.." + std::to_string(kPeqBands);
    if (r.selectors == 0) u += " (no selector)";
    return u;
}

} // namespace

bool buildCommand(const DeviceState& s, char letter, std::span<const int> sel, const Ipv4Octets& ownAddress,
                  OutgoingFrame& out, std::string& error) {
    const LetterRule* rule = nullptr;
    for (const LetterRule& r : kRules)
        if (r.letter == letter) rule = &r;
    if (!rule) {
        error =
            "unknown command letter '" + std::string(1, letter) + "' (known: A-O, Q, V, W, X, Z, a, v, y)";
        return false;
    }
    if (static_cast<int>(sel.size()) != rule->selectors) {
        error = std::string(sel.size() < static_cast<std::size_t>(rule->selectors) ? "missing selector"
                                                                                   : "too many selectors") +
                " for " + std::string(1, letter) + ": expected " + selectorUsage(*rule);
        return false;
    }
    if (rule->selectors >= 1 && !inRange(sel[0], rule->lo, rule->hi)) {
        error = std::string(rule->what) + " " + std::to_string(sel[0]) + " is out of range for " +
                selectorUsage(*rule);
        return false;
    }
    if (letter == 'G' && !inRange(sel[1], 1, kPeqBands)) {
        error = "band " + std::to_string(sel[1]) + " is out of range for " + selectorUsage(*rule);
        return false;
    }

    out = OutgoingFrame{};
    const int a = sel.empty() ? 0 : sel[0];
    switch (letter) {
    case 'A':
        out.text = buildA(s, a);
        break;
    case 'B':
        out.text = buildB(s, a);
        break;
    case 'C':
        out.text = buildC(s, a);
        break;
    case 'D':
        out.text = buildD(s, a);
        break;
    case 'E':
        out.text = buildE(s, a);
        break;
    case 'F':
        out.text = buildF(s, a);
        break;
    case 'G':
        out.text = buildG(s, a, sel[1]);
        break;
    case 'H':
        out.text = buildH(s, a);
        break;
    case 'I':
        out.text = buildI(s, a);
        break;
    case 'J':
        out.text = buildJ(s, a);
        break;
    case 'K':
        out.text = buildK(s, a);
        break;
    case 'L':
        out.text = buildL(s, a);
        break;
    case 'M':
        out.text = buildM(s);
        break;
    case 'N':
        out.text = buildN(s);
        break;
    case 'O':
        out.text = buildO(s, a);
        break;
    case 'Q':
        out.text = buildQ(a);
        break;
    case 'V':
        out.text = buildV(s, a);
        out.inPieces = true;
        out.pauseAfter = kCommandPause;
        break;
    case 'W':
        out.text = buildW(a);
        out.pauseAfter = kCommandPause;
        break;
    case 'X':
        out.text = buildX(s, a);
        out.pauseAfter = kCommandPause;
        break;
    case 'Z':
        out.text = buildZ(ownAddress, s.link.udpPort);
        out.pauseAfter = kCommandPause;
        break;
    case 'a':
        out.text = buildSends(s, a);
        break;
    case 'y':
        out.text = buildDelay(s);
        break;
    case 'v':
        out.text = buildReverb(s);
        break;
    default:
        break;
    }
    return true;
}

std::vector<std::string> splitPieces(const std::string& frame, std::size_t pieceBytes) {
    std::vector<std::string> pieces;
    if (pieceBytes == 0) pieceBytes = kPieceBytes;
    for (std::size_t at = 0; at < frame.size(); at += pieceBytes)
        pieces.push_back(frame.substr(at, pieceBytes));
    return pieces;
}

std::optional<in_addr> localAddressOfRoute(const in_addr& device) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) return std::nullopt;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kDevicePort);
    to.sin_addr = device;
    std::optional<in_addr> local;
    sockaddr_in own{};
    socklen_t len = sizeof own;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&own), &len) == 0 && own.sin_addr.s_addr != INADDR_ANY)
        local = own.sin_addr;
    ::close(fd);
    return local;
}

Ipv4Octets ownAddressFor(const std::string& deviceAddress, const RouteLookup& route) {
    if (deviceAddress == "localhost" || isLoopbackIpv4(deviceAddress)) return {127, 0, 0, 1};
    in_addr device{};
    if (!parseIpv4(deviceAddress, device)) return {0, 0, 0, 0};
    // Not the host name's first address: on many systems that resolves to 127.0.1.1, and a
    // device told to answer there never completes the handshake.
    const std::optional<in_addr> local = route ? route(device) : localAddressOfRoute(device);
    if (!local) return {0, 0, 0, 0};
    return octetsOf(*local);
}

} // namespace quorvel
