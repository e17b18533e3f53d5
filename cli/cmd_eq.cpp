// quorvelctl for the processing pages: the equaliser curve of an input, preset data texts, and the
// page actions `set` takes (reset, bypass, recall, a released drag), plus `set --dry-run`, which
// shows the frames an edit would send without a device.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "curves/eq_response.h"
#include "link/commands.h"
#include "link/edit.h"
#include "link/field_registry.h"
#include "mixing/automix_ops.h"
#include "mixing/effect_ops.h"
#include "mixing/mixing_edit.h"
#include "presets/preset_blocks.h"
#include "processing/dynamics_actions.h"
#include "processing/dynamics_ops.h"
#include "processing/geq_ops.h"
#include "processing/peq_ops.h"

namespace quorvel::cli {
namespace {

struct Selector {
    bool input = true;
    int record = 0;
};

std::vector<std::string> split(const std::string& s, char sep, std::size_t maxParts) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (parts.size() + 1 < maxParts) {
        const std::size_t p = s.find(sep, start);
        if (p == std::string::npos) break;
        parts.push_back(s.substr(start, p - start));
        start = p + 1;
    }
    parts.push_back(s.substr(start));
    return parts;
}

bool parseInt(const std::string& text, int& v) {
    const char* b = text.data();
    const char* e = b + text.size();
    auto r = std::from_chars(b, e, v);
    return !text.empty() && r.ec == std::errc{} && r.ptr == e;
}

bool parseReal(const std::string& text, double& v) {
    const char* b = text.data();
    const char* e = b + text.size();
    auto r = std::from_chars(b, e, v);
    return !text.empty() && r.ec == std::errc{} && r.ptr == e && std::isfinite(v);
}

// "input[N]" (1..18) or "output[N]" (1..8).
std::optional<Selector> parseSelector(const std::string& s) {
    Selector sel;
    std::string rest;
    if (s.rfind("input[", 0) == 0) {
        rest = s.substr(6);
    } else if (s.rfind("output[", 0) == 0) {
        sel.input = false;
        rest = s.substr(7);
    } else {
        return std::nullopt;
    }
    if (rest.size() < 2 || rest.back() != ']') return std::nullopt;
    if (!parseInt(rest.substr(0, rest.size() - 1), sel.record)) return std::nullopt;
    const int last = sel.input ? kInputRecords : kOutputRecords;
    if (sel.record < 1 || sel.record > last) return std::nullopt;
    return sel;
}

struct TableBlock {
    const char* name;
    PresetBlock block;
    bool perOutput;
    int home = 0; // the one input record an effect's values live in; 0: any record of its kind
};
constexpr TableBlock kTables[] = {
    {"NOISE", PresetBlock::Noise, false},
    {"Compressor", PresetBlock::Compressor, false},
    {"PEQ", PresetBlock::Peq, false},
    {"LIMIT", PresetBlock::Limiter, true},
    {"GEQ", PresetBlock::Geq, true},
    {"DELAY", PresetBlock::Delay, false, kDelayRecord},
    {"REV", PresetBlock::Reverb, false, kReverbRecord},
};

// Empty when sel names a record the table's values belong to, else what it needs.
std::string selectorNeed(const TableBlock& t, const std::optional<Selector>& sel) {
    if (t.home)
        return sel && sel->input && sel->record == t.home ? "" : "input[" + std::to_string(t.home) + "]";
    if (!sel || sel->input == t.perOutput) return t.perOutput ? "output[1..8]" : "input[1..18]";
    return "";
}

const TableBlock* findTable(const std::string& name) {
    for (const TableBlock& t : kTables)
        if (name == t.name) return &t;
    return nullptr;
}

// The fields a block's data text stores: those a recall gives the same value whatever the record
// held before.
std::vector<const FieldInfo*> blockFields(const TableBlock& t, int record, const std::string& text) {
    std::vector<const FieldInfo*> out;
    auto lo = std::make_unique<DeviceState>(), hi = std::make_unique<DeviceState>();
    loadFactoryDefaults(*lo);
    loadFactoryDefaults(*hi);
    const RecordKind kind = t.perOutput ? RecordKind::Output : RecordKind::Input;
    const auto& reg = FieldRegistry::instance();
    for (const FieldInfo& f : reg.fields()) {
        if (f.record != kind || f.recordIndex != record || f.kind == FieldKind::Name) continue;
        FieldRegistry::set(*lo, f, f.min);
        FieldRegistry::set(*hi, f, f.max);
    }
    std::string error;
    if (!applyBlockDataText(t.block, text, *lo, record - 1, error) ||
        !applyBlockDataText(t.block, text, *hi, record - 1, error))
        return out;
    for (const FieldInfo& f : reg.fields()) {
        if (f.record != kind || f.recordIndex != record || f.kind == FieldKind::Name || f.min == f.max)
            continue;
        if (FieldRegistry::get(*lo, f) == FieldRegistry::get(*hi, f)) out.push_back(&f);
    }
    return out;
}

std::string formatDb(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4f", std::fabs(v) < 0.00005 ? 0.0 : v);
    return buf;
}

std::string formatFreq(double f) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", f);
    return buf;
}

bool isEqAction(const std::string& item) {
    for (const char* p : {"reset:peq:", "reset:geq:", "bypass:", "recall:", "drag:peq:", "drag:geq:"})
        if (item.rfind(p, 0) == 0) return true;
    return false;
}

bool applyEqAction(DeviceState& s, EditSink& sink, PeqBypass& bypass, const std::string& item,
                   std::string& error) {
    const auto bad = [&](const std::string& why) {
        error = item + ": " + why;
        return false;
    };
    const std::vector<std::string> p = split(item, ':', item.rfind("recall:", 0) == 0 ? 4 : 6);
    if (p[0] == "reset" && p.size() == 3) {
        const auto sel = parseSelector(p[2]);
        if (p[1] == "peq") {
            if (!sel || !sel->input) return bad("needs input[1..18]");
            peqReset(s, sink, sel->record);
            return true;
        }
        if (!sel || sel->input) return bad("needs output[1..8]");
        geqReset(s, sink, sel->record);
        return true;
    }
    if (p[0] == "bypass" && p.size() == 3) {
        if (p[1] != "on" && p[1] != "off") return bad("bypass takes on or off");
        const auto sel = parseSelector(p[2]);
        if (!sel || !sel->input) return bad("needs input[1..18]");
        bypass.set(s, sink, sel->record, p[1] == "on");
        return true;
    }
    if (p[0] == "recall" && p.size() == 4) {
        const TableBlock* t = findTable(p[1]);
        if (!t) return bad("unknown table '" + p[1] + "'");
        const auto sel = parseSelector(p[2]);
        if (const std::string need = selectorNeed(*t, sel); !need.empty()) return bad("needs " + need);
        ChangeSet changed;
        bool ok;
        if (t->block == PresetBlock::Peq)
            ok = peqRecall(s, sink, sel->record, p[3], changed, error);
        else if (t->block == PresetBlock::Geq)
            ok = geqRecall(s, sink, sel->record, p[3], changed, error);
        else if (t->block == PresetBlock::Compressor)
            ok = recallCompressorText(s, sink, sel->record, p[3], error).has_value();
        else if (t->block == PresetBlock::Noise)
            ok = recallGateText(s, sink, sel->record, p[3], error).has_value();
        else if (t->block == PresetBlock::Delay || t->block == PresetBlock::Reverb) {
            // As the EFFECT page recalls: the text stored, then clamped and sent as a group.
            ok = applyBlockDataText(t->block, p[3], s, sel->record - 1, error);
            if (ok)
                storeRecalledEffect(s, sink, t->block == PresetBlock::Delay ? Effect::Delay : Effect::Reverb);
        } else
            ok = recallLimiterText(s, sink, sel->record, p[3], error).has_value();
        if (!ok) return bad(error);
        return true;
    }
    if (p[0] == "drag" && p[1] == "peq" && p.size() == 6) {
        const auto sel = parseSelector(p[2]);
        int h = 0;
        double hz = 0, db = 0;
        if (!sel || !sel->input) return bad("needs input[1..18]");
        if (!parseInt(p[3], h) || h < 0 || h >= kPeqHandles) return bad("handle must be 0..5");
        if (h >= kHpfHandle && !peqHasFilters(sel->record)) return bad("channels 9 and up have no filters");
        if (!parseReal(p[4], hz) || !parseReal(p[5], db)) return bad("HZ and DB must be numbers");
        DragPacer released;
        peqDragHandle(s, sink, released, Clock::now(), sel->record, h, hz, db, true);
        return true;
    }
    if (p[0] == "drag" && p[1] == "geq" && p.size() == 5) {
        const auto sel = parseSelector(p[2]);
        int band = 0;
        double db = 0;
        if (!sel || sel->input) return bad("needs output[1..8]");
        if (!parseInt(p[3], band) || band < 1 || band > kGeqBands) return bad("band must be 1..31");
        if (!parseReal(p[4], db)) return bad("DB must be a number");
        DragPacer released;
        geqDragPoint(s, sink, released, Clock::now(), sel->record, band - 1, db, true);
        return true;
    }
    return bad("not an action of this form");
}

bool checkEqAction(const std::string& item, std::string& error) {
    auto s = std::make_unique<DeviceState>();
    loadFactoryDefaults(*s);
    DiscardSink none;
    PeqBypass bypass;
    return applyEqAction(*s, none, bypass, item, error);
}

} // namespace

bool checkSetItem(const std::string& item, std::string& error) {
    if (isEqAction(item)) return checkEqAction(item, error);
    // The dynamics pages' actions (reset:comp:SEL, drag:limiter:SEL:H:XDB:YDB, ...).
    if (parseDynamicsAction(item, error)) return true;
    if (!error.empty()) return false;
    Assignment parsed;
    if (!parseAssignment(item, parsed, error)) return false;
    if (parsed.field->carrier.letter == 0 && !settableWithoutCarrier(*parsed.field)) {
        error = "no command carries '" + parsed.field->path + "' to the device";
        return false;
    }
    return true;
}

bool applySetItem(DeviceState& s, EditSink& sink, PeqBypass& bypass, const std::string& item,
                  std::string& error) {
    if (isEqAction(item)) return applyEqAction(s, sink, bypass, item, error);
    const std::optional<DynamicsAction> action = parseDynamicsAction(item, error);
    const EditOutcome r =
        action ? applyDynamicsAction(s, sink, *action) : applyMixingAssignment(s, sink, item);
    if (!r.applied) error = item + ": " + r.refusal;
    return r.applied;
}

int runSetDryRun(const Args& args) {
    auto s = std::make_unique<DeviceState>();
    loadFactoryDefaults(*s);
    // As set starts: SYNC off until a value turns it on.
    startWithSyncOff(*s);
    std::vector<std::string> items;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--dry-run") continue;
        if (args[i] == "--set") {
            if (i + 1 >= args.size()) return usageError("set: --set needs PATH=VALUE");
            std::string error;
            if (!assignField(*s, args[++i], error)) return usageError("set: " + error);
            continue;
        }
        items.push_back(args[i]);
    }
    if (items.empty()) return usageError("set: needs PATH=VALUE or an action");
    std::string error;
    for (const std::string& a : items)
        if (!checkSetItem(a, error)) return usageError("set: " + error);
    s->link.linkOnline = true;
    RecordingSink sink;
    PeqBypass bypass;
    // The same rules as set: a threshold under SYNC sweeps the eight channels.
    for (const std::string& a : items) {
        if (!applySetItem(*s, sink, bypass, a, error)) {
            std::cerr << "quorvelctl: set: " << error << "\n";
            return 1;
        }
    }
    for (const OutgoingFrame& f : sink.frames)
        std::cout << f.text << " " << f.pauseAfter.count() << "\n";
    return 0;
}

int runCurve(const Args& args, const GlobalOptions& g) {
    if (args.empty()) return usageError("curve: needs input[N]");
    const auto sel = parseSelector(args[0]);
    if (!sel || !sel->input) return usageError("curve: '" + args[0] + "' is not input[1..18]");
    bool json = false;
    int port = kDevicePort;
    std::vector<std::string> sets;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--json") {
            json = true;
        } else if (args[i] == "--set" && i + 1 < args.size()) {
            sets.push_back(args[++i]);
        } else if (args[i] == "--port" && i + 1 < args.size()) {
            if (!parseInt(args[++i], port) || port < 1 || port > 65535)
                return usageError("curve: --port needs a number 1..65535");
        } else {
            return usageError("curve: unexpected argument '" + args[i] + "'");
        }
    }
    auto s = std::make_unique<DeviceState>();
    loadFactoryDefaults(*s);
    std::string error;
    for (const std::string& a : sets) {
        Assignment parsed;
        if (!parseAssignment(a, parsed, error)) return usageError("curve: " + error);
    }
    if (!g.host.empty()) {
        if (int rc = fetchDeviceState(g, port, *s)) return rc;
    }
    for (const std::string& a : sets)
        assignField(*s, a, error);

    const auto bands = curves::channelBands(s->in(sel->record), peqHasFilters(sel->record));
    std::vector<curves::Curve> per;
    const curves::Curve total = curves::totalResponse(bands, &per);
    const curves::Curve& grid = curves::frequencyGrid();
    if (!json) {
        for (int i = 0; i < curves::kGridPoints; ++i)
            std::cout << formatFreq(grid[static_cast<std::size_t>(i)]) << " "
                      << formatDb(total[static_cast<std::size_t>(i)]) << "\n";
        return 0;
    }
    auto list = [](const curves::Curve& c, std::string (*fmt)(double)) {
        std::string out = "[";
        for (int i = 0; i < curves::kGridPoints; ++i) {
            if (i) out += ",";
            out += fmt(c[static_cast<std::size_t>(i)]);
        }
        return out + "]";
    };
    std::string out =
        "{\"freq\":" + list(grid, formatFreq) + ",\"db\":" + list(total, formatDb) + ",\"bands\":[";
    for (std::size_t b = 0; b < per.size(); ++b) {
        if (b) out += ",";
        out += list(per[b], formatDb);
    }
    std::cout << out << "]}\n";
    return 0;
}

int runPreset(const Args& args) {
    if (args.size() < 3) return usageError("preset: needs encode TABLE SEL or decode TABLE SEL TEXT");
    const TableBlock* t = findTable(args[1]);
    if (!t)
        return usageError("preset: unknown table '" + args[1] +
                          "' (NOISE, Compressor, PEQ, LIMIT, GEQ, DELAY, REV)");
    const auto sel = parseSelector(args[2]);
    if (const std::string need = selectorNeed(*t, sel); !need.empty())
        return usageError(std::string("preset: ") + args[1] + " needs " + need);
    auto s = std::make_unique<DeviceState>();
    loadFactoryDefaults(*s);
    std::string error;
    if (args[0] == "encode") {
        for (std::size_t i = 3; i < args.size(); ++i) {
            if (args[i] != "--set" || i + 1 >= args.size())
                return usageError("preset: unexpected argument '" + args[i] + "'");
            if (!assignField(*s, args[++i], error)) return usageError("preset: " + error);
        }
        std::cout << blockDataText(t->block, *s, sel->record - 1) << "\n";
        return 0;
    }
    if (args[0] != "decode") return usageError("preset: unknown action '" + args[0] + "' (encode, decode)");
    if (args.size() != 4) return usageError("preset: decode needs TABLE SEL TEXT");
    if (!applyBlockDataText(t->block, args[3], *s, sel->record - 1, error))
        return usageError("preset: " + error);
    clampRecordFields(*s, !t->perOutput, sel->record);
    std::string out = "{";
    bool first = true;
    for (const FieldInfo* f : blockFields(*t, sel->record, args[3])) {
        if (!first) out += ",";
        first = false;
        out += "\"" + f->path + "\":" + std::to_string(FieldRegistry::get(*s, *f));
    }
    std::cout << out << "}\n";
    return 0;
}

} // namespace quorvel::cli
