#include <QSignalSpy>
#include <QtTest>

#include "controls/drop_list.h"
#include "controls/fader_ctrl.h"
#include "controls/image_button.h"
#include "controls/level_meter.h"
#include "controls/response_view.h"
#include "controls/skin_label.h"
#include "controls/skin_store.h"

using namespace quorvel;

namespace {

void sendMouse(QWidget* w, QEvent::Type type, QPointF pos, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, pos, w->mapToGlobal(pos), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                  held, mods);
    QCoreApplication::sendEvent(w, &e);
}

// What a real double click delivers: press, release, double-click, release.
void doubleClick(QWidget* w, QPointF pos) {
    sendMouse(w, QEvent::MouseButtonPress, pos);
    sendMouse(w, QEvent::MouseButtonRelease, pos);
    sendMouse(w, QEvent::MouseButtonDblClick, pos);
    sendMouse(w, QEvent::MouseButtonRelease, pos);
}

void sendWheel(QWidget* w, int delta) {
    const QPointF pos(w->width() / 2.0, w->height() / 2.0);
    QWheelEvent e(pos, w->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w, &e);
}

// The channel fader of the strips: track 60 x 200, thumb 26 x 53, thumb area (32, 2, 0, 5), 0..70.
FaderGeometry channelGeometry() {
    FaderGeometry g;
    g.minimum = 0;
    g.maximum = 70;
    g.vertical = true;
    g.marginLeft = 32;
    g.marginTop = 2;
    g.marginBottom = 5;
    g.trackWidth = 60;
    g.trackHeight = 200;
    g.thumbWidth = 26;
    g.thumbHeight = 53;
    return g;
}

FaderCtrl* channelFader(QWidget* parent) {
    auto* f = new FaderCtrl(1012, parent);
    f->setVertical(true);
    f->setTrackBitmaps(191);
    f->setThumbBitmaps(192, 209);
    f->setThumbArea(32, 2, 0, 5);
    f->setRange(0, 70);
    return f;
}

FaderCtrl* pageSlider(QWidget* parent) {
    auto* f = new FaderCtrl(1096, parent);
    f->setTrackBitmaps(162, 161);
    f->setThumbBitmaps(164);
    f->setThumbArea(0, 1, 0, 0);
    f->setRange(0, 60);
    return f;
}

QList<int> positions(const QSignalSpy& spy) {
    QList<int> out;
    for (const auto& args : spy)
        out << args.at(1).toInt();
    return out;
}

} // namespace

class TestControls : public QObject {
    Q_OBJECT

private slots:
    void faderMappings();
    void faderClampsAndValueText();
    void faderKeys();
    void faderDragVertical();
    void faderDragHorizontalJumpsAndFineAdjust();
    void faderWheelDoubleClickAndDisabled();
    void imageButtonStates();
    void meterSegmentsAndClamping();
    void meterRepaintsOnlyTheChange();
    void dropListWheelAndSelection();
    void skinLabelFormats();
    void responseViewHandles();
    void graphicEqualiserPointsAndSweep();
    void transferCaptionsStayInView();
    void skinStoreCachesPerSizeAndRatio();
    void everyControlPaints();
};

void TestControls::faderMappings() {
    const FaderGeometry g = channelGeometry();
    QCOMPARE(faderPositionToPixel(g, 0), 28);
    QCOMPARE(faderPositionToPixel(g, 70), 168);
    QCOMPARE(faderPositionToPixel(g, 35), 98);
    QCOMPARE(faderPixelToPosition(g, 28), 0);
    QCOMPARE(faderPixelToPosition(g, 168), 70);
    QCOMPARE(faderPixelToPosition(g, 99), 35); // truncation toward zero
    for (int p = 0; p <= 70; ++p)
        QCOMPARE(faderPixelToPosition(g, faderPositionToPixel(g, p)), p);
    QCOMPARE(faderTravelLow(g), 28);
    QCOMPARE(faderTravelHigh(g), 169);

    // Page slider: 100 x 15, thumb 18 x 13, 0..60.
    FaderGeometry h;
    h.maximum = 60;
    h.trackWidth = 100;
    h.trackHeight = 15;
    h.thumbWidth = 18;
    h.thumbHeight = 13;
    h.marginTop = 1;
    QCOMPARE(faderPositionToPixel(h, 0), 9);
    QCOMPARE(faderPositionToPixel(h, 60), 91);
    QCOMPARE(faderPositionToPixel(h, 7), 9 + 9); // trunc(82 * 7 / 60) = 9
    QCOMPARE(faderPixelToPosition(h, 50), 30);

    // An empty range must not divide by zero.
    h.maximum = 0;
    QCOMPARE(faderPositionToPixel(h, 0), 9);
}

void TestControls::faderClampsAndValueText() {
    QCOMPARE(clampFaderPosition(120, 0, 100), 100);
    QCOMPARE(clampFaderPosition(-5, 0, 100), 0);
    QCOMPARE(clampFaderPosition(50, 80, 20), 80); // inverted range: the minimum wins

    FaderDisplay d; // 10 at the top, -50 at the bottom
    QCOMPARE(faderValueText(d, 0, 0, 100), QStringLiteral("10"));
    QCOMPARE(faderValueText(d, 100, 0, 100), QStringLiteral("-50"));
    QCOMPARE(faderValueText(d, 50, 0, 100), QStringLiteral("-20"));
    d.number = 4.0;
    QCOMPARE(faderValueText(d, 0, 0, 100), QStringLiteral("2.50"));
    QCOMPARE(faderValueText(d, 100, 0, 100), QStringLiteral("-12.50"));
    QCOMPARE(faderValueText(d, 50, 0, 100), QStringLiteral("-5"));
    d.mode = 2;
    d.number = 7.9;
    QCOMPARE(faderValueText(d, 50, 0, 100), QStringLiteral("7"));

    QWidget host;
    FaderCtrl* f = channelFader(&host);
    QCOMPARE(f->size(), QSize(60, 200));
    QSignalSpy changed(f, &FaderCtrl::faderChanged);
    f->setPosition(99);
    QCOMPARE(f->position(), 70);
    f->setPosition(-3);
    QCOMPARE(f->position(), 0);
    QCOMPARE(changed.count(), 0); // setPosition never notifies
    QVERIFY(!f->setTrackBitmaps(99999));
}

void TestControls::faderKeys() {
    QWidget host;
    FaderCtrl* f = channelFader(&host);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    f->setFocus();
    f->setPageStep(20);
    f->setPosition(30);
    QSignalSpy changed(f, &FaderCtrl::faderChanged);

    const std::pair<int, int> steps[] = {
        {Qt::Key_PageUp, 10}, {Qt::Key_PageUp, 0}, {Qt::Key_PageDown, 20}, {Qt::Key_Down, 21},
        {Qt::Key_Right, 22},  {Qt::Key_Up, 21},    {Qt::Key_Left, 20},     {Qt::Key_End, 70},
        {Qt::Key_Down, 70},   {Qt::Key_Home, 0},   {Qt::Key_Home, 0},
    };
    for (const auto& [key, expected] : steps) {
        QTest::keyClick(f, Qt::Key(key));
        QCOMPARE(f->position(), expected);
    }
    // Every handled key reports, even Home on a fader already at its minimum.
    QCOMPARE(changed.count(), int(std::size(steps)));
    QCOMPARE(changed.last().at(0).toInt(), 1012);

    QTest::keyClick(f, Qt::Key_A);
    QCOMPARE(changed.count(), int(std::size(steps)));
}

void TestControls::faderDragVertical() {
    QWidget host;
    FaderCtrl* f = channelFader(&host);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    f->setPosition(35); // thumb centre y = 98
    QSignalSpy changing(f, &FaderCtrl::faderChanging);
    QSignalSpy changed(f, &FaderCtrl::faderChanged);

    // Off the thumb a vertical fader does nothing.
    sendMouse(f, QEvent::MouseButtonPress, {10, 98});
    sendMouse(f, QEvent::MouseMove, {10, 20});
    sendMouse(f, QEvent::MouseButtonRelease, {10, 20});
    QCOMPARE(f->position(), 35);
    QCOMPARE(changing.count() + changed.count(), 0);

    // Gripped 10 px below the centre, the thumb keeps that grip point.
    sendMouse(f, QEvent::MouseButtonPress, {45, 108});
    QVERIFY(f->isDragging());
    QCOMPARE(changing.count(), 0);
    sendMouse(f, QEvent::MouseMove, {45, 88});
    QCOMPARE(f->position(), 25);
    // Past the top end the thumb stops at its travel end and reports once.
    sendMouse(f, QEvent::MouseMove, {45, -200});
    QCOMPARE(f->position(), 0);
    const int afterTop = changing.count();
    sendMouse(f, QEvent::MouseMove, {45, -400});
    QCOMPARE(changing.count(), afterTop);
    sendMouse(f, QEvent::MouseMove, {45, 900});
    QCOMPARE(f->position(), 70);
    QCOMPARE(positions(changing), QList<int>({25, 0, 70}));
    // A device report arriving mid-drag does not pull the thumb from under the pointer.
    f->setPosition(12);
    QCOMPARE(f->position(), 70);
    QCOMPARE(changed.count(), 0);
    sendMouse(f, QEvent::MouseButtonRelease, {45, 900});
    QVERIFY(!f->isDragging());
    QCOMPARE(positions(changed), QList<int>({70}));
}

void TestControls::faderDragHorizontalJumpsAndFineAdjust() {
    QWidget host;
    FaderCtrl* f = pageSlider(&host);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QCOMPARE(f->size(), QSize(100, 15));
    QSignalSpy changing(f, &FaderCtrl::faderChanging);
    QSignalSpy changed(f, &FaderCtrl::faderChanged);

    // A click on the track jumps the thumb to the pointer.
    sendMouse(f, QEvent::MouseButtonPress, {50, 7});
    QCOMPARE(f->position(), 30);
    QCOMPARE(positions(changing), QList<int>({30}));
    sendMouse(f, QEvent::MouseButtonRelease, {50, 7});
    QCOMPARE(positions(changed), QList<int>({30}));

    // With Shift the thumb follows a fifth of the pointer's travel.
    changing.clear();
    sendMouse(f, QEvent::MouseButtonPress, {50, 7});
    sendMouse(f, QEvent::MouseMove, {50, 7}, Qt::ShiftModifier);
    sendMouse(f, QEvent::MouseMove, {90, 7}, Qt::ShiftModifier); // 40 px -> 8 px of thumb
    const int fine = f->position();
    QVERIFY2(fine > 30 && fine <= 36, qPrintable(QString::number(fine)));
    // Releasing Shift continues from there instead of leaping under the pointer.
    sendMouse(f, QEvent::MouseMove, {91, 7});
    QVERIFY(f->position() - fine <= 1);
    sendMouse(f, QEvent::MouseButtonRelease, {91, 7});
}

void TestControls::faderWheelDoubleClickAndDisabled() {
    QWidget host;
    FaderCtrl* v = channelFader(&host);
    FaderCtrl* h = pageSlider(&host);
    h->move(0, 210);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    v->setPosition(10);
    h->setPosition(10);
    QSignalSpy vChanged(v, &FaderCtrl::faderChanged);

    // Wheel away from the user: a vertical thumb goes up, a horizontal one right.
    sendWheel(v, 120);
    QCOMPARE(v->position(), 9);
    sendWheel(h, 120);
    QCOMPARE(h->position(), 11);
    sendWheel(v, 60); // half a notch waits for the other half
    QCOMPARE(v->position(), 9);
    sendWheel(v, 60);
    QCOMPARE(v->position(), 8);
    QCOMPARE(vChanged.count(), 2);
    v->setPosition(0);
    sendWheel(v, 120); // already at the end: nothing to report
    QCOMPARE(vChanged.count(), 2);

    QSignalSpy dbl(v, &FaderCtrl::faderDoubleClicked);
    v->setPosition(40);
    doubleClick(v, {45, 108});
    QCOMPARE(dbl.count(), 1);
    QCOMPARE(dbl.first().at(1).toInt(), 40);
    QCOMPARE(v->position(), 40);

    v->setEnabled(false);
    v->setFocus();
    QTest::keyClick(v, Qt::Key_Home);
    sendWheel(v, 120);
    sendMouse(v, QEvent::MouseButtonPress, {45, 108});
    QVERIFY(!v->isDragging());
    QCOMPARE(v->position(), 40);
}

void TestControls::imageButtonStates() {
    QWidget host;
    auto* toggle = new ImageButton(1001, &host);
    toggle->setSizeMode(1);
    toggle->setImages(165, 166);
    QCOMPARE(toggle->size(), QSize(145, 45));
    toggle->setSizeMode(2);
    toggle->setImages(165, 166);
    QCOMPARE(toggle->size(), QSize(72, 22));
    toggle->resize(80, 30);
    toggle->setSizeMode(0);
    toggle->setImages(165, 166);
    QCOMPARE(toggle->size(), QSize(80, 22));

    auto* push = new ImageButton(1003, &host);
    push->setStyle(ImageButton::Push);
    push->setImages(225, 226);
    push->move(0, 60);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));

    // A toggle shows B while on whatever the pointer does; only the owner switches it.
    QCOMPARE(toggle->currentImage(), 165);
    QSignalSpy clicks(toggle, &ImageButton::clicked);
    QObject::connect(toggle, &ImageButton::clicked, toggle, [toggle] { toggle->setOn(!toggle->isOn()); });
    QTest::mouseClick(toggle, Qt::LeftButton);
    QVERIFY(toggle->isOn());
    QCOMPARE(toggle->currentImage(), 166);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(toggle, &leave);
    QCOMPARE(toggle->currentImage(), 166);
    // A double click counts as two clicks and flips the page's state twice.
    doubleClick(toggle, {5, 5});
    QCOMPARE(clicks.count(), 3);
    QCOMPARE(clicks.last().at(0).toInt(), 1001);
    QVERIFY(toggle->isOn());

    // A push button shows B while hovered and A again after the pointer leaves.
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), push->mapToGlobal(QPointF(5, 5)));
    QCoreApplication::sendEvent(push, &enter);
    QCOMPARE(push->currentImage(), 226);
    QCoreApplication::sendEvent(push, &leave);
    QCOMPARE(push->currentImage(), 225);

    // Grey: push shows A, toggle shows its third image.
    push->setGrayed(true);
    QCoreApplication::sendEvent(push, &enter);
    QCOMPARE(push->currentImage(), 225);
    toggle->setImageC(183);
    toggle->setGrayed(true);
    toggle->setOn(true);
    QCOMPARE(toggle->currentImage(), 183);

    // Caption colour follows the on state.
    toggle->setGrayed(false);
    toggle->setText(QStringLiteral("MUTE"));
    toggle->grab();
    QCOMPARE(toggle->textColor(), QColor(0x00, 0xE6, 0xFF));
    toggle->setOn(false);
    toggle->grab();
    QCOMPARE(toggle->textColor(), QColor(0xFF, 0xFF, 0xFF));
}

void TestControls::meterSegmentsAndClamping() {
    QCOMPARE(meterLitHeight(25, 0, 50, 180), 90);
    QCOMPARE(meterLitHeight(50, 0, 50, 180), 180);
    QCOMPARE(meterLitHeight(0, 0, 50, 180), 0);
    QCOMPARE(meterLitHeight(10, 5, 5, 180), 0); // empty range lights nothing
    QCOMPARE(meterCoveredHeight(91), 92);
    QCOMPARE(meterSegmentColor(0.0, 0.43, 0.58, true), QColor(0xDB, 0xFE, 0x24));
    QCOMPARE(meterSegmentColor(0.43, 0.43, 0.58, true), QColor(0xFF, 0xB0, 0x23));
    QCOMPARE(meterSegmentColor(0.58, 0.43, 0.58, true), QColor(0xFF, 0x23, 0x23));
    QCOMPARE(meterSegmentColor(0.5, 0.43, 0.58, false), QColor(0x48, 0x30, 0x00));

    QRect plot(5, 5, 100, 200);
    QCOMPARE(meterColumnSpan(plot, 0, 4), QRect(6, 5, 23, 200));
    QCOMPARE(meterColumnSpan(plot, 3, 4), QRect(81, 5, 23, 200));
    QStringList labels;
    for (int i = 0; i <= 6; ++i)
        labels << meterScaleLabel(0, 50, i);
    QCOMPARE(labels, QStringList({"-60", "-52", "-43", "-35", "-27", "-18", "-10"}));

    LevelMeter m;
    m.resize(120, 220);
    m.setLevel(80, 0);
    QCOMPARE(m.level(0), 50.0);
    m.setLevel(-7, 1);
    QCOMPARE(m.level(1), 0.0);
    m.setLevel(25, 2);
    QCOMPARE(m.level(2), 25.0);

    // Render and count lit pixels in the middle of the half-lit column.
    const QImage img = m.grab().toImage();
    const QRect bar = m.barRect(2);
    auto lit = [&](int y) {
        const QColor c = img.pixelColor(bar.center().x(), y);
        return c.red() > 0xC0 || c.green() > 0xC0;
    };
    const int bottom = bar.top() + bar.height() - 1;
    QVERIFY(lit(bottom));
    QVERIFY(lit(bottom - bar.height() / 2 + 2));
    QVERIFY(!lit(bottom - bar.height() / 2 - 3));
    // Above the range the whole bar is lit; below it nothing is.
    QVERIFY(img.pixelColor(m.barRect(0).center().x(), m.barRect(0).top() + 1).red() > 0xC0);
    QVERIFY(img.pixelColor(m.barRect(1).center().x(), m.barRect(1).bottom()).green() < 0x80);
}

void TestControls::meterRepaintsOnlyTheChange() {
    QWidget host;
    auto* m = new LevelMeter(1006, &host);
    m->setGeometry(0, 0, 30, 200);
    m->setColumnCount(1);
    m->setRange(0, 60);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    const QRect bar = m->barRect(0);
    m->setLevel(30, 0);
    const QRect dirty = m->lastDirty();
    QCOMPARE(dirty.left(), bar.left());
    QCOMPARE(dirty.width(), bar.width());
    QCOMPARE(dirty.bottom(), bar.bottom());
    QVERIFY(dirty.height() <= bar.height() / 2 + 2);
    m->setLevel(30.01, 0); // same segment: nothing to repaint
    QVERIFY(m->lastDirty().isEmpty());
    m->setLevel(32, 0);
    QVERIFY(m->lastDirty().height() <= 8);
    QVERIFY(m->lastDirty().bottom() < bar.bottom() - bar.height() / 2 + 2);
}

void TestControls::dropListWheelAndSelection() {
    QWidget host;
    auto* d = new DropList(1010, &host);
    d->setBitmaps(231, 232);
    QCOMPARE(d->size(), QSize(100, 24));
    d->setItems({"15dB", "25dB", "35dB", "45dB"});
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QSignalSpy chosen(d, &DropList::itemChosen);

    d->setSelection(9);
    QCOMPARE(d->selection(), 3);
    QCOMPARE(d->text(), QStringLiteral("45dB"));
    d->setSelection(-2);
    QCOMPARE(d->selection(), 0);
    QCOMPARE(chosen.count(), 0);

    // Wheel towards the user picks the next item; deltas add up to a notch first.
    sendWheel(d, -60);
    QCOMPARE(chosen.count(), 0);
    sendWheel(d, -60);
    QCOMPARE(d->selection(), 1);
    sendWheel(d, 120);
    QCOMPARE(d->selection(), 0);
    sendWheel(d, 120); // first item: stays, still reports
    QCOMPARE(d->selection(), 0);
    d->setSelection(3);
    sendWheel(d, -120); // last item: reports the same index again
    QCOMPARE(d->selection(), 3);
    QCOMPARE(chosen.count(), 4);
    QCOMPARE(chosen.last().at(0).toInt(), 1010);
    QCOMPARE(chosen.last().at(1).toInt(), 3);

    // Disabled, it looks it, and the wheel chooses nothing.
    const QImage enabledLook = d->grab().toImage();
    d->setEnabled(false);
    QVERIFY(d->grab().toImage() != enabledLook);
    sendWheel(d, 120);
    QCOMPARE(d->selection(), 3);
    QCOMPARE(chosen.count(), 4);
    d->setEnabled(true);

    // The pop-up opens just under the button; height is the items or the cap.
    const QRect g = d->popupGeometry();
    QCOMPARE(g.topLeft(), d->mapToGlobal(QPoint(0, 23)));
    QCOMPARE(g.height(), 4 * DropList::kItemHeight + 1);
    for (int i = 0; i < 10; ++i)
        d->addItem(QStringLiteral("x"));
    QCOMPARE(d->popupGeometry().height(), 201);

    // A selection made with the pointer outside the list (keyboard) is undone and not reported.
    d->showPopup();
    QVERIFY(d->isPopupVisible());
    d->listSelectionChanged(1, false);
    QVERIFY(!d->isPopupVisible());
    QCOMPARE(d->selection(), 3);
    QCOMPARE(chosen.count(), 4);
    QVERIFY(!d->isActive());
    d->showPopup();
    d->listSelectionChanged(2, true);
    QCOMPARE(d->selection(), 2);
    QCOMPARE(chosen.last().at(1).toInt(), 2);
    QVERIFY(d->isActive());

    DropList empty;
    QSignalSpy none(&empty, &DropList::itemChosen);
    sendWheel(&empty, -120);
    empty.setSelection(0);
    QCOMPARE(none.count(), 0);
    QCOMPARE(empty.popupGeometry().height(), 201);
}

void TestControls::skinLabelFormats() {
    LabelNumber n;
    n.divisor = 10;
    n.prefix = QStringLiteral("G ");
    n.suffix = QStringLiteral(" dB");
    QCOMPARE(formatLabelValue(25, n), QStringLiteral("G 2.5 dB"));
    QCOMPARE(formatLabelValue(30, n), QStringLiteral("G 3 dB"));
    QCOMPARE(formatLabelValue(-25, n), QStringLiteral("G -2.5 dB"));
    n.offset = 6;
    QCOMPARE(formatLabelValue(30, n), QStringLiteral("G -3 dB"));
    n.offMode = 1;
    n.offLow = 0;
    QCOMPARE(formatLabelValue(0, n), QStringLiteral("G OFF"));
    n.offMode = 2;
    n.offHigh = 300;
    QCOMPARE(formatLabelValue(300, n), QStringLiteral("G OFF"));
    QCOMPARE(formatLabelValue(0, n), QStringLiteral("G -6 dB"));

    SkinLabel l;
    l.setText(QStringLiteral("CH 1"));
    QCOMPARE(l.toolTip(), QStringLiteral("CH 1"));
    l.setNumber(LabelNumber{});
    l.setTextMode(false);
    l.setValue(12.5);
    QCOMPARE(l.text(), QStringLiteral("12.5"));
    QCOMPARE(l.toolTip(), QStringLiteral("12.5"));
    l.setText(QString(2000, QLatin1Char('x')));
    QCOMPARE(l.text().size(), 512);
    l.setImage(180);
    QCOMPARE(l.size(), QSize(182, 82));
}

void TestControls::responseViewHandles() {
    QWidget host;
    auto* v = new ResponseView(1011, &host);
    v->resize(600, 300);
    v->setLevelRange(-15, 15);
    std::vector<curves::EqBand> bands(4);
    bands[1].frequency = 500;
    bands[1].gain = 3;
    bands[2].frequency = 4000;
    v->setBands(bands);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));

    QSignalSpy moved(v, &ResponseView::handleMoved);
    const QPointF h = v->handlePoint(1);
    QCOMPARE(v->handleAt(h + QPointF(3, 3)), 1);
    sendMouse(v, QEvent::MouseButtonPress, h + QPointF(3, 3));
    QCOMPARE(v->draggedHandle(), 1);
    QCOMPARE(v->selectedHandle(), 1);
    const curves::PlotRect r = v->plot();
    sendMouse(v, QEvent::MouseMove,
              QPointF(curves::frequencyToX(2000, 20, 20000, r) + 3, curves::levelToY(-6, -15, 15, r) + 3));
    QCOMPARE(moved.count(), 1);
    QCOMPARE(moved.last().at(0).toInt(), 1);
    QVERIFY(qAbs(moved.last().at(1).toDouble() - 2000) < 15);
    QVERIFY(qAbs(moved.last().at(2).toDouble() + 6) < 0.2);
    QVERIFY(!moved.last().at(3).toBool());
    // The page hands back older values mid-drag: the pointer keeps the handle.
    v->setBands(bands);
    QVERIFY(qAbs(v->bands()[1].frequency - 2000) < 15);
    // Dragged far off the plot the handle stays on its edges.
    sendMouse(v, QEvent::MouseMove, QPointF(-500, -500));
    QCOMPARE(v->bands()[1].frequency, 20.0);
    QCOMPARE(v->bands()[1].gain, 15.0);
    QVERIFY(v->total()[0] > 14);
    sendMouse(v, QEvent::MouseButtonRelease, QPointF(-500, -500));
    QVERIFY(moved.last().at(3).toBool());
    QVERIFY(!v->isDragging());

    QSignalSpy reset(v, &ResponseView::handleReset);
    doubleClick(v, v->handlePoint(2));
    QCOMPARE(reset.count(), 1);
    QCOMPARE(reset.first().at(0).toInt(), 2);

    // A press on empty plot draws a selection rectangle and moves nothing.
    sendMouse(v, QEvent::MouseButtonPress, {300, 60});
    sendMouse(v, QEvent::MouseMove, {340, 90});
    QCOMPARE(v->selectionRect(), QRect(QPoint(300, 60), QPoint(340, 90)).normalized());
    sendMouse(v, QEvent::MouseButtonRelease, {340, 90});
    QVERIFY(v->selectionRect().isNull());

    // A switched-off filter has no handle; the preview without axes has none at all.
    bands.push_back({curves::BandKind::HighPass, curves::BandShape::Peaking, 100, 0, 2, false});
    v->setBands(bands);
    QVERIFY(v->handlePoint(4).isNull());
    ResponseView preview(1011);
    preview.resize(100, 60);
    preview.setAxesShown(false);
    QVERIFY(preview.handlePoint(0).isNull());
    QSignalSpy click(&preview, &ResponseView::clicked);
    QTest::mouseClick(&preview, Qt::LeftButton, Qt::NoModifier, QPoint(50, 30));
    QCOMPARE(click.count(), 1);
}

void TestControls::transferCaptionsStayInView() {
    // The "OUTPUT" caption sits above the plot; a dynamics page's small view has no margin for
    // it there, and it was cut off at the top edge.
    auto brightRows = [](const QImage& img, int x0, int x1, int y0, int y1) {
        int rows = 0;
        for (int y = y0; y < y1; ++y) {
            bool bright = false;
            for (int x = x0; x < x1 && !bright; ++x)
                bright = img.pixelColor(x, y).lightness() > 200;
            rows += bright;
        }
        return rows;
    };
    for (QSize size : {QSize(240, 220), QSize(600, 400)}) {
        QWidget host;
        host.setAutoFillBackground(true);
        QPalette pal = host.palette();
        pal.setColor(QPalette::Window, Qt::black);
        host.setPalette(pal);
        auto* v = new ResponseView(1007, &host);
        v->resize(size);
        v->setMode(ResponseView::Compressor);
        v->setTransferAxes({-60, 0, -60, 0});
        host.resize(size);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        const QImage img = host.grab().toImage();
        const curves::PlotRect r = v->plot();
        const int x0 = r.left + 3, x1 = r.left + 50;
        QCOMPARE(brightRows(img, x0, x1, 0, 1), 0); // nothing cut at the edge
        QVERIFY2(brightRows(img, x0, x1, 1, r.top + 20) >= 6, qPrintable(QString::number(size.width())));
    }
}

void TestControls::graphicEqualiserPointsAndSweep() {
    QWidget host;
    auto* v = new ResponseView(1008, &host);
    v->resize(800, 300);
    v->setMode(ResponseView::Graphic);
    v->setLevelRange(-15, 15);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    const curves::PlotRect r = v->plot();
    QSignalSpy moved(v, &ResponseView::handleMoved);
    QSignalSpy drawn(v, &ResponseView::freehandDrawn);
    QSignalSpy reset(v, &ResponseView::handleReset);

    // Point mode: band 1 dragged to the top stores +15 dB, and only that band moves.
    const QPointF p0 = v->handlePoint(0);
    sendMouse(v, QEvent::MouseButtonPress, p0);
    sendMouse(v, QEvent::MouseMove, p0 - QPointF(0, 1000));
    sendMouse(v, QEvent::MouseButtonRelease, p0 - QPointF(0, 1000));
    QCOMPARE(v->graphicGains()[0], 15.0);
    QCOMPARE(v->graphicGains()[1], 0.0);
    QCOMPARE(moved.count(), 2);
    QCOMPARE(moved.last().at(0).toInt(), 0);
    QCOMPARE(moved.last().at(1).toDouble(), 20.0);
    QVERIFY(moved.last().at(3).toBool());
    doubleClick(v, v->handlePoint(0));
    QCOMPARE(reset.count(), 1);

    // Draw mode: a fast sweep sets every band it crossed along a straight line.
    moved.clear();
    v->setDrawMode(true);
    const double yTop = curves::levelToY(12, -15, 15, r);
    const double yLow = curves::levelToY(-12, -15, 15, r);
    sendMouse(v, QEvent::MouseButtonPress, {curves::geqBandX(5, r), yTop});
    sendMouse(v, QEvent::MouseMove, {curves::geqBandX(15, r), yLow});
    QVERIFY(qAbs(v->graphicGains()[5] - 12) < 0.2);
    QVERIFY(qAbs(v->graphicGains()[10]) < 0.2);
    QVERIFY(qAbs(v->graphicGains()[15] + 12) < 0.2);
    QCOMPARE(v->graphicGains()[16], 0.0);
    QCOMPARE(drawn.count(), 0);
    sendMouse(v, QEvent::MouseButtonRelease, {curves::geqBandX(15, r), yLow});
    QCOMPARE(drawn.count(), 1);
    QCOMPARE(moved.count(), 0);

    // The path buffer is bounded however long the sweep lasts.
    sendMouse(v, QEvent::MouseButtonPress, {100, 100});
    for (int i = 0; i < 3000; ++i)
        sendMouse(v, QEvent::MouseMove, {100.0 + i % 500, 100});
    QCOMPARE(v->sweepPointCount(), ResponseView::kMaxSweepPoints);
    sendMouse(v, QEvent::MouseButtonRelease, {100, 100});
    v->grab();
}

void TestControls::skinStoreCachesPerSizeAndRatio() {
    SkinStore& store = SkinStore::instance();
    store.clear();
    const QPixmap a = SkinStore::pixmap(165, {80, 24}, 1.0);
    QVERIFY(!a.isNull());
    QCOMPARE(a.size(), QSize(80, 24));
    QCOMPARE(store.renderCount(), 1);
    SkinStore::pixmap(165, {80, 24}, 1.0);
    QCOMPARE(store.renderCount(), 1);
    const QPixmap hi = SkinStore::pixmap(165, {80, 24}, 2.0);
    QCOMPARE(store.renderCount(), 2);
    QCOMPARE(hi.size(), QSize(160, 48));
    QCOMPARE(hi.devicePixelRatio(), 2.0);
    SkinStore::pixmap(165, {100, 24}, 1.0);
    QCOMPARE(store.renderCount(), 3);

    QVERIFY(SkinStore::pixmap(4242, {10, 10}, 1.0).isNull());
    QVERIFY(SkinStore::pixmap(165, {0, 10}, 1.0).isNull());
    // Every image the pages name has art, at the size the pages expect.
    const std::pair<int, QSize> art[] = {
        {161, {100, 15}},  {162, {100, 15}},  {164, {18, 13}},  {165, {145, 45}}, {166, {145, 45}},
        {176, {100, 24}},  {177, {100, 24}},  {180, {182, 82}}, {181, {94, 79}},  {182, {94, 79}},
        {183, {73, 79}},   {184, {73, 79}},   {185, {122, 25}}, {186, {122, 25}}, {187, {20, 20}},
        {188, {128, 128}}, {189, {104, 660}}, {191, {60, 200}}, {192, {26, 53}},  {193, {100, 60}},
        {194, {100, 60}},  {207, {26, 53}},   {208, {54, 45}},  {209, {26, 53}},  {219, {38, 28}},
        {220, {38, 28}},   {223, {100, 24}},  {224, {100, 24}}, {225, {158, 46}}, {226, {158, 46}},
        {229, {20, 20}},   {230, {20, 20}},   {231, {100, 24}}, {232, {100, 24}}, {240, {60, 200}},
    };
    for (const auto& [id, size] : art)
        QCOMPARE(SkinStore::naturalSize(id), size);
    QCOMPARE(SkinStore::font().family(), QStringLiteral("WenQuanYi Micro Hei"));
}

void TestControls::everyControlPaints() {
    QWidget host;
    host.resize(800, 700);
    FaderCtrl* f = channelFader(&host);
    f->setThumbNumber(3);
    f->setThumbMode(2, 0);
    FaderCtrl* s = pageSlider(&host);
    s->move(100, 0);
    auto* b = new ImageButton(1, &host);
    b->setImages(165, 166);
    b->setText(QStringLiteral("静音"));
    b->setIndicators(true, 8, 70);
    b->setGeometry(100, 40, 80, 24);
    auto* m = new LevelMeter(2, &host);
    m->setGeometry(200, 0, 200, 300);
    m->setColumnCount(8);
    for (int i = 0; i < 8; ++i) {
        m->setColumnMode(i, i % 3);
        m->setColumnName(i, QStringLiteral("C%1").arg(i));
        m->setLevel(i * 7, i);
    }
    auto* r = new ResponseView(3, &host);
    r->setGeometry(0, 320, 500, 250);
    r->setLevelRange(-15, 15);
    auto* d = new DropList(5, &host);
    d->setGeometry(420, 40, 100, 24);
    auto* l = new SkinLabel(6, &host);
    l->setGeometry(420, 80, 100, 20);
    l->setText(QStringLiteral("A label far longer than its own rectangle"));
    // Degenerate sizes must not trip the painters either.
    auto* tiny = new LevelMeter(7, &host);
    tiny->setGeometry(600, 0, 4, 4);
    auto* flat = new ResponseView(8, &host);
    flat->setGeometry(600, 10, 1, 1);
    for (qreal dpr : {1.0, 2.0}) {
        QImage img(host.size() * dpr, QImage::Format_ARGB32_Premultiplied);
        img.setDevicePixelRatio(dpr);
        img.fill(Qt::black);
        host.render(&img);
        QVERIFY(!img.isNull());
    }
    f->setEnabled(false);
    QVERIFY(!f->grab().isNull());
    for (int mode : {ResponseView::Compressor, ResponseView::Gate}) {
        r->setMode(mode);
        r->setKnees(-40, -20);
        r->setSlopes(3, 1, 0.25);
        r->setGateRange(200);
        r->setTransferPoints({{-60, -60}, {0, 0}, {1e9, -1e9}});
        QVERIFY(!r->grab().isNull());
        QVERIFY(r->handlePoint(0).isNull()); // no equaliser handles on a transfer plot
    }
}

QTEST_MAIN(TestControls)
#include "test_controls.moc"
