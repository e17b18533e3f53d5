// A fixed script of edits, every frame it queues (text, pause, pieces) compared with a recording
// kept in tests/data/wire/edit_script.txt. Whatever the edit path looks like inside, what reaches
// the wire must not change unnoticed. QUORVEL_REGENERATE_WIRE=1 rewrites the recording; review
// its diff before committing it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "link/commands.h"
#include "link/edit.h"
#include "link/field_registry.h"
#include "mixing/groups.h"

namespace quorvel {
namespace {

constexpr const char* kRecording = QUORVEL_TEST_DATA "/wire/edit_script.txt";

class Script {
public:
    Script() {
        loadFactoryDefaults(s);
        s.link.linkOnline = true;
    }
    // A heading line before the frames of each step keeps the recording's diffs readable.
    void step(const std::string& what) {
        flush();
        out_ << "# " << what << "\n";
    }
    std::string text() {
        flush();
        return out_.str();
    }

    EditOutcome edit(const std::string& path, std::int32_t raw, EditOptions o = {}) {
        return applyEdit(s, sink, path, raw, o);
    }
    void refused(const std::string& path, std::int32_t raw) { EXPECT_FALSE(edit(path, raw).applied) << path; }
    void name(const std::string& path, const char* gbk) {
        EXPECT_TRUE(applyNameEdit(s, sink, *FieldRegistry::instance().idOf(path), gbk).applied) << path;
    }
    // The 48V page switches one channel, whatever its group says.
    void page48V(int channel) {
        EditOptions one;
        one.linkCopies = false;
        edit("input[" + std::to_string(channel) + "].phantom", s.in(channel).phantom ? 0 : 1, one);
    }
    // A fader that sends on release: the drag stores, the release sends.
    void drag(const std::string& path, std::int32_t raw) {
        EditOptions store;
        store.queue = false;
        edit(path, raw, store);
    }
    void typed(int readoutChannel, int kind, int field, const char* text) {
        applyTypedValue(s, sink, readoutChannel, kind, field, text);
    }

    DeviceState s;
    RecordingSink sink;

private:
    void flush() {
        for (const OutgoingFrame& f : sink.frames)
            out_ << f.text << '\t' << f.pauseAfter.count() << '\t' << (f.inPieces ? 1 : 0) << '\n';
        sink.frames.clear();
    }
    std::ostringstream out_;
};

void inControlGroup(DeviceState& s, int group, std::initializer_list<int> elements,
                    std::initializer_list<int> flags) {
    for (int e : elements)
        ASSERT_EQ(toggleControlMember(s, group, e), ToggleResult::Added);
    for (int f : flags)
        ASSERT_TRUE(toggleLinkFlag(s, group, f));
}

std::string runScript() {
    Script sc;
    DeviceState& s = sc.s;
    RecordingSink& k = sc.sink;

    sc.step("input strip, unlinked");
    sc.edit("input[3].level", 50);
    sc.edit("input[3].level", 90); // above the fader's top
    sc.edit("input[13].level", 10);
    sc.edit("input[3].mute", 1);
    sc.edit("input[3].mute", 0);
    sc.edit("input[15].mute", 1);
    sc.edit("input[3].priority", 1);
    sc.edit("input[9].priority", 1);
    sc.edit("input[2].phantom", 1);
    sc.edit("input[10].phantom", 1);
    sc.edit("input[3].gainStep", 2);
    sc.edit("input[10].gainStep", 1);
    sc.refused("input[10].gainStep", 3); // a line input has two steps
    sc.edit("input[3].danteSource", 1);
    EXPECT_EQ(sc.edit("input[4].danteSource", 1).refusal, kDanteConflictMessage); // feeds channel 3
    sc.edit("input[4].danteSource", 2);
    sc.edit("input[3].danteSource", 0);
    sc.edit("input[3].pan", 75);
    sc.edit("input[15].pan", 20);
    sc.name("input[3].name", "Vox");
    sc.name("input[14].name", "X");

    sc.step("48V page");
    sc.page48V(5);
    sc.page48V(11);
    sc.page48V(14);

    sc.step("output strip, unlinked");
    sc.drag("output[2].level", 45);
    sc.drag("output[2].level", 41);
    sc.edit("output[2].level", 40);
    sc.edit("output[2].mute", 1);
    sc.edit("output[2].outSwitchK", 1);
    sc.edit("output[2].lineLevel", 1);
    sc.edit("output[2].outSwitchJ", 17);
    sc.refused("output[2].outSwitchJ", 250); // not in the list
    sc.name("output[2].name", "Mon");

    sc.step("input group: inputs 1, 2, 9, 13 with volume, gain, priority, phantom linked");
    inControlGroup(s, 0, {0, 1, 8, 12},
                   {cg::kLinkVolume, cg::kLinkGain, cg::kLinkPriority, cg::kLinkPhantom});
    sc.edit("input[1].level", 33);
    sc.edit("input[2].mute", 1);
    sc.edit("input[1].gainStep", 3); // input 9 keeps its own step
    sc.edit("input[1].gainStep", 1);
    sc.edit("input[1].priority", 1);
    sc.edit("input[1].phantom", 1);
    sc.edit("input[1].pan", 150);       // pan has no link
    sc.edit("input[1].danteSource", 3); // the source link is not copied by the strip
    sc.page48V(2);

    sc.step("input group without links: inputs 5, 6");
    inControlGroup(s, 1, {4, 5}, {});
    sc.edit("input[5].level", 20);
    sc.edit("input[5].mute", 1);

    sc.step("output group: outputs 3, 4, 5 with volume, line, fbk, delay linked");
    inControlGroup(s, 2, {20, 21, 22}, {cg::kLinkVolume, cg::kLinkLine, cg::kLinkFbk, cg::kLinkDelay});
    sc.drag("output[3].level", 60);
    sc.edit("output[3].level", 55);
    sc.edit("output[4].mute", 1);
    sc.edit("output[3].lineLevel", 1);
    sc.edit("output[5].outSwitchK", 1);
    sc.edit("output[3].outSwitchJ", 40);
    sc.name("output[3].name", "Side");

    sc.step("mute group 1: inputs 2, 7, output 1");
    for (int e : {1, 6, 18})
        toggleMuteMember(s, 0, e);
    setMuteGroup(s, k, 0, true);
    setMuteGroup(s, k, 0, false);

    sc.step("CLEAR MUTE");
    sc.edit("input[4].mute", 1);
    sc.edit("output[6].mute", 1);
    clearMute(s, k);

    sc.step("CLEAR SOLO");
    s.in(2).solo = 1;
    s.in(17).solo = 1;
    clearSolo(s, k);

    sc.step("typed entry");
    // Mended: a typed value on a linked channel now reaches its members too (inputs 2 and 9,
    // outputs 4 and 5), and a typed pan sends its L, which no carrier sent before.
    sc.typed(0, 3, 0, "-12dB"); // input 1, volume-linked
    sc.typed(4, 1, 0, "open");  // input 5, in a group without links
    sc.typed(2, 4, 0, "0.5");   // pan
    sc.typed(2, 23, 1, "1.5K"); // band 2 frequency
    sc.typed(2, 5, 0, "99");    // band 1 gain, clamped
    sc.typed(20, 3, 0, "-20");  // output 3, volume-linked
    sc.typed(18, 1, 0, "OPEN"); // output 1 mute
    sc.typed(20, 41, 0, "-10"); // output 3 limiter threshold
    sc.typed(0, 3, 0, "loud");  // not a value: nothing

    sc.step("offline: stored, nothing queued");
    s.link.linkOnline = false;
    sc.edit("input[1].level", 10);
    sc.edit("output[3].level", 10);
    sc.name("input[1].name", "Off");
    clearMute(s, k);
    sc.typed(0, 3, 0, "0");
    return sc.text();
}

TEST(WireScript, FramesMatchTheRecording) {
    const std::string now = runScript();
    if (const char* r = std::getenv("QUORVEL_REGENERATE_WIRE"); r && *r == '1') {
        std::ofstream(kRecording, std::ios::binary) << now;
        GTEST_SKIP() << "rewrote " << kRecording;
    }
    std::ifstream in(kRecording, std::ios::binary);
    ASSERT_TRUE(in) << "no recording at " << kRecording << " (run with QUORVEL_REGENERATE_WIRE=1)";
    std::ostringstream want;
    want << in.rdbuf();
    // Line by line, so a failure names the first frame that moved.
    std::istringstream a(now), b(want.str());
    std::string la, lb;
    for (int line = 1;; ++line) {
        const bool ga = static_cast<bool>(std::getline(a, la)), gb = static_cast<bool>(std::getline(b, lb));
        if (!ga && !gb) break;
        ASSERT_EQ(ga ? la : "<end>", gb ? lb : "<end>") << "line " << line;
    }
}

} // namespace
} // namespace quorvel
