// The vertical strip of one input record: gain step, COMP, PRIORITY, 48V, the automixer state
// words, fader, meter, MUTE and the name button, with the equaliser thumbnail on top. Every
// action is one call of the strip edit operations; the strip then redraws from DeviceState.
#pragma once

#include <QTimer>

#include <chrono>

#include "pages/page.h"

namespace quorvel {
class DropList;
class EditSink;
class FaderCtrl;
class ImageButton;
class LevelMeter;
class ResponseView;
class SkinLabel;
} // namespace quorvel

namespace quorvel::ui {

class InputStrip : public Page {
    Q_OBJECT
public:
    static constexpr QSize kMinimumSize{100, 100};

    // index: input record 0..17.
    InputStrip(DeviceState& state, EditSink& sink, int index, QWidget* parent);

    void bindTo(int index);
    int index() const { return index_; }
    int channel() const { return index_ + 1; }

    void refresh() override;
    void refreshMeters() override;
    void setLanguage(int languageFlag) override;
    // Levels report: the fader follows the device unless the user holds it.
    void refreshFader();
    // Marks the selectors for reselection on the next timer tick (after a group copy).
    void requestSelectorRefresh() { selectorRefresh_ = true; }

    FaderCtrl* fader() const { return fader_; }
    LevelMeter* meter() const { return meter_; }
    ImageButton* muteButton() const { return mute_; }
    ResponseView* thumbnail() const { return eq_; }

signals:
    // readoutChannel 0..17, kind as the main window's readout numbers it.
    void readoutRequested(int readoutChannel, int kind);
    // type 1 dynamics, 2 PEQ.
    void detailRequested(int channel, int type);
    // A group copy changed other records: the strips that show them redraw.
    void membersChanged();
    // Level or mute changed: the view buttons' thumbnails follow.
    void thumbnailChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void onFader(int position);
    void flushLevel();
    void onMute();
    void onPriority();
    void onPhantom();
    void onGain(int index);
    void onSource(int index);
    void onDetail(int type);
    void onName();
    void afterEdit(bool membersTouched);
    void refreshStateWords();
    void refreshThumbnail();
    void fillGainList();
    void layoutControls();
    InputChannel& record();

    EditSink& sink_;
    int index_;
    int language_ = 1;
    bool selectorRefresh_ = false;
    int shownMeter_ = -1;
    QTimer selectorTimer_;
    // A linked fader's member copies keep the wire busy for a while; moves within that time are
    // stored and the latest goes out when the wire is free again.
    QTimer levelFlush_;
    bool levelPending_ = false;
    std::chrono::steady_clock::time_point wireFreeAt_{};

    SkinLabel* sourceLabel_;  // 1153
    DropList* source_;        // 1008
    ResponseView* eq_;        // 1011
    FaderCtrl* pan_;          // 1013
    DropList* gain_;          // 1007
    ImageButton* comp_;       // 1000
    ImageButton* priority_;   // 1002
    ImageButton* phantom_;    // 1005
    ImageButton* stateWord_;  // 1004
    ImageButton* lastKeep_;   // 1248
    SkinLabel* nameLabel_;    // 1014
    FaderCtrl* fader_;        // 1012
    LevelMeter* meter_;       // 1006
    ImageButton* mute_;       // 1001
    ImageButton* nameButton_; // 1003
};

} // namespace quorvel::ui
