#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "admin/version_page.h"
#include "corpus.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace quorvel {
namespace {

// valid_*: pages the remote update takes; invalid_*: refused with a reason.
TEST(VersionPageCorpus, ReplaysAndParsesAsNamed) {
    const auto files = test::corpus("version_page");
    ASSERT_GE(files.size(), 3u);
    for (const auto& f : files) {
        SCOPED_TRACE(f.filename().string());
        const std::string text = test::slurp(f);
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        std::string error;
        const bool parsed = firmware::parseVersionPage(text, error).has_value();
        EXPECT_EQ(parsed, test::startsWith(f, "valid_")) << error;
    }
}

} // namespace
} // namespace quorvel
