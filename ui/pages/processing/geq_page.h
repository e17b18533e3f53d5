// The 31-band graphic equaliser of one output: points dragged or swept (DRAW) on the graph, the
// on switch, RESET and presets. The switch is bound to its field; drags, sweeps, resets and
// recalls run the core's operations and announce what they wrote.
#pragma once

#include <QTimer>

#include <vector>

#include "link/change_set.h"
#include "link/clock.h"
#include "pages/page.h"
#include "pages/page_context.h"
#include "processing/drag_pacer.h"

namespace quorvel {
class ImageButton;
class LevelMeter;
class PresetList;
class ResponseView;
class SkinLabel;
} // namespace quorvel

namespace quorvel::ui {

class FieldBinding;

class GeqPage : public Page {
    Q_OBJECT
public:
    GeqPage(const PageContext& ctx, QWidget* parent);

    // The 0-based output the page shows.
    void bindTo(int index);
    int output() const { return index_ + 1; }
    void refresh() override;
    void refreshMeters() override;
    void setLanguage(int languageFlag) override;
    void setClock(const LinkClock* clock) { clock_ = clock; }
    void flushDrag();

    ResponseView* view() const { return view_; }

signals:
    void readoutRequested(int readoutChannel, int kind);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<FieldId> bandFields() const;
    void refreshCurve();
    void layoutControls();
    void onPointMoved(int band, double db, bool finished);
    void onPointReset(int band);
    void onSwept();
    void onSweepEnded();
    void startTimer();

    EditController& edits_;
    const LinkClock* clock_;
    int index_ = 0;
    int shownMeter_ = -1;
    DragPacer pacer_;
    QTimer dragTimer_;
    FieldBinding* onBinding_ = nullptr;
    FieldBinding* watch_ = nullptr;

    SkinLabel* title_;
    ImageButton* onButton_;
    ImageButton* drawButton_;
    ImageButton* resetButton_;
    PresetList* presets_;
    ResponseView* view_;
    LevelMeter* meter_;
};

} // namespace quorvel::ui
