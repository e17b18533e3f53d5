#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "admin/scene.h"
#include "corpus.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace quorvel {
namespace {

// valid_*: scenes that load; invalid_*: files refused with a reason and the state untouched.
TEST(SceneCorpus, ReplaysAndLoadsAsNamed) {
    const auto files = test::corpus("scene");
    ASSERT_GE(files.size(), 4u);
    DeviceState fresh;
    loadFactoryDefaults(fresh, 1);
    const auto factory = serialiseScene(fresh);
    for (const auto& f : files) {
        SCOPED_TRACE(f.filename().string());
        const std::string bytes = test::slurp(f);
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        DeviceState s = fresh;
        std::string error;
        const bool loaded = readSceneFile(s, f, error);
        if (test::startsWith(f, "valid_")) {
            EXPECT_TRUE(loaded) << error;
            EXPECT_EQ(serialiseScene(s), std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
        } else {
            EXPECT_FALSE(loaded);
            EXPECT_FALSE(error.empty());
            EXPECT_EQ(serialiseScene(s), factory);
        }
    }
}

} // namespace
} // namespace quorvel
