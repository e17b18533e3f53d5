#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "link/reports.h"
#include "report_text.h"

namespace quorvel {
namespace {

using test::levelsReport;
using test::statusReport;

std::string status(int base) {
    return statusReport(std::vector<int>(22, base));
}

struct Collector {
    FrameAssembler assembler;
    std::vector<std::string> frames;
    int feed(std::string_view text) {
        return assembler.feed(text, [&](std::string_view f) { frames.emplace_back(f); });
    }
    const std::string& leftover() const { return assembler.leftover(); }
};

TEST(FrameAssembler, CutsAndResynchronises) {
    const std::string q = status(1), p = levelsReport(10, 7);
    std::string lower = q; // checksum digits in lower case
    for (std::size_t i = q.size() - 5; i + 1 < q.size(); ++i)
        lower[i] = static_cast<char>(std::tolower(q[i]));
    ASSERT_NE(lower, q);
    struct Case {
        std::vector<std::string> datagrams;
        std::vector<std::string> frames;
        std::string leftover;
    };
    const Case cases[] = {
        {{q + p}, {q, p}, ""},                         // two frames in one datagram, in order
        {{q.substr(0, 5), q.substr(5)}, {q}, ""},      // split after five characters
        {{"xx,12#junk" + p}, {p}, ""},                 // junk and a stray "#" are dropped
        {{q + p.substr(0, 20)}, {q}, p.substr(0, 20)}, // text after the last "#" waits
        {{"no start", "#" + q}, {q}, ""},              // text without "%" waits, then goes
        {{"%Q,1,0A0B" + q}, {q}, ""},                  // a start cut short: the later "%" wins
        {{"%Z,01,3C", q}, {q}, ""},                    // ... also across datagrams
        {{"%a%b" + q + p}, {p}, ""},                   // but only one step
        {{"%P,1234#" + lower + q}, {q}, ""},           // too short, lower-case checksum
        {{"%Q"}, {}, ""},                              // two characters: dropped, not kept
        {{q + "%", "Q", q.substr(2)}, {q}, ""},        // ... even behind a leftover "%"
    };
    for (const Case& c : cases) {
        Collector col;
        for (const auto& d : c.datagrams)
            col.feed(d);
        EXPECT_EQ(col.frames, c.frames) << c.datagrams[0];
        EXPECT_EQ(col.leftover(), c.leftover) << c.datagrams[0];
    }
}

// Any cut of the stream into pieces of three characters or more gives the same frames.
TEST(FrameAssembler, ResultDoesNotDependOnChunking) {
    const std::string stream = "junk#" + status(1) + "\n" + levelsReport(2, 33) + "%x" + status(9) +
                               "#stray" + levelsReport(4, 1) + "%P,12";
    Collector whole;
    whole.feed(stream);
    ASSERT_EQ(whole.frames.size(), 4u);
    for (std::size_t chunk = 3; chunk <= stream.size(); ++chunk) {
        Collector c;
        for (std::size_t at = 0; at < stream.size();) {
            std::size_t n = std::min(chunk, stream.size() - at);
            if (stream.size() - (at + n) < 3) n = stream.size() - at; // no tiny tail
            c.feed(std::string_view(stream).substr(at, n));
            at += n;
        }
        EXPECT_EQ(c.frames, whole.frames) << "chunk " << chunk;
        EXPECT_EQ(c.leftover(), whole.leftover()) << "chunk " << chunk;
    }
}

TEST(FrameAssembler, LeftoverStaysBounded) {
    Collector c;
    const std::string junk(4096, 'x');
    for (int i = 0; i < 64; ++i)
        c.feed(junk);
    EXPECT_LE(c.leftover().size(), 64u * 1024u);
    c.feed("%" + junk); // a frame start that never ends is not kept forever either
    for (int i = 0; i < 32; ++i)
        c.feed(junk);
    EXPECT_LE(c.leftover().size(), 64u * 1024u);
    EXPECT_EQ(c.feed("#" + status(2)), 1);
}

} // namespace
} // namespace quorvel
