#include "binding/edit_controller.h"

namespace quorvel::ui {

EditController::EditController(DeviceState& state, EditSink& sink, QObject* parent)
    : QObject(parent), state_(state), sink_(sink) {}

EditOutcome EditController::edit(FieldId field, std::int32_t raw, const EditOptions& options) {
    EditOutcome out = applyEdit(state_, sink_, field, raw, options);
    if (!out.changed.empty()) emit changed(out.changed);
    if (out.applied) emit edited(field);
    return out;
}

EditOutcome EditController::editName(FieldId field, std::string_view gbk) {
    EditOutcome out = applyNameEdit(state_, sink_, field, gbk);
    if (!out.changed.empty()) emit changed(out.changed);
    if (out.applied) emit edited(field);
    return out;
}

void EditController::announce(const ChangeSet& changes) {
    if (!changes.empty()) emit changed(changes);
}

} // namespace quorvel::ui
