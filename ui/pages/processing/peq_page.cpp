#include "pages/processing/peq_page.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "binding/control_bindings.h"
#include "binding/edit_controller.h"
#include "binding/field_ids.h"
#include "controls/drop_list.h"
#include "controls/fader_ctrl.h"
#include "controls/image_button.h"
#include "controls/level_meter.h"
#include "controls/response_view.h"
#include "controls/skin_label.h"
#include "curves/eq_response.h"
#include "curves/plot_mapping.h"
#include "link/reports.h"
#include "pages/processing/strip_support.h"
#include "widgets/preset_list.h"
#include "widgets/skin_painter.h"
#include "widgets/skin_style.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {

// Undo sends a channel's curve the way a recall does: the whole block, members after it.
UserOperation peqBlock(int channel) {
    return resendingWith([channel](DeviceState& s, EditSink& sink) { peqRecalled(s, sink, channel); });
}

constexpr int kKnobHeight = 20;
constexpr int kRow = 24;
constexpr int kGainMax = 300;
constexpr int kQMax = 199;
// Readout kinds of a dragged handle: bands 1..4 show gain and frequency, then HPF and LPF.
constexpr int kHandleKinds[kPeqHandles] = {22, 23, 24, 25, 27, 28};

const SteadyLinkClock kSteady;

std::string band(int b, const char* field) {
    return "peq[" + std::to_string(b) + "]." + field;
}

ValueMap gainMap() {
    return {[](std::int32_t raw) { return int(raw); }, [](int p) { return std::int32_t(p); },
            [](std::int32_t raw) { return QString::asprintf("%0.1fdB", (raw - 150) * 0.1); }};
}
ValueMap freqMap() {
    return {[](std::int32_t hz) { return knobOfFrequency(hz); }, [](int p) { return frequencyOfKnob(p); },
            [](std::int32_t hz) { return QStringLiteral("%1Hz").arg(hz); }};
}
ValueMap qMap() {
    return {[](std::int32_t raw) { return int(raw - 1); }, [](int p) { return std::int32_t(p + 1); },
            [](std::int32_t raw) { return QString::asprintf("%0.1f", raw * 0.1); }};
}

} // namespace

PeqPage::PeqPage(const PageContext& ctx, QWidget* parent)
    : Page(ctx.state, parent), edits_(ctx.edits), clock_(&kSteady) {
    language_ = languageFlag();
    title_ = makeLabel(1091, "peqTitle", 14);
    title_->setAlignment(0);

    bypassButton_ = makeSkinButton(this, 1115, "peqBypass");
    resetButton_ = makeSkinButton(this, 1116, "peqReset");
    resetButton_->setStyle(ImageButton::Push);
    polar_ = makeSkinButton(this, 1117, "peqPolar");
    polar_->hide(); // how polarity reaches the device is not settled; the button stays hidden
    presets_ = new PresetList(1011, PresetBlock::Peq, this);
    presets_->setBitmaps(231, 232);

    view_ = new ResponseView(1008, this);
    view_->setObjectName("peqView");
    view_->setLevelRange(-15.0, 15.0);
    view_->setFrequencyRange(20.0, 20000.0);

    meter_ = new LevelMeter(1006, this);
    meter_->setObjectName("peqMeter");
    meter_->setColumnCount(1);
    meter_->setRange(0, 70);
    meter_->setThresholds(0.7, 0.9);

    rowLabels_[0] = makeLabel(0, "peqGainLabel");
    rowLabels_[1] = makeLabel(0, "peqFreqLabel");
    rowLabels_[2] = makeLabel(0, "peqQLabel");
    // Caption, gain, frequency and Q of each band; band 1 leaves room for its type button.
    constexpr int kIds[kPeqSlots][4] = {{1093, 1096, 1097, 1098},
                                        {1099, 1100, 1101, 1102},
                                        {1103, 1104, 1105, 1106},
                                        {1107, 1108, 1109, 1110},
                                        {1111, 1112, 1113, 1114}};
    for (int b = 0; b < kPeqSlots; ++b) {
        BandControls& c = bands_[static_cast<std::size_t>(b)];
        const int* id = kIds[b];
        c.caption = makeLabel(id[0], qPrintable(QStringLiteral("band%1Caption").arg(b + 1)), 10);
        c.gain = makeKnob(id[1], qPrintable(QStringLiteral("band%1Gain").arg(b + 1)), kGainMax);
        c.freq = makeKnob(id[2], qPrintable(QStringLiteral("band%1Freq").arg(b + 1)), kFreqKnobMax);
        c.freq->setMinimum(kFreqKnobMin);
        c.q = makeKnob(id[3], qPrintable(QStringLiteral("band%1Q").arg(b + 1)), kQMax);
        c.gainValue = makeLabel(0, "");
        c.freqValue = makeLabel(0, "");
        c.qValue = makeLabel(0, "");
    }
    bands_[0].type = makeSkinButton(this, 1094, "band1Type");
    bands_[3].type = makeSkinButton(this, 1095, "band4Type");
    // Band 5 has its fields and knobs but is never shown, drawn, saved, reset or bypassed.
    for (QWidget* w :
         std::initializer_list<QWidget*>{bands_[4].caption, bands_[4].gain, bands_[4].freq, bands_[4].q,
                                         bands_[4].gainValue, bands_[4].freqValue, bands_[4].qValue})
        w->hide();

    auto filter = [&](int button, int knob, int list, const char* name) {
        FilterControls f;
        f.button = makeSkinButton(this, button, qPrintable(QStringLiteral("%1Button").arg(name)));
        f.freq = makeKnob(knob, qPrintable(QStringLiteral("%1Freq").arg(name)), kFreqKnobMax);
        f.freq->setMinimum(kFreqKnobMin);
        f.freqValue = makeLabel(0, "");
        f.slope = new DropList(list, this);
        f.slope->setObjectName(QStringLiteral("%1Slope").arg(name));
        f.slope->setBitmaps(231, 232);
        QStringList items;
        for (int i = 0; i < kSlopeItems; ++i)
            items << QString::fromStdString(slopeLabel(i));
        f.slope->setItems(items);
        return f;
    };
    hpf_ = filter(1119, 1120, 1009, "hpf");
    lpf_ = filter(1121, 1122, 1010, "lpf");

    connect(view_, &ResponseView::handleMoved, this, &PeqPage::onHandleMoved);
    connect(view_, &ResponseView::handleReset, this, &PeqPage::onHandleReset);
    connect(bypassButton_, &ImageButton::clicked, this, &PeqPage::onBypass);
    connect(resetButton_, &ImageButton::clicked, this, &PeqPage::onReset);
    connect(presets_, &PresetList::recalled, this, [this](int) { onRecalled(); });
    dragTimer_.setInterval(50);
    connect(&dragTimer_, &QTimer::timeout, this, &PeqPage::flushDrag);

    bindControls();
    setLanguage(language_);
    refresh();
}

SkinLabel* PeqPage::makeLabel(int id, const char* name, qreal size) {
    auto* l = new SkinLabel(id, this);
    if (name && *name) l->setObjectName(name);
    l->setFontSize(size);
    return l;
}

FaderCtrl* PeqPage::makeKnob(int id, const char* name, int maximum) {
    auto* k = new FaderCtrl(id, this);
    k->setObjectName(name);
    k->setTrackBitmaps(185, 186, true);
    k->setThumbBitmaps(187);
    k->setRange(0, maximum);
    return k;
}

void PeqPage::bindControls() {
    const int c = channel();
    auto add = [&](FieldBinding* b, std::string field) { bound_.push_back({b, std::move(field)}); };
    for (int b = 1; b <= kPeqSlots; ++b) {
        BandControls& k = bands_[static_cast<std::size_t>(b - 1)];
        add(new FaderBinding(k.gain, edits_, inputField(c, band(b, "bandGain")), gainMap()),
            band(b, "bandGain"));
        add(new FaderBinding(k.freq, edits_, inputField(c, band(b, "bandFreq")), freqMap()),
            band(b, "bandFreq"));
        add(new FaderBinding(k.q, edits_, inputField(c, band(b, "bandQ")), qMap()), band(b, "bandQ"));
    }
    add(new ToggleBinding(bands_[0].type, edits_, inputField(c, band(1, "bandType")), 1, 0),
        band(1, "bandType"));
    add(new ToggleBinding(bands_[3].type, edits_, inputField(c, band(4, "bandType")), 2, 0),
        band(4, "bandType"));
    add(new ToggleBinding(hpf_.button, edits_, inputField(c, "hpfOn")), "hpfOn");
    add(new ToggleBinding(lpf_.button, edits_, inputField(c, "lpfOn")), "lpfOn");
    add(new FaderBinding(hpf_.freq, edits_, inputField(c, "hpfFreq"), freqMap()), "hpfFreq");
    add(new FaderBinding(lpf_.freq, edits_, inputField(c, "lpfFreq"), freqMap()), "lpfFreq");
    const std::vector<std::int32_t> codes = {2, 3, 4, 5, 6, 7, 8};
    add(new ListBinding(hpf_.slope, edits_, inputField(c, "hpfSlope"), codes), "hpfSlope");
    add(new ListBinding(lpf_.slope, edits_, inputField(c, "lpfSlope"), codes), "lpfSlope");
    watch_ = new WatchBinding(
        edits_, blockFields(),
        [this] {
            refreshCurve();
            refreshValues();
        },
        this);
}

std::vector<FieldId> PeqPage::blockFields() const {
    const ChangeSet block = peqBlockFields(channel());
    std::vector<FieldId> f = block.fields();
    f.push_back(inputField(channel(), "name"));
    return f;
}

void PeqPage::bindTo(int index) {
    if (index < 0 || index >= kInputRecords) return;
    index_ = index;
    shownMeter_ = -1;
    presets_->setIndex(index_);
    presets_->fill();
    for (const Bound& b : bound_)
        b.binding->bindTo(inputField(channel(), b.field));
    watch_->bindTo(blockFields());
    refresh();
}

void PeqPage::refresh() {
    for (const Bound& b : bound_)
        b.binding->sync();
    refreshVisibility();
    refreshCurve();
    refreshValues();
    shownMeter_ = -1;
    refreshMeters();
}

void PeqPage::refreshCurve() {
    const InputChannel& ch = state_.in(channel());
    view_->setBands(curves::channelBands(ch, peqHasFilters(channel())));
    bypassButton_->setOn(bypass_.active(state_, channel()));
}

void PeqPage::refreshValues() {
    const InputChannel& ch = state_.in(channel());
    for (int b = 0; b < kPeqBands; ++b) {
        const PeqBand& p = ch.peq[static_cast<std::size_t>(b)];
        BandControls& c = bands_[static_cast<std::size_t>(b)];
        c.gainValue->setText(QString::asprintf("%0.1fdB", (p.bandGain - 150) * 0.1));
        c.freqValue->setText(QStringLiteral("%1Hz").arg(p.bandFreq));
        c.qValue->setText(QString::asprintf("%0.1f", p.bandQ * 0.1));
    }
    hpf_.freqValue->setText(QStringLiteral("%1Hz").arg(ch.hpfFreq));
    lpf_.freqValue->setText(QStringLiteral("%1Hz").arg(ch.lpfFreq));
    // A filter's knob works only while the filter is on.
    hpf_.freq->setEnabled(ch.hpfOn != 0);
    lpf_.freq->setEnabled(ch.lpfOn != 0);
}

void PeqPage::refreshVisibility() {
    const bool filters = peqHasFilters(channel());
    for (const FilterControls* f : {&hpf_, &lpf_})
        for (QWidget* w : std::initializer_list<QWidget*>{f->button, f->freq, f->freqValue, f->slope})
            w->setVisible(filters);
}

void PeqPage::refreshMeters() {
    const InputChannel& ch = state_.in(channel());
    // Offline the device reports nothing: the meter stays empty rather than freeze.
    const int v = state_.link.linkOnline && channel() <= kAnalogInputs ? shownMeter(ch.meter) : 0;
    if (v == shownMeter_) return;
    shownMeter_ = v;
    meter_->setLevel(v, 0);
}

void PeqPage::onHandleMoved(int handle, double hz, double db, bool finished) {
    if (!finished && !dragTimer_.isActive()) dragTimer_.start();
    if (!finished) edits_.beginDrag();
    const ChangeSet changed =
        peqDragHandle(state_, edits_.sink(), pacer_, clock_->now(), channel(), handle, hz, db, finished);
    edits_.announceUser(changed);
    if (finished) edits_.endDrag();
    if (handle >= 0 && handle < kPeqHandles) emit readoutRequested(index_, kHandleKinds[handle]);
}

void PeqPage::flushDrag() {
    peqFlushDrag(state_, edits_.sink(), pacer_, clock_->now());
    if (!pacer_.pending() && !view_->isDragging()) dragTimer_.stop();
}

void PeqPage::onHandleReset(int handle) {
    const ChangeSet changed = peqResetHandle(state_, edits_.sink(), channel(), handle);
    edits_.announceUser(changed);
    if (handle >= 0 && handle < kPeqBands) emit readoutRequested(index_, kHandleKinds[handle]);
}

void PeqPage::onBypass() {
    edits_.announceUser(bypass_.set(state_, edits_.sink(), channel(), !bypass_.active(state_, channel())),
                        peqBlock(channel()));
    refreshCurve();
}

void PeqPage::onReset() {
    edits_.announceUser(peqReset(state_, edits_.sink(), channel()), peqBlock(channel()));
}

void PeqPage::onRecalled() {
    edits_.announceUser(peqRecalled(state_, edits_.sink(), channel()), peqBlock(channel()));
}

void PeqPage::setLanguage(int lang) {
    if (lang != kEnglish && lang != kChinese) return;
    language_ = lang;
    title_->setText(pick(lang, "PEQ", "参量均衡"));
    rowLabels_[0]->setText(pick(lang, "GAIN", "增益"));
    rowLabels_[1]->setText(pick(lang, "FREQUENCY", "频率"));
    rowLabels_[2]->setText(pick(lang, "Q", "Q值"));
    for (int b = 0; b < kPeqSlots; ++b)
        bands_[static_cast<std::size_t>(b)].caption->setText(pick(lang, "BAND %1", "频段 %1").arg(b + 1));
    bands_[0].type->setText(pick(lang, "LOW SHELF", "低架"));
    bands_[3].type->setText(pick(lang, "HIGH SHELF", "高架"));
    bypassButton_->setText(pick(lang, "BYPASS", "直通"));
    resetButton_->setText(pick(lang, "RESET", "复位"));
    polar_->setText(pick(lang, "POLAR", "极性"));
    hpf_.button->setText(pick(lang, "HPF", "高通"));
    lpf_.button->setText(pick(lang, "LPF", "低通"));
}

void PeqPage::layoutControls() {
    const int w = width(), h = height();
    const int margin = 10;
    const int meterW = 24;
    title_->setGeometry(margin, 6, 200, kRow);
    presets_->setGeometry(w - margin - meterW - 8 - 150, 6, 150, kRow);
    resetButton_->setGeometry(presets_->x() - 90, 6, 80, kRow);
    bypassButton_->setGeometry(resetButton_->x() - 90, 6, 80, kRow);
    polar_->setGeometry(bypassButton_->x() - 90, 6, 80, kRow);

    const int plotW = w - 2 * margin - meterW - 8;
    const int plotH = std::clamp(h * 45 / 100, 160, 420);
    view_->setGeometry(margin, 40, plotW, plotH);
    // The meter spans the plot itself, not the view's margins.
    const curves::PlotRect pr = curves::plotRect(plotW, plotH, true);
    meter_->setGeometry(w - margin - meterW, 40 + pr.top, meterW, pr.bottom - pr.top);

    // Six columns under the curve: bands 1..4, HPF, LPF; the row captions to their left.
    const int labelW = 80;
    const int top = 40 + plotH + 12;
    const int colW = (w - 2 * margin - labelW) / 6;
    const int knobW = std::min(colW - 12, 140);
    const int step = std::clamp((h - top - 10) / 8, 22, 40);
    auto at = [&](int col) { return margin + labelW + col * colW + (colW - knobW) / 2; };
    const int yCaption = top, yType = top + step, yGain = top + 2 * step, yFreq = top + 4 * step,
              yQ = top + 6 * step;
    rowLabels_[0]->setGeometry(margin, yGain, labelW, kRow);
    rowLabels_[1]->setGeometry(margin, yFreq, labelW, kRow);
    rowLabels_[2]->setGeometry(margin, yQ, labelW, kRow);
    for (int b = 0; b < kPeqBands; ++b) {
        BandControls& c = bands_[static_cast<std::size_t>(b)];
        const int x = at(b);
        c.caption->setGeometry(x, yCaption, knobW, kRow);
        if (c.type) c.type->setGeometry(x + (knobW - 90) / 2, yType, 90, kRow);
        c.gain->setGeometry(x, yGain, knobW, kKnobHeight);
        c.gainValue->setGeometry(x, yGain + kKnobHeight, knobW, 18);
        c.freq->setGeometry(x, yFreq, knobW, kKnobHeight);
        c.freqValue->setGeometry(x, yFreq + kKnobHeight, knobW, 18);
        c.q->setGeometry(x, yQ, knobW, kKnobHeight);
        c.qValue->setGeometry(x, yQ + kKnobHeight, knobW, 18);
    }
    int col = 4;
    for (FilterControls* f : {&hpf_, &lpf_}) {
        const int x = at(col++);
        f->button->setGeometry(x + (knobW - 80) / 2, yCaption, 80, kRow);
        f->slope->setGeometry(x + (knobW - 110) / 2, yType, 110, kRow);
        f->freq->setGeometry(x, yFreq, knobW, kKnobHeight);
        f->freqValue->setGeometry(x, yFreq + kKnobHeight, knobW, 18);
    }
}

void PeqPage::resizeEvent(QResizeEvent* event) {
    Page::resizeEvent(event);
    layoutControls();
}

void PeqPage::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    skin::paintBackground(p, event->rect());
    // The filter columns stand apart from the bands.
    if (peqHasFilters(channel())) {
        p.setPen(skin::kRule);
        const int x = std::min({hpf_.button->x(), hpf_.slope->x(), hpf_.freq->x()}) - 10;
        p.drawLine(x, view_->geometry().bottom() + 10, x, height() - 10);
    }
}

} // namespace quorvel::ui
