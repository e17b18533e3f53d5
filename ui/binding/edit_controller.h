// The UI end of the one edit path: every user edit of every page goes through edit(), which runs
// the Qt-free applyEdit and then tells every view which fields changed. Reports and multi-step
// operations announce their changes through the same signal, so a view has one place to listen.
#pragma once

#include <QObject>

#include <cstdint>
#include <string_view>

#include "link/change_set.h"
#include "link/edit.h"

namespace quorvel::ui {

class EditController : public QObject {
    Q_OBJECT
public:
    EditController(DeviceState& state, EditSink& sink, QObject* parent = nullptr);

    DeviceState& state() const { return state_; }
    EditSink& sink() const { return sink_; }

    // A user edit: applyEdit, then changed() with what it wrote and edited() for the readout.
    EditOutcome edit(FieldId field, std::int32_t raw, const EditOptions& options = {});
    EditOutcome editName(FieldId field, std::string_view gbk);
    // Changes made elsewhere (a report, CLEAR MUTE, a recall): every view that shows them follows.
    void announce(const ChangeSet& changes);
    // An operation of several steps aimed at one field (an AUX MUTE): the readout shows it.
    void pointAt(FieldId field) { emit edited(field); }

signals:
    void changed(const quorvel::ChangeSet& changes);
    // The field a user edit was aimed at: the readout shows it.
    void edited(quorvel::FieldId field);

private:
    DeviceState& state_;
    EditSink& sink_;
};

} // namespace quorvel::ui
