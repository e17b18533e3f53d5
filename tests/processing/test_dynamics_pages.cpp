// The dynamics and limiter pages as widgets, offscreen: knobs, handle drags, RESET, presets,
// meters and the channel they serve, with the frames that left.
#include <QApplication>
#include <QSignalSpy>
#include <QtTest>

#include "../binding/page_rig.h"
#include "binding/edit_controller.h"
#include "binding/field_ids.h"
#include "controls/fader_ctrl.h"
#include "controls/image_button.h"
#include "controls/level_meter.h"
#include "controls/response_view.h"
#include "controls/skin_label.h"
#include "link/field_display.h"
#include "pages/processing/dynamics_controls.h"
#include "pages/processing/dynamics_page.h"
#include "pages/processing/input_strip.h"
#include "pages/processing/limiter_page.h"
#include "pages/processing/output_strip.h"
#include "presets/preset_store.h"
#include "widgets/preset_list.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

using test::click;
using test::sendMouse;

std::string body(const OutgoingFrame& f) {
    return f.text.substr(0, f.text.size() - 5);
}

// A drag of handle h of the view to the plot point (input, output) dB.
void dragHandle(ResponseView* v, int h, double inputDb, double outputDb) {
    const QPointF from = v->transferHandlePoint(h);
    const curves::PlotRect r = v->plot();
    const curves::AxisBox& b = v->transferAxes();
    const QPointF to(curves::linearToX(inputDb, b.xmin, b.xmax, r),
                     curves::linearToY(outputDb, b.ymin, b.ymax, r));
    sendMouse(v, QEvent::MouseButtonPress, from);
    sendMouse(v, QEvent::MouseMove, (from + to) / 2);
    sendMouse(v, QEvent::MouseMove, to);
    sendMouse(v, QEvent::MouseButtonRelease, to);
}

bool hasLabel(QWidget* page, const QString& text) {
    for (SkinLabel* l : page->findChildren<SkinLabel*>())
        if (l->text() == text && l->isVisibleTo(page)) return true;
    return false;
}

} // namespace

class TestDynamicsPages : public QObject {
    Q_OBJECT
private slots:
    void init() { rig = std::make_unique<test::PageRig>(); }
    void cleanup() { rig.reset(); }

    void knobStoresWhileMovingAndSendsOnRelease();
    void handleDragsSendTheNearestStepAndStayInThePlot();
    void resetAndOnButtonFollowTheState();
    void pageFollowsItsChannel();
    void metersFollowReportsAndEmptyOffline();
    void presetsRecallClampedAndSent();
    void limiterPageDragsAndLabels();

private:
    std::unique_ptr<test::PageRig> rig;
};

void TestDynamicsPages::knobStoresWhileMovingAndSendsOnRelease() {
    DynamicsPage page(rig->context(), nullptr);
    page.resize(1100, 700);
    page.bindTo(2);
    KnobRow& threshold = *page.compressorKnobs()[0];
    emit threshold.knob()->faderChanging(1113, 20);
    QCOMPARE(rig->state.in(3).dynamics.compThreshold, 20);
    QCOMPARE(threshold.value()->text(), QStringLiteral("-40 dB"));
    QVERIFY(rig->sink.frames.empty());
    emit threshold.knob()->faderChanged(1113, 20);
    QCOMPARE(rig->sink.frames.size(), std::size_t{1});
    QCOMPARE(QString::fromStdString(body(rig->sink.frames[0])),
             QStringLiteral("%C,01,03,00,0A,14,0A,64,00,"));
    // The ratio knob reads with its trailing blank.
    emit page.compressorKnobs()[1]->knob()->faderChanged(1115, 100);
    QCOMPARE(page.compressorKnobs()[1]->value()->text(), QStringLiteral("1:10.0 "));
    QCOMPARE(page.compressorKnobs()[2]->knob()->maximum(), 200);
    // The gate is built and bound, and stays hidden.
    QVERIFY(!page.gateCurve()->isVisibleTo(&page));
    QVERIFY(!page.gatePresets()->isVisibleTo(&page));
    emit page.gateKnobs()[0]->knob()->faderChanged(1103, 12);
    QCOMPARE(rig->state.in(3).gate.gateThreshold, 12);
    QCOMPARE(QString::fromStdString(body(rig->sink.frames.back())).left(9), QStringLiteral("%B,01,03,"));
}

void TestDynamicsPages::handleDragsSendTheNearestStepAndStayInThePlot() {
    DynamicsPage page(rig->context(), nullptr);
    page.resize(1100, 700);
    page.bindTo(0);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    ResponseView* v = page.compressorCurve();
    QCOMPARE(v->mode(), int(ResponseView::Compressor));

    // Threshold from 0 dB to -30: the ratio handle moves with it.
    dragHandle(v, kThresholdHandle, -30.2, -30.2);
    QCOMPARE(rig->state.in(1).dynamics.compThreshold, 30);
    QVERIFY(!rig->sink.frames.empty());
    QCOMPARE(QString::fromStdString(body(rig->sink.frames.back())),
             QStringLiteral("%C,01,01,00,0A,1E,0A,64,00,"));
    QCOMPARE(v->transferHandles()[1].y, 0.0); // at 1:1.0 the ratio point stays at 0 dB out

    // Ratio to -15 dB at 0 dB input: 1:2.0; straight above the threshold point: 1:1.0. The
    // readout hears the ratio (kind 55).
    QSignalSpy edited(&rig->edits, &EditController::edited);
    dragHandle(v, kRatioHandle, 0.0, -15.0);
    QCOMPARE(rig->state.in(1).dynamics.compRatio, 20);
    QVERIFY(!edited.isEmpty());
    QCOMPARE(readoutFor(edited.last().at(0).value<FieldId>())->kind, 55);
    dragHandle(v, kRatioHandle, -30.0, -10.0);
    QCOMPARE(rig->state.in(1).dynamics.compRatio, 10);

    // The gain handle dragged far above the plot stops at its top: 20.0 dB, not a value the
    // knob could never reach.
    rig->sink.frames.clear();
    const QPointF g = v->transferHandlePoint(kGainHandle);
    sendMouse(v, QEvent::MouseButtonPress, g);
    sendMouse(v, QEvent::MouseMove, g - QPointF(0, 5000));
    const QPointF held = v->transferHandlePoint(kGainHandle);
    QVERIFY(v->rect().contains(held.toPoint()));
    QCOMPARE(v->transferHandles()[kGainHandle].y, 0.0);
    sendMouse(v, QEvent::MouseButtonRelease, g - QPointF(0, 5000));
    QCOMPARE(rig->state.in(1).dynamics.compGain, 200);
    QCOMPARE(QString::fromStdString(body(rig->sink.frames.back())),
             QStringLiteral("%C,01,01,00,0A,1E,0A,64,C8,"));
    // After release the handle sits at the stored value, drawn at G - 60.
    QCOMPARE(v->transferHandles()[kGainHandle].y, -40.0);
}

void TestDynamicsPages::resetAndOnButtonFollowTheState() {
    DynamicsPage page(rig->context(), nullptr);
    page.resize(1100, 700);
    page.bindTo(4);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    auto* on = page.findChild<ImageButton*>("compOnButton");
    auto* reset = page.findChild<ImageButton*>("compResetButton");
    QVERIFY(on && reset);
    QVERIFY(!on->isOn());
    click(reset);
    QVERIFY(on->isOn());
    QCOMPARE(rig->state.in(5).dynamics.compThreshold, 30);
    QCOMPARE(page.compressorKnobs()[0]->knob()->position(), 30);
    QCOMPARE(page.compressorKnobs()[0]->value()->text(), QStringLiteral("-30 dB"));
    QCOMPARE(rig->sink.frames.size(), std::size_t{1});
    QCOMPARE(QString::fromStdString(body(rig->sink.frames[0])),
             QStringLiteral("%C,01,05,01,0A,1E,64,64,00,"));
    click(on);
    QCOMPARE(rig->state.in(5).dynamics.compEnabled, 0);
    QVERIFY(!on->isOn());

    // The channel's strip shows the COMP switch the page sets.
    InputStrip strip(rig->context(), 4, nullptr);
    auto* stripComp = strip.findChild<ImageButton*>("compButton");
    QVERIFY(stripComp && !stripComp->isOn());
    click(on);
    QVERIFY(stripComp->isOn());
}

void TestDynamicsPages::pageFollowsItsChannel() {
    rig->state.in(7).dynamics.compRelease = 222;
    DynamicsPage page(rig->context(), nullptr);
    page.resize(1100, 700);
    page.bindTo(6);
    QCOMPARE(page.compressorKnobs()[4]->knob()->position(), 222);
    QCOMPARE(page.compressorKnobs()[4]->value()->text(), QStringLiteral("222 ms"));
    // Another channel's edit leaves this page alone; a report for its own channel moves it.
    rig->edits.edit(inputField(2, "compRelease"), 30);
    QCOMPARE(page.compressorKnobs()[4]->knob()->position(), 222);
    rig->state.in(7).dynamics.compRelease = 90;
    rig->edits.announce(ChangeSet::everything());
    QCOMPARE(page.compressorKnobs()[4]->knob()->position(), 90);
    QCOMPARE(page.compressorKnobs()[4]->value()->text(), QStringLiteral("90 ms"));
    // A channel 13..16 page stores and sends nothing.
    page.bindTo(13);
    rig->sink.frames.clear();
    emit page.compressorKnobs()[3]->knob()->faderChanged(1119, 7);
    QCOMPARE(rig->state.in(14).dynamics.compAttack, 7);
    QVERIFY(rig->sink.frames.empty());

    page.setLanguage(2);
    QVERIFY(hasLabel(&page, QStringLiteral("阀值")));
    QVERIFY(hasLabel(&page, QStringLiteral("压缩器")));
    page.setLanguage(1);
    QVERIFY(hasLabel(&page, QStringLiteral("Release")));
}

void TestDynamicsPages::metersFollowReportsAndEmptyOffline() {
    DynamicsPage page(rig->context(), nullptr);
    page.resize(1100, 700);
    page.bindTo(0);
    rig->state.in(1).dynamics.compThreshold = 30;
    rig->state.in(1).dynamics.compRatio = 20;
    rig->state.in(1).meter = 50;
    page.refreshMeters();
    QCOMPARE(page.meter()->level(1), 50.0);
    QCOMPARE(page.meter()->level(2), 40.0);
    QCOMPARE(page.meter()->level(4), 50.0);
    // The operating point: -10 dB in, -20 out.
    const auto& marks = page.compressorCurve()->transferPoints();
    QCOMPARE(marks.size(), std::size_t{3});
    QCOMPARE(marks[1].x, -10.0);
    QCOMPARE(marks[1].y, -20.0);

    rig->state.link.linkOnline = false;
    page.refreshMeters();
    QCOMPARE(page.meter()->level(1), 0.0);
    QCOMPARE(page.meter()->level(4), 0.0);
    QVERIFY(page.compressorCurve()->transferPoints().empty());
}

void TestDynamicsPages::presetsRecallClampedAndSent() {
    PresetStore store(PresetStore::pathIn(rig->dir.path().toStdString()));
    std::vector<std::string> errors;
    store.setErrorSink([&](const std::string& m) { errors.push_back(m); });
    PageContext ctx = rig->context();
    ctx.presets = &store;
    DynamicsPage page(ctx, nullptr);
    page.resize(1100, 700);
    page.bindTo(1);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    PresetList* list = page.compressorPresets();
    rig->state.in(2).dynamics = Dynamics{1, 20, 50, 60, 70, 40};
    emit list->itemChosen(1010, 0);
    QCOMPARE(list->count(), 2);

    rig->state.in(2).dynamics = Dynamics{0, 1, 2, 30, 4, 50};
    rig->sink.frames.clear();
    list->setSelection(1);
    list->runMenuCommand(presetMenu(PresetBlock::Compressor).recallCommand);
    QCOMPARE(rig->state.in(2).dynamics.compRatio, 40);
    QCOMPARE(page.compressorKnobs()[1]->knob()->position(), 40);
    QCOMPARE(rig->sink.frames.size(), std::size_t{1});
    QCOMPARE(QString::fromStdString(body(rig->sink.frames[0])),
             QStringLiteral("%C,01,02,01,28,14,32,3C,46,"));
    QVERIFY(errors.empty());

    // A stored row whose values lie outside the knobs comes back clamped.
    QVERIFY(PresetOperations(store, kCompressorTable).insert(9, "odd", "01FF0000FFFF"));
    list->fill();
    list->setSelection(2);
    list->runMenuCommand(presetMenu(PresetBlock::Compressor).recallCommand);
    const Dynamics& d = rig->state.in(2).dynamics;
    QCOMPARE(d.compThreshold, 60);
    QCOMPARE(d.compRatio, 10);
    QCOMPARE(d.compAttack, 1);
    QCOMPARE(d.compRelease, 250);
    QCOMPARE(d.compGain, 200);
}

void TestDynamicsPages::limiterPageDragsAndLabels() {
    PresetStore store(PresetStore::pathIn(rig->dir.path().toStdString()));
    PageContext ctx = rig->context();
    ctx.presets = &store;
    LimiterPage page(ctx, nullptr);
    page.resize(1200, 700);
    page.bindTo(7);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QCOMPARE(page.curve()->mode(), int(ResponseView::Limiter));
    dragHandle(page.curve(), kGainHandle, -50.0, -48.5);
    QCOMPARE(rig->state.out(8).limiter[4], 115);
    QCOMPARE(QString::fromStdString(body(rig->sink.frames.back())).left(9), QStringLiteral("%D,01,08,"));
    // The release knob goes down to 1 ms here.
    emit page.knobs()[4]->knob()->faderChanged(1111, 1);
    QCOMPARE(rig->state.out(8).limiter[3], 1);
    QCOMPARE(page.knobs()[4]->value()->text(), QStringLiteral("1 ms"));

    // LIMIT is a keyword of the engine; its table saves and recalls all the same.
    emit page.presets()->itemChosen(1009, 0);
    rig->state.out(8).limiter = {0, 0, 1, 1, 0, 10};
    rig->sink.frames.clear();
    page.presets()->setSelection(1);
    page.presets()->runMenuCommand(presetMenu(PresetBlock::Limiter).recallCommand);
    QCOMPARE(rig->state.out(8).limiter[4], 115);
    QCOMPARE(rig->state.out(8).limiter[3], 1);
    QCOMPARE(rig->sink.frames.size(), std::size_t{1});

    OutputStrip strip(rig->context(), 7, nullptr);
    auto* stripComp = strip.findChild<ImageButton*>("limiterButton");
    QVERIFY(stripComp && !stripComp->isOn());
    click(page.findChild<ImageButton*>("limiterResetButton"));
    QVERIFY(stripComp->isOn());
    QCOMPARE(rig->state.out(8).limiter, (std::array<std::int32_t, 6>{1, 30, 100, 100, 0, 10}));
    QVERIFY(page.findChild<ImageButton*>("limiterOnButton")->isOn());

    rig->state.out(8).meter = 45;
    page.refreshMeters();
    QCOMPARE(page.meter()->level(1), 45.0);
}

QTEST_MAIN(TestDynamicsPages)
#include "test_dynamics_pages.moc"
