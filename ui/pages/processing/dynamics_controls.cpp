#include "pages/processing/dynamics_controls.h"

#include <QWidget>

#include "binding/control_bindings.h"
#include "binding/edit_controller.h"
#include "controls/fader_ctrl.h"
#include "controls/level_meter.h"
#include "controls/response_view.h"
#include "controls/skin_label.h"
#include "controls/skin_store.h"
#include "link/field_registry.h"
#include "widgets/skin_style.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {

constexpr int kKnobHeight = 24;
constexpr int kInputBar = 1, kOutputBar = 2, kReductionBar = 4;

std::int32_t rawOf(const DeviceState& s, FieldId field) {
    const auto& reg = FieldRegistry::instance();
    return reg.valid(field) ? FieldRegistry::get(s, reg.field(field)) : 0;
}

} // namespace

KnobRow::KnobRow(QWidget* page, EditController& edits, const KnobDefinition& definition, FieldId field)
    : definition_(definition), edits_(edits), field_(field) {
    knob_ = new FaderCtrl(definition.knobId, page);
    knob_->setObjectName(QString::fromLatin1(definition.objectName));
    knob_->setTrackBitmaps(162, 161, true);
    knob_->setThumbBitmaps(164);
    knob_->setRange(definition.minimum, definition.maximum);
    knob_->resize(200, kKnobHeight);
    knob_->setThumbArea(0, (kKnobHeight - SkinStore::naturalSize(164).height()) / 2, 0, 0);
    caption_ = new SkinLabel(definition.labelId, page);
    caption_->setFontSize(10);
    caption_->setTextColor(skin::kLabel);
    value_ = new SkinLabel(0, page);
    value_->setObjectName(QString::fromLatin1(definition.objectName) + QStringLiteral("Value"));
    value_->setFontSize(10);
    value_->setFrame(SkinLabel::BlackEdge);
    value_->setTransparent(false);
    value_->setAlignment(1);
    if (definition.field && field != kNoField) {
        binding_ = new FaderBinding(knob_, edits, field, ValueMap::identity(), FaderBinding::Send::OnRelease);
        watch_ = new WatchBinding(
            edits, {field}, [this] { refreshValue(); }, knob_);
        // The value follows the knob while it moves, before the state is told.
        QObject::connect(knob_, &FaderCtrl::faderChanging, value_, [this](int, int) { refreshValue(); });
    }
    refreshValue();
}

void KnobRow::bindTo(FieldId field) {
    if (!binding_) return;
    field_ = field;
    binding_->bindTo(field);
    watch_->bindTo(field);
    refreshValue();
}

void KnobRow::refreshValue() {
    const std::int32_t raw = binding_ ? rawOf(edits_.state(), field_) : knob_->position();
    value_->setText(QString::fromStdString(dynamicsValueText(definition_.unit, raw)));
}

void KnobRow::place(int x, int y, int captionWidth, int knobWidth, int valueWidth) {
    caption_->setGeometry(x, y, captionWidth, kKnobHeight);
    knob_->setGeometry(x + captionWidth, y, knobWidth, kKnobHeight);
    value_->setGeometry(x + captionWidth + knobWidth + 6, y, valueWidth, kKnobHeight);
}

void KnobRow::setLanguage(int lang) {
    caption_->setText(pick(lang, definition_.en, definition_.zh));
}

void KnobRow::setVisible(bool on) {
    caption_->setVisible(on);
    knob_->setVisible(on);
    value_->setVisible(on);
}

ResponseView* makeTransferView(QWidget* page, int id, const char* objectName, int mode) {
    auto* v = new ResponseView(id, page);
    v->setObjectName(QString::fromLatin1(objectName));
    v->setMode(mode);
    v->setTransferAxes(curves::AxisBox{-60, 0, -60, 0});
    return v;
}

LevelMeter* makeDynamicsMeter(QWidget* page, int id, const char* objectName) {
    auto* m = new LevelMeter(id, page);
    m->setObjectName(QString::fromLatin1(objectName));
    m->setColumnCount(5);
    m->setRange(0, 60);
    m->setColumnMode(0, LevelMeter::Scale);
    m->setColumnMode(3, 0);
    m->setThresholds(0.7, 0.9);
    m->setBackgroundColor(QColor(0x1A, 0x1D, 0x22));
    return m;
}

void setDynamicsMeterLanguage(LevelMeter* meter, int lang) {
    meter->setColumnName(kInputBar, pick(lang, "IN", "输入"));
    meter->setColumnName(kOutputBar, pick(lang, "OUT", "输出"));
    meter->setColumnName(kReductionBar, pick(lang, "GR", "衰减"));
}

void showDynamicsMeter(LevelMeter* meter, const DynamicsMeter* values) {
    const DynamicsMeter none{};
    const DynamicsMeter& m = values ? *values : none;
    meter->setLevel(m.input, kInputBar);
    meter->setLevel(m.output, kOutputBar);
    meter->setLevel(values ? m.reduction : 0.0, kReductionBar);
}

void showCompressorCurve(ResponseView* view, std::int32_t thresholdRaw, std::int32_t ratioRaw,
                         std::int32_t gainRaw, const double* inputDb) {
    const double t = thresholdRaw - 60.0, r = ratioRaw * 0.1, g = gainRaw * 0.1;
    const curves::AxisBox& box = view->transferAxes();
    const curves::CompressorPicture pic = curves::compressorPicture(t, r, g, box);
    view->setKnees(pic.knee1, pic.knee2);
    view->setSlopes(pic.s1, pic.s2, pic.s3);
    view->setTransferHandles({pic.handles.begin(), pic.handles.end()});
    if (inputDb)
        view->setTransferPoints(
            curves::operatingPointMarks(*inputDb, curves::compressorOutput(*inputDb, t, r), box));
    else
        view->setTransferPoints({});
}

} // namespace quorvel::ui
