#include "pages/processing/input_strip.h"

#include <QPainter>
#include <QResizeEvent>

#include <algorithm>

#include "controls/drop_list.h"
#include "controls/fader_ctrl.h"
#include "controls/image_button.h"
#include "controls/level_meter.h"
#include "controls/response_view.h"
#include "controls/skin_label.h"
#include "curves/eq_response.h"
#include "link/reports.h"
#include "pages/processing/strip_support.h"
#include "processing/strip_ops.h"
#include "widgets/name_dialog.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {

constexpr int kButtonWidth = 80;
constexpr int kRowHeight = 24;
constexpr int kReadoutMute = 1;
constexpr int kReadoutVolume = 3;
constexpr int kFirstLineInput = 9; // channels from here have no automixer controls
constexpr int kStateWordChannels = 8;

} // namespace

InputStrip::InputStrip(DeviceState& state, EditSink& sink, int index, QWidget* parent)
    : Page(state, parent), sink_(sink), index_(index) {
    language_ = languageFlag();
    setMinimumSize(kMinimumSize);

    sourceLabel_ = new SkinLabel(1153, this);
    sourceLabel_->setObjectName("sourceLabel");
    sourceLabel_->setGeometry(2, 5, 100, 20);
    source_ = new DropList(1009, this);
    source_->setObjectName("sourceList");
    source_->setBitmaps(231, 232);
    source_->setGeometry(2, 25, 100, kRowHeight);
    source_->setItems({"ANALOG", "D1", "D2", "D3", "D4"});

    eq_ = new ResponseView(1011, this);
    eq_->setObjectName("eqThumbnail");
    eq_->setAxesShown(false);
    eq_->setLabelsShown(false);
    eq_->setInputEnabled(false);
    eq_->setLevelRange(-15.0, 15.0);
    eq_->setGeometry(2, 50, 100, 60);

    pan_ = new FaderCtrl(1013, this);
    pan_->setObjectName("panKnob");
    pan_->setTrackBitmaps(185, 186, true);
    pan_->setThumbBitmaps(187);
    pan_->setRange(0, 200);
    pan_->setGeometry(2, 115, 100, 20);
    pan_->hide(); // the device mixes mono; the knob exists for the pan field only

    gain_ = new DropList(1010, this);
    gain_->setObjectName("gainList");
    gain_->setBitmaps(231, 232);
    gain_->setGeometry(2, 115, 100, kRowHeight);

    comp_ = makeSkinButton(this, 1000, "compButton");
    priority_ = makeSkinButton(this, 1002, "priorityButton");
    phantom_ = makeSkinButton(this, 1005, "phantomButton");
    stateWord_ = makeSkinButton(this, 1004, "stateButton");
    lastKeep_ = makeSkinButton(this, 1248, "lastKeepButton");
    nameLabel_ = new SkinLabel(1014, this);
    nameLabel_->setObjectName("nameLabel");
    nameLabel_->setGeometry(2, 260, 100, 20);

    fader_ = new FaderCtrl(1012, this);
    fader_->setObjectName("fader");
    fader_->setVertical(true);
    fader_->setTrackBitmaps(191);
    fader_->setThumbBitmaps(192, 209);
    fader_->setThumbArea(32, 2, 0, 5);
    fader_->setRange(0, kFaderTop);
    fader_->setShowText(false);
    fader_->setValueFormatter([](int pos) { return QStringLiteral("%1 dB").arg(kFaderTop - pos - 60); });
    fader_->move(2, kStripFaderY);

    meter_ = new LevelMeter(1006, this);
    meter_->setObjectName("meter");
    meter_->setColumnCount(1);
    meter_->setRange(0, 70);
    meter_->setThresholds(0.7, 0.9);
    meter_->setGeometry(60, kStripFaderY, kStripMeterWidth, kStripMeterHeight);

    mute_ = makeSkinButton(this, 1001, "muteButton");
    nameButton_ = makeSkinButton(this, 1003, "nameButton", 100, 60, 193, 194);
    nameButton_->setStyle(ImageButton::Push);
    nameButton_->setTextSize(10);

    connect(fader_, &FaderCtrl::faderChanging, this, [this](int, int pos) { onFader(pos); });
    connect(fader_, &FaderCtrl::faderChanged, this, [this](int, int pos) { onFader(pos); });
    connect(pan_, &FaderCtrl::faderChanged, this, [this](int, int pos) {
        setInputPan(state_, sink_, channel(), pos);
        emit readoutRequested(index_, 4);
    });
    connect(pan_, &FaderCtrl::faderDoubleClicked, this, [this](int, int) {
        pan_->setPosition(100);
        setInputPan(state_, sink_, channel(), 100);
        emit readoutRequested(index_, 4);
    });
    connect(mute_, &ImageButton::clicked, this, &InputStrip::onMute);
    connect(priority_, &ImageButton::clicked, this, &InputStrip::onPriority);
    connect(phantom_, &ImageButton::clicked, this, &InputStrip::onPhantom);
    connect(comp_, &ImageButton::clicked, this, [this] { onDetail(1); });
    connect(eq_, &ResponseView::clicked, this, [this] { onDetail(2); });
    connect(gain_, &DropList::itemChosen, this, [this](int, int i) { onGain(i); });
    connect(source_, &DropList::itemChosen, this, [this](int, int i) { onSource(i); });
    connect(nameButton_, &ImageButton::clicked, this, &InputStrip::onName);

    levelFlush_.setSingleShot(true);
    connect(&levelFlush_, &QTimer::timeout, this, &InputStrip::flushLevel);
    selectorTimer_.setInterval(100);
    connect(&selectorTimer_, &QTimer::timeout, this, [this] {
        if (!selectorRefresh_) return;
        selectorRefresh_ = false;
        source_->setSelection(record().danteSource);
        gain_->setSelection(record().gainStep);
    });

    setLanguage(language_);
    layoutControls();
}

InputChannel& InputStrip::record() {
    return state_.input[static_cast<std::size_t>(index_)];
}

void InputStrip::bindTo(int index) {
    if (index < 0 || index >= kInputRecords) return;
    levelFlush_.stop();
    flushLevel(); // the last move of the previous channel still goes out
    index_ = index;
    shownMeter_ = -1;
    refresh();
}

void InputStrip::fillGainList() {
    QStringList items;
    for (const std::string& s : gainStepLabels(channel()))
        items << QString::fromStdString(s);
    if (gain_->count() != items.size() || gain_->itemText(0) != items.front()) gain_->setItems(items);
}

void InputStrip::refresh() {
    const InputChannel& ch = record();
    const QString name = displayName(ch.name, QStringLiteral("CH %1").arg(channel()));
    nameButton_->setText(name);
    nameLabel_->setText(name);
    mute_->setOn(ch.mute != 0);
    comp_->setOn(ch.dynamics.compEnabled != 0);
    priority_->setOn(ch.priority != 0);
    phantom_->setOn(ch.phantom != 0);
    fillGainList();
    gain_->setSelection(ch.gainStep);
    source_->setSelection(ch.danteSource);
    sourceLabel_->hide();
    source_->hide();
    nameLabel_->hide();
    const bool mic = channel() < kFirstLineInput;
    for (QWidget* w : {static_cast<QWidget*>(priority_), static_cast<QWidget*>(phantom_),
                       static_cast<QWidget*>(stateWord_), static_cast<QWidget*>(comp_)})
        w->setVisible(mic);
    refreshStateWords();
    refreshFader();
    refreshThumbnail();
    shownMeter_ = -1;
    refreshMeters();
}

void InputStrip::refreshFader() {
    if (fader_->isDragging()) return; // the hand on the fader wins over the device
    fader_->setPosition(kFaderTop - record().level);
}

void InputStrip::refreshThumbnail() {
    eq_->setBands(curves::channelBands(record(), true));
}

void InputStrip::refreshStateWords() {
    const InputChannel& ch = record();
    // The automixer state comes from the device's status reports; only channels 1..8 have one.
    const bool open = channel() <= kStateWordChannels && ch.channelOpen != 0;
    stateWord_->setOn(open);
    stateWord_->setText(open ? pick(language_, "ACTIVE", "通道打开")
                             : pick(language_, "WAITING", "通道关闭"));
    const bool kept = channel() <= kStateWordChannels && ch.lastOpen != 0;
    lastKeep_->setOn(kept);
    lastKeep_->setText(kept ? pick(language_, "Last keep", "最后保持") : pick(language_, "NO", "无"));
}

void InputStrip::refreshMeters() {
    // Only the twelve analogue inputs are metered by the device.
    const int v = channel() <= kAnalogInputs ? shownMeter(record().meter) : 0;
    if (v != shownMeter_) {
        shownMeter_ = v;
        meter_->setLevel(v, 0);
    }
    if (channel() <= kStateWordChannels &&
        (stateWord_->isOn() != (record().channelOpen != 0) || lastKeep_->isOn() != (record().lastOpen != 0)))
        refreshStateWords();
}

void InputStrip::setLanguage(int lang) {
    language_ = lang;
    sourceLabel_->setText(pick(lang, "SIGNAL", "信号源"));
    mute_->setText(pick(lang, "MUTE", "静音"));
    priority_->setText(pick(lang, "PRIORITY", "优先"));
    phantom_->setText(QStringLiteral("48V"));
    comp_->setText(pick(lang, "COMP", "压缩器"));
    refreshStateWords();
}

void InputStrip::afterEdit(bool membersTouched) {
    if (membersTouched) emit membersChanged();
}

void InputStrip::onFader(int position) {
    const auto now = std::chrono::steady_clock::now();
    const auto busy = linkedLevelBusyTime(state_, channel());
    EditResult r;
    if (busy.count() == 0 || (!levelPending_ && now >= wireFreeAt_)) {
        r = setInputLevel(state_, sink_, channel(), kFaderTop - position);
        wireFreeAt_ = now + busy;
    } else {
        DiscardSink later;
        r = setInputLevel(state_, later, channel(), kFaderTop - position);
        levelPending_ = true;
        if (!levelFlush_.isActive()) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wireFreeAt_ - now);
            levelFlush_.start(std::max<int>(1, static_cast<int>(wait.count())));
        }
    }
    emit readoutRequested(index_, kReadoutVolume);
    emit thumbnailChanged();
    afterEdit(!r.members.empty());
}

void InputStrip::flushLevel() {
    if (!levelPending_) return;
    levelPending_ = false;
    queueInputLevel(state_, sink_, channel());
    wireFreeAt_ = std::chrono::steady_clock::now() + linkedLevelBusyTime(state_, channel());
}

void InputStrip::onMute() {
    const EditResult r = setInputMute(state_, sink_, channel(), !mute_->isOn());
    mute_->setOn(record().mute != 0);
    emit readoutRequested(index_, kReadoutMute);
    emit thumbnailChanged();
    afterEdit(!r.members.empty());
}

void InputStrip::onPriority() {
    const EditResult r = setInputPriority(state_, sink_, channel(), !priority_->isOn());
    priority_->setOn(record().priority != 0);
    afterEdit(!r.members.empty());
}

void InputStrip::onPhantom() {
    const EditResult r = setInputPhantom(state_, sink_, channel(), !phantom_->isOn());
    phantom_->setOn(record().phantom != 0);
    afterEdit(!r.members.empty());
}

void InputStrip::onGain(int index) {
    const EditResult r = setGainStep(state_, sink_, channel(), index);
    gain_->setSelection(record().gainStep);
    afterEdit(!r.members.empty());
}

void InputStrip::onSource(int index) {
    if (selectSource(state_, sink_, channel(), index) == SourceResult::Conflict) {
        source_->setSelection(record().danteSource);
        showMessage(this, QString::fromUtf8(kDanteConflictMessage), {}, "danteConflictMessage");
    }
}

void InputStrip::onDetail(int type) {
    emit detailRequested(index_, type);
    emit readoutRequested(index_, 0);
}

void InputStrip::onName() {
    openNameMenu(this, displayName(record().name), [this](const std::string& gbk) {
        setInputName(state_, sink_, channel(), gbk);
        refresh();
    });
}

void InputStrip::layoutControls() {
    const int w = width();
    const int cx = w / 2;
    eq_->setGeometry(4, 50, std::max(0, w - 8), 60);
    source_->setGeometry(cx - 50, 25, 100, kRowHeight);
    gain_->setGeometry(cx - 50, 115, 100, kRowHeight);
    const std::pair<ImageButton*, int> rows[] = {{comp_, 145},      {priority_, 175}, {phantom_, 205},
                                                 {stateWord_, 235}, {lastKeep_, 265}, {mute_, 520}};
    for (auto [b, y] : rows)
        b->setGeometry(cx - kButtonWidth / 2, y, kButtonWidth, kRowHeight);
    nameButton_->setGeometry(cx - 50, 580, 100, 60);
    placeFaderAndMeter(fader_, meter_, w);
}

void InputStrip::resizeEvent(QResizeEvent* event) {
    Page::resizeEvent(event);
    layoutControls();
}

void InputStrip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paintStripBackground(p, this);
}

void InputStrip::showEvent(QShowEvent* event) {
    Page::showEvent(event);
    selectorTimer_.start();
}

void InputStrip::hideEvent(QHideEvent* event) {
    selectorTimer_.stop();
    Page::hideEvent(event);
}

} // namespace quorvel::ui
