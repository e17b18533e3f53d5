// Undo of a step that a control group copied to 16 inputs (a PEQ band gain with the EQ link on):
// the time from the undo call to the first frame queued, and to the last, through the edit
// controller and the Edit menu's history as the application runs them (offscreen, offline of any
// socket: the frames stop in a timestamping sink).
#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/undo_actions.h"
#include "binding/edit_controller.h"
#include "binding/field_ids.h"

using namespace quorvel;
using namespace quorvel::ui;
using Steady = std::chrono::steady_clock;

namespace {

class StampSink : public EditSink {
public:
    void queue(OutgoingFrame) override {
        if (frames++ == 0) first = Steady::now();
        last = Steady::now();
    }
    int frames = 0;
    Steady::time_point first, last;
};

void report(const char* what, std::vector<double> us) {
    std::sort(us.begin(), us.end());
    const double median = us[us.size() / 2];
    const double p99 = us[std::min(us.size() - 1, us.size() * 99 / 100)];
    std::printf("%-34s median %8.2f us   p99 %8.2f us   (n=%zu)\n", what, median, p99, us.size());
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    DeviceState state;
    loadFactoryDefaults(state);
    state.link.linkOnline = true; // frames stop in the sink; nothing is sent anywhere
    for (int c = 1; c <= 16; ++c)
        state.controlGroups[0][static_cast<std::size_t>(c - 1)] = 1;
    state.controlGroups[0][cg::kMemberCount] = 16;
    state.controlGroups[0][cg::kLinkEq] = 1;
    StampSink sink;
    EditController edits(state, sink);
    UndoActions undo(edits, nullptr, nullptr);
    const FieldId gain = inputField(1, "peq[2].bandGain");

    const int runs = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
    std::vector<double> toFirst, toLast, whole;
    int frames = 0;
    for (int i = 0; i < runs; ++i) {
        edits.edit(gain, i % 2 ? 120 : 180);
        sink.frames = 0;
        const Steady::time_point t0 = Steady::now();
        undo.undo();
        whole.push_back(std::chrono::duration<double, std::micro>(Steady::now() - t0).count());
        toFirst.push_back(std::chrono::duration<double, std::micro>(sink.first - t0).count());
        toLast.push_back(std::chrono::duration<double, std::micro>(sink.last - t0).count());
        frames = sink.frames;
        app.processEvents();
    }
    std::printf("undo of a 16-member group step, %d frames queued per undo\n", frames);
    report("undo call to first frame queued", toFirst);
    report("undo call to last frame queued", toLast);
    report("undo call, whole (views, menu text)", whole);
    return 0;
}
