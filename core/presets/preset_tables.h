// The tables of the preset library and the statements every page runs on them. The statement
// texts are an established format, spacing included, so they are built here and nowhere else.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace quorvel {

struct PresetTable {
    std::string_view name;       // table name
    std::string_view dataColumn; // the third column: the block's data text, or a scene file path
};

inline constexpr PresetTable kNoiseTable{"NOISE", "NOISEDATA"};
inline constexpr PresetTable kCompressorTable{"Compressor", "CompressorDATA"};
inline constexpr PresetTable kPeqTable{"PEQ", "PEQDATA"};
inline constexpr PresetTable kLimitTable{"LIMIT", "LIMITDATA"};
inline constexpr PresetTable kGeqTable{"GEQ", "GEQDATA"};
inline constexpr PresetTable kDelayTable{"DELAY", "DELAYDTA"};
inline constexpr PresetTable kReverbTable{"REV", "REVDATA"};
inline constexpr PresetTable kDeviceDataTable{"DeviceDATA", "FILENAME"};

inline constexpr std::array<PresetTable, 8> kPresetTables = {
    kNoiseTable, kCompressorTable, kPeqTable,    kLimitTable,
    kGeqTable,   kDelayTable,      kReverbTable, kDeviceDataTable,
};

namespace presetsql {

// Names and data are escaped here; callers pass them as typed.
std::string fill(const PresetTable& t);
std::string highestId(const PresetTable& t);
std::string insert(const PresetTable& t, int id, std::string_view name, std::string_view data);
std::string readOne(const PresetTable& t, int id);
std::string rename(const PresetTable& t, int id, std::string_view name);
std::string remove(const PresetTable& t, int id);
// Creation of a missing table; ID is the key, so a second row with one ID is refused.
std::string create(const PresetTable& t);

} // namespace presetsql
} // namespace quorvel
