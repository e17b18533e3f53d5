// JSON-RPC 2.0 over a RemoteHost, one request a line, for every client of one surface. Owner
// thread only: the transport hands each line over with RemoteHost::post and writes back what
// comes out. The methods, their parameters and the notifications are described in docs/api.md.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "remote/remote_host.h"

namespace quorvel::remote {

using ClientId = std::uint64_t;

// Standard JSON-RPC codes, and ours in the server range.
inline constexpr int kParseError = -32700;
inline constexpr int kInvalidRequest = -32600;
inline constexpr int kMethodNotFound = -32601;
inline constexpr int kInvalidParams = -32602;
inline constexpr int kInternalError = -32603;
inline constexpr int kUnauthorized = -32001;
inline constexpr int kTooManyClients = -32002;
inline constexpr int kLineTooLong = -32003;
inline constexpr int kRefused = -32004; // the device state refused it (a list item, a preset)

// Malformed lines (unparsable, or not a request) a client may send before it is closed.
inline constexpr int kMalformedLimit = 3;

// A complete error line (no newline), for the transport's own refusals.
std::string errorLine(int code, std::string_view message);

// Equal length and content, in time that depends on the length only.
bool tokensEqual(std::string_view a, std::string_view b);

struct Reply {
    std::string line;   // empty for a notification (a request without id) that succeeded
    bool close = false; // the client used up its malformed lines; close once the line is out
};

class JsonRpcHandler final : public RemoteListener {
public:
    using Clock = std::chrono::steady_clock;
    // Writes one line (no newline) to a client: notifications.
    using Send = std::function<void(ClientId, std::string)>;

    explicit JsonRpcHandler(RemoteHost& host);

    void setSend(Send send) { send_ = std::move(send); }
    // Tests drive the meter pacing with their own time.
    void setClock(std::function<Clock::time_point()> now) { now_ = std::move(now); }
    // A token set here must be given with `auth` before anything else is served to clients that
    // were added with tokenRequired.
    void setToken(std::string token) { token_ = std::move(token); }

    void addClient(ClientId id, bool tokenRequired);
    void removeClient(ClientId id);
    std::size_t clients() const { return sessions_.size(); }

    Reply handle(ClientId id, std::string_view line);

    void fieldsChanged(const ChangeSet& changes) override;
    void metersUpdated() override;

private:
    struct Session {
        bool authorised = true;
        bool allFields = false;
        std::set<FieldId> fields;
        double meterHz = 0;             // 0: none
        Clock::time_point lastMeters{}; // when the next meters are due
        int malformed = 0;
    };

    RemoteHost& host_;
    Send send_;
    std::function<Clock::time_point()> now_;
    std::string token_;
    std::map<ClientId, Session> sessions_;
};

} // namespace quorvel::remote
