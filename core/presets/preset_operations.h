// The preset-list workflow every page repeats on its own table: fill, save, recall, rename and
// delete, without any widget. Pages turn a list or menu event into one call here.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "presets/preset_store.h"
#include "presets/preset_tables.h"

namespace quorvel {

inline constexpr const char* kSavePresetItem = "SAVE PRESET";

struct PresetItem {
    int id = 0;
    std::string name;
};

// "ID:NAME" as the list shows a row.
std::string presetItemText(int id, std::string_view name);
// The ID is what precedes the first ":" (a name may hold colons itself), the name all after it.
// nullopt without ":" or when the ID is not a positive whole number: such an item is ignored.
std::optional<PresetItem> parsePresetItem(std::string_view itemText);

class PresetOperations {
public:
    PresetOperations(PresetStore& store, const PresetTable& table) : store_(store), table_(table) {}

    const PresetTable& table() const { return table_; }

    // The list's items: "SAVE PRESET", then "ID:NAME" in ascending ID order. After a database
    // error (already reported) only the first item.
    std::vector<std::string> fill();
    // The ID the next save takes: the highest ID + 1, 1 for an empty table.
    std::optional<int> nextId();
    // Inserts a row with the next ID, named "SAVE" and that ID; returns the new list item.
    std::optional<std::string> save(std::string_view dataText);
    // Inserts a row with a given ID and name (the scene list chooses its own).
    bool insert(int id, std::string_view name, std::string_view data);
    // The data column of the row the item names; nullopt for an ignored item, a missing row or
    // a database error.
    std::optional<std::string> readData(std::string_view itemText);
    bool rename(std::string_view itemText, std::string_view newName);
    bool remove(std::string_view itemText);

private:
    PresetStore& store_;
    PresetTable table_;
};

} // namespace quorvel
