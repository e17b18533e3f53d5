#include "presets/preset_tables.h"

#include "presets/preset_store.h"

namespace quorvel::presetsql {

namespace {
std::string str(std::string_view v) {
    return std::string(v);
}
} // namespace

std::string fill(const PresetTable& t) {
    return "select * from " + str(t.name) + " order by ID";
}

std::string highestId(const PresetTable& t) {
    return "select top 1 ID from " + str(t.name) + " order by ID desc";
}

std::string insert(const PresetTable& t, int id, std::string_view name, std::string_view data) {
    return "insert into " + str(t.name) + " values(" + std::to_string(id) + ",'" + sqlLiteralText(name) +
           "','" + sqlLiteralText(data) + "')";
}

std::string readOne(const PresetTable& t, int id) {
    return "select * from " + str(t.name) + " where ID=" + std::to_string(id);
}

std::string rename(const PresetTable& t, int id, std::string_view name) {
    return "update " + str(t.name) + " set NAME='" + sqlLiteralText(name) +
           "' where ID=" + std::to_string(id);
}

std::string remove(const PresetTable& t, int id) {
    // Established texts: two blanks before "where" for the block tables, one for the scene list.
    const char* gap = t.name == kDeviceDataTable.name ? " " : "  ";
    return "delete from " + str(t.name) + gap + "where ID=" + std::to_string(id);
}

std::string create(const PresetTable& t) {
    return "create table " + str(t.name) + " (ID integer primary key, NAME text, " + str(t.dataColumn) +
           " text)";
}

} // namespace quorvel::presetsql
