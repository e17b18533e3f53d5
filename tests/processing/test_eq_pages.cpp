// The equaliser pages as the user drives them: handle drags on the curve (paced, under the
// pointer), DRAW sweeps, knobs, BYPASS and RESET, the channel's limits, and what reports redraw.
#include <QtTest>

#include "../binding/page_rig.h"
#include "../reports/report_text.h"
#include "binding/field_ids.h"
#include "controls/drop_list.h"
#include "controls/fader_ctrl.h"
#include "controls/image_button.h"
#include "controls/level_meter.h"
#include "controls/response_view.h"
#include "curves/plot_mapping.h"
#include "link/clock.h"
#include "link/reports.h"
#include "pages/processing/geq_page.h"
#include "pages/processing/peq_page.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

using std::chrono::milliseconds;
using test::click;
using test::sendMouse;

QStringList letters(const RecordingSink& sink) {
    QStringList out;
    for (const OutgoingFrame& f : sink.frames)
        out << QString::fromStdString(f.text.substr(1, 1) + f.text.substr(6, 2));
    return out;
}

} // namespace

class TestEqPages : public QObject {
    Q_OBJECT
private slots:
    void init() { rig = std::make_unique<test::PageRig>(); }
    void cleanup() { rig.reset(); }

    void handleDragStaysUnderThePointerAndIsPaced();
    void knobsButtonsAndFilterLimits();
    void bypassAndResetFromThePage();
    void geqSweepSetsCrossedBandsAndCopiesOnRelease();
    void metersFollowReportsAndGoEmptyOffline();

private:
    std::unique_ptr<test::PageRig> rig;
};

void TestEqPages::handleDragStaysUnderThePointerAndIsPaced() {
    QWidget host;
    auto* page = new PeqPage(rig->context(), &host);
    ManualClock clock;
    page->setClock(&clock);
    page->setGeometry(0, 0, 1000, 700);
    page->bindTo(0);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    rig->state.spanTime = 100;
    ResponseView* v = page->view();
    const QPointF start = v->handlePoint(1); // band 2 at 500 Hz, 0 dB
    QVERIFY(!start.isNull());
    sendMouse(v, QEvent::MouseButtonPress, start);
    QPointF at = start;
    for (int i = 1; i <= 12; ++i) { // 12 moves, 30 ms apart
        clock.advance(milliseconds(30));
        at = start + QPointF(4 * i, -6 * i);
        sendMouse(v, QEvent::MouseMove, at);
        // The handle is where the pointer is, not where the stored (rounded) value would put it.
        QVERIFY(std::abs(v->handlePoint(1).x() - at.x()) < 0.01);
        QVERIFY(std::abs(v->handlePoint(1).y() - at.y()) < 0.01);
    }
    const qsizetype duringDrag = rig->sink.frames.size();
    QVERIFY(duringDrag >= 3 && duringDrag <= 5); // 360 ms at one frame per 100 ms
    const std::int32_t gain = rig->state.in(1).peq[1].bandGain;
    QVERIFY(gain > 150);
    // The hand rests: 200 ms later the last value goes out.
    clock.advance(milliseconds(150));
    page->flushDrag();
    QCOMPARE(rig->sink.frames.size(), duringDrag);
    clock.advance(milliseconds(60));
    page->flushDrag();
    QCOMPARE(rig->sink.frames.size(), duringDrag + 1);
    QCOMPARE(rig->sink.frames.back().text, buildG(rig->state, 1, 2));
    sendMouse(v, QEvent::MouseButtonRelease, at);
    QCOMPARE(rig->sink.frames.size(), duringDrag + 2);
    // The knobs followed the drag.
    QCOMPARE(page->findChild<FaderCtrl*>("band2Gain")->position(), gain);
    QCOMPARE(page->findChild<FaderCtrl*>("band2Freq")->position(),
             knobOfFrequency(rig->state.in(1).peq[1].bandFreq));

    // Double click: back to 0 dB at once.
    rig->sink.frames.clear();
    QTest::mouseDClick(v, Qt::LeftButton, {}, v->handlePoint(1).toPoint());
    QCOMPARE(rig->state.in(1).peq[1].bandGain, 150);
    QVERIFY(!rig->sink.frames.empty());
}

void TestEqPages::knobsButtonsAndFilterLimits() {
    QWidget host;
    auto* page = new PeqPage(rig->context(), &host);
    page->setGeometry(0, 0, 1000, 700);
    page->bindTo(2);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    auto* lpf = page->findChild<ImageButton*>("lpfButton");
    auto* lpfFreq = page->findChild<FaderCtrl*>("lpfFreq");
    QVERIFY(lpf->isVisible());
    QVERIFY(!lpfFreq->isEnabled());
    click(lpf);
    QCOMPARE(rig->state.in(3).lpfOn, 1);
    QVERIFY(lpfFreq->isEnabled());
    QCOMPARE(letters(rig->sink), QStringList{"E03"});
    // The type button of band 4 switches to the high shelf and back.
    click(page->findChild<ImageButton*>("band4Type"));
    QCOMPARE(rig->state.in(3).peq[3].bandType, 2);
    // Band 5 and POLAR are never shown.
    QVERIFY(!page->findChild<FaderCtrl*>("band5Gain")->isVisible());
    QVERIFY(!page->findChild<ImageButton*>("peqPolar")->isVisible());
    // A slope list item is its code.
    auto* slope = page->findChild<DropList*>("hpfSlope");
    emit slope->itemChosen(slope->id(), 6);
    QCOMPARE(rig->state.in(3).hpfSlope, 8);

    // Channel 10: no filters on the page or in the curve.
    page->bindTo(9);
    QVERIFY(!lpf->isVisible());
    QCOMPARE(page->view()->bands().size(), std::size_t(4));
}

void TestEqPages::bypassAndResetFromThePage() {
    QWidget host;
    auto* page = new PeqPage(rig->context(), &host);
    page->setGeometry(0, 0, 1000, 700);
    page->bindTo(1);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    rig->edits.edit(fieldId("input[2].peq[1].bandGain"), 40);
    rig->sink.frames.clear();
    auto* bypass = page->findChild<ImageButton*>("peqBypass");
    click(bypass);
    QVERIFY(bypass->isOn());
    QCOMPARE(page->findChild<FaderCtrl*>("band1Gain")->position(), 150);
    QCOMPARE(letters(rig->sink), (QStringList{"E02", "F02", "G02", "G02", "G02", "G02"}));
    // Turning a knob ends the bypass: the button goes out.
    rig->edits.edit(fieldId("input[2].peq[3].bandGain"), 170);
    QVERIFY(!bypass->isOn());
    click(bypass);
    QVERIFY(bypass->isOn());
    click(bypass);
    QCOMPARE(rig->state.in(2).peq[2].bandGain, 170);
    QCOMPARE(rig->state.in(2).peq[0].bandGain, 150);

    rig->sink.frames.clear();
    click(page->findChild<ImageButton*>("peqReset"));
    QCOMPARE(letters(rig->sink), (QStringList{"G02", "G02", "G02", "G02", "E02", "F02"}));
    QCOMPARE(rig->sink.frames.front().pauseAfter, milliseconds(20));
}

void TestEqPages::geqSweepSetsCrossedBandsAndCopiesOnRelease() {
    QWidget host;
    auto* page = new GeqPage(rig->context(), &host);
    ManualClock clock;
    page->setClock(&clock);
    page->setGeometry(0, 0, 1000, 600);
    page->bindTo(1);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    // Outputs 2 and 4 linked with the EQ switch.
    rig->state.controlGroups[0][cg::kFirstOutput + 1] = 1;
    rig->state.controlGroups[0][cg::kFirstOutput + 3] = 1;
    rig->state.controlGroups[0][cg::kLinkEq] = 1;
    ResponseView* v = page->view();
    QVERIFY(v->drawMode());
    const curves::PlotRect r = v->plot();
    const double y6 = curves::levelToY(6.0, -15, 15, r);
    const QPointF a(curves::geqBandX(2, r) - 1, y6), b(curves::geqBandX(9, r) + 1, y6);
    sendMouse(v, QEvent::MouseButtonPress, a);
    for (int i = 1; i <= 10; ++i) {
        clock.advance(milliseconds(20));
        sendMouse(v, QEvent::MouseMove, a + (b - a) * (i / 10.0));
    }
    for (int band = 2; band <= 9; ++band)
        QVERIFY(std::abs(rig->state.out(2).geq[static_cast<std::size_t>(band)].gain - 210) <= 1);
    QCOMPARE(rig->state.out(2).geq[1].gain, 150);
    QCOMPARE(rig->state.out(2).geq[10].gain, 150);
    QCOMPARE(rig->state.out(4).geq[5].gain, 150); // members follow on release
    QVERIFY(letters(rig->sink).size() <= 3);
    QVERIFY(!letters(rig->sink).contains("H04"));
    sendMouse(v, QEvent::MouseButtonRelease, b);
    QCOMPARE(letters(rig->sink).mid(letters(rig->sink).size() - 2), (QStringList{"H02", "H04"}));
    QCOMPARE(rig->state.out(4).geq[5].gain, rig->state.out(2).geq[5].gain);

    // Point mode: a drag of band 1 to the top stores +15 dB.
    click(page->findChild<ImageButton*>("geqDraw"));
    QVERIFY(!v->drawMode());
    const QPointF p0 = v->handlePoint(0);
    sendMouse(v, QEvent::MouseButtonPress, p0);
    sendMouse(v, QEvent::MouseMove, QPointF(p0.x(), r.top - 40));
    sendMouse(v, QEvent::MouseButtonRelease, QPointF(p0.x(), r.top - 40));
    QCOMPARE(rig->state.out(2).geq[0].gain, 300);
    rig->sink.frames.clear();
    click(page->findChild<ImageButton*>("geqReset"));
    QCOMPARE(rig->state.out(2).geq[0].gain, 150);
    QCOMPARE(letters(rig->sink), (QStringList{"H02", "H04"}));
}

void TestEqPages::metersFollowReportsAndGoEmptyOffline() {
    QWidget host;
    auto* peq = new PeqPage(rig->context(), &host);
    auto* geq = new GeqPage(rig->context(), &host);
    peq->bindTo(0);
    geq->bindTo(0);
    ReportDispatcher dispatcher(rig->state);
    std::vector<int> values(22, 0);
    values[0] = 50;  // input 1
    values[12] = 40; // output 1
    rig->report(dispatcher, test::statusReport(values));
    peq->refreshMeters();
    geq->refreshMeters();
    QCOMPARE(peq->findChild<LevelMeter*>("peqMeter")->level(0), 50.0);
    QCOMPARE(geq->findChild<LevelMeter*>("geqMeter")->level(0), 40.0);
    rig->state.link.linkOnline = false;
    peq->refreshMeters();
    geq->refreshMeters();
    QCOMPARE(peq->findChild<LevelMeter*>("peqMeter")->level(0), 0.0);
    QCOMPARE(geq->findChild<LevelMeter*>("geqMeter")->level(0), 0.0);
}

QTEST_MAIN(TestEqPages)
#include "test_eq_pages.moc"
