// How a field is shown: the main window's readout of the parameter touched last, the unit of
// every field, and the typed value entry that reads a value back in the unit shown. Qt-free so
// that every kind's format and clamping can be checked without a window.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/change_set.h"
#include "link/device_state.h"
#include "link/field_registry.h"

namespace quorvel {

struct ReadoutText {
    std::string channelName; // UTF-8
    std::string paramName;
    std::string value1;
    std::string value2; // only the PEQ band kinds fill it (the band's frequency)
};

ReadoutText formatReadout(const DeviceState& s, int readoutChannel, int kind, int languageFlag);

// Where the readout shows a field (the first kind that does), and what a readout slot shows.
std::optional<ReadoutRef> readoutFor(FieldId field);
std::optional<FieldId> fieldForReadout(int readoutChannel, int kind, int slot);

// A raw value in the unit of its format ("-12dB", "1:4.5", "OPEN"); empty for None.
std::string formatDisplayValue(DisplayFormat format, std::int32_t raw);
// The field's value as it is shown; names as UTF-8.
std::string formatField(const DeviceState& s, FieldId field);
// The number a format shows for a raw value (dB, Hz, ms, ...).
double toDisplayUnit(DisplayFormat format, std::int32_t raw);

// Text read in the unit the field is shown in (the unit itself may be typed or left out, a unit
// of another kind is refused), clamped to the field's range, as its raw encoding. nullopt when
// the text does not read as a value of the field, or the field has no display format.
std::optional<std::int32_t> parseDisplayValue(FieldId field, std::string_view text);

} // namespace quorvel
