// The Edit menu's Undo and Redo: the history of the user's edits, fed by the edit controller's
// notifications and replayed through it, so a replay reaches the state, the pages and the wire
// like the edit it takes back.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include "link/edit_history.h"

class QAction;
class QMenu;

namespace quorvel::ui {

class EditController;
enum class EditOrigin : std::uint8_t;

class UndoActions : public QObject {
    Q_OBJECT
public:
    // Adds Undo and Redo to `menu` (nullptr: no menu, the actions still work for their owner).
    UndoActions(EditController& edits, QMenu* menu, QObject* parent);

    EditHistory& history() { return history_; }
    QAction* undoAction() const { return undo_; }
    QAction* redoAction() const { return redo_; }

    bool undo();
    bool redo();

signals:
    // A full device state came in: the history starts afresh (a note for the event log).
    void historyReset();
    // Undo or redo could not be carried out (a Dante input now taken, ...): the text says why.
    void stepRefused(const QString& why);

private:
    class Target;
    void onChanged(const ChangeSet& changes);
    void onUserChanged(EditOrigin origin);
    void settleNow();
    void refresh();

    EditController& edits_;
    EditHistory history_;
    QAction* undo_ = nullptr;
    QAction* redo_ = nullptr;
    QTimer settle_; // a change no user claimed is settled once its event is over
};

} // namespace quorvel::ui
