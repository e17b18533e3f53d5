// The changes a report announces, against what it really wrote: each field of the registry is
// compared before and after dispatching the report frames kept in tests/data.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "../reports/report_text.h"
#include "link/field_registry.h"
#include "link/report_changes.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> framesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    std::vector<std::string> frames;
    FrameAssembler a;
    a.feed(ss.str(), [&](std::string_view f) { frames.emplace_back(f); });
    return frames;
}

bool same(const DeviceState& a, const DeviceState& b, const FieldInfo& f) {
    if (f.kind == FieldKind::Name) return FieldRegistry::getName(a, f) == FieldRegistry::getName(b, f);
    return FieldRegistry::get(a, f) == FieldRegistry::get(b, f);
}

constexpr std::int32_t kPoison = -77; // no report decodes to it

TEST(ReportChanges, AnnounceExactlyWhatTheReportWrote) {
    const auto& reg = FieldRegistry::instance();
    std::map<ReportKind, int> seen;
    for (const auto& e : fs::directory_iterator(fs::path(QUORVEL_TEST_DATA) / "reports")) {
        if (e.path().filename().string().rfind("valid_", 0) != 0) continue;
        SCOPED_TRACE(e.path().filename().string());
        auto s = std::make_unique<DeviceState>();
        loadFactoryDefaults(*s, 1);
        s->automix.lastHold = 1;
        ReportDispatcher d(*s);
        for (const std::string& frame : framesOf(e.path())) {
            // Poison the fields a status or levels report may write, so that each one it writes
            // shows as a difference even when the device sends the value already held.
            for (const FieldInfo& f : reg.fields())
                if (f.kind == FieldKind::Int32 && f.record != RecordKind::Device)
                    FieldRegistry::set(*s, f, kPoison);
            s->reportNumber = kPoison;
            const auto before = std::make_unique<DeviceState>(*s);
            const DispatchResult r = d.dispatch(frame, Clock::now());
            const ChangeSet c = reportChanges(r);
            ++seen[r.kind];
            if (c.all()) {
                EXPECT_TRUE(r.kind == ReportKind::FullState || r.kind == ReportKind::Names);
                continue;
            }
            for (const FieldInfo& f : reg.fields()) {
                const bool changed = !same(*before, *s, f);
                // lastOpen is cleared for 1..8 and one set again: every one of them is written.
                EXPECT_EQ(c.contains(f.id), changed) << f.path << " in " << frame.substr(0, 40);
            }
        }
    }
    EXPECT_GT(seen[ReportKind::FullState], 0);
    EXPECT_GT(seen[ReportKind::Names], 0);
    EXPECT_GT(seen[ReportKind::Status], 0);
    EXPECT_GT(seen[ReportKind::Levels], 0);
}

TEST(ReportChanges, NothingForIgnoredOrRejected) {
    DispatchResult r;
    r.kind = ReportKind::Ignored;
    EXPECT_TRUE(reportChanges(r).empty());
    r.kind = ReportKind::Rejected;
    EXPECT_TRUE(reportChanges(r).empty());
    r.kind = ReportKind::Status;
    EXPECT_TRUE(reportChanges(r).empty()); // a status report the parser stored nothing of
}

// The views follow every report but a levels report while offline: the faders stay where the user
// left them, though DeviceState took the values.
TEST(ReportChanges, ShownChangesHoldFadersOnlyOffline) {
    auto s = std::make_unique<DeviceState>();
    loadFactoryDefaults(*s, 1);
    ReportDispatcher d(*s);
    const std::string levels = test::levelsReport(0, 1);
    s->link.linkOnline = false;
    DispatchResult r = d.dispatch(levels, Clock::now());
    ASSERT_EQ(r.kind, ReportKind::Levels);
    EXPECT_FALSE(reportChanges(r).empty());
    EXPECT_TRUE(shownChanges(r).empty());
    s->link.linkOnline = true;
    r = d.dispatch(levels, Clock::now());
    EXPECT_EQ(shownChanges(r).fields(), reportChanges(r).fields());
    EXPECT_TRUE(shownChanges(r).contains(*FieldRegistry::instance().idOf("output[4].mute")));
}

} // namespace
} // namespace quorvel
