#include "session/navigation_model.h"

#include <algorithm>

namespace quorvel::ui {

bool isInputDetail(DetailPage page) {
    return page == DetailPage::Dynamics || page == DetailPage::Peq || page == DetailPage::Effect ||
           page == DetailPage::Aux;
}

bool isOutputDetail(DetailPage page) {
    return page == DetailPage::Limiter || page == DetailPage::Geq;
}

StripRange stripsOf(StripView view) {
    switch (view) {
    case StripView::Ch1to8:
        return {false, 0, 8};
    case StripView::Ch9to12:
        return {false, 8, 4}; // 13..16 exist but no view shows them
    case StripView::Effect:
        return {false, 16, 2};
    case StripView::Outputs:
        return {true, 0, 4}; // 5..8 only ever appear as the detail strip
    }
    return {false, 0, 0};
}

DisplayMode NavigationModel::displayMode() const {
    if (isInputDetail(detail_)) return DisplayMode::InputDetail;
    if (isOutputDetail(detail_)) return DisplayMode::OutputDetail;
    return DisplayMode::Strips;
}

void NavigationModel::showView(StripView view, int bus, Tab tab) {
    unsigned aspects = 0;
    if (view != view_) aspects |= ViewAspect;
    if (tab != tab_) aspects |= TabAspect;
    if (detail_ != DetailPage::None) aspects |= DetailAspect;
    view_ = view;
    tab_ = tab;
    detail_ = DetailPage::None;
    if (bus == kMainBus || (bus >= 3 && bus <= 8)) {
        if (bus != bus_) aspects |= BusAspect;
        bus_ = bus;
    }
    notify(aspects);
}

void NavigationModel::setTab(Tab tab) {
    showView(view_, bus_, tab);
}

bool NavigationModel::selectView(StripView view) {
    if (viewedGroup_ != 0) return false;
    showView(view, bus_, Tab::Channel);
    return true;
}

bool NavigationModel::selectBus(int bus) {
    if (bus != kMainBus && (bus < 3 || bus > 8)) return false;
    if (bus == bus_) return true;
    bus_ = bus;
    notify(BusAspect);
    return true;
}

bool NavigationModel::openDetail(DetailPage page, int channel) {
    const int limit = isInputDetail(page) ? kInputChannels : (isOutputDetail(page) ? kOutputs : 0);
    if (channel < 0 || channel >= limit) return false;
    detail_ = page;
    detailChannel_ = channel;
    // Always announced: reopening the same page must still bring it to the front.
    notify(DetailAspect);
    return true;
}

void NavigationModel::viewGroup(int group) {
    if (group < 1 || group > kControlGroups) group = 0;
    unsigned aspects = GroupViewAspect;
    if (tab_ != Tab::Channel) aspects |= TabAspect;
    if (detail_ != DetailPage::None) aspects |= DetailAspect;
    viewedGroup_ = group;
    tab_ = Tab::Channel;
    detail_ = DetailPage::None;
    notify(aspects);
}

int NavigationModel::addListener(Listener listener) {
    listeners_.emplace_back(nextId_, std::move(listener));
    return nextId_++;
}

void NavigationModel::removeListener(int id) {
    std::erase_if(listeners_, [id](const auto& l) { return l.first == id; });
}

void NavigationModel::notify(unsigned aspects) {
    if (aspects == 0) return;
    // A copy: a listener may add or remove listeners while being told.
    const auto listeners = listeners_;
    for (const auto& l : listeners)
        l.second(aspects);
}

} // namespace quorvel::ui
