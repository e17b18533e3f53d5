// The JSON-RPC handler over a plain state: answers byte for byte, the refusals, the token and the
// notifications. Meter pacing runs on an injected clock.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "fake_host.h"
#include "link/field_registry.h"
#include "remote/api_server.h"
#include "remote/json_rpc.h"

using namespace quorvel;
using namespace quorvel::remote;
using Json = nlohmann::json;

namespace {

struct Rig {
    test::FakeHost host;
    JsonRpcHandler rpc{host};
    std::vector<std::pair<ClientId, std::string>> sent;
    Rig() {
        rpc.setSend([this](ClientId id, std::string line) { sent.emplace_back(id, std::move(line)); });
        rpc.addClient(1, false);
    }
    std::string call(const std::string& line, ClientId id = 1) { return rpc.handle(id, line).line; }
    int errorCode(const std::string& line, ClientId id = 1) {
        Json j = Json::parse(call(line, id));
        return j.contains("error") ? j["error"]["code"].get<int>() : 0;
    }
};

std::int32_t value(const DeviceState& s, const char* path) {
    return FieldRegistry::get(s, *FieldRegistry::instance().find(path));
}

} // namespace

TEST(JsonRpc, SetAppliesInOrderAndAnswersTheValuesStored) {
    Rig r;
    EXPECT_EQ(r.call(R"({"jsonrpc":"2.0","id":1,"method":"set","params":{"input[3].level":50}})"),
              R"({"jsonrpc":"2.0","id":1,"result":{"input[3].level":50}})");
    EXPECT_EQ(value(r.host.s, "input[3].level"), 50);
    EXPECT_FALSE(r.host.sink.frames.empty()); // online: the frame that carries it

    // Clamped to the range, in the order given, a name as UTF-8; huge and fractional numbers too.
    const auto* level = FieldRegistry::instance().find("input[4].level");
    r.host.sink.frames.clear();
    EXPECT_EQ(
        r.call(R"({"jsonrpc":"2.0","id":"a","method":"set","params":{"input[4].level":1e300,)"
               R"("input[5].level":-99999999999999999999,"input[6].level":20.6,"input[2].name":"Lectern"}})"),
        R"({"jsonrpc":"2.0","id":"a","result":{"input[4].level":)" + std::to_string(level->max) +
            R"(,"input[5].level":)" + std::to_string(level->min) +
            R"(,"input[6].level":21,"input[2].name":"Lectern"}})");
    EXPECT_EQ(nameView(r.host.s.in(2).name), "Lectern");

    // A notification is applied and answered with nothing.
    EXPECT_EQ(r.call(R"({"jsonrpc":"2.0","method":"set","params":{"input[7].level":3}})"), "");
    EXPECT_EQ(value(r.host.s, "input[7].level"), 3);

    // get answers in the order asked.
    EXPECT_EQ(
        r.call(
            R"({"jsonrpc":"2.0","id":2,"method":"get","params":{"paths":["input[3].level","input[2].name"]}})"),
        R"({"jsonrpc":"2.0","id":2,"result":{"input[3].level":50,"input[2].name":"Lectern"}})");
}

TEST(JsonRpc, BadRequestsAreErrorsAndChangeNothing) {
    Rig r;
    const DeviceState before = r.host.s;
    EXPECT_EQ(r.call("{\"jsonrpc\":\"2.0\",\"id\":"),
              R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"Parse error"}})");
    r.rpc.addClient(2, false); // the first one is near its malformed limit
    EXPECT_EQ(r.errorCode(R"([1,2])", 2), kInvalidRequest);
    EXPECT_EQ(r.call(R"({"jsonrpc":"2.0","id":1,"method":"status"})", 4), ""); // no such client: no answer
    r.rpc.addClient(3, false);
    EXPECT_EQ(r.errorCode(R"({"jsonrpc":"1.0","id":1,"method":"status"})", 3), kInvalidRequest);
    EXPECT_EQ(r.errorCode(R"({"jsonrpc":"2.0","id":1,"method":"fly"})", 3), kMethodNotFound);
    // A later bad pair stops the whole set before anything is applied.
    EXPECT_EQ(
        r.errorCode(
            R"({"jsonrpc":"2.0","id":1,"method":"set","params":{"input[1].level":5,"input[99].level":1}})",
            3),
        kInvalidParams);
    EXPECT_EQ(
        r.errorCode(
            R"({"jsonrpc":"2.0","id":1,"method":"set","params":{"input[1].level":5,"input[2].level":"x"}})",
            3),
        kInvalidParams);
    EXPECT_EQ(r.errorCode(R"({"jsonrpc":"2.0","id":1,"method":"set","params":{"input[1].name":7}})", 3),
              kInvalidParams);
    EXPECT_EQ(r.errorCode(R"({"jsonrpc":"2.0","id":1,"method":"set","params":{}})", 3), kInvalidParams);
    EXPECT_EQ(
        r.errorCode(R"({"jsonrpc":"2.0","id":1,"method":"get","params":{"paths":["input[1].nope"]}})", 3),
        kInvalidParams);
    EXPECT_EQ(r.errorCode(R"({"jsonrpc":"2.0","id":1,"method":"subscribe","params":{"meters":-1}})", 3),
              kInvalidParams);
    EXPECT_EQ(value(r.host.s, "input[1].level"), value(before, "input[1].level"));
    EXPECT_TRUE(r.host.sink.frames.empty());
}

TEST(JsonRpc, ThirdMalformedLineCloses) {
    Rig r;
    EXPECT_FALSE(r.rpc.handle(1, "nonsense").close);
    EXPECT_FALSE(
        r.rpc.handle(1, R"({"jsonrpc":"2.0","id":1,"method":"status"})").close); // good lines do not reset it
    EXPECT_FALSE(r.rpc.handle(1, "[]").close);
    EXPECT_TRUE(r.rpc.handle(1, "{").close);
}

TEST(JsonRpc, RefusedItemReportsWhatWasApplied) {
    Rig r;
    // A list item outside its list is refused, not clamped; what came before it stays.
    const FieldInfo* choice = nullptr;
    for (const FieldInfo& f : FieldRegistry::instance().fields())
        if (f.choice && f.kind != FieldKind::Name && f.max < 1000) {
            choice = &f;
            break;
        }
    ASSERT_NE(choice, nullptr);
    nlohmann::ordered_json req = {{"jsonrpc", "2.0"}, {"id", 9}, {"method", "set"}};
    req["params"] = nlohmann::ordered_json::object(); // in this order
    req["params"]["input[1].level"] = 10;
    req["params"][choice->path] = choice->max + 5;
    Json j = Json::parse(r.call(req.dump()));
    EXPECT_EQ(j["error"]["code"], kRefused);
    EXPECT_EQ(j["error"]["data"]["applied"]["input[1].level"], 10);
    EXPECT_EQ(j["error"]["data"]["path"], choice->path);
}

TEST(JsonRpc, TokenIsAskedForAndComparedWhole) {
    Rig r;
    r.rpc.setToken("s3cret-token");
    r.rpc.addClient(7, true);
    EXPECT_EQ(r.errorCode(R"({"jsonrpc":"2.0","id":1,"method":"status"})", 7), kUnauthorized);
    EXPECT_EQ(r.errorCode(R"({"jsonrpc":"2.0","id":1,"method":"auth","params":{"token":"s3cret"}})", 7),
              kUnauthorized);
    EXPECT_EQ(
        r.errorCode(R"({"jsonrpc":"2.0","id":1,"method":"auth","params":{"token":"s3cret-tokenX"}})", 7),
        kUnauthorized);
    EXPECT_TRUE(
        r.rpc.handle(7, R"({"jsonrpc":"2.0","id":1,"method":"auth","params":{"token":"nope"}})").close);
    r.rpc.addClient(8, true);
    EXPECT_EQ(r.call(R"({"jsonrpc":"2.0","id":1,"method":"auth","params":{"token":"s3cret-token"}})", 8),
              R"({"jsonrpc":"2.0","id":1,"result":true})");
    EXPECT_EQ(r.errorCode(R"({"jsonrpc":"2.0","id":2,"method":"status"})", 8), 0);
    // Not yet authorised clients hear no notifications.
    r.rpc.addClient(9, true);
    r.rpc.handle(9, R"({"jsonrpc":"2.0","id":1,"method":"subscribe","params":{"paths":"all"}})");
    r.rpc.fieldsChanged(ChangeSet::everything());
    EXPECT_TRUE(r.sent.empty());

    EXPECT_TRUE(tokensEqual("abc", "abc"));
    EXPECT_FALSE(tokensEqual("abc", "abd"));
    EXPECT_FALSE(tokensEqual("abc", "abcd"));
    EXPECT_FALSE(tokensEqual("", "")); // no token set never lets anyone in

    // Only loopback goes without one.
    EXPECT_FALSE(tokenRequiredOn("127.0.0.1"));
    EXPECT_FALSE(tokenRequiredOn("127.4.5.6"));
    EXPECT_TRUE(tokenRequiredOn("0.0.0.0"));
    EXPECT_TRUE(tokenRequiredOn("192.168.1.20"));
    EXPECT_TRUE(tokenRequiredOn("128.0.0.1"));
    std::string error;
    EXPECT_FALSE(mayListen("0.0.0.0", "", error));
    EXPECT_NE(error.find("apiToken"), std::string::npos);
    EXPECT_TRUE(mayListen("0.0.0.0", "t", error));
    EXPECT_TRUE(mayListen("127.0.0.1", "", error));
}

TEST(JsonRpc, ListenAddresss) {
    ListenAddress s;
    std::string error;
    ASSERT_TRUE(parseListenAddress("off", s, error));
    EXPECT_TRUE(s.off);
    ASSERT_TRUE(parseListenAddress("127.0.0.5:4000", s, error));
    EXPECT_FALSE(s.off);
    EXPECT_EQ(s.address, "127.0.0.5");
    EXPECT_EQ(s.port, 4000);
    ASSERT_TRUE(parseListenAddress("4001", s, error));
    EXPECT_EQ(s.address, "127.0.0.1");
    EXPECT_EQ(s.port, 4001);
    for (const char* bad : {"", "host:1", "127.0.0.1:", "127.0.0.1:0", "127.0.0.1:70000", "1.2.3:5", "12x"})
        EXPECT_FALSE(parseListenAddress(bad, s, error)) << bad;
}

TEST(JsonRpc, ChangedNotificationsFollowTheSubscription) {
    Rig r;
    r.rpc.addClient(2, false);
    r.rpc.addClient(3, false);
    r.call(R"({"jsonrpc":"2.0","id":1,"method":"subscribe","params":{"paths":["input[3].level"]}})");
    EXPECT_EQ(r.call(R"({"jsonrpc":"2.0","id":1,"method":"subscribe","params":{"paths":"all"}})", 2),
              R"({"jsonrpc":"2.0","id":1,"result":{"paths":"all","meters":0}})");
    const auto& reg = FieldRegistry::instance();
    r.host.s.in(3).level = 12;
    ChangeSet c;
    c.add(*reg.idOf("input[3].level"));
    c.add(*reg.idOf("input[4].level"));
    c.add(*reg.idOf("input[1].meter"));
    r.rpc.fieldsChanged(c);
    ASSERT_EQ(r.sent.size(), 2u);
    EXPECT_EQ(r.sent[0].first, 1u);
    EXPECT_EQ(r.sent[0].second, R"({"jsonrpc":"2.0","method":"changed","params":{"input[3].level":12}})");
    // Everything but the meters, which have their own notification.
    Json all = Json::parse(r.sent[1].second);
    EXPECT_EQ(all["params"].size(), 2u);
    EXPECT_FALSE(all["params"].contains("input[1].meter"));

    // A full state reaches subscribers of everything with every field.
    r.sent.clear();
    r.rpc.fieldsChanged(ChangeSet::everything());
    ASSERT_EQ(r.sent.size(), 2u);
    EXPECT_GT(Json::parse(r.sent[1].second)["params"].size(), 1000u);

    // unsubscribe without params drops everything.
    r.call(R"({"jsonrpc":"2.0","id":1,"method":"unsubscribe"})");
    r.call(R"({"jsonrpc":"2.0","id":1,"method":"unsubscribe","params":{"paths":"all"}})", 2);
    r.sent.clear();
    r.rpc.fieldsChanged(c);
    EXPECT_TRUE(r.sent.empty());
    r.rpc.removeClient(2);
    EXPECT_EQ(r.rpc.clients(), 2u);
}

TEST(JsonRpc, MetersAtTheRateAsked) {
    Rig r;
    JsonRpcHandler::Clock::time_point now{};
    now += std::chrono::hours(1);
    r.rpc.setClock([&] { return now; });
    r.host.rate = 20;
    // Asking above the device's rate gets its rate.
    EXPECT_EQ(r.call(R"({"jsonrpc":"2.0","id":1,"method":"subscribe","params":{"meters":50}})"),
              R"({"jsonrpc":"2.0","id":1,"result":{"paths":0,"meters":20}})");
    r.rpc.addClient(2, false);
    r.call(R"({"jsonrpc":"2.0","id":1,"method":"subscribe","params":{"meters":5}})", 2);
    int first = 0, second = 0;
    for (int i = 0; i < 40; ++i) { // two seconds of reports at 20 a second, with jitter
        now += std::chrono::milliseconds(i % 2 ? 47 : 53);
        r.rpc.metersUpdated();
        for (auto& [id, line] : r.sent)
            (id == 1 ? first : second)++;
        r.sent.clear();
    }
    EXPECT_EQ(first, 40);
    EXPECT_GE(second, 9);
    EXPECT_LE(second, 11);
    r.host.s.in(1).meter = 77;
    now += std::chrono::seconds(1);
    r.rpc.metersUpdated();
    ASSERT_FALSE(r.sent.empty());
    Json m = Json::parse(r.sent[0].second);
    EXPECT_EQ(m["method"], "meters");
    EXPECT_EQ(m["params"]["input"].size(), static_cast<std::size_t>(kAnalogInputs));
    EXPECT_EQ(m["params"]["input"][0], 77);
    EXPECT_EQ(m["params"]["output"].size(), static_cast<std::size_t>(kOutputRecords));
}

TEST(JsonRpc, ListStatusRecallAndConnect) {
    Rig r;
    Json list = Json::parse(r.call(R"({"jsonrpc":"2.0","id":1,"method":"list"})"));
    ASSERT_TRUE(list["result"].is_array());
    EXPECT_EQ(list["result"].size(), FieldRegistry::instance().fields().size());
    bool sawLevel = false;
    for (const Json& e : list["result"])
        if (e["path"] == "input[3].level") {
            sawLevel = true;
            EXPECT_EQ(e["unit"], "dB");
            EXPECT_FALSE(e["display"].get<std::string>().empty());
            EXPECT_LT(e["min"].get<int>(), e["max"].get<int>());
        }
    EXPECT_TRUE(sawLevel);
    EXPECT_EQ(
        r.call(R"({"jsonrpc":"2.0","id":1,"method":"status"})"),
        R"({"jsonrpc":"2.0","id":1,"result":{"online":true,"device":"127.0.0.2","reportRate":20,"pendingEdits":0}})");
    EXPECT_EQ(
        r.errorCode(
            R"({"jsonrpc":"2.0","id":1,"method":"recall","params":{"kind":"PEQ","name":"Hall","channel":3}})"),
        0);
    EXPECT_EQ(
        r.errorCode(R"({"jsonrpc":"2.0","id":1,"method":"recall","params":{"kind":"PEQ","name":"missing"}})"),
        kRefused);
    EXPECT_EQ(r.errorCode(R"({"jsonrpc":"2.0","id":1,"method":"recall","params":{"kind":3}})"),
              kInvalidParams);
    ASSERT_EQ(r.host.recalls.size(), 2u);
    EXPECT_EQ(r.host.recalls[0], "PEQ/Hall/3");
    r.call(R"({"jsonrpc":"2.0","id":1,"method":"connect"})");
    r.call(R"({"jsonrpc":"2.0","id":1,"method":"disconnect"})");
    EXPECT_EQ(r.host.connects, 1);
    EXPECT_EQ(r.host.disconnects, 1);
}
