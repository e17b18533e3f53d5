#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

#include "link/commands.h"
#include "link/gbk.h"
#include "link/ipv4.h"
#include "osc/osc_map.h"
#include "osc/osc_server.h"
#include "osc_client.h"
#include "state_host.h"

using namespace quorvel;
using namespace quorvel::osc;
using namespace std::chrono_literals;
using rig::OscClient;
using rig::Received;
using rig::StateHost;

namespace {

const FieldRegistry& reg() {
    return FieldRegistry::instance();
}

FieldId idOf(const std::string& path) {
    return *reg().idOf(path);
}

// decodeMessage on a message as liblo gives it to a server.
Request decode(const std::string& address, lo_message m) {
    const int argc = lo_message_get_argc(m);
    const char* types = lo_message_get_types(m);
    const Request r =
        decodeMessage(address, std::string_view(types ? types : "", static_cast<std::size_t>(argc)),
                      reinterpret_cast<const void* const*>(lo_message_get_argv(m)));
    lo_message_free(m);
    return r;
}

template <class... Add> lo_message msg(Add... add) {
    lo_message m = lo_message_new();
    (add(m), ...);
    return m;
}
auto i32(std::int32_t v) {
    return [v](lo_message m) { lo_message_add_int32(m, v); };
}
auto f32(float v) {
    return [v](lo_message m) { lo_message_add_float(m, v); };
}
auto str(const char* v) {
    return [v](lo_message m) { lo_message_add_string(m, v); };
}

} // namespace

TEST(OscMap, EveryAddressMapsToItsFieldAndBack) {
    const OscMap& map = OscMap::instance();
    std::size_t withoutAddress = 0;
    for (const FieldInfo& f : reg().fields()) {
        const OscEntry* e = map.entryOf(f.id);
        if (!e) {
            ++withoutAddress;
            EXPECT_TRUE(f.path.ends_with(".meter") || f.path == "reportNumber") << f.path;
            continue;
        }
        EXPECT_EQ(e->address, addressOfPath(f.path));
        EXPECT_EQ(pathOfAddress(e->address).value_or(""), f.path);
        const auto t = map.resolve(e->address);
        ASSERT_TRUE(t) << e->address;
        EXPECT_EQ(t->entry->field, f.id);
        EXPECT_FALSE(t->raw);
        const auto raw = map.resolve(e->address + "/raw");
        EXPECT_EQ(raw.has_value(), !e->name) << e->address;
    }
    EXPECT_EQ(withoutAddress, static_cast<std::size_t>(kInputRecords + kOutputRecords + 1));
    EXPECT_GT(map.entries().size(), 2000u);

    EXPECT_EQ(addressOfPath("input[3].level"), "/quorvel/input/3/level");
    EXPECT_EQ(addressOfPath("input[3].peq[2].bandGain"), "/quorvel/input/3/peq/2/bandGain");
    EXPECT_EQ(addressOfPath("units[2][5]"), "/quorvel/units/2/5");
    EXPECT_EQ(addressOfPath("automix.holdTime"), "/quorvel/automix/holdTime");
    for (const char* bad :
         {"/quorvel/input/03/level", "/quorvel//input/3/level", "/quorvel/3/level", "/quorvel",
          "/other/input/3/level", "/quorvel/input/3/level/", "/quorvel/input/3/le-vel"})
        EXPECT_FALSE(pathOfAddress(bad) && map.resolve(bad)) << bad;
    EXPECT_FALSE(map.resolve("/quorvel/input/3/level/raw/raw"));
    EXPECT_FALSE(map.resolve("/quorvel/input/3/name/raw"));
    EXPECT_FALSE(map.resolve("/quorvel/input/19/level"));
}

TEST(OscMap, FeedbackFloatsComeBackAsTheSameRawValue) {
    // What a surface echoes from feedback (a 32-bit float) must not move the field.
    for (const OscEntry& e : OscMap::instance().entries()) {
        const FieldInfo& f = reg().field(e.field);
        if (e.name || static_cast<double>(f.max) - f.min > (1 << 20)) continue;
        for (std::int32_t raw = f.min; raw <= f.max; raw += std::max(1, (f.max - f.min) / 97)) {
            const float sent = static_cast<float>(unitFromRaw(f, raw));
            ASSERT_EQ(rawFromUnit(f, sent), raw) << f.path;
        }
        EXPECT_EQ(rawFromUnit(f, 1.0), f.max);
        EXPECT_EQ(rawFromUnit(f, 0.0), f.min);
    }
    const FieldInfo& wide = *reg().find("input[17].effectParams[5]"); // the whole int32 range
    EXPECT_EQ(rawFromUnit(wide, 1.0), wide.max);
    EXPECT_EQ(rawFromUnit(wide, 0.0), wide.min);
}

TEST(OscMap, TextHasALineForEveryAddressWithTypeAndRange) {
    const std::string text = OscMap::instance().text();
    for (const char* line :
         {"\n/quorvel/input/3/level f 0..1 rw input[3].level\n",
          "\n/quorvel/input/3/level/raw i 0..70 rw input[3].level\n",
          "\n/quorvel/output/2/mute i 0..1 rw output[2].mute\n",
          "\n/quorvel/output/2/name s 0..16 rw output[2].name\n",
          "\n/quorvel/input/1/channelOpen i 0..1 r input[1].channelOpen\n",
          "\n/quorvel/input/1/peq/2/bandFreq/raw i 20..20000 rw input[1].peq[2].bandFreq\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    std::size_t lines = 0, expected = 0;
    for (char c : text)
        lines += c == '\n';
    for (const OscEntry& e : OscMap::instance().entries())
        expected += e.name ? 1 : 2;
    EXPECT_EQ(lines, expected + 9); // the header and the control addresses
}

TEST(OscDecode, TypesAndRangesOfFieldMessages) {
    const FieldId level = idOf("input[3].level"), mute = idOf("output[2].mute");
    Request r = decode("/quorvel/input/3/level/raw", msg(i32(50)));
    EXPECT_EQ(r.kind, Request::Kind::Edit);
    EXPECT_EQ(r.field, level);
    EXPECT_EQ(r.raw, 50);
    EXPECT_EQ(decode("/quorvel/input/3/level", msg(f32(1.0f))).raw, 70);
    EXPECT_EQ(decode("/quorvel/input/3/level", msg(f32(0.5f))).raw, 35);
    EXPECT_EQ(decode("/quorvel/input/1/pan", msg(f32(0.5f))).raw, 100);
    r = decode("/quorvel/output/2/mute", msg(i32(1)));
    EXPECT_EQ(r.field, mute);
    EXPECT_EQ(r.raw, 1);
    EXPECT_EQ(decode("/quorvel/output/2/mute", msg([](lo_message m) { lo_message_add_false(m); })).raw, 0);
    EXPECT_EQ(decode("/quorvel/output/2/mute", msg(f32(1.0f))).raw, 1);
    EXPECT_EQ(decode("/quorvel/input/3/level", msg()).kind, Request::Kind::Query);

    r = decode("/quorvel/output/2/name", msg(str("Stage")));
    EXPECT_EQ(r.kind, Request::Kind::EditName);
    EXPECT_EQ(r.gbk, "Stage");

    // Never a value outside the range, never a guess at what a wrong type meant.
    EXPECT_EQ(decode("/quorvel/input/3/level/raw", msg(i32(71))).why, Ignore::OutOfRange);
    EXPECT_EQ(decode("/quorvel/input/3/level/raw", msg(i32(-1))).why, Ignore::OutOfRange);
    EXPECT_EQ(decode("/quorvel/input/3/level", msg(f32(1.5f))).why, Ignore::OutOfRange);
    EXPECT_EQ(decode("/quorvel/input/3/level", msg(f32(NAN))).why, Ignore::OutOfRange);
    EXPECT_EQ(decode("/quorvel/output/2/mute", msg(i32(2))).why, Ignore::OutOfRange);
    EXPECT_EQ(decode("/quorvel/input/3/level", msg(i32(1))).why, Ignore::WrongType);
    EXPECT_EQ(decode("/quorvel/input/3/level/raw", msg(f32(5))).why, Ignore::WrongType);
    EXPECT_EQ(decode("/quorvel/input/3/level/raw", msg(i32(5), i32(6))).why, Ignore::WrongType);
    EXPECT_EQ(decode("/quorvel/output/2/name", msg(i32(5))).why, Ignore::WrongType);
    auto yes = [](lo_message m) { lo_message_add_true(m); }; // carries no data: argv is null
    EXPECT_EQ(decode("/quorvel/output/2/mute/raw", msg(yes)).why, Ignore::WrongType);
    EXPECT_EQ(decode("/quorvel/input/3/level", msg(yes)).why, Ignore::WrongType);
    EXPECT_EQ(decode("/quorvel/subscribe", msg(yes)).why, Ignore::WrongType);
    EXPECT_EQ(decode("/quorvel/input/3/level", msg([](lo_message m) { lo_message_add_nil(m); })).why,
              Ignore::WrongType);
    EXPECT_EQ(decode("/quorvel/input/1/channelOpen", msg(i32(1))).why, Ignore::ReadOnly);
    EXPECT_EQ(decode("/quorvel/input/1/meter", msg(i32(1))).why, Ignore::UnknownAddress);

    r = decode("/quorvel/subscribe", msg(f32(10)));
    EXPECT_EQ(r.kind, Request::Kind::Subscribe);
    EXPECT_EQ(r.rate, 10);
    EXPECT_EQ(decode("/quorvel/subscribe", msg()).rate, -1);
    EXPECT_EQ(decode("/quorvel/meters/rate", msg()).why, Ignore::WrongType);
    EXPECT_EQ(decode("/quorvel/meters/rate", msg(f32(-1))).why, Ignore::OutOfRange);
}

TEST(OscDecode, BundlesAndMalformedDatagrams) {
    // Two messages in a bundle in a bundle.
    auto serialise = [](const char* path, lo_message m) {
        std::size_t len = 0;
        void* b = lo_message_serialise(m, path, nullptr, &len);
        std::string s(static_cast<const char*>(b), len);
        std::free(b);
        lo_message_free(m);
        return s;
    };
    auto be = [](std::uint32_t v) {
        return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                           static_cast<char>(v)};
    };
    const std::string a = serialise("/quorvel/input/1/mute", msg(i32(1)));
    const std::string b = serialise("/quorvel/input/2/mute", msg(i32(0)));
    const std::string head = std::string("#bundle\0", 8) + be(0) + be(1);
    const std::string inner = head + be(static_cast<std::uint32_t>(b.size())) + b;
    const std::string outer = head + be(static_cast<std::uint32_t>(a.size())) + a +
                              be(static_cast<std::uint32_t>(inner.size())) + inner;
    std::vector<std::string> seen;
    auto collect = [&](std::string_view address, const Request&) { seen.emplace_back(address); };
    EXPECT_TRUE(forEachMessage(outer.data(), outer.size(), collect));
    EXPECT_EQ(seen, (std::vector<std::string>{"/quorvel/input/1/mute", "/quorvel/input/2/mute"}));

    seen.clear();
    const std::string cut = outer.substr(0, outer.size() - 4);
    EXPECT_FALSE(forEachMessage(cut.data(), cut.size(), collect));
    EXPECT_EQ(seen.size(), 1u); // the whole first element still counted
    for (const std::string& junk :
         {std::string("hello"), std::string(), a.substr(0, a.size() - 1), head + be(0xFFFFFFF0u) + a})
        EXPECT_FALSE(forEachMessage(junk.data(), junk.size(), collect));
}

TEST(OscDispatch, AFloodCostsOneEditPerField) {
    RecordingSink sink;
    StateHost host(sink);
    OscDispatcher d(host);
    const ClientAddress from{htonl(INADDR_LOOPBACK), htons(9000)};
    Request r;
    r.kind = Request::Kind::Edit;
    for (int i = 0; i < 1000; ++i) {
        r.field = idOf("input[3].level");
        r.raw = i % 70;
        d.submit(r, from);
        r.field = idOf("output[2].mute");
        r.raw = i % 2;
        d.submit(r, from);
    }
    EXPECT_EQ(host.posts(), 1);
    host.pump();
    EXPECT_EQ(host.state().in(3).level, 999 % 70);
    EXPECT_EQ(host.state().out(2).mute, 1);
    ASSERT_EQ(sink.frames.size(), 2u);
    EXPECT_EQ(sink.frames[0].text, buildA(host.state(), 3));
    EXPECT_EQ(sink.frames[1].text, buildA(host.state(), 14));
    const DispatchStats s = d.stats();
    EXPECT_EQ(s.coalesced, 1998u);
    EXPECT_EQ(s.applied, 2u);

    // The next value after a drain is a new edit with a drain of its own.
    r.field = idOf("input[3].level");
    r.raw = 5;
    d.submit(r, from);
    EXPECT_EQ(host.posts(), 2);
    host.pump();
    EXPECT_EQ(host.state().in(3).level, 5);
}

TEST(OscDispatch, ARefusedEditSendsTheStoredValueBack) {
    RecordingSink sink;
    StateHost host(sink);
    host.mutableState().in(1).danteSource = 2;
    OscDispatcher d(host);
    std::vector<std::pair<ClientAddress, std::optional<FieldId>>> replies;
    d.setReplyHandler(
        [&](const ClientAddress& to, std::optional<FieldId> f) { replies.emplace_back(to, f); });
    const ClientAddress from{htonl(INADDR_LOOPBACK), htons(9001)};
    d.submit(decode("/quorvel/input/2/danteSource/raw", msg(i32(2))), from);
    host.pump();
    EXPECT_EQ(host.state().in(2).danteSource, 0);
    EXPECT_TRUE(sink.frames.empty());
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].first, from);
    EXPECT_EQ(replies[0].second, idOf("input[2].danteSource"));
    EXPECT_EQ(d.stats().refused, 1u);
}

TEST(OscEndpoint, PortOrAddressAndPort) {
    OscEndpoint e;
    std::string error;
    ASSERT_TRUE(parseOscEndpoint("9000", e, error));
    EXPECT_EQ(e.address, "127.0.0.1");
    EXPECT_EQ(e.port, 9000);
    ASSERT_TRUE(parseOscEndpoint("127.0.0.3:9001", e, error));
    EXPECT_EQ(e.address, "127.0.0.3");
    EXPECT_EQ(e.port, 9001);
    for (const char* bad : {"0", "65536", "x:9000", "9000x", "", "127.0.0.1:", "localhost:9000"})
        EXPECT_FALSE(parseOscEndpoint(bad, e, error)) << bad;
    // Without a token, an address others can reach is said out loud; loopback is not.
    EXPECT_EQ(offLoopbackWarning("127.0.0.3", 9001), "");
    EXPECT_NE(offLoopbackWarning("0.0.0.0", 9001).find("0.0.0.0:9001"), std::string::npos);
    EXPECT_NE(offLoopbackWarning("192.0.2.7", 9001).find("no token"), std::string::npos);
}

// ---- the server on 127.0.0.1 with a liblo client ----

class OscServerTest : public ::testing::Test {
protected:
    void SetUp() override { start(kMaxClients); }

    void start(std::size_t maxClients) {
        OscServerOptions o;
        o.endpoint.address = "127.0.0.1";
        o.loopbackOnly = true;
        o.maxClients = maxClients;
        std::string error;
        server = OscServer::start(host, o, error);
        ASSERT_TRUE(server) << error;
        host.setListener(server.get());
    }
    void TearDown() override { host.setListener(nullptr); }

    // The owner thread's loop: runs what the server posts until pred holds.
    template <class Pred> bool pumpUntil(Pred pred, std::chrono::milliseconds timeout = 5s) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!pred()) {
            if (std::chrono::steady_clock::now() > end) return false;
            host.waitPosted(10ms);
            host.pump();
        }
        return true;
    }
    bool waitMessages(std::uint64_t n) {
        return pumpUntil([&] { return server->dispatchStats().messages >= n; });
    }

    RecordingSink sink;
    StateHost host{sink};
    std::unique_ptr<OscServer> server;
};

TEST_F(OscServerTest, RawAndFloatMessagesStoreTheValueAndSendA) {
    OscClient client(server->port());
    client.sendInt("/quorvel/input/3/level/raw", 50);
    ASSERT_TRUE(pumpUntil([&] { return host.state().in(3).level == 50; }));
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0].text, buildA(host.state(), 3));

    client.sendFloat("/quorvel/input/3/level", 1.0f);
    ASSERT_TRUE(
        pumpUntil([&] { return host.state().in(3).level == reg().field(idOf("input[3].level")).max; }));
    ASSERT_EQ(sink.frames.size(), 2u);
    EXPECT_EQ(sink.frames[1].text, buildA(host.state(), 3));

    client.sendString("/quorvel/output/2/name", "Stage left");
    ASSERT_TRUE(pumpUntil([&] { return nameView(host.state().out(2).name) == "Stage left"; }));
}

TEST_F(OscServerTest, ChangesReachEveryRegisteredClient) {
    OscClient surface(server->port()), tablet(server->port());
    std::vector<Received> got;
    tablet.sendNone("/quorvel/subscribe");
    ASSERT_TRUE(waitMessages(1));
    // A subscriber first gets every value (the first of them is enough here: a slow reader may
    // lose some of the burst to its own socket buffer).
    ASSERT_TRUE(pumpUntil([&] {
        tablet.receiveUntil(
            got, [](auto& g) { return OscClient::last(g, "/quorvel/input/1/peq/1/bandFreq/raw"); }, 20ms);
        return OscClient::last(got, "/quorvel/input/1/peq/1/bandFreq/raw") != nullptr;
    }));
    // Let the rest of the snapshot go by before the change is looked for.
    ASSERT_TRUE(pumpUntil([&] {
        const std::size_t before = got.size();
        tablet.receiveUntil(
            got, [](auto&) { return false; }, 50ms);
        return got.size() == before; // a quiet moment: the rounds are over
    }));
    got.clear();

    surface.sendInt("/quorvel/input/3/level/raw", 40);
    ASSERT_TRUE(pumpUntil([&] { return host.state().in(3).level == 40; }));
    ASSERT_TRUE(tablet.receiveUntil(
        got, [](auto& g) { return OscClient::last(g, "/quorvel/input/3/level/raw"); }, 5s));
    EXPECT_EQ(OscClient::last(got, "/quorvel/input/3/level/raw")->numbers, std::vector<double>{40});
    const Received* level = OscClient::last(got, "/quorvel/input/3/level");
    ASSERT_TRUE(level);
    EXPECT_EQ(level->types, "f");
    EXPECT_FLOAT_EQ(static_cast<float>(level->numbers[0]), 40.0f / 70.0f);

    // The sender is registered by what it sent, and a change from the device reaches it too.
    std::vector<Received> echo;
    host.mutableState().out(2).mute = 1;
    server->fieldsChanged([] {
        ChangeSet c;
        c.add(idOf("output[2].mute"));
        c.add(idOf("output[3].mute")); // unchanged: nothing sent for it
        return c;
    }());
    ASSERT_TRUE(surface.receiveUntil(
        echo, [](auto& g) { return OscClient::last(g, "/quorvel/output/2/mute"); }, 5s));
    EXPECT_EQ(OscClient::last(echo, "/quorvel/output/2/mute")->types, "i");
    EXPECT_FALSE(OscClient::last(echo, "/quorvel/output/3/mute"));
    EXPECT_EQ(server->clientCount(), 2u);

    // A message without arguments asks; the answer goes to the asker.
    std::vector<Received> answer;
    surface.sendNone("/quorvel/input/3/name");
    ASSERT_TRUE(pumpUntil([&] {
        surface.receiveUntil(
            answer, [](auto& g) { return OscClient::last(g, "/quorvel/input/3/name"); }, 20ms);
        return OscClient::last(answer, "/quorvel/input/3/name") != nullptr;
    }));
    EXPECT_EQ(OscClient::last(answer, "/quorvel/input/3/name")->text,
              gbkToUtf8(nameView(host.state().in(3).name)));

    tablet.sendNone("/quorvel/unsubscribe");
    ASSERT_TRUE(pumpUntil([&] { return server->clientCount() == 1; }));
}

TEST_F(OscServerTest, BadMessagesAreCountedAndChangeNothing) {
    OscClient client(server->port());
    const std::int32_t before = host.state().in(3).level;
    client.sendInt("/quorvel/input/3/nothing", 1);
    client.sendFloat("/quorvel/input/3/level/raw", 5);
    client.sendInt("/quorvel/input/3/level", 1);
    client.sendInt("/quorvel/input/3/level/raw", 71);
    client.sendFloat("/quorvel/input/3/level", 1.5f);
    client.sendInt("/quorvel/input/1/channelOpen", 1);
    client.sendRaw("not osc at all");
    client.sendInt("/quorvel/output/1/mute", 1); // the marker
    ASSERT_TRUE(pumpUntil([&] { return host.state().out(1).mute == 1; }));
    const DispatchStats s = server->dispatchStats();
    EXPECT_EQ(s.unknownAddress, 1u);
    EXPECT_EQ(s.wrongType, 2u);
    EXPECT_EQ(s.outOfRange, 2u);
    EXPECT_EQ(s.readOnly, 1u);
    EXPECT_EQ(s.malformed, 1u);
    EXPECT_EQ(host.state().in(3).level, before);
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0].text, buildA(host.state(), 13));
}

TEST_F(OscServerTest, AFloodQueuesOneFramePerField) {
    OscClient client(server->port());
    constexpr int kMessages = 2000;
    // In batches a socket buffer holds, so that every message arrives; the owner thread is busy
    // elsewhere and drains nothing until all are in.
    const auto end = std::chrono::steady_clock::now() + 10s;
    for (int i = 0; i < kMessages; ++i) {
        client.sendInt("/quorvel/input/3/level/raw", i % 71);
        if (i % 100 == 99)
            while (server->dispatchStats().messages < static_cast<std::uint64_t>(i + 1) &&
                   std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(1ms);
    }
    ASSERT_EQ(server->dispatchStats().messages, static_cast<std::uint64_t>(kMessages));
    EXPECT_EQ(host.posts(), 1);
    host.pump();
    EXPECT_EQ(host.state().in(3).level, (kMessages - 1) % 71);
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0].text, buildA(host.state(), 3));
}

TEST_F(OscServerTest, MetersGoToClientsThatAskForThem) {
    OscClient quiet(server->port()), meters(server->port());
    quiet.sendNone("/quorvel/input/3/level");
    meters.sendFloat("/quorvel/meters/rate", 1000); // above the bound: as fast as reports come
    ASSERT_TRUE(waitMessages(1));
    ASSERT_TRUE(pumpUntil([&] { return server->clientCount() == 2; }));
    for (int c = 1; c <= 12; ++c)
        host.mutableState().in(c).meter = c;
    host.mutableState().out(8).meter = 200;
    host.mutableState().effectMeters = {1, 2, 3, 4};
    server->metersUpdated();
    std::vector<Received> got;
    ASSERT_TRUE(meters.receiveUntil(
        got, [](auto& g) { return OscClient::last(g, "/quorvel/meters"); }, 5s));
    const Received& m = *OscClient::last(got, "/quorvel/meters");
    ASSERT_EQ(m.numbers.size(), static_cast<std::size_t>(kMeterValues));
    EXPECT_EQ(m.numbers[2], 3);
    EXPECT_EQ(m.numbers[19], 200);
    EXPECT_EQ(m.numbers[23], 4);
    std::vector<Received> none;
    quiet.receiveUntil(
        none, [](auto& g) { return OscClient::last(g, "/quorvel/meters"); }, 100ms);
    EXPECT_FALSE(OscClient::last(none, "/quorvel/meters"));
}

TEST_F(OscServerTest, SubscribersKeepTheirPlaceWhenClientsAreBounded) {
    server.reset();
    start(2);
    OscClient a(server->port()), b(server->port()), c(server->port()), d(server->port());
    a.sendNone("/quorvel/subscribe");
    b.sendNone("/quorvel/input/1/level");
    ASSERT_TRUE(waitMessages(2));
    c.sendNone("/quorvel/input/1/level"); // takes b's place: b never subscribed
    ASSERT_TRUE(waitMessages(3));
    EXPECT_EQ(server->clientCount(), 2u);
    EXPECT_EQ(server->stats().clientsRefused, 0u);
    c.sendNone("/quorvel/subscribe");
    d.sendNone("/quorvel/subscribe"); // both places are subscribers'
    ASSERT_TRUE(pumpUntil([&] { return server->stats().clientsRefused == 1; }));
    EXPECT_EQ(server->clientCount(), 2u);
}

TEST_F(OscServerTest, StartedFromTheOptionText) {
    std::string error;
    EXPECT_FALSE(startOscBridge(host, std::string_view("127.0.0.1:x"), error));
    EXPECT_EQ(error.rfind("--osc: ", 0), 0u) << error;
    // The port the fixture's server holds is taken.
    EXPECT_FALSE(startOscBridge(host, "127.0.0.1:" + std::to_string(server->port()), error));
    EXPECT_NE(error.find("cannot listen"), std::string::npos) << error;
}

TEST_F(OscServerTest, FeedbackNeverLeavesLoopbackUnderTheGuard) {
    // The guard is on (the fixture sets it as the environment does): the datagram is refused
    // before it is sent, never put on the network.
    in_addr off{};
    ASSERT_TRUE(parseIpv4("10.20.30.40", off));
    server->tell(ClientAddress{off.s_addr, htons(9000)}, idOf("input[3].level"));
    OscClient client(server->port());
    client.sendNone("/quorvel/input/3/level"); // the marker: its answer goes after the refusal
    std::vector<Received> got;
    ASSERT_TRUE(pumpUntil([&] {
        client.receiveUntil(
            got, [](auto& g) { return OscClient::last(g, "/quorvel/input/3/level"); }, 20ms);
        return OscClient::last(got, "/quorvel/input/3/level") != nullptr;
    }));
    ASSERT_TRUE(pumpUntil([&] { return server->stats().datagramsSent == 1; })); // counted after the send
    EXPECT_EQ(server->stats().refusedDestinations, 1u);
}

TEST(OscMapCommand, WritesTheMapAsAFile) {
    const std::string file = ::testing::TempDir() + "osc_map_test.txt";
    std::remove(file.c_str());
    ASSERT_EQ(std::system((std::string(QUORVELCTL_PATH) + " osc-map " + file).c_str()), 0);
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, OscMap::instance().text());
    std::remove(file.c_str());
    // A folder that is not there: an error, and no file left half written.
    const std::string missing = ::testing::TempDir() + "no/such/dir/map.txt";
    EXPECT_NE(std::system((std::string(QUORVELCTL_PATH) + " osc-map " + missing + " 2>/dev/null").c_str()),
              0);
}
