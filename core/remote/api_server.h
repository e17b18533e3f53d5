// The JSON-RPC API on TCP: one I/O thread with poll(2) serves every client, one JSON object a
// line; requests go to the owner thread with RemoteHost::post and the answers come back to the
// I/O thread to be written. start, stop, handler() and the destructor are for the owner thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>

#include "remote/json_rpc.h"
#include "remote/remote_host.h"

namespace quorvel::remote {

inline constexpr std::uint16_t kDefaultApiPort = 39021;
inline constexpr const char* kDefaultApiAddress = "127.0.0.1";

struct ApiOptions {
    std::string address = kDefaultApiAddress;
    std::uint16_t port = kDefaultApiPort; // 0: any free port (tests)
    std::string token;                    // what clients off loopback must give with auth
    std::size_t maxClients = 64;
    std::size_t maxLine = 64 * 1024;
    // Unsent output a client may hold (one that never reads its notifications) before it is dropped.
    std::size_t maxOutput = 1024 * 1024;
    // Requests of one client handed over but not yet answered; its reading pauses beyond it.
    std::size_t maxInFlight = 64;
};

// "ADDR:PORT", "PORT" (on the default address) or "off"; false with a readable error.
struct ListenAddress {
    bool off = false;
    std::string address = kDefaultApiAddress;
    std::uint16_t port = kDefaultApiPort;
};
bool parseListenAddress(std::string_view text, ListenAddress& out, std::string& error);

// Clients must give the token on any address outside 127.0.0.0/8 (0.0.0.0 included).
bool tokenRequiredOn(std::string_view address);
// Whether a server may listen there with this token: off loopback only with one.
bool mayListen(std::string_view address, std::string_view token, std::string& error);

class ApiServer {
public:
    ApiServer(RemoteHost& host, ApiOptions options);
    ~ApiServer();
    ApiServer(const ApiServer&) = delete;
    ApiServer& operator=(const ApiServer&) = delete;

    // Register it with the host to have changes and meters reach the subscribers.
    JsonRpcHandler& handler() { return handler_; }
    // Tests listen on loopback and decide here whether its clients must give the token.
    void overrideTokenRequired(bool required) { tokenOverride_ = required; }

    bool start(std::string& error); // binds and listens, then serves on its own thread
    void stop();                    // closes every client; idempotent
    std::uint16_t port() const { return boundPort_; }
    int connectedClients() const { return connected_.load(); }
    std::uint64_t droppedSlowClients() const { return droppedSlow_.load(); }

private:
    struct Client;
    void run();
    void wake();
    // Owner thread, from the handler and the posted answers.
    void queueLine(ClientId id, std::string line, bool closeAfter);
    void accept();
    bool readFrom(Client& c);
    bool writeTo(Client& c);
    void takeOutbox();
    void closeClient(ClientId id);

    RemoteHost& host_;
    ApiOptions options_;
    JsonRpcHandler handler_;
    std::optional<bool> tokenOverride_;
    bool tokenRequired_ = false;
    int listenFd_ = -1;
    int wakeFd_ = -1;
    std::uint16_t boundPort_ = 0;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connected_{0};
    std::atomic<std::uint64_t> droppedSlow_{0};
    // Expires at stop(): answers posted before it and run after it find nothing to write to.
    std::shared_ptr<int> alive_;

    // I/O thread only.
    std::map<ClientId, std::unique_ptr<Client>> clients_;
    ClientId nextId_ = 1;

    // Between the owner and the I/O thread.
    struct Outbox {
        std::string text;
        bool close = false;
        bool overflow = false;
        std::size_t answered = 0; // requests the owner has finished
    };
    std::mutex mutex_;
    std::map<ClientId, Outbox> outbox_;
    std::set<ClientId> live_; // ids the I/O thread still serves
};

} // namespace quorvel::remote
