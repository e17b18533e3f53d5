// The simulator's reading of commands and writing of reports, checked against the
// application's own builders and parsers: whatever one side writes, the other must read back.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "command_apply.h"
#include "firmware.h"
#include "link/commands.h"
#include "link/field_registry.h"
#include "link/frame.h"
#include "link/gbk.h"
#include "link/reports.h"
#include "meters.h"
#include "report_builder.h"

using namespace quorvel;
using namespace quorvel::sim;

namespace {

// A model far from the factory values in every field a command carries, each value inside the
// field's range. Gains travel halved, so only even ones can come back unchanged.
DeviceState scrambled(unsigned seed) {
    std::mt19937 rng(seed);
    DeviceState s;
    loadFactoryDefaults(s);
    for (const FieldInfo& f : FieldRegistry::instance().fields()) {
        if (!f.carrier.letter || f.kind == FieldKind::Name) continue;
        int v = std::uniform_int_distribution<int>(f.min, f.max)(rng);
        if (f.path.find("Gain") != std::string::npos || f.path.find("geq[") != std::string::npos) v &= ~1;
        FieldRegistry::set(s, f, v);
    }
    for (int c = 1; c <= kAnalogInputs; ++c)
        s.in(c).peqOn = 1; // the application forces it on after every full-state report
    return s;
}

// The full-state report is a one-to-one image of the fields it carries (over the records it
// covers), so two models agree on all of them exactly when their reports are the same text.
void expectSameCarried(const DeviceState& a, const DeviceState& b) {
    EXPECT_EQ(buildFullStateReport(a, ""), buildFullStateReport(b, ""));
}

} // namespace

TEST(SimReports, FullStateReportReadsBackAsTheModel) {
    for (unsigned seed : {1u, 2u, 3u}) {
        DeviceState device = scrambled(seed);
        std::string z = buildFullStateReport(device, "QUORVEL");
        ASSERT_TRUE(validateFrame(z));
        DeviceState app;
        loadFactoryDefaults(app);
        ASSERT_TRUE(parseFullStateReport(z, app));
        expectSameCarried(device, app);
        EXPECT_EQ(std::string(nameView(app.deviceText)), "QUORVEL");
    }
    // Delimiters in the device text would break the frame apart; they are left out.
    DeviceState s;
    loadFactoryDefaults(s);
    std::string z = buildFullStateReport(s, "A,B%C#D");
    DeviceState app;
    ASSERT_TRUE(parseFullStateReport(z, app));
    EXPECT_EQ(std::string(nameView(app.deviceText)), "ABCD");
}

TEST(SimReports, StatusReportPairsSitWhereTheApplicationReadsThem) {
    int meters[20];
    for (int i = 0; i < 20; ++i)
        meters[i] = i * 4;
    meters[3] = 90;
    std::string q = buildStatusReport(meters, 0b10000101, 3);
    DeviceState app;
    loadFactoryDefaults(app);
    ASSERT_TRUE(parseStatusReport(q, app));
    for (int c = 1; c <= 12; ++c)
        EXPECT_EQ(app.in(c).meter, meters[c - 1]);
    for (int o = 1; o <= 8; ++o)
        EXPECT_EQ(app.out(o).meter, meters[11 + o]);
    for (int c = 1; c <= 8; ++c)
        EXPECT_EQ(app.in(c).channelOpen, (0b10000101 >> (c - 1)) & 1) << c;
    EXPECT_EQ(app.in(3).lastOpen, 1);
    EXPECT_EQ(app.in(1).lastOpen, 0);
}

TEST(SimReports, InventedRepliesAreNotMistakenForReports) {
    // The search answer: second data field exactly four characters reading 5.
    EXPECT_EQ(buildSearchAnswer("127.0.0.2", 39020).substr(0, 30), "%R,01,0005,127000000002,39020,");
    // Version replies use letters the application's dispatcher passes over, so they never
    // overwrite the model as a full-state report would.
    DeviceState app;
    ReportDispatcher dispatch(app);
    for (const std::string& f : {buildHardwareVersionReply("32"), buildBasicVersionReply("250")}) {
        ASSERT_TRUE(validateFrame(f)) << f;
        EXPECT_EQ(dispatch.dispatch(f, Clock::now()).kind, ReportKind::Ignored) << f;
    }
}

TEST(SimCommands, EveryLetterAppliesWhatTheApplicationSent) {
    const DeviceState app = scrambled(42);
    DeviceState device;
    loadFactoryDefaults(device);
    auto apply = [&](const std::string& f) {
        ASSERT_FALSE(f.empty());
        ApplyResult r = applyCommand(device, f);
        EXPECT_TRUE(r.applied) << f;
    };
    for (int ch = 1; ch <= 20; ++ch)
        apply(buildA(app, ch));
    for (int ch = 1; ch <= 12; ++ch) {
        apply(buildB(app, ch));
        apply(buildC(app, ch));
        apply(buildO(app, ch));
    }
    for (int ch = 1; ch <= kInputRecords; ++ch) {
        apply(buildE(app, ch));
        apply(buildF(app, ch));
        apply(buildL(app, ch));
        for (int b = 1; b <= 4; ++b)
            apply(buildG(app, ch, b));
    }
    for (int o = 1; o <= 8; ++o) {
        apply(buildD(app, o));
        apply(buildH(app, o));
        apply(buildI(app, o));
        apply(buildJ(app, o));
        apply(buildK(app, o));
    }
    apply(buildM(app));
    apply(buildN(app));
    for (int src = 1; src <= kInputRecords; ++src)
        apply(buildSends(app, src));
    apply(buildDelay(app));
    apply(buildReverb(app));
    for (int u = 1; u <= 4; ++u)
        apply(buildX(app, u));
    // C reaches the analogue channels only; the report still covers strips 13..16.
    for (int ch = 13; ch <= 16; ++ch)
        device.in(ch).dynamics = app.in(ch).dynamics;
    expectSameCarried(app, device);
    for (int ch = 1; ch <= kInputRecords; ++ch) {
        EXPECT_EQ(device.in(ch).lpfType, app.in(ch).lpfType);
        EXPECT_EQ(device.in(ch).hpfType, app.in(ch).hpfType);
    }
    EXPECT_EQ(device.units, app.units); // zero slots went as FF and came back as 0

    // V: the name comes back from its UTF-16 units, Chinese included.
    DeviceState named = app;
    setName(named.in(3).name, *utf8ToGbk("\xE8\xAE\xB2\xE5\x8F\xB0"));
    setName(named.out(2).name, "Stage L");
    apply(buildV(named, 3));
    apply(buildV(named, 14));
    EXPECT_EQ(nameView(device.in(3).name), nameView(named.in(3).name));
    EXPECT_EQ(nameView(device.out(2).name), "Stage L");
}

TEST(SimCommands, SwitchesCallsAndWhatTheDeviceIgnores) {
    DeviceState device;
    loadFactoryDefaults(device);
    EXPECT_EQ(applyCommand(device, buildQ(0)).reportsSwitch, 0);
    EXPECT_EQ(applyCommand(device, buildQ(1)).reportsSwitch, 1);
    EXPECT_EQ(applyCommand(device, buildW(3)).calledUnit, 3);

    // A level change is news for the levels report; setting the same value again is not.
    DeviceState app = device;
    app.in(4).level = 12;
    EXPECT_TRUE(applyCommand(device, buildA(app, 4)).levelsChanged);
    EXPECT_FALSE(applyCommand(device, buildA(app, 4)).levelsChanged);
    // Effect returns carry no values; accepted, nothing changes.
    const DeviceState before = device;
    EXPECT_TRUE(applyCommand(device, buildA(app, 27)).applied);

    // Source numbers above the outputs, bad selectors and short frames leave the model alone.
    auto frame = [](char letter, std::initializer_list<int> values) {
        CommandFrame f(letter);
        f.x2(1);
        for (int v : values)
            f.x2(v);
        return std::move(f).finish();
    };
    EXPECT_FALSE(applyCommand(device, frame('I', {9, 1})).applied);
    EXPECT_FALSE(applyCommand(device, frame('J', {12, 1, 50})).applied);
    EXPECT_FALSE(applyCommand(device, frame('K', {0, 1})).applied);
    EXPECT_FALSE(applyCommand(device, frame('C', {13, 1, 2, 3, 4, 5, 6})).applied);
    EXPECT_FALSE(applyCommand(device, frame('G', {1, 1, 5, 1, 100, 75, 10})).applied); // band 5
    EXPECT_FALSE(applyCommand(device, frame('D', {3, 1})).applied);                    // too short
    EXPECT_FALSE(applyCommand(device, frame('X', {2, 1})).applied);
    EXPECT_FALSE(applyCommand(device, frame('Q', {2})).applied);
    EXPECT_FALSE(applyCommand(device, frame('g', {1})).applied);
    EXPECT_EQ(0, std::memcmp(&before.input, &device.input, sizeof device.input));
    EXPECT_EQ(0, std::memcmp(&before.output, &device.output, sizeof device.output));
}

namespace {

// The transfer as the application's sender makes it: the file, its checksum high byte first,
// cut into 1024-byte blocks, the last one zero-padded.
std::vector<std::string> transferFrames(const std::string& file, int target) {
    std::string image = file;
    const std::uint16_t crc = frameChecksum(file);
    image.push_back(static_cast<char>(crc >> 8));
    image.push_back(static_cast<char>(crc & 0xFF));
    std::vector<std::string> out;
    CommandFrame s('S');
    s.x2(1).dec(target);
    std::string blocks, length;
    appendX2(blocks, static_cast<int>((file.size() - 1) / 1024 + 1));
    char buf[8];
    std::snprintf(buf, sizeof buf, "%05X", static_cast<unsigned>(file.size()));
    s.raw(blocks).comma().raw(buf).comma();
    out.push_back(std::move(s).finish());
    for (size_t i = 0; i * 1024 < image.size(); ++i) {
        std::string data;
        for (size_t k = 0; k < 1024; ++k) {
            size_t at = i * 1024 + k;
            appendX2(data, at < image.size() ? static_cast<unsigned char>(image[at]) : 0);
        }
        CommandFrame t('T');
        t.x2(1).dec(target).x2(static_cast<int>(i)).raw(data).comma();
        out.push_back(std::move(t).finish());
    }
    out.push_back(std::move(CommandFrame('U').x2(1).dec(target)).finish());
    return out;
}

std::string fileOf(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string f(n, '\0');
    for (char& c : f)
        c = static_cast<char>(rng());
    return f;
}

} // namespace

TEST(SimFirmware, ImagesOfEveryShapeArriveIntact) {
    // Sizes around the block edges: the checksum may share the last block, spill into a block of
    // its own, or fill one alone.
    for (size_t n : {1u, 1000u, 1022u, 1023u, 1024u, 1500u, 2048u, 3071u}) {
        SCOPED_TRACE(n);
        FirmwareReceiver rx("", 0);
        auto frames = transferFrames(fileOf(n, static_cast<unsigned>(n)), 1);
        EXPECT_NE(rx.onStart(frames[0]).find("%S"), std::string::npos);
        for (size_t i = 1; i + 1 < frames.size(); ++i)
            EXPECT_EQ(rx.onBlock(frames[i]).substr(0, 2), "%Y");
        std::string u = rx.onEnd(frames.back());
        EXPECT_EQ(u.substr(6, 2), "00") << rx.lastMessage();
    }
}

TEST(SimFirmware, DamagedOrMisorderedTransfersFail) {
    const std::string file = fileOf(1500, 5);
    auto frames = transferFrames(file, 0);
    { // a block skipped: error reply, and the end finds no transfer
        FirmwareReceiver rx("", 0);
        rx.onStart(frames[0]);
        std::string reply = rx.onBlock(frames[2]);
        EXPECT_EQ(reply.find("%Y"), std::string::npos);
        EXPECT_EQ(reply.substr(0, 9), "%e,01,03,");
        EXPECT_EQ(rx.onEnd(frames[3]).substr(6, 2), "04");
    }
    { // ended early
        FirmwareReceiver rx("", 0);
        rx.onStart(frames[0]);
        rx.onBlock(frames[1]);
        EXPECT_EQ(rx.onEnd(frames[3]).substr(6, 2), "02");
    }
    { // a complete transfer refused on request
        FirmwareReceiver rx("", 0x7E);
        for (size_t i = 0; i + 1 < frames.size(); ++i)
            i == 0 ? (void)rx.onStart(frames[i]) : (void)rx.onBlock(frames[i]);
        EXPECT_EQ(rx.onEnd(frames.back()).substr(6, 2), "7E");
    }
}

TEST(SimMeters, GateObeysMaxOpenPriorityLastHoldAndManual) {
    DeviceState s;
    loadFactoryDefaults(s);
    s.automix.maxOpenChannels = 2;
    s.automix.lastHold = 1;
    s.automix.holdTime = 1; // 50 ms
    for (int c = 1; c <= 8; ++c)
        s.in(c).automixThreshold = 40;
    SpeechMeters m(1);
    auto run = [&](double seconds) {
        for (double t = 0; t < seconds; t += 0.05)
            m.step(0.05, s);
    };
    for (int c = 1; c <= 12; ++c)
        m.force(c, 3);
    m.force(2, 60), m.force(5, 70), m.force(7, 80);
    run(0.2);
    EXPECT_EQ(__builtin_popcount(static_cast<unsigned>(m.openMask())), 2);
    EXPECT_EQ(m.openMask() & (1 << 6), 0) << "three start together: the highest channel waits";

    s.in(2).priority = 1;
    run(0.2);
    EXPECT_TRUE(m.openMask() & (1 << 1)) << "priority wins a place";

    // Everyone stops: the last channel opened stays open, and only it.
    for (int c : {2, 5, 7})
        m.force(c, 3);
    run(0.5);
    ASSERT_NE(m.lastOpen(), 0);
    EXPECT_EQ(m.openMask(), 1 << (m.lastOpen() - 1));
    s.automix.lastHold = 0;
    run(0.2);
    EXPECT_EQ(m.openMask(), 0);

    s.automix.manualMode = 1;
    run(0.1);
    EXPECT_EQ(m.openMask(), 0xFF);

    // Left alone, the speech channels move and stay on the device's scale.
    SpeechMeters free(7);
    DeviceState d;
    loadFactoryDefaults(d);
    int lo = 100, hi = -1;
    for (int i = 0; i < 400; ++i) {
        free.step(0.05, d);
        for (int v : free.meters())
            lo = std::min(lo, v), hi = std::max(hi, v);
    }
    EXPECT_GE(lo, 0);
    EXPECT_LE(hi, kMeterMax);
    EXPECT_GT(hi, 50);
}
