#include "remote/json_rpc.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "link/field_display.h"
#include "link/field_registry.h"
#include "link/gbk.h"

namespace quorvel::remote {

namespace {

using Json = nlohmann::ordered_json;

// Names come from the device and are converted, but a stray byte must not throw at the writer.
std::string dump(const Json& j) {
    return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json errorObject(int code, std::string_view message) {
    Json e;
    e["code"] = code;
    e["message"] = std::string(message);
    return e;
}

std::string errorReply(const Json& id, int code, std::string_view message, const Json* data = nullptr) {
    Json r;
    r["jsonrpc"] = "2.0";
    r["id"] = id;
    r["error"] = errorObject(code, message);
    if (data) r["error"]["data"] = *data;
    return dump(r);
}

std::string resultReply(const Json& id, Json result) {
    Json r;
    r["jsonrpc"] = "2.0";
    r["id"] = id;
    r["result"] = std::move(result);
    return dump(r);
}

std::string notification(const char* method, Json params) {
    Json r;
    r["jsonrpc"] = "2.0";
    r["method"] = method;
    r["params"] = std::move(params);
    return dump(r);
}

// Fields that move with every status report: subscribing to everything must not mean a flood of
// them; the meters have their own notification.
bool movesOnItsOwn(const FieldInfo& f) {
    for (const char* p : {"meter", "channelOpen", "lastOpen", "reportNumber"})
        if (f.path.find(p) != std::string::npos) return true;
    return false;
}

Json fieldValue(const DeviceState& s, const FieldInfo& f) {
    if (f.kind == FieldKind::Name) return gbkToUtf8(FieldRegistry::getName(s, f));
    return FieldRegistry::get(s, f);
}

const char* unitOf(DisplayFormat f) {
    switch (f) {
    case DisplayFormat::Db60:
    case DisplayFormat::Gain150:
    case DisplayFormat::TenthDb:
        return "dB";
    case DisplayFormat::Hz:
        return "Hz";
    case DisplayFormat::Ms:
        return "ms";
    case DisplayFormat::Sec10:
        return "s";
    case DisplayFormat::Percent:
        return "%";
    default:
        return "";
    }
}

// Any JSON number as a raw value: out-of-range integers and huge or fractional numbers are
// brought inside int32 here; the edit clamps to the field's range.
std::optional<std::int32_t> rawNumber(const Json& v) {
    constexpr auto lo = std::numeric_limits<std::int32_t>::min();
    constexpr auto hi = std::numeric_limits<std::int32_t>::max();
    if (v.is_number_unsigned())
        return static_cast<std::int32_t>(std::min<std::uint64_t>(v.get<std::uint64_t>(), hi));
    if (v.is_number_integer())
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(v.get<std::int64_t>(), lo, hi));
    if (v.is_number_float()) {
        const double d = v.get<double>();
        if (!std::isfinite(d)) return std::nullopt;
        return static_cast<std::int32_t>(std::lround(std::clamp(d, double(lo), double(hi))));
    }
    return std::nullopt;
}

// A list of paths (or "all"), each known to the registry.
bool readPaths(const Json& v, std::vector<FieldId>& out, bool& all, std::string& error) {
    const auto& reg = FieldRegistry::instance();
    if (v.is_string() && v.get_ref<const std::string&>() == "all") {
        all = true;
        return true;
    }
    if (!v.is_array()) {
        error = "paths: an array of field paths, or \"all\"";
        return false;
    }
    for (const Json& p : v) {
        if (!p.is_string()) {
            error = "paths: every path is a string";
            return false;
        }
        const FieldInfo* f = reg.find(p.get_ref<const std::string&>());
        if (!f) {
            error = "unknown path: " + p.get<std::string>();
            return false;
        }
        out.push_back(f->id);
    }
    return true;
}

Json statusObject(const LinkStatus& st) {
    Json r;
    r["online"] = st.online;
    r["device"] = st.deviceAddress;
    r["reportRate"] = st.reportRateHz;
    r["pendingEdits"] = st.pendingEdits;
    return r;
}

} // namespace

std::string errorLine(int code, std::string_view message) {
    return errorReply(nullptr, code, message);
}

bool tokensEqual(std::string_view a, std::string_view b) {
    // Scans the longer of the two, so the time tells neither the token's content nor where a
    // guess goes wrong.
    const std::size_t n = std::max(a.size(), b.size());
    unsigned diff = a.size() == b.size() ? 0u : 1u;
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(i < a.size() ? a[i] : 0);
        const auto y = static_cast<unsigned char>(i < b.size() ? b[i] : 0);
        diff |= static_cast<unsigned>(x ^ y);
    }
    volatile unsigned sink = diff;
    return sink == 0 && n > 0;
}

JsonRpcHandler::JsonRpcHandler(RemoteHost& host) : host_(host), now_([] { return Clock::now(); }) {}

void JsonRpcHandler::addClient(ClientId id, bool tokenRequired) {
    Session s;
    s.authorised = !tokenRequired;
    sessions_[id] = std::move(s);
}

void JsonRpcHandler::removeClient(ClientId id) {
    sessions_.erase(id);
}

Reply JsonRpcHandler::handle(ClientId client, std::string_view line) {
    Reply reply;
    auto it = sessions_.find(client);
    if (it == sessions_.end()) return reply;
    Session& session = it->second;
    auto malformed = [&](int code, std::string_view message) {
        reply.line = errorReply(nullptr, code, message);
        reply.close = ++session.malformed >= kMalformedLimit;
        return reply;
    };

    Json req = Json::parse(line.begin(), line.end(), nullptr, false);
    if (req.is_discarded()) return malformed(kParseError, "Parse error");
    if (!req.is_object()) return malformed(kInvalidRequest, "Invalid Request: one object a line");
    const auto idIt = req.find("id");
    const bool hasId = idIt != req.end();
    Json id = hasId ? *idIt : Json(nullptr);
    if (hasId && !(id.is_null() || id.is_string() || id.is_number_integer()))
        return malformed(kInvalidRequest, "Invalid Request: id");
    const auto ver = req.find("jsonrpc");
    if (ver == req.end() || !ver->is_string() || ver->get_ref<const std::string&>() != "2.0")
        return malformed(kInvalidRequest, "Invalid Request: jsonrpc must be \"2.0\"");
    const auto methodIt = req.find("method");
    if (methodIt == req.end() || !methodIt->is_string())
        return malformed(kInvalidRequest, "Invalid Request: method");
    const std::string& method = methodIt->get_ref<const std::string&>();
    static const Json kNoParams = Json::object();
    const auto paramsIt = req.find("params");
    const Json& params = paramsIt == req.end() ? kNoParams : *paramsIt;
    if (!params.is_object() && !params.is_array())
        return malformed(kInvalidRequest, "Invalid Request: params");

    auto fail = [&](int code, std::string_view message, const Json* data = nullptr) {
        if (hasId) reply.line = errorReply(id, code, message, data);
        return reply;
    };
    auto ok = [&](Json result) {
        if (hasId) reply.line = resultReply(id, std::move(result));
        return reply;
    };
    auto param = [&](const char* key) -> const Json* {
        if (!params.is_object()) return nullptr;
        auto p = params.find(key);
        return p == params.end() ? nullptr : &*p;
    };

    if (method == "auth") {
        const Json* token = param("token");
        if (!token || !token->is_string()) return fail(kInvalidParams, "auth: {\"token\": TEXT}");
        if (!session.authorised && !tokensEqual(token->get_ref<const std::string&>(), token_)) {
            reply.close = ++session.malformed >= kMalformedLimit; // a guesser gets three tries
            return fail(kUnauthorized, "wrong token");
        }
        session.authorised = true;
        return ok(true);
    }
    if (!session.authorised) return fail(kUnauthorized, "token required: send auth first");

    const auto& reg = FieldRegistry::instance();
    const DeviceState& state = host_.state();

    if (method == "get") {
        const Json* paths = param("paths");
        std::vector<FieldId> ids;
        bool all = false;
        std::string error;
        if (!paths) return fail(kInvalidParams, "get: {\"paths\": [PATH, ...]}");
        if (!readPaths(*paths, ids, all, error)) return fail(kInvalidParams, error);
        Json result = Json::object();
        if (all)
            for (const FieldInfo& f : reg.fields())
                result[f.path] = fieldValue(state, f);
        for (FieldId fid : ids)
            result[reg.field(fid).path] = fieldValue(state, reg.field(fid));
        return ok(std::move(result));
    }

    if (method == "set") {
        if (!params.is_object() || params.empty()) return fail(kInvalidParams, "set: {PATH: VALUE, ...}");
        // Everything is checked before anything is applied, so a bad pair changes nothing.
        struct Item {
            const FieldInfo* field;
            std::int32_t raw = 0;
            std::string gbk;
        };
        std::vector<Item> items;
        for (const auto& [path, value] : params.items()) {
            const FieldInfo* f = reg.find(path);
            if (!f) return fail(kInvalidParams, "unknown path: " + path);
            Item item{f, 0, {}};
            if (f->kind == FieldKind::Name) {
                if (!value.is_string()) return fail(kInvalidParams, path + ": a name is a string");
                auto gbk = utf8ToGbk(value.get_ref<const std::string&>());
                if (!gbk) return fail(kInvalidParams, path + ": a character the device cannot show");
                item.gbk = std::move(*gbk);
            } else {
                auto raw = rawNumber(value);
                if (!raw) return fail(kInvalidParams, path + ": a number");
                item.raw = *raw;
            }
            items.push_back(std::move(item));
        }
        Json result = Json::object();
        for (const Item& item : items) {
            EditOutcome o = item.field->kind == FieldKind::Name ? host_.editName(item.field->id, item.gbk)
                                                                : host_.edit(item.field->id, item.raw);
            if (!o.applied) {
                // Those before it stay applied: say which, as stored.
                Json data = Json::object();
                data["applied"] = result;
                data["path"] = item.field->path;
                for (auto& [p, v] : data["applied"].items())
                    v = fieldValue(host_.state(), *reg.find(p));
                return fail(kRefused, o.refusal.empty() ? "refused" : o.refusal, &data);
            }
            result[item.field->path] = nullptr;
        }
        for (auto& [p, v] : result.items())
            v = fieldValue(host_.state(), *reg.find(p));
        return ok(std::move(result));
    }

    if (method == "list") {
        Json result = Json::array();
        for (const FieldInfo& f : reg.fields()) {
            Json e;
            e["path"] = f.path;
            if (f.kind == FieldKind::Name) {
                e["type"] = "name";
                e["maxBytes"] = kNameBytes;
            } else {
                e["type"] = "int";
                e["min"] = f.min;
                e["max"] = f.max;
                e["unit"] = unitOf(f.format);
            }
            e["value"] = fieldValue(state, f);
            e["display"] = formatField(state, f.id);
            result.push_back(std::move(e));
        }
        return ok(std::move(result));
    }

    if (method == "subscribe" || method == "unsubscribe") {
        const bool on = method == "subscribe";
        const Json* paths = param("paths");
        const Json* meters = param("meters");
        std::vector<FieldId> ids;
        bool all = false;
        std::string error;
        if (paths && !readPaths(*paths, ids, all, error)) return fail(kInvalidParams, error);
        double hz = 0;
        if (meters) {
            if (on) {
                if (!meters->is_number() || !(meters->get<double>() > 0))
                    return fail(kInvalidParams, "meters: reports a second, above 0");
                hz = std::clamp(meters->get<double>(), 0.01, 1000.0);
            } else if (!meters->is_boolean()) {
                return fail(kInvalidParams, "meters: true");
            }
        }
        if (on) {
            if (all) session.allFields = true;
            session.fields.insert(ids.begin(), ids.end());
            if (meters) {
                // Meters go out on status reports only, so the device's rate bounds any rate asked.
                session.meterHz = hz;
                session.lastMeters = {};
            }
        } else if (!paths && !meters) {
            session.allFields = false;
            session.fields.clear();
            session.meterHz = 0;
        } else {
            if (all) {
                session.allFields = false;
                session.fields.clear();
            }
            for (FieldId f : ids)
                session.fields.erase(f);
            if (meters && meters->get<bool>()) session.meterHz = 0;
        }
        Json result;
        if (session.allFields)
            result["paths"] = "all";
        else
            result["paths"] = session.fields.size();
        const int rate = host_.status().reportRateHz;
        const double hzKept = rate > 0 ? std::min(session.meterHz, double(rate)) : session.meterHz;
        if (hzKept == std::floor(hzKept))
            result["meters"] = static_cast<int>(hzKept);
        else
            result["meters"] = hzKept;
        return ok(std::move(result));
    }

    if (method == "recall") {
        const Json* kind = param("kind");
        const Json* name = param("name");
        const Json* channel = param("channel");
        if (!kind || !kind->is_string() || !name || !name->is_string() ||
            (channel && !channel->is_number_integer()))
            return fail(kInvalidParams, "recall: {\"kind\": TEXT, \"name\": TEXT, \"channel\": N}");
        std::string error;
        const int ch =
            channel ? static_cast<int>(std::clamp<std::int64_t>(channel->get<std::int64_t>(), -1, 1000)) : 0;
        if (!host_.recall(kind->get_ref<const std::string&>(), name->get_ref<const std::string&>(), ch,
                          error))
            return fail(kRefused, error.empty() ? "no such preset or scene" : error);
        return ok(true);
    }

    if (method == "connect" || method == "disconnect") {
        if (method == "connect")
            host_.connect();
        else
            host_.disconnect();
        return ok(statusObject(host_.status()));
    }

    if (method == "status") return ok(statusObject(host_.status()));

    return fail(kMethodNotFound, "Method not found: " + method);
}

void JsonRpcHandler::fieldsChanged(const ChangeSet& changes) {
    if (!send_ || changes.empty()) return;
    const auto& reg = FieldRegistry::instance();
    const DeviceState& state = host_.state();
    std::optional<std::string> allLine; // shared by every client subscribed to everything
    for (auto& [id, entry] : sessions_) {
        Session& session = entry; // a lambda below captures it, which a binding cannot be
        if (!session.authorised || (!session.allFields && session.fields.empty())) continue;
        if (session.allFields && session.fields.empty()) {
            if (!allLine) {
                Json params = Json::object();
                auto put = [&](const FieldInfo& f) {
                    if (!movesOnItsOwn(f)) params[f.path] = fieldValue(state, f);
                };
                if (changes.all())
                    for (const FieldInfo& f : reg.fields())
                        put(f);
                else
                    for (FieldId f : changes.fields())
                        put(reg.field(f));
                allLine = params.empty() ? std::string() : notification("changed", std::move(params));
            }
            if (!allLine->empty()) send_(id, *allLine);
            continue;
        }
        Json params = Json::object();
        auto wanted = [&](const FieldInfo& f) {
            return session.fields.count(f.id) || (session.allFields && !movesOnItsOwn(f));
        };
        if (changes.all()) {
            for (const FieldInfo& f : reg.fields())
                if (wanted(f)) params[f.path] = fieldValue(state, f);
        } else {
            for (FieldId fid : changes.fields())
                if (wanted(reg.field(fid))) params[reg.field(fid).path] = fieldValue(state, reg.field(fid));
        }
        if (!params.empty()) send_(id, notification("changed", std::move(params)));
    }
}

void JsonRpcHandler::metersUpdated() {
    if (!send_) return;
    const Clock::time_point now = now_();
    std::optional<std::string> line;
    for (auto& [id, entry] : sessions_) {
        Session& session = entry;
        if (!session.authorised || session.meterHz <= 0) continue;
        // A schedule rather than a gap since the last one, so the rate asked is the rate kept on
        // average whatever the reports' jitter; a little slack for a report just early.
        const auto interval =
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / session.meterHz));
        if (session.lastMeters != Clock::time_point{} &&
            now + std::chrono::milliseconds(5) < session.lastMeters)
            continue;
        session.lastMeters =
            (session.lastMeters == Clock::time_point{} || now - session.lastMeters > interval)
                ? now + interval
                : session.lastMeters + interval;
        if (!line) {
            const DeviceState& s = host_.state();
            Json params;
            Json in = Json::array(), out = Json::array();
            for (int i = 1; i <= kAnalogInputs; ++i)
                in.push_back(s.in(i).meter);
            for (int i = 0; i < kOutputRecords; ++i)
                out.push_back(s.output[static_cast<std::size_t>(i)].meter);
            params["input"] = std::move(in);
            params["output"] = std::move(out);
            line = notification("meters", std::move(params));
        }
        send_(id, *line);
    }
}

} // namespace quorvel::remote
