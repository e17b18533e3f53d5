// One table names every field of DeviceState by path (`input[3].peq[2].bandGain`, `units[2][5]`,
// indices 1-based as on the wire), with its width, raw range, scene-file offset, the command that
// carries it, how it is shown and which control-group switch copies it. The edit operation, the
// CLI, the typed value entry, the scene files and the tests all go through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/change_set.h"
#include "link/device_state.h"

namespace quorvel {

enum class FieldKind { Int32, Byte, Name };

// The command that carries a field to the device; letter 0 when none does. Send levels and effect
// settings also go out in a frame of their own after it (`follow`: a, y or v), since the frame
// the mixing pages have always sent carries other fields.
struct Carrier {
    char letter = 0;
    int selector = 0;  // channel, output, unit; 0 for M and N
    int selector2 = 0; // band for G
    char follow = 0;
    int followSelector = 0; // the source for a
};

// The selectors the carrier's command is built with: none for M and N, channel and band for G,
// otherwise the one selector.
std::vector<int> carrierSelectors(const Carrier& c);

// How a raw value is shown (and read back by the typed value entry): Db60 is raw - 60 dB,
// Gain150 (raw - 150) / 10 dB, Pan (raw - 100) / 100, the *10 formats raw / 10, Switch OPEN/CLOSE.
enum class DisplayFormat { None, Switch, Db60, Pan, Gain150, Hz, Q10, Ms, Ratio10, TenthDb, Sec10, Percent };

// The record a field belongs to; control-group copies go to the same field of other records.
enum class RecordKind { Device, Input, Output };

// Where the main window's readout shows a field: readout channel 0..17 inputs, 18..25 outputs,
// the kind, and value slot 0 or 1. channel < 0 when no readout kind shows it.
struct ReadoutRef {
    int channel = -1;
    int kind = 0;
    int slot = 0;
};

struct FieldInfo {
    std::string path;
    FieldKind kind = FieldKind::Int32;
    std::int32_t min = 0;
    std::int32_t max = 0;
    std::size_t stateOffset = 0; // byte offset inside DeviceState
    std::size_t sceneOffset = 0; // byte offset inside the scene image
    Carrier carrier;
    FieldId id = 0;
    RecordKind record = RecordKind::Device;
    int recordIndex = 0; // input 1..18, output 1..8; 0 for the device block
    DisplayFormat format = DisplayFormat::None;
    ReadoutRef readout;
    // The cg::kLink* element whose switch copies an edit to the group's other members; -1 none.
    int linkFlag = -1;
    // An item of a list (gain step, Dante source, delay): a value outside it is refused, not
    // clamped, since a neighbouring item was never meant.
    bool choice = false;
    // A setting of this program kept beside the device's (SYNC): a scene file carries its word
    // as it always has, but recalling the scene leaves the setting as it is.
    bool restoredByScene = true;
};

inline constexpr int kReadoutFirstOutput = 18; // readout channels 0..17 inputs, 18..25 outputs
inline constexpr int kReadoutChannels = 26;
inline constexpr int kReadoutLastKind = 71;

// One entry of the readout's table: what (readout channel, kind) is called, and the field and
// format each of its two value slots shows (an empty path when the slot shows nothing). The
// registry takes its display formats and readout references from here.
struct ReadoutSlotInfo {
    std::string path;
    DisplayFormat format = DisplayFormat::None;
};
struct ReadoutKindInfo {
    std::string en;
    std::string zh;
    ReadoutSlotInfo v1;
    ReadoutSlotInfo v2;
};
ReadoutKindInfo readoutKind(int readoutChannel, int kind);

inline constexpr std::size_t kSceneParamBytes = 19336;
inline constexpr std::size_t kSceneMuteGroupBytes = 128;
inline constexpr std::size_t kSceneControlGroupBytes = 180;
inline constexpr std::size_t kSceneBytes =
    kSceneParamBytes + kMuteGroups * kSceneMuteGroupBytes + kControlGroups * kSceneControlGroupBytes;
static_assert(kSceneBytes == 20568);

class FieldRegistry {
public:
    static const FieldRegistry& instance();

    const std::vector<FieldInfo>& fields() const { return fields_; }
    const FieldInfo* find(std::string_view path) const;
    const FieldInfo& field(FieldId id) const { return fields_[id]; }
    bool valid(FieldId id) const { return id < fields_.size(); }
    std::optional<FieldId> idOf(std::string_view path) const;
    // The field stored at `member`, a reference into `s` (`&s.in(3).mute`).
    std::optional<FieldId> idOf(const DeviceState& s, const void* member) const;
    // The same field in input record / output `record` of the field's own kind.
    std::optional<FieldId> sibling(FieldId id, int record) const;

    static std::int32_t get(const DeviceState& s, const FieldInfo& f);
    static void set(DeviceState& s, const FieldInfo& f, std::int32_t v);       // no range check
    static std::string_view getName(const DeviceState& s, const FieldInfo& f); // GBK bytes
    static void setNameBytes(DeviceState& s, const FieldInfo& f, std::string_view gbk);

private:
    FieldRegistry();
    std::optional<FieldId> idAtOffset(std::size_t offset) const;
    std::vector<FieldInfo> fields_;
    std::vector<std::size_t> sortedIndex_; // by path, for lookup
    std::vector<std::int32_t> byOffset_;   // state offset -> id, -1 between fields
};

// "PATH=VALUE" read against the registry: the field and either its integer or its GBK name.
struct Assignment {
    const FieldInfo* field = nullptr;
    std::int32_t value = 0;
    std::string gbk; // names only
};

// Integers must lie in the field's raw range; names are UTF-8 and must fit 16 GBK bytes. On
// failure returns false and sets error to one readable line.
bool parseAssignment(std::string_view assignment, Assignment& out, std::string& error);

// Parses "PATH=VALUE" and stores it as it is, without a frame or a group copy (a scratch state,
// the frame command). On failure returns false and sets error.
bool assignField(DeviceState& s, std::string_view assignment, std::string& error,
                 const FieldInfo** assigned = nullptr);

} // namespace quorvel
