// Undo and redo of the user's edits. The history watches every change (a user edit, a report, a
// replay of its own) and keeps a copy of each field's value, so the value before an operation that
// writes first and announces afterwards is still known. It never sits on the edit path: whatever
// state it is in, edits go on, and a step that can no longer be taken back is refused, not forced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "link/change_set.h"
#include "link/device_state.h"
#include "link/edit.h"
#include "link/edit_sink.h"

namespace quorvel {

// Queues the frames an operation of several steps sends for the state as it now stands (a recall's
// block frame, a scene's transfer). Without one, a step sends the carriers of the fields it wrote.
using Resend = std::function<void(DeviceState& s, EditSink& sink)>;

// What a user operation of several steps tells the history beyond the fields it wrote.
struct UserOperation {
    Resend resend;
    std::string en; // the step's name in the Edit menu; empty: named after its first field
    std::string zh;
};

inline UserOperation resendingWith(Resend resend, std::string en = {}, std::string zh = {}) {
    UserOperation op;
    op.resend = std::move(resend);
    op.en = std::move(en);
    op.zh = std::move(zh);
    return op;
}

struct HistoryEntry {
    FieldId field = 0;
    std::int32_t before = 0;
    std::int32_t after = 0;
    std::string beforeName; // GBK, name fields only
    std::string afterName;
};

struct HistoryStep {
    std::vector<HistoryEntry> entries; // in the order first written
    // An edit aimed at one field (and its group copies): undone and redone through the edit
    // operation itself, so the frames are the ones that edit sends.
    std::optional<FieldId> aimed;
    bool wholeState = false; // a scene recall
    UserOperation operation;
};

// How undo and redo reach the edit path (the application's edit controller, with origin History).
class HistoryTarget {
public:
    virtual ~HistoryTarget() = default;
    virtual DeviceState& state() = 0;
    virtual EditSink& sink() = 0;
    virtual EditOutcome edit(FieldId field, std::int32_t raw, const EditOptions& options) = 0;
    virtual EditOutcome editName(FieldId field, std::string_view gbk) = 0;
    // What a replayed operation step wrote, announced as a user operation of several steps.
    virtual void announce(const ChangeSet& changes) = 0;
};

struct HistoryResult {
    bool done = false;
    std::string refusal; // UTF-8, why nothing was done
};

class EditHistory {
public:
    static constexpr std::size_t kDefaultLimit = 1000;

    explicit EditHistory(const DeviceState& s, std::size_t limit = kDefaultLimit);

    // ---- what the history watches (in the order the edit controller emits it) ----

    // Every change, after it was stored.
    void changed(const ChangeSet& changes);
    // The field the change just announced was aimed at (an edit, not an operation).
    void aimed(FieldId field);
    // The change just announced was the user's: recorded as a step, or merged into the open
    // gesture's step.
    void userChanged(const UserOperation& operation = {});
    // The change just announced was a replay of the history's own: nothing is recorded.
    void replayed();
    // A change nobody claimed (a report, a device answer). A whole new device state starts the
    // history afresh; true when that forgot steps (the names report that follows the full state
    // finds nothing left to forget, so a connection is noted once). Called by changed() for the previous
    // change, and by the owner once the event that made the change is over.
    bool settle();

    // Steps recorded between these merge into one (a drag, a knob turn). Nested calls count.
    void beginGesture();
    void endGesture();
    bool inGesture() const { return gestureDepth_ > 0; }

    // ---- undo and redo ----

    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    std::size_t undoCount() const { return undo_.size(); }
    std::size_t redoCount() const { return redo_.size(); }
    const HistoryStep* nextUndo() const { return undo_.empty() ? nullptr : &undo_.back(); }
    const HistoryStep* nextRedo() const { return redo_.empty() ? nullptr : &redo_.back(); }

    // Puts the step's fields back (forward) through the target: DeviceState, the views and, while
    // online, the wire. A refused step stays where it was.
    HistoryResult undo(HistoryTarget& target);
    HistoryResult redo(HistoryTarget& target);

    // Forgets every step and takes the state as it is.
    void clear();

    // "CH3 VOL", "场景调用": the name the Edit menu gives a step (languageFlag 2 Chinese).
    std::string stepName(const HistoryStep& step, int languageFlag) const;

private:
    struct Pending {
        std::vector<HistoryEntry> entries;
        bool all = false;
        std::optional<FieldId> aimed;
    };
    void diffInto(FieldId id, std::vector<HistoryEntry>& out);
    void push(HistoryStep step);
    void finishGestureStep();
    HistoryResult replay(HistoryTarget& target, const HistoryStep& step, bool forward);

    const DeviceState& state_;
    std::size_t limit_;
    std::vector<std::int32_t> shadow_;
    std::vector<std::string> shadowNames_; // by field id, name fields only
    std::optional<Pending> pending_;
    std::deque<HistoryStep> undo_;
    std::deque<HistoryStep> redo_;
    int gestureDepth_ = 0;
    bool gestureStepOpen_ = false; // the last undo step is the open gesture's
};

// The frames the carriers of a step's fields send as the state now stands, each frame once, in
// the order of the fields, each paused like a group copy when the step spans several records:
// what an operation without a resend of its own puts on the wire.
void queueCarriersOnce(const DeviceState& s, EditSink& sink, const std::vector<FieldId>& fields);

} // namespace quorvel
