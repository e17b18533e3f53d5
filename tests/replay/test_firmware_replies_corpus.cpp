#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "admin/firmware_replies.h"
#include "corpus.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace quorvel {
namespace {

// valid_*: replies that carry a code, an acknowledgement or a version; invalid_*: none of these.
TEST(FirmwareRepliesCorpus, ReplaysAndReadsAsNamed) {
    const auto files = test::corpus("firmware_replies");
    ASSERT_GE(files.size(), 4u);
    for (const auto& f : files) {
        SCOPED_TRACE(f.filename().string());
        const std::string text = test::slurp(f);
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        const bool read = firmware::scanEndReply(text).kind == firmware::EndReply::Kind::Code ||
                          firmware::hasBlockAck(text, 3) || firmware::scanVersionReply(text, 'r').has_value();
        EXPECT_EQ(read, test::startsWith(f, "valid_"));
    }
}

} // namespace
} // namespace quorvel
