// The UI end of the one edit path: every user edit of every page goes through edit(), which runs
// the Qt-free applyEdit and then tells every view which fields changed. Reports and multi-step
// operations announce their changes through the same signal, so a view has one place to listen.
#pragma once

#include <QObject>

#include <cstdint>
#include <string_view>

#include "link/change_set.h"
#include "link/edit.h"
#include "link/edit_history.h"

namespace quorvel::ui {

// Who made a change: the lock holds back this window's surface only; undo records what the surface
// and the remote clients did, and replays through the same path without recording anew.
enum class EditOrigin : std::uint8_t { Surface, Remote, History };

class EditController : public QObject {
    Q_OBJECT
public:
    EditController(DeviceState& state, EditSink& sink, QObject* parent = nullptr);

    DeviceState& state() const { return state_; }
    EditSink& sink() const { return sink_; }

    // A user edit: applyEdit, then changed() with what it wrote and edited() for the readout.
    // Refused, with nothing stored or sent, while the surface is locked (Surface origin only).
    EditOutcome edit(FieldId field, std::int32_t raw, const EditOptions& options = {},
                     EditOrigin origin = EditOrigin::Surface);
    EditOutcome editName(FieldId field, std::string_view gbk, EditOrigin origin = EditOrigin::Surface);
    // Changes made elsewhere (a report, a device answer): every view that shows them follows.
    void announce(const ChangeSet& changes);
    // What a user operation of several steps wrote (CLEAR MUTE, a recall, a reset): announced like
    // a report, and also reported as the user's change.
    void announceUser(const ChangeSet& changes, EditOrigin origin = EditOrigin::Surface);
    // The same, for an operation whose frames undo must send its own way (a recall's block).
    void announceUser(const ChangeSet& changes, const UserOperation& operation,
                      EditOrigin origin = EditOrigin::Surface);
    // The operation being announced, while userChanged() is emitted; nullptr otherwise.
    const UserOperation* operation() const { return operation_; }

    // Edits between these are one gesture (a drag, a knob turn): undone as one step.
    void beginGesture();
    void endGesture();
    // A page's drag (a curve handle, an AUX strip): the first move opens the gesture, the release
    // closes it; one hand drags one thing at a time.
    void beginDrag();
    void endDrag();

    // The surface lock: edits from this window are refused; meters and reports go on.
    void setLocked(bool locked);
    bool locked() const { return locked_; }
    // An operation of several steps aimed at one field (an AUX MUTE): the readout shows it.
    void pointAt(FieldId field) { emit edited(field); }

signals:
    void changed(const quorvel::ChangeSet& changes);
    // The field a user edit was aimed at: the readout shows it.
    void edited(quorvel::FieldId field);
    // After changed(): what a user (or a remote client, or undo) changed, not what a report did.
    void userChanged(const quorvel::ChangeSet& changes, quorvel::ui::EditOrigin origin);
    void lockChanged(bool locked);
    void gestureBegan();
    void gestureEnded();

private:
    DeviceState& state_;
    EditSink& sink_;
    bool locked_ = false;
    const UserOperation* operation_ = nullptr;
    bool dragging_ = false;
};

} // namespace quorvel::ui
