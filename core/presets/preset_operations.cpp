#include "presets/preset_operations.h"

#include <charconv>
#include <limits>

namespace quorvel {

std::string presetItemText(int id, std::string_view name) {
    return std::to_string(id) + ":" + std::string(name);
}

std::optional<PresetItem> parsePresetItem(std::string_view itemText) {
    const auto colon = itemText.find(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view idText = itemText.substr(0, colon);
    int id = 0;
    const auto [end, ec] = std::from_chars(idText.data(), idText.data() + idText.size(), id);
    // Only a plain number goes back into a statement.
    if (idText.empty() || ec != std::errc() || end != idText.data() + idText.size() || id <= 0) {
        return std::nullopt;
    }
    return PresetItem{id, std::string(itemText.substr(colon + 1))};
}

std::vector<std::string> PresetOperations::fill() {
    std::vector<std::string> items{kSavePresetItem};
    auto rows = store_.RunQuery(presetsql::fill(table_));
    if (!rows) {
        return items;
    }
    items.reserve(rows->rowCount() + 1);
    for (; !rows->atEnd(); rows->moveNext()) {
        items.push_back(rows->text("ID") + ":" + rows->text("NAME"));
    }
    return items;
}

std::optional<int> PresetOperations::nextId() {
    auto rows = store_.RunQuery(presetsql::highestId(table_));
    if (!rows) {
        return std::nullopt;
    }
    long long last = 0;
    for (; !rows->atEnd(); rows->moveNext()) {
        last = rows->number("ID").value_or(0);
    }
    if (last < 0 || last >= std::numeric_limits<int>::max()) {
        store_.reportError("No further preset ID is free in " + std::string(table_.name) + ".");
        return std::nullopt;
    }
    return static_cast<int>(last + 1);
}

bool PresetOperations::insert(int id, std::string_view name, std::string_view data) {
    return store_.RunStatement(presetsql::insert(table_, id, name, data));
}

std::optional<std::string> PresetOperations::save(std::string_view dataText) {
    const auto id = nextId();
    if (!id) {
        return std::nullopt;
    }
    const std::string name = "SAVE" + std::to_string(*id);
    if (!insert(*id, name, dataText)) {
        return std::nullopt;
    }
    return presetItemText(*id, name);
}

std::optional<std::string> PresetOperations::readData(std::string_view itemText) {
    const auto item = parsePresetItem(itemText);
    if (!item) {
        return std::nullopt;
    }
    auto rows = store_.RunQuery(presetsql::readOne(table_, item->id));
    if (!rows || rows->atEnd()) {
        return std::nullopt;
    }
    return rows->text(table_.dataColumn);
}

bool PresetOperations::rename(std::string_view itemText, std::string_view newName) {
    const auto item = parsePresetItem(itemText);
    return item && store_.RunStatement(presetsql::rename(table_, item->id, newName));
}

bool PresetOperations::remove(std::string_view itemText) {
    const auto item = parsePresetItem(itemText);
    return item && store_.RunStatement(presetsql::remove(table_, item->id));
}

} // namespace quorvel
