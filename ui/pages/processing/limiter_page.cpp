#include "pages/processing/limiter_page.h"

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

// Undo stores the limiter as it now stands, as a recall does.
UserOperation limiterBlock(int output) {
    return resendingWith([output](DeviceState& s, EditSink& sink) {
        const auto values = s.out(output).limiter;
        storeLimiter(s, sink, output, values);
    });
}

using U = DynamicsUnit;

// The release goes down to 1 ms here, unlike the compressor's.
const KnobDefinition kKnobs[] = {
    {1103, 1102, "limiter[2]", 0, 60, "Threshold", "阀值", U::Db60, "limiterThresholdKnob"},
    {1105, 1104, "limiter[6]", 10, 100, "Ratio", "比例", U::Ratio, "limiterRatioKnob"},
    {1107, 1106, "limiter[5]", 0, 200, "Gain", "增益", U::TenthDb, "limiterGainKnob"},
    {1109, 1108, "limiter[3]", 1, 250, "Attack", "启动时间", U::Ms, "limiterAttackKnob"},
    {1111, 1110, "limiter[4]", 1, 250, "Release", "释放时间", U::Ms, "limiterReleaseKnob"},
};

constexpr int kMargin = 20;
constexpr int kTop = 90;

} // namespace

LimiterPage::LimiterPage(const PageContext& ctx, QWidget* parent) : Page(ctx.state, parent), ctx_(ctx) {
    setMinimumSize(600, 500);
    title_ = new SkinLabel(0, this);
    title_->setObjectName("limiterTitle");
    title_->setFontSize(14);
    on_ = makeSkinButton(this, 1138, "limiterOnButton");
    reset_ = makeSkinButton(this, 1128, "limiterResetButton");
    reset_->setStyle(ImageButton::Push);
    onBinding_ = new ToggleBinding(on_, ctx.edits, outputField(output(), "limiter[1]"));
    connect(reset_, &ImageButton::clicked, this, [this] {
        ctx_.edits.announceUser(resetLimiter(state_, ctx_.sink, output()), limiterBlock(output()));
    });

    presets_ = new PresetList(1009, PresetBlock::Limiter, this);
    presets_->bind(ctx.presets, &state_);
    presets_->setBitmaps(231, 232);
    connect(presets_, &PresetList::recalled, this, [this] {
        // The recall stored the text as read; storing it again clamps it, sends it and copies it.
        ctx_.edits.announceUser(storeLimiter(state_, ctx_.sink, output(), state_.out(output()).limiter),
                                limiterBlock(output()));
    });

    curve_ = makeTransferView(this, 1007, "limiterCurve", curves::kLimiterMode);
    connect(curve_, &ResponseView::transferHandleMoved, this,
            [this](int h, double x, double y, bool done) { onHandle(h, x, y, done); });
    meter_ = makeDynamicsMeter(this, 1055, "limiterMeter");
    for (const KnobDefinition& k : kKnobs)
        knobs_.push_back(std::make_unique<KnobRow>(this, ctx.edits, k, outputField(output(), k.field)));
    curveWatch_ = new WatchBinding(
        ctx.edits, curveFields(), [this] { refreshCurve(); }, this);
    connect(&ctx.link, &LinkAdapter::linkIndicator, this, [this](bool) { refreshMeters(); });

    setLanguage(languageFlag());
    refreshMeters();
}

LimiterPage::~LimiterPage() = default;

std::vector<FieldId> LimiterPage::curveFields() const {
    return {outputField(output(), "limiter[2]"), outputField(output(), "limiter[5]"),
            outputField(output(), "limiter[6]")};
}

void LimiterPage::bindTo(int index) {
    if (index < 0 || index >= kOutputRecords) return;
    index_ = index;
    onBinding_->bindTo(outputField(output(), "limiter[1]"));
    for (auto& k : knobs_)
        k->bindTo(outputField(output(), k->definition().field));
    curveWatch_->bindTo(curveFields());
    presets_->setIndex(index_);
    if (isVisible()) presets_->fill();
    refreshMeters();
}

void LimiterPage::refresh() {
    onBinding_->sync();
    refreshMeters();
    update();
}

void LimiterPage::showEvent(QShowEvent* event) {
    Page::showEvent(event);
    presets_->fill();
}

void LimiterPage::refreshCurve() {
    const OutputChannel& o = state_.out(output());
    const double in = std::clamp(o.meter, 0, 60) - 60.0;
    showCompressorCurve(curve_, o.limiter[1], o.limiter[5], o.limiter[4],
                        state_.link.linkOnline ? &in : nullptr);
}

void LimiterPage::refreshMeters() {
    if (state_.link.linkOnline) {
        const DynamicsMeter m = limiterMeter(state_.out(output()));
        showDynamicsMeter(meter_, &m);
    } else {
        showDynamicsMeter(meter_, nullptr);
    }
    refreshCurve();
}

void LimiterPage::onHandle(int handle, double x, double y, bool finished) {
    const auto e = limiterHandleEdit(state_, output(), handle, x, y);
    if (!finished) ctx_.edits.beginDrag();
    if (e && FieldRegistry::get(state_, FieldRegistry::instance().field(e->field)) != e->raw)
        ctx_.edits.edit(e->field, e->raw);
    if (finished) ctx_.edits.endDrag();
    if (finished) refreshCurve();
}

void LimiterPage::setLanguage(int lang) {
    if (lang != kEnglish && lang != kChinese) return;
    title_->setText(pick(lang, "COMP", "压缩器"));
    on_->setText(pick(lang, "COMP", "压缩器"));
    reset_->setText(pick(lang, "RESET", "复位"));
    for (auto& k : knobs_)
        k->setLanguage(lang);
    setDynamicsMeterLanguage(meter_, lang);
}

void LimiterPage::resizeEvent(QResizeEvent* event) {
    Page::resizeEvent(event);
    const int w = width(), h = height();
    title_->setGeometry(kMargin, 14, 300, 30);
    on_->setGeometry(kMargin, 52, 90, 26);
    reset_->setGeometry(kMargin + 100, 52, 90, 26);
    presets_->setGeometry(kMargin + 200, 52, 220, 26);
    const int side = std::max(200, std::min(h - kTop - 40, w / 2 - 60));
    // The "(dB)" labels need a wider margin than the compressor's plain numbers.
    // What the meter and the knob column leave of the width goes to the curve.
    const int curveW = std::max(side, std::min(side + side / 2, w - kMargin - kDynamicsMeterWidth - 40 - 96 -
                                                                    120 - 90 - 2 * kMargin));
    curve_->setGeometry(kMargin, kTop, curveW, side);
    const int meterX = curve_->geometry().right() + 20;
    meter_->setGeometry(meterX, kTop, kDynamicsMeterWidth, side);
    const int knobX = meter_->geometry().right() + 30;
    const int valueW = 90, captionW = 96;
    const int knobW = std::max(120, w - knobX - captionW - valueW - kMargin - 10);
    const int step = std::clamp(side / 5, 40, 70);
    for (std::size_t i = 0; i < knobs_.size(); ++i)
        knobs_[i]->place(knobX, kTop + 10 + static_cast<int>(i) * step, captionW, knobW, valueW);
}

void LimiterPage::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    skin::paintBackground(p, event->rect());
    const QRect frame =
        curve_->geometry().united(meter_->geometry()).united(knobs_.back()->value()->geometry());
    skin::paintGroupFrame(p, QRectF(frame.adjusted(-10, -10, 10, 10)));
}

} // namespace quorvel::ui
