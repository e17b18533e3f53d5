// DeviceState as one JSON object, keys as the field registry names them; names as UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "link/device_state.h"
#include "link/reports.h"

namespace quorvel {

std::string stateToJson(const DeviceState& s);

// One accepted report as one JSON line (no newline) for report monitors: the letter and what the
// report changed, read back from the state it was dispatched into, e.g.
// {"report":"Q","meters":{"input":[..],"output":[..]},"channelOpen":[..],"lastOpen":[..]}.
std::string reportToJson(std::string_view frame, const DispatchResult& result, const DeviceState& s);

// JSON string literal (quotes included) of UTF-8 text; control characters become \u00XX.
void appendJsonString(std::string& out, std::string_view utf8);

} // namespace quorvel
