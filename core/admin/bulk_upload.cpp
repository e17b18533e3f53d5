#include "admin/bulk_upload.h"

namespace quorvel {
namespace {

std::vector<UploadStep> makePlan() {
    using std::chrono::milliseconds;
    std::vector<UploadStep> p;
    auto add = [&p](char letter, int first, int second = 0, milliseconds pause = milliseconds{20}) {
        p.push_back(UploadStep{letter, first, second, pause});
    };
    // The device stops its reports while it takes the model, and resumes with the last frame.
    add('Q', 0);
    for (int u = 1; u <= kUnits; ++u)
        add('X', u, 0, kUploadUnitPause + kCommandPause);
    for (int n = 1; n <= 16; ++n) {
        add('V', n, 0, kUploadNamePause);
        add('A', n);
    }
    for (int c = 1; c <= kAnalogInputs; ++c) {
        add('B', c);
        if (c > 8) continue;
        for (char l : {'C', 'E', 'F', 'L', 'O'})
            add(l, c);
    }
    for (int k = 1; k <= 4; ++k)
        for (char l : {'D', 'H', 'I', 'J', 'K'})
            add(l, k);
    for (int c = 1; c <= kAnalogInputs; ++c) {
        for (int band = 1; band <= kPeqBands; ++band)
            add('G', c, band);
        // I exists for the outputs only: numbers 9..12 would name records that are not there.
        if (c <= kOutputRecords) add('I', c);
    }
    add('M', 0);
    // Send levels and effect settings travel only in a, y and v: without them a recalled scene
    // would leave the device's sends and effects as they were.
    for (int source = 1; source <= kInputRecords; ++source)
        add('a', source);
    add('y', 0);
    add('v', 0);
    add('Q', 1);
    return p;
}

std::string buildText(const DeviceState& s, const UploadStep& step) {
    switch (step.letter) {
    case 'A':
        return buildA(s, step.first);
    case 'B':
        return buildB(s, step.first);
    case 'C':
        return buildC(s, step.first);
    case 'D':
        return buildD(s, step.first);
    case 'E':
        return buildE(s, step.first);
    case 'F':
        return buildF(s, step.first);
    case 'G':
        return buildG(s, step.first, step.second);
    case 'H':
        return buildH(s, step.first);
    case 'I':
        return buildI(s, step.first);
    case 'J':
        return buildJ(s, step.first);
    case 'K':
        return buildK(s, step.first);
    case 'L':
        return buildL(s, step.first);
    case 'M':
        return buildM(s);
    case 'N':
        return buildN(s);
    case 'O':
        return buildO(s, step.first);
    case 'Q':
        return buildQ(step.first);
    case 'V':
        return buildV(s, step.first);
    case 'X':
        return buildX(s, step.first);
    case 'a':
        return buildSends(s, step.first);
    case 'y':
        return buildDelay(s);
    case 'v':
        return buildReverb(s);
    default:
        return {};
    }
}

} // namespace

const std::vector<UploadStep>& uploadPlan() {
    static const std::vector<UploadStep> plan = makePlan();
    return plan;
}

std::vector<OutgoingFrame> buildUploadStep(const DeviceState& s, const UploadStep& step) {
    std::string text = buildText(s, step);
    std::vector<OutgoingFrame> out;
    if (text.empty()) return out;
    if (step.letter != 'V') {
        out.push_back(OutgoingFrame{std::move(text), step.pause, false});
        return out;
    }
    for (std::string& piece : splitPieces(text))
        out.push_back(OutgoingFrame{std::move(piece), kCommandPause, false});
    out.back().pauseAfter += step.pause;
    return out;
}

bool BulkUpload::pump(EditSink& sink, bool lineIdle) {
    if (finished_) return false;
    if (!state_.link.linkOnline) {
        interrupted_ = sent_ < kUploadFrames;
        finished_ = true;
        return false;
    }
    if (!lineIdle) return true;
    const auto& plan = uploadPlan();
    if (cancelled_) {
        interrupted_ = true;
        finished_ = true;
        sink.queue(OutgoingFrame{buildQ(1), plan.back().pause, false});
        return false;
    }
    for (OutgoingFrame& f : buildUploadStep(state_, plan[static_cast<std::size_t>(sent_)]))
        sink.queue(std::move(f));
    ++sent_;
    finished_ = sent_ == kUploadFrames;
    return !finished_;
}

} // namespace quorvel
