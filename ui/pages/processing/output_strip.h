// The vertical strip of one output: delay, FBK, MIC/LINE, COMP (the limiter page), the graphic
// equaliser area, fader, the two meters, MUTE and the name button.
#pragma once

#include <QTimer>

#include "pages/page.h"

namespace quorvel {
class DropList;
class EditSink;
class FaderCtrl;
class ImageButton;
class LevelMeter;
} // namespace quorvel

namespace quorvel::ui {

class OutputStrip : public Page {
    Q_OBJECT
public:
    // index: output 0..7.
    OutputStrip(DeviceState& state, EditSink& sink, int index, QWidget* parent);

    void bindTo(int index);
    int index() const { return index_; }
    int output() const { return index_ + 1; }

    void refresh() override;
    void refreshMeters() override;
    void setLanguage(int languageFlag) override;
    void refreshFader();

    FaderCtrl* fader() const { return fader_; }
    ImageButton* muteButton() const { return mute_; }
    ImageButton* lineButton() const { return line_; }
    DropList* delayList() const { return delay_; }

signals:
    // readoutChannel 18..25 for outputs 1..8.
    void readoutRequested(int readoutChannel, int kind);
    // type 1 limiter, 2 graphic equaliser.
    void detailRequested(int output, int type);
    void membersChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void onFader(int position, bool finished);
    void onMute();
    void onFbk();
    void onLine();
    void onDelay(int index);
    void onName();
    void fillDelayList();
    void layoutControls();
    QRect eqArea() const;
    OutputChannel& record();
    int readoutChannel() const { return index_ + 18; }

    EditSink& sink_;
    int index_;
    int language_ = 1;
    int shownMeter_ = -1;

    DropList* delay_;         // 1009
    ImageButton* fbk_;        // 1003
    ImageButton* line_;       // 1005
    ImageButton* comp_;       // 1000
    FaderCtrl* fader_;        // 1012
    LevelMeter* meter_;       // 1055
    ImageButton* mute_;       // 1001
    ImageButton* nameButton_; // 1002
};

} // namespace quorvel::ui
