#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "link/gbk.h"
#include "link/reports.h"
#include "link/state_json.h"
#include "report_text.h"

namespace quorvel {
namespace {

using namespace quorvel::test;

// Sections 2..27 with a distinct in-range value in every place, so a value landing in the wrong
// field or record shows. Sections that reach channel 16 get 16 records, the others 12.
struct FullState {
    std::vector<std::string> sec = std::vector<std::string>(26);
    std::string& operator[](int section) { return sec[static_cast<std::size_t>(section - 2)]; }
    FullState() {
        auto& f = *this;
        for (int i = 1; i <= 20; ++i)
            f[2] += h2(i <= 12 ? i : 40 + i), f[3] += h1(i % 2);
        for (int c = 1; c <= 16; ++c) {
            f[4] += h1((c + 1) % 2), f[8] += h1(c % 2), f[10] += h1((c + 1) % 2);
            f[5] += h2(10 + c) + h2(20 + c) + h2(30 + c) + h2(50 + c) + h2(100 + c);
            f[9] += h4(1000 + 100 * c) + h2(2 + c % 7);
            f[11] += h4(20 + 7 * c) + h2(2 + (c + 3) % 7);
        }
        for (int o = 1; o <= 8; ++o) {
            f[6] += h1(o % 2), f[14] += h1((o + 1) % 2), f[17] += h1(o % 2), f[21] += h1((o + 1) % 2);
            f[7] += h2(10 + o) + h2(20 + o) + h2(30 + o) + h2(40 + o) + h2(50 + o);
            for (int k = 1; k <= 31; ++k)
                f[15] += h2(o * 3 + k);
            f[20] += h2(10 + o);
        }
        for (int c = 1; c <= 12; ++c) {
            f[12] += "0";
            for (int b = 1; b <= 4; ++b)
                f[13] += h2(1 + (c + b) % 3) + h4(100 * c + b) + h2(10 * b + c) + h2(c + b);
            for (int k = 1; k <= 8; ++k)
                f[16] += h1((c + k) % 2);
            f[18] += h1(c % 5), f[22] += h2(30 + c) + h2(c % 2), f[25] += h2(c <= 8 ? c % 4 : c % 2);
        }
        f[19] = "0000", f[23] = "010501142119", f[24] = "A5", f[26] = "0B162104", f[27] = "MX-12 V2.07";
    }
    std::string frame() const { return report('Z', sec); }
};

std::unique_ptr<DeviceState> defaults() {
    auto s = std::make_unique<DeviceState>();
    loadFactoryDefaults(*s, 1);
    return s;
}

TEST(FullStateReport, EverySectionLandsInItsField) {
    auto s = defaults();
    ASSERT_TRUE(parseFullStateReport(FullState().frame(), *s));
    for (int c = 1; c <= 16; ++c) {
        const InputChannel& ch = s->in(c);
        SCOPED_TRACE("input " + std::to_string(c));
        const Dynamics& d = ch.dynamics;
        EXPECT_EQ(std::vector<int>({d.compEnabled, d.compRatio, d.compThreshold, d.compAttack, d.compRelease,
                                    d.compGain, ch.lpfOn, ch.lpfFreq, ch.lpfSlope, ch.hpfOn, ch.hpfFreq,
                                    ch.hpfSlope}),
                  std::vector<int>({(c + 1) % 2, 10 + c, 20 + c, 30 + c, 50 + c, 100 + c, c % 2,
                                    1000 + 100 * c, 2 + c % 7, (c + 1) % 2, 20 + 7 * c, 2 + (c + 3) % 7}));
        if (c > 12) continue;
        EXPECT_EQ(std::vector<int>({ch.level, ch.mute, ch.danteSource, ch.automixThreshold, ch.priority,
                                    ch.gainStep, ch.phantom, ch.peqOn, ch.hpfType, ch.lpfType}),
                  std::vector<int>({c, c % 2, c % 5, 30 + c, c % 2, c <= 8 ? c % 4 : c % 2,
                                    c <= 8 ? (0xA5 >> (c - 1)) & 1 : 0, 1, 2, 2}));
        for (int b = 1; b <= 4; ++b) {
            const PeqBand& p = ch.peq[static_cast<std::size_t>(b - 1)];
            EXPECT_EQ(std::vector<int>({p.bandType, p.bandFreq, p.bandGain, p.bandQ}),
                      std::vector<int>({(c + b) % 3, 100 * c + b, 2 * (10 * b + c), c + b}));
        }
        for (int k = 1; k <= 8; ++k)
            EXPECT_EQ(ch.routeToOutput[static_cast<std::size_t>(k - 1)], (c + k) % 2);
    }
    for (int o = 1; o <= 8; ++o) {
        const OutputChannel& out = s->out(o);
        SCOPED_TRACE("output " + std::to_string(o));
        const auto& l = out.limiter; // the ratio l6 comes first on the wire
        EXPECT_EQ(std::vector<int>({out.level, out.mute, l[0], l[5], l[1], l[2], l[3], l[4], out.geqOn,
                                    out.lineLevel, out.outSwitchJ, out.outSwitchK}),
                  std::vector<int>({52 + o, o % 2, o % 2, 10 + o, 20 + o, 30 + o, 40 + o, 50 + o, (o + 1) % 2,
                                    o % 2, 10 + o, (o + 1) % 2}));
        for (int k = 1; k <= 31; ++k)
            EXPECT_EQ(out.geq[static_cast<std::size_t>(k - 1)].gain, 2 * (o * 3 + k));
    }
    const AutomixSettings& a = s->automix;
    EXPECT_EQ(std::vector<int>({a.manualMode, a.maxOpenChannels, a.lastHold, a.holdTime,
                                a.closedChannelAttenuation, a.nomAttenuation, a.zeroCrossingRate, a.energy,
                                a.compareCount, a.thresholdCompensation}),
              std::vector<int>({1, 5, 1, 20, 33, 25, 11, 22, 33, 4}));
    EXPECT_EQ(nameView(s->deviceText), "MX-12 V2.07");
}

TEST(FullStateReport, OutOfRangeShortAndLongSections) {
    const auto base = defaults();
    {
        FullState f;
        f[11].replace(4, 2, h2(9));     // hpfSlope 9 on channel 1
        f[25].replace(18, 2, h2(3));    // gainStep 3 on channel 10
        f[13].replace(8, 2, h2(0));     // channel 1 band 1: Q 0
        f[13].replace(16, 2, h2(0xFF)); // channel 1 band 2: gain 510
        f[9].replace(12, 4, "FFFF");    // lpfFreq 65535 on channel 3
        f[5] = f[5].substr(0, 24);      // two compressor records and part of a third
        f[2] = f[2].substr(0, 4);       // two levels
        auto s = defaults();
        ASSERT_TRUE(parseFullStateReport(f.frame(), *s));
        EXPECT_EQ(s->in(1).hpfSlope, 8);
        EXPECT_EQ(s->in(10).gainStep, 1);
        EXPECT_EQ(s->in(1).peq[0].bandQ, 1);
        EXPECT_EQ(s->in(1).peq[1].bandGain, 300);
        EXPECT_EQ(s->in(3).lpfFreq, 20000);
        EXPECT_EQ(s->in(2).dynamics.compGain, 102);
        EXPECT_EQ(s->in(3).dynamics.compRatio, base->in(3).dynamics.compRatio);
        EXPECT_EQ(s->in(2).level, 2);
        EXPECT_EQ(s->in(3).level, base->in(3).level);
    }
    { // values beyond the records that exist are dropped, not written past them
        FullState f;
        f[2] += f[2];                 // 40 levels for 20 records
        f[12] = std::string(40, '0'); // peqOn reaches channel 12 only
        f[13] += f[13] + f[13];       // 36 channels of bands for 18 records
        f[27] = "A DEVICE TEXT LONGER THAN SIXTEEN";
        for (int i = 0; i < 80; ++i)
            f.sec.push_back("FF"); // far more than 64 sections
        auto s = defaults();
        ASSERT_TRUE(parseFullStateReport(f.frame(), *s));
        EXPECT_EQ(s->out(8).level, 60);
        EXPECT_EQ(s->in(13).peqOn, base->in(13).peqOn);
        EXPECT_EQ(s->in(18).peq[3].bandFreq, 604); // record 18 holds channel 6's repeat
        EXPECT_EQ(nameView(s->deviceText), "A DEVICE TEXT LO");
    }
    auto s = defaults(); // non-hex characters count as 0; absent sections store nothing
    ASSERT_TRUE(parseFullStateReport(report('Z', {"G1zz", "x1"}), *s));
    EXPECT_EQ(
        std::vector<int>({s->in(1).level, s->in(2).level, s->in(3).level, s->in(1).mute, s->in(2).mute}),
        std::vector<int>({1, 0, 60, 0, 1}));
}

TEST(Reports, OddLengthPairSectionsGetALeadingZero) {
    // Decoded as a whole hex field: "0" goes in front, so every pair shifts by one character.
    auto s = defaults();
    ASSERT_TRUE(parseLevelsReport(report('P', {"A", "", "", "12345", "1"}), *s));
    EXPECT_EQ(s->out(1).level, 0x0A);
    EXPECT_EQ(s->out(2).level, 60);
    EXPECT_EQ(std::vector<int>({s->in(1).level, s->in(2).level, s->in(3).level, s->in(4).level}),
              std::vector<int>({0x01, 0x23, 0x45, 60}));

    FullState f;
    f[24] = "5";    // phantom mask 05: channels 1 and 3
    f[9] = "FA004"; // read as "0FA004": channel 1 lpfFreq 0x0FA0, lpfSlope 4
    ASSERT_TRUE(parseFullStateReport(f.frame(), *s));
    EXPECT_EQ(std::vector<int>({s->in(1).phantom, s->in(2).phantom, s->in(3).phantom, s->in(4).phantom}),
              std::vector<int>({1, 0, 1, 0}));
    EXPECT_EQ(s->in(1).lpfFreq, 0x0FA0);
    EXPECT_EQ(s->in(1).lpfSlope, 4);

    // Digit sections are not padded: each digit is one value.
    ASSERT_TRUE(parseFullStateReport(report('Z', {"", "101"}), *s));
    EXPECT_EQ(std::vector<int>({s->in(1).mute, s->in(2).mute, s->in(3).mute}), std::vector<int>({1, 0, 1}));
}

std::string utf16Name(std::u16string_view units) {
    std::string t;
    for (std::size_t k = 0; k < 8; ++k)
        t += h4(k < units.size() ? units[k] : 0);
    return t;
}

TEST(NamesReport, StoresUnitsAndNames) {
    const std::string units = "01FF0DFF0C"
                              "0203040506"
                              "0102";                                        // two records and a half
    std::string names = utf16Name(u"\u8bdd\u7b52 1") + utf16Name(u"LEFT");   // 话筒 1
    names += h4('A') + h4(0) + h4('B') + std::string(20, '0');               // 0000 ends the name
    names += utf16Name(u"\u4e00\u4e8c\u4e09\u56db\u4e94\u516d\u4e03\u516b"); // 16 GBK bytes
    for (int c = 5; c <= 12; ++c)
        names += utf16Name(u"IN");
    names += utf16Name(u"MAIN L") + utf16Name(u"OUT2").substr(0, 20); // output 2 cut short

    auto s = defaults();
    ASSERT_TRUE(parseNamesReport(report('Y', {units, names}), *s));
    EXPECT_EQ(s->unitCount, 2);
    EXPECT_EQ(s->units[0], (UnitAssignment{1, 0, 13, 0, 12}));
    EXPECT_EQ(s->units[1], (UnitAssignment{2, 3, 4, 5, 6}));
    EXPECT_EQ(s->units[2], (UnitAssignment{}));
    EXPECT_EQ(gbkToUtf8(nameView(s->in(1).name)), "\xE8\xAF\x9D\xE7\xAD\x92 1");
    EXPECT_EQ(nameView(s->in(1).name).size(), 6u);
    EXPECT_EQ(nameView(s->in(3).name), "A");
    EXPECT_EQ(nameView(s->in(4).name).size(), 16u);
    EXPECT_EQ(nameView(s->out(1).name), "MAIN L");
    EXPECT_EQ(nameView(s->out(2).name), "M 2") << "a cut name leaves the old one";
}

TEST(StatusAndLevelsReports, StoreWhatTheyCarry) {
    std::vector<int> v{5, 90};
    for (int j = 2; j < 20; ++j)
        v.push_back(10 + j);
    v.push_back(0b10000101); // channels 1, 3 and 8 open
    v.push_back(3);          // last open channel
    auto s = defaults();
    s->in(6).lastOpen = 1;
    ASSERT_TRUE(parseStatusReport(statusReport(v), *s));
    EXPECT_EQ(shownMeter(s->in(1).meter), 0);
    EXPECT_EQ(shownMeter(s->in(2).meter), 70);
    EXPECT_EQ(std::vector<int>({s->in(12).meter, s->out(1).meter, s->out(8).meter}),
              std::vector<int>({21, 22, 29}));
    for (int c = 1; c <= 8; ++c)
        EXPECT_EQ(s->in(c).channelOpen, c == 1 || c == 3 || c == 8) << c;
    for (int c = 1; c <= 8; ++c)
        EXPECT_EQ(s->in(c).lastOpen, c == 3) << c;
    s->automix.lastHold = 0; // without last-hold the named channel is only cleared
    ASSERT_TRUE(parseStatusReport(statusReport(v), *s));
    EXPECT_EQ(s->in(3).lastOpen, 0);
    // A short report gives what it holds and never reads the checksum digits as values.
    ASSERT_TRUE(parseStatusReport(statusReport({40, 41, 42}), *s));
    EXPECT_EQ(std::vector<int>({s->in(3).meter, s->in(4).meter}), std::vector<int>({42, 13}));

    ASSERT_TRUE(parseLevelsReport(levelsReport(10, 4711), *s));
    for (int o = 1; o <= 8; ++o)
        EXPECT_EQ(std::vector<int>({s->out(o).level, s->out(o).mute, s->out(o).lineLevel}),
                  std::vector<int>({10 + o, o % 2, (o + 1) % 2}));
    for (int c = 1; c <= 12; ++c)
        EXPECT_EQ(s->in(c).level, 30 + c);
    EXPECT_EQ(s->reportNumber, 4711);
    ASSERT_TRUE(parseLevelsReport(report('P', {"", "", "", "", "99999999999"}), *s));
    EXPECT_EQ(s->reportNumber, 2147483647);
}

TEST(ReportDispatcher, LinkEffectsPerReport) {
    auto s = defaults();
    ReportDispatcher d(*s);
    const auto t0 = Clock::time_point{} + std::chrono::seconds(100), t1 = t0 + std::chrono::seconds(1);
    DispatchResult r = d.dispatch(levelsReport(5, 1), t0); // offline: state changes, faders stay
    EXPECT_EQ(r.kind, ReportKind::Levels);
    EXPECT_FALSE(r.moveFaders);
    EXPECT_EQ(s->out(1).level, 6);
    EXPECT_EQ(s->link.lastReportTime, t0);

    s->link.handshakePending = true;
    r = d.dispatch(FullState().frame(), t1);
    EXPECT_TRUE(r.kind == ReportKind::FullState && r.wentOnline);
    EXPECT_TRUE(s->link.linkOnline && s->link.handshakeDone && !s->link.handshakePending);
    EXPECT_EQ(s->link.lastReportTime, t1);
    EXPECT_TRUE(d.dispatch(levelsReport(5, 2), t0).moveFaders);
    r = d.dispatch(report('Y', {"", ""}), t0);
    EXPECT_TRUE(r.kind == ReportKind::Names && r.sendResumeReports);

    std::vector<int> v(22, 20);
    v[20] = 0b011;
    r = d.dispatch(statusReport(v), t0);
    EXPECT_TRUE(r.kind == ReportKind::Status && r.reportIndicatorOn);
    EXPECT_EQ(r.channelOpenChanged, 0b011);
    v[20] = 0b110;
    r = d.dispatch(statusReport(v), t0);
    EXPECT_FALSE(r.reportIndicatorOn) << "the indicator is lit only once";
    EXPECT_EQ(r.channelOpenChanged, 0b101);
    EXPECT_EQ(d.dispatch(report('G', {"01"}), t0).kind, ReportKind::Ignored);
    EXPECT_EQ(d.dispatch(report('r', {"01"}), t0).kind, ReportKind::Ignored);
}

TEST(ReportDispatcher, RefusedReportStoresNothing) {
    std::string q = statusReport(std::vector<int>(22, 44));
    std::vector<std::string> bad = {FullState().frame(), report('Y', {"0102030405", utf16Name(u"X")}), q,
                                    levelsReport(3, 9)};
    for (std::string& f : bad)
        f[f.size() - 2] = f[f.size() - 2] == '0' ? '1' : '0'; // break the checksum
    for (const std::string& f : bad) {
        auto s = defaults();
        const std::string before = stateToJson(*s);
        DispatchResult r = ReportDispatcher(*s).dispatch(f, Clock::now());
        EXPECT_EQ(r.kind, ReportKind::Rejected) << f;
        EXPECT_FALSE(r.wentOnline || r.sendResumeReports || r.reportIndicatorOn || r.moveFaders);
        EXPECT_TRUE(stateToJson(*s) == before && !s->link.linkOnline &&
                    s->link.lastReportTime == Clock::time_point{});
    }
    // Frames from the assembler skip the second checksum, but never the outline the parsers need.
    auto s = defaults();
    ReportDispatcher d(*s);
    EXPECT_EQ(d.dispatchAccepted(bad[2], Clock::now()).kind, ReportKind::Status);
    EXPECT_EQ(s->in(1).meter, 44);
    const std::string before = stateToJson(*s);
    for (std::string_view text : {"%Q,1,2A2B2C", "%Q,1,2#", "%P", "%Z,01,3C3C3C"})
        EXPECT_EQ(d.dispatchAccepted(text, Clock::now()).kind, ReportKind::Rejected) << text;
    EXPECT_EQ(stateToJson(*s), before);
}

} // namespace
} // namespace quorvel
