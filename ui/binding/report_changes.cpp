#include "binding/report_changes.h"

#include "binding/field_ids.h"

namespace quorvel::ui {
namespace {

constexpr int kStateWordChannels = 8;

ChangeSet buildLevels() {
    ChangeSet c;
    for (int o = 1; o <= kOutputRecords; ++o)
        for (const char* f : {"level", "mute", "lineLevel"})
            c.add(outputField(o, f));
    for (int ch = 1; ch <= kAnalogInputs; ++ch)
        c.add(inputField(ch, "level"));
    return c;
}

ChangeSet buildStatus() {
    ChangeSet c;
    for (int ch = 1; ch <= kStateWordChannels; ++ch) {
        c.add(inputField(ch, "channelOpen"));
        c.add(inputField(ch, "lastOpen"));
    }
    return c;
}

} // namespace

ChangeSet reportChanges(const DispatchResult& r) {
    switch (r.kind) {
    case ReportKind::FullState:
    case ReportKind::Names:
        return ChangeSet::everything();
    case ReportKind::Levels: {
        if (!r.moveFaders) return {};
        static const ChangeSet levels = buildLevels();
        return levels;
    }
    case ReportKind::Status: {
        static const ChangeSet status = buildStatus();
        return status;
    }
    default:
        return {};
    }
}

} // namespace quorvel::ui
