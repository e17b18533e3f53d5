#include "admin/scene_library.h"

#include <system_error>

#include "admin/scene.h"
#include "presets/preset_store.h"
#include "presets/preset_tables.h"

namespace quorvel {
namespace {

SceneResult fail(SceneStatus status, int id, std::string message) {
    return SceneResult{status, id, std::move(message)};
}

SceneResult databaseFailure(const PresetStore& store, int id) {
    return fail(SceneStatus::Database, id, store.lastError());
}

} // namespace

SceneLibrary::SceneLibrary(PresetStore& store, std::filesystem::path dataDir, TrashFn trash)
    : store_(store), dataDir_(std::move(dataDir)), trash_(std::move(trash)) {}

std::filesystem::path SceneLibrary::fileOf(const std::filesystem::path& dataDir, int id) {
    return dataDir / ("SAVE" + std::to_string(id) + ".dat");
}

std::vector<SceneSlot> SceneLibrary::list(int* skipped) {
    std::vector<SceneSlot> out;
    if (skipped) *skipped = 0;
    auto rows = store_.RunQuery(presetsql::fill(kDeviceDataTable));
    if (!rows) return out;
    for (; !rows->atEnd(); rows->moveNext()) {
        const auto id = rows->number("ID");
        if (!id || *id < 1 || *id > kSceneSlots) {
            if (skipped) ++*skipped;
            continue;
        }
        out.push_back(SceneSlot{static_cast<int>(*id), rows->text("NAME")});
    }
    return out;
}

SceneResult SceneLibrary::save(const DeviceState& s) {
    auto rows = store_.RunQuery(presetsql::highestId(kDeviceDataTable));
    if (!rows) return databaseFailure(store_, 0);
    long long highest = 0;
    if (!rows->atEnd()) {
        const auto v = rows->number("ID");
        if (!v) return fail(SceneStatus::Database, 0, "the highest scene ID is not a number");
        highest = *v;
    }
    if (highest >= kSceneSlots) return fail(SceneStatus::Full, 0, kScenesFullMessage);
    const int id = highest < 0 ? 1 : static_cast<int>(highest) + 1;
    const std::string name = "SAVE" + std::to_string(id);
    const auto file = fileOf(id);
    std::error_code ec;
    std::filesystem::create_directories(dataDir_, ec);
    std::string error;
    if (!writeSceneFile(s, file, error)) return fail(SceneStatus::FileError, id, error);
    if (!store_.RunStatement(presetsql::insert(kDeviceDataTable, id, name, file.string()))) {
        std::filesystem::remove(file, ec);
        return databaseFailure(store_, id);
    }
    return SceneResult{SceneStatus::Ok, id, {}};
}

bool SceneLibrary::hasRow(int id, SceneResult& r) {
    if (id < 1 || id > kSceneSlots) {
        r = fail(SceneStatus::NoSuchId, id, "scene " + std::to_string(id) + " is outside 1..32");
        return false;
    }
    auto rows = store_.RunQuery(presetsql::readOne(kDeviceDataTable, id));
    if (!rows) {
        r = databaseFailure(store_, id);
        return false;
    }
    if (rows->atEnd()) {
        r = fail(SceneStatus::NoSuchId, id, "there is no scene " + std::to_string(id));
        return false;
    }
    return true;
}

SceneResult SceneLibrary::rename(int id, std::string_view utf8Name) {
    SceneResult r{SceneStatus::Ok, id, {}};
    if (!hasRow(id, r)) return r;
    if (!store_.RunStatement(presetsql::rename(kDeviceDataTable, id, utf8Name)))
        return databaseFailure(store_, id);
    return r;
}

SceneResult SceneLibrary::recall(int id, DeviceState& s) {
    SceneResult r{SceneStatus::Ok, id, {}};
    if (!hasRow(id, r)) return r;
    const auto file = fileOf(id);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        return fail(SceneStatus::FileError, id, file.string() + " is missing");
    std::string error;
    if (!readSceneFile(s, file, error)) {
        // readSceneFile tells an unreadable file from a damaged one by what it says first.
        const bool unreadable = error.rfind("cannot open", 0) == 0;
        return fail(unreadable ? SceneStatus::FileError : SceneStatus::Damaged, id, error);
    }
    return r;
}

SceneResult SceneLibrary::remove(int id) {
    SceneResult r{SceneStatus::Ok, id, {}};
    if (!hasRow(id, r)) return r;
    const auto file = fileOf(id);
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) {
        std::string error;
        if (!trash_ || !trash_(file, error))
            return fail(SceneStatus::FileError, id,
                        "cannot move " + file.string() + " to the trash: " + error);
    }
    if (!store_.RunStatement(presetsql::remove(kDeviceDataTable, id))) return databaseFailure(store_, id);
    return r;
}

} // namespace quorvel
