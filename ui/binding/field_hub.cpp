#include "binding/field_hub.h"

#include <algorithm>

#include "binding/edit_controller.h"
#include "binding/field_binding.h"
#include "link/field_registry.h"

namespace quorvel::ui {

FieldHub& FieldHub::of(EditController& edits) {
    if (auto* hub = edits.findChild<FieldHub*>(QString(), Qt::FindDirectChildrenOnly)) return *hub;
    return *new FieldHub(edits);
}

FieldHub::FieldHub(EditController& edits) : QObject(&edits) {
    byField_.resize(FieldRegistry::instance().fields().size());
    connect(&edits, &EditController::changed, this, &FieldHub::dispatch);
}

void FieldHub::attach(FieldBinding* b) {
    all_.push_back(b);
    index(b);
}

void FieldHub::detach(FieldBinding* b) {
    unindex(b);
    all_.erase(std::remove(all_.begin(), all_.end(), b), all_.end());
}

void FieldHub::index(FieldBinding* b) {
    for (FieldId f : b->fields_)
        if (f < byField_.size()) byField_[f].push_back(b);
}

void FieldHub::unindex(FieldBinding* b) {
    for (FieldId f : b->fields_) {
        if (f >= byField_.size()) continue;
        auto& list = byField_[f];
        list.erase(std::remove(list.begin(), list.end(), b), list.end());
    }
}

void FieldHub::dispatch(const ChangeSet& changes) {
    // Collected first, synced after: a binding that watches several changed fields runs once,
    // and a sync that edits nothing cannot disturb the lists being walked.
    const std::uint64_t pass = ++pass_;
    std::vector<FieldBinding*> touched;
    if (changes.all()) {
        touched = all_;
    } else {
        for (FieldId f : changes.fields()) {
            if (f >= byField_.size()) continue;
            for (FieldBinding* b : byField_[f])
                if (b->pass_ != pass) {
                    b->pass_ = pass;
                    touched.push_back(b);
                }
        }
    }
    for (FieldBinding* b : touched)
        b->sync();
}

} // namespace quorvel::ui
