#include "pages/processing/output_strip.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "controls/drop_list.h"
#include "controls/fader_ctrl.h"
#include "controls/image_button.h"
#include "controls/level_meter.h"
#include "link/reports.h"
#include "pages/processing/strip_support.h"
#include "processing/strip_ops.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {

constexpr int kButtonWidth = 80;
constexpr int kRowHeight = 24;
constexpr int kEqTop = 55;
constexpr int kEqHeight = 55;
constexpr int kMeteredOutputs = 4; // the status report meters the master outputs only

} // namespace

OutputStrip::OutputStrip(DeviceState& state, EditSink& sink, int index, QWidget* parent)
    : Page(state, parent), sink_(sink), index_(index) {
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
    fader_->setValueFormatter([](int pos) { return QStringLiteral("%1 dB").arg(kFaderTop - pos - 60); });

    meter_ = new LevelMeter(1055, this);
    meter_->setObjectName("meter");
    meter_->setColumnCount(1);
    meter_->setRange(0, 70);
    meter_->setThresholds(0.7, 0.9);

    mute_ = makeSkinButton(this, 1001, "muteButton");
    nameButton_ = makeSkinButton(this, 1002, "nameButton", 100, 60, 193, 194);
    nameButton_->setStyle(ImageButton::Push);
    nameButton_->setTextSize(10);

    connect(fader_, &FaderCtrl::faderChanging, this, [this](int, int pos) { onFader(pos, false); });
    connect(fader_, &FaderCtrl::faderChanged, this, [this](int, int pos) { onFader(pos, true); });
    connect(mute_, &ImageButton::clicked, this, &OutputStrip::onMute);
    connect(fbk_, &ImageButton::clicked, this, &OutputStrip::onFbk);
    connect(line_, &ImageButton::clicked, this, &OutputStrip::onLine);
    connect(delay_, &DropList::itemChosen, this, [this](int, int i) { onDelay(i); });
    connect(comp_, &ImageButton::clicked, this, [this] {
        emit detailRequested(index_, 1);
        emit readoutRequested(readoutChannel(), 0);
    });
    connect(nameButton_, &ImageButton::clicked, this, &OutputStrip::onName);

    setLanguage(language_);
    layoutControls();
}

OutputChannel& OutputStrip::record() {
    return state_.output[static_cast<std::size_t>(index_)];
}

void OutputStrip::bindTo(int index) {
    if (index < 0 || index >= kOutputRecords) return;
    index_ = index;
    shownMeter_ = -1;
    refresh();
}

void OutputStrip::fillDelayList() {
    QStringList items;
    for (int i = 0; i < kDelaySteps; ++i)
        items << QString::fromStdString(delayLabel(i));
    delay_->setItems(items);
}

void OutputStrip::refresh() {
    const OutputChannel& o = record();
    nameButton_->setText(displayName(o.name, QStringLiteral("OUT %1").arg(output())));
    mute_->setOn(o.mute != 0);
    fbk_->setOn(o.outSwitchK != 0);
    line_->setOn(o.lineLevel != 0);
    line_->setText(o.lineLevel ? QStringLiteral("LINE") : QStringLiteral("MIC"));
    comp_->setOn(o.limiter[0] != 0);
    delay_->setSelection(o.outSwitchJ);
    refreshFader();
    shownMeter_ = -1;
    refreshMeters();
    update(eqArea());
}

void OutputStrip::refreshFader() {
    if (fader_->isDragging()) return;
    fader_->setPosition(kFaderTop - record().level);
}

void OutputStrip::refreshMeters() {
    const int v = output() <= kMeteredOutputs ? shownMeter(record().meter) : 0;
    if (v == shownMeter_) return;
    shownMeter_ = v;
    meter_->setLevel(v, 0);
}

void OutputStrip::setLanguage(int lang) {
    language_ = lang;
    mute_->setText(pick(lang, "MUTE", "静音"));
    fbk_->setText(QStringLiteral("FBK"));
    comp_->setText(pick(lang, "COMP", "限幅器"));
    line_->setText(record().lineLevel ? QStringLiteral("LINE") : QStringLiteral("MIC"));
    // The list keeps its choice across a language switch.
    fillDelayList();
    delay_->setSelection(record().outSwitchJ);
}

void OutputStrip::onFader(int position, bool finished) {
    if (finished) {
        if (!setOutputLevel(state_, sink_, output(), kFaderTop - position).members.empty())
            emit membersChanged();
    } else {
        // While the thumb moves only the model and the readout follow; the release sends.
        record().level = std::clamp(kFaderTop - position, 0, kFaderTop);
    }
    emit readoutRequested(readoutChannel(), 3);
}

void OutputStrip::onMute() {
    const EditResult r = setOutputMute(state_, sink_, output(), !mute_->isOn());
    mute_->setOn(record().mute != 0);
    emit readoutRequested(readoutChannel(), 1);
    if (!r.members.empty()) emit membersChanged();
}

void OutputStrip::onFbk() {
    const EditResult r = setOutputFbk(state_, sink_, output(), !fbk_->isOn());
    fbk_->setOn(record().outSwitchK != 0);
    if (!r.members.empty()) emit membersChanged();
}

void OutputStrip::onLine() {
    const EditResult r = setOutputLineLevel(state_, sink_, output(), record().lineLevel == 0);
    line_->setOn(record().lineLevel != 0);
    line_->setText(record().lineLevel ? QStringLiteral("LINE") : QStringLiteral("MIC"));
    if (!r.members.empty()) emit membersChanged();
}

void OutputStrip::onDelay(int index) {
    const EditResult r = setOutputDelay(state_, sink_, output(), index);
    delay_->setSelection(record().outSwitchJ);
    if (!r.members.empty()) emit membersChanged();
}

void OutputStrip::onName() {
    openNameMenu(this, displayName(record().name), [this](const std::string& gbk) {
        setOutputName(state_, sink_, output(), gbk);
        refresh();
    });
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
}

void OutputStrip::resizeEvent(QResizeEvent* event) {
    Page::resizeEvent(event);
    layoutControls();
}

void OutputStrip::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && eqArea().contains(event->position().toPoint())) {
        emit detailRequested(index_, 2);
        emit readoutRequested(readoutChannel(), 0);
        return;
    }
    Page::mousePressEvent(event);
}

void OutputStrip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paintStripBackground(p, this);
    // The equaliser area: the 31 band gains as bars around the 0 dB line.
    const QRect r = eqArea();
    p.fillRect(r, QColor(0x0B, 0x0D, 0x10));
    p.setPen(QColor(0x2C, 0x31, 0x38));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    const OutputChannel& o = record();
    const double mid = r.top() + r.height() / 2.0;
    const double bar = (r.width() - 4) / static_cast<double>(kGeqBands);
    const QColor fill = o.geqOn ? QColor(0xF0, 0xA0, 0x30) : QColor(0x6A, 0x70, 0x78);
    for (int b = 0; b < kGeqBands; ++b) {
        const double db = (o.geq[static_cast<std::size_t>(b)].gain - 150) * 0.1;
        const double h = std::clamp(db / 15.0, -1.0, 1.0) * (r.height() / 2.0 - 3);
        const QRectF rb(r.left() + 2 + b * bar, h > 0 ? mid - h : mid, std::max(1.0, bar - 1),
                        std::max(1.0, std::abs(h)));
        p.fillRect(rb, fill);
    }
    p.setPen(QColor(0x8C, 0x93, 0x9E, 120));
    p.drawLine(QPointF(r.left() + 1, mid), QPointF(r.right() - 1, mid));
}

} // namespace quorvel::ui
