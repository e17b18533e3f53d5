// The API server on loopback over a state of its own: the limits on clients, lines, malformed
// input and unread output, and the token decided for a loopback listener.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "fake_host.h"
#include "remote/api_server.h"
#include "tcp_client.h"

using namespace quorvel;
using namespace quorvel::remote;
using namespace std::chrono_literals;

namespace {

struct ServerRig {
    test::FakeHost host;
    std::unique_ptr<ApiServer> server;
    explicit ServerRig(ApiOptions o = {}, std::optional<bool> token = std::nullopt) {
        o.address = "127.0.0.1";
        o.port = 0;
        host.startOwner();
        server = std::make_unique<ApiServer>(host, o);
        if (token) server->overrideTokenRequired(*token);
        std::string error;
        EXPECT_TRUE(server->start(error)) << error;
    }
    ~ServerRig() {
        host.onOwner([&] { server->stop(); });
        host.stopOwnerThread();
    }
    bool waitClients(int n) {
        for (int i = 0; i < 300 && server->connectedClients() != n; ++i)
            std::this_thread::sleep_for(10ms);
        return server->connectedClients() == n;
    }
};

constexpr const char* kStatus = R"({"jsonrpc":"2.0","id":1,"method":"status"})";

} // namespace

TEST(ApiServer, SixtyFourClientsAreServedAndTheNextIsRefused) {
    ServerRig rig;
    std::vector<std::unique_ptr<test::LineClient>> clients;
    for (int i = 0; i < 64; ++i) {
        clients.push_back(std::make_unique<test::LineClient>(rig.server->port()));
        ASSERT_TRUE(clients.back()->connected());
    }
    ASSERT_TRUE(rig.waitClients(64));
    for (auto& c : clients)
        EXPECT_NE(c->request(kStatus).find("\"result\""), std::string::npos);

    test::LineClient extra(rig.server->port());
    EXPECT_EQ(extra.readLine(),
              R"({"jsonrpc":"2.0","id":null,"error":{"code":-32002,"message":"too many clients"}})");
    EXPECT_TRUE(extra.closedByServer());
    EXPECT_EQ(rig.server->connectedClients(), 64);

    // A place that frees up is taken again.
    clients.pop_back();
    ASSERT_TRUE(rig.waitClients(63));
    test::LineClient again(rig.server->port());
    EXPECT_NE(again.request(kStatus).find("\"result\""), std::string::npos);
}

TEST(ApiServer, OverlongLineAndThirdMalformedLineClose) {
    ServerRig rig;
    {
        test::LineClient c(rig.server->port());
        // Exactly the limit is still a line (and malformed, with an answer).
        EXPECT_NE(c.request(std::string(64 * 1024 - 1, ' ') + "x").find(R"("code":-32700)"),
                  std::string::npos);
        // One byte more, even without a newline yet, closes.
        c.send(std::string(64 * 1024 + 1, 'x'));
        EXPECT_NE(c.readLine().find(R"("code":-32003)"), std::string::npos);
        EXPECT_TRUE(c.closedByServer());
    }
    {
        test::LineClient c(rig.server->port());
        // Lines split across sends, with CR LF endings, are read as lines.
        c.send(R"({"jsonrpc":"2.0","id":1,)");
        std::this_thread::sleep_for(20ms);
        c.send("\"method\":\"status\"}\r\n");
        EXPECT_NE(c.readLine().find("\"result\""), std::string::npos);
        EXPECT_NE(c.request("{nope").find("-32700"), std::string::npos);
        EXPECT_NE(c.request("[1]").find("-32600"), std::string::npos);
        EXPECT_NE(c.request("{").find("-32700"), std::string::npos);
        EXPECT_TRUE(c.closedByServer());
    }
    // A client gone mid-line costs nothing after it has gone.
    {
        test::LineClient c(rig.server->port());
        c.send(R"({"jsonrpc":"2.0","id":1,"met)");
    }
    EXPECT_TRUE(rig.waitClients(0));
}

TEST(ApiServer, AClientThatNeverReadsIsDropped) {
    ApiOptions o;
    o.maxOutput = 64 * 1024;
    ServerRig rig(o);
    test::LineClient slow(rig.server->port());
    int rcv = 4096;
    ::setsockopt(slow.fd(), SOL_SOCKET, SO_RCVBUF, &rcv, sizeof rcv);
    test::LineClient fine(rig.server->port());
    ASSERT_TRUE(rig.waitClients(2));
    slow.sendLine(R"({"jsonrpc":"2.0","id":1,"method":"subscribe","params":{"paths":"all"}})");
    EXPECT_NE(
        fine.request(R"({"jsonrpc":"2.0","id":1,"method":"subscribe","params":{"paths":["input[1].level"]}})")
            .find("result"),
        std::string::npos);
    // Full states pile up unread at the slow one; the other is served throughout.
    for (int i = 0; i < 200 && rig.server->droppedSlowClients() == 0; ++i) {
        rig.host.onOwner([&] { rig.server->handler().fieldsChanged(ChangeSet::everything()); });
        fine.readLine();
    }
    EXPECT_EQ(rig.server->droppedSlowClients(), 1u);
    EXPECT_TRUE(rig.waitClients(1));
    EXPECT_NE(fine.request(kStatus).find("\"result\""), std::string::npos);
}

TEST(ApiServer, TokenAskedForWhenTheAddressNeedsIt) {
    ApiOptions o;
    o.token = "right";
    ServerRig rig(o, true); // as if listening off loopback
    test::LineClient c(rig.server->port());
    EXPECT_NE(c.request(kStatus).find("-32001"), std::string::npos);
    EXPECT_NE(
        c.request(R"({"jsonrpc":"2.0","id":1,"method":"auth","params":{"token":"wrong"}})").find("-32001"),
        std::string::npos);
    EXPECT_EQ(c.request(R"({"jsonrpc":"2.0","id":1,"method":"auth","params":{"token":"right"}})"),
              R"({"jsonrpc":"2.0","id":1,"result":true})");
    EXPECT_NE(c.request(kStatus).find("\"result\""), std::string::npos);

    // Off loopback without a token the server does not start at all.
    test::FakeHost host;
    ApiServer bare(host, ApiOptions{});
    bare.overrideTokenRequired(true);
    std::string error;
    EXPECT_FALSE(bare.start(error));
    EXPECT_NE(error.find("token"), std::string::npos);
}
