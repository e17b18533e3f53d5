// The vertical strip of one output: delay, FBK, MIC/LINE, COMP (the limiter page), the graphic
// equaliser area, fader, the two meters, MUTE and the name button.
#pragma once

#include <vector>

#include "link/change_set.h"
#include "pages/page.h"
#include "pages/page_context.h"

namespace quorvel {
class DropList;
class FaderCtrl;
class ImageButton;
class LevelMeter;
} // namespace quorvel

namespace quorvel::ui {

class FieldBinding;

class OutputStrip : public Page {
    Q_OBJECT
public:
    static constexpr int kDetailLimiter = 1;
    static constexpr int kDetailGeq = 2;

    // index: output 0..7.
    OutputStrip(const PageContext& ctx, int index, QWidget* parent);

    void bindTo(int index);
    int index() const { return index_; }
    int output() const { return index_ + 1; }

    void refresh() override;
    void refreshMeters() override;
    void setLanguage(int languageFlag) override;

    FaderCtrl* fader() const { return fader_; }
    ImageButton* muteButton() const { return mute_; }
    ImageButton* lineButton() const { return line_; }
    DropList* delayList() const { return delay_; }
    // 0: meter 1055, 1: meter 1056.
    LevelMeter* meter(int i) const { return i == 0 ? meter_ : meter2_; }

signals:
    // type: kDetailLimiter or kDetailGeq.
    void detailRequested(int output, int type);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    struct Bound {
        FieldBinding* binding;
        const char* field; // path below output[o]
    };
    std::vector<FieldId> geqFields() const;
    void bindControls();
    void refreshName();
    void onName();
    void fillDelayList();
    void layoutControls();
    QRect eqArea() const;
    const OutputChannel& record() const;

    EditController& edits_;
    int index_;
    int language_ = 1;
    int shownMeter_ = -1;
    std::vector<Bound> bound_;
    FieldBinding* nameWatch_ = nullptr;
    FieldBinding* geqWatch_ = nullptr;

    DropList* delay_;         // 1009
    ImageButton* fbk_;        // 1003
    ImageButton* line_;       // 1005
    ImageButton* comp_;       // 1000
    FaderCtrl* fader_;        // 1012
    LevelMeter* meter_;       // 1055
    LevelMeter* meter2_;      // 1056
    ImageButton* mute_;       // 1001
    ImageButton* nameButton_; // 1002
};

} // namespace quorvel::ui
