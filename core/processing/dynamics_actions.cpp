#include "processing/dynamics_actions.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "processing/dynamics_ops.h"

namespace quorvel {
namespace {

std::vector<std::string_view> split(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t colon = text.find(':', start);
        parts.push_back(text.substr(start, colon == std::string_view::npos ? colon : colon - start));
        if (colon == std::string_view::npos) return parts;
        start = colon + 1;
    }
}

bool readInt(std::string_view t, int& out) {
    const auto r = std::from_chars(t.data(), t.data() + t.size(), out);
    return !t.empty() && r.ec == std::errc{} && r.ptr == t.data() + t.size();
}

// Plain decimal: no exponent, no hexadecimal, no "inf".
bool readDb(std::string_view t, double& out) {
    if (t.empty()) return false;
    for (char c : t)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+')) return false;
    const std::string copy(t);
    char* end = nullptr;
    out = std::strtod(copy.c_str(), &end);
    return end == copy.c_str() + copy.size() && std::isfinite(out);
}

// "input[N]" or "output[N]" as `want` asks.
bool readSelector(std::string_view t, std::string_view want, int count, int& record, std::string& error) {
    const std::string prefix = std::string(want) + "[";
    if (t.substr(0, prefix.size()) != prefix || t.size() < prefix.size() + 2 || t.back() != ']' ||
        !readInt(t.substr(prefix.size(), t.size() - prefix.size() - 1), record) || record < 1 ||
        record > count) {
        error = "selector '" + std::string(t) + "' is not " + std::string(want) + "[1.." +
                std::to_string(count) + "]";
        return false;
    }
    return true;
}

} // namespace

std::optional<DynamicsAction> parseDynamicsAction(std::string_view text, std::string& error) {
    error.clear();
    const std::vector<std::string_view> p = split(text);
    if (p.size() < 2) return std::nullopt;
    const bool reset = p[0] == "reset", drag = p[0] == "drag";
    const bool mine = (reset && (p[1] == "comp" || p[1] == "gate" || p[1] == "limiter")) ||
                      (drag && (p[1] == "comp" || p[1] == "limiter"));
    if (!mine) return std::nullopt;
    const std::string name(text);
    const std::size_t want = reset ? 3 : 6;
    if (p.size() != want) {
        error = "'" + name + "' should read " +
                (reset ? std::string(p[0]) + ":" + std::string(p[1]) + ":SEL"
                       : std::string("drag:") + std::string(p[1]) + ":SEL:H:XDB:YDB");
        return std::nullopt;
    }
    DynamicsAction a;
    const bool limiter = p[1] == "limiter";
    if (!readSelector(p[2], limiter ? "output" : "input", limiter ? kOutputRecords : kInputRecords, a.record,
                      error)) {
        error = "'" + name + "': " + error;
        return std::nullopt;
    }
    if (reset) {
        a.kind = p[1] == "comp"   ? DynamicsAction::Kind::ResetCompressor
                 : p[1] == "gate" ? DynamicsAction::Kind::ResetGate
                                  : DynamicsAction::Kind::ResetLimiter;
        return a;
    }
    a.kind = limiter ? DynamicsAction::Kind::DragLimiter : DynamicsAction::Kind::DragCompressor;
    if (!readInt(p[3], a.handle) || a.handle < 0 || a.handle > 2) {
        error = "'" + name + "': handle '" + std::string(p[3]) + "' is not 0, 1 or 2";
        return std::nullopt;
    }
    // A handle never leaves the plot, so neither does a drag typed here.
    if (!readDb(p[4], a.inputDb) || !readDb(p[5], a.outputDb) || a.inputDb < -60 || a.inputDb > 0 ||
        a.outputDb < -60 || a.outputDb > 0) {
        error = "'" + name + "': XDB and YDB must be numbers from -60 to 0";
        return std::nullopt;
    }
    return a;
}

EditOutcome applyDynamicsAction(DeviceState& s, EditSink& sink, const DynamicsAction& a) {
    using K = DynamicsAction::Kind;
    EditOutcome out;
    switch (a.kind) {
    case K::ResetCompressor:
        out.changed = resetCompressor(s, sink, a.record);
        break;
    case K::ResetGate:
        out.changed = resetGate(s, sink, a.record);
        break;
    case K::ResetLimiter:
        out.changed = resetLimiter(s, sink, a.record);
        break;
    case K::DragCompressor:
        return applyCompressorDrag(s, sink, a.record, a.handle, a.inputDb, a.outputDb);
    case K::DragLimiter:
        return applyLimiterDrag(s, sink, a.record, a.handle, a.inputDb, a.outputDb);
    }
    out.applied = !out.changed.empty();
    if (!out.applied) out.refusal = "no such record";
    return out;
}

} // namespace quorvel
