#include "link/pending_edits.h"

#include "link/field_registry.h"

namespace quorvel {

void PendingEdits::note(const ChangeSet& changes, const DeviceState& after) {
    if (changes.empty()) return;
    if (changes.all())
        all_ = true;
    else if (!all_)
        fields_.insert(changes.fields().begin(), changes.fields().end());
    // Copied whole at each edit: an offline edit is a person's gesture, not a stream, and the
    // copy is what a push sends if the device comes back with other values.
    if (local_)
        *local_ = after;
    else
        local_ = std::make_unique<DeviceState>(after);
}

std::size_t PendingEdits::count() const {
    return all_ ? FieldRegistry::instance().fields().size() : fields_.size();
}

void PendingEdits::clear() {
    fields_.clear();
    all_ = false;
    local_.reset();
}

bool PendingEdits::restoreInto(DeviceState& s) const {
    if (!local_) return false;
    LinkState link = s.link;
    std::string hardware = s.hardwareVersion;
    std::string basic = s.basicVersion;
    const bool updating = s.updateBusy;
    const std::int32_t reportNumber = s.reportNumber;
    s = *local_;
    s.link = std::move(link);
    s.hardwareVersion = std::move(hardware);
    s.basicVersion = std::move(basic);
    s.updateBusy = updating;
    s.reportNumber = reportNumber;
    return true;
}

} // namespace quorvel
