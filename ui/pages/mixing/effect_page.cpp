#include "pages/mixing/effect_page.h"

#include <QPaintEvent>
#include <QPainter>
#include <QShowEvent>

#include <string>

#include "binding/control_bindings.h"
#include "binding/edit_controller.h"
#include "binding/field_ids.h"
#include "controls/drop_list.h"
#include "controls/fader_ctrl.h"
#include "controls/image_button.h"
#include "controls/level_meter.h"
#include "controls/skin_label.h"
#include "link/field_display.h"
#include "link/reports.h"
#include "pages/processing/strip_support.h"
#include "widgets/preset_list.h"
#include "widgets/skin_painter.h"
#include "widgets/skin_style.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {

// Undo sends the effect's settings as RESET and a recall do.
UserOperation effectBlock(Effect e) {
    return resendingWith([e](DeviceState& s, EditSink& sink) { storeRecalledEffect(s, sink, e); });
}

struct FaderRow {
    int id;
    int record;
    int word; // effectParams index as the paths count, 1-based
    const char* en;
    const char* zh;
};

constexpr std::array<FaderRow, EffectPage::kFaders> kRows = {{
    {1103, kReverbRecord, 6, "Delay1", "延时1"},
    {1105, kReverbRecord, 7, "Delay2", "延时2"},
    {1107, kReverbRecord, 8, "Delay3", "延时3"},
    {1109, kReverbRecord, 9, "Delay4", "延时4"},
    {1111, kReverbRecord, 10, "Rev time", "混响时间"},
    {1113, kReverbRecord, 11, "LPF", "LPF"},
    {1115, kDelayRecord, 1, "Pre delay1", "预延时1"},
    {1117, kDelayRecord, 2, "Pre delay2", "预延时2"},
    {1119, kDelayRecord, 3, "Feedback", "Feedback"},
    {1121, kDelayRecord, 4, "LPF", "LPF"},
}};

constexpr int kMuteFirst = 1028;
constexpr int kRowH = 34;
constexpr int kFaderH = 20;

FieldId rowField(const FaderRow& r) {
    return fieldId("input[" + std::to_string(r.record) + "].effectParams[" + std::to_string(r.word) + "]");
}

SkinLabel* caption(QWidget* parent, const QString& name, qreal size, int align) {
    auto* l = new SkinLabel(0, parent);
    l->setObjectName(name);
    l->setFontSize(size);
    l->setAlignment(align);
    return l;
}

// Meters of the delay's output are labelled as they always were.
constexpr std::array<const char*, 4> kMeterNames = {"INPUT", "OUTPUT", "INPUT", "OUPUT"};

} // namespace

EffectPage::EffectPage(const PageContext& ctx, QWidget* parent) : Page(ctx.state, parent), edits_(ctx.edits) {
    language_ = languageFlag();
    reverbTitle_ = caption(this, "reverbTitle", 13, 0);
    delayTitle_ = caption(this, "delayTitle", 13, 0);

    std::vector<FieldId> shown;
    for (int k = 0; k < kFaders; ++k) {
        const FaderRow& r = kRows[static_cast<std::size_t>(k)];
        const FieldId field = rowField(r);
        const FieldInfo& info = FieldRegistry::instance().field(field);
        auto* f = new FaderCtrl(r.id, this);
        f->setObjectName(QStringLiteral("effectFader%1").arg(r.id));
        f->setTrackBitmaps(185, 186, true);
        f->setThumbBitmaps(187);
        f->setRange(info.min, info.max);
        f->setShowText(false);
        // A step of one is too fine for the wide ranges when the wheel or keys move it.
        f->setPageStep(std::max(1, (info.max - info.min) / 50));
        f->setValueFormatter([field](int v) {
            return QString::fromStdString(
                formatDisplayValue(FieldRegistry::instance().field(field).format, v));
        });
        // The device gets the group once, when the hand lets go.
        new FaderBinding(f, edits_, field, ValueMap::identity(), FaderBinding::Send::OnRelease);
        faders_[static_cast<std::size_t>(k)] = f;
        labels_[static_cast<std::size_t>(k)] =
            caption(this, QStringLiteral("effectLabel%1").arg(r.id), 10, 2);
        auto* v = caption(this, QStringLiteral("effectValue%1").arg(r.id), 10, 0);
        values_[static_cast<std::size_t>(k)] = v;
        shown.push_back(field);
        // The value beside the fader follows the drag, not only the stored value.
        connect(f, &FaderCtrl::faderChanging, v, [v, field](int, int pos) {
            v->setText(QString::fromStdString(
                formatDisplayValue(FieldRegistry::instance().field(field).format, pos)));
        });
    }
    new WatchBinding(
        edits_, shown, [this] { refreshValues(); }, this);

    for (int i = 0; i < 4; ++i) {
        const int id = kMuteFirst + i;
        auto* b = makeSkinButton(this, id, "", 80, 24);
        b->setObjectName(QStringLiteral("effectMute%1").arg(id));
        new ToggleBinding(b, edits_, *effectMuteField(id));
        mutes_[static_cast<std::size_t>(i)] = b;
    }
    for (int m = 0; m < 4; ++m) {
        auto* meter = new LevelMeter(0, this);
        meter->setObjectName(QStringLiteral("effectMeter%1").arg(m + 1));
        meter->setColumnCount(1);
        meter->setRange(0, 70);
        meter->setThresholds(0.7, 0.9);
        meters_[static_cast<std::size_t>(m)] = meter;
        auto* name = caption(this, QStringLiteral("effectMeterName%1").arg(m + 1), 9, 1);
        name->setText(QString::fromLatin1(kMeterNames[static_cast<std::size_t>(m)]));
        meterNames_[static_cast<std::size_t>(m)] = name;
    }

    reverbReset_ = makeSkinButton(this, 1131, "reverbReset", 80, 24);
    delayReset_ = makeSkinButton(this, 1132, "delayReset", 80, 24);
    reverbReset_->setStyle(ImageButton::Push);
    delayReset_->setStyle(ImageButton::Push);
    connect(reverbReset_, &ImageButton::clicked, this, [this] { reset(Effect::Reverb); });
    connect(delayReset_, &ImageButton::clicked, this, [this] { reset(Effect::Delay); });

    reverbPresets_ = new PresetList(1009, PresetBlock::Reverb, this);
    delayPresets_ = new PresetList(1011, PresetBlock::Delay, this);
    reverbPresets_->setObjectName("reverbPresets");
    delayPresets_->setObjectName("delayPresets");
    for (PresetList* list : {reverbPresets_, delayPresets_}) {
        list->setBitmaps(176, 177);
        list->bind(ctx.presets, &ctx.state);
    }
    connect(reverbPresets_, &PresetList::recalled, this, [this] { recalled(Effect::Reverb); });
    connect(delayPresets_, &PresetList::recalled, this, [this] { recalled(Effect::Delay); });
    keepOn_ = new DropList(1010, this);
    keepOn_->setItems({QStringLiteral("keep on")});
    keepOn_->hide();
    span_ = new DropList(1012, this);
    span_->setItems({QStringLiteral("30s")});
    span_->hide();

    setLanguage(language_);
    refreshValues();
}

ImageButton* EffectPage::muteButton(int id) const {
    if (id < kMuteFirst || id > kMuteFirst + 3) return nullptr;
    return mutes_[static_cast<std::size_t>(id - kMuteFirst)];
}

void EffectPage::reset(Effect e) {
    edits_.announceUser(resetEffect(state_, edits_.sink(), e), effectBlock(e));
}

void EffectPage::recalled(Effect e) {
    // The list stored the preset's values as read; they reach the device clamped, as RESET sends them.
    edits_.announceUser(storeRecalledEffect(state_, edits_.sink(), e), effectBlock(e));
}

void EffectPage::refresh() {
    for (FaderCtrl* f : faders_)
        if (auto* b = f->findChild<FieldBinding*>()) b->sync();
    for (ImageButton* m : mutes_)
        if (auto* b = m->findChild<FieldBinding*>()) b->sync();
    refreshValues();
    shownMeters_.fill(-1);
    refreshMeters();
}

void EffectPage::refreshValues() {
    for (int k = 0; k < kFaders; ++k)
        values_[static_cast<std::size_t>(k)]->setText(
            QString::fromStdString(formatField(state_, rowField(kRows[static_cast<std::size_t>(k)]))));
}

void EffectPage::refreshMeters() {
    // The status report gives delay in, out, reverberation in, out; the page shows the
    // reverberation on the left.
    constexpr std::array<std::size_t, 4> kFrom = {2, 3, 0, 1};
    for (std::size_t m = 0; m < 4; ++m) {
        const int v = shownMeter(state_.effectMeters[kFrom[m]]);
        if (v == shownMeters_[m]) continue;
        shownMeters_[m] = v;
        meters_[m]->setLevel(v, 0);
    }
}

void EffectPage::setLanguage(int lang) {
    if (lang != kEnglish && lang != kChinese) return;
    language_ = lang;
    reverbTitle_->setText(pick(lang, "Reverberation", "混响"));
    delayTitle_->setText(pick(lang, "Delay", "延时"));
    for (int k = 0; k < kFaders; ++k) {
        const FaderRow& r = kRows[static_cast<std::size_t>(k)];
        labels_[static_cast<std::size_t>(k)]->setText(pick(lang, r.en, r.zh));
    }
    for (ImageButton* m : mutes_)
        m->setText(pick(lang, "MUTE", "静音"));
    reverbReset_->setText(pick(lang, "RESET", "复位"));
    delayReset_->setText(pick(lang, "RESET", "复位"));
}

void EffectPage::layoutControls() {
    const int w = width(), h = height();
    const int half = w / 2;
    const int labelW = std::clamp(half / 5, 70, 110);
    const int valueW = 80;
    const int meterW = 30, meterH = std::clamp(h - 260, 120, 260);
    // Each half: title and presets on top, the fader rows, then meters with their MUTE below.
    auto side = [&](int x0, int first, int count, SkinLabel* title, PresetList* list, ImageButton* resetB,
                    int meterBase, ImageButton* inMute, ImageButton* outMute) {
        const int inner = half - 40;
        title->setGeometry(x0 + 20, 16, 200, 28);
        list->setGeometry(x0 + inner - 180, 16, 180, 24);
        const int meterX = x0 + inner - 2 * (meterW + 60) + 40;
        const int faderW = std::max(120, meterX - (x0 + 20 + labelW + 8) - valueW - 16);
        int y = 64;
        for (int k = first; k < first + count; ++k, y += kRowH) {
            labels_[static_cast<std::size_t>(k)]->setGeometry(x0 + 20, y, labelW, kFaderH);
            faders_[static_cast<std::size_t>(k)]->setGeometry(x0 + 28 + labelW, y, faderW, kFaderH);
            values_[static_cast<std::size_t>(k)]->setGeometry(x0 + 36 + labelW + faderW, y, valueW, kFaderH);
        }
        resetB->setGeometry(x0 + 28 + labelW, y + 8, 80, 24);
        for (int m = 0; m < 2; ++m) {
            const int mx = meterX + m * (meterW + 60);
            meterNames_[static_cast<std::size_t>(meterBase + m)]->setGeometry(mx - 25, 64, meterW + 50, 18);
            meters_[static_cast<std::size_t>(meterBase + m)]->setGeometry(mx, 86, meterW, meterH);
            (m == 0 ? inMute : outMute)->setGeometry(mx - 25, 96 + meterH, 80, 24);
        }
    };
    // Reverberation: input MUTE 1028 (A 30), return MUTE 1030 (A 29); delay: 1029 (A 28), 1031 (A 27).
    side(0, 0, kReverbFaders, reverbTitle_, reverbPresets_, reverbReset_, 0, mutes_[0], mutes_[2]);
    side(half, kReverbFaders, kDelayFaders, delayTitle_, delayPresets_, delayReset_, 2, mutes_[1], mutes_[3]);
}

void EffectPage::showEvent(QShowEvent* event) {
    Page::showEvent(event);
    // The lists are read when the page is shown, so a rename elsewhere (or a database that
    // opened late) shows here.
    reverbPresets_->fill();
    delayPresets_->fill();
}

void EffectPage::resizeEvent(QResizeEvent* event) {
    Page::resizeEvent(event);
    layoutControls();
}

void EffectPage::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    skin::paintBackground(p, event->rect());
    p.setPen(skin::kRule);
    p.drawLine(width() / 2, 12, width() / 2, height() - 12);
}

} // namespace quorvel::ui
