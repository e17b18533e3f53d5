// The preset list of a processing page: item 0 saves the block's current values, any other item
// opens the item menu (NAME, RECALL, DELETE). All database work goes through the Qt-free
// preset operations; errors reach the user through the store's error sink.
#pragma once

#include <QString>

#include <functional>
#include <optional>

#include "controls/drop_list.h"
#include "presets/preset_blocks.h"

class QMenu;

namespace quorvel {

class PresetList : public DropList {
    Q_OBJECT
public:
    // Asks for a new name, pre-filled with the current one; nullopt when cancelled.
    using NamePrompt = std::function<std::optional<QString>(QWidget* parent, const QString& current)>;

    PresetList(int id, PresetBlock block, QWidget* parent = nullptr);

    // Without a store the list offers only "SAVE PRESET" and does nothing.
    void bind(PresetStore* store, DeviceState* state);
    // The 0-based input channel or output the page serves.
    void setIndex(int index) { index_ = index; }
    int index() const { return index_; }
    PresetBlock block() const { return block_; }
    void setNamePrompt(NamePrompt prompt) { prompt_ = std::move(prompt); }

    // Rebuilds the items from the table and selects item 0.
    void fill();
    // The menu commands, acting on the selected item: one of the menu's NAME, RECALL, DELETE IDs.
    void runMenuCommand(int commandId);
    QMenu* itemMenu() const { return menu_; }

signals:
    // The block now holds the recalled preset; the page refreshes, sends and applies link copies.
    void recalled(int index);
    void saved(const QString& item);

private:
    void onChosen(int id, int item);
    void save();

    PresetBlock block_;
    PresetMenu menuIds_;
    PresetStore* store_ = nullptr;
    DeviceState* state_ = nullptr;
    int index_ = 0;
    NamePrompt prompt_;
    QMenu* menu_;
};

} // namespace quorvel
