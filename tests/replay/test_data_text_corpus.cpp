#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "corpus.h"
#include "processing/peq_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace quorvel {
namespace {

// The first byte picks the table (see the fuzzer); the entry function traps on a broken
// contract, so a replay that returns has held it for every file.
TEST(DataTextCorpus, ReplaysEveryTable) {
    const auto files = test::corpus("data_texts");
    ASSERT_GE(files.size(), 7u);
    bool tables[7] = {};
    for (const auto& f : files) {
        SCOPED_TRACE(f.filename().string());
        const std::string bytes = test::slurp(f);
        ASSERT_FALSE(bytes.empty());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        if (test::startsWith(f, "valid_")) tables[static_cast<unsigned char>(bytes[0]) % 7] = true;
    }
    for (bool covered : tables)
        EXPECT_TRUE(covered) << "every table has a valid seed";

    // What the names say holds for the reader itself.
    DeviceState s;
    loadFactoryDefaults(s, 1);
    std::string error;
    for (const char* name : {"valid_peq.txt", "valid_peq_lower_case.txt"}) {
        const std::string text = test::slurp(std::filesystem::path(QUORVEL_TEST_DATA) / "data_texts" / name);
        EXPECT_TRUE(readPeqDataText(std::string_view(text).substr(1), s.in(1), error))
            << name << ": " << error;
    }
    for (const char* name : {"invalid_peq_no_separator.txt", "invalid_peq_short.txt"}) {
        const std::string text = test::slurp(std::filesystem::path(QUORVEL_TEST_DATA) / "data_texts" / name);
        EXPECT_FALSE(readPeqDataText(std::string_view(text).substr(1), s.in(1), error)) << name;
    }
}

} // namespace
} // namespace quorvel
