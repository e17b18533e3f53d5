#include "binding/edit_controller.h"

namespace quorvel::ui {

namespace {
EditOutcome lockedOutcome() {
    EditOutcome out;
    out.refusal = "Locked";
    return out;
}
} // namespace

EditController::EditController(DeviceState& state, EditSink& sink, QObject* parent)
    : QObject(parent), state_(state), sink_(sink) {}

EditOutcome EditController::edit(FieldId field, std::int32_t raw, const EditOptions& options,
                                 EditOrigin origin) {
    if (locked_ && origin == EditOrigin::Surface) return lockedOutcome();
    EditOutcome out = applyEdit(state_, sink_, field, raw, options);
    if (!out.changed.empty()) emit changed(out.changed);
    if (out.applied) emit edited(field);
    if (!out.changed.empty()) emit userChanged(out.changed, origin);
    return out;
}

EditOutcome EditController::editName(FieldId field, std::string_view gbk, EditOrigin origin) {
    if (locked_ && origin == EditOrigin::Surface) return lockedOutcome();
    EditOutcome out = applyNameEdit(state_, sink_, field, gbk);
    if (!out.changed.empty()) emit changed(out.changed);
    if (out.applied) emit edited(field);
    if (!out.changed.empty()) emit userChanged(out.changed, origin);
    return out;
}

void EditController::announce(const ChangeSet& changes) {
    if (!changes.empty()) emit changed(changes);
}

void EditController::announceUser(const ChangeSet& changes, EditOrigin origin) {
    if (changes.empty()) return;
    emit changed(changes);
    emit userChanged(changes, origin);
}

void EditController::announceUser(const ChangeSet& changes, const UserOperation& operation,
                                  EditOrigin origin) {
    if (changes.empty()) return;
    emit changed(changes);
    const UserOperation* outer = operation_;
    operation_ = &operation;
    emit userChanged(changes, origin);
    operation_ = outer;
}

void EditController::beginGesture() {
    emit gestureBegan();
}

void EditController::endGesture() {
    emit gestureEnded();
}

void EditController::beginDrag() {
    if (dragging_) return;
    dragging_ = true;
    emit gestureBegan();
}

void EditController::endDrag() {
    if (!dragging_) return;
    dragging_ = false;
    emit gestureEnded();
}

void EditController::setLocked(bool locked) {
    if (locked_ == locked) return;
    locked_ = locked;
    emit lockChanged(locked);
}

} // namespace quorvel::ui
