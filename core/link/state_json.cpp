#include "link/state_json.h"

#include <charconv>
#include <memory>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

#include "link/field_registry.h"
#include "link/gbk.h"

namespace quorvel {
namespace {

using Json = nlohmann::ordered_json;

// The shape of the JSON document, derived once from the field registry: objects keep the
// registry's field order, arrays are indexed by the 1-based path indices.
struct Node {
    enum class Kind { Object, Array, Leaf } kind = Kind::Object;
    std::vector<std::pair<std::string, std::unique_ptr<Node>>> members;
    std::vector<std::unique_ptr<Node>> elements;
    const FieldInfo* field = nullptr;
};

Node& member(Node& obj, std::string_view key) {
    for (auto& [k, child] : obj.members)
        if (k == key) return *child;
    obj.members.emplace_back(std::string(key), std::make_unique<Node>());
    return *obj.members.back().second;
}

Node& element(Node& arr, std::size_t index1) {
    arr.kind = Node::Kind::Array;
    if (arr.elements.size() < index1) arr.elements.resize(index1);
    auto& slot = arr.elements[index1 - 1];
    if (!slot) slot = std::make_unique<Node>();
    return *slot;
}

// "input[3].peq[2].bandGain" -> input, [3], peq, [2], bandGain.
void place(Node& root, const FieldInfo& f) {
    Node* node = &root;
    std::string_view p = f.path;
    std::size_t i = 0;
    while (i < p.size()) {
        if (p[i] == '.') {
            ++i;
            continue;
        }
        if (p[i] == '[') {
            std::size_t close = p.find(']', i);
            std::size_t index = 0;
            std::from_chars(p.data() + i + 1, p.data() + close, index);
            node = &element(*node, index == 0 ? 1 : index);
            i = close + 1;
            continue;
        }
        std::size_t end = p.find_first_of(".[", i);
        if (end == std::string_view::npos) end = p.size();
        node = &member(*node, p.substr(i, end - i));
        i = end;
    }
    node->kind = Node::Kind::Leaf;
    node->field = &f;
}

const Node& schema() {
    static const Node root = [] {
        Node r;
        for (const FieldInfo& f : FieldRegistry::instance().fields())
            place(r, f);
        return r;
    }();
    return root;
}

void appendInt(std::string& out, long long v) {
    char buf[24];
    char* p = buf + sizeof buf;
    unsigned long long u =
        v < 0 ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
    do {
        *--p = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u);
    if (v < 0) *--p = '-';
    out.append(p, static_cast<std::size_t>(buf + sizeof buf - p));
}

void appendHexEscape(std::string& out, unsigned char c) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\u00";
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 0xF]);
}

// Plain ASCII reads the same in GBK and UTF-8 and skips the converter, which dominates otherwise.
std::string nameText(std::string_view gbk) {
    for (unsigned char c : gbk)
        if (c >= 0x80) return gbkToUtf8(gbk);
    return std::string(gbk);
}

void appendName(std::string& out, std::string_view gbk) {
    appendJsonString(out, nameText(gbk));
}

// The document in the registry's order; ordered_json keeps members as they were added.
Json build(const Node& n, const DeviceState& s) {
    switch (n.kind) {
    case Node::Kind::Leaf:
        if (n.field->kind == FieldKind::Name) return nameText(FieldRegistry::getName(s, *n.field));
        return FieldRegistry::get(s, *n.field);
    case Node::Kind::Array: {
        Json arr = Json::array();
        arr.get_ref<Json::array_t&>().reserve(n.elements.size());
        for (const auto& e : n.elements)
            arr.push_back(e ? build(*e, s) : Json(nullptr));
        return arr;
    }
    case Node::Kind::Object:
        break;
    }
    Json obj = Json::object();
    auto& members = obj.get_ref<Json::object_t&>();
    members.reserve(n.members.size());
    // Keys are unique by construction: appended without the map's search.
    for (const auto& [key, child] : n.members)
        members.Container::emplace_back(key, build(*child, s));
    return obj;
}

// Written out as the state JSON has always been: compact, every control character as \u00XX
// (the library's writer would shorten some), text other than that as it is.
void write(std::string& out, const Json& j) {
    switch (j.type()) {
    case Json::value_t::object: {
        out.push_back('{');
        bool first = true;
        for (const auto& [key, value] : j.get_ref<const Json::object_t&>()) {
            if (!first) out.push_back(',');
            first = false;
            appendJsonString(out, key);
            out.push_back(':');
            write(out, value);
        }
        out.push_back('}');
        return;
    }
    case Json::value_t::array: {
        out.push_back('[');
        bool first = true;
        for (const Json& e : j.get_ref<const Json::array_t&>()) {
            if (!first) out.push_back(',');
            first = false;
            write(out, e);
        }
        out.push_back(']');
        return;
    }
    case Json::value_t::string:
        appendJsonString(out, j.get_ref<const std::string&>());
        return;
    case Json::value_t::number_integer:
        appendInt(out, j.get<std::int64_t>());
        return;
    case Json::value_t::number_unsigned:
        appendInt(out, static_cast<long long>(j.get<std::uint64_t>()));
        return;
    case Json::value_t::boolean:
        out += j.get<bool>() ? "true" : "false";
        return;
    default:
        out += "null";
        return;
    }
}

// A small writer for report lines: key/value pairs of one flat object.
class Line {
public:
    explicit Line(char letter) {
        out_ = "{\"report\":";
        appendBytes(std::string_view(&letter, 1));
    }
    template <typename Fn> Line& array(const char* key, int n, Fn&& value) {
        keyed(key);
        out_.push_back('[');
        for (int i = 0; i < n; ++i) {
            if (i) out_.push_back(',');
            value(i);
        }
        out_.push_back(']');
        return *this;
    }
    Line& integer(const char* key, long long v) {
        keyed(key);
        appendInt(out_, v);
        return *this;
    }
    Line& boolean(const char* key, bool v) {
        keyed(key);
        out_ += v ? "true" : "false";
        return *this;
    }
    Line& raw(const char* key) {
        keyed(key);
        return *this;
    }
    // Frame text as received: bytes outside ASCII are not trusted to be UTF-8, so each is escaped.
    void appendBytes(std::string_view bytes) {
        out_.push_back('"');
        for (unsigned char c : bytes) {
            if (c < 0x20 || c >= 0x7F)
                appendHexEscape(out_, c);
            else if (c == '"' || c == '\\')
                (out_.push_back('\\'), out_.push_back(static_cast<char>(c)));
            else
                out_.push_back(static_cast<char>(c));
        }
        out_.push_back('"');
    }
    std::string& out() { return out_; }
    std::string finish() && {
        out_.push_back('}');
        return std::move(out_);
    }

private:
    void keyed(const char* key) {
        out_.push_back(',');
        appendJsonString(out_, key);
        out_.push_back(':');
    }
    std::string out_;
};

} // namespace

void appendJsonString(std::string& out, std::string_view utf8) {
    out.push_back('"');
    std::size_t run = 0; // start of the text not yet copied; plain runs go in one append
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        out.append(utf8.substr(run, i - run));
        if (c < 0x20) {
            appendHexEscape(out, c);
        } else {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        }
        run = i + 1;
    }
    out.append(utf8.substr(run));
    out.push_back('"');
}

std::string stateToJson(const DeviceState& s) {
    std::string out;
    out.reserve(64 * 1024);
    write(out, build(schema(), s));
    return out;
}

std::string reportToJson(std::string_view frame, const DispatchResult& r, const DeviceState& s) {
    Line line(r.letter);
    auto in = [&](int i) -> const InputChannel& { return s.input[static_cast<std::size_t>(i)]; };
    auto out = [&](int i) -> const OutputChannel& { return s.output[static_cast<std::size_t>(i)]; };
    switch (r.kind) {
    case ReportKind::FullState:
        line.boolean("wentOnline", r.wentOnline).raw("deviceText");
        appendName(line.out(), nameView(s.deviceText));
        break;
    case ReportKind::Names:
        line.array("units", kUnits,
                   [&](int u) {
                       line.out().push_back('[');
                       for (int k = 0; k < kUnitSlots; ++k) {
                           if (k) line.out().push_back(',');
                           appendInt(line.out(),
                                     s.units[static_cast<std::size_t>(u)][static_cast<std::size_t>(k)]);
                       }
                       line.out().push_back(']');
                   })
            .integer("unitCount", s.unitCount)
            .array("inputNames", kAnalogInputs, [&](int i) { appendName(line.out(), nameView(in(i).name)); })
            .array("outputNames", kOutputRecords,
                   [&](int i) { appendName(line.out(), nameView(out(i).name)); })
            .boolean("sendResumeReports", r.sendResumeReports);
        break;
    case ReportKind::Status:
        line.raw("meters");
        line.out() += "{\"input\":[";
        for (int i = 0; i < kAnalogInputs; ++i) {
            if (i) line.out().push_back(',');
            appendInt(line.out(), in(i).meter);
        }
        line.out() += "],\"output\":[";
        for (int i = 0; i < kOutputRecords; ++i) {
            if (i) line.out().push_back(',');
            appendInt(line.out(), out(i).meter);
        }
        line.out() += "]}";
        line.array("channelOpen", 8, [&](int i) { appendInt(line.out(), in(i).channelOpen); })
            .array("lastOpen", 8, [&](int i) { appendInt(line.out(), in(i).lastOpen); })
            .integer("channelOpenChanged", r.channelOpenChanged);
        // Delay in, out, reverberation in, out, from a device that reports them.
        if (r.statusValues > 22)
            line.array("effectMeters", 4,
                       [&](int i) { appendInt(line.out(), s.effectMeters[static_cast<std::size_t>(i)]); });
        break;
    case ReportKind::Levels:
        line.array("outputLevel", kOutputRecords, [&](int i) { appendInt(line.out(), out(i).level); })
            .array("outputMute", kOutputRecords, [&](int i) { appendInt(line.out(), out(i).mute); })
            .array("outputLineLevel", kOutputRecords, [&](int i) { appendInt(line.out(), out(i).lineLevel); })
            .array("inputLevel", kAnalogInputs, [&](int i) { appendInt(line.out(), in(i).level); })
            .integer("reportNumber", s.reportNumber)
            .boolean("moveFaders", r.moveFaders);
        break;
    case ReportKind::Ignored:
    case ReportKind::Rejected:
        line.boolean(r.kind == ReportKind::Ignored ? "ignored" : "rejected", true).raw("frame");
        line.appendBytes(frame);
        break;
    }
    return std::move(line).finish();
}

} // namespace quorvel
