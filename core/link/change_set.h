// Which fields of DeviceState changed: what an edit returns and what a report announces, so that
// every view repaints only what shows them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace quorvel {

// A field's position in FieldRegistry::fields(); stable for the life of the process.
using FieldId = std::uint32_t;

class ChangeSet {
public:
    // A new device state as a whole (full-state report, scene load): every view rebuilds.
    static ChangeSet everything() {
        ChangeSet c;
        c.all_ = true;
        return c;
    }

    void add(FieldId id) {
        if (all_ || contains(id)) return;
        fields_.push_back(id);
    }
    void merge(const ChangeSet& other) {
        if (other.all_) {
            all_ = true;
            fields_.clear();
            return;
        }
        for (FieldId id : other.fields_)
            add(id);
    }

    bool all() const { return all_; }
    bool empty() const { return !all_ && fields_.empty(); }
    bool contains(FieldId id) const {
        return all_ || std::find(fields_.begin(), fields_.end(), id) != fields_.end();
    }
    // In the order they were written, without repeats; empty when all() is set.
    const std::vector<FieldId>& fields() const { return fields_; }

private:
    bool all_ = false;
    std::vector<FieldId> fields_;
};

} // namespace quorvel
