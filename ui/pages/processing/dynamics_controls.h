// What the dynamics page and the limiter page share: a knob row (caption, knob, value text) bound
// to its field, the transfer-curve view and the three-bar meter.
#pragma once

#include <QString>

#include <string>
#include <vector>

#include "binding/field_ids.h"
#include "curves/transfer_curve.h"
#include "processing/dynamics_ops.h"

class QWidget;

namespace quorvel {
class FaderCtrl;
class LevelMeter;
class ResponseView;
class SkinLabel;
} // namespace quorvel

namespace quorvel::ui {

class EditController;
class FaderBinding;
class WatchBinding;

struct KnobDefinition {
    int knobId;
    int labelId;
    const char* field; // the record's field name; nullptr for a knob that edits nothing
    int minimum, maximum;
    const char* en;
    const char* zh;
    DynamicsUnit unit;
    const char* objectName;
};

// A knob stores the moves of its drag and sends on release, as every dynamics knob does.
class KnobRow {
public:
    KnobRow(QWidget* page, EditController& edits, const KnobDefinition& definition, FieldId field);

    void bindTo(FieldId field);
    void place(int x, int y, int captionWidth, int knobWidth, int valueWidth);
    void setLanguage(int lang);
    void setVisible(bool on);
    FaderCtrl* knob() const { return knob_; }
    SkinLabel* value() const { return value_; }
    const KnobDefinition& definition() const { return definition_; }

private:
    void refreshValue();

    const KnobDefinition& definition_;
    EditController& edits_;
    FieldId field_;
    FaderCtrl* knob_;
    SkinLabel* caption_;
    SkinLabel* value_;
    FaderBinding* binding_ = nullptr;
    WatchBinding* watch_ = nullptr;
};

// The transfer view of a dynamics block: mode, axes -60..0 dB, no frequency labels.
ResponseView* makeTransferView(QWidget* page, int id, const char* objectName, int mode);

// Room for the captions of IN and OUT side by side in either language; narrower, they meet.
inline constexpr int kDynamicsMeterWidth = 200;

// The meter of IN, GR and OUT: bars 1 input, 2 output, 4 gain reduction, on a 0..60 scale.
LevelMeter* makeDynamicsMeter(QWidget* page, int id, const char* objectName);
void setDynamicsMeterLanguage(LevelMeter* meter, int lang);
// Offline, or for a record without a meter, the bars stay empty.
void showDynamicsMeter(LevelMeter* meter, const DynamicsMeter* values);

// The compressor-style picture and the operating point (nothing when `meterDb` is empty).
void showCompressorCurve(ResponseView* view, std::int32_t thresholdRaw, std::int32_t ratioRaw,
                         std::int32_t gainRaw, const double* inputDb);

} // namespace quorvel::ui
