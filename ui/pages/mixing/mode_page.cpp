#include "pages/mixing/mode_page.h"

#include <QPaintEvent>
#include <QPainter>

#include "binding/control_bindings.h"
#include "binding/edit_controller.h"
#include "binding/field_ids.h"
#include "controls/drop_list.h"
#include "controls/image_button.h"
#include "controls/skin_label.h"
#include "mixing/automix_ops.h"
#include "pages/processing/strip_support.h"
#include "widgets/name_dialog.h"
#include "widgets/skin_painter.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {

constexpr int kChannelArt = 231; // channel and detector lists; 232 when active
constexpr int kGlobalArt = 176;  // the global lists; 177 when active
constexpr int kListW = 100;
constexpr int kListH = 25;
constexpr QRect kUpperFrame{5, 20, 800, 160};
constexpr QRect kLowerFrame{5, 180, 800, 130};
constexpr int kBlockX[4] = {50, 220, 390, 560};
constexpr int kBlockY[2] = {100, 140};

QStringList numbered(int from, int to, int step, const char* suffix) {
    QStringList items;
    for (int v = from; v <= to; v += step)
        items << QString::number(v) + QString::fromLatin1(suffix);
    return items;
}

DropList* makeList(QWidget* parent, int id, const char* name, int art, const QStringList& items, int x,
                   int y) {
    auto* l = new DropList(id, parent);
    l->setObjectName(name);
    l->setBitmaps(art, art + 1);
    l->resize(kListW, kListH);
    l->setItems(items);
    l->move(x, y);
    return l;
}

SkinLabel* makeLabel(QWidget* parent, const char* name, int x, int y, int w, int h = 20) {
    auto* l = new SkinLabel(0, parent);
    l->setObjectName(name);
    l->setFontSize(10);
    l->setAlignment(0);
    l->setGeometry(x, y, w, h);
    return l;
}

QString onOff(std::int32_t v) {
    return QString::fromLatin1(v ? "ON" : "OFF");
}

struct Detector {
    const char* field;
    const char* list;
    const char* label;
    const char* text; // the same in both languages
    int from, to;
    const char* suffix;
};
constexpr Detector kDetectorRows[ModePage::kDetectors] = {
    {"automix.zeroCrossingRate", "zeroCrossingList", "zeroCrossingLabel", "过零率", 0, 100, ""},
    {"automix.energy", "energyList", "energyLabel", "能量", 1, 200, ""},
    {"automix.compareCount", "compareCountList", "compareCountLabel", "比较计数", 1, 100, ""},
    {"automix.thresholdCompensation", "thresholdCompList", "thresholdCompLabel", "阀值补偿", 0, 40, " dB"},
};

} // namespace

ModePage::ModePage(const PageContext& ctx, QWidget* parent)
    : Page(ctx.state, parent), edits_(ctx.edits), sink_(ctx.sink) {
    syncLabel_ = makeLabel(this, "syncLabel", 10, 30, 260, 25);
    sync_ = makeSkinButton(this, 1017, "syncButton", 100, 25);
    sync_->move(280, 30);
    (new ToggleBinding(sync_, edits_, fieldId("automix.syncThresholds")))->setCaption(onOff);

    std::vector<FieldId> watched;
    for (int c = 1; c <= kChannels; ++c) {
        const int x = kBlockX[(c - 1) % 4], y = kBlockY[(c - 1) / 4];
        auto* cap = makeSkinButton(this, 0, "", 50, 25);
        cap->setObjectName(QStringLiteral("thresholdChannel%1").arg(c));
        cap->setText(QStringLiteral("CH %1").arg(c));
        cap->move(x, y);
        channelCaps_[static_cast<std::size_t>(c - 1)] = cap;
        auto* list = makeList(this, 1009 + c - 1, "", kChannelArt, numbered(-80, 0, 1, " dB"), x + 60, y);
        list->setObjectName(QStringLiteral("threshold%1").arg(c));
        connect(list, &DropList::itemChosen, this, [this, c](int, int index) { chooseThreshold(c, index); });
        thresholds_[static_cast<std::size_t>(c - 1)] = list;
        watched.push_back(inputField(c, "automixThreshold"));
    }

    holdLabel_ = makeLabel(this, "holdTimeLabel", 50, 200, 125);
    hold_ = makeList(this, 1025, "holdTimeList", kGlobalArt, numbered(50, 5000, 50, " ms"), 180, 195);
    maxOpenLabel_ = makeLabel(this, "maxOpenLabel", 290, 200, 200);
    maxOpen_ = makeList(this, 1026, "maxOpenList", kGlobalArt, numbered(1, 8, 1, ""), 500, 195);
    ok_ = makeSkinButton(this, 1027, "okButton", 80, 25);
    ok_->setStyle(ImageButton::Push); // an action, not a switch: it lights while pressed
    ok_->move(610, 195);
    ok_->setText(QStringLiteral("OK"));
    nomLabel_ = makeLabel(this, "nomLabel", 50, 230, 125);
    nom_ = makeList(this, 1030, "nomList", kGlobalArt, numbered(-10, 0, 1, " dB"), 180, 225);
    closedLabel_ = makeLabel(this, "closedAttnLabel", 290, 230, 200);
    closed_ = makeList(this, 1032, "closedAttnList", kGlobalArt, numbered(-60, 0, 1, " dB"), 500, 225);
    // A list's item is the stored value less the low end of its range.
    connect(hold_, &DropList::itemChosen, this,
            [this](int, int i) { chooseGlobal("automix.holdTime", i + 1); });
    connect(maxOpen_, &DropList::itemChosen, this,
            [this](int, int i) { chooseGlobal("automix.maxOpenChannels", i + 1); });
    connect(nom_, &DropList::itemChosen, this,
            [this](int, int i) { chooseGlobal("automix.nomAttenuation", i + 20); });
    connect(closed_, &DropList::itemChosen, this,
            [this](int, int i) { chooseGlobal("automix.closedChannelAttenuation", i); });
    connect(ok_, &ImageButton::clicked, this, [this] { pressOk(); });
    for (const char* f : {"automix.holdTime", "automix.maxOpenChannels", "automix.nomAttenuation",
                          "automix.closedChannelAttenuation"})
        watched.push_back(fieldId(f));

    lastHoldLabel_ = makeLabel(this, "lastHoldLabel", 10, 270, 160, 25);
    lastHold_ = makeSkinButton(this, 1029, "lastHoldButton", 100, 25);
    lastHold_->move(180, 270);
    (new ToggleBinding(lastHold_, edits_, fieldId("automix.lastHold")))->setCaption(onOff);

    // Kept out of sight, as the device's own panel keeps them; their edits work all the same.
    autoMan_ = makeSkinButton(this, 1028, "autoManButton", 100, 25);
    autoMan_->move(610, 270);
    autoMan_->hide();
    (new ToggleBinding(autoMan_, edits_, fieldId("automix.manualMode")))->setCaption([this](std::int32_t v) {
        return v ? pick(language_, "MAN", "手动") : pick(language_, "AUTO", "自动");
    });
    for (int k = 0; k < kDetectors; ++k) {
        const Detector& d = kDetectorRows[static_cast<std::size_t>(k)];
        auto* label = makeLabel(this, d.label, 50 + 190 * k, 320, 90);
        label->setText(QString::fromUtf8(d.text));
        label->hide();
        detectorLabels_[static_cast<std::size_t>(k)] = label;
        auto* list = makeList(this, 1034 + k, d.list, kChannelArt, numbered(d.from, d.to, 1, d.suffix),
                              50 + 190 * k, 345);
        list->hide();
        std::vector<std::int32_t> values;
        for (int v = d.from; v <= d.to; ++v)
            values.push_back(v);
        new ListBinding(list, edits_, fieldId(d.field), std::move(values));
        detectors_[static_cast<std::size_t>(k)] = list;
    }

    new WatchBinding(
        edits_, std::move(watched), [this] { syncSelectors(); }, this);
    syncSelectors();
    setLanguage(languageFlag());
}

void ModePage::chooseThreshold(int channel, int index) {
    const EditOutcome out = setAutomixThreshold(state_, sink_, channel, index);
    if (out.applied) edits_.announceUser(out.changed);
}

void ModePage::chooseGlobal(const char* field, int value) {
    edits_.edit(fieldId(field), value);
    confirmGlobal();
}

void ModePage::pressOk() {
    AutomixGlobals g;
    g.holdTime = hold_->selection() + 1;
    g.maxOpenChannels = maxOpen_->selection() + 1;
    g.nomAttenuation = nom_->selection() + 20;
    g.closedChannelAttenuation = closed_->selection();
    edits_.announceUser(applyAutomixGlobals(state_, sink_, g));
    confirmGlobal();
}

void ModePage::confirmGlobal() {
    showMessage(this, QString::fromUtf8(automixSetMessage(state_.link.linkOnline, language_)), {},
                QStringLiteral("automixMessage"));
}

void ModePage::syncSelectors() {
    for (int c = 1; c <= kChannels; ++c)
        thresholds_[static_cast<std::size_t>(c - 1)]->setSelection(state_.in(c).automixThreshold);
    const AutomixSettings& a = state_.automix;
    // Nothing received yet (0) leaves the hold list as it was: unselected at first.
    if (a.holdTime > 0) hold_->setSelection(a.holdTime - 1);
    maxOpen_->setSelection(a.maxOpenChannels - 1);
    nom_->setSelection(a.nomAttenuation - 20);
    closed_->setSelection(a.closedChannelAttenuation);
}

void ModePage::refresh() {
    for (ImageButton* b : {sync_, lastHold_, autoMan_})
        if (auto* binding = b->findChild<FieldBinding*>()) binding->sync();
    for (DropList* d : detectors_)
        if (auto* binding = d->findChild<FieldBinding*>()) binding->sync();
    syncSelectors();
    update();
}

void ModePage::setLanguage(int lang) {
    if (lang != kEnglish && lang != kChinese) return;
    language_ = lang;
    holdLabel_->setText(pick(lang, "HOLD TIME", "保持时间"));
    maxOpenLabel_->setText(pick(lang, "MAX OPEN CH", "最大话筒数"));
    nomLabel_->setText(QStringLiteral("NOM"));
    closedLabel_->setText(pick(lang, "CLOSED CH, ATTN", "关咪衰减"));
    syncLabel_->setText(pick(lang, "SYNC CH THRESHOLD", "同步阀值"));
    lastHoldLabel_->setText(pick(lang, "LAST HOLD", "最后保持"));
    ok_->setText(pick(lang, "OK", "确定"));
    // The captions name the switch first; the state word then takes their place.
    sync_->setText(pick(lang, "SYNC", "同步"));
    lastHold_->setText(pick(lang, "LAST HOLD", "最后保持"));
    refresh();
}

void ModePage::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    skin::paintBackground(p, event->rect());
    skin::paintGroupFrame(p, kUpperFrame);
    skin::paintGroupFrame(p, kLowerFrame);
}

} // namespace quorvel::ui
