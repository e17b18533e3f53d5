#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "link/reports.h"
#include "link/state_json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace quorvel {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct Replay {
    int accepted = 0, stored = 0, rejected = 0;
    std::string json;
};

// verify: the dispatcher recomputes the checksum too, as for frames from elsewhere.
Replay replay(std::string_view text, std::size_t chunk, bool verify = false) {
    auto s = std::make_unique<DeviceState>();
    loadFactoryDefaults(*s, 1);
    ReportDispatcher d(*s);
    FrameAssembler a;
    Replay r;
    auto onFrame = [&](std::string_view f) {
        const ReportKind k =
            (verify ? d.dispatch(f, Clock::now()) : d.dispatchAccepted(f, Clock::now())).kind;
        ++r.accepted;
        r.rejected += k == ReportKind::Rejected;
        r.stored += k != ReportKind::Rejected && k != ReportKind::Ignored;
    };
    for (std::size_t at = 0; at < text.size(); at += chunk)
        a.feed(text.substr(at, chunk), onFrame);
    r.json = stateToJson(*s);
    return r;
}

// valid_*: frames that must all get through, whatever the datagram size; invalid_*: nothing may
// reach DeviceState; crash_*: inputs that once broke the receive side. None may crash.
TEST(ReportCorpus, ReplaysWithoutHarm) {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(fs::path(QUORVEL_TEST_DATA) / "reports"))
        if (e.path().extension() == ".txt") files.push_back(e.path()); // not the expected .json
    std::sort(files.begin(), files.end());
    ASSERT_GE(files.size(), 10u);
    for (const auto& f : files) {
        const std::string text = slurp(f), name = f.filename().string();
        SCOPED_TRACE(name);
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        const Replay whole = replay(text, text.size() + 1, true);
        EXPECT_EQ(whole.rejected, 0);
        if (name.rfind("valid_", 0) == 0) {
            EXPECT_GT(whole.accepted, 0);
            EXPECT_EQ(replay(text, 256).json, whole.json);
        } else if (name.rfind("invalid_", 0) == 0) {
            EXPECT_EQ(whole.stored, 0);
        }
        for (std::size_t chunk : {1u, 3u, 7u})
            replay(text, chunk);
    }
}

#ifdef QUORVELCTL_PATH
std::string decode(const fs::path& file) {
    std::FILE* p = ::popen((std::string(QUORVELCTL_PATH) + " decode < '" + file.string() + "'").c_str(), "r");
    if (!p) return {};
    std::string out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    EXPECT_EQ(::pclose(p), 0) << file;
    return out;
}

TEST(ReportCorpus, DecodeCommandPrintsTheAssembledState) {
    for (const char* name : {"valid_full_state.txt", "valid_mixed_stream.txt"}) {
        const fs::path file = fs::path(QUORVEL_TEST_DATA) / "reports" / name;
        EXPECT_EQ(decode(file), replay(slurp(file), 1 << 20).json + "\n") << name;
    }
}

// Each valid file's decoded state is committed beside it (valid_x.txt, valid_x.json): a change in
// what any report stores shows up here as a diff to review, not only as a crash.
TEST(ReportCorpus, DecodedStatesMatchTheExpectedJson) {
    int compared = 0;
    for (const auto& e : fs::directory_iterator(fs::path(QUORVEL_TEST_DATA) / "reports")) {
        const fs::path txt = e.path();
        if (txt.extension() != ".txt" || txt.filename().string().rfind("valid_", 0) != 0) continue;
        fs::path json = txt;
        json.replace_extension(".json");
        ASSERT_TRUE(fs::exists(json)) << json << " is missing: write it with quorvelctl decode";
        EXPECT_EQ(decode(txt), slurp(json)) << txt.filename();
        ++compared;
    }
    EXPECT_GE(compared, 10);
}
#endif

} // namespace
} // namespace quorvel
