#include "effects.h"

#include <algorithm>
#include <vector>

#include "link/frame.h"

namespace quorvel::sim {
namespace {

// The fields after the letter, unit first; the empty piece before the checksum is not one.
std::vector<std::string_view> fieldsOf(std::string_view frame) {
    std::vector<std::string_view> out;
    if (frame.size() < kMinFrameLength || frame[2] != ',') return out;
    std::string_view body = frame.substr(3, frame.size() - 3 - 5);
    while (!body.empty()) {
        const std::size_t c = body.find(',');
        if (c == std::string_view::npos) {
            out.push_back(body);
            break;
        }
        out.push_back(body.substr(0, c));
        body.remove_prefix(c + 1);
    }
    return out;
}

bool hexOnly(std::string_view f) {
    return std::all_of(f.begin(), f.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

// Every field present, of its width, in hex: a frame from another firmware is not half-read.
bool shaped(const std::vector<std::string_view>& f, std::initializer_list<std::size_t> widths) {
    if (f.size() != widths.size()) return false;
    std::size_t i = 0;
    for (std::size_t w : widths) {
        if (f[i].size() != w || !hexOnly(f[i])) return false;
        ++i;
    }
    return true;
}

int value(std::string_view f) {
    return static_cast<int>(decodeHexField(f));
}

void pair(std::string& t, int v) {
    appendX2(t, v & 0xFF);
}
void word(std::string& t, int v) {
    appendX4(t, v & 0xFFFF);
}

// A send level as a meter offset: 60 is unity, as for the faders.
int through(int meter, int level) {
    return meter + (level - 60);
}

} // namespace

bool applyEffectCommand(DeviceState& s, std::string_view frame) {
    if (frame.size() < kMinFrameLength) return false;
    const auto f = fieldsOf(frame);
    switch (frame[1]) {
    case 'a': {
        if (!shaped(f, {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2})) return false;
        const int source = value(f[1]);
        if (source < 1 || source > kInputRecords) return false;
        for (std::size_t k = 0; k < 9; ++k)
            s.in(source).sendLevel[k] = value(f[2 + k]);
        return true;
    }
    case 'y': {
        if (!shaped(f, {2, 4, 4, 2, 4, 2, 2})) return false;
        InputChannel& d = s.in(kDelayRecord);
        for (std::size_t k = 0; k < 4; ++k)
            d.effectParams[kDelayFirst + k] = value(f[1 + k]);
        d.mute = value(f[5]);
        d.unused = value(f[6]);
        return true;
    }
    case 'v': {
        if (!shaped(f, {2, 2, 2, 2, 2, 2, 4, 2, 2})) return false;
        InputChannel& r = s.in(kReverbRecord);
        for (std::size_t k = 0; k < 6; ++k)
            r.effectParams[kReverbFirst + k] = value(f[1 + k]);
        r.mute = value(f[7]);
        r.unused = value(f[8]);
        return true;
    }
    default:
        return false;
    }
}

std::string sendsSection(const DeviceState& s) {
    std::string t;
    for (const InputChannel& ch : s.input)
        for (std::int32_t v : ch.sendLevel)
            pair(t, v);
    return t;
}

std::string delaySection(const DeviceState& s) {
    const InputChannel& d = s.in(kDelayRecord);
    const auto& p = d.effectParams;
    std::string t;
    word(t, p[0]), word(t, p[1]), pair(t, p[2]), word(t, p[3]), pair(t, d.mute), pair(t, d.unused);
    return t;
}

std::string reverbSection(const DeviceState& s) {
    const InputChannel& r = s.in(kReverbRecord);
    const auto& p = r.effectParams;
    std::string t;
    for (std::size_t k = 5; k <= 9; ++k)
        pair(t, p[k]);
    word(t, p[10]), pair(t, r.mute), pair(t, r.unused);
    return t;
}

std::array<int, 4> effectMeters(const DeviceState& s, const int (&meters)[20]) {
    auto heard = [&](std::size_t send, const InputChannel& ret) {
        if (ret.unused) return 0; // the effect's input is muted
        int best = 0;
        for (int c = 1; c <= kAnalogInputs; ++c) {
            const InputChannel& ch = s.in(c);
            // A silent input sends nothing, however far its send is open.
            if (ch.mute || meters[c - 1] <= 0) continue;
            best = std::max(best, through(meters[c - 1], ch.sendLevel[send]));
        }
        return std::clamp(best, 0, 90);
    };
    const InputChannel& delay = s.in(kDelayRecord);
    const InputChannel& reverb = s.in(kReverbRecord);
    const int delayIn = heard(7, delay);
    const int reverbIn = heard(8, reverb);
    // The delay's repeats add a little with feedback; the reverberation's tail sits a few below.
    // Nothing in, nothing out.
    const int delayOut =
        delay.mute || delayIn == 0 ? 0 : std::clamp(delayIn - 3 + delay.effectParams[2] / 20, 0, 90);
    const int reverbOut =
        reverb.mute || reverbIn == 0 ? 0 : std::clamp(reverbIn - 6 + reverb.effectParams[9] / 20, 0, 90);
    return {delayIn, delayOut, reverbIn, reverbOut};
}

} // namespace quorvel::sim
