// The sends and the two effects: every edit's frames in order (the one the pages always sent,
// then a, y or v with the values), RESET, the MUTE buttons, the AUX mute memory, silence while
// offline, and the device's sections 28..30 and effect meters read back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/commands.h"
#include "link/edit.h"
#include "link/frame.h"
#include "link/paced_sender.h"
#include "link/reports.h"
#include "mixing/aux_ops.h"
#include "mixing/effect_ops.h"
#include "mixing/groups.h"
#include "sim/command_apply.h"
#include "sim/effects.h"
#include "sim/report_builder.h"

namespace quorvel {
namespace {

std::vector<std::string> texts(const RecordingSink& sink) {
    std::vector<std::string> t;
    for (const OutgoingFrame& f : sink.frames)
        t.push_back(f.text);
    return t;
}

std::string frame(std::string body) {
    char cs[8];
    std::snprintf(cs, sizeof cs, "%04X#", frameChecksum(body));
    return body + cs;
}

struct EffectsTest : ::testing::Test {
    EffectsTest() {
        loadFactoryDefaults(s);
        s.link.linkOnline = true;
    }
    EditOutcome set(const std::string& path, std::int32_t v) { return applyEdit(s, sink, path, v); }
    DeviceState s;
    RecordingSink sink;
};

TEST_F(EffectsTest, SendEditsSendTheirPartFrameThenTheLevels) {
    // AUX 3 of source 3: I for the source (as the page always sent it), then a.
    ASSERT_TRUE(set("input[3].sendLevel[4]", 25).applied);
    EXPECT_EQ(texts(sink),
              (std::vector<std::string>{frame("%I,01,03,00,"), "%a,01,03,00,00,00,19,00,00,00,00,00,6A66#"}));
    // DELAY and Reverberation sends go with J.
    sink.frames.clear();
    set("input[2].sendLevel[9]", 70);
    EXPECT_EQ(texts(sink), (std::vector<std::string>{frame("%J,01,02,01,00,"),
                                                     frame("%a,01,02,00,00,00,00,00,00,00,00,46,")}));
    // The main volume, and every send of a source without an output record, go as a alone.
    for (const char* path : {"input[5].sendLevel[1]", "input[12].sendLevel[2]", "input[18].sendLevel[8]"}) {
        sink.frames.clear();
        set(path, 40);
        ASSERT_EQ(sink.frames.size(), 1u) << path;
        EXPECT_EQ(sink.frames[0].text.substr(0, 3), "%a,") << path;
        EXPECT_TRUE(validateFrame(sink.frames[0].text));
    }
    EXPECT_EQ(sink.frames[0].text, frame("%a,01,12,00,00,00,00,00,00,00,28,00,"));
}

TEST_F(EffectsTest, EffectEditsSendTheAutomixerFrameThenTheGroup) {
    ASSERT_TRUE(set("input[17].effectParams[1]", 500).applied);
    EXPECT_EQ(texts(sink), (std::vector<std::string>{buildN(s), "%y,01,01F4,00E8,26,4E20,00,00,A56F#"}));
    sink.frames.clear();
    set("input[18].effectParams[10]", 100); // reverberation time
    EXPECT_EQ(texts(sink), (std::vector<std::string>{buildM(s), frame("%v,01,3D,30,2F,32,64,4E20,00,00,")}));
    // Out of range is clamped into the field's range, never 0.
    sink.frames.clear();
    set("input[18].effectParams[6]", 0);
    set("input[17].effectParams[4]", 99999);
    EXPECT_EQ(s.in(18).effectParams[5], 30);
    EXPECT_EQ(s.in(17).effectParams[3], 20000);
}

TEST_F(EffectsTest, MuteButtonsStayBareAndTheGroupCarriesTheFlags) {
    struct Case {
        int button;
        const char* bare;
        const char* group;
    };
    // 1028 reverberation input, 1029 delay input, 1030 reverberation return, 1031 delay return.
    const Case cases[] = {{1028, "%A,01,1E,", "%v,01,3D,30,2F,32,03,4E20,00,01,"},
                          {1029, "%A,01,1C,", "%y,01,0085,00E8,26,4E20,00,01,"},
                          {1030, "%A,01,1D,", "%v,01,3D,30,2F,32,03,4E20,01,01,"},
                          {1031, "%A,01,1B,", "%y,01,0085,00E8,26,4E20,01,01,"}};
    for (const Case& c : cases) {
        sink.frames.clear();
        const FieldId f = *effectMuteField(c.button);
        ASSERT_TRUE(applyEdit(s, sink, f, 1).applied);
        EXPECT_EQ(texts(sink), (std::vector<std::string>{frame(c.bare), frame(c.group)})) << c.button;
    }
    EXPECT_EQ(s.in(17).mute + s.in(17).unused + s.in(18).mute + s.in(18).unused, 4);
    // CLEAR MUTE clears the returns and tells the device through y and v as well.
    sink.frames.clear();
    clearMute(s, sink);
    std::string groups;
    for (const OutgoingFrame& fr : sink.frames)
        if (fr.text[1] == 'y' || fr.text[1] == 'v') groups += fr.text.substr(0, fr.text.size() - 5) + " ";
    EXPECT_EQ(groups, "%y,01,0085,00E8,26,4E20,00,01, %v,01,3D,30,2F,32,03,4E20,00,01, ");
}

TEST_F(EffectsTest, ResetRestoresTheTableAndSendsTheGroup) {
    s.in(18).effectParams = {0, 0, 0, 0, 0, 99, 99, 99, 99, 99, 999};
    s.in(18).mute = 1;
    const ChangeSet changed = resetEffect(s, sink, Effect::Reverb);
    EXPECT_EQ(std::vector<std::int32_t>(s.in(18).effectParams.begin() + 5, s.in(18).effectParams.end()),
              (std::vector<std::int32_t>{61, 48, 47, 50, 3, 20000}));
    EXPECT_EQ(s.in(18).mute, 1) << "RESET leaves the MUTE buttons";
    EXPECT_EQ(changed.fields().size(), 8u);
    EXPECT_EQ(texts(sink), (std::vector<std::string>{buildM(s), frame("%v,01,3D,30,2F,32,03,4E20,01,00,")}));

    sink.frames.clear();
    s.in(17).effectParams[0] = 999;
    resetEffect(s, sink, Effect::Delay);
    EXPECT_EQ(std::vector<std::int32_t>(s.in(17).effectParams.begin(), s.in(17).effectParams.begin() + 4),
              (std::vector<std::int32_t>{133, 232, 38, 20000}));
    EXPECT_EQ(texts(sink), (std::vector<std::string>{buildN(s), frame("%y,01,0085,00E8,26,4E20,00,00,")}));

    // The factory state is the RESET state, and it is inside every range.
    DeviceState f;
    loadFactoryDefaults(f);
    for (const char* p : {"input[17].effectParams[1]", "input[17].effectParams[3]",
                          "input[18].effectParams[6]", "input[18].effectParams[10]"}) {
        const FieldInfo& info = *FieldRegistry::instance().find(p);
        const std::int32_t v = FieldRegistry::get(f, info);
        EXPECT_TRUE(v >= info.min && v <= info.max && v != 0) << p;
    }
}

TEST_F(EffectsTest, OfflineEverythingIsStoredAndNothingQueued) {
    s.link.linkOnline = false;
    AuxMutes mutes;
    set("input[3].sendLevel[4]", 25);
    set("input[17].effectParams[2]", 300);
    set("input[18].effectInputMute", 1);
    resetEffect(s, sink, Effect::Reverb);
    queueEffectGroup(s, sink, Effect::Delay);
    mutes.toggle(s, sink, 3, 3);
    mutes.move(s, sink, 3, 3, 50, true);
    clearMute(s, sink);
    EXPECT_TRUE(sink.frames.empty());
    EXPECT_EQ(s.in(17).effectParams[1], 300);
    EXPECT_EQ(s.in(3).sendLevel[3], 0);
    EXPECT_TRUE(mutes.muted(s, 3, 3));
    EXPECT_EQ(mutes.shownLevel(s, 3, 3), 50);
}

TEST_F(EffectsTest, AuxMuteRemembersPerSourceAndStrip) {
    AuxMutes mutes;
    set("input[2].sendLevel[4]", 33); // AUX 3 of source 2
    set("input[5].sendLevel[4]", 44);
    sink.frames.clear();
    mutes.toggle(s, sink, 2, 3);
    EXPECT_EQ(s.in(2).sendLevel[3], 0);
    EXPECT_EQ(texts(sink),
              (std::vector<std::string>{buildI(s, 2), frame("%a,01,02,00,00,00,00,00,00,00,00,00,")}));
    // Another source's strip is its own: muting it does not touch source 2's memory.
    mutes.toggle(s, sink, 5, 3);
    EXPECT_TRUE(mutes.muted(s, 2, 3));
    EXPECT_FALSE(mutes.muted(s, 2, 4));
    // A fader moved while muted: only the remembered level; the release sends the closed send.
    sink.frames.clear();
    EXPECT_TRUE(mutes.move(s, sink, 2, 3, 50, false).changed.empty());
    EXPECT_TRUE(sink.frames.empty());
    mutes.move(s, sink, 2, 3, 52, true);
    EXPECT_EQ(s.in(2).sendLevel[3], 0);
    ASSERT_EQ(sink.frames.size(), 2u);
    EXPECT_EQ(sink.frames[1].text, frame("%a,01,02,00,00,00,00,00,00,00,00,00,"));
    EXPECT_EQ(mutes.shownLevel(s, 2, 3), 52);
    // Un-muting restores the level last set and sends it.
    sink.frames.clear();
    mutes.toggle(s, sink, 2, 3);
    EXPECT_EQ(s.in(2).sendLevel[3], 52);
    EXPECT_EQ(sink.frames.back().text, frame("%a,01,02,00,00,00,34,00,00,00,00,00,"));
    mutes.toggle(s, sink, 5, 3);
    EXPECT_EQ(s.in(5).sendLevel[3], 44);
    // A send opened elsewhere (the device, typed entry) ends the mute instead of hiding it.
    mutes.toggle(s, sink, 2, 0);
    set("input[2].sendLevel[1]", 12);
    EXPECT_FALSE(mutes.muted(s, 2, 0));
    EXPECT_EQ(mutes.shownLevel(s, 2, 0), 12);
    // ... for good: told of that change, a later close elsewhere is not this MUTE lighting again.
    ChangeSet opened;
    opened.add(sendField(2, 0));
    mutes.forgetOpened(s, opened);
    set("input[2].sendLevel[1]", 0);
    EXPECT_FALSE(mutes.muted(s, 2, 0));
    EXPECT_EQ(mutes.shownLevel(s, 2, 0), 0);
    // A change elsewhere leaves a strip that is still closed muted.
    mutes.toggle(s, sink, 5, 3);
    mutes.forgetOpened(s, ChangeSet::everything());
    EXPECT_TRUE(mutes.muted(s, 5, 3));
    EXPECT_EQ(mutes.shownLevel(s, 5, 3), 44);
    mutes.toggle(s, sink, 5, 3);
    // A drag that is not muted stores each step and sends on the release only.
    sink.frames.clear();
    mutes.move(s, sink, 9, 8, 20, false);
    EXPECT_TRUE(sink.frames.empty());
    EXPECT_EQ(s.in(9).sendLevel[8], 20);
    mutes.move(s, sink, 9, 8, 21, true);
    EXPECT_EQ(texts(sink), (std::vector<std::string>{frame("%a,01,09,00,00,00,00,00,00,00,00,15,")}));
}

TEST_F(EffectsTest, TypedEntryReadsTheShownUnitsAndSends) {
    // Readout channel 17 (the reverberation return), kind 66: reverberation time in seconds.
    ASSERT_TRUE(applyTypedValue(s, sink, 17, 66, 0, "2.5s").applied);
    EXPECT_EQ(s.in(18).effectParams[9], 25);
    EXPECT_EQ(texts(sink), (std::vector<std::string>{buildM(s), buildReverb(s)}));
    // Channel 16 (the delay return), kinds 68..71; out of range is clamped, as everywhere.
    sink.frames.clear();
    ASSERT_TRUE(applyTypedValue(s, sink, 16, 70, 0, "250").applied);
    EXPECT_EQ(s.in(17).effectParams[2], 100);
    EXPECT_EQ(texts(sink), (std::vector<std::string>{buildN(s), buildDelay(s)}));
    // Sends: value - 60 dB, kinds 41..49 of the source.
    sink.frames.clear();
    ASSERT_TRUE(applyTypedValue(s, sink, 2, 44, 0, "-35dB").applied); // source 3, AUX 3
    EXPECT_EQ(s.in(3).sendLevel[3], 25);
    EXPECT_EQ(texts(sink).back(), "%a,01,03,00,00,00,19,00,00,00,00,00,6A66#");
    EXPECT_FALSE(applyTypedValue(s, sink, 2, 44, 0, "loud").applied);
}

TEST(EffectSections, RoundTripThroughTheDeviceReport) {
    DeviceState device;
    loadFactoryDefaults(device);
    for (int src = 1; src <= kInputRecords; ++src)
        for (int k = 0; k < 9; ++k)
            device.in(src).sendLevel[static_cast<std::size_t>(k)] = (src * 7 + k * 3) % 71;
    device.in(17).effectParams = {1000, 10, 100, 20, 0, 0, 0, 0, 0, 0, 0};
    device.in(17).mute = 1;
    device.in(18).effectParams = {0, 0, 0, 0, 0, 30, 100, 31, 99, 1, 19999};
    device.in(18).unused = 1;
    const std::string z = sim::buildFullStateReport(device, "QUORVEL");
    DeviceState app;
    loadFactoryDefaults(app);
    ReportDispatcher d(app);
    const DispatchResult r = d.dispatch(z, Clock::now());
    ASSERT_EQ(r.kind, ReportKind::FullState);
    EXPECT_EQ(r.dropCount, 0);
    for (int src = 1; src <= kInputRecords; ++src)
        EXPECT_EQ(app.in(src).sendLevel, device.in(src).sendLevel) << src;
    EXPECT_EQ(app.in(17).effectParams[0], 1000);
    EXPECT_EQ(app.in(17).effectParams[3], 20);
    EXPECT_EQ(app.in(17).mute, 1);
    EXPECT_EQ(std::vector<std::int32_t>(app.in(18).effectParams.begin() + 5, app.in(18).effectParams.end()),
              (std::vector<std::int32_t>{30, 100, 31, 99, 1, 19999}));
    EXPECT_EQ(app.in(18).unused, 1);
    EXPECT_EQ(app.in(18).mute, 0);
}

// A report built by hand from the factory sections with 28..30 replaced.
std::string withSections(const std::string& s28, const std::string& s29, const std::string& s30) {
    DeviceState f;
    loadFactoryDefaults(f);
    std::string z = sim::buildFullStateReport(f, "Q");
    std::string body = z.substr(0, z.size() - 5);
    // Cut after section 27 (the device text "Q,").
    body = body.substr(0, body.rfind(",Q,") + 3);
    return frame(body + s28 + "," + s29 + "," + s30 + ",");
}

TEST(EffectSections, OnlyExactLengthsAreReadAndValuesAreClamped) {
    const std::string sends(18 * 9 * 2, '0');
    DeviceState s;
    loadFactoryDefaults(s);
    s.in(4).sendLevel[2] = 9;
    const DeviceState before = s;
    ReportDispatcher d(s);
    // One character short, one too many, one short record: each section is left alone and noted.
    for (const auto& [s28, s29, s30] :
         {std::tuple{sends.substr(1), std::string("01F400E8264E2000"), std::string("3D302F32034E2000")},
          std::tuple{sends + "00", std::string("01F400E8264E20000000"),
                     std::string("3D302F32034E20000000")}}) {
        const DispatchResult r = d.dispatch(withSections(s28, s29, s30), Clock::now());
        ASSERT_EQ(r.kind, ReportKind::FullState);
        int wrong = 0;
        for (int i = 0; i < r.dropCount; ++i)
            wrong += r.drops[static_cast<std::size_t>(i)].reason == DropReason::WrongLength &&
                     r.drops[static_cast<std::size_t>(i)].section >= 28;
        EXPECT_EQ(wrong, 3);
        EXPECT_EQ(s.in(4).sendLevel, before.in(4).sendLevel);
        EXPECT_EQ(s.in(17).effectParams, before.in(17).effectParams);
        EXPECT_EQ(s.in(18).effectParams, before.in(18).effectParams);
    }
    // Exact lengths with values outside the ranges: kept inside them (0 never stands).
    std::string high(18 * 9 * 2, 'F');
    d.dispatch(withSections(high, "0000FFFFFF00000505", "00FF00FF00000002FF"), Clock::now());
    EXPECT_EQ(s.in(1).sendLevel[0], 70);
    EXPECT_EQ(s.in(17).effectParams[0], 10);
    EXPECT_EQ(s.in(17).effectParams[1], 1000);
    EXPECT_EQ(s.in(17).effectParams[2], 100);
    EXPECT_EQ(s.in(17).effectParams[3], 20);
    EXPECT_EQ(s.in(17).mute, 1);
    EXPECT_EQ(s.in(18).effectParams[5], 30);
    EXPECT_EQ(s.in(18).effectParams[6], 100);
    EXPECT_EQ(s.in(18).effectParams[9], 1);
    EXPECT_EQ(s.in(18).effectParams[10], 20);
    EXPECT_EQ(s.in(18).unused, 1);
}

TEST(EffectSections, StatusReportCarriesTheEffectMeters) {
    int meters[20] = {};
    meters[0] = 40;
    DeviceState s;
    loadFactoryDefaults(s);
    ReportDispatcher d(s);
    DispatchResult r = d.dispatch(sim::buildStatusReport(meters, 0, 0, {11, 22, 33, 44}), Clock::now());
    EXPECT_EQ(r.kind, ReportKind::Status);
    EXPECT_EQ(r.dropCount, 0);
    EXPECT_EQ(s.effectMeters, (std::array<std::int32_t, 4>{11, 22, 33, 44}));
    EXPECT_EQ(s.in(1).meter, 40);
    // A device without them is still read in full, and leaves the effect meters as they were.
    r = d.dispatch(sim::buildStatusReport(meters, 1, 0), Clock::now());
    EXPECT_EQ(r.dropCount, 0);
    EXPECT_EQ(s.in(1).channelOpen, 1);
    EXPECT_EQ(s.effectMeters[3], 44);

    // The simulator's meters: an effect hears its send, nothing through a muted input.
    DeviceState dev;
    loadFactoryDefaults(dev);
    dev.in(1).sendLevel[7] = 60; // source 1 to the delay at unity
    auto m = sim::effectMeters(dev, meters);
    EXPECT_EQ(m[0], 40);
    EXPECT_GT(m[1], 0);
    EXPECT_EQ(m[2], 0) << "nothing is sent to the reverberation";
    dev.in(17).unused = 1;
    EXPECT_EQ(sim::effectMeters(dev, meters)[0], 0);
    dev.in(17).unused = 0;
    dev.in(17).mute = 1;
    EXPECT_EQ(sim::effectMeters(dev, meters)[1], 0);
    // A silent input (meter 0) sends nothing, even with its send at +10 dB and a long tail.
    dev.in(2).sendLevel[8] = 70;
    dev.in(18).effectParams[9] = 100;
    EXPECT_EQ(sim::effectMeters(dev, meters)[2], 0);
    EXPECT_EQ(sim::effectMeters(dev, meters)[3], 0);

    // The automixer's two values and the effect meters travel in one report: each lands in its
    // place (channel 5 open, channel 5 kept by LAST HOLD).
    s.automix.lastHold = 1;
    r = d.dispatch(sim::buildStatusReport(meters, 0x10, 5, {1, 2, 3, 4}), Clock::now());
    EXPECT_EQ(r.dropCount, 0);
    for (int c = 1; c <= 8; ++c) {
        EXPECT_EQ(s.in(c).channelOpen, c == 5 ? 1 : 0) << c;
        EXPECT_EQ(s.in(c).lastOpen, c == 5 ? 1 : 0) << c;
    }
    EXPECT_EQ(s.effectMeters, (std::array<std::int32_t, 4>{1, 2, 3, 4}));
}

TEST(EffectFrames, SimulatorTakesOnlyWellFormedFrames) {
    DeviceState app, dev;
    loadFactoryDefaults(app);
    loadFactoryDefaults(dev);
    app.in(7).sendLevel = {1, 2, 3, 4, 5, 6, 7, 8, 70};
    app.in(17).effectParams[1] = 999;
    app.in(18).effectParams[10] = 345;
    app.in(18).unused = 1;
    for (const std::string& f : {buildSends(app, 7), buildDelay(app), buildReverb(app)})
        EXPECT_TRUE(sim::applyCommand(dev, f).applied) << f;
    EXPECT_EQ(dev.in(7).sendLevel, app.in(7).sendLevel);
    EXPECT_EQ(dev.in(17).effectParams, app.in(17).effectParams);
    EXPECT_EQ(dev.in(18).effectParams[10], 345);
    EXPECT_EQ(dev.in(18).unused, 1);

    const DeviceState kept = dev;
    const std::vector<std::string> bad = {
        frame("%a,01,13,00,00,00,00,00,00,00,00,00,"),    // source 19
        frame("%a,01,00,00,00,00,00,00,00,00,00,00,"),    // source 0
        frame("%a,01,03,00,00,00,00,00,00,00,00,"),       // eight levels
        frame("%a,01,03,00,00,00,00,00,00,00,00,00,00,"), // ten
        frame("%y,01,01F4,00E8,26,4E20,00,"),             // a flag short
        frame("%y,01,1F4,00E8,26,4E20,00,00,"),           // a narrow field
        frame("%v,01,3D,30,2F,32,03,4E20,00,00,00,"),     // a field too many
        frame("%A,01,1B,"),                               // bare A 27: nothing kept
    };
    for (const std::string& f : bad)
        sim::applyCommand(dev, f);
    EXPECT_EQ(dev.in(3).sendLevel, kept.in(3).sendLevel);
    EXPECT_EQ(dev.in(17).effectParams, kept.in(17).effectParams);
    EXPECT_EQ(dev.in(17).mute, 0);
    EXPECT_EQ(dev.in(18).effectParams, kept.in(18).effectParams);
    for (std::size_t i = 0; i + 1 < bad.size(); ++i)
        EXPECT_FALSE(sim::applyCommand(dev, bad[i]).applied) << bad[i];
}

TEST(EffectFrames, PacedSenderKeepsTheLatestGroupPerSource) {
    ManualClock clock;
    std::vector<std::string> sent;
    PacedSender sender(
        [&](const Destination&, std::string_view d, std::string&) {
            sent.emplace_back(d);
            return true;
        },
        clock, PacedSender::Threading::Manual);
    const Destination to = *makeDestination("127.0.0.2", 39020);
    DeviceState s;
    loadFactoryDefaults(s);
    // The first frame finds the line free; the next ones wait behind its pause.
    OutgoingFrame first{buildQ(1), std::chrono::milliseconds(20), false};
    sender.enqueue(first, to);
    for (int v : {10, 11, 12}) {
        s.in(3).sendLevel[3] = v;
        sender.enqueue(OutgoingFrame{buildSends(s, 3), {}, false}, to);
        s.in(17).effectParams[0] = 100 + v;
        sender.enqueue(OutgoingFrame{buildDelay(s), {}, false}, to);
    }
    sender.enqueue(OutgoingFrame{buildSends(s, 4), {}, false}, to);
    clock.advance(std::chrono::milliseconds(100));
    while (sender.pump() > 0) {
    }
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[1], buildSends(s, 3));
    EXPECT_EQ(sent[2], buildDelay(s));
    EXPECT_EQ(sent[3], buildSends(s, 4));
}

} // namespace
} // namespace quorvel
