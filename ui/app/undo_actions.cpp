#include "app/undo_actions.h"

#include <QAction>
#include <QMenu>

#include "binding/edit_controller.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {

class UndoActions::Target : public HistoryTarget {
public:
    explicit Target(EditController& edits) : edits_(edits) {}
    DeviceState& state() override { return edits_.state(); }
    EditSink& sink() override { return edits_.sink(); }
    EditOutcome edit(FieldId field, std::int32_t raw, const EditOptions& options) override {
        return edits_.edit(field, raw, options, EditOrigin::History);
    }
    EditOutcome editName(FieldId field, std::string_view gbk) override {
        return edits_.editName(field, gbk, EditOrigin::History);
    }
    void announce(const ChangeSet& changes) override { edits_.announceUser(changes, EditOrigin::History); }

private:
    EditController& edits_;
};

UndoActions::UndoActions(EditController& edits, QMenu* menu, QObject* parent)
    : QObject(parent), edits_(edits), history_(edits.state()) {
    setObjectName("undoActions");
    undo_ = new QAction(this);
    undo_->setObjectName("actionUndo");
    undo_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    redo_ = new QAction(this);
    redo_->setObjectName("actionRedo");
    redo_->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    // Window-wide; a text field being edited takes these keys for its own undo first.
    for (QAction* a : {undo_, redo_})
        a->setShortcutContext(Qt::WindowShortcut);
    if (menu) {
        menu->addAction(undo_);
        menu->addAction(redo_);
        connect(menu, &QMenu::aboutToShow, this, [this] {
            settleNow();
            refresh();
        });
    }
    connect(undo_, &QAction::triggered, this, [this] { undo(); });
    connect(redo_, &QAction::triggered, this, [this] { redo(); });

    settle_.setSingleShot(true);
    settle_.setInterval(0);
    connect(&settle_, &QTimer::timeout, this, &UndoActions::settleNow);
    connect(&edits_, &EditController::changed, this, &UndoActions::onChanged);
    connect(&edits_, &EditController::edited, this, [this](FieldId f) { history_.aimed(f); });
    connect(&edits_, &EditController::userChanged, this,
            [this](const ChangeSet&, EditOrigin origin) { onUserChanged(origin); });
    connect(&edits_, &EditController::gestureBegan, this, [this] { history_.beginGesture(); });
    connect(&edits_, &EditController::gestureEnded, this, [this] {
        history_.endGesture();
        refresh();
    });
    connect(&edits_, &EditController::lockChanged, this, [this] { refresh(); });
    refresh();
}

void UndoActions::onChanged(const ChangeSet& changes) {
    settleNow();
    history_.changed(changes);
    settle_.start();
}

void UndoActions::onUserChanged(EditOrigin origin) {
    if (origin == EditOrigin::History) {
        history_.replayed();
        return;
    }
    const UserOperation* op = edits_.operation();
    history_.userChanged(op ? *op : UserOperation{});
    if (!history_.inGesture()) refresh();
}

void UndoActions::settleNow() {
    if (!history_.settle()) return;
    refresh();
    emit historyReset();
}

bool UndoActions::undo() {
    settleNow();
    if (edits_.locked() || !history_.canUndo()) return false;
    Target target(edits_);
    const HistoryResult r = history_.undo(target);
    refresh();
    if (!r.done) emit stepRefused(QString::fromStdString(r.refusal));
    return r.done;
}

bool UndoActions::redo() {
    settleNow();
    if (edits_.locked() || !history_.canRedo()) return false;
    Target target(edits_);
    const HistoryResult r = history_.redo(target);
    refresh();
    if (!r.done) emit stepRefused(QString::fromStdString(r.refusal));
    return r.done;
}

void UndoActions::refresh() {
    const int lang = languageFlag();
    const bool open = !edits_.locked();
    const HistoryStep* u = history_.nextUndo();
    const HistoryStep* r = history_.nextRedo();
    const QString undoWord = pick(lang, "Undo", "撤销");
    const QString redoWord = pick(lang, "Redo", "重做");
    undo_->setText(u ? undoWord + ' ' + QString::fromStdString(history_.stepName(*u, lang)) : undoWord);
    redo_->setText(r ? redoWord + ' ' + QString::fromStdString(history_.stepName(*r, lang)) : redoWord);
    undo_->setEnabled(open && u);
    redo_->setEnabled(open && r);
}

} // namespace quorvel::ui
