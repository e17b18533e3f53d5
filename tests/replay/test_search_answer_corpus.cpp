#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "admin/discovery.h"
#include "corpus.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace quorvel {
namespace {

// valid_*: datagrams listed as a device; invalid_*: ignored.
TEST(SearchAnswerCorpus, ReplaysAndIsJudgedAsNamed) {
    const auto files = test::corpus("search_answer");
    ASSERT_GE(files.size(), 8u);
    for (const auto& f : files) {
        SCOPED_TRACE(f.filename().string());
        const std::string bytes = test::slurp(f);
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        EXPECT_EQ(isSearchAnswer(bytes), test::startsWith(f, "valid_"));
    }
}

} // namespace
} // namespace quorvel
