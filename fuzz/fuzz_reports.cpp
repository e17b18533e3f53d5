// Arbitrary received text through the whole receive side. The first two bytes choose how the rest
// is cut into datagrams, so split frames and leftovers get exercised, and whether the payload is
// also sealed with a valid checksum so the parsers see bodies the checksum would otherwise stop.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "link/frame.h"
#include "link/reports.h"
#include "link/state_json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorvel;
    if (size < 2) return 0;
    static DeviceState state;
    static DeviceState fresh = [] {
        DeviceState s;
        loadFactoryDefaults(s, 1);
        return s;
    }();
    state = fresh;

    const std::size_t chunkA = data[0] % 97 + 1;
    const std::size_t chunkB = data[1] % 61 + 1;
    const bool seal = data[1] & 0x80;
    const std::string_view payload(reinterpret_cast<const char*>(data + 2), size - 2);

    ReportDispatcher dispatcher(state);
    FrameAssembler assembler;
    const auto now = Clock::now();
    std::size_t sink = 0;
    // Every byte of a dropped text is read, so a view past its buffer shows under the sanitizers.
    assembler.setDropHandler([&](DropReason, std::string_view text) {
        if (text.empty()) __builtin_trap(); // every drop has something to show
        for (char c : text)
            sink += static_cast<unsigned char>(c);
    });
    bool stored = false;
    auto onFrame = [&](std::string_view frame) {
        DispatchResult r = dispatcher.dispatchAccepted(frame, now);
        if (r.kind == ReportKind::Rejected) __builtin_trap(); // the assembler only passes valid frames
        stored = stored || r.kind != ReportKind::Ignored;
        sink += reportToJson(frame, r, state).size();
    };
    std::size_t at = 0;
    for (int k = 0; at < payload.size(); ++k) {
        const std::size_t n = std::min(k % 2 ? chunkB : chunkA, payload.size() - at);
        assembler.feed(payload.substr(at, n), onFrame);
        at += n;
    }
    if (seal && !payload.empty()) {
        std::string frame = "%";
        frame.append(payload.substr(1));
        char digits[8];
        std::snprintf(digits, sizeof digits, "%04X#", frameChecksum(frame));
        frame += digits;
        DispatchResult r = dispatcher.dispatch(frame, now);
        stored = stored || (r.kind != ReportKind::Ignored && r.kind != ReportKind::Rejected);
        sink += reportToJson(frame, r, state).size();
    }
    // Straight into the parsers, checksum unchecked: every body the fuzzer makes up reaches them.
    {
        DispatchResult r = dispatcher.dispatchAccepted(payload, now);
        stored = stored || (r.kind != ReportKind::Ignored && r.kind != ReportKind::Rejected);
        sink += reportToJson(payload, r, state).size();
    }
    // The untouched factory state always renders the same; only a changed one is worth the time.
    if (stored) sink += stateToJson(state).size();
    return sink == 0; // always 0 in practice; keeps the work from being optimised away
}
