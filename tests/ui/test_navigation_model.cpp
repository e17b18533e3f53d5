// The navigation rules without a window: what each move changes, what it refuses, and what the
// listeners are told.
#include <gtest/gtest.h>

#include <vector>

#include "session/navigation_model.h"

using namespace quorvel::ui;

namespace {

struct Recorder {
    NavigationModel nav;
    std::vector<unsigned> told;
    Recorder() {
        nav.addListener([this](unsigned a) { told.push_back(a); });
    }
};

} // namespace

TEST(NavigationModel, StartsOnTheFirstEightInputsOfTheMainBus) {
    NavigationModel nav;
    EXPECT_EQ(nav.tab(), Tab::Channel);
    EXPECT_EQ(nav.view(), StripView::Ch1to8);
    EXPECT_EQ(nav.bus(), 1);
    EXPECT_EQ(nav.detail(), DetailPage::None);
    EXPECT_EQ(nav.displayMode(), DisplayMode::Strips);
    EXPECT_EQ(nav.viewedGroup(), 0);
}

TEST(NavigationModel, ViewsShowTheirStripRanges) {
    const StripRange ch9 = stripsOf(StripView::Ch9to12);
    EXPECT_FALSE(ch9.outputs);
    EXPECT_EQ(ch9.first, 8);
    EXPECT_EQ(ch9.count, 4);
    const StripRange fx = stripsOf(StripView::Effect);
    EXPECT_EQ(fx.first, 16);
    EXPECT_EQ(fx.count, 2);
    const StripRange outs = stripsOf(StripView::Outputs);
    EXPECT_TRUE(outs.outputs);
    EXPECT_EQ(outs.count, 4);
}

TEST(NavigationModel, DetailPagesSetTheDisplayModeAndCloseWithATabOrView) {
    Recorder r;
    EXPECT_TRUE(r.nav.openDetail(DetailPage::Peq, 17));
    EXPECT_EQ(r.nav.displayMode(), DisplayMode::InputDetail);
    EXPECT_EQ(r.nav.detailChannel(), 17);
    EXPECT_TRUE(r.nav.openDetail(DetailPage::Geq, 7));
    EXPECT_EQ(r.nav.displayMode(), DisplayMode::OutputDetail);
    // A page of the wrong side or a channel out of range changes nothing.
    EXPECT_FALSE(r.nav.openDetail(DetailPage::Limiter, 8));
    EXPECT_FALSE(r.nav.openDetail(DetailPage::Dynamics, 18));
    EXPECT_FALSE(r.nav.openDetail(DetailPage::None, 0));
    EXPECT_FALSE(r.nav.openDetail(DetailPage::Aux, -1));
    EXPECT_EQ(r.nav.detail(), DetailPage::Geq);
    EXPECT_EQ(r.told.size(), 2u);

    r.nav.setTab(Tab::Channel); // the CHANNEL tab goes back to the strips
    EXPECT_EQ(r.nav.displayMode(), DisplayMode::Strips);
    EXPECT_EQ(r.told.back(), unsigned(NavigationModel::DetailAspect));
    r.nav.openDetail(DetailPage::Dynamics, 0);
    EXPECT_TRUE(r.nav.selectView(StripView::Outputs));
    EXPECT_EQ(r.nav.detail(), DetailPage::None);
    EXPECT_EQ(r.nav.view(), StripView::Outputs);
}

TEST(NavigationModel, GroupViewHoldsTheViewButtonsUntilLeft) {
    Recorder r;
    r.nav.setTab(Tab::System);
    r.nav.viewGroup(2);
    EXPECT_EQ(r.nav.viewedGroup(), 2);
    EXPECT_EQ(r.nav.tab(), Tab::Channel);
    EXPECT_FALSE(r.nav.selectView(StripView::Ch9to12));
    EXPECT_EQ(r.nav.view(), StripView::Ch1to8);
    // The bus still changes: the group view shows that bus's output strip.
    EXPECT_TRUE(r.nav.selectBus(5));
    EXPECT_EQ(r.nav.viewedGroup(), 2);
    r.nav.viewGroup(9); // out of range leaves the group view
    EXPECT_EQ(r.nav.viewedGroup(), 0);
    EXPECT_TRUE(r.nav.selectView(StripView::Ch9to12));
}

TEST(NavigationModel, BusesAreLrAndTheSixAuxes) {
    Recorder r;
    for (int bad : {0, 2, 9, -1})
        EXPECT_FALSE(r.nav.selectBus(bad)) << bad;
    EXPECT_TRUE(r.told.empty());
    EXPECT_TRUE(r.nav.selectBus(8));
    EXPECT_TRUE(r.nav.selectBus(8)); // again: accepted, nobody told
    ASSERT_EQ(r.told.size(), 1u);
    EXPECT_EQ(r.told[0], unsigned(NavigationModel::BusAspect));
    r.nav.showView(StripView::Ch1to8, 2, Tab::Channel); // a bad bus in a layout call keeps the old one
    EXPECT_EQ(r.nav.bus(), 8);
}

TEST(NavigationModel, ListenersHearOnlyRealChangesAndCanLeave) {
    NavigationModel nav;
    int a = 0, b = 0;
    const int idA = nav.addListener([&](unsigned) { ++a; });
    nav.addListener([&](unsigned aspects) {
        ++b;
        EXPECT_EQ(aspects, unsigned(NavigationModel::TabAspect));
    });
    nav.setTab(Tab::Matrix);
    nav.setTab(Tab::Matrix);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 1);
    nav.removeListener(idA);
    nav.setTab(Tab::Mode);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
}
