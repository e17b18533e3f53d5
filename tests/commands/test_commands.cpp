#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "link/commands.h"
#include "link/field_registry.h"
#include "link/frame.h"
#include "link/gbk.h"
#include "link/ipv4.h"

using namespace quorvel;

namespace {

// The expected frame is written out field by field here; only the checksum is computed, and
// that function has its own known vectors.
std::string framed(const std::string& body) {
    char sum[8];
    std::snprintf(sum, sizeof sum, "%04X#", static_cast<unsigned>(frameChecksum(body)));
    return body + sum;
}

DeviceState defaults() {
    DeviceState s;
    loadFactoryDefaults(s);
    return s;
}

std::string gbk(const char* utf8) {
    return utf8ToGbk(utf8).value();
}

// Bitmap bytes as they appear in a V frame (after the units field), decoded back to bytes.
std::vector<std::uint8_t> wireBitmap(const std::string& frame) {
    const std::size_t start = 3 + 3 + 3 + 32 + 1;
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < kNameBitmapBytes; ++i)
        out.push_back(static_cast<std::uint8_t>(hexPair(frame[start + 2 * i], frame[start + 2 * i + 1])));
    return out;
}

bool anyInk(const std::array<std::uint8_t, kNameBitmapBytes>& bm, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i)
        if (bm[i]) return true;
    return false;
}

} // namespace

TEST(Catalogue, WorkedExamplesAndChannelNumbers) {
    DeviceState s = defaults();
    EXPECT_EQ(buildQ(1), "%Q,01,01,B5E1#");
    EXPECT_EQ(buildQ(0), "%Q,01,00,25E0#");
    EXPECT_EQ(buildA(s, 27), "%A,01,1B,4994#") << "channels above 20 carry no values";
    EXPECT_EQ(buildA(s, 21), framed("%A,01,15,"));
    // 1..12 are inputs, 13..20 the outputs, in A and V alike.
    s.in(12).mute = 1, s.in(12).level = 0x22;
    s.out(1).level = 0x11;
    s.out(8).mute = 1, s.out(8).level = 0x33;
    EXPECT_EQ(buildA(s, 12), framed("%A,01,0C,01,22,"));
    EXPECT_EQ(buildA(s, 13), framed("%A,01,0D,00,11,"));
    EXPECT_EQ(buildA(s, 20), framed("%A,01,14,01,33,"));
    setName(s.out(1).name, "OUT");
    EXPECT_EQ(buildV(s, 13).substr(0, 42), "%V,01,0D,004F0055005400000000000000000000,");
}

TEST(Catalogue, FieldsInWireOrder) {
    // Distinct values everywhere, so a swapped pair of fields cannot go unnoticed.
    DeviceState s = defaults();
    s.in(2).dynamics = {1, 0x1E, 0x28, 0x32, 0x3C, 0x14}; // enabled, thr, att, rel, gain, ratio
    EXPECT_EQ(buildC(s, 2), framed("%C,01,02,01,14,1E,28,32,3C,"));

    s.out(3).limiter = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(buildD(s, 3), framed("%D,01,03,01,06,02,03,04,05,"));

    InputChannel& c = s.in(18);
    c.lpfOn = 1, c.lpfType = 3, c.lpfFreq = 12000, c.lpfSlope = 4;
    c.hpfOn = 0, c.hpfType = 2, c.hpfFreq = 80, c.hpfSlope = 8;
    EXPECT_EQ(buildE(s, 18), framed("%E,01,12,01,03,2EE0,04,01,"));
    EXPECT_EQ(buildF(s, 18), framed("%F,01,12,00,02,0050,08,01,"));

    PeqBand& b = s.in(5).peq[3];
    b.bandType = 2, b.bandFreq = 20000, b.bandGain = 300, b.bandQ = 200;
    EXPECT_EQ(buildG(s, 5, 4), framed("%G,01,05,01,04,03,4E20,96,C8,"));

    OutputChannel& o = s.out(2);
    o.geqOn = 1;
    std::string geq;
    for (int i = 0; i < kGeqBands; ++i) {
        o.geq[static_cast<size_t>(i)].gain = 2 * i + 1; // odd: the halving truncates
        char f[4];
        std::snprintf(f, sizeof f, "%02X,", i);
        geq += f;
    }
    const std::string h = buildH(s, 2);
    EXPECT_EQ(h, framed("%H,01,02,01," + geq));
    EXPECT_LT(h.size(), 256u) << "H must fit its one datagram";

    o.lineLevel = 1, o.outSwitchJ = 199, o.outSwitchK = 1;
    EXPECT_EQ(buildI(s, 2), framed("%I,01,02,01,"));
    EXPECT_EQ(buildJ(s, 2), framed("%J,01,02,01,C7,"));
    EXPECT_EQ(buildK(s, 2), framed("%K,01,02,01,"));

    s.in(7).automixThreshold = 80, s.in(7).priority = 1;
    EXPECT_EQ(buildL(s, 7), framed("%L,01,07,50,01,"));

    s.automix = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 1};
    EXPECT_EQ(buildM(s), framed("%M,01,01,02,06,03,04,05,")) << "lastHold goes third";
    EXPECT_EQ(buildN(s), framed("%N,01,07,08,09,0A,"));
    EXPECT_EQ(buildW(3), framed("%W,01,03,"));
}

TEST(Catalogue, PeqGainHalvedOnTheWire) {
    DeviceState s = defaults();
    s.in(3).peq[1].bandGain = 151;
    EXPECT_EQ(buildG(s, 3, 2), framed("%G,01,03,01,02,01,01F4,4B,14,"));
    s.in(3).peq[1].bandGain = 150;
    EXPECT_EQ(buildG(s, 3, 2), framed("%G,01,03,01,02,01,01F4,4B,14,"))
        << "151 and 150 look alike on the wire";
    s.in(3).peq[1].bandGain = 0;
    EXPECT_EQ(buildG(s, 3, 2), framed("%G,01,03,01,02,01,01F4,00,14,"));
}

TEST(Catalogue, PackedFields) {
    DeviceState s = defaults();
    s.in(4).routeToOutput = {1, 0, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(buildB(s, 4), framed("%B,01,04,10000001,"));

    // The phantom mask always describes channels 1..8, whichever channel the frame is for.
    s.in(1).phantom = 1;
    s.in(8).phantom = 1;
    s.in(10).phantom = 1; // a line input has no phantom bit
    s.in(10).danteSource = 3;
    s.in(10).gainStep = 1;
    EXPECT_EQ(buildO(s, 10), framed("%O,01,0A,03,81,01,"));
    EXPECT_EQ(buildO(s, 2), framed("%O,01,02,00,81,00,"));

    s.units[1] = {0, 16, 0, 1, 12};
    EXPECT_EQ(buildX(s, 2), framed("%X,01,02,FF10FF010C,"));
    EXPECT_EQ(buildX(s, 4), framed("%X,01,04,FFFFFFFFFF,"));
}

TEST(Catalogue, HandshakeAddressRendering) {
    EXPECT_EQ(buildZ({192, 168, 1, 20}, 39020), framed("%Z,01,05,192168001020,39020,"));
    EXPECT_EQ(buildZ({0, 0, 0, 0}, 39020), framed("%Z,01,05,000000000000,39020,"));
    EXPECT_EQ(buildZ({255, 9, 10, 100}, 7), framed("%Z,01,05,255009010100,7,"));
}

TEST(Catalogue, SelectorsWithoutRecordBuildNothing) {
    const DeviceState s = defaults();
    EXPECT_EQ(buildB(s, 13) + buildD(s, 9) + buildG(s, 3, 5) + buildG(s, 19, 1) + buildO(s, 13), "");
    EXPECT_EQ(buildI(s, 9) + buildJ(s, 18) + buildK(s, 0), "") << "sources above 8 have no output record";
    EXPECT_EQ(buildV(s, 21) + buildX(s, 5), "");
}

// The command-line set and the typed value entry send a field through its carrier; a carrier
// whose selectors the builder refuses would store the value and quietly never send it.
TEST(Catalogue, EveryCarriedFieldBuildsItsCommand) {
    const DeviceState s = defaults();
    int carried = 0;
    for (const FieldInfo& f : FieldRegistry::instance().fields()) {
        if (!f.carrier.letter) continue;
        ++carried;
        OutgoingFrame out;
        std::string error;
        ASSERT_TRUE(
            buildCommand(s, f.carrier.letter, carrierSelectors(f.carrier), {127, 0, 0, 1}, out, error))
            << f.path << ": " << error;
        EXPECT_EQ(out.text[1], f.carrier.letter) << f.path;
    }
    EXPECT_GT(carried, 0);
}

TEST(NameFrame, ShortLatinName) {
    const DeviceState s = defaults(); // channel 1 is "CH 1"
    const std::string v = buildV(s, 1);
    ASSERT_EQ(v.size(), 624u);
    EXPECT_EQ(v.substr(0, 42), "%V,01,01,00430048002000310000000000000000,");
    EXPECT_TRUE(validateFrame(v));
    EXPECT_EQ(v[42 + 2 * kNameBitmapBytes], ',');

    const auto bm = renderNameBitmap(nameView(s.in(1).name));
    EXPECT_TRUE(anyInk(bm, 0, 36)) << "C";
    EXPECT_TRUE(anyInk(bm, 36, 72)) << "H";
    EXPECT_FALSE(anyInk(bm, 72, 108)) << "the space is a blank 36-byte cell";
    EXPECT_TRUE(anyInk(bm, 108, 144)) << "1";
    EXPECT_FALSE(anyInk(bm, 144, kNameBitmapBytes)) << "144 zero bytes of padding";

    // Every byte goes bit-reversed.
    const auto wire = wireBitmap(v);
    for (std::size_t i = 0; i < kNameBitmapBytes; ++i) {
        std::uint8_t r = 0;
        for (int bit = 0; bit < 8; ++bit)
            if (bm[i] & (1 << bit)) r |= static_cast<std::uint8_t>(0x80 >> bit);
        ASSERT_EQ(wire[i], r) << "byte " << i;
    }
}

TEST(NameFrame, CellWidthsAndCut) {
    const std::string wide = gbk("\xE9\x80\x9A"); // 通, two GBK bytes
    ASSERT_EQ(wide.size(), 2u);
    const auto one = renderNameBitmap(wide);
    EXPECT_TRUE(anyInk(one, 0, 36));
    EXPECT_TRUE(anyInk(one, 36, 72)) << "a double-byte character fills a 24-px cell";
    EXPECT_FALSE(anyInk(one, 72, kNameBitmapBytes));

    // 36 + 4 x 72 = 324 bytes: the fourth wide cell is cut after its first half.
    const auto a = renderNameBitmap("A");
    const auto cut = renderNameBitmap("A" + wide + wide + wide + wide);
    std::vector<std::uint8_t> expected(a.begin(), a.begin() + 36);
    for (int i = 0; i < 4; ++i)
        expected.insert(expected.end(), one.begin(), one.begin() + 72);
    expected.resize(kNameBitmapBytes);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), cut.begin()));

    // Sixteen single-byte characters: only the first eight units and eight cells fit.
    DeviceState s = defaults();
    setName(s.in(2).name, "ABCDEFGHIJKLMNOP");
    const std::string v = buildV(s, 2);
    ASSERT_EQ(v.size(), 624u);
    EXPECT_EQ(v.substr(9, 32), "00410042004300440045004600470048");
    EXPECT_TRUE(anyInk(renderNameBitmap("ABCDEFGHIJKLMNOP"), 252, 288)) << "H in the last cell";
}

TEST(NameFrame, ChineseNameUnitsAndCells) {
    DeviceState s = defaults();
    setName(s.in(6).name, gbk("\xE9\x80\x9A\xE9\x81\x93 6")); // 通道 6
    const std::string v = buildV(s, 6);
    ASSERT_EQ(v.size(), 624u);
    EXPECT_EQ(v.substr(9, 32), "901A9053002000360000000000000000");
    const auto bm = renderNameBitmap(nameView(s.in(6).name));
    EXPECT_TRUE(anyInk(bm, 72, 144));
    EXPECT_FALSE(anyInk(bm, 144, 180)) << "space";
    EXPECT_TRUE(anyInk(bm, 180, 216)) << "6";
    EXPECT_FALSE(anyInk(bm, 216, kNameBitmapBytes));
}

TEST(NameFrame, OddNamesStillRender) {
    // "&" is an ordinary character; an empty name is all padding; a broken GBK byte must not
    // upset the frame's fixed size.
    EXPECT_TRUE(anyInk(renderNameBitmap("&"), 0, 36));
    DeviceState s = defaults();
    setName(s.in(3).name, "");
    const std::string empty = buildV(s, 3);
    ASSERT_EQ(empty.size(), 624u);
    EXPECT_EQ(empty.substr(9, 33), std::string(32, '0') + ",");
    EXPECT_EQ(empty.substr(42, 2 * kNameBitmapBytes), std::string(2 * kNameBitmapBytes, '0'));

    setName(s.in(3).name, "A\x81");
    const std::string broken = buildV(s, 3);
    EXPECT_EQ(broken.size(), 624u);
    EXPECT_TRUE(validateFrame(broken));
}

TEST(NameFrame, GlyphSitsInTheMiddleOfItsCell) {
    // "H" has no descender: its ink should be centred vertically and horizontally, within a pixel
    // or two, so names sit on one line on the device.
    const auto bm = renderNameBitmap("H");
    int top = 24, bottom = -1, left = 12, right = -1;
    for (int x = 0; x < 12; ++x)
        for (int y = 0; y < 24; ++y)
            if ((bm[static_cast<size_t>(x * 3 + y / 8)] >> (7 - y % 8)) & 1) {
                top = std::min(top, y), bottom = std::max(bottom, y);
                left = std::min(left, x), right = std::max(right, x);
            }
    ASSERT_GE(bottom, 0) << "no ink at all: no font found?";
    EXPECT_GE(bottom - top + 1, 9) << "glyph too small to read";
    EXPECT_LE(std::abs(top - (23 - bottom)), 4);
    EXPECT_LE(std::abs(left - (11 - right)), 2);
}

TEST(NameFrame, ConcurrentBuildsAgree) {
    // Characters no other test draws, so the first renders race inside the shared face.
    DeviceState s = defaults();
    setName(s.in(1).name, gbk("\xE4\xB8\xBB\xE5\xB8\xAD Mic")); // 主席 Mic
    setName(s.in(2).name, gbk("\xE5\x8F\xB0\xE4\xB8\x8A xyz")); // 台上 xyz
    std::array<std::string, 2> first;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            std::string v = buildV(s, 1 + t % 2);
            if (t < 2) first[static_cast<size_t>(t)] = v;
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(first[0], buildV(s, 1));
    EXPECT_EQ(first[1], buildV(s, 2));
}

TEST(Dispatch, RangesErrorsAndPacing) {
    const DeviceState s = defaults();
    const Ipv4Octets own{127, 0, 0, 1};
    OutgoingFrame f;
    std::string err;
    auto build = [&](char letter, std::vector<int> sel) { return buildCommand(s, letter, sel, own, f, err); };

    ASSERT_TRUE(build('A', {27}));
    EXPECT_EQ(f.text, "%A,01,1B,4994#");
    EXPECT_EQ(f.pauseAfter.count(), 0);
    EXPECT_FALSE(f.inPieces);
    EXPECT_TRUE(build('A', {255}));
    EXPECT_FALSE(build('A', {256})) << "the channel field is two hex digits";
    EXPECT_FALSE(build('A', {0}));

    for (char letter : {'Z', 'W', 'X'}) {
        ASSERT_TRUE(build(letter, letter == 'Z' ? std::vector<int>{} : std::vector<int>{1})) << err;
        EXPECT_EQ(f.pauseAfter, kCommandPause) << letter;
        EXPECT_FALSE(f.inPieces);
    }
    ASSERT_TRUE(build('Z', {}));
    EXPECT_EQ(f.text, framed("%Z,01,05,127000000001,39020,"));
    EXPECT_TRUE(build('W', {0})) << "CALL with no unit selected";

    ASSERT_TRUE(build('V', {20}));
    EXPECT_TRUE(f.inPieces);
    EXPECT_EQ(f.pauseAfter, kCommandPause);
    EXPECT_EQ(f.text.size(), 624u);

    struct Bad {
        char letter;
        std::vector<int> sel;
        const char* mention;
    };
    const Bad bad[] = {
        {'P', {1}, "unknown command letter 'P'"},
        {'b', {1}, "unknown"},
        {'a', {19}, "source 19"},
        {'y', {1}, "too many selectors"},
        {'G', {3}, "missing selector"},
        {'G', {3, 5}, "band 5"},
        {'B', {13}, "channel 13"},
        {'I', {9}, "output 9"},
        {'Q', {2}, "value 2"},
        {'M', {1}, "too many selectors"},
        {'X', {0}, "unit 0"},
        {'V', {21}, "channel 21"},
        {'C', {}, "missing selector"},
    };
    for (const Bad& b : bad) {
        err.clear();
        EXPECT_FALSE(build(b.letter, b.sel)) << b.letter;
        EXPECT_NE(err.find(b.mention), std::string::npos) << err;
        EXPECT_EQ(err.find('\n'), std::string::npos) << "one line";
    }
}

TEST(Dispatch, PiecesAndOwnAddress) {
    const DeviceState s = defaults();
    const std::string v = buildV(s, 1);
    const auto pieces = splitPieces(v);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].size(), 256u);
    EXPECT_EQ(pieces[1].size(), 256u);
    EXPECT_EQ(pieces[2].size(), 112u);
    EXPECT_EQ(pieces[0] + pieces[1] + pieces[2], v);
    EXPECT_EQ(splitPieces(std::string(512, 'x')).size(), 2u);
    EXPECT_EQ(splitPieces(buildQ(1)).size(), 1u);
    EXPECT_TRUE(splitPieces("").empty());

    // Talking to a local simulator, the program announces the address it binds there.
    const Ipv4Octets loop{127, 0, 0, 1};
    EXPECT_EQ(ownAddressFor("127.0.0.2"), loop);
    EXPECT_EQ(ownAddressFor("127.3.4.5"), loop);
    EXPECT_EQ(ownAddressFor("localhost"), loop);
}

TEST(Dispatch, OwnAddressIsTheLocalEndOfTheRouteToTheDevice) {
    // The stub stands in for the kernel's routing table; nothing here touches a real route but
    // loopback.
    std::vector<std::string> asked;
    const RouteLookup lan = [&](const in_addr& device) -> std::optional<in_addr> {
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &device, text, sizeof text);
        asked.emplace_back(text);
        in_addr own{};
        inet_pton(AF_INET, "192.168.1.20", &own);
        return own;
    };
    EXPECT_EQ(ownAddressFor("192.168.1.106", lan), (Ipv4Octets{192, 168, 1, 20}));
    EXPECT_EQ(asked, std::vector<std::string>{"192.168.1.106"});
    // Loopback devices and malformed addresses never consult the route.
    EXPECT_EQ(ownAddressFor("127.0.0.2", lan), (Ipv4Octets{127, 0, 0, 1}));
    EXPECT_EQ(ownAddressFor("192.168.1", lan), (Ipv4Octets{0, 0, 0, 0}));
    EXPECT_EQ(asked.size(), 1u);
    const RouteLookup none = [](const in_addr&) -> std::optional<in_addr> { return std::nullopt; };
    EXPECT_EQ(ownAddressFor("10.0.0.9", none), (Ipv4Octets{0, 0, 0, 0}));
    // Z built from it names that address.
    EXPECT_EQ(buildZ(ownAddressFor("192.168.1.106", lan), 39020).rfind("%Z,01,05,192168001020,39020,", 0),
              0u);

    // The real lookup, on loopback only: the kernel answers with a loopback address.
    in_addr sim{};
    inet_pton(AF_INET, "127.0.0.2", &sim);
    const auto local = localAddressOfRoute(sim);
    ASSERT_TRUE(local);
    EXPECT_TRUE(isLoopback(*local));
}
