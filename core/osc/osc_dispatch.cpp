#include "osc/osc_dispatch.h"

#include <lo/lo.h>

#include <cmath>
#include <cstring>
#include <deque>

#include "link/gbk.h"
#include "osc/osc_map.h"

namespace quorvel::osc {

sockaddr_in ClientAddress::sockaddr() const {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = ip;
    a.sin_port = port;
    return a;
}

ClientAddress ClientAddress::of(const sockaddr_in& a) {
    return ClientAddress{a.sin_addr.s_addr, a.sin_port};
}

namespace {

// An argument's bytes, null for the types that carry none (T, F, N, I). liblo keeps arguments at
// 4-byte offsets, so an 8-byte value is read by copy, never through its union.
const void* arg(const void* const* argv, std::size_t i) {
    return argv[i];
}

template <class T> T as(const void* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

std::optional<double> number(char type, const void* a) {
    if (!a) return std::nullopt;
    switch (type) {
    case LO_FLOAT:
        return as<float>(a);
    case LO_DOUBLE:
        return as<double>(a);
    case LO_INT32:
        return as<std::int32_t>(a);
    case LO_INT64:
        return static_cast<double>(as<std::int64_t>(a));
    default:
        return std::nullopt;
    }
}

Request ignored(Ignore why) {
    Request r;
    r.why = why;
    return r;
}

Request edit(FieldId field, std::int64_t raw, const FieldInfo& f) {
    if (raw < f.min || raw > f.max) return ignored(Ignore::OutOfRange);
    Request r;
    r.kind = Request::Kind::Edit;
    r.field = field;
    r.raw = static_cast<std::int32_t>(raw);
    return r;
}

} // namespace

Request decodeMessage(std::string_view address, std::string_view types, const void* const* argv) {
    if (address == kSubscribeAddress || address == kUnsubscribeAddress || address == kMeterRateAddress) {
        Request r;
        if (address == kUnsubscribeAddress) {
            r.kind = Request::Kind::Unsubscribe;
            return r;
        }
        std::optional<double> rate;
        if (!types.empty()) rate = number(types[0], arg(argv, 0));
        if (types.size() > 1 || (!types.empty() && !rate)) return ignored(Ignore::WrongType);
        if (rate && !(*rate >= 0 && *rate <= 1000)) return ignored(Ignore::OutOfRange);
        if (address == kSubscribeAddress) {
            r.kind = Request::Kind::Subscribe;
            r.rate = rate.value_or(-1);
        } else {
            if (!rate) return ignored(Ignore::WrongType);
            r.kind = Request::Kind::MeterRate;
            r.rate = *rate;
        }
        return r;
    }

    const auto target = OscMap::instance().resolve(address);
    if (!target) return ignored(Ignore::UnknownAddress);
    const OscEntry& e = *target->entry;
    const FieldInfo& f = FieldRegistry::instance().field(e.field);
    if (types.empty()) {
        Request r;
        r.kind = Request::Kind::Query;
        r.field = e.field;
        return r;
    }
    if (types.size() != 1) return ignored(Ignore::WrongType);
    if (e.readOnly) return ignored(Ignore::ReadOnly);
    const char type = types[0];
    if (type == LO_TRUE || type == LO_FALSE) {
        if (!e.toggle || target->raw) return ignored(Ignore::WrongType);
        return edit(e.field, type == LO_TRUE ? 1 : 0, f);
    }
    const void* a = arg(argv, 0);
    if (!a) return ignored(Ignore::WrongType);

    if (e.name) {
        if (type != LO_STRING && type != LO_SYMBOL) return ignored(Ignore::WrongType);
        auto gbk = utf8ToGbk(static_cast<const char*>(a));
        if (!gbk) return ignored(Ignore::OutOfRange);
        Request r;
        r.kind = Request::Kind::EditName;
        r.field = e.field;
        r.gbk = std::move(*gbk); // the edit cuts it to the field without splitting a character
        return r;
    }
    if (target->raw) {
        if (type == LO_INT32) return edit(e.field, as<std::int32_t>(a), f);
        if (type == LO_INT64) return edit(e.field, as<std::int64_t>(a), f);
        return ignored(Ignore::WrongType);
    }
    if (e.toggle) {
        if (type == LO_INT32) return edit(e.field, as<std::int32_t>(a), f);
        if (type == LO_INT64) return edit(e.field, as<std::int64_t>(a), f);
    }
    if (type != LO_FLOAT && type != LO_DOUBLE) return ignored(Ignore::WrongType);
    const double unit = type == LO_FLOAT ? as<float>(a) : as<double>(a);
    if (!(unit >= 0.0 && unit <= 1.0)) return ignored(Ignore::OutOfRange); // NaN too
    return edit(e.field, rawFromUnit(f, unit), f);
}

namespace {

std::uint32_t be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

constexpr char kBundleTag[8] = {'#', 'b', 'u', 'n', 'd', 'l', 'e', '\0'};

bool walk(const std::uint8_t* data, std::size_t size, int depth,
          const std::function<void(std::string_view, const Request&)>& fn) {
    if (size >= 16 && std::memcmp(data, kBundleTag, 8) == 0) {
        if (depth >= 8) return false;
        std::size_t at = 16; // the tag and the time tag
        while (at < size) {
            if (size - at < 4) return false;
            const std::uint32_t n = be32(data + at);
            at += 4;
            if (n == 0 || n % 4 != 0 || n > size - at) return false;
            if (!walk(data + at, n, depth + 1, fn)) return false;
            at += n;
        }
        return true;
    }
    if (size == 0 || data[0] != '/') return false;
    // liblo reads the buffer as its own; a copy keeps the caller's const and its alignment.
    std::vector<std::uint8_t> copy(data, data + size);
    int result = 0;
    lo_message m = lo_message_deserialise(copy.data(), copy.size(), &result);
    if (!m || result != 0) {
        if (m) lo_message_free(m);
        return false;
    }
    // A message that deserialised starts with its NUL-terminated address.
    const std::string_view address(reinterpret_cast<const char*>(copy.data()));
    const char* types = lo_message_get_types(m);
    lo_arg** argv = lo_message_get_argv(m);
    const int argc = lo_message_get_argc(m);
    const std::string_view typeText(types ? types : "", types ? static_cast<std::size_t>(argc) : 0);
    const Request r = decodeMessage(address, typeText, reinterpret_cast<const void* const*>(argv));
    lo_message_free(m);
    fn(address, r);
    return true;
}

} // namespace

bool forEachMessage(const void* data, std::size_t size,
                    const std::function<void(std::string_view, const Request&)>& fn) {
    return walk(static_cast<const std::uint8_t*>(data), size, 0, fn);
}

// ---- the hand-over to the owner thread ----

namespace {
constexpr std::size_t kMaxQueries = 256;
}

struct OscDispatcher::Core {
    explicit Core(remote::RemoteHost& h) : host(h) {}

    struct Pending {
        bool pending = false;
        bool name = false;
        std::int32_t raw = 0;
        std::string gbk;
        ClientAddress from;
    };
    struct Reply {
        ClientAddress to;
        std::optional<FieldId> field;
    };

    remote::RemoteHost& host;
    ReplyFn reply;
    mutable std::mutex mutex;
    std::vector<Pending> slots; // by field id
    std::vector<FieldId> order; // pending fields, in arrival order
    std::vector<Reply> replies;
    bool drainPosted = false;
    DispatchStats stats;
};

OscDispatcher::OscDispatcher(remote::RemoteHost& host) : core_(std::make_shared<Core>(host)) {
    core_->slots.resize(FieldRegistry::instance().fields().size());
}

OscDispatcher::~OscDispatcher() = default;

void OscDispatcher::setReplyHandler(ReplyFn fn) {
    std::lock_guard lock(core_->mutex);
    core_->reply = std::move(fn);
}

void OscDispatcher::noteMalformed() {
    std::lock_guard lock(core_->mutex);
    ++core_->stats.malformed;
}

void OscDispatcher::submit(const Request& r, const ClientAddress& from) {
    Core& c = *core_;
    bool post = false;
    {
        std::lock_guard lock(c.mutex);
        ++c.stats.messages;
        switch (r.why) {
        case Ignore::UnknownAddress:
            ++c.stats.unknownAddress;
            break;
        case Ignore::WrongType:
            ++c.stats.wrongType;
            break;
        case Ignore::OutOfRange:
            ++c.stats.outOfRange;
            break;
        case Ignore::ReadOnly:
            ++c.stats.readOnly;
            break;
        case Ignore::None:
            break;
        }
        if (r.kind == Request::Kind::Edit || r.kind == Request::Kind::EditName) {
            if (r.field >= c.slots.size()) return;
            Core::Pending& p = c.slots[r.field];
            ++c.stats.edits;
            if (p.pending)
                ++c.stats.coalesced;
            else
                c.order.push_back(r.field);
            p.pending = true;
            p.name = r.kind == Request::Kind::EditName;
            p.raw = r.raw;
            p.gbk = r.gbk;
            p.from = from;
        } else if (r.kind == Request::Kind::Query) {
            if (c.replies.size() >= kMaxQueries) {
                ++c.stats.queriesDropped;
                return;
            }
            c.replies.push_back({from, r.field});
        } else {
            return;
        }
        post = !c.drainPosted;
        c.drainPosted = true;
    }
    if (post) {
        std::weak_ptr<Core> weak = core_;
        c.host.post([weak] {
            if (auto alive = weak.lock()) {
                // Core without the wrapper: the dispatcher may be gone, its core is not.
                OscDispatcher::drainCore(*alive);
            }
        });
    }
}

void OscDispatcher::requestSnapshot(const ClientAddress& to) {
    Core& c = *core_;
    bool post = false;
    {
        std::lock_guard lock(c.mutex);
        if (c.replies.size() >= kMaxQueries) {
            ++c.stats.queriesDropped;
            return;
        }
        c.replies.push_back({to, std::nullopt});
        post = !c.drainPosted;
        c.drainPosted = true;
    }
    if (post) {
        std::weak_ptr<Core> weak = core_;
        c.host.post([weak] {
            if (auto alive = weak.lock()) OscDispatcher::drainCore(*alive);
        });
    }
}

void OscDispatcher::drain() {
    drainCore(*core_);
}

void OscDispatcher::drainCore(Core& c) {
    std::vector<FieldId> order;
    std::vector<Core::Pending> values;
    std::vector<Core::Reply> replies;
    ReplyFn reply;
    {
        std::lock_guard lock(c.mutex);
        c.drainPosted = false;
        order.swap(c.order);
        values.reserve(order.size());
        for (FieldId id : order) {
            values.push_back(std::move(c.slots[id]));
            c.slots[id] = Core::Pending{};
        }
        replies.swap(c.replies);
        reply = c.reply;
    }
    std::uint64_t applied = 0, refused = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const Core::Pending& p = values[i];
        const EditOutcome out = p.name ? c.host.editName(order[i], p.gbk) : c.host.edit(order[i], p.raw);
        if (out.applied) {
            ++applied;
        } else {
            ++refused;
            if (reply) reply(p.from, order[i]); // the control goes back to what the device has
        }
    }
    if (reply)
        for (const Core::Reply& r : replies)
            reply(r.to, r.field);
    std::lock_guard lock(c.mutex);
    c.stats.applied += applied;
    c.stats.refused += refused;
}

DispatchStats OscDispatcher::stats() const {
    std::lock_guard lock(core_->mutex);
    return core_->stats;
}

} // namespace quorvel::osc
