// The connection machine in simulated time: a fake link records what would go on the wire.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/connection.h"

using namespace quorvel;
using namespace std::chrono_literals;

namespace {

struct FakePort : LinkPort {
    bool ready = false;
    bool failStart = false;
    int starts = 0;
    int stops = 0;
    std::vector<std::string> sent; // "Q0", "Q1", "Z"
    bool socketReady() const override { return ready; }
    bool startReceive(std::string& error) override {
        ++starts;
        if (failStart) {
            error = "bind refused";
            return false;
        }
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

class LinkConnectionTest : public ::testing::Test {
protected:
    LinkConnectionTest() : conn(state, clock, port) {
        conn.setEventSink([this](const LinkEvent& e) { events.push_back(e); });
    }
    // Ticks every 50 ms like the link timer, for the given simulated time.
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
        conn.onReport(r);
    }
    const LinkEvent* last(LinkEvent::Kind k) const {
        for (auto it = events.rbegin(); it != events.rend(); ++it)
            if (it->kind == k) return &*it;
        return nullptr;
    }
    int countEvents(LinkEvent::Kind k, const std::string& text) const {
        int n = 0;
        for (const auto& e : events)
            n += e.kind == k && e.text == text;
        return n;
    }

    DeviceState state;
    ManualClock clock;
    FakePort port;
    Connection conn;
    std::vector<LinkEvent> events;
};

} // namespace

TEST_F(LinkConnectionTest, ConnectSchedulesItsWaitsInsteadOfBlocking) {
    conn.connect();
    // Nothing has happened yet: the 500 ms before the receiver starts is a scheduled step.
    EXPECT_EQ(port.starts, 0);
    EXPECT_TRUE(port.sent.empty());
    EXPECT_EQ(conn.nextDeadline(), clock.now() + 500ms);

    run(500ms);
    EXPECT_EQ(port.starts, 1);
    EXPECT_TRUE(port.sent.empty());
    run(500ms);
    ASSERT_EQ(port.sent, (std::vector<std::string>{"Q0", "Z"}));
    EXPECT_TRUE(state.link.handshakePending);
    EXPECT_FALSE(state.link.handshakeDone);
    EXPECT_EQ(state.link.handshakeAttempts, 0);
    EXPECT_EQ(state.link.lastAttemptTime, clock.now());
    ASSERT_NE(last(LinkEvent::Kind::BusyPopup), nullptr);
    EXPECT_TRUE(last(LinkEvent::Kind::BusyPopup)->on);

    // A second press while the attempt is under way changes nothing.
    conn.connect();
    run(1s);
    EXPECT_EQ(port.starts, 1);
    EXPECT_EQ(port.count("Z"), 1);

    answerFullState();
    EXPECT_TRUE(state.link.linkOnline);
    EXPECT_FALSE(state.link.handshakePending);
    EXPECT_TRUE(state.link.handshakeDone);
    EXPECT_EQ(last(LinkEvent::Kind::ConnectButton)->text, "DISCONNECT");
    EXPECT_TRUE(last(LinkEvent::Kind::ConnectButton)->on);
    EXPECT_TRUE(last(LinkEvent::Kind::LinkIndicator)->on);
    EXPECT_EQ(last(LinkEvent::Kind::StatusLabel)->text, "ONLINE");
    EXPECT_FALSE(last(LinkEvent::Kind::BusyPopup)->on);
}

TEST_F(LinkConnectionTest, ReconnectWaitsLongerWhenAReceiverRuns) {
    port.ready = true;
    conn.connect();
    EXPECT_EQ(port.stops, 1); // the old receiver goes first
    run(950ms);
    EXPECT_EQ(port.starts, 0);
    run(100ms);
    EXPECT_EQ(port.starts, 1);
}

TEST_F(LinkConnectionTest, ThreeSilentAttemptsEndInCannotConnect) {
    conn.setLanguage(2);
    conn.connect();
    run(1s);
    run(29900ms);
    EXPECT_TRUE(state.link.handshakePending);
    EXPECT_EQ(countEvents(LinkEvent::Kind::MessageBox, "连接失败."), 0);
    run(200ms);
    EXPECT_EQ(port.count("Z"), 3);
    EXPECT_FALSE(state.link.handshakePending);
    EXPECT_TRUE(state.link.handshakeDone);
    EXPECT_FALSE(port.ready);
    EXPECT_EQ(countEvents(LinkEvent::Kind::MessageBox, "连接失败."), 1);
    EXPECT_EQ(last(LinkEvent::Kind::ConnectButton)->text, "连接");
    EXPECT_FALSE(last(LinkEvent::Kind::ConnectButton)->on);
    EXPECT_FALSE(conn.nextDeadline().has_value()); // idle again: no more wake-ups

    // The user may try again.
    events.clear();
    conn.connect();
    run(1100ms);
    EXPECT_EQ(port.count("Z"), 4);
    EXPECT_EQ(state.link.handshakeAttempts, 0);
}

TEST_F(LinkConnectionTest, ReceiverThatCannotStartIsReportedAndTheHandshakeStillTimesOut) {
    port.failStart = true;
    conn.connect();
    run(1s);
    const LinkEvent* box = last(LinkEvent::Kind::MessageBox);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text, "Winsock error!");
    EXPECT_EQ(box->caption, "Warming");
    run(31s);
    EXPECT_EQ(countEvents(LinkEvent::Kind::MessageBox, "CANNOT CONNECT."), 1);
}

TEST_F(LinkConnectionTest, WatchdogShowsOfflineEveryTenSecondsButStaysOnline) {
    conn.connect();
    run(1s);
    answerFullState();
    events.clear();
    run(9900ms);
    EXPECT_EQ(countEvents(LinkEvent::Kind::StatusLabel, "OFFLINE"), 0);
    run(200ms);
    EXPECT_EQ(countEvents(LinkEvent::Kind::StatusLabel, "OFFLINE"), 1);
    EXPECT_FALSE(last(LinkEvent::Kind::LinkIndicator)->on);
    EXPECT_TRUE(state.link.linkOnline);
    run(10s);
    EXPECT_EQ(countEvents(LinkEvent::Kind::StatusLabel, "OFFLINE"), 2);

    // A status report refreshes the time stamp but does not light the link indicator; only the
    // next full-state report does.
    state.link.lastReportTime = clock.now();
    DispatchResult status;
    status.kind = ReportKind::Status;
    conn.onReport(status);
    EXPECT_FALSE(last(LinkEvent::Kind::LinkIndicator)->on);
    run(5s);
    EXPECT_EQ(countEvents(LinkEvent::Kind::StatusLabel, "OFFLINE"), 2);
    answerFullState();
    EXPECT_TRUE(last(LinkEvent::Kind::LinkIndicator)->on);
}

TEST_F(LinkConnectionTest, NamesReportResumesReportsAndFirstStatusShowsOnline) {
    DispatchResult names;
    names.kind = ReportKind::Names;
    names.sendResumeReports = true;
    conn.onReport(names);
    EXPECT_EQ(port.sent, (std::vector<std::string>{"Q1"}));
    DispatchResult status;
    status.kind = ReportKind::Status;
    status.reportIndicatorOn = true;
    conn.onReport(status);
    EXPECT_EQ(last(LinkEvent::Kind::StatusLabel)->text, "ONLINE");
}

TEST_F(LinkConnectionTest, DisconnectAndClose) {
    conn.connect();
    run(1s);
    answerFullState();
    port.sent.clear();
    conn.connect(); // online: this is DISCONNECT
    EXPECT_EQ(port.sent, (std::vector<std::string>{"Q0"}));
    EXPECT_FALSE(port.ready);
    EXPECT_FALSE(state.link.linkOnline);
    EXPECT_EQ(last(LinkEvent::Kind::ConnectButton)->text, "CONNECT");
    EXPECT_EQ(last(LinkEvent::Kind::StatusLabel)->text, "OFFLINE");
    EXPECT_FALSE(last(LinkEvent::Kind::LinkIndicator)->on);

    // Close in the middle of a handshake: no more Z afterwards, finished once the receiver is gone.
    conn.connect();
    run(1s);
    EXPECT_FALSE(conn.closeFinished());
    conn.closeLink();
    EXPECT_TRUE(conn.closeFinished());
    int z = port.count("Z");
    run(40s);
    EXPECT_EQ(port.count("Z"), z);
    EXPECT_EQ(port.sent.back(), "Q0");
}

TEST_F(LinkConnectionTest, CloseWithoutEverConnectingFinishesAtOnce) {
    conn.closeLink();
    EXPECT_TRUE(conn.closeFinished());
    EXPECT_EQ(port.starts, 0);
}

TEST_F(LinkConnectionTest, DisconnectAbandonsAnAttemptUnderWay) {
    // Before the receiver has even started.
    conn.connect();
    conn.disconnect();
    run(40s);
    EXPECT_EQ(port.starts, 0);
    EXPECT_EQ(port.count("Z"), 0);

    // While the handshake waits for its answer.
    conn.connect();
    run(1s);
    ASSERT_EQ(port.count("Z"), 1);
    conn.disconnect();
    EXPECT_FALSE(state.link.handshakePending);
    EXPECT_FALSE(port.ready);
    EXPECT_FALSE(last(LinkEvent::Kind::BusyPopup)->on);
    EXPECT_FALSE(conn.nextDeadline().has_value());
    run(40s);
    EXPECT_EQ(port.count("Z"), 1);
    EXPECT_EQ(countEvents(LinkEvent::Kind::MessageBox, "CANNOT CONNECT."), 0);

    // Nothing is left over to block the next attempt.
    conn.connect();
    run(1s);
    EXPECT_EQ(port.count("Z"), 2);
}

TEST_F(LinkConnectionTest, ChineseTextsFollowTheLanguage) {
    conn.setLanguage(2);
    conn.connect();
    run(1s);
    answerFullState();
    EXPECT_EQ(last(LinkEvent::Kind::ConnectButton)->text, "断开");
    EXPECT_EQ(last(LinkEvent::Kind::StatusLabel)->text, "在线");
    run(10s);
    EXPECT_EQ(last(LinkEvent::Kind::StatusLabel)->text, "离线");
    conn.connect();
    EXPECT_EQ(last(LinkEvent::Kind::ConnectButton)->text, "连接");
    EXPECT_EQ(last(LinkEvent::Kind::StatusLabel)->text, "离线");
}
