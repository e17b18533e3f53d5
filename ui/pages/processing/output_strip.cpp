#include "pages/processing/output_strip.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <string>

#include "binding/control_bindings.h"
#include "binding/edit_controller.h"
#include "binding/field_ids.h"
#include "controls/drop_list.h"
#include "controls/fader_ctrl.h"
#include "controls/image_button.h"
#include "controls/level_meter.h"
#include "link/field_display.h"
#include "link/reports.h"
#include "pages/processing/strip_support.h"
#include "processing/strip_ops.h"
#include "widgets/skin_style.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {

constexpr int kButtonWidth = 80;
constexpr int kRowHeight = 24;
constexpr int kEqTop = 55;
constexpr int kEqHeight = 55;
constexpr int kMeteredOutputs = 4; // the status report meters the master outputs only
// The two meters share the width one input meter takes, so the strips' meters line up.
constexpr int kMeterGap = 2;
constexpr int kMeterWidth = (kStripMeterWidth - kMeterGap) / 2;

LevelMeter* makeMeter(QWidget* parent, int id, const char* name) {
    auto* m = new LevelMeter(id, parent);
    m->setObjectName(name);
    m->setColumnCount(1);
    m->setRange(0, 70);
    m->setThresholds(0.7, 0.9);
    return m;
}

QString lineCaption(std::int32_t lineLevel) {
    // The same words in both languages.
    return lineLevel == 1 ? QStringLiteral("LINE") : QStringLiteral("MIC");
}

} // namespace

OutputStrip::OutputStrip(const PageContext& ctx, int index, QWidget* parent)
    : Page(ctx.state, parent), edits_(ctx.edits), index_(std::clamp(index, 0, kOutputRecords - 1)) {
    language_ = languageFlag();
    setMinimumSize(100, 100);

    delay_ = new DropList(1009, this);
    delay_->setObjectName("delayList");
    delay_->setBitmaps(231, 232);
    delay_->setMaxDropHeight(320);
    fillDelayList();

    comp_ = makeSkinButton(this, 1000, "limiterButton");
    comp_->setStyle(ImageButton::Push);
    fbk_ = makeSkinButton(this, 1003, "fbkButton");
    line_ = makeSkinButton(this, 1005, "lineButton");

    fader_ = new FaderCtrl(1012, this);
    fader_->setObjectName("fader");
    fader_->setVertical(true);
    fader_->setTrackBitmaps(240);
    fader_->setThumbBitmaps(207, 209);
    fader_->setThumbArea(32, 2, 0, 5);
    fader_->setRange(0, kFaderTop);
    fader_->setShowText(false);

    meter_ = makeMeter(this, 1055, "meter");
    meter2_ = makeMeter(this, 1056, "meter2");

    mute_ = makeSkinButton(this, 1001, "muteButton");
    nameButton_ = makeSkinButton(this, 1002, "nameButton", 100, 60, 193, 194);
    nameButton_->setStyle(ImageButton::Push);
    nameButton_->setTextSize(10);

    connect(comp_, &ImageButton::clicked, this, [this] { emit detailRequested(index_, kDetailLimiter); });
    connect(nameButton_, &ImageButton::clicked, this, &OutputStrip::onName);

    bindControls();
    setLanguage(language_);
    layoutControls();
    refresh();
}

void OutputStrip::bindControls() {
    const int o = output();
    auto add = [&](FieldBinding* b, const char* field) { bound_.push_back({b, field}); };
    // The output fader sends on release only; the drag stores and shows.
    add(new FaderBinding(fader_, edits_, outputField(o, "level"), ValueMap::levelFader(),
                         FaderBinding::Send::OnRelease),
        "level");
    add(new ToggleBinding(mute_, edits_, outputField(o, "mute")), "mute");
    add(new ToggleBinding(fbk_, edits_, outputField(o, "outSwitchK")), "outSwitchK");
    auto* line = new ToggleBinding(line_, edits_, outputField(o, "lineLevel"));
    line->setCaption(lineCaption);
    add(line, "lineLevel");
    add(new ListBinding(delay_, edits_, outputField(o, "outSwitchJ")), "outSwitchJ");
    auto* limiter = new ToggleBinding(comp_, edits_, outputField(o, "limiter[1]"));
    limiter->setDisplayOnly(true); // pressing COMP opens the limiter page
    add(limiter, "limiter[1]");
    nameWatch_ = new WatchBinding(
        edits_, {outputField(o, "name")}, [this] { refreshName(); }, this);
    geqWatch_ = new WatchBinding(
        edits_, geqFields(), [this] { update(eqArea()); }, this);
}

std::vector<FieldId> OutputStrip::geqFields() const {
    std::vector<FieldId> f;
    for (int b = 1; b <= kGeqBands; ++b)
        f.push_back(outputField(output(), "geq[" + std::to_string(b) + "]"));
    f.push_back(outputField(output(), "geqOn"));
    return f;
}

const OutputChannel& OutputStrip::record() const {
    return state_.output[static_cast<std::size_t>(index_)];
}

void OutputStrip::bindTo(int index) {
    if (index < 0 || index >= kOutputRecords) return;
    index_ = index;
    shownMeter_ = -1;
    for (const Bound& b : bound_)
        b.binding->bindTo(outputField(output(), b.field));
    nameWatch_->bindTo(outputField(output(), "name"));
    geqWatch_->bindTo(geqFields());
    refreshMeters();
}

void OutputStrip::fillDelayList() {
    QStringList items;
    for (int i = 0; i < kDelaySteps; ++i)
        items << QString::fromStdString(delayLabel(i));
    delay_->setItems(items);
}

void OutputStrip::refresh() {
    for (const Bound& b : bound_)
        b.binding->sync();
    refreshName();
    shownMeter_ = -1;
    refreshMeters();
    update(eqArea());
}

void OutputStrip::refreshName() {
    nameButton_->setText(displayName(record().name, QStringLiteral("OUT %1").arg(output())));
}

void OutputStrip::refreshMeters() {
    // The device meters each output once; both bars show that level.
    const int v = output() <= kMeteredOutputs ? shownMeter(record().meter) : 0;
    if (v == shownMeter_) return;
    shownMeter_ = v;
    meter_->setLevel(v, 0);
    meter2_->setLevel(v, 0);
}

void OutputStrip::setLanguage(int lang) {
    language_ = lang;
    mute_->setText(pick(lang, "MUTE", "静音"));
    fbk_->setText(QStringLiteral("FBK"));
    comp_->setText(pick(lang, "COMP", "限幅器"));
    // The list keeps its choice across a language switch.
    fillDelayList();
    for (const Bound& b : bound_)
        if (std::string_view(b.field) == "outSwitchJ") b.binding->sync();
}

void OutputStrip::onName() {
    openNameMenu(this, displayName(record().name),
                 [this](const std::string& gbk) { edits_.editName(outputField(output(), "name"), gbk); });
}

QRect OutputStrip::eqArea() const {
    return QRect(4, kEqTop, std::max(0, width() - 8), kEqHeight);
}

void OutputStrip::layoutControls() {
    const int w = width();
    const int cx = w / 2;
    delay_->setGeometry(cx - 50, 25, 100, kRowHeight);
    const std::pair<ImageButton*, int> rows[] = {{comp_, 115}, {fbk_, 145}, {line_, 175}, {mute_, 520}};
    for (auto [b, y] : rows)
        b->setGeometry(cx - kButtonWidth / 2, y, kButtonWidth, kRowHeight);
    nameButton_->setGeometry(cx - 50, 580, 100, 60);
    placeFaderAndMeter(fader_, meter_, w);
    const QRect pair = meter_->geometry();
    meter_->setGeometry(pair.x(), pair.y(), kMeterWidth, pair.height());
    meter2_->setGeometry(pair.x() + kMeterWidth + kMeterGap, pair.y(), kMeterWidth, pair.height());
}

void OutputStrip::resizeEvent(QResizeEvent* event) {
    Page::resizeEvent(event);
    layoutControls();
}

void OutputStrip::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && eqArea().contains(event->position().toPoint())) {
        emit detailRequested(index_, kDetailGeq);
        return;
    }
    Page::mousePressEvent(event);
}

void OutputStrip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paintStripBackground(p, this);
    // The equaliser area: the 31 band gains as bars around the 0 dB line.
    const QRect r = eqArea();
    p.fillRect(r, skin::kInsetFill);
    p.setPen(skin::kInsetBorder);
    p.drawRect(r.adjusted(0, 0, -1, -1));
    const OutputChannel& o = record();
    const double mid = r.top() + r.height() / 2.0;
    const double bar = (r.width() - 4) / static_cast<double>(kGeqBands);
    const QColor& fill = o.geqOn ? skin::kCurveActive : skin::kCurveBypassed;
    for (int b = 0; b < kGeqBands; ++b) {
        const double db = toDisplayUnit(DisplayFormat::Gain150, o.geq[static_cast<std::size_t>(b)].gain);
        const double h = std::clamp(db / 15.0, -1.0, 1.0) * (r.height() / 2.0 - 3);
        const QRectF rb(r.left() + 2 + b * bar, h > 0 ? mid - h : mid, std::max(1.0, bar - 1),
                        std::max(1.0, std::abs(h)));
        p.fillRect(rb, fill);
    }
    p.setPen(skin::kZeroLine);
    p.drawLine(QPointF(r.left() + 1, mid), QPointF(r.right() - 1, mid));
}

} // namespace quorvel::ui
