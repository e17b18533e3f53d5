// A fixed script of edits, every frame it queues (text, pause, pieces) compared with a recording
// kept in tests/data/wire/edit_script.txt. Whatever the edit path looks like inside, what reaches
// the wire must not change unnoticed. QUORVEL_REGENERATE_WIRE=1 rewrites the recording; review
// its diff before committing it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "app/readout.h"
#include "link/commands.h"
#include "link/field_registry.h"
#include "mixing/groups.h"
#include "processing/strip_ops.h"

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

    // The typed value entry as the main window sends it: the readout stores, the carrier follows.
    void typed(int readoutChannel, int kind, int field, const char* text) {
        const TypedValueResult r = applyTypedValue(s, readoutChannel, kind, field, text);
        if (!r.applied || !r.carrier.letter || !s.link.linkOnline) return;
        OutgoingFrame f;
        std::string error;
        const std::vector<int> sel = carrierSelectors(r.carrier);
        if (buildCommand(s, r.carrier.letter, sel, {}, f, error)) sink.queue(std::move(f));
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
    setInputLevel(s, k, 3, 50);
    setInputLevel(s, k, 3, 90); // above the fader's top
    setInputLevel(s, k, 13, 10);
    setInputMute(s, k, 3, true);
    setInputMute(s, k, 3, false);
    setInputMute(s, k, 15, true);
    setInputPriority(s, k, 3, true);
    setInputPriority(s, k, 9, true);
    setInputPhantom(s, k, 2, true);
    setInputPhantom(s, k, 10, true);
    setGainStep(s, k, 3, 2);
    setGainStep(s, k, 10, 1);
    setGainStep(s, k, 10, 3); // a line input has two steps: refused
    selectSource(s, k, 3, 1);
    selectSource(s, k, 4, 1); // already feeds channel 3: refused
    selectSource(s, k, 4, 2);
    selectSource(s, k, 3, 0);
    setInputPan(s, k, 3, 75);
    setInputPan(s, k, 15, 20);
    setInputName(s, k, 3, "Vox");
    setInputName(s, k, 14, "X");

    sc.step("48V page");
    togglePhantomFromPage(s, k, 5);
    togglePhantomFromPage(s, k, 11);
    togglePhantomFromPage(s, k, 14);

    sc.step("output strip, unlinked");
    // The fader's drag stores each move; the release sends.
    s.out(2).level = 45;
    s.out(2).level = 41;
    setOutputLevel(s, k, 2, 40);
    setOutputMute(s, k, 2, true);
    setOutputFbk(s, k, 2, true);
    setOutputLineLevel(s, k, 2, true);
    setOutputDelay(s, k, 2, 17);
    setOutputDelay(s, k, 2, 250); // not in the list: refused
    setOutputName(s, k, 2, "Mon");

    sc.step("input group: inputs 1, 2, 9, 13 with volume, gain, priority, phantom linked");
    inControlGroup(s, 0, {0, 1, 8, 12},
                   {cg::kLinkVolume, cg::kLinkGain, cg::kLinkPriority, cg::kLinkPhantom});
    setInputLevel(s, k, 1, 33);
    setInputMute(s, k, 2, true);
    setGainStep(s, k, 1, 3); // input 9 keeps its own step
    setGainStep(s, k, 1, 1);
    setInputPriority(s, k, 1, true);
    setInputPhantom(s, k, 1, true);
    setInputPan(s, k, 1, 150);      // pan has no link
    selectSource(s, k, 1, 3);       // the source link is not copied by the strip
    togglePhantomFromPage(s, k, 2); // the 48V page switches one channel only

    sc.step("input group without links: inputs 5, 6");
    inControlGroup(s, 1, {4, 5}, {});
    setInputLevel(s, k, 5, 20);
    setInputMute(s, k, 5, true);

    sc.step("output group: outputs 3, 4, 5 with volume, line, fbk, delay linked");
    inControlGroup(s, 2, {20, 21, 22}, {cg::kLinkVolume, cg::kLinkLine, cg::kLinkFbk, cg::kLinkDelay});
    s.out(3).level = 60; // drag
    setOutputLevel(s, k, 3, 55);
    setOutputMute(s, k, 4, true);
    setOutputLineLevel(s, k, 3, true);
    setOutputFbk(s, k, 5, true);
    setOutputDelay(s, k, 3, 40);
    setOutputName(s, k, 3, "Side");

    sc.step("mute group 1: inputs 2, 7, output 1");
    for (int e : {1, 6, 18})
        toggleMuteMember(s, 0, e);
    setMuteGroup(s, k, 0, true);
    setMuteGroup(s, k, 0, false);

    sc.step("CLEAR MUTE");
    setInputMute(s, k, 4, true);
    setOutputMute(s, k, 6, true);
    clearMute(s, k);

    sc.step("CLEAR SOLO");
    s.in(2).solo = 1;
    s.in(17).solo = 1;
    clearSolo(s, k);

    sc.step("typed entry");
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
    setInputLevel(s, k, 1, 10);
    setOutputLevel(s, k, 3, 10);
    setInputName(s, k, 1, "Off");
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
