#include "command_apply.h"

#include <string>
#include <vector>

#include "effects.h"
#include "link/frame.h"
#include "link/gbk.h"

namespace quorvel::sim {
namespace {

// Fields after the letter: [0] unit, [1].. values; the trailing empty piece before the
// checksum is dropped.
std::vector<std::string_view> fieldsOf(std::string_view frame) {
    std::vector<std::string_view> out;
    if (frame.size() < kMinFrameLength) return out;
    std::string_view body = frame.substr(0, frame.size() - 5); // "%L,f1,...,fn,"
    size_t pos = body.find(',');
    if (pos == std::string_view::npos) return out;
    body.remove_prefix(pos + 1);
    while (!body.empty()) {
        size_t c = body.find(',');
        if (c == std::string_view::npos) {
            out.push_back(body);
            break;
        }
        out.push_back(body.substr(0, c));
        body.remove_prefix(c + 1);
    }
    return out;
}

int v8(std::string_view f) {
    return static_cast<int>(decodeHexField(f) & 0xFF);
}
int v16(std::string_view f) {
    return static_cast<int>(decodeHexField(f) & 0xFFFF);
}

struct Reader {
    const std::vector<std::string_view>& f;
    bool has(size_t n) const { return f.size() >= n + 1; } // unit plus n values
    std::string_view operator[](size_t i) const { return f[i + 1]; }
    int x2(size_t i) const { return v8(f[i + 1]); }
    int x4(size_t i) const { return v16(f[i + 1]); }
};

bool inRange(int v, int lo, int hi) {
    return v >= lo && v <= hi;
}

} // namespace

ApplyResult applyCommand(DeviceState& s, std::string_view frame) {
    ApplyResult r;
    if (frame.size() < kMinFrameLength) return r;
    const char letter = frame[1];
    const auto fields = fieldsOf(frame);
    Reader in{fields};
    switch (letter) {
    case 'A': {
        if (!in.has(1)) return r;
        int ch = in.x2(0);
        if (ch < 1) return r;
        if (ch <= 20) {
            if (!in.has(3)) return r;
            std::int32_t& mute = ch <= 12 ? s.in(ch).mute : s.out(ch - 12).mute;
            std::int32_t& level = ch <= 12 ? s.in(ch).level : s.out(ch - 12).level;
            int m = in.x2(1), l = in.x2(2);
            r.levelsChanged = (mute != m || level != l);
            mute = m;
            level = l;
        }
        break; // above 20: effect returns, nothing kept in the model
    }
    case 'B': {
        if (!in.has(2)) return r;
        int ch = in.x2(0);
        std::string_view flags = in[1];
        if (!inRange(ch, 1, kAnalogInputs) || flags.size() != 8) return r;
        for (size_t k = 0; k < 8; ++k)
            s.in(ch).routeToOutput[k] = hexDigitValue(flags[k]);
        break;
    }
    case 'C': {
        if (!in.has(7)) return r;
        int ch = in.x2(0);
        if (!inRange(ch, 1, kAnalogInputs)) return r;
        Dynamics& d = s.in(ch).dynamics;
        d.compEnabled = in.x2(1), d.compRatio = in.x2(2), d.compThreshold = in.x2(3);
        d.compAttack = in.x2(4), d.compRelease = in.x2(5), d.compGain = in.x2(6);
        break;
    }
    case 'D': {
        if (!in.has(7)) return r;
        int o = in.x2(0);
        if (!inRange(o, 1, kOutputRecords)) return r;
        auto& l = s.out(o).limiter;
        l[0] = in.x2(1), l[5] = in.x2(2), l[1] = in.x2(3), l[2] = in.x2(4), l[3] = in.x2(5), l[4] = in.x2(6);
        break;
    }
    case 'E':
    case 'F': {
        if (!in.has(6)) return r;
        int ch = in.x2(0);
        if (!inRange(ch, 1, kInputRecords)) return r;
        InputChannel& c = s.in(ch);
        if (letter == 'E')
            c.lpfOn = in.x2(1), c.lpfType = in.x2(2), c.lpfFreq = in.x4(3), c.lpfSlope = in.x2(4);
        else
            c.hpfOn = in.x2(1), c.hpfType = in.x2(2), c.hpfFreq = in.x4(3), c.hpfSlope = in.x2(4);
        break;
    }
    case 'G': {
        if (!in.has(7)) return r;
        int ch = in.x2(0), band = in.x2(2);
        if (!inRange(ch, 1, kInputRecords) || !inRange(band, 1, kPeqBands)) return r;
        InputChannel& c = s.in(ch);
        PeqBand& b = c.peq[static_cast<size_t>(band - 1)];
        c.peqOn = in.x2(1);
        b.bandType = in.x2(3) - 1;
        b.bandFreq = in.x4(4);
        b.bandGain = in.x2(5) * 2; // the wire carries half the gain
        b.bandQ = in.x2(6);
        break;
    }
    case 'H': {
        if (!in.has(2 + kGeqBands)) return r;
        int o = in.x2(0);
        if (!inRange(o, 1, kOutputRecords)) return r;
        OutputChannel& out = s.out(o);
        out.geqOn = in.x2(1);
        for (size_t k = 0; k < kGeqBands; ++k)
            out.geq[k].gain = in.x2(2 + k) * 2;
        break;
    }
    case 'I':
    case 'J':
    case 'K': {
        size_t need = letter == 'J' ? 3 : 2;
        if (!in.has(need)) return r;
        int o = in.x2(0);
        // Other callers number sources beyond the outputs; those frames carry nothing the
        // device keeps.
        if (!inRange(o, 1, kOutputRecords)) return r;
        OutputChannel& out = s.out(o);
        if (letter == 'I') {
            int v = in.x2(1);
            r.levelsChanged = out.lineLevel != v;
            out.lineLevel = v;
        } else if (letter == 'J') {
            out.outSwitchJ = in.x2(2);
        } else {
            out.outSwitchK = in.x2(1);
        }
        break;
    }
    case 'L': {
        if (!in.has(3)) return r;
        int ch = in.x2(0);
        if (!inRange(ch, 1, kInputRecords)) return r;
        s.in(ch).automixThreshold = in.x2(1);
        s.in(ch).priority = in.x2(2);
        break;
    }
    case 'M': {
        if (!in.has(6)) return r;
        AutomixSettings& a = s.automix;
        a.manualMode = in.x2(0), a.maxOpenChannels = in.x2(1), a.lastHold = in.x2(2);
        a.holdTime = in.x2(3), a.closedChannelAttenuation = in.x2(4), a.nomAttenuation = in.x2(5);
        break;
    }
    case 'N': {
        if (!in.has(4)) return r;
        AutomixSettings& a = s.automix;
        a.zeroCrossingRate = in.x2(0), a.energy = in.x2(1), a.compareCount = in.x2(2);
        a.thresholdCompensation = in.x2(3);
        break;
    }
    case 'O': {
        if (!in.has(4)) return r;
        int ch = in.x2(0);
        if (!inRange(ch, 1, kAnalogInputs)) return r;
        s.in(ch).danteSource = in.x2(1);
        setPhantomMask(s, in.x2(2));
        s.in(ch).gainStep = in.x2(3);
        break;
    }
    case 'Q': {
        if (!in.has(1)) return r;
        int v = in.x2(0);
        if (v != 0 && v != 1) return r;
        r.reportsSwitch = v;
        break;
    }
    case 'V': {
        if (!in.has(2)) return r;
        int ch = in.x2(0);
        std::string_view units = in[1];
        if (!inRange(ch, 1, 20) || units.size() != 32) return r;
        std::u16string name;
        for (size_t i = 0; i < 8; ++i) {
            auto u = static_cast<char16_t>(v16(units.substr(4 * i, 4)));
            if (u == 0) break;
            name.push_back(u);
        }
        // The bitmap is for the device's own display; the model keeps the text.
        NameField& field = ch <= 12 ? s.in(ch).name : s.out(ch - 12).name;
        setName(field, utf16ToGbk(name));
        break;
    }
    case 'W': {
        if (!in.has(1)) return r;
        r.calledUnit = in.x2(0);
        break;
    }
    case 'X': {
        if (!in.has(2)) return r;
        int unit = in.x2(0);
        std::string_view bytes = in[1];
        if (!inRange(unit, 1, kUnits) || bytes.size() != 2 * kUnitSlots) return r;
        for (size_t k = 0; k < kUnitSlots; ++k) {
            int b = v8(bytes.substr(2 * k, 2));
            s.units[static_cast<size_t>(unit - 1)][k] = static_cast<std::uint8_t>(b == 0xFF ? 0 : b);
        }
        break;
    }
    default:
        // The sends and effects (a, y, v); every other letter is not the device's.
        if (!applyEffectCommand(s, frame)) return r;
        break;
    }
    r.applied = true;
    return r;
}

} // namespace quorvel::sim
