// The vertical strip of one input record: gain step, COMP, PRIORITY, 48V, the automixer state
// words, fader, meter, MUTE and the name button, with the equaliser thumbnail on top. Each
// control is bound to its field once; re-pointing the strip at another channel re-points the
// bindings.
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
class ResponseView;
class SkinLabel;
} // namespace quorvel

namespace quorvel::ui {

class FieldBinding;
class ToggleBinding;

class InputStrip : public Page {
    Q_OBJECT
public:
    static constexpr QSize kMinimumSize{100, 100};
    static constexpr int kDetailDynamics = 1;
    static constexpr int kDetailPeq = 2;
    static constexpr int kDetailEffect = 3;
    static constexpr int kDetailAux = 4;

    // index: input record 0..17.
    InputStrip(const PageContext& ctx, int index, QWidget* parent);

    void bindTo(int index);
    int index() const { return index_; }
    int channel() const { return index_ + 1; }

    void refresh() override;
    void refreshMeters() override;
    void setLanguage(int languageFlag) override;

    FaderCtrl* fader() const { return fader_; }
    LevelMeter* meter() const { return meter_; }
    ImageButton* muteButton() const { return mute_; }
    ResponseView* thumbnail() const { return eq_; }

signals:
    // type: kDetailDynamics, kDetailPeq, kDetailEffect or kDetailAux.
    void detailRequested(int channel, int type);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct Bound {
        FieldBinding* binding;
        const char* field; // path below input[c]
    };
    std::vector<FieldId> thumbnailFields() const;
    void bindControls();
    void refreshName();
    void refreshStateWords();
    void refreshThumbnail();
    void refreshVisibility();
    bool effectReturn() const;
    void fillGainList();
    void layoutControls();
    void onName();
    const InputChannel& record() const;

    EditController& edits_;
    int index_;
    int language_ = 1;
    int shownMeter_ = -1;
    int shownWords_ = -1; // open, kept and language as last drawn
    std::vector<Bound> bound_;
    FieldBinding* nameWatch_ = nullptr;
    ToggleBinding* priorityBinding_ = nullptr; // display only on the effect returns
    FieldBinding* stateWatch_ = nullptr;
    FieldBinding* thumbWatch_ = nullptr;

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
