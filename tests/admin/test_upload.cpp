#include <gtest/gtest.h>

#include <map>

#include "admin/bulk_upload.h"
#include "admin/factory_reset.h"
#include "admin/units.h"
#include "link/clock.h"
#include "link/paced_sender.h"

namespace quorvel {
namespace {

using std::chrono::milliseconds;

struct Wire {
    struct Datagram {
        std::string text;
        Clock::time_point at;
    };
    ManualClock clock;
    std::vector<Datagram> sent;
    PacedSender sender{[this](const Destination&, std::string_view d, std::string&) {
                           sent.push_back({std::string(d), clock.now()});
                           return true;
                       },
                       clock, PacedSender::Threading::Manual};
    Destination to = *makeDestination("127.0.0.2", 39020);
    CallbackSink sink{[this](OutgoingFrame f) { sender.enqueue(std::move(f), to); }};

    // Walks the clock 1 ms at a time, pumping the upload whenever the sender would look.
    void run(BulkUpload& up, const std::function<void(int ms)>& each = {}) {
        for (int ms = 0; ms < 20000; ++ms) {
            up.pump(sink, sender.idle());
            sender.pump();
            if (each) each(ms);
            if (up.finished() && sender.settled()) return;
            clock.advance(milliseconds(1));
        }
        FAIL() << "upload did not finish";
    }
    // Frames on the wire: every datagram that starts with '%' (the V pieces after the first do not).
    std::vector<std::string> frames() const {
        std::vector<std::string> out;
        for (const auto& d : sent)
            if (!d.text.empty() && d.text[0] == '%') out.push_back(d.text);
        return out;
    }
};

DeviceState onlineFactory() {
    DeviceState s;
    loadFactoryDefaults(s);
    s.link.linkOnline = true;
    return s;
}

std::string letters(const std::vector<std::string>& frames) {
    std::string out;
    for (const auto& f : frames)
        out += f[1];
    return out;
}

TEST(BulkUpload, SendsTheWholeModelInOrderWithItsPauses) {
    DeviceState s = onlineFactory();
    Wire w;
    BulkUpload up(s);
    const Clock::time_point start = w.clock.now();
    w.run(up);
    ASSERT_TRUE(up.completed());
    const auto frames = w.frames();
    ASSERT_EQ(frames.size(), 187u);
    EXPECT_EQ(w.sent.size(), 219u); // 16 names in three pieces each
    EXPECT_EQ(frames.front(), buildQ(0));
    EXPECT_EQ(frames.back(), buildQ(1));

    std::string expect = "QXXXX";
    for (int n = 1; n <= 16; ++n)
        expect += "VA";
    for (int c = 1; c <= 12; ++c)
        expect += c <= 8 ? "BCEFLO" : "B";
    for (int k = 1; k <= 4; ++k)
        expect += "DHIJK";
    for (int c = 1; c <= 12; ++c)
        expect += c <= 8 ? "GGGGI" : "GGGG";
    expect += "M" + std::string(18, 'a') + "yvQ";
    EXPECT_EQ(letters(frames), expect);
    // I follows the G frames of channels 1..8 only, numbered with the channel.
    const auto firstG = expect.find('G');
    EXPECT_EQ(frames[firstG + 4], buildI(s, 1));
    EXPECT_EQ(frames[firstG + 8 * 5 - 1], buildI(s, 8));

    EXPECT_EQ(frames[expect.find('a') + 17], buildSends(s, 18));
    EXPECT_EQ(frames[frames.size() - 2], buildReverb(s));
    // The line is free 6.66 s after the start: the pauses and nothing more.
    EXPECT_EQ(w.clock.now() - start, milliseconds(6660));
    // A name's last piece is followed by 160 ms before its A, a unit's X by 110 ms.
    std::map<char, Clock::duration> gapAfter;
    for (std::size_t i = 0; i + 1 < w.sent.size(); ++i) {
        const std::string& t = w.sent[i].text;
        const std::string& next = w.sent[i + 1].text;
        if (next.rfind("%A", 0) == 0 && t[0] != '%') gapAfter['V'] = w.sent[i + 1].at - w.sent[i].at;
        if (t.rfind("%X", 0) == 0) gapAfter['X'] = w.sent[i + 1].at - w.sent[i].at;
        if (t.rfind("%B", 0) == 0) gapAfter['B'] = w.sent[i + 1].at - w.sent[i].at;
    }
    EXPECT_EQ(gapAfter['V'], milliseconds(160));
    EXPECT_EQ(gapAfter['X'], milliseconds(110));
    EXPECT_EQ(gapAfter['B'], milliseconds(20));
}

TEST(BulkUpload, BuildsEachFrameWhenItIsDueAndLetsLiveEditsIn) {
    DeviceState s = onlineFactory();
    Wire w;
    BulkUpload up(s);
    bool edited = false;
    w.run(up, [&](int ms) {
        // Mid-upload a live edit of output 2's limiter and a change the upload has not reached.
        if (ms == 1000 && !edited) {
            edited = true;
            s.in(12).routeToOutput.fill(0);
            s.out(2).limiter[1] = 44;
            w.sink.queue(OutgoingFrame{buildD(s, 2), milliseconds(0), false});
        }
    });
    const auto frames = w.frames();
    ASSERT_EQ(frames.size(), 188u);
    // The B of channel 12 went after the change: built when due, not at the start.
    EXPECT_NE(std::find(frames.begin(), frames.end(), buildB(s, 12)), frames.end());
    // The live D stands between two upload frames, after the pause of the one before it.
    std::size_t live = 0;
    for (std::size_t i = 0; i < w.sent.size(); ++i)
        if (w.sent[i].text == buildD(s, 2) && w.sent[i].at < w.clock.now() - milliseconds(3000)) live = i;
    ASSERT_GT(live, 0u);
    EXPECT_GE(w.sent[live].at - w.sent[live - 1].at, milliseconds(20));
    EXPECT_EQ(w.sent[live + 1].text[0], '%');
}

TEST(BulkUpload, ACancelledUploadStillResumesTheReports) {
    DeviceState s = onlineFactory();
    Wire w;
    BulkUpload up(s);
    w.run(up, [&](int ms) {
        if (ms == 500) up.cancel();
    });
    EXPECT_TRUE(up.interrupted());
    EXPECT_FALSE(up.completed());
    const auto frames = w.frames();
    EXPECT_LT(frames.size(), 40u);
    EXPECT_EQ(frames.back(), buildQ(1));
}

TEST(BulkUpload, GoingOfflineEndsItWithoutAnotherFrame) {
    DeviceState s = onlineFactory();
    Wire w;
    BulkUpload up(s);
    w.run(up, [&](int ms) {
        if (ms == 500) s.link.linkOnline = false;
    });
    EXPECT_TRUE(up.interrupted());
    const auto frames = w.frames();
    EXPECT_NE(frames.back(), buildQ(1));
    EXPECT_EQ(w.frames().size(), static_cast<std::size_t>(up.sent()));
    // Offline from the start: nothing at all.
    DeviceState off;
    loadFactoryDefaults(off);
    BulkUpload none(off);
    RecordingSink sink;
    EXPECT_FALSE(none.pump(sink, true));
    EXPECT_TRUE(sink.frames.empty());
}

TEST(FactoryReset, RestoresTheFactoryModelAndKeepsTheLink) {
    DeviceState s = onlineFactory();
    s.link.hostAddress = "127.0.0.9";
    s.unitCount = 3;
    s.spanTime = 250;
    s.in(4).routeToOutput.fill(0);
    setName(s.in(4).name, "Podium");
    setName(s.out(6).name, "Stream");
    s.automix = AutomixSettings{};
    s.units[2] = {1, 2, 3, 4, 5};
    s.hardwareVersion = "32";
    s.basicVersion = "250";
    s.updateBusy = true; // set by the reset itself, which clears it once the upload is done
    applyFactoryReset(s, 1);
    EXPECT_EQ(s.hardwareVersion, "32");
    EXPECT_EQ(s.basicVersion, "250");
    EXPECT_TRUE(s.updateBusy);
    EXPECT_EQ(s.link.hostAddress, "127.0.0.9");
    EXPECT_TRUE(s.link.linkOnline);
    EXPECT_EQ(s.unitCount, 3);
    EXPECT_EQ(s.spanTime, 250);
    for (int c = 1; c <= 12; ++c)
        for (int o : s.in(c).routeToOutput)
            EXPECT_EQ(o, 1);
    EXPECT_EQ(nameView(s.in(4).name), "CH 4");
    EXPECT_EQ(nameView(s.in(12).name), "CH 12");
    EXPECT_EQ(nameView(s.out(1).name), "M 1");
    EXPECT_EQ(nameView(s.out(6).name), "D 2");
    EXPECT_EQ(s.automix.lastHold, 1);
    EXPECT_EQ(s.automix.closedChannelAttenuation, 0);
    EXPECT_EQ(s.automix.holdTime, 1);
    EXPECT_EQ(s.automix.manualMode, 0);
    EXPECT_EQ(s.automix.nomAttenuation, 27);
    EXPECT_EQ(s.automix.maxOpenChannels, 1);
    EXPECT_EQ(s.automix.syncThresholds, 1);
    for (const auto& u : s.units)
        for (auto v : u)
            EXPECT_EQ(v, 0);

    // Online, the reset goes out as the upload: unassigned units as FF, every route on.
    Wire w;
    BulkUpload up(s);
    w.run(up);
    const auto frames = w.frames();
    ASSERT_EQ(frames.size(), 187u);
    EXPECT_EQ(frames[1].substr(0, 17), "%X,01,01,FFFFFFFF");
    EXPECT_EQ(frames[1], buildX(s, 1));
    EXPECT_EQ(std::count(frames.begin(), frames.end(), buildB(s, 4)), 1);
}

TEST(Units, AValueIsAssignedOnceInTheWholeTable) {
    DeviceState s = onlineFactory();
    RecordingSink sink;
    ASSERT_TRUE(assignUnitSlot(s, sink, 1, 4, 3).applied); // CH03 on unit 1 slot 4
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0].text, buildX(s, 1));
    sink.frames.clear();

    const EditOutcome again = assignUnitSlot(s, sink, 2, 1, 3);
    EXPECT_FALSE(again.applied);
    EXPECT_EQ(again.refusal, "Already select.");
    EXPECT_EQ(s.units[1][0], 0);
    EXPECT_TRUE(sink.frames.empty());
    // The same refusal whichever way the edit comes in.
    EXPECT_FALSE(applyAssignment(s, sink, "units[3][5]=3").applied);
    EXPECT_TRUE(sink.frames.empty());
    // The slot that holds it may keep it; NULL is always accepted.
    EXPECT_TRUE(assignUnitSlot(s, sink, 1, 4, 3).applied);
    EXPECT_TRUE(assignUnitSlot(s, sink, 2, 1, 0).applied);
    EXPECT_TRUE(assignUnitSlot(s, sink, 2, 2, 0).applied);
    EXPECT_TRUE(assignUnitSlot(s, sink, 1, 4, 0).applied);
    EXPECT_TRUE(assignUnitSlot(s, sink, 2, 1, 3).applied); // free again
    EXPECT_TRUE(unitsValid(s));
    EXPECT_FALSE(assignUnitSlot(s, sink, 5, 1, 1).applied);
    EXPECT_FALSE(assignUnitSlot(s, sink, 1, 1, 17).applied);

    // Offline it is stored and not sent.
    s.link.linkOnline = false;
    sink.frames.clear();
    EXPECT_TRUE(assignUnitSlot(s, sink, 4, 5, 16).applied);
    EXPECT_EQ(s.units[3][4], 16);
    EXPECT_TRUE(sink.frames.empty());
}

TEST(Units, CallResetAndTheirTexts) {
    DeviceState s = onlineFactory();
    RecordingSink sink;
    EXPECT_FALSE(callUnit(sink, 0)); // no unit selected: nothing to call
    EXPECT_TRUE(sink.frames.empty());
    EXPECT_TRUE(callUnit(sink, 2));
    EXPECT_EQ(sink.frames.at(0).text, buildW(2));
    sink.frames.clear();

    s.units[0] = {1, 13, 0, 0, 0};
    s.units[3] = {2, 0, 0, 0, 16};
    resetUnits(s, sink);
    ASSERT_EQ(sink.frames.size(), 4u);
    for (int u = 1; u <= 4; ++u) {
        EXPECT_EQ(sink.frames[static_cast<std::size_t>(u - 1)].text, buildX(s, u));
        EXPECT_EQ(sink.frames[static_cast<std::size_t>(u - 1)].pauseAfter, milliseconds(110));
    }
    EXPECT_NE(sink.frames[0].text.find("FFFFFFFFFF"), std::string::npos);

    EXPECT_EQ(unitSlotText(0), "NULL");
    EXPECT_EQ(unitSlotText(12), "CH12");
    EXPECT_EQ(unitSlotText(13), "M01");
    EXPECT_EQ(parseUnitSlotValue("ch03"), 3);
    EXPECT_EQ(parseUnitSlotValue("M04"), 16);
    EXPECT_EQ(parseUnitSlotValue("16"), 16);
    EXPECT_FALSE(parseUnitSlotValue("17"));
    EXPECT_FALSE(parseUnitSlotValue("CH13"));

    s.units[0] = {3, 0, 0, 0, 0};
    s.units[2] = {0, 0, 3, 0, 0};
    std::string why;
    EXPECT_FALSE(unitsValid(s, &why));
    EXPECT_NE(why.find("CH03"), std::string::npos) << why;
}

} // namespace
} // namespace quorvel
