// Automatic reconnection and the edits that wait offline, in simulated time: a fake link records
// what would go on the wire.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "link/connection.h"
#include "link/field_registry.h"
#include "link/pending_edits.h"

using namespace quorvel;
using namespace std::chrono_literals;

namespace {

struct FakePort : LinkPort {
    bool ready = false;
    int stops = 0;
    std::vector<std::string> sent;
    bool socketReady() const override { return ready; }
    bool startReceive(std::string&) override {
        ready = true;
        return true;
    }
    void stopReceive() override {
        ++stops;
        ready = false;
    }
    void sendStopStart(int v) override { sent.push_back("Q" + std::to_string(v)); }
    void sendHandshake() override { sent.push_back("Z"); }
    int count(const std::string& what) const {
        return static_cast<int>(std::count(sent.begin(), sent.end(), what));
    }
};

class ReconnectTest : public ::testing::Test {
protected:
    ReconnectTest() : conn(state, clock, port) {
        conn.setEventSink([this](const LinkEvent& e) { events.push_back(e); });
        conn.setAutoReconnect(true);
    }
    void run(Clock::duration d) {
        auto end = clock.now() + d;
        while (clock.now() < end) {
            clock.advance(50ms);
            conn.tick();
        }
    }
    void answerFullState() {
        state.link.lastReportTime = clock.now();
        DispatchResult r;
        r.kind = ReportKind::FullState;
        r.wentOnline = true;
        // What the dispatcher does before the connection sees the report.
        state.link.linkOnline = true;
        state.link.handshakePending = false;
        conn.onReport(r);
    }
    void goOnline() {
        conn.connect();
        run(1s);
        answerFullState();
        port.sent.clear();
        events.clear();
    }
    int countEvents(LinkEvent::Kind k, const std::string& text = {}) const {
        int n = 0;
        for (const auto& e : events)
            n += e.kind == k && (text.empty() || e.text == text);
        return n;
    }
    const LinkEvent* last(LinkEvent::Kind k) const {
        for (auto it = events.rbegin(); it != events.rend(); ++it)
            if (it->kind == k) return &*it;
        return nullptr;
    }

    DeviceState state;
    ManualClock clock;
    FakePort port;
    Connection conn;
    std::vector<LinkEvent> events;
};

} // namespace

TEST_F(ReconnectTest, SilenceRetriesTheHandshakeQuietlyUntilTheDeviceAnswers) {
    goOnline();
    run(9900ms);
    EXPECT_TRUE(port.sent.empty());
    EXPECT_FALSE(conn.reconnecting());
    run(100ms); // 10 s of silence: offline, and the first retry in the same tick
    EXPECT_TRUE(conn.reconnecting());
    EXPECT_FALSE(state.link.linkOnline); // edits wait here instead of going to a silent device
    EXPECT_EQ(port.sent, (std::vector<std::string>{"Q0", "Z"}));
    EXPECT_EQ(last(LinkEvent::Kind::StatusLabel)->text, "RECONNECTING");
    EXPECT_FALSE(last(LinkEvent::Kind::LinkIndicator)->on);
    EXPECT_EQ(conn.nextDeadline(), clock.now() + 5s);

    run(4950ms);
    EXPECT_EQ(port.count("Z"), 1);
    run(50ms);
    EXPECT_EQ(port.count("Z"), 2);
    // Retries never give up on their own: a show can outlast a minute of power cut.
    run(60s);
    EXPECT_EQ(port.count("Z"), 14);
    EXPECT_EQ(port.stops, 0); // the receiver stays, to hear the answer
    EXPECT_EQ(countEvents(LinkEvent::Kind::MessageBox), 0);
    EXPECT_EQ(countEvents(LinkEvent::Kind::BusyPopup), 0);
    EXPECT_EQ(countEvents(LinkEvent::Kind::ConnectButton), 0); // still DISCONNECT

    answerFullState();
    EXPECT_FALSE(conn.reconnecting());
    EXPECT_EQ(last(LinkEvent::Kind::StatusLabel)->text, "ONLINE");
    EXPECT_TRUE(last(LinkEvent::Kind::LinkIndicator)->on);
    EXPECT_EQ(last(LinkEvent::Kind::ConnectButton)->text, "DISCONNECT");
    EXPECT_EQ(countEvents(LinkEvent::Kind::BusyPopup), 0);
    DispatchResult names;
    names.kind = ReportKind::Names;
    names.sendResumeReports = true;
    conn.onReport(names);
    EXPECT_EQ(port.sent.back(), "Q1");
    const int zs = port.count("Z");
    run(9s);
    EXPECT_EQ(port.count("Z"), zs);
}

TEST_F(ReconnectTest, RetriesStopOnDisconnectCloseOfflineForeignReplyAndTheSettingOff) {
    struct Case {
        const char* what;
        std::function<void(Connection&)> stop;
        bool buttonReleased;
    };
    const std::vector<Case> cases = {
        {"CONNECT button (reads DISCONNECT)", [](Connection& c) { c.connect(); }, true},
        {"close, or the OFFLINE button", [](Connection& c) { c.closeLink(); }, false},
        {"another address answers", [](Connection& c) { c.onForeignReply(); }, true},
        {"setting turned off", [](Connection& c) { c.setAutoReconnect(false); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        conn.setAutoReconnect(true);
        goOnline();
        run(10s);
        ASSERT_TRUE(conn.reconnecting());
        events.clear();
        c.stop(conn);
        EXPECT_FALSE(conn.reconnecting());
        EXPECT_FALSE(state.link.linkOnline);
        EXPECT_FALSE(port.ready);
        if (c.buttonReleased) {
            ASSERT_NE(last(LinkEvent::Kind::ConnectButton), nullptr);
            EXPECT_EQ(last(LinkEvent::Kind::ConnectButton)->text, "CONNECT");
            EXPECT_EQ(last(LinkEvent::Kind::StatusLabel)->text, "OFFLINE");
        }
        const int zs = port.count("Z");
        run(30s);
        EXPECT_EQ(port.count("Z"), zs);
        EXPECT_EQ(countEvents(LinkEvent::Kind::MessageBox), 0);
    }
}

TEST_F(ReconnectTest, AForeignReplyWhileOnlineOrTheSettingOffChangesNothingElse) {
    goOnline();
    conn.onForeignReply(); // only a retry in progress is ended by it
    EXPECT_TRUE(state.link.linkOnline);
    EXPECT_TRUE(port.ready);
    conn.setAutoReconnect(false);
    run(10s);
    EXPECT_EQ(last(LinkEvent::Kind::StatusLabel)->text, "OFFLINE");
    EXPECT_TRUE(state.link.linkOnline); // the plain watchdog: display only
    EXPECT_EQ(port.count("Z"), 0);
}

TEST_F(ReconnectTest, ChineseStatusWhileReconnecting) {
    conn.setLanguage(2);
    goOnline();
    run(10s);
    EXPECT_EQ(last(LinkEvent::Kind::StatusLabel)->text, "重新连接");
}

TEST_F(ReconnectTest, FullStateOnDemand) {
    conn.requestFullState(); // offline: a CONNECT
    run(1s);
    EXPECT_EQ(port.sent, (std::vector<std::string>{"Q0", "Z"}));
    answerFullState();
    port.sent.clear();
    events.clear();
    conn.requestFullState(); // online: just the handshake again, quiet first
    EXPECT_EQ(port.sent, (std::vector<std::string>{"Q0", "Z"}));
    EXPECT_TRUE(state.link.linkOnline);
    EXPECT_EQ(countEvents(LinkEvent::Kind::BusyPopup), 0);
}

TEST(PendingEditsTest, CountsFieldsOnceKeepsTheComputersStateAndRestoresIt) {
    const FieldRegistry& reg = FieldRegistry::instance();
    DeviceState local;
    loadFactoryDefaults(local);
    PendingEdits pending;
    EXPECT_TRUE(pending.empty());
    EXPECT_EQ(pending.localState(), nullptr);

    const FieldId level = *reg.idOf(local, &local.in(3).level);
    const FieldId mute = *reg.idOf(local, &local.in(3).mute);
    local.in(3).level = 10;
    ChangeSet a;
    a.add(level);
    pending.note(a, local);
    local.in(3).level = 11; // the same fader again: still one change
    pending.note(a, local);
    local.in(3).mute = 1;
    ChangeSet b;
    b.add(mute);
    b.add(level);
    pending.note(b, local);
    pending.note(ChangeSet{}, local);
    EXPECT_EQ(pending.count(), 2u);

    // The device answers with its own state; the push puts the computer's back, link kept.
    DeviceState device;
    loadFactoryDefaults(device);
    device.link.hostAddress = "127.0.0.2";
    device.link.linkOnline = true;
    device.hardwareVersion = "32";
    ASSERT_TRUE(pending.restoreInto(device));
    EXPECT_EQ(device.in(3).level, 11);
    EXPECT_EQ(device.in(3).mute, 1);
    EXPECT_EQ(device.link.hostAddress, "127.0.0.2");
    EXPECT_TRUE(device.link.linkOnline);
    EXPECT_EQ(device.hardwareVersion, "32");

    pending.note(ChangeSet::everything(), local); // a scene loaded offline
    EXPECT_EQ(pending.count(), reg.fields().size());
    pending.clear();
    EXPECT_TRUE(pending.empty());
    EXPECT_EQ(pending.count(), 0u);
    EXPECT_FALSE(pending.restoreInto(device));
}

TEST_F(ReconnectTest, ABulkTransferThatHoldsTheReportsIsNotTakenForALostDevice) {
    goOnline();
    // Twelve seconds of quiet asked for, noted at every step of the transfer.
    for (int step = 0; step < 24; ++step) {
        run(500ms);
        conn.expectSilence();
    }
    EXPECT_FALSE(conn.reconnecting());
    EXPECT_TRUE(state.link.linkOnline);
    EXPECT_EQ(port.count("Z"), 0);
    run(10s); // the transfer is over and the device still says nothing
    EXPECT_TRUE(conn.reconnecting());
}
