// Replays a fuzz target's seed corpus through its entry point without libFuzzer: every input
// kept there once mattered, and none may trip the target's checks (a trap fails the test).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

TEST(FuzzCorpus, ReplaysWithoutTripping) {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(fs::path(QUORVEL_TEST_DATA) / QUORVEL_CORPUS))
        files.push_back(e.path());
    std::sort(files.begin(), files.end());
    ASSERT_GE(files.size(), 10u);
    for (const auto& f : files) {
        SCOPED_TRACE(f.filename().string());
        std::ifstream in(f, std::ios::binary);
        std::ostringstream ss;
        ss << in.rdbuf();
        const std::string text = ss.str();
        EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), 0);
        // Every prefix too: a cut text must be refused as cleanly as a whole one is taken.
        for (std::size_t n = 0; n < text.size(); ++n)
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(text.data()), n);
    }
}

} // namespace
