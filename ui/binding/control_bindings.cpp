#include "binding/control_bindings.h"

#include <algorithm>

#include "binding/edit_controller.h"
#include "controls/drop_list.h"
#include "controls/fader_ctrl.h"
#include "controls/image_button.h"
#include "link/field_display.h"
#include "processing/knob_defaults.h"
#include "processing/strip_ops.h"

namespace quorvel::ui {

ValueMap ValueMap::identity() {
    return {[](std::int32_t raw) { return static_cast<int>(raw); },
            [](int position) { return static_cast<std::int32_t>(position); }};
}

ValueMap ValueMap::levelFader() {
    return {[](std::int32_t level) { return kFaderTop - static_cast<int>(level); },
            [](int position) { return static_cast<std::int32_t>(kFaderTop - position); },
            // The tooltip reads as the readout does: one format for a level wherever it shows.
            [](std::int32_t level) {
                return QString::fromStdString(formatDisplayValue(DisplayFormat::Db60, level));
            }};
}

FaderBinding::FaderBinding(FaderCtrl* fader, EditController& edits, FieldId field, ValueMap map, Send send)
    : FieldBinding(edits, {field}, fader), fader_(fader), map_(map), send_(send) {
    if (map_.text) {
        const ValueMap m = map_;
        fader_->setValueFormatter([m](int position) { return m.text(m.toRaw(position)); });
    }
    connect(fader_, &FaderCtrl::faderChanging, this, [this](int, int pos) { onMove(pos, false); });
    connect(fader_, &FaderCtrl::faderChanged, this, [this](int, int pos) { onMove(pos, true); });
    connect(fader_, &FaderCtrl::faderDoubleClicked, this, [this](int, int) {
        // The field is looked up now: a detail strip may show another channel since.
        const std::optional<std::int32_t> target =
            resetOnDoubleClick_ ? std::optional<std::int32_t>(resetValue_) : knobDefault(this->field());
        if (!target) return;
        edit(*target);
        sync();
    });
    sync();
}

FaderBinding::~FaderBinding() {
    // At shutdown the controller may already be gone.
    if (gesture_) gesture_->endGesture();
}

void FaderBinding::setDoubleClickValue(std::int32_t raw) {
    resetOnDoubleClick_ = true;
    resetValue_ = raw;
}

void FaderBinding::sync() {
    // The hand on the fader wins over the device; the release syncs again.
    if (fader_->isDragging()) return;
    fader_->setPosition(map_.toControl(value()));
}

void FaderBinding::onMove(int position, bool finished) {
    EditOptions o = options_;
    if (send_ == Send::OnRelease && !finished) o.queue = false;
    if (!finished && !gesture_) {
        gesture_ = &edits_;
        edits_.beginGesture();
    }
    edit(map_.toRaw(position), o);
    if (finished && gesture_) {
        gesture_ = nullptr;
        edits_.endGesture();
    }
    // A value the field clamped, or a report that came during the drag, shows now.
    if (finished) sync();
}

ToggleBinding::ToggleBinding(ImageButton* button, EditController& edits, FieldId field, std::int32_t on,
                             std::int32_t off)
    : FieldBinding(edits, {field}, button), button_(button), on_(on), off_(off) {
    connect(button_, &ImageButton::clicked, this, &ToggleBinding::onClick);
    sync();
}

void ToggleBinding::setCaption(std::function<QString(std::int32_t)> caption) {
    caption_ = std::move(caption);
    sync();
}

void ToggleBinding::sync() {
    const std::int32_t v = value();
    button_->setOn(v == on_);
    if (caption_) button_->setText(caption_(v));
}

void ToggleBinding::onClick() {
    if (displayOnly_) return;
    const EditOutcome out = edit(value() == on_ ? off_ : on_);
    if (!out.applied) sync();
}

ListBinding::ListBinding(DropList* list, EditController& edits, FieldId field,
                         std::vector<std::int32_t> values)
    : FieldBinding(edits, {field}, list), list_(list), values_(std::move(values)) {
    connect(list_, &DropList::itemChosen, this, [this](int, int index) { onChosen(index); });
    sync();
}

void ListBinding::sync() {
    const std::int32_t v = value();
    if (values_.empty()) {
        list_->setSelection(static_cast<int>(v));
        return;
    }
    const auto it = std::find(values_.begin(), values_.end(), v);
    list_->setSelection(it == values_.end() ? -1 : static_cast<int>(it - values_.begin()));
}

void ListBinding::onChosen(int index) {
    if (index < 0) return;
    std::int32_t raw = index;
    if (!values_.empty()) {
        if (static_cast<std::size_t>(index) >= values_.size()) return;
        raw = values_[static_cast<std::size_t>(index)];
    }
    const EditOutcome out = edit(raw);
    if (out.applied) return;
    sync();
    // The lock says so in its own bar; a page's refusal text would name the wrong reason.
    if (refusal_ && !edits_.locked()) refusal_(out.refusal);
}

} // namespace quorvel::ui
