// Where the user is: the tab, the strip view, the detail page and its channel, the mix bus the
// faders show and the control group whose members are on view. The shell lays out pages from it
// and the side panel reads and writes the same instance, so neither keeps a copy of the other's
// choice. Plain C++: the rules are checked without a window.
#pragma once

#include <functional>
#include <vector>

namespace quorvel::ui {

enum class Tab { Channel = 0, System = 1, Matrix = 2, Mode = 3, Group = 4, Phantom = 5 };

// The CHANNEL tab's strip views.
enum class StripView { Ch1to8 = 1, Ch9to12 = 2, Effect = 3, Outputs = 4 };

// What the page area shows; the receive side reads it to decide what to repaint.
enum class DisplayMode { Strips = 1, InputDetail = 2, OutputDetail = 3 };

// The processing page opened beside a detail strip. The first four belong to an input channel,
// the last two to an output.
enum class DetailPage { None = 0, Dynamics, Peq, Effect, Aux, Limiter, Geq };

bool isInputDetail(DetailPage page);
bool isOutputDetail(DetailPage page);

// The strips a view shows: input (or output) records first .. first + count - 1, 0-based.
struct StripRange {
    bool outputs;
    int first;
    int count;
};
StripRange stripsOf(StripView view);

class NavigationModel {
public:
    // What a change touched, so a listener can skip what it does not show.
    enum Aspect : unsigned {
        TabAspect = 1u << 0,
        ViewAspect = 1u << 1,
        BusAspect = 1u << 2,
        DetailAspect = 1u << 3,
        GroupViewAspect = 1u << 4,
    };
    using Listener = std::function<void(unsigned aspects)>;

    static constexpr int kMainBus = 1; // LR; 3..8 are AUX1..AUX6, 2 is not a mix the faders show
    static constexpr int kControlGroups = 4;
    static constexpr int kInputChannels = 18;
    static constexpr int kOutputs = 8;

    Tab tab() const { return tab_; }
    StripView view() const { return view_; }
    int bus() const { return bus_; }
    DetailPage detail() const { return detail_; }
    // 0-based input channel or output of the open detail page; meaningless without one.
    int detailChannel() const { return detailChannel_; }
    // 1..4 while a control group's members are shown, else 0.
    int viewedGroup() const { return viewedGroup_; }
    DisplayMode displayMode() const;

    // Every setter notifies only when something changed, with the aspects it touched.
    void showView(StripView view, int bus, Tab tab);
    void setTab(Tab tab);
    // The view buttons: ignored (returns false) while a group's members are shown.
    bool selectView(StripView view);
    // 1 or 3..8; anything else is refused.
    bool selectBus(int bus);
    // Refused for a page of the other side or a channel out of range.
    bool openDetail(DetailPage page, int channel);
    // 1..4 shows that group's members, 0 (or anything out of range) leaves the group view.
    void viewGroup(int group);

    int addListener(Listener listener);
    void removeListener(int id);

private:
    void notify(unsigned aspects);

    Tab tab_ = Tab::Channel;
    StripView view_ = StripView::Ch1to8;
    int bus_ = kMainBus;
    DetailPage detail_ = DetailPage::None;
    int detailChannel_ = 0;
    int viewedGroup_ = 0;
    int nextId_ = 1;
    std::vector<std::pair<int, Listener>> listeners_;
};

} // namespace quorvel::ui
