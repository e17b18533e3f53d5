// Every text the receive side throws away, and every part of a report the parsers leave out, is
// named with its reason.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "link/reports.h"
#include "report_text.h"

namespace quorvel {
namespace {

using test::h2;
using test::report;
using test::statusReport;

struct Fed {
    std::vector<std::string> frames;
    std::vector<std::pair<DropReason, std::string>> drops;
};

Fed feed(const std::vector<std::string>& datagrams) {
    FrameAssembler a;
    Fed out;
    a.setDropHandler(
        [&](DropReason why, std::string_view t) { out.drops.emplace_back(why, std::string(t)); });
    for (const std::string& d : datagrams)
        a.feed(d, [&](std::string_view f) { out.frames.emplace_back(f); });
    return out;
}

std::vector<std::pair<DropReason, int>> drops(const DispatchResult& r) {
    std::vector<std::pair<DropReason, int>> v;
    for (std::size_t i = 0; i < r.dropCount && i < DispatchResult::kKeptDrops; ++i)
        v.emplace_back(r.drops[i].reason, r.drops[i].section);
    return v;
}

const std::string kQ0 = "%Q,01,00,25E0#";

TEST(ReceiveDrops, TheAssemblerNamesWhatItThrowsAway) {
    using D = std::vector<std::pair<DropReason, std::string>>;
    EXPECT_EQ(feed({"%Q,01,0B,85c4#"}).drops, (D{{DropReason::BadChecksum, "%Q,01,0B,85c4#"}}));
    EXPECT_EQ(feed({"%P,1234#"}).drops, (D{{DropReason::TooShort, "%P,1234#"}}));
    EXPECT_EQ(feed({"ab"}).drops, (D{{DropReason::TooShort, "ab"}}));
    // A lost start, a lost end: the frame after each still gets through.
    Fed lost = feed({"tail#" + kQ0, "%Q,01" + kQ0});
    EXPECT_EQ(lost.frames, (std::vector<std::string>{kQ0, kQ0}));
    EXPECT_EQ(lost.drops, (D{{DropReason::NoStart, "tail#"}, {DropReason::NoEnd, "%Q,01"}}));
    // Text between frames is not a frame: nothing to report.
    EXPECT_TRUE(feed({"\r\n" + kQ0 + "\r\n", kQ0}).drops.empty());

    // A start that never ends is given up when the leftover would outgrow its bound.
    Fed endless = feed({"%" + std::string(40000, '1'), std::string(40000, '2')});
    ASSERT_EQ(endless.drops.size(), 1u);
    EXPECT_EQ(endless.drops[0].first, DropReason::NoEnd);
    EXPECT_TRUE(endless.frames.empty());
}

TEST(ReceiveDrops, TheParsersNameTheSectionTheyCouldNotPlace) {
    DeviceState s;
    loadFactoryDefaults(s);
    ReportDispatcher d(s);
    const auto now = Clock::now();
    using V = std::vector<std::pair<DropReason, int>>;

    std::vector<int> values(22, 0x10);
    EXPECT_TRUE(drops(d.dispatch(statusReport(values), now)).empty());
    values.pop_back();
    EXPECT_EQ(drops(d.dispatch(statusReport(values), now)), (V{{DropReason::WrongLength, 2}}));

    const std::string eight = "0102030405060708";
    const std::string twelve = eight + "090A0B0C";
    EXPECT_TRUE(drops(d.dispatch(report('P', {eight, eight, eight, twelve, "3"}), now)).empty());
    // Records past the outputs, and a section no levels report has.
    EXPECT_EQ(drops(d.dispatch(report('P', {eight, eight + "11", eight, twelve, "3", "FF"}), now)),
              (V{{DropReason::SectionOutOfRange, 3}, {DropReason::SectionOutOfRange, 7}}));
    EXPECT_EQ(drops(d.dispatch("%G,01,01,02,0300,C8E8#", now)), (V{{DropReason::UnusedLetter, 0}}));
    EXPECT_EQ(drops(d.dispatch("%Q,01,0B,85c4#", now)), (V{{DropReason::BadChecksum, 0}}));

    // Names: five units where four exist; a full state with a device text past its field.
    std::string units;
    for (int u = 0; u < 5; ++u)
        for (int k = 0; k < 5; ++k)
            units += h2(k + 1);
    EXPECT_EQ(drops(d.dispatch(report('Y', {units}), now)), (V{{DropReason::SectionOutOfRange, 2}}));
    // A full state with a part compressor record and a device text past its field.
    std::vector<std::string> full(26);
    full[3] = "123456789ABCDEF";
    full[25] = std::string(20, 'N');
    EXPECT_EQ(drops(d.dispatch(report('Z', full), now)),
              (V{{DropReason::WrongLength, 5}, {DropReason::WrongLength, 27}}));
    EXPECT_EQ(dropReasonText(DropReason::SectionOutOfRange), std::string("section out of range"));
}

// Healthy traffic must not be reported: a drop line on every status report would bury real ones.
TEST(ReceiveDrops, TheDevicesOwnReportsDropNothing) {
    for (const char* name : {"valid_full_state.txt", "valid_mixed_stream.txt", "valid_names.txt"}) {
        std::ifstream in(std::filesystem::path(QUORVEL_TEST_DATA) / "reports" / name, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        DeviceState s;
        loadFactoryDefaults(s);
        ReportDispatcher d(s);
        FrameAssembler a;
        int frames = 0, drops = 0;
        a.setDropHandler([&](DropReason, std::string_view) { ++drops; });
        a.feed(text.str(), [&](std::string_view f) {
            ++frames;
            drops += d.dispatchAccepted(f, Clock::now()).dropCount;
        });
        EXPECT_GT(frames, 0) << name;
        EXPECT_EQ(drops, 0) << name;
    }
}

} // namespace
} // namespace quorvel
