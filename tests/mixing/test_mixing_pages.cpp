// The EFFECT and AUX pages as widgets, offscreen: a drag sends one group on release, RESET and a
// recall send the group, MUTE and the AUX mute memory, and the strips' ways to both pages.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QtTest>

#include "../binding/page_rig.h"
#include "../presets/temp_dir.h"
#include "binding/field_ids.h"
#include "controls/fader_ctrl.h"
#include "controls/image_button.h"
#include "controls/level_meter.h"
#include "controls/skin_label.h"
#include "link/commands.h"
#include "pages/mixing/aux_page.h"
#include "pages/mixing/effect_page.h"
#include "pages/processing/input_strip.h"
#include "presets/preset_store.h"
#include "widgets/preset_list.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

using test::click;
using test::sendMouse;

QStringList letters(const RecordingSink& sink) {
    QStringList out;
    for (const OutgoingFrame& f : sink.frames)
        out << QString::fromStdString(f.text.substr(0, 2));
    return out;
}

// Drags a horizontal fader's thumb by dx pixels and lets go.
void drag(FaderCtrl* f, int dx, bool release = true) {
    const QPointF grip(f->thumbCentre(), f->height() / 2.0);
    sendMouse(f, QEvent::MouseButtonPress, grip);
    sendMouse(f, QEvent::MouseMove, grip + QPointF(dx / 2.0, 0));
    sendMouse(f, QEvent::MouseMove, grip + QPointF(dx, 0));
    if (release) sendMouse(f, QEvent::MouseButtonRelease, grip + QPointF(dx, 0));
}

} // namespace

class TestMixingPages : public QObject {
    Q_OBJECT
private slots:
    void init() {
        rig = std::make_unique<test::PageRig>();
        dir = std::make_unique<quorvel::testing::TempDir>();
        store = std::make_unique<PresetStore>(PresetStore::pathIn(dir->path()));
        ctx = std::make_unique<PageContext>(
            PageContext{rig->state, rig->sink, rig->edits, *rig->link, rig->profile, rig->nav, store.get()});
    }
    void cleanup() {
        ctx.reset();
        store.reset();
        dir.reset();
        rig.reset();
    }
    void effectDragSendsOneGroupOnRelease();
    void muteAndResetSendTheGroup();
    void presetSaveAndRecall();
    void auxMuteSurvivesASourceChange();
    void stripsReachBothPages();

private:
    std::unique_ptr<test::PageRig> rig;
    std::unique_ptr<quorvel::testing::TempDir> dir;
    std::unique_ptr<PresetStore> store;
    std::unique_ptr<PageContext> ctx;
};

void TestMixingPages::effectDragSendsOneGroupOnRelease() {
    QWidget host;
    auto* page = new EffectPage(*ctx, &host);
    page->setGeometry(0, 0, 1200, 700);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QSignalSpy edited(&rig->edits, &EditController::edited);

    FaderCtrl* preDelay = page->fader(6); // 1115, the delay's first
    QCOMPARE(preDelay->id(), 1115);
    const int before = rig->state.in(17).effectParams[0];
    drag(preDelay, 60, false);
    const int moved = rig->state.in(17).effectParams[0];
    QVERIFY(moved > before);
    QVERIFY2(rig->sink.frames.empty(), "nothing goes out while the hand is on the fader");
    const QPointF end(preDelay->thumbCentre(), preDelay->height() / 2.0);
    sendMouse(preDelay, QEvent::MouseButtonRelease, end);
    QCOMPARE(letters(rig->sink), QStringList({"%N", "%y"}));
    QCOMPARE(rig->sink.frames[1].text, buildDelay(rig->state));
    QVERIFY(moved >= 10 && moved <= 1000);
    QCOMPARE(edited.last().at(0).value<FieldId>(), fieldId("input[17].effectParams[1]"));

    // Reverberation faders go with M and v; the far end stays in range.
    rig->sink.frames.clear();
    drag(page->fader(5), 5000); // LPF
    QCOMPARE(rig->state.in(18).effectParams[10], 20000);
    QCOMPARE(letters(rig->sink), QStringList({"%M", "%v"}));

    // Offline the drag only changes the model.
    rig->sink.frames.clear();
    rig->state.link.linkOnline = false;
    drag(page->fader(0), -400);
    QCOMPARE(rig->state.in(18).effectParams[5], 30);
    QVERIFY(rig->sink.frames.empty());
}

void TestMixingPages::muteAndResetSendTheGroup() {
    QWidget host;
    auto* page = new EffectPage(*ctx, &host);
    page->setGeometry(0, 0, 1200, 700);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));

    click(page->muteButton(1031));
    QVERIFY(page->muteButton(1031)->isOn());
    QCOMPARE(rig->state.in(17).mute, 1);
    QCOMPARE(letters(rig->sink), QStringList({"%A", "%y"}));
    QCOMPARE(QString::fromStdString(rig->sink.frames[0].text.substr(0, 9)), QStringLiteral("%A,01,1B,"));
    rig->sink.frames.clear();
    click(page->muteButton(1028));
    QCOMPARE(rig->state.in(18).unused, 1);
    QCOMPARE(QString::fromStdString(rig->sink.frames[0].text.substr(0, 9)), QStringLiteral("%A,01,1E,"));

    rig->sink.frames.clear();
    rig->state.in(18).effectParams[9] = 77;
    rig->edits.announce(ChangeSet::everything());
    click(page->resetButton(Effect::Reverb));
    QCOMPARE(rig->state.in(18).effectParams[9], 3);
    QCOMPARE(page->fader(4)->position(), 3);
    QCOMPARE(letters(rig->sink), QStringList({"%M", "%v"}));
    QVERIFY(page->muteButton(1028)->isOn()); // RESET leaves the mutes
}

void TestMixingPages::presetSaveAndRecall() {
    QWidget host;
    auto* page = new EffectPage(*ctx, &host);
    page->setGeometry(0, 0, 1200, 700);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));

    PresetList* list = page->presetList(Effect::Reverb);
    QCOMPARE(list->id(), 1009);
    rig->state.in(18).effectParams[5] = 90;
    emit list->itemChosen(1009, 0); // SAVE PRESET
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->itemText(1), QStringLiteral("1:SAVE1"));
    QVERIFY(rig->sink.frames.empty());

    click(page->resetButton(Effect::Reverb));
    QCOMPARE(rig->state.in(18).effectParams[5], 61);
    rig->sink.frames.clear();

    // The reverberation's list has menu 216; RECALL is 32776.
    list->setSelection(1);
    emit list->itemChosen(1009, 1);
    QCOMPARE(list->itemMenu()->objectName(), QStringLiteral("presetMenu216"));
    list->itemMenu()->hide();
    list->runMenuCommand(32776);
    QCOMPARE(rig->state.in(18).effectParams[5], 90);
    QCOMPARE(page->fader(0)->position(), 90 > 100 ? 100 : 90);
    QCOMPARE(letters(rig->sink), QStringList({"%M", "%v"}));

    // The delay's list has menu 215.
    PresetList* delay = page->presetList(Effect::Delay);
    emit delay->itemChosen(1011, 0);
    delay->setSelection(1);
    emit delay->itemChosen(1011, 1);
    QCOMPARE(delay->itemMenu()->objectName(), QStringLiteral("presetMenu215"));
    delay->itemMenu()->hide();

    // A row written by another program may hold anything its digits can: the recall stores and
    // sends each value inside its range (pre delay 1 FFFF, feedback FF, LPF 0000).
    QVERIFY(store->RunStatement("insert into DELAY values(9,'Wide','FFFF0000FF0000')"));
    delay->fill();
    const int wide = delay->count() - 1;
    QCOMPARE(delay->itemText(wide), QStringLiteral("9:Wide"));
    rig->sink.frames.clear();
    delay->setSelection(wide);
    delay->runMenuCommand(32773); // RECALL of menu 215
    const auto& p = rig->state.in(17).effectParams;
    QCOMPARE(p[0], 1000);
    QCOMPARE(p[1], 10);
    QCOMPARE(p[2], 100);
    QCOMPARE(p[3], 20);
    QCOMPARE(letters(rig->sink), QStringList({"%N", "%y"}));
    QVERIFY(rig->sink.frames[1].text.rfind("%y,01,03E8,000A,64,0014,", 0) == 0);
    QCOMPARE(page->fader(6)->position(), 1000);
}

void TestMixingPages::auxMuteSurvivesASourceChange() {
    QWidget host;
    auto* page = new AuxPage(*ctx, &host);
    page->setGeometry(0, 0, 1200, 700);
    page->bindTo(2);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    applyEdit(rig->state, rig->sink, "input[2].sendLevel[4]", 50);
    rig->edits.announce(ChangeSet::everything());
    QCOMPARE(page->fader(3)->position(), 20); // level 50 shown as 70 - 50
    rig->sink.frames.clear();

    click(page->muteButton(3));
    QVERIFY(page->muteButton(3)->isOn());
    QCOMPARE(rig->state.in(2).sendLevel[3], 0);
    QCOMPARE(letters(rig->sink), QStringList({"%I", "%a"}));
    QCOMPARE(page->fader(3)->position(), 20); // the fader keeps the level MUTE closed

    // A fader moved on the muted strip changes only what MUTE will restore.
    rig->sink.frames.clear();
    FaderCtrl* f = page->fader(3);
    const QPointF grip(45, f->thumbCentre());
    sendMouse(f, QEvent::MouseButtonPress, grip);
    sendMouse(f, QEvent::MouseMove, grip - QPointF(0, 30));
    sendMouse(f, QEvent::MouseButtonRelease, grip - QPointF(0, 30));
    QCOMPARE(rig->state.in(2).sendLevel[3], 0);
    const int kept = page->mutes().shownLevel(rig->state, 2, 3);
    QVERIFY(kept > 50);
    QCOMPARE(rig->sink.frames.back().text, buildSends(rig->state, 2)); // carries the closed send

    // Another source, and back: MUTE is still lit and un-muting restores the moved level.
    page->bindTo(5);
    QVERIFY(!page->muteButton(3)->isOn());
    page->bindTo(2);
    QVERIFY(page->muteButton(3)->isOn());
    click(page->muteButton(3));
    QCOMPARE(rig->state.in(2).sendLevel[3], kept);
    QVERIFY(!page->muteButton(3)->isOn());

    // Labels in both languages.
    QCOMPARE(page->findChild<SkinLabel*>("auxLabel3")->text(), QStringLiteral("AUX 3"));
    page->setLanguage(2);
    QCOMPARE(page->findChild<SkinLabel*>("auxLabel3")->text(), QStringLiteral("辅助 3"));
    QCOMPARE(page->findChild<SkinLabel*>("auxLabel0")->text(), QStringLiteral("主音量"));
}

void TestMixingPages::stripsReachBothPages() {
    QWidget host;
    auto* strip = new InputStrip(*ctx, 16, &host); // the DELAY return
    strip->setGeometry(0, 0, 150, 700);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QSignalSpy detail(strip, &InputStrip::detailRequested);

    auto* view = strip->findChild<ImageButton*>("priorityButton");
    QVERIFY(view->isVisible());
    QCOMPARE(view->text(), QStringLiteral("EFFECT"));
    click(view);
    QCOMPARE(detail.count(), 1);
    QCOMPARE(detail.last().at(0).toInt(), 16);
    QCOMPARE(detail.last().at(1).toInt(), InputStrip::kDetailEffect);
    QCOMPARE(rig->state.in(17).priority, 0);
    QVERIFY(rig->sink.frames.empty());
    // The return's meter shows its effect's output from the status report.
    rig->state.effectMeters = {60, 50, 40, 30};
    strip->refreshMeters();
    QCOMPARE(strip->meter()->level(0), 50.0);

    // Any strip's name menu leads to AUX and EFFECT.
    strip->bindTo(2);
    QCOMPARE(view->text(), QStringLiteral("PRIORITY"));
    click(strip->findChild<ImageButton*>("nameButton"));
    QMenu* menu = strip->findChild<QMenu*>("stripMenu");
    QVERIFY(menu);
    auto* aux = menu->findChild<QAction*>("actionAux");
    QVERIFY(aux && menu->findChild<QAction*>("actionEffect"));
    QCOMPARE(aux->text(), QStringLiteral("AUX"));
    aux->trigger();
    QCOMPARE(detail.last().at(0).toInt(), 2);
    QCOMPARE(detail.last().at(1).toInt(), InputStrip::kDetailAux);
    menu->close();
}

QTEST_MAIN(TestMixingPages)
#include "test_mixing_pages.moc"
