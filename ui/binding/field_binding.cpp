#include "binding/field_binding.h"

#include "binding/edit_controller.h"
#include "binding/field_hub.h"
#include "link/field_registry.h"

namespace quorvel::ui {

FieldBinding::FieldBinding(EditController& edits, std::vector<FieldId> fields, QObject* parent)
    : QObject(parent), edits_(edits), hub_(&FieldHub::of(edits)), fields_(std::move(fields)) {
    hub_->attach(this);
}

FieldBinding::~FieldBinding() {
    if (hub_) hub_->detach(this);
}

void FieldBinding::bindTo(std::vector<FieldId> fields) {
    if (hub_) hub_->unindex(this);
    fields_ = std::move(fields);
    if (hub_) hub_->index(this);
    sync();
}

std::int32_t FieldBinding::value() const {
    const auto& all = FieldRegistry::instance().fields();
    const FieldId f = field();
    if (f >= all.size()) return 0;
    return FieldRegistry::get(edits_.state(), all[f]);
}

EditOutcome FieldBinding::edit(std::int32_t raw, const EditOptions& options) {
    if (field() >= FieldRegistry::instance().fields().size()) return {};
    return edits_.edit(field(), raw, options);
}

WatchBinding::WatchBinding(EditController& edits, std::vector<FieldId> fields, std::function<void()> onChange,
                           QObject* parent)
    : FieldBinding(edits, std::move(fields), parent), onChange_(std::move(onChange)) {}

void WatchBinding::sync() {
    if (onChange_) onChange_();
}

} // namespace quorvel::ui
