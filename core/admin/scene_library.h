// The 32 stored scenes: rows of the DeviceDATA table naming files SAVE<ID>.dat in the data
// directory. A row's FILENAME is what an older file may hold, so it is never opened: the file of
// scene ID is always SAVE<ID>.dat in the data directory, and nothing else is ever touched.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "link/device_state.h"

namespace quorvel {

class PresetStore;

inline constexpr int kSceneSlots = 32;
inline constexpr const char* kScenesFullMessage = "All 32 scenes are in use.";
inline constexpr const char* kScenesFullMessageZh = "32个场景已用完。";

struct SceneSlot {
    int id = 0;
    std::string name; // UTF-8
    std::string caption() const { return std::to_string(id) + ":" + name; }
};

enum class SceneStatus {
    Ok,
    Full,      // every ID up to 32 is taken
    NoSuchId,  // outside 1..32 or no row
    FileError, // the file could not be written, read, or moved to the trash
    Damaged,   // the file is not a scene: wrong size, a unit value out of range or repeated
    Database,  // the store reported (its own message went to its error sink)
};

struct SceneResult {
    SceneStatus status = SceneStatus::Ok;
    int id = 0;
    std::string message; // English detail for anything but Ok
    bool ok() const { return status == SceneStatus::Ok; }
};

class SceneLibrary {
public:
    // Moves a file to the desktop's trash; true when it is gone from its place.
    using TrashFn = std::function<bool(const std::filesystem::path& file, std::string& error)>;

    SceneLibrary(PresetStore& store, std::filesystem::path dataDir, TrashFn trash);

    static std::filesystem::path fileOf(const std::filesystem::path& dataDir, int id);
    std::filesystem::path fileOf(int id) const { return fileOf(dataDir_, id); }

    // Rows with an ID inside 1..32, by ID; others are skipped (and counted in skipped).
    std::vector<SceneSlot> list(int* skipped = nullptr);
    // New ID = highest + 1. The file is complete on disk before its row exists; a row that cannot
    // be inserted takes its file away again.
    SceneResult save(const DeviceState& s);
    SceneResult rename(int id, std::string_view utf8Name);
    // The whole file is checked before s changes; on any refusal s is exactly as it was.
    SceneResult recall(int id, DeviceState& s);
    // The file to the trash (a missing file is no obstacle), then the row.
    SceneResult remove(int id);

private:
    bool hasRow(int id, SceneResult& r);

    PresetStore& store_;
    std::filesystem::path dataDir_;
    TrashFn trash_;
};

} // namespace quorvel
