#include "widgets/preset_list.h"

#include <QCursor>
#include <QMenu>

#include "log/event_log.h"
#include "presets/preset_tables.h"
#include "widgets/name_dialog.h"

namespace quorvel {

namespace {
void logPreset(PresetBlock block, const char* what, const std::string& item) {
    logEvent(std::string(presetTable(block).name) + " preset " + what + ": " + item);
}

std::optional<QString> askWithNameDialog(QWidget* parent, const QString& current) {
    ui::NameDialog dialog(parent);
    dialog.setName(current);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.name();
}
} // namespace

PresetList::PresetList(int id, PresetBlock block, QWidget* parent)
    : DropList(id, parent), block_(block), menuIds_(presetMenu(block)), prompt_(askWithNameDialog),
      menu_(new QMenu(this)) {
    setObjectName(QStringLiteral("presetList%1").arg(id));
    menu_->setObjectName(QStringLiteral("presetMenu%1").arg(menuIds_.menuId));
    const std::pair<const char*, int> entries[] = {{"NAME", menuIds_.nameCommand},
                                                   {"RECALL", menuIds_.recallCommand},
                                                   {"DELETE", menuIds_.deleteCommand}};
    for (const auto& [label, command] : entries) {
        QAction* action = menu_->addAction(QString::fromLatin1(label));
        action->setData(command);
        action->setObjectName(QStringLiteral("presetCommand%1").arg(command));
        connect(action, &QAction::triggered, this, [this, command] { runMenuCommand(command); });
    }
    addItem(QString::fromLatin1(kSavePresetItem));
    setSelection(0);
    connect(this, &DropList::itemChosen, this, &PresetList::onChosen);
}

void PresetList::bind(PresetStore* store, DeviceState* state) {
    store_ = store;
    state_ = state;
}

void PresetList::fill() {
    QStringList items;
    if (store_ != nullptr) {
        for (const std::string& item : PresetOperations(*store_, presetTable(block_)).fill()) {
            items << QString::fromStdString(item);
        }
    } else {
        items << QString::fromLatin1(kSavePresetItem);
    }
    setItems(items);
    setSelection(0);
}

void PresetList::onChosen(int, int item) {
    if (item == 0) {
        save();
        return;
    }
    if (item > 0 && store_ != nullptr) {
        menu_->popup(QCursor::pos());
    }
}

void PresetList::save() {
    if (store_ == nullptr || state_ == nullptr) {
        return;
    }
    const auto item = saveBlockPreset(*store_, block_, *state_, index_);
    if (!item) {
        return;
    }
    logPreset(block_, "saved", *item);
    const QString text = QString::fromStdString(*item);
    addItem(text);
    emit saved(text);
}

void PresetList::runMenuCommand(int commandId) {
    if (store_ == nullptr || selection() <= 0) {
        return;
    }
    const QString text = itemText(selection());
    const std::string item = text.toStdString();
    const auto parsed = parsePresetItem(item);
    if (!parsed) {
        return;
    }
    PresetOperations ops(*store_, presetTable(block_));
    if (commandId == menuIds_.recallCommand) {
        if (state_ != nullptr &&
            recallBlockPreset(*store_, block_, item, *state_, index_) == RecallStatus::Recalled) {
            logPreset(block_, "recalled", item);
            emit recalled(index_);
        }
    } else if (commandId == menuIds_.nameCommand) {
        const auto name = prompt_ ? prompt_(window(), QString::fromStdString(parsed->name)) : std::nullopt;
        if (name && ops.rename(item, name->toStdString())) {
            logPreset(block_, "renamed", item + " -> " + name->toStdString());
            fill();
        }
    } else if (commandId == menuIds_.deleteCommand) {
        if (ops.remove(item)) {
            logPreset(block_, "deleted", item);
            fill();
        }
    }
}

} // namespace quorvel
