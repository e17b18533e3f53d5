// OSC messages into edits. The I/O thread decodes each message against the address space alone
// (no device state) and keeps only the latest value per field; the owner thread takes them all in
// one drain and applies them through RemoteHost::edit. A flood therefore costs one pending value,
// and one edit, per field, however fast it comes.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/change_set.h"
#include "remote/remote_host.h"

namespace quorvel::osc {

// A client by the address its datagrams came from; feedback goes back there and nowhere else.
struct ClientAddress {
    std::uint32_t ip = 0;   // network order
    std::uint16_t port = 0; // network order
    bool operator==(const ClientAddress&) const = default;
    sockaddr_in sockaddr() const;
    static ClientAddress of(const sockaddr_in& a);
};

enum class Ignore : std::uint8_t { None, UnknownAddress, WrongType, OutOfRange, ReadOnly };

// What one message asks for.
struct Request {
    enum class Kind : std::uint8_t { Ignored, Edit, EditName, Query, Subscribe, Unsubscribe, MeterRate };
    Kind kind = Kind::Ignored;
    Ignore why = Ignore::None;
    FieldId field = 0;
    std::int32_t raw = 0;
    std::string gbk;  // EditName
    double rate = -1; // Subscribe (-1: keep the client's), MeterRate
};

// types and argv as liblo gives them; argv[i] points at argument i.
Request decodeMessage(std::string_view address, std::string_view types, const void* const* argv);

// Calls fn(address, message) for each message of a datagram, a bundle's elements included
// (nested bundles too, to a depth of 8; their time tags are ignored: everything applies at once).
// False when some of it was malformed; the well-formed messages before it were still given.
bool forEachMessage(const void* data, std::size_t size,
                    const std::function<void(std::string_view address, const Request& request)>& fn);

struct DispatchStats {
    std::uint64_t messages = 0;
    std::uint64_t edits = 0;     // values taken (each still subject to coalescing)
    std::uint64_t coalesced = 0; // values replaced by a newer one before the drain
    std::uint64_t applied = 0;   // edits the drain made
    std::uint64_t refused = 0;   // edits the edit operation refused (an item outside its list, ...)
    std::uint64_t unknownAddress = 0;
    std::uint64_t wrongType = 0;
    std::uint64_t outOfRange = 0;
    std::uint64_t readOnly = 0;
    std::uint64_t malformed = 0; // datagrams that were not OSC
    std::uint64_t queriesDropped = 0;
};

class OscDispatcher {
public:
    // On the owner thread: send the value of `field` (all fields when nullopt) to one client. A
    // query, an edit the edit operation refused (so the client's control goes back), a subscribe.
    using ReplyFn = std::function<void(const ClientAddress& to, std::optional<FieldId> field)>;

    explicit OscDispatcher(remote::RemoteHost& host);
    ~OscDispatcher();
    OscDispatcher(const OscDispatcher&) = delete;
    OscDispatcher& operator=(const OscDispatcher&) = delete;

    void setReplyHandler(ReplyFn fn); // before the first submit

    // Any thread: takes a field request (Edit, EditName, Query; others are only counted) and posts
    // one drain to the owner thread unless one is already pending.
    void submit(const Request& r, const ClientAddress& from);
    void noteMalformed();
    void requestSnapshot(const ClientAddress& to);

    // Owner thread: what the posted drain runs.
    void drain();
    DispatchStats stats() const;

private:
    struct Core;
    static void drainCore(Core& c);
    std::shared_ptr<Core> core_;
};

} // namespace quorvel::osc
