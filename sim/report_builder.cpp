#include "report_builder.h"

#include <cstdio>

#include "effects.h"
#include "link/frame.h"
#include "link/gbk.h"

namespace quorvel::sim {
namespace {

// "%L,01," followed by comma-separated sections, each filled in place by add().
class ReportText {
public:
    explicit ReportText(char letter) : frame_(letter) { frame_.x2(kUnitId); }
    template <class F> void add(F&& fill) {
        if (open_) frame_.comma();
        open_ = true;
        std::string s;
        fill(s);
        frame_.raw(s);
    }
    std::string done() && {
        frame_.comma();
        return std::move(frame_).finish();
    }

private:
    CommandFrame frame_;
    bool open_ = false;
};

void x2(std::string& s, int v) {
    appendX2(s, v & 0xFF);
}
void x1(std::string& s, int v) {
    appendX1(s, v & 0xF);
}
void x4(std::string& s, int v) {
    appendX4(s, v & 0xFFFF);
}

// Text fields of a report must not carry the frame's own delimiters.
std::string safeText(std::string_view t) {
    std::string out;
    for (char c : t) {
        if (c == '\0') break;
        if (c == '%' || c == '#' || c == ',') continue;
        out.push_back(c);
    }
    return out;
}

} // namespace

std::string buildFullStateReport(const DeviceState& s, std::string_view deviceText) {
    ReportText r('Z');
    constexpr int kIn = kAnalogInputs;
    constexpr int kWide = kWideInputSections;
    r.add([&](std::string& t) { // 2: levels, inputs then outputs
        for (int c = 1; c <= kIn; ++c)
            x2(t, s.in(c).level);
        for (int o = 1; o <= kOutputRecords; ++o)
            x2(t, s.out(o).level);
    });
    r.add([&](std::string& t) { // 3: mutes
        for (int c = 1; c <= kIn; ++c)
            x1(t, s.in(c).mute);
        for (int o = 1; o <= kOutputRecords; ++o)
            x1(t, s.out(o).mute);
    });
    r.add([&](std::string& t) { // 4
        for (int c = 1; c <= kWide; ++c)
            x1(t, s.in(c).dynamics.compEnabled);
    });
    r.add([&](std::string& t) { // 5
        for (int c = 1; c <= kWide; ++c) {
            const Dynamics& d = s.in(c).dynamics;
            x2(t, d.compRatio), x2(t, d.compThreshold), x2(t, d.compAttack), x2(t, d.compRelease);
            x2(t, d.compGain);
        }
    });
    r.add([&](std::string& t) { // 6
        for (int o = 1; o <= kOutputRecords; ++o)
            x1(t, s.out(o).limiter[0]);
    });
    r.add([&](std::string& t) { // 7: l6, l2, l3, l4, l5
        for (int o = 1; o <= kOutputRecords; ++o) {
            const auto& l = s.out(o).limiter;
            x2(t, l[5]), x2(t, l[1]), x2(t, l[2]), x2(t, l[3]), x2(t, l[4]);
        }
    });
    r.add([&](std::string& t) { // 8
        for (int c = 1; c <= kWide; ++c)
            x1(t, s.in(c).lpfOn);
    });
    r.add([&](std::string& t) { // 9
        for (int c = 1; c <= kWide; ++c)
            x4(t, s.in(c).lpfFreq), x2(t, s.in(c).lpfSlope);
    });
    r.add([&](std::string& t) { // 10
        for (int c = 1; c <= kWide; ++c)
            x1(t, s.in(c).hpfOn);
    });
    r.add([&](std::string& t) { // 11
        for (int c = 1; c <= kWide; ++c)
            x4(t, s.in(c).hpfFreq), x2(t, s.in(c).hpfSlope);
    });
    r.add([&](std::string& t) { // 12
        for (int c = 1; c <= kIn; ++c)
            x1(t, s.in(c).peqOn);
    });
    r.add([&](std::string& t) { // 13: type + 1, freq, gain / 2, Q
        for (int c = 1; c <= kInputRecords; ++c)
            for (int b = 0; b < kPeqBands; ++b) {
                const PeqBand& p = s.in(c).peq[static_cast<size_t>(b)];
                x2(t, p.bandType + 1), x4(t, p.bandFreq), x2(t, p.bandGain / 2), x2(t, p.bandQ);
            }
    });
    r.add([&](std::string& t) { // 14
        for (int o = 1; o <= kOutputRecords; ++o)
            x1(t, s.out(o).geqOn);
    });
    r.add([&](std::string& t) { // 15: gains / 2
        for (int o = 1; o <= kOutputRecords; ++o)
            for (const GeqSlot& g : s.out(o).geq)
                x2(t, g.gain / 2);
    });
    r.add([&](std::string& t) { // 16
        for (int c = 1; c <= kIn; ++c)
            for (int k = 0; k < 8; ++k)
                x1(t, s.in(c).routeToOutput[static_cast<size_t>(k)]);
    });
    r.add([&](std::string& t) { // 17
        for (int o = 1; o <= kOutputRecords; ++o)
            x1(t, s.out(o).lineLevel);
    });
    r.add([&](std::string& t) { // 18
        for (int c = 1; c <= kIn; ++c)
            x1(t, s.in(c).danteSource);
    });
    r.add([&](std::string& t) { t = "0"; }); // 19: nothing the application keeps
    r.add([&](std::string& t) {              // 20
        for (int o = 1; o <= kOutputRecords; ++o)
            x2(t, s.out(o).outSwitchJ);
    });
    r.add([&](std::string& t) { // 21
        for (int o = 1; o <= kOutputRecords; ++o)
            x1(t, s.out(o).outSwitchK);
    });
    r.add([&](std::string& t) { // 22
        for (int c = 1; c <= kInputRecords; ++c)
            x2(t, s.in(c).automixThreshold), x2(t, s.in(c).priority);
    });
    r.add([&](std::string& t) { // 23
        const AutomixSettings& a = s.automix;
        x2(t, a.manualMode), x2(t, a.maxOpenChannels), x2(t, a.lastHold), x2(t, a.holdTime);
        x2(t, a.closedChannelAttenuation), x2(t, a.nomAttenuation);
    });
    r.add([&](std::string& t) { x2(t, phantomMask(s)); }); // 24
    r.add([&](std::string& t) {                            // 25
        for (int c = 1; c <= kIn; ++c)
            x2(t, s.in(c).gainStep);
    });
    r.add([&](std::string& t) { // 26
        const AutomixSettings& a = s.automix;
        x2(t, a.zeroCrossingRate), x2(t, a.energy), x2(t, a.compareCount), x2(t, a.thresholdCompensation);
    });
    r.add([&](std::string& t) { t = safeText(deviceText.substr(0, kNameBytes)); }); // 27
    r.add([&](std::string& t) { t = sendsSection(s); });                            // 28
    r.add([&](std::string& t) { t = delaySection(s); });                            // 29
    r.add([&](std::string& t) { t = reverbSection(s); });                           // 30
    return std::move(r).done();
}

std::string buildNamesReport(const DeviceState& s, int units) {
    ReportText r('Y');
    r.add([&](std::string& t) {
        for (int u = 0; u < units && u < kUnits; ++u)
            for (std::uint8_t b : s.units[static_cast<size_t>(u)])
                x2(t, b == 0 ? 0xFF : b);
    });
    r.add([&](std::string& t) {
        auto name = [&](const NameField& f) {
            std::u16string units16 = gbkToUtf16(nameView(f));
            for (size_t i = 0; i < 8; ++i)
                x4(t, i < units16.size() ? units16[i] : 0);
        };
        for (int c = 1; c <= kAnalogInputs; ++c)
            name(s.in(c).name);
        for (int o = 1; o <= kOutputRecords; ++o)
            name(s.out(o).name);
    });
    return std::move(r).done();
}

std::string buildStatusReport(const int (&meters)[20], int openMask, int lastOpen) {
    // The application reads the 22 pairs from a fixed position (character 5), so the unit
    // field here is a single digit: "%Q,1," puts the first pair exactly there.
    CommandFrame f('Q');
    std::string t = "1,";
    for (int m : meters)
        x2(t, m);
    x2(t, openMask);
    x2(t, lastOpen);
    t.push_back(',');
    f.raw(t);
    return std::move(f).finish();
}

std::string buildStatusReport(const int (&meters)[20], int openMask, int lastOpen,
                              const std::array<int, 4>& effects) {
    CommandFrame f('Q');
    std::string t = "1,";
    for (int m : meters)
        x2(t, m);
    x2(t, openMask);
    x2(t, lastOpen);
    for (int m : effects)
        x2(t, m);
    t.push_back(',');
    f.raw(t);
    return std::move(f).finish();
}

std::string buildLevelsReport(const DeviceState& s, int reportNumber) {
    ReportText r('P');
    r.add([&](std::string& t) {
        for (int o = 1; o <= kOutputRecords; ++o)
            x2(t, s.out(o).level);
    });
    r.add([&](std::string& t) {
        for (int o = 1; o <= kOutputRecords; ++o)
            x2(t, s.out(o).mute);
    });
    r.add([&](std::string& t) {
        for (int o = 1; o <= kOutputRecords; ++o)
            x2(t, s.out(o).lineLevel);
    });
    r.add([&](std::string& t) {
        for (int c = 1; c <= kAnalogInputs; ++c)
            x2(t, s.in(c).level);
    });
    r.add([&](std::string& t) { t = std::to_string(reportNumber); });
    return std::move(r).done();
}

std::string buildSearchAnswer(const std::string& ownAddress, int port) {
    unsigned a = 0, b = 0, c = 0, d = 0;
    std::sscanf(ownAddress.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d);
    char addr[16];
    std::snprintf(addr, sizeof addr, "%03u%03u%03u%03u", a & 0xFF, b & 0xFF, c & 0xFF, d & 0xFF);
    CommandFrame f('R');
    f.x2(kUnitId).raw("0005,").raw(addr).comma().dec(port);
    return std::move(f).finish();
}

std::string buildBasicVersionReply(const std::string& basicVersion) {
    CommandFrame f('r');
    f.x2(kUnitId).raw(safeText(basicVersion)).comma();
    return std::move(f).finish();
}

std::string buildHardwareVersionReply(const std::string& hardwareVersion) {
    CommandFrame f('z');
    f.x2(kUnitId).raw(safeText(hardwareVersion)).comma();
    return std::move(f).finish();
}

} // namespace quorvel::sim
