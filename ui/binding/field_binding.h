// A binding ties one control to one field of DeviceState (a watcher to several): the user's
// change goes to the edit operation, the change notification brings the control back in line with
// the state. Bindings are children of their control and die with it.
#pragma once

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <vector>

#include "binding/field_ids.h"
#include "link/change_set.h"
#include "link/edit.h"

namespace quorvel::ui {

class EditController;
class FieldHub;

class FieldBinding : public QObject {
    Q_OBJECT
public:
    ~FieldBinding() override;

    // The field a user change edits; the others (watchers only) are shown but never written.
    FieldId field() const { return fields_.empty() ? kNoField : fields_.front(); }
    const std::vector<FieldId>& fields() const { return fields_; }
    // Point the binding at another record's field (a detail strip showing another channel) and
    // show its value at once.
    void bindTo(FieldId field) { bindTo(std::vector<FieldId>{field}); }
    void bindTo(std::vector<FieldId> fields);

    // Bring the control in line with DeviceState.
    virtual void sync() = 0;

    // The options every edit of this binding is made with (the 48V page copies to no member).
    void setEditOptions(const EditOptions& o) { options_ = o; }

protected:
    FieldBinding(EditController& edits, std::vector<FieldId> fields, QObject* parent);

    std::int32_t value() const;
    EditOutcome edit(std::int32_t raw) { return edit(raw, options_); }
    EditOutcome edit(std::int32_t raw, const EditOptions& options);

    EditController& edits_;
    EditOptions options_;

private:
    friend class FieldHub;
    QPointer<FieldHub> hub_;
    std::vector<FieldId> fields_;
    std::uint64_t pass_ = 0; // the hub's dispatch that last synced it, so a watcher runs once
};

// Runs a function when any of its fields changes: captions, state words, thumbnails, anything
// drawn from several fields.
class WatchBinding : public FieldBinding {
    Q_OBJECT
public:
    WatchBinding(EditController& edits, std::vector<FieldId> fields, std::function<void()> onChange,
                 QObject* parent);
    void sync() override;

private:
    std::function<void()> onChange_;
};

} // namespace quorvel::ui
