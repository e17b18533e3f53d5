#include "pages/processing/input_strip.h"

#include <QPainter>
#include <QResizeEvent>

#include <algorithm>

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
#include "link/reports.h"
#include "pages/processing/strip_support.h"
#include "processing/peq_ops.h"
#include "processing/strip_ops.h"
#include "widgets/name_dialog.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {

constexpr int kButtonWidth = 80;
constexpr int kRowHeight = 24;
constexpr int kFirstLineInput = 9; // channels from here have no automixer controls
constexpr int kStateWordChannels = 8;
constexpr int kPanCentre = 100;

} // namespace

InputStrip::InputStrip(const PageContext& ctx, int index, QWidget* parent)
    : Page(ctx.state, parent), edits_(ctx.edits), index_(std::clamp(index, 0, kInputRecords - 1)) {
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

    connect(comp_, &ImageButton::clicked, this, [this] { emit detailRequested(index_, kDetailDynamics); });
    connect(eq_, &ResponseView::clicked, this, [this] { emit detailRequested(index_, kDetailPeq); });
    connect(nameButton_, &ImageButton::clicked, this, &InputStrip::onName);
    // On the effect returns 1002 is the way to their EFFECT page, not a priority switch.
    connect(priority_, &ImageButton::clicked, this, [this] {
        if (effectReturn()) emit detailRequested(index_, kDetailEffect);
    });

    bindControls();
    setLanguage(language_);
    layoutControls();
    refresh();
}

void InputStrip::bindControls() {
    const int c = channel();
    auto add = [&](FieldBinding* b, const char* field) { bound_.push_back({b, field}); };
    add(new FaderBinding(fader_, edits_, inputField(c, "level"), ValueMap::levelFader()), "level");
    auto* pan = new FaderBinding(pan_, edits_, inputField(c, "pan"));
    pan->setDoubleClickValue(kPanCentre);
    add(pan, "pan");
    add(new ToggleBinding(mute_, edits_, inputField(c, "mute")), "mute");
    priorityBinding_ = new ToggleBinding(priority_, edits_, inputField(c, "priority"));
    add(priorityBinding_, "priority");
    add(new ToggleBinding(phantom_, edits_, inputField(c, "phantom")), "phantom");
    auto* comp = new ToggleBinding(comp_, edits_, inputField(c, "compEnabled"));
    comp->setDisplayOnly(true); // pressing COMP opens the dynamics page
    add(comp, "compEnabled");
    add(new ListBinding(gain_, edits_, inputField(c, "gainStep")), "gainStep");
    auto* source = new ListBinding(source_, edits_, inputField(c, "danteSource"));
    // The only refusal of a source is a Dante input another channel already uses.
    source->setRefusalHandler([this](const std::string& why) {
        showMessage(this, QString::fromUtf8(why.empty() ? kDanteConflictMessage : why.c_str()), {},
                    "danteConflictMessage");
    });
    add(source, "danteSource");

    nameWatch_ = new WatchBinding(
        edits_, {inputField(c, "name")}, [this] { refreshName(); }, this);
    stateWatch_ = new WatchBinding(
        edits_, {inputField(c, "channelOpen"), inputField(c, "lastOpen")}, [this] { refreshStateWords(); },
        this);
    thumbWatch_ = new WatchBinding(
        edits_, thumbnailFields(), [this] { refreshThumbnail(); }, this);
}

std::vector<FieldId> InputStrip::thumbnailFields() const {
    const int c = channel();
    std::vector<FieldId> f;
    for (int band = 1; band <= kPeqSlots; ++band)
        for (const char* p : {"bandFreq", "bandGain", "bandQ", "bandType"})
            f.push_back(inputField(c, "peq[" + std::to_string(band) + "]." + p));
    for (const char* p :
         {"peqOn", "hpfFreq", "hpfType", "hpfSlope", "hpfOn", "lpfFreq", "lpfType", "lpfSlope", "lpfOn"})
        f.push_back(inputField(c, p));
    return f;
}

const InputChannel& InputStrip::record() const {
    return state_.input[static_cast<std::size_t>(index_)];
}

void InputStrip::bindTo(int index) {
    if (index < 0 || index >= kInputRecords) return;
    index_ = index;
    shownMeter_ = -1;
    shownWords_ = -1;
    // The gain list's items depend on the channel; refill it before its binding selects.
    fillGainList();
    for (const Bound& b : bound_)
        b.binding->bindTo(inputField(channel(), b.field));
    nameWatch_->bindTo(inputField(channel(), "name"));
    stateWatch_->bindTo({inputField(channel(), "channelOpen"), inputField(channel(), "lastOpen")});
    thumbWatch_->bindTo(thumbnailFields());
    refreshVisibility();
    refreshMeters();
}

void InputStrip::fillGainList() {
    QStringList items;
    for (const std::string& s : gainStepLabels(channel()))
        items << QString::fromStdString(s);
    if (gain_->count() != items.size() || gain_->itemText(0) != items.front()) gain_->setItems(items);
}

void InputStrip::refresh() {
    fillGainList();
    for (const Bound& b : bound_)
        b.binding->sync();
    refreshName();
    refreshStateWords();
    refreshThumbnail();
    refreshVisibility();
    shownMeter_ = -1;
    refreshMeters();
}

bool InputStrip::effectReturn() const {
    return channel() == kDelayRecord || channel() == kReverbRecord;
}

void InputStrip::refreshVisibility() {
    sourceLabel_->hide();
    source_->hide();
    nameLabel_->hide();
    const bool mic = channel() < kFirstLineInput;
    for (QWidget* w : {static_cast<QWidget*>(priority_), static_cast<QWidget*>(phantom_),
                       static_cast<QWidget*>(stateWord_), static_cast<QWidget*>(comp_)})
        w->setVisible(mic);
    const bool view = effectReturn();
    priorityBinding_->setDisplayOnly(view);
    if (view) {
        priority_->setOn(false);
        priority_->setVisible(true);
    }
    priority_->setText(view ? pick(language_, "EFFECT", "效果") : pick(language_, "PRIORITY", "优先"));
}

void InputStrip::refreshName() {
    const QString name = displayName(record().name, QStringLiteral("CH %1").arg(channel()));
    nameButton_->setText(name);
    nameLabel_->setText(name);
}

void InputStrip::refreshThumbnail() {
    // Channels 9 and up have no filters; the thumbnail shows what the device runs.
    eq_->setBands(curves::channelBands(record(), peqHasFilters(channel())));
}

void InputStrip::refreshStateWords() {
    const InputChannel& ch = record();
    // The automixer state comes from the device's status reports; only channels 1..8 have one.
    const bool open = channel() <= kStateWordChannels && ch.channelOpen != 0;
    const bool kept = channel() <= kStateWordChannels && ch.lastOpen != 0;
    // Every status report announces the state words; most leave them as they are.
    const int shown = (open ? 1 : 0) | (kept ? 2 : 0) | (language_ << 2);
    if (shown == shownWords_) return;
    shownWords_ = shown;
    stateWord_->setOn(open);
    stateWord_->setText(open ? pick(language_, "ACTIVE", "通道打开")
                             : pick(language_, "WAITING", "通道关闭"));
    lastKeep_->setOn(kept);
    lastKeep_->setText(kept ? pick(language_, "Last keep", "最后保持") : pick(language_, "NO", "无"));
}

void InputStrip::refreshMeters() {
    // The device meters the twelve analogue inputs; the returns show their effect's output.
    int raw = 0;
    if (channel() <= kAnalogInputs)
        raw = record().meter;
    else if (channel() == kDelayRecord)
        raw = state_.effectMeters[1];
    else if (channel() == kReverbRecord)
        raw = state_.effectMeters[3];
    const int v = shownMeter(raw);
    if (v != shownMeter_) {
        shownMeter_ = v;
        meter_->setLevel(v, 0);
    }
}

void InputStrip::setLanguage(int lang) {
    language_ = lang;
    sourceLabel_->setText(pick(lang, "SIGNAL", "信号源"));
    mute_->setText(pick(lang, "MUTE", "静音"));
    priority_->setText(effectReturn() ? pick(lang, "EFFECT", "效果") : pick(lang, "PRIORITY", "优先"));
    phantom_->setText(QStringLiteral("48V"));
    comp_->setText(pick(lang, "COMP", "压缩器"));
    refreshStateWords();
}

void InputStrip::onName() {
    openNameMenu(
        this, displayName(record().name),
        [this](const std::string& gbk) { edits_.editName(inputField(channel(), "name"), gbk); },
        {{"actionAux", pick(language_, "AUX", "辅助"), [this] { emit detailRequested(index_, kDetailAux); }},
         {"actionEffect", pick(language_, "EFFECT", "效果"),
          [this] { emit detailRequested(index_, kDetailEffect); }}});
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

} // namespace quorvel::ui
