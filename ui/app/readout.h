// The main window's readout of the parameter touched last, and the typed value entry into it.
// Kept free of Qt so that every kind's format and clamping can be checked without a window.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "link/change_set.h"
#include "link/device_state.h"
#include "link/field_registry.h"

namespace quorvel {

inline constexpr int kReadoutFirstOutput = 18; // readout channels 0..17 inputs, 18..25 outputs
inline constexpr int kReadoutChannels = 26;

struct ReadoutText {
    std::string channelName; // UTF-8
    std::string paramName;
    std::string value1;
    std::string value2; // only the PEQ band kinds fill it (the band's frequency)
};

ReadoutText formatReadout(const DeviceState& s, int readoutChannel, int kind, int languageFlag);

// Where the readout shows a field: the channel and kind of the first kind that displays it in its
// first value. None for fields no kind shows (names, routing, ...).
struct ReadoutTarget {
    int readoutChannel;
    int kind;
};
std::optional<ReadoutTarget> readoutFor(FieldId field);

struct TypedValueResult {
    bool applied = false;
    std::string fieldPath; // registry path of the field that changed
    Carrier carrier;       // the command that carries it; letter 0 when none
};

// Applies text typed into value field 0 or 1 to the parameter the readout shows: read in the unit
// the readout displays, clamped to the parameter's range, stored in its raw encoding. Text that
// does not read as a value of the kind changes nothing.
TypedValueResult applyTypedValue(DeviceState& s, int readoutChannel, int kind, int fieldIndex,
                                 std::string_view text);

} // namespace quorvel
