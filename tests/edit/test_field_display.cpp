// How fields are shown and read back: the readout's formats per kind, the typed value entry's
// units and clamping, and the registry's display data agreeing with the readout's table.
#include <gtest/gtest.h>

#include <limits>
#include <memory>

#include "link/edit.h"
#include "link/field_display.h"

namespace quorvel {
namespace {

std::unique_ptr<DeviceState> fresh() {
    auto s = std::make_unique<DeviceState>();
    loadFactoryDefaults(*s, 1);
    return s;
}

std::string value1(const DeviceState& s, int ch, int kind) {
    return formatReadout(s, ch, kind, 1).value1;
}

TEST(Readout, FormatsPerKind) {
    auto p = fresh();
    DeviceState& s = *p;
    s.in(3).level = 52;
    s.in(3).pan = 75;
    s.in(3).mute = 1;
    s.in(3).peq[1].bandGain = 123;
    s.in(3).peq[1].bandFreq = 1250;
    s.in(3).peq[1].bandQ = 7;
    s.in(3).dynamics.compRatio = 45;
    s.in(3).dynamics.compGain = 35;
    s.in(3).sendLevel[2] = 70;
    EXPECT_EQ(value1(s, 2, 1), "OPEN");
    EXPECT_EQ(value1(s, 2, 2), "CLOSE");
    EXPECT_EQ(value1(s, 2, 3), "-8dB");
    EXPECT_EQ(value1(s, 2, 4), "-0.25");
    EXPECT_EQ(value1(s, 2, 8), "-2.7dB"); // band 2 gain
    EXPECT_EQ(value1(s, 2, 9), "1250Hz"); // band 2 frequency
    EXPECT_EQ(value1(s, 2, 10), "0.70");  // band 2 Q
    EXPECT_EQ(value1(s, 2, 55), "1:4.5");
    EXPECT_EQ(value1(s, 2, 58), "3.5dB");
    EXPECT_EQ(value1(s, 2, 43), "10dB"); // AUX2
    // The band kinds show gain and frequency side by side.
    const ReadoutText band = formatReadout(s, 2, 23, 1);
    EXPECT_EQ(band.paramName, "BAND2");
    EXPECT_EQ(band.value1, "-2.7dB");
    EXPECT_EQ(band.value2, "1250Hz");
    // Effect returns, at their RESET values: reverberation time and delay feedback.
    EXPECT_EQ(value1(s, 17, 66), "0.3s");
    EXPECT_EQ(value1(s, 16, 70), "38%");
    // Outputs: GEQ band and limiter ratio; no solo of their own.
    s.out(2).geq[30].gain = 180;
    EXPECT_EQ(value1(s, 19, 35), "3.0dB");
    EXPECT_EQ(value1(s, 19, 42), "1:1.0");
    EXPECT_EQ(value1(s, 19, 2), "");
    // Kind 0 clears everything but the channel; names follow the language.
    const ReadoutText none = formatReadout(s, 0, 0, 1);
    EXPECT_TRUE(none.paramName.empty() && none.value1.empty() && none.value2.empty());
    EXPECT_EQ(formatReadout(s, 0, 3, 2).paramName, "音量");
    EXPECT_EQ(formatReadout(s, 0, 3, 1).channelName, "CH 1");
    EXPECT_EQ(formatField(s, *FieldRegistry::instance().idOf("input[3].level")), "-8dB");
    EXPECT_EQ(formatField(s, *FieldRegistry::instance().idOf("input[1].name")), "CH 1");
}

struct Typed : ::testing::Test {
    Typed() { s->link.linkOnline = true; }
    EditOutcome apply(int ch, int kind, int field, const char* text) {
        return applyTypedValue(*s, sink, ch, kind, field, text);
    }
    std::unique_ptr<DeviceState> s = fresh();
    RecordingSink sink;
};

TEST_F(Typed, ConvertsAndClamps) {
    DeviceState& st = *s;
    EXPECT_TRUE(apply(0, 3, 0, "-12dB").applied);
    EXPECT_EQ(st.in(1).level, 48);
    apply(0, 3, 0, "+25"); // above +10 dB
    EXPECT_EQ(st.in(1).level, 70);
    apply(0, 3, 0, "-1e9"); // exponent forms are not plain numbers
    EXPECT_EQ(st.in(1).level, 70);
    apply(0, 3, 0, "-99999999999999999999");
    EXPECT_EQ(st.in(1).level, 0);
    apply(0, 4, 0, "-0.5");
    EXPECT_EQ(st.in(1).pan, 50);
    apply(0, 5, 0, "3.5");
    EXPECT_EQ(st.in(1).peq[0].bandGain, 185);
    apply(0, 7, 0, "0.01"); // Q below 0.1
    EXPECT_EQ(st.in(1).peq[0].bandQ, 1);
    apply(0, 55, 0, "1:4");
    EXPECT_EQ(st.in(1).dynamics.compRatio, 40);
    apply(0, 20, 0, "30khz");
    EXPECT_EQ(st.in(1).hpfFreq, 20000);
    apply(17, 66, 0, "3.4S");
    EXPECT_EQ(st.in(18).effectParams[9], 34);

    // A unit is converted into the one shown; the unit of another kind changes nothing, so a
    // stray "k" cannot throw a level to its top.
    apply(0, 52, 0, "0.1s");
    EXPECT_EQ(st.in(1).gate.gateAttack, 100);
    apply(17, 66, 0, "2500ms");
    EXPECT_EQ(st.in(18).effectParams[9], 25);
    apply(0, 3, 0, "-20");
    for (const char* wrongUnit : {"5K", "5HZ", "5MS", "5%"})
        EXPECT_FALSE(apply(0, 3, 0, wrongUnit).applied) << wrongUnit;
    EXPECT_EQ(st.in(1).level, 40);
    EXPECT_FALSE(apply(0, 20, 0, "12dB").applied);
    EXPECT_FALSE(apply(0, 4, 0, "0.5dB").applied);

    // The second field is the band's frequency, and only for the band kinds.
    EXPECT_TRUE(apply(0, 23, 1, "1.5K").applied);
    EXPECT_EQ(st.in(1).peq[1].bandFreq, 1500);
    EXPECT_FALSE(apply(0, 3, 1, "5").applied);

    // Switches take OPEN and CLOSE in any case; anything else changes nothing.
    EXPECT_TRUE(apply(0, 1, 0, "open").applied);
    EXPECT_EQ(st.in(1).mute, 1);
    EXPECT_FALSE(apply(0, 1, 0, "on").applied);
    EXPECT_EQ(st.in(1).mute, 1);
    EXPECT_FALSE(apply(0, 3, 0, "loud").applied);
    EXPECT_FALSE(apply(0, 3, 0, "").applied);
    EXPECT_FALSE(apply(18, 2, 0, "OPEN").applied); // outputs have no solo

    // The carrier follows: A for the level, G with the band, D for the limiter.
    sink.frames.clear();
    apply(2, 3, 0, "0");
    apply(2, 24, 0, "1");
    apply(20, 41, 0, "-10");
    EXPECT_EQ(st.out(3).limiter[1], 50);
    ASSERT_EQ(sink.frames.size(), 3u);
    EXPECT_EQ(sink.frames[0].text, buildA(st, 3));
    EXPECT_EQ(sink.frames[1].text, buildG(st, 3, 3));
    EXPECT_EQ(sink.frames[2].text, buildD(st, 3));
    // Offline it is stored and nothing goes out.
    sink.frames.clear();
    st.link.linkOnline = false;
    EXPECT_TRUE(apply(2, 3, 0, "-3").applied);
    EXPECT_EQ(st.in(3).level, 57);
    EXPECT_TRUE(sink.frames.empty());
}

TEST_F(Typed, LinkedChannelCopiesToItsMembers) {
    DeviceState& st = *s;
    // Inputs 1 and 2 volume-linked, outputs 3 and 4 too.
    st.controlGroups[0][0] = st.controlGroups[0][1] = 1;
    st.controlGroups[0][cg::kLinkVolume] = 1;
    st.controlGroups[1][cg::kFirstOutput + 2] = st.controlGroups[1][cg::kFirstOutput + 3] = 1;
    st.controlGroups[1][cg::kLinkVolume] = 1;
    const EditOutcome r = apply(0, 3, 0, "-12");
    ASSERT_TRUE(r.applied);
    EXPECT_EQ(st.in(2).level, 48);
    EXPECT_EQ(r.changed.fields().size(), 2u);
    apply(20, 1, 0, "OPEN");
    EXPECT_EQ(st.out(4).mute, 1);
    ASSERT_EQ(sink.frames.size(), 4u);
    EXPECT_EQ(sink.frames[1].text, buildA(st, 2));
    EXPECT_EQ(sink.frames[1].pauseAfter, kMemberPause);
    EXPECT_EQ(sink.frames[3].text, buildA(st, 16));
}

TEST(TypedEntry, EveryKindStaysInItsFieldRange) {
    // Whatever is typed, and whatever the device left in the record, no kind may store a value
    // outside its field's range or fail to format.
    auto p = fresh();
    DeviceState& s = *p;
    for (InputChannel& ch : s.input)
        ch.level = ch.pan = ch.hpfFreq = std::numeric_limits<std::int32_t>::min();
    for (OutputChannel& o : s.output)
        o.limiter.fill(std::numeric_limits<std::int32_t>::max());
    const auto& reg = FieldRegistry::instance();
    DiscardSink sink;
    int applied = 0;
    for (int ch = 0; ch < kReadoutChannels; ++ch) {
        for (int kind = 0; kind <= 80; ++kind) {
            (void)formatReadout(s, ch, kind, 1);
            for (int field = 0; field < 2; ++field) {
                for (const char* text : {"99999999", "-99999999", "0", "1:0", "0.05", "OPEN"}) {
                    const EditOutcome r = applyTypedValue(s, sink, ch, kind, field, text);
                    if (!r.applied) continue;
                    ++applied;
                    for (FieldId id : r.changed.fields()) {
                        const FieldInfo& f = reg.field(id);
                        const std::int32_t v = FieldRegistry::get(s, f);
                        EXPECT_TRUE(v >= f.min && v <= f.max) << ch << " kind " << kind << " " << text;
                    }
                }
            }
        }
    }
    EXPECT_GT(applied, 500);
}

TEST(FieldDisplay, RegistryAgreesWithTheReadoutTable) {
    const auto& reg = FieldRegistry::instance();
    int shown = 0;
    for (int ch = 0; ch < kReadoutChannels; ++ch)
        for (int kind = 1; kind <= kReadoutLastKind; ++kind)
            for (int slot = 0; slot < 2; ++slot) {
                const ReadoutKindInfo k = readoutKind(ch, kind);
                const ReadoutSlotInfo& info = slot == 0 ? k.v1 : k.v2;
                const auto id = fieldForReadout(ch, kind, slot);
                ASSERT_EQ(id.has_value(), !info.path.empty()) << ch << " " << kind << " " << slot;
                if (!id) continue;
                ++shown;
                EXPECT_EQ(reg.field(*id).path, info.path);
                EXPECT_EQ(reg.field(*id).format, info.format);
                const auto ref = readoutFor(*id);
                ASSERT_TRUE(ref);
                EXPECT_EQ(ref->channel, ch); // a field is shown on its own record's channel
                EXPECT_EQ(fieldForReadout(ref->channel, ref->kind, ref->slot), id);
            }
    EXPECT_GT(shown, 1000);
    // Nothing beyond the table.
    EXPECT_FALSE(fieldForReadout(26, 3, 0));
    EXPECT_FALSE(fieldForReadout(0, kReadoutLastKind + 1, 0));
    EXPECT_FALSE(fieldForReadout(0, 3, 2));
    EXPECT_FALSE(readoutFor(*reg.idOf("input[1].meter")));
    // What the strips show: a level in dB, a mute as a switch, a pan, a band's gain.
    EXPECT_EQ(reg.find("output[4].level")->format, DisplayFormat::Db60);
    EXPECT_EQ(reg.find("input[7].mute")->format, DisplayFormat::Switch);
    EXPECT_EQ(reg.find("input[7].pan")->format, DisplayFormat::Pan);
    EXPECT_EQ(reg.find("input[7].peq[3].bandGain")->format, DisplayFormat::Gain150);
    EXPECT_EQ(reg.find("input[7].level")->readout.kind, 3);
    EXPECT_EQ(reg.find("output[2].level")->readout.channel, 19);
}

TEST(FieldDisplay, ParseRoundTripsTheShownText) {
    // Every value a shown field can hold reads back from its own text to itself.
    const auto& reg = FieldRegistry::instance();
    int checked = 0;
    for (const FieldInfo& f : reg.fields()) {
        if (f.format == DisplayFormat::None || f.kind == FieldKind::Name ||
            std::int64_t{f.max} - f.min > 20000)
            continue;
        for (std::int32_t raw = f.min; raw <= f.max; raw += (f.max - f.min) / 50 + 1) {
            const auto back = parseDisplayValue(f.id, formatDisplayValue(f.format, raw));
            ASSERT_TRUE(back) << f.path << " " << raw;
            EXPECT_EQ(*back, raw) << f.path << " " << formatDisplayValue(f.format, raw);
            ++checked;
        }
    }
    EXPECT_GT(checked, 10000);
}

} // namespace
} // namespace quorvel
