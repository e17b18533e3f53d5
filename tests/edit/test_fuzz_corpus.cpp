// Replays a fuzz target's seed corpus through its entry point without libFuzzer: every input
// kept there once mattered, and none may trip the target's checks (a trap fails the test).
#include <gtest/gtest.h>

#include <cstdint>

#include "../replay/corpus.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

TEST(FuzzCorpus, ReplaysWithoutTripping) {
    const auto files = quorvel::test::corpus(QUORVEL_CORPUS);
    ASSERT_GE(files.size(), 10u);
    for (const auto& f : files) {
        SCOPED_TRACE(f.filename().string());
        const std::string text = quorvel::test::slurp(f);
        EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), 0);
        // Every prefix too: a cut text must be refused as cleanly as a whole one is taken.
        for (std::size_t n = 0; n < text.size(); ++n)
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(text.data()), n);
    }
}

} // namespace
