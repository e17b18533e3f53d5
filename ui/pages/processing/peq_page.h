// The parametric equaliser of one input channel: four bands, the high- and low-pass filters of
// channels 1..8, BYPASS, RESET, presets, and the response with its handles. Knobs, buttons and
// slope lists are bound to their fields; the curve's drags, RESET, BYPASS and recall run the
// core's operations and announce what they wrote.
#pragma once

#include <QTimer>

#include <array>
#include <vector>

#include "link/clock.h"
#include "pages/page.h"
#include "pages/page_context.h"
#include "processing/drag_pacer.h"
#include "processing/peq_ops.h"

namespace quorvel {
class DropList;
class FaderCtrl;
class ImageButton;
class LevelMeter;
class PresetList;
class ResponseView;
class SkinLabel;
} // namespace quorvel

namespace quorvel::ui {

class FieldBinding;

class PeqPage : public Page {
    Q_OBJECT
public:
    PeqPage(const PageContext& ctx, QWidget* parent);

    // The 0-based input channel the page shows.
    void bindTo(int index);
    int channel() const { return index_ + 1; }
    void refresh() override;
    void refreshMeters() override;
    void setLanguage(int languageFlag) override;
    // Drags are paced on this clock (tests step it by hand).
    void setClock(const LinkClock* clock) { clock_ = clock; }
    // The drag pacing's timer tick, also for tests.
    void flushDrag();

    ResponseView* view() const { return view_; }
    const PeqBypass& bypass() const { return bypass_; }

signals:
    void readoutRequested(int readoutChannel, int kind);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct Bound {
        FieldBinding* binding;
        std::string field;
    };
    void bindControls();
    void rebind();
    std::vector<FieldId> blockFields() const;
    void refreshCurve();
    void refreshValues();
    void refreshVisibility();
    void layoutControls();
    void onHandleMoved(int handle, double hz, double db, bool finished);
    void onHandleReset(int handle);
    void onBypass();
    void onReset();
    void onRecalled();
    FaderCtrl* makeKnob(int id, const char* name, int maximum);
    SkinLabel* makeLabel(int id, const char* name, qreal size = 9);

    EditController& edits_;
    const LinkClock* clock_;
    int index_ = 0;
    int language_ = 1;
    int shownMeter_ = -1;
    PeqBypass bypass_;
    DragPacer pacer_;
    QTimer dragTimer_;
    std::vector<Bound> bound_;
    FieldBinding* watch_ = nullptr;

    SkinLabel* title_;
    ImageButton* bypassButton_;
    ImageButton* resetButton_;
    ImageButton* polar_;
    PresetList* presets_;
    ResponseView* view_;
    LevelMeter* meter_;
    struct BandControls {
        SkinLabel* caption;
        FaderCtrl* gain;
        FaderCtrl* freq;
        FaderCtrl* q;
        SkinLabel* gainValue;
        SkinLabel* freqValue;
        SkinLabel* qValue;
        ImageButton* type = nullptr;
    };
    std::array<BandControls, kPeqSlots> bands_{};
    std::array<SkinLabel*, 3> rowLabels_{}; // GAIN, FREQUENCY, Q
    struct FilterControls {
        ImageButton* button;
        FaderCtrl* freq;
        SkinLabel* freqValue;
        DropList* slope;
    };
    FilterControls hpf_{}, lpf_{};
};

} // namespace quorvel::ui
