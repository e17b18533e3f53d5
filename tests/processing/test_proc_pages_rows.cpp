// The processing pages control by control: ids, ranges and captions in both languages, and what a
// double-click on the curves sends.
#include <QtTest>

#include "../binding/page_rig.h"
#include "binding/field_ids.h"
#include "controls/drop_list.h"
#include "controls/fader_ctrl.h"
#include "controls/image_button.h"
#include "controls/level_meter.h"
#include "controls/response_view.h"
#include "controls/skin_label.h"
#include "controls/skin_store.h"
#include "curves/plot_mapping.h"
#include "link/clock.h"
#include "pages/processing/dynamics_controls.h"
#include "pages/processing/dynamics_page.h"
#include "pages/processing/geq_page.h"
#include "pages/processing/limiter_page.h"
#include "pages/processing/peq_page.h"
#include "presets/preset_store.h"
#include "widgets/preset_list.h"
#include "widgets/ui_text.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

template <typename T> T* byId(QWidget* page, int id) {
    for (T* w : page->findChildren<T*>())
        if (w->id() == id) return w;
    return nullptr;
}

QString labelText(QWidget* page, int id) {
    SkinLabel* l = byId<SkinLabel>(page, id);
    return l ? l->text() : QStringLiteral("<none>");
}

QString buttonText(QWidget* page, int id) {
    ImageButton* b = byId<ImageButton>(page, id);
    return b ? b->text() : QStringLiteral("<none>");
}

QStringList letters(const RecordingSink& sink) {
    QStringList out;
    for (const OutgoingFrame& f : sink.frames)
        out << QString::fromStdString(f.text.substr(1, 1) + f.text.substr(6, 2));
    return out;
}

struct Knob {
    int id, label, min, max;
    const char* en;
    const char* zh;
};

void checkKnobs(QWidget* page, const std::vector<Knob>& knobs, int lang) {
    for (const Knob& k : knobs) {
        FaderCtrl* f = byId<FaderCtrl>(page, k.id);
        QVERIFY2(f, qPrintable(QString::number(k.id)));
        QCOMPARE(f->minimum(), k.min);
        QCOMPARE(f->maximum(), k.max);
        QCOMPARE(labelText(page, k.label), QString::fromUtf8(lang == kChinese ? k.zh : k.en));
    }
}

} // namespace

class TestProcPagesRows : public QObject {
    Q_OBJECT
private slots:
    void init() { rig = std::make_unique<test::PageRig>(); }
    void cleanup() { rig.reset(); }

    void dynamicsAndLimiterControlsInBothLanguages();
    void equaliserCaptionsInBothLanguages();
    void doubleClicksResetAndSendAtOnce();
    void equaliserPresetsSaveAndRecallThroughTheStore();
    void knobReleaseSendsToLinkedMembersToo();

private:
    std::unique_ptr<test::PageRig> rig;
};

void TestProcPagesRows::dynamicsAndLimiterControlsInBothLanguages() {
    const std::vector<Knob> comp = {{1113, 1112, 0, 60, "Threshold", "阀值"},
                                    {1115, 1114, 10, 100, "Ratio", "比例"},
                                    {1117, 1116, 0, 200, "Gain", "增益"},
                                    {1119, 1118, 1, 250, "Attack", "启动时间"},
                                    {1121, 1120, 20, 250, "Release", "释放时间"}};
    const std::vector<Knob> gate = {{1103, 1102, 0, 60, "Threshold", "阀值"},
                                    {1105, 1104, 0, 60, "范围", "范围"},
                                    {1107, 1106, 1, 250, "Attack", "启动时间"},
                                    {1109, 1108, 20, 250, "Release", "释放时间"},
                                    {1111, 1110, 0, 100, "备用", "备用"}};
    const std::vector<Knob> limiter = {{1103, 1102, 0, 60, "Threshold", "阀值"},
                                       {1105, 1104, 10, 100, "Ratio", "比例"},
                                       {1107, 1106, 0, 200, "Gain", "增益"},
                                       {1109, 1108, 1, 250, "Attack", "启动时间"},
                                       {1111, 1110, 1, 250, "Release", "释放时间"}};
    DynamicsPage dyn(rig->context(), nullptr);
    LimiterPage lim(rig->context(), nullptr);
    dyn.bindTo(0);
    lim.bindTo(7);
    for (int lang : {kEnglish, kChinese}) {
        dyn.setLanguage(lang);
        lim.setLanguage(lang);
        checkKnobs(&dyn, comp, lang);
        checkKnobs(&dyn, gate, lang);
        checkKnobs(&lim, limiter, lang);
        const bool zh = lang == kChinese;
        QCOMPARE(buttonText(&dyn, 1138), zh ? QStringLiteral("压缩器") : QStringLiteral("COMP"));
        QCOMPARE(buttonText(&dyn, 1137), zh ? QStringLiteral("噪声门") : QStringLiteral("NOISE GATE"));
        QCOMPARE(buttonText(&dyn, 1129), zh ? QStringLiteral("复位") : QStringLiteral("RESET"));
        QCOMPARE(buttonText(&lim, 1138), zh ? QStringLiteral("压缩器") : QStringLiteral("COMP"));
        QCOMPARE(buttonText(&lim, 1128), zh ? QStringLiteral("复位") : QStringLiteral("RESET"));
        for (QWidget* page : {static_cast<QWidget*>(&dyn), static_cast<QWidget*>(&lim)}) {
            LevelMeter* m = byId<LevelMeter>(page, 1055);
            QVERIFY(m);
            QCOMPARE(m->columnName(1), zh ? QStringLiteral("输入") : QStringLiteral("IN"));
            QCOMPARE(m->columnName(2), zh ? QStringLiteral("输出") : QStringLiteral("OUT"));
            QCOMPARE(m->columnName(4), zh ? QStringLiteral("衰减") : QStringLiteral("GR"));
        }
        // IN and OUT stand side by side: their captions must not meet, or they read as one word.
        for (QWidget* page : {static_cast<QWidget*>(&dyn), static_cast<QWidget*>(&lim)}) {
            page->resize(1200, 640);
            page->show();
            QVERIFY(QTest::qWaitForWindowExposed(page));
            LevelMeter* m = byId<LevelMeter>(page, 1055);
            const QFontMetrics fm(SkinStore::pixelFont(16));
            const int room = m->barRect(2).center().x() - m->barRect(1).center().x();
            const int half =
                (fm.horizontalAdvance(m->columnName(1)) + fm.horizontalAdvance(m->columnName(2))) / 2;
            QVERIFY2(half + 4 <= room, qPrintable(QStringLiteral("%1 + 4 > %2").arg(half).arg(room)));
        }
    }
    // On a small screen's page the limiter's "(dB)" level labels still fit at the grid's size.
    lim.resize(1215, 600);
    lim.show();
    QVERIFY(QTest::qWaitForWindowExposed(&lim));
    ResponseView* curve = lim.findChild<ResponseView*>("limiterCurve");
    QVERIFY(QFontMetrics(SkinStore::pixelFont(12)).horizontalAdvance("-60 (dB)") + 3 <= curve->plot().left);
    // The limiter's release reaches 1 ms, and its ratio reads as the compressor's.
    emit byId<FaderCtrl>(&lim, 1111)->faderChanged(1111, 1);
    QCOMPARE(rig->state.out(8).limiter[3], 1);
    QCOMPARE(lim.findChild<SkinLabel*>("limiterReleaseKnobValue")->text(), QStringLiteral("1 ms"));
    emit byId<FaderCtrl>(&lim, 1105)->faderChanged(1105, 100);
    QCOMPARE(lim.findChild<SkinLabel*>("limiterRatioKnobValue")->text(), QStringLiteral("1:10.0 "));
    QCOMPARE(letters(rig->sink).last(), QStringLiteral("D08"));
}

void TestProcPagesRows::equaliserCaptionsInBothLanguages() {
    PeqPage peq(rig->context(), nullptr);
    GeqPage geq(rig->context(), nullptr);
    peq.bindTo(0);
    geq.bindTo(0);
    for (int lang : {kEnglish, kChinese}) {
        const bool zh = lang == kChinese;
        peq.setLanguage(lang);
        geq.setLanguage(lang);
        QCOMPARE(labelText(&peq, 1093), zh ? QStringLiteral("频段 1") : QStringLiteral("BAND 1"));
        QCOMPARE(labelText(&peq, 1107), zh ? QStringLiteral("频段 4") : QStringLiteral("BAND 4"));
        QCOMPARE(peq.findChild<SkinLabel*>("peqTitle")->text(), zh ? QStringLiteral("参量均衡") : "PEQ");
        QCOMPARE(peq.findChild<SkinLabel*>("peqGainLabel")->text(), zh ? QStringLiteral("增益") : "GAIN");
        QCOMPARE(peq.findChild<SkinLabel*>("peqFreqLabel")->text(),
                 zh ? QStringLiteral("频率") : "FREQUENCY");
        QCOMPARE(peq.findChild<SkinLabel*>("peqQLabel")->text(), zh ? QStringLiteral("Q值") : "Q");
        QCOMPARE(buttonText(&peq, 1115), zh ? QStringLiteral("直通") : QStringLiteral("BYPASS"));
        QCOMPARE(buttonText(&peq, 1116), zh ? QStringLiteral("复位") : QStringLiteral("RESET"));
        QCOMPARE(buttonText(&peq, 1117), zh ? QStringLiteral("极性") : QStringLiteral("POLAR"));
        QCOMPARE(buttonText(&peq, 1119), zh ? QStringLiteral("高通") : QStringLiteral("HPF"));
        QCOMPARE(buttonText(&peq, 1121), zh ? QStringLiteral("低通") : QStringLiteral("LPF"));
        QCOMPARE(buttonText(&geq, 1097), zh ? QStringLiteral("增益均衡") : QStringLiteral("GEQ"));
        QCOMPARE(buttonText(&geq, 1098), zh ? QStringLiteral("画") : QStringLiteral("DRAW"));
        QCOMPARE(buttonText(&geq, 1128), zh ? QStringLiteral("复位") : QStringLiteral("RESET"));
    }
    // Knob ranges and the slope list's items.
    for (int id : {1096, 1100, 1104, 1108})
        QCOMPARE(byId<FaderCtrl>(&peq, id)->maximum(), 300);
    for (int id : {1097, 1101, 1105, 1109, 1120, 1122}) {
        QCOMPARE(byId<FaderCtrl>(&peq, id)->minimum(), 30);
        QCOMPARE(byId<FaderCtrl>(&peq, id)->maximum(), 330);
    }
    for (int id : {1098, 1102, 1106, 1110}) {
        QCOMPARE(byId<FaderCtrl>(&peq, id)->minimum(), 0);
        QCOMPARE(byId<FaderCtrl>(&peq, id)->maximum(), 199);
    }
    DropList* slope = byId<DropList>(&peq, 1009);
    QVERIFY(slope);
    QStringList items;
    for (int i = 0; i < slope->count(); ++i)
        items << slope->itemText(i);
    QCOMPARE(items, (QStringList{"-12dB/Oct", "-18dB/Oct", "-24dB/Oct", "-30dB/Oct", "-36dB/Oct", "-42dB/Oct",
                                 "-48dB/Oct"}));
    QCOMPARE(byId<FaderCtrl>(&peq, 1120)->position(), 30);
    QCOMPARE(byId<FaderCtrl>(&peq, 1122)->position(), 330);
}

void TestProcPagesRows::doubleClicksResetAndSendAtOnce() {
    QWidget host;
    auto* peq = new PeqPage(rig->context(), &host);
    auto* geq = new GeqPage(rig->context(), &host);
    peq->setGeometry(0, 0, 1000, 700);
    geq->setGeometry(0, 0, 1000, 600);
    peq->bindTo(1);
    geq->bindTo(2);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    rig->state.in(2).peq[2].bandGain = 210;
    rig->state.out(3).geq[4].gain = 40;
    rig->edits.announce(ChangeSet::everything());

    QSignalSpy peqReadout(peq, &PeqPage::readoutRequested);
    ResponseView* pv = peq->findChild<ResponseView*>("peqView");
    QTest::mouseDClick(pv, Qt::LeftButton, Qt::NoModifier, pv->handlePoint(2).toPoint());
    QCOMPARE(rig->state.in(2).peq[2].bandGain, 150);
    QCOMPARE(letters(rig->sink).last(), QStringLiteral("G02"));
    QCOMPARE(rig->sink.frames.back().text.substr(0, 15), std::string("%G,01,02,01,03,"));
    QVERIFY(!peqReadout.isEmpty());
    QCOMPARE(peqReadout.last().at(1).toInt(), 24);

    rig->sink.frames.clear();
    QSignalSpy geqReadout(geq, &GeqPage::readoutRequested);
    geq->findChild<ImageButton*>("geqDraw")->setOn(false);
    ResponseView* gv = geq->findChild<ResponseView*>("geqView");
    gv->setDrawMode(false);
    QTest::mouseDClick(gv, Qt::LeftButton, Qt::NoModifier, gv->handlePoint(4).toPoint());
    QCOMPARE(rig->state.out(3).geq[4].gain, 150);
    QVERIFY(letters(rig->sink).contains("H03"));
    QCOMPARE(geqReadout.last().at(0).toInt(), kReadoutFirstOutput + 2);
    QCOMPARE(geqReadout.last().at(1).toInt(), 9);
}

void TestProcPagesRows::equaliserPresetsSaveAndRecallThroughTheStore() {
    PresetStore store(PresetStore::pathIn(rig->dir.path().toStdString()));
    std::vector<std::string> errors;
    store.setErrorSink([&](const std::string& m) { errors.push_back(m); });
    PeqPage peq(rig->context(), nullptr);
    GeqPage geq(rig->context(), nullptr);
    // As the application does once the store is open.
    for (QWidget* page : {static_cast<QWidget*>(&peq), static_cast<QWidget*>(&geq)})
        for (PresetList* list : page->findChildren<PresetList*>())
            list->bind(&store, &rig->state);
    peq.bindTo(2);
    geq.bindTo(5);

    PresetList* peqList = byId<PresetList>(&peq, 1011);
    QVERIFY(peqList);
    InputChannel& ch = rig->state.in(3);
    ch.peq[1].bandGain = 222;
    ch.peq[3].bandFreq = 7000;
    ch.hpfOn = 1;
    ch.hpfFreq = 120;
    ch.lpfSlope = 8;
    emit peqList->itemChosen(1011, 0);
    QCOMPARE(peqList->count(), 2);
    ch.peq[1].bandGain = 150;
    ch.peq[3].bandFreq = 5000;
    ch.hpfOn = 0;
    ch.lpfSlope = 2;
    rig->sink.frames.clear();
    peqList->setSelection(1);
    peqList->runMenuCommand(presetMenu(PresetBlock::Peq).recallCommand);
    QCOMPARE(ch.peq[1].bandGain, 222);
    QCOMPARE(ch.peq[3].bandFreq, 7000);
    QCOMPARE(ch.hpfOn, 1);
    QCOMPARE(ch.hpfFreq, 120);
    QCOMPARE(ch.lpfSlope, 8);
    QCOMPARE(byId<FaderCtrl>(&peq, 1100)->position(), 222);
    QCOMPARE(letters(rig->sink), (QStringList{"G03", "G03", "G03", "G03", "E03", "F03"}));

    PresetList* geqList = byId<PresetList>(&geq, 1009);
    QVERIFY(geqList);
    rig->state.out(6).geq[30].gain = 12;
    emit geqList->itemChosen(1009, 0);
    rig->state.out(6).geq[30].gain = 150;
    rig->sink.frames.clear();
    geqList->setSelection(1);
    geqList->runMenuCommand(presetMenu(PresetBlock::Geq).recallCommand);
    QCOMPARE(rig->state.out(6).geq[30].gain, 12);
    QCOMPARE(letters(rig->sink), (QStringList{"H06"}));
    QVERIFY(errors.empty());
}

void TestProcPagesRows::knobReleaseSendsToLinkedMembersToo() {
    // Channels 2 and 4 with the COMP switch; outputs 1 and 3 with LIMIT.
    rig->state.controlGroups[0][1] = 1;
    rig->state.controlGroups[0][3] = 1;
    rig->state.controlGroups[0][cg::kLinkComp] = 1;
    rig->state.controlGroups[0][cg::kFirstOutput + 0] = 1;
    rig->state.controlGroups[0][cg::kFirstOutput + 2] = 1;
    rig->state.controlGroups[0][cg::kLinkLimit] = 1;
    DynamicsPage dyn(rig->context(), nullptr);
    LimiterPage lim(rig->context(), nullptr);
    dyn.bindTo(1);
    lim.bindTo(0);
    // The moves store and send nothing; the release, at the last move's value, sends both.
    FaderCtrl* threshold = byId<FaderCtrl>(&dyn, 1113);
    emit threshold->faderChanging(1113, 25);
    emit threshold->faderChanging(1113, 20);
    QVERIFY(rig->sink.frames.empty());
    emit threshold->faderChanged(1113, 20);
    QCOMPARE(letters(rig->sink), (QStringList{"C02", "C04"}));
    QCOMPARE(rig->state.in(4).dynamics.compThreshold, 20);
    QCOMPARE(rig->sink.frames.back().pauseAfter, std::chrono::milliseconds(10));

    rig->sink.frames.clear();
    FaderCtrl* gain = byId<FaderCtrl>(&lim, 1107);
    emit gain->faderChanging(1107, 55);
    emit gain->faderChanged(1107, 55);
    QCOMPARE(letters(rig->sink), (QStringList{"D01", "D03"}));
    QCOMPARE(rig->state.out(3).limiter[4], 55);
}

QTEST_MAIN(TestProcPagesRows)
#include "test_proc_pages_rows.moc"
