// The link as the UI thread sees it: failures arrive as a signal on this thread, and closing never
// blocks it.
#include "link/device_link.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include "ports.h"
#include "session/link_adapter.h"

using namespace quorvel;

class LinkAdapterTest : public QObject {
    Q_OBJECT
private slots:
    void refusedAndFailedSendsAreSignalledAndCounted() {
        DeviceState s;
        loadFactoryDefaults(s);
        s.link.hostAddress = "10.20.30.40"; // refused: the tests run loopback-only
        s.link.udpPort = 39020;
        ui::LinkAdapter adapter(s, LinkOptions{});
        // The refusal is the point of the test: the guard is on whatever the environment says.
        adapter.link().transport().setLoopbackOnly(true);
        QSignalSpy spy(&adapter, &ui::LinkAdapter::sendFailed);
        QVERIFY(!adapter.queueFrame({buildQ(0), {}, false}));
        QVERIFY(!adapter.queueFrame({buildQ(0), {}, false}));
        // Posted, not emitted inside the call; a burst arrives as one signal with the total.
        QCOMPARE(spy.count(), 0);
        QTRY_COMPARE(spy.count(), 1);
        QVERIFY(spy.at(0).at(0).toString().contains("QUORVEL_LOOPBACK_ONLY"));
        QCOMPARE(spy.at(0).at(1).toULongLong(), 2ull);

        // A datagram the socket cannot take: failed on the sender thread, delivered here.
        s.link.hostAddress = "127.0.0.2";
        QVERIFY(adapter.queueFrame({buildQ(0), {}, false}));
        QTRY_COMPARE(spy.count(), 2);
        QVERIFY(spy.at(1).at(0).toString().contains("no socket"));
        QCOMPARE(spy.at(1).at(1).toULongLong(), 3ull);
    }

    void closeReturnsAtOnceAndFinishesWhenTheQueueIsOut() {
        DeviceState s;
        loadFactoryDefaults(s);
        s.link.hostAddress = "127.0.0.2";
        s.link.udpPort = testPort(9);
        LinkOptions options;
        options.closeBudget = std::chrono::milliseconds(2000);
        ui::LinkAdapter adapter(s, options);
        std::string error;
        QVERIFY(adapter.link().transport().open("127.0.0.1", 0, error));
        // A frame with a long pause keeps the line busy, so the Q 0 of the close has to wait.
        QVERIFY(adapter.queueFrame({buildQ(1), std::chrono::milliseconds(150), false}));
        QElapsedTimer t;
        t.start();
        adapter.closeLink();
        QVERIFY(!adapter.closeFinished()); // it returned with the queue still busy: no waiting here
        QTRY_VERIFY_WITH_TIMEOUT(adapter.closeFinished(), 1000);
        QVERIFY(t.elapsed() >= 140);
        QCOMPARE(adapter.link().senderStats().framesSent, 2ull);
    }
};

QTEST_MAIN(LinkAdapterTest)
#include "test_link_adapter.moc"
