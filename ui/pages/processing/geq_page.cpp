#include "pages/processing/geq_page.h"

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
#include "curves/plot_mapping.h"
#include "link/reports.h"
#include "pages/processing/strip_support.h"
#include "processing/geq_ops.h"
#include "widgets/preset_list.h"
#include "widgets/skin_painter.h"
#include "widgets/skin_style.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {

// Undo sends an output's bands the way a recall does: one H, members copied.
UserOperation geqBlock(int output) {
    return resendingWith([output](DeviceState& s, EditSink& sink) { geqRecalled(s, sink, output); });
}

constexpr int kRow = 24;
constexpr int kFirstBandKind = 5; // readout kinds 5..35 are bands 1..31

const SteadyLinkClock kSteady;

} // namespace

GeqPage::GeqPage(const PageContext& ctx, QWidget* parent)
    : Page(ctx.state, parent), edits_(ctx.edits), clock_(&kSteady) {
    title_ = new SkinLabel(0, this);
    title_->setObjectName("geqTitle");
    title_->setFontSize(14);
    title_->setAlignment(0);
    title_->hide(); // the GEQ button already names the page
    onButton_ = makeSkinButton(this, 1097, "geqOn");
    drawButton_ = makeSkinButton(this, 1098, "geqDraw");
    resetButton_ = makeSkinButton(this, 1128, "geqReset");
    resetButton_->setStyle(ImageButton::Push);
    // The list notifies as 1009; its control is 1010.
    presets_ = new PresetList(1009, PresetBlock::Geq, this);
    presets_->setObjectName("presetList1010");
    presets_->setBitmaps(231, 232);

    view_ = new ResponseView(1008, this);
    view_->setObjectName("geqView");
    view_->setMode(ResponseView::Graphic);
    view_->setLevelRange(-15.0, 15.0);
    view_->setDrawMode(true);
    drawButton_->setOn(true);

    meter_ = new LevelMeter(1006, this);
    meter_->setObjectName("geqMeter");
    meter_->setColumnCount(1);
    meter_->setRange(0, 70);
    meter_->setThresholds(0.7, 0.9);

    connect(view_, &ResponseView::handleMoved, this,
            [this](int band, double, double db, bool finished) { onPointMoved(band, db, finished); });
    connect(view_, &ResponseView::handleReset, this, &GeqPage::onPointReset);
    connect(view_, &ResponseView::freehandMoved, this, &GeqPage::onSwept);
    connect(view_, &ResponseView::freehandDrawn, this, [this](int) { onSweepEnded(); });
    connect(drawButton_, &ImageButton::clicked, this, [this] {
        view_->setDrawMode(!view_->drawMode());
        drawButton_->setOn(view_->drawMode());
    });
    connect(resetButton_, &ImageButton::clicked, this,
            [this] { edits_.announceUser(geqReset(state_, edits_.sink(), output()), geqBlock(output())); });
    connect(presets_, &PresetList::recalled, this, [this](int) {
        edits_.announceUser(geqRecalled(state_, edits_.sink(), output()), geqBlock(output()));
    });
    dragTimer_.setInterval(50);
    connect(&dragTimer_, &QTimer::timeout, this, &GeqPage::flushDrag);

    onBinding_ = new ToggleBinding(onButton_, edits_, outputField(output(), "geqOn"));
    watch_ = new WatchBinding(
        edits_, bandFields(), [this] { refreshCurve(); }, this);
    setLanguage(languageFlag());
    refresh();
}

std::vector<FieldId> GeqPage::bandFields() const {
    std::vector<FieldId> f;
    for (int b = 1; b <= kGeqBands; ++b)
        f.push_back(outputField(output(), "geq[" + std::to_string(b) + "]"));
    return f;
}

void GeqPage::bindTo(int index) {
    if (index < 0 || index >= kOutputRecords) return;
    index_ = index;
    presets_->setIndex(index_);
    presets_->fill();
    onBinding_->bindTo(outputField(output(), "geqOn"));
    watch_->bindTo(bandFields());
    refresh();
}

void GeqPage::refresh() {
    onBinding_->sync();
    refreshCurve();
    shownMeter_ = -1;
    refreshMeters();
}

void GeqPage::refreshCurve() {
    std::array<double, curves::kGeqBands> gains{};
    for (int b = 0; b < kGeqBands; ++b)
        gains[static_cast<std::size_t>(b)] =
            (state_.out(output()).geq[static_cast<std::size_t>(b)].gain - 150) * 0.1;
    view_->setGraphicGains(gains);
}

void GeqPage::refreshMeters() {
    const int v = state_.link.linkOnline ? shownMeter(state_.out(output()).meter) : 0;
    if (v == shownMeter_) return;
    shownMeter_ = v;
    meter_->setLevel(v, 0);
}

void GeqPage::startTimer() {
    if (!dragTimer_.isActive()) dragTimer_.start();
}

void GeqPage::onPointMoved(int band, double db, bool finished) {
    if (!finished) startTimer();
    if (!finished) edits_.beginDrag();
    edits_.announceUser(
        geqDragPoint(state_, edits_.sink(), pacer_, clock_->now(), output(), band, db, finished));
    if (finished) edits_.endDrag();
    if (band >= 0 && band < kGeqBands)
        emit readoutRequested(kReadoutFirstOutput + index_, kFirstBandKind + band);
}

void GeqPage::onPointReset(int band) {
    edits_.announceUser(geqResetPoint(state_, edits_.sink(), output(), band));
    if (band >= 0 && band < kGeqBands)
        emit readoutRequested(kReadoutFirstOutput + index_, kFirstBandKind + band);
}

void GeqPage::onSwept() {
    // Only the bands the sweep has moved off their stored step are set.
    std::array<std::optional<double>, kGeqBands> moved{};
    const auto& shown = view_->graphicGains();
    for (int b = 0; b < kGeqBands; ++b) {
        const double db = shown[static_cast<std::size_t>(b)];
        if (geqRawOfDb(db) != state_.out(output()).geq[static_cast<std::size_t>(b)].gain)
            moved[static_cast<std::size_t>(b)] = db;
    }
    startTimer();
    edits_.beginDrag();
    edits_.announceUser(geqDrawStep(state_, edits_.sink(), pacer_, clock_->now(), output(), moved));
}

void GeqPage::onSweepEnded() {
    onSwept();
    edits_.announceUser(geqDrawRelease(state_, edits_.sink(), pacer_, clock_->now(), output()));
    edits_.endDrag();
}

void GeqPage::flushDrag() {
    geqFlushDrag(state_, edits_.sink(), pacer_, clock_->now());
    if (!pacer_.pending() && !view_->isDragging()) dragTimer_.stop();
}

void GeqPage::setLanguage(int lang) {
    if (lang != kEnglish && lang != kChinese) return;
    title_->setText(pick(lang, "GEQ", "增益均衡"));
    onButton_->setText(pick(lang, "GEQ", "增益均衡"));
    drawButton_->setText(pick(lang, "DRAW", "画"));
    resetButton_->setText(pick(lang, "RESET", "复位"));
}

void GeqPage::layoutControls() {
    const int w = width(), h = height();
    const int margin = 10, meterW = 24;
    onButton_->setGeometry(margin + 10, 10, 80, kRow);
    presets_->setGeometry(margin + 140, 10, 150, kRow);
    drawButton_->setGeometry(margin + 310, 10, 80, kRow);
    resetButton_->setGeometry(w - 200, 10, 80, kRow);
    title_->setGeometry(margin + 410, 10, 200, kRow);
    const int plotW = w - 2 * margin - meterW - 8;
    const int plotH = std::clamp(std::min(h - 80, plotW * 3 / 8), 160, 520);
    view_->setGeometry(margin, 50, plotW, plotH);
    // The meter spans the plot itself, not the view's margins.
    const curves::PlotRect pr = curves::plotRect(plotW, plotH, true);
    meter_->setGeometry(w - margin - meterW, 50 + pr.top, meterW, pr.bottom - pr.top);
}

void GeqPage::resizeEvent(QResizeEvent* event) {
    Page::resizeEvent(event);
    layoutControls();
}

void GeqPage::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    skin::paintBackground(p, event->rect());
}

} // namespace quorvel::ui
