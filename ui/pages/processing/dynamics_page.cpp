#include "pages/processing/dynamics_page.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

#include "binding/control_bindings.h"
#include "binding/edit_controller.h"
#include "binding/field_ids.h"
#include "controls/image_button.h"
#include "controls/level_meter.h"
#include "controls/response_view.h"
#include "controls/skin_label.h"
#include "pages/processing/dynamics_controls.h"
#include "pages/processing/strip_support.h"
#include "session/link_adapter.h"
#include "widgets/preset_list.h"
#include "widgets/skin_painter.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {

// Undo stores the block as it now stands, as a recall does: clamped, sent, copied.
UserOperation dynamicsBlock(bool gate, int channel) {
    return resendingWith([gate, channel](DeviceState& s, EditSink& sink) {
        if (gate) {
            const GateSettings g = s.in(channel).gate;
            storeGate(s, sink, channel, g);
        } else {
            const Dynamics d = s.in(channel).dynamics;
            storeCompressor(s, sink, channel, d);
        }
    });
}

using U = DynamicsUnit;

const KnobDefinition kCompKnobs[] = {
    {1113, 1112, "compThreshold", 0, 60, "Threshold", "阀值", U::Db60, "compThresholdKnob"},
    {1115, 1114, "compRatio", 10, 100, "Ratio", "比例", U::Ratio, "compRatioKnob"},
    {1117, 1116, "compGain", 0, 200, "Gain", "增益", U::TenthDb, "compGainKnob"},
    {1119, 1118, "compAttack", 1, 250, "Attack", "启动时间", U::Ms, "compAttackKnob"},
    {1121, 1120, "compRelease", 20, 250, "Release", "释放时间", U::Ms, "compReleaseKnob"},
};

// 1105 and 1111 have a range and nothing to edit.
const KnobDefinition kGateKnobs[] = {
    {1103, 1102, "gateThreshold", 0, 60, "Threshold", "阀值", U::Db60, "gateThresholdKnob"},
    {1105, 1104, nullptr, 0, 60, "范围", "范围", U::Db60, "gateRangeKnob"},
    {1107, 1106, "gateAttack", 1, 250, "Attack", "启动时间", U::Ms, "gateAttackKnob"},
    {1109, 1108, "gateRelease", 20, 250, "Release", "释放时间", U::Ms, "gateReleaseKnob"},
    {1111, 1110, nullptr, 0, 100, "备用", "备用", U::Ms, "gateSpareKnob"},
};

constexpr int kMargin = 20;
constexpr int kTop = 90;

SkinLabel* makeTitle(QWidget* page, int id, const char* name) {
    auto* t = new SkinLabel(id, page);
    t->setObjectName(QString::fromLatin1(name));
    t->setFontSize(14);
    return t;
}

} // namespace

DynamicsPage::DynamicsPage(const PageContext& ctx, QWidget* parent) : Page(ctx.state, parent), ctx_(ctx) {
    language_ = languageFlag();
    setMinimumSize(600, 500);

    compTitle_ = makeTitle(this, 0, "compTitle");
    gateTitle_ = makeTitle(this, 0, "gateTitle");
    compOn_ = makeSkinButton(this, 1138, "compOnButton");
    gateOn_ = makeSkinButton(this, 1137, "gateOnButton");
    compReset_ = makeSkinButton(this, 1129, "compResetButton");
    gateReset_ = makeSkinButton(this, 1128, "gateResetButton");
    compReset_->setStyle(ImageButton::Push);
    gateReset_->setStyle(ImageButton::Push);
    toggles_.push_back(new ToggleBinding(compOn_, ctx.edits, inputField(channel(), "compEnabled")));
    toggles_.push_back(new ToggleBinding(gateOn_, ctx.edits, inputField(channel(), "gateEnabled")));
    connect(compReset_, &ImageButton::clicked, this, [this] { onReset(false); });
    connect(gateReset_, &ImageButton::clicked, this, [this] { onReset(true); });

    compPresets_ = new PresetList(1010, PresetBlock::Compressor, this);
    gatePresets_ = new PresetList(1009, PresetBlock::Noise, this);
    for (PresetList* list : {compPresets_, gatePresets_}) {
        list->bind(ctx.presets, &state_);
        list->setBitmaps(231, 232);
    }
    connect(compPresets_, &PresetList::recalled, this, [this] { onRecalled(false); });
    connect(gatePresets_, &PresetList::recalled, this, [this] { onRecalled(true); });

    compCurve_ = makeTransferView(this, 1008, "compressorCurve", curves::kCompressorMode);
    gateCurve_ = makeTransferView(this, 1007, "gateCurve", curves::kGateMode);
    connect(compCurve_, &ResponseView::transferHandleMoved, this,
            [this](int h, double x, double y, bool done) { onCompressorHandle(h, x, y, done); });
    connect(gateCurve_, &ResponseView::transferHandleMoved, this,
            [this](int h, double x, double y, bool done) { onGateHandle(h, x, y, done); });

    meter_ = makeDynamicsMeter(this, 1055, "dynamicsMeter");

    for (const KnobDefinition& k : kCompKnobs)
        compKnobs_.push_back(std::make_unique<KnobRow>(this, ctx.edits, k, inputField(channel(), k.field)));
    for (const KnobDefinition& k : kGateKnobs)
        gateKnobs_.push_back(std::make_unique<KnobRow>(this, ctx.edits, k,
                                                       k.field ? inputField(channel(), k.field) : kNoField));

    curveWatch_ = new WatchBinding(
        ctx.edits, curveFields(), [this] { refreshCurves(); }, this);
    // Offline the meter empties at once rather than at the next report that never comes.
    connect(&ctx.link, &LinkAdapter::linkIndicator, this, [this](bool) { refreshMeters(); });

    // The gate is built and bound, and never shown.
    for (QWidget* w :
         std::initializer_list<QWidget*>{gateTitle_, gateOn_, gateReset_, gatePresets_, gateCurve_})
        w->hide();
    for (auto& k : gateKnobs_)
        k->setVisible(false);

    setLanguage(language_);
    refreshCurves();
    refreshMeters();
}

DynamicsPage::~DynamicsPage() = default;

std::vector<FieldId> DynamicsPage::curveFields() const {
    std::vector<FieldId> f;
    for (const char* name : {"compThreshold", "compRatio", "compGain", "gateThreshold", "gateRange"})
        f.push_back(inputField(channel(), name));
    return f;
}

void DynamicsPage::bindTo(int index) {
    if (index < 0 || index >= kInputRecords) return;
    index_ = index;
    static_cast<ToggleBinding*>(toggles_[0])->bindTo(inputField(channel(), "compEnabled"));
    static_cast<ToggleBinding*>(toggles_[1])->bindTo(inputField(channel(), "gateEnabled"));
    for (auto& k : compKnobs_)
        k->bindTo(inputField(channel(), k->definition().field));
    for (auto& k : gateKnobs_)
        if (k->definition().field) k->bindTo(inputField(channel(), k->definition().field));
    curveWatch_->bindTo(curveFields());
    compPresets_->setIndex(index_);
    gatePresets_->setIndex(index_);
    if (isVisible()) compPresets_->fill();
    refreshCurves();
    refreshMeters();
}

void DynamicsPage::refresh() {
    for (FieldBinding* b : toggles_)
        b->sync();
    refreshCurves();
    refreshMeters();
    update();
}

void DynamicsPage::showEvent(QShowEvent* event) {
    Page::showEvent(event);
    // The lists are read when the page is shown, so a preset saved elsewhere is offered.
    compPresets_->fill();
    gatePresets_->fill();
}

void DynamicsPage::refreshCurves() {
    const InputChannel& ch = state_.in(channel());
    const bool live = state_.link.linkOnline && channel() <= kAnalogInputs;
    const double in = std::clamp(ch.meter, 0, 60) - 60.0;
    showCompressorCurve(compCurve_, ch.dynamics.compThreshold, ch.dynamics.compRatio, ch.dynamics.compGain,
                        live ? &in : nullptr);
    const double t = ch.gate.gateThreshold - 60.0;
    gateCurve_->setKnees(-100, t);
    gateCurve_->setGateRange(ch.gate.gateRange);
    const auto gh = curves::gateHandles(t, ch.gate.gateRange, gateCurve_->transferAxes());
    gateCurve_->setTransferHandles({gh.begin(), gh.end()});
}

void DynamicsPage::refreshMeters() {
    // Only channels 1..12 are metered.
    if (state_.link.linkOnline && channel() <= kAnalogInputs) {
        const DynamicsMeter m = compressorMeter(state_.in(channel()));
        showDynamicsMeter(meter_, &m);
    } else {
        showDynamicsMeter(meter_, nullptr);
    }
    refreshCurves();
}

void DynamicsPage::onCompressorHandle(int handle, double x, double y, bool finished) {
    const auto e = compressorHandleEdit(state_, channel(), handle, x, y);
    if (!finished) ctx_.edits.beginDrag();
    if (e && FieldRegistry::get(state_, FieldRegistry::instance().field(e->field)) != e->raw)
        ctx_.edits.edit(e->field, e->raw);
    if (finished) ctx_.edits.endDrag();
    // On release the handle settles on the step that was stored.
    if (finished) refreshCurves();
}

void DynamicsPage::onGateHandle(int handle, double x, double y, bool finished) {
    const auto e = gateHandleEdit(state_, channel(), handle, x, y);
    if (!finished) ctx_.edits.beginDrag();
    if (e && FieldRegistry::get(state_, FieldRegistry::instance().field(e->field)) != e->raw)
        ctx_.edits.edit(e->field, e->raw);
    if (finished) ctx_.edits.endDrag();
    if (finished) refreshCurves();
}

void DynamicsPage::onReset(bool gate) {
    ctx_.edits.announceUser(gate ? resetGate(state_, ctx_.sink, channel())
                                 : resetCompressor(state_, ctx_.sink, channel()),
                            dynamicsBlock(gate, channel()));
}

void DynamicsPage::onRecalled(bool gate) {
    // The recall stored the text as read; storing it again clamps it, sends it and copies it.
    const InputChannel& ch = state_.in(channel());
    ctx_.edits.announceUser(gate ? storeGate(state_, ctx_.sink, channel(), ch.gate)
                                 : storeCompressor(state_, ctx_.sink, channel(), ch.dynamics),
                            dynamicsBlock(gate, channel()));
}

void DynamicsPage::setLanguage(int lang) {
    if (lang != kEnglish && lang != kChinese) return;
    language_ = lang;
    compTitle_->setText(pick(lang, "COMP", "压缩器"));
    gateTitle_->setText(pick(lang, "NOISE GATE", "噪声门"));
    compOn_->setText(pick(lang, "COMP", "压缩器"));
    gateOn_->setText(pick(lang, "NOISE GATE", "噪声门"));
    compReset_->setText(pick(lang, "RESET", "复位"));
    gateReset_->setText(pick(lang, "RESET", "复位"));
    for (auto& k : compKnobs_)
        k->setLanguage(lang);
    for (auto& k : gateKnobs_)
        k->setLanguage(lang);
    setDynamicsMeterLanguage(meter_, lang);
}

void DynamicsPage::layoutControls() {
    const int w = width(), h = height();
    compTitle_->setGeometry(kMargin, 14, 300, 30);
    compOn_->setGeometry(kMargin, 52, 90, 26);
    compReset_->setGeometry(kMargin + 100, 52, 90, 26);
    compPresets_->setGeometry(kMargin + 200, 52, 220, 26);
    const int side = std::max(200, std::min(h - kTop - 40, w / 2 - 60));
    // What the meter and the knob column leave of the width goes to the curve.
    const int curveW = std::max(side, std::min(side + side / 8, w - kMargin - kDynamicsMeterWidth - 40 - 96 -
                                                                    120 - 90 - 2 * kMargin));
    compCurve_->setGeometry(kMargin, kTop, curveW, side);
    const int meterX = compCurve_->geometry().right() + 20;
    meter_->setGeometry(meterX, kTop, kDynamicsMeterWidth, side);
    const int knobX = meter_->geometry().right() + 30;
    const int valueW = 90, captionW = 96;
    const int knobW = std::max(120, w - knobX - captionW - valueW - kMargin - 10);
    const int step = std::clamp(side / 5, 40, 70);
    for (std::size_t i = 0; i < compKnobs_.size(); ++i)
        compKnobs_[i]->place(knobX, kTop + 10 + static_cast<int>(i) * step, captionW, knobW, valueW);
    // The gate's place, were it shown: the same picture below.
    gateTitle_->setGeometry(kMargin, kTop + side + 10, 300, 30);
    gateOn_->setGeometry(kMargin, kTop + side + 44, 90, 26);
    gateReset_->setGeometry(kMargin + 100, kTop + side + 44, 90, 26);
    gatePresets_->setGeometry(kMargin + 200, kTop + side + 44, 220, 26);
    gateCurve_->setGeometry(kMargin, kTop + side + 80, curveW, side);
    for (std::size_t i = 0; i < gateKnobs_.size(); ++i)
        gateKnobs_[i]->place(knobX, kTop + side + 90 + static_cast<int>(i) * step, captionW, knobW, valueW);
}

void DynamicsPage::resizeEvent(QResizeEvent* event) {
    Page::resizeEvent(event);
    layoutControls();
}

void DynamicsPage::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    skin::paintBackground(p, event->rect());
    const QRect frame =
        compCurve_->geometry().united(meter_->geometry()).united(compKnobs_.back()->value()->geometry());
    skin::paintGroupFrame(p, QRectF(frame.adjusted(-10, -10, 10, 10)));
}

} // namespace quorvel::ui
