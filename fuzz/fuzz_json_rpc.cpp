// One line of the remote-control API against an online state whose control groups link inputs
// 1..4 on every switch: whatever the line, the answer is one JSON object (a result or an error),
// and no field it changes ends outside its range, and every queued frame is a valid one.
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string_view>

#include "link/edit.h"
#include "link/frame.h"
#include "remote/json_rpc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using namespace quorvel;

class Host final : public remote::RemoteHost {
public:
    const DeviceState& state() const override { return s; }
    EditOutcome edit(FieldId field, std::int32_t raw) override { return applyEdit(s, sink, field, raw); }
    EditOutcome editName(FieldId field, std::string_view gbk) override {
        return applyNameEdit(s, sink, field, gbk);
    }
    bool recall(std::string_view, std::string_view, int, std::string& error) override {
        error = "none";
        return false;
    }
    void connect() override {}
    void disconnect() override {}
    remote::LinkStatus status() const override { return {true, "127.0.0.2", 20, 0}; }
    void post(std::function<void()> fn) override { fn(); }

    DeviceState s;
    RecordingSink sink;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const DeviceState fresh = [] {
        DeviceState s;
        loadFactoryDefaults(s, 1);
        s.link.linkOnline = true;
        for (int e : {0, 1, 2, 3})
            s.controlGroups[0][static_cast<std::size_t>(e)] = 1;
        for (int f = cg::kLinkVolume; f <= cg::kLinkDelay; ++f)
            s.controlGroups[0][static_cast<std::size_t>(f)] = 1;
        return s;
    }();
    static Host host;
    host.s = fresh;
    host.sink.frames.clear();
    remote::JsonRpcHandler rpc(host);
    std::size_t notified = 0;
    rpc.setSend([&](remote::ClientId, std::string line) {
        if (!nlohmann::json::accept(line)) __builtin_trap();
        ++notified;
    });
    rpc.addClient(1, false);
    rpc.handle(
        1,
        R"({"jsonrpc":"2.0","id":0,"method":"subscribe","params":{"paths":["input[1].level"],"meters":20}})");

    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const remote::Reply r = rpc.handle(1, line);
    if (!r.line.empty()) {
        const auto j = nlohmann::json::parse(r.line, nullptr, false);
        if (j.is_discarded() || !j.is_object() || j.value("jsonrpc", "") != "2.0") __builtin_trap();
        if (j.contains("result") == j.contains("error")) __builtin_trap();
    }
    ChangeSet first;
    first.add(0);
    first.add(*FieldRegistry::instance().idOf("input[1].level"));
    rpc.fieldsChanged(first);
    rpc.metersUpdated();

    const auto& reg = FieldRegistry::instance();
    for (const FieldInfo& f : reg.fields()) {
        if (f.kind == FieldKind::Name) {
            if (FieldRegistry::getName(host.s, f).size() > kNameBytes) __builtin_trap();
            continue;
        }
        // Factory defaults hold a few values outside their ranges; only what changed is judged.
        const std::int32_t v = FieldRegistry::get(host.s, f);
        if (v != FieldRegistry::get(fresh, f) && (v < f.min || v > f.max)) __builtin_trap();
    }
    for (const OutgoingFrame& f : host.sink.frames)
        if (!validateFrame(f.text)) __builtin_trap();
    return 0;
}
