// The MATRIX and MODE pages offscreen against a recording sink: what a click, a wheel notch or a
// choice sends, what the controls show after a report, and what the page says offline.
#include <QMessageBox>
#include <QTest>
#include <QWheelEvent>

#include "../binding/page_rig.h"
#include "controls/drop_list.h"
#include "controls/image_button.h"
#include "controls/skin_label.h"
#include "pages/mixing/matrix_page.h"
#include "pages/mixing/mode_page.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

std::string body(const OutgoingFrame& f) {
    return f.text.substr(0, f.text.size() - 5);
}

void wheel(QWidget* w, int delta) {
    const QPointF pos(w->width() / 2.0, w->height() / 2.0);
    QWheelEvent e(pos, w->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w, &e);
}

QString messageText(QWidget* page) {
    auto* box = page->findChild<QMessageBox*>("automixMessage");
    return box ? box->text() : QString();
}

} // namespace

class MatrixModeTest : public QObject {
    Q_OBJECT

private slots:
    void crosspointClickSendsTheChannelsRow() {
        test::PageRig rig;
        MatrixPage page(rig.context(), nullptr);
        page.resize(1400, 700);
        page.show();
        ImageButton* xp = page.crosspoint(12, 1);
        QVERIFY(xp->isOn());
        test::click(xp);
        QCOMPARE(rig.sink.frames.size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(body(rig.sink.frames[0])), QStringLiteral("%B,01,0C,01111111,"));
        QCOMPARE(rig.state.in(12).routeToOutput[0], 0);
        QVERIFY(!xp->isOn());

        // Outputs 5..8 are not on the page but travel in every row as the device reported them.
        for (int o = 1; o <= 8; ++o) {
            QCOMPARE(page.crosspoint(1, o)->isVisibleTo(&page), o <= 4);
            QCOMPARE(page.rowLabel(o)->isVisibleTo(&page), o <= 4);
        }
        rig.state.in(2).routeToOutput = {0, 0, 0, 0, 0, 0, 0, 1};
        rig.edits.announce(ChangeSet::everything());
        QVERIFY(!page.crosspoint(2, 3)->isOn());
        test::click(page.crosspoint(2, 3));
        QCOMPARE(QString::fromStdString(body(rig.sink.frames.back())), QStringLiteral("%B,01,02,00100001,"));

        // The labels carry the names once they arrive.
        QCOMPARE(page.columnLabel(3)->text(), QStringLiteral("CH 3"));
        QCOMPARE(page.rowLabel(1)->text(), QStringLiteral("M 1"));
        setName(rig.state.out(1).name, "STAGE");
        rig.edits.announce(ChangeSet::everything());
        QCOMPARE(page.rowLabel(1)->text(), QStringLiteral("STAGE"));

        // Offline the model changes and nothing leaves.
        rig.sink.frames.clear();
        rig.state.link.linkOnline = false;
        test::click(page.crosspoint(5, 2));
        QVERIFY(rig.sink.frames.empty());
        QCOMPARE(rig.state.in(5).routeToOutput[1], 0);
    }

    void wheelOnASyncedThresholdSendsNineL() {
        test::PageRig rig;
        rig.state.automix.syncThresholds = 0;
        ModePage page(rig.context(), nullptr);
        page.resize(1400, 700);
        page.show();
        QCOMPARE(page.threshold(3)->selection(), 40);

        test::click(page.syncButton());
        QVERIFY(rig.sink.frames.empty());
        QCOMPARE(rig.state.automix.syncThresholds, 1);
        QCOMPARE(page.syncButton()->text(), QStringLiteral("ON"));

        wheel(page.threshold(3), -120); // one notch down the list: -39 dB
        QCOMPARE(rig.sink.frames.size(), std::size_t(9));
        QCOMPARE(QString::fromStdString(body(rig.sink.frames[0])), QStringLiteral("%L,01,03,29,00,"));
        for (int c = 1; c <= 8; ++c) {
            QCOMPARE(QString::fromStdString(body(rig.sink.frames[static_cast<std::size_t>(c)])),
                     QStringLiteral("%L,01,0%1,29,00,").arg(c));
            QCOMPARE(rig.sink.frames[static_cast<std::size_t>(c)].pauseAfter, std::chrono::milliseconds(20));
            QCOMPARE(page.threshold(c)->selection(), 41);
        }

        // SYNC off: the one channel only.
        test::click(page.syncButton());
        rig.sink.frames.clear();
        wheel(page.threshold(5), 120);
        QCOMPARE(rig.sink.frames.size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(body(rig.sink.frames[0])), QStringLiteral("%L,01,05,28,00,"));
        QCOMPARE(page.threshold(6)->selection(), 41);
    }

    void globalSelectorsSendMAndSayWhetherTheySent() {
        test::PageRig rig;
        ModePage page(rig.context(), nullptr);
        page.show();
        page.nom()->listSelectionChanged(0, true); // -10 dB
        QCOMPARE(rig.state.automix.nomAttenuation, 20);
        QCOMPARE(QString::fromStdString(body(rig.sink.frames.back())),
                 QStringLiteral("%M,01,00,01,01,01,00,14,"));
        QCOMPARE(messageText(&page), QStringLiteral("Set successfully."));
        qDeleteAll(page.findChildren<QMessageBox*>());

        rig.state.link.linkOnline = false;
        rig.sink.frames.clear();
        page.holdTime()->listSelectionChanged(99, true); // 5000 ms
        QCOMPARE(rig.state.automix.holdTime, 100);
        QVERIFY(rig.sink.frames.empty());
        QCOMPARE(messageText(&page), QStringLiteral("Stored; not sent: OFFLINE."));
        qDeleteAll(page.findChildren<QMessageBox*>());

        // OK reads the four lists as they stand.
        rig.state.link.linkOnline = true;
        page.maxOpen()->setSelection(3);
        test::click(page.okButton());
        QCOMPARE(QString::fromStdString(body(rig.sink.frames.back())),
                 QStringLiteral("%M,01,00,04,01,64,00,14,"));
        QCOMPARE(messageText(&page), QStringLiteral("Set successfully."));

        // LAST HOLD and the hidden controls are single fields; LAST HOLD says nothing.
        qDeleteAll(page.findChildren<QMessageBox*>());
        test::click(page.lastHoldButton());
        QCOMPARE(QString::fromStdString(body(rig.sink.frames.back())),
                 QStringLiteral("%M,01,00,04,00,64,00,14,"));
        QCOMPARE(page.lastHoldButton()->text(), QStringLiteral("OFF"));
        QVERIFY(messageText(&page).isEmpty());
        QVERIFY(!page.autoManButton()->isVisibleTo(&page));
        QVERIFY(!page.detector(1)->isVisibleTo(&page));
        page.detector(1)->listSelectionChanged(199, true);
        QCOMPARE(QString::fromStdString(body(rig.sink.frames.back())), QStringLiteral("%N,01,00,C8,01,00,"));
    }

    void showsTheModelAndLeavesAnUnreceivedHoldTimeUnselected() {
        test::PageRig rig;
        rig.state.automix.holdTime = 0;
        rig.state.automix.nomAttenuation = 30;
        rig.state.automix.closedChannelAttenuation = 60;
        ModePage page(rig.context(), nullptr);
        QCOMPARE(page.holdTime()->selection(), -1);
        QCOMPARE(page.nom()->text(), QStringLiteral("0 dB"));
        QCOMPARE(page.closedAttenuation()->text(), QStringLiteral("0 dB"));
        QCOMPARE(page.maxOpen()->text(), QStringLiteral("1"));

        rig.state.automix.holdTime = 20;
        rig.state.automix.manualMode = 1;
        rig.edits.announce(ChangeSet::everything());
        QCOMPARE(page.holdTime()->text(), QStringLiteral("1000 ms"));
        QCOMPARE(page.autoManButton()->text(), QStringLiteral("MAN"));
        page.setLanguage(2);
        QCOMPARE(page.autoManButton()->text(), QStringLiteral("手动"));
        QCOMPARE(page.syncButton()->text(), QStringLiteral("ON"));
        QCOMPARE(page.findChild<SkinLabel*>("holdTimeLabel")->text(), QStringLiteral("保持时间"));
    }
};

QTEST_MAIN(MatrixModeTest)
#include "test_matrix_mode.moc"
