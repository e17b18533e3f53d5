#include "link/device_state.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "link/gbk.h"

namespace quorvel {

std::string_view nameView(const NameField& f) {
    const auto* end = std::find(f.begin(), f.end(), '\0');
    return {f.data(), static_cast<size_t>(end - f.begin())};
}

void setName(NameField& f, std::string_view gbkBytes) {
    f.fill('\0');
    // Never split a double-byte character when the text is cut.
    size_t n = 0;
    while (n < gbkBytes.size()) {
        const auto lead = static_cast<unsigned char>(gbkBytes[n]);
        size_t w = (lead >= 0x81 && lead <= 0xFE && n + 1 < gbkBytes.size()) ? 2 : 1;
        if (n + w > f.size()) break;
        n += w;
    }
    std::memcpy(f.data(), gbkBytes.data(), n);
}

namespace {

void setUtf8Name(NameField& f, const std::string& utf8) {
    setName(f, utf8ToGbk(utf8).value_or(utf8));
}

// The values RESET puts back, so a fresh state and a reset channel look the same.
constexpr std::int32_t kPeqDefaultFreq[kPeqSlots] = {200, 500, 1000, 5000, 1000};

} // namespace

void loadFactoryDefaults(DeviceState& s, int languageFlag) {
    LinkState link = std::move(s.link);
    s = DeviceState{};
    s.link = std::move(link);

    for (int c = 1; c <= kInputRecords; ++c) {
        InputChannel& ch = s.in(c);
        for (int b = 0; b < kPeqSlots; ++b) {
            ch.peq[b].bandFreq = kPeqDefaultFreq[b];
            ch.peq[b].bandGain = 150;
            ch.peq[b].bandQ = 20;
            ch.peq[b].bandType = 0;
        }
        ch.peqOn = 1;
        ch.hpfFreq = 20;
        ch.hpfType = 2;
        ch.hpfSlope = 2;
        ch.lpfFreq = 20000;
        ch.lpfType = 2;
        ch.lpfSlope = 2;
        ch.pan = 100;
        ch.level = 60; // 0 dB
        ch.automixThreshold = 40;
        ch.dynamics = {0, 60, 10, 100, 0, 10};
        ch.gate = {0, 0, 0, 10, 100};
        ch.routeToOutput.fill(1);
        ch.sendLevel.fill(0); // the device starts with every send closed, the main volume too
        char buf[32];
        // Only the twelve analogue channels have a factory name; strips 13..16 start blank.
        if (c <= kAnalogInputs) {
            if (languageFlag == 2)
                std::snprintf(buf, sizeof buf, "\xE9\x80\x9A\xE9\x81\x93% d", c); // 通道
            else
                std::snprintf(buf, sizeof buf, "CH% d", c);
            setUtf8Name(ch.name, buf);
        }
    }
    // Effect returns start at the effects' RESET values.
    loadDelayReset(s);
    loadReverbReset(s);
    setName(s.in(17).name, "DELAY");
    setName(s.in(18).name, "REVERB");

    for (int o = 1; o <= kOutputRecords; ++o) {
        OutputChannel& out = s.out(o);
        for (auto& g : out.geq)
            g.gain = 150;
        out.geqOn = 1; // as a fresh device runs it: on and flat
        out.level = 60;
        out.limiter = {0, 60, 10, 100, 0, 10};
        char buf[16];
        if (o <= 4)
            std::snprintf(buf, sizeof buf, "M %d", o);
        else
            std::snprintf(buf, sizeof buf, "D %d", o - 4);
        setName(out.name, buf);
    }

    AutomixSettings& a = s.automix;
    a.manualMode = 0;
    a.maxOpenChannels = 1;
    a.holdTime = 1;
    a.closedChannelAttenuation = 0;
    a.nomAttenuation = 27;
    a.lastHold = 1;
    a.syncThresholds = 1;
    a.zeroCrossingRate = 0;
    a.energy = 1;
    a.compareCount = 1;
    a.thresholdCompensation = 0;

    s.spanTime = 100;
}

void loadDelayReset(DeviceState& s) {
    std::copy(kDelayResetValues.begin(), kDelayResetValues.end(),
              s.in(kDelayRecord).effectParams.begin() + kDelayFirst);
}

void loadReverbReset(DeviceState& s) {
    std::copy(kReverbResetValues.begin(), kReverbResetValues.end(),
              s.in(kReverbRecord).effectParams.begin() + kReverbFirst);
}

void normaliseAfterFullState(DeviceState& s) {
    auto clamp = [](std::int32_t& v, std::int32_t lo, std::int32_t hi) { v = std::clamp(v, lo, hi); };
    for (int c = 1; c <= kAnalogInputs; ++c) {
        InputChannel& ch = s.in(c);
        ch.peqOn = 1;
        ch.hpfType = 2;
        ch.lpfType = 2;
        clamp(ch.hpfFreq, 20, 20000);
        clamp(ch.lpfFreq, 20, 20000);
        clamp(ch.hpfSlope, 2, 8);
        clamp(ch.lpfSlope, 2, 8);
        for (int b = 0; b < kPeqBands; ++b) {
            clamp(ch.peq[b].bandFreq, 20, 20000);
            clamp(ch.peq[b].bandGain, 0, 300);
            clamp(ch.peq[b].bandQ, 1, 200);
            clamp(ch.peq[b].bandType, 0, 2);
        }
        clamp(ch.danteSource, 0, 4);
        clamp(ch.gainStep, 0, 3);
        if (c >= 9 && ch.gainStep > 1) ch.gainStep = 1;
    }
    for (auto& out : s.output)
        for (auto& g : out.geq)
            clamp(g.gain, 0, 300);
    for (int c = 1; c <= 8; ++c)
        clamp(s.in(c).automixThreshold, 0, 80);
    clamp(s.automix.nomAttenuation, 0, 30);
    // Whatever else the device reports of its automixer is put into the ranges the MODE page can
    // show: an odd value would otherwise sit unseen and go straight back out in the next M or N.
    for (int c = 1; c <= 8; ++c)
        clamp(s.in(c).priority, 0, 1);
    AutomixSettings& a = s.automix;
    clamp(a.manualMode, 0, 1);
    clamp(a.maxOpenChannels, 1, 8);
    clamp(a.holdTime, 1, 100);
    clamp(a.closedChannelAttenuation, 0, 60);
    clamp(a.nomAttenuation, 20, 30);
    clamp(a.lastHold, 0, 1);
    clamp(a.zeroCrossingRate, 0, 100);
    clamp(a.energy, 1, 200);
    clamp(a.compareCount, 1, 100);
    clamp(a.thresholdCompensation, 0, 40);
}

int phantomMask(const DeviceState& s) {
    int mask = 0;
    for (int k = 1; k <= 8; ++k)
        if (s.in(k).phantom) mask |= 1 << (k - 1);
    return mask;
}

void setPhantomMask(DeviceState& s, int mask) {
    for (int k = 1; k <= 8; ++k)
        s.in(k).phantom = (mask >> (k - 1)) & 1;
}

} // namespace quorvel
