// The dynamics pages' actions as quorvelctl set takes them beside PATH=VALUE:
//   reset:comp|gate|limiter:SEL       the RESET button
//   drag:comp|limiter:SEL:H:XDB:YDB   a released handle drag (H 0 threshold, 1 ratio, 2 gain)
// SEL is input[N] for the compressor and gate, output[N] for the limiter.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "link/device_state.h"
#include "link/edit.h"
#include "link/edit_sink.h"

namespace quorvel {

struct DynamicsAction {
    enum class Kind { ResetCompressor, ResetGate, ResetLimiter, DragCompressor, DragLimiter };
    Kind kind = Kind::ResetCompressor;
    int record = 0; // input channel or output, 1-based
    int handle = 0;
    double inputDb = 0;
    double outputDb = 0;
};

// nullopt with `error` empty: the text is not one of these actions (another page's, or an
// assignment). nullopt with `error` set: it names one of them but is malformed; error is one line.
std::optional<DynamicsAction> parseDynamicsAction(std::string_view text, std::string& error);

// Runs it as the page would: stored, framed while online, copied to the linked members.
EditOutcome applyDynamicsAction(DeviceState& s, EditSink& sink, const DynamicsAction& action);

} // namespace quorvel
