// Every page of the window in one table: what it is, how it is built, where it stands and what
// shows it. The host builds them once, lays out the ones the navigation shows and hides the
// rest; a new page is one row in page_host.cpp.
#pragma once

#include <QString>

#include <span>
#include <vector>

#include "link/change_set.h"
#include "pages/page_context.h"
#include "session/navigation_model.h"

class QWidget;

namespace quorvel::ui {

class Page;

// Where a page stands in the page area (W strip width, H page height, T page top).
enum class Placement {
    InputStrip,        // slot k of the shown range, (k (W + 2), T), W x H
    OutputStrip,       // same; in the group view at (8W + 16, T)
    DetailInputStrip,  // (0, T), W x H, beside an input's processing page
    DetailOutputStrip, // (8W + 16, T), W x H, beside an output's processing page
    TabPage,           // (0, T), (9W + 18) x H, for its tab
    InputDetailPage,   // (W + 2, T), 7W x H
    OutputDetailPage,  // (0, T), 8W x H
    SidePanel,         // (9W + 18, T), W x H, beside the strips and the group view
};

// How a page follows the change notification while it is shown.
enum class Follow {
    Bindings,   // its bound controls follow by themselves
    Everything, // rebuilt only when the state changed as a whole (a report, a recall)
};

// What an older page asks of the shell through its own signals. Bound pages use the context.
class ShellPort {
public:
    virtual void showReadout(int readoutChannel, int kind) = 0;
    virtual void scrollHome() = 0;

protected:
    ~ShellPort() = default;
};

struct PageRow {
    int resource;           // the page's resource number; strips share theirs
    const char* objectName; // "%1" is replaced by the instance number 1..count
    int count = 1;
    Placement placement = Placement::TabPage;
    Tab tab = Tab::Channel;               // TabPage only
    DetailPage detail = DetailPage::None; // detail pages only
    Follow follow = Follow::Everything;
    Page* (*make)(const PageContext& ctx, int index, QWidget* parent) = nullptr;
    // Optional: the page's own signals to the shell and the navigation.
    void (*wire)(Page* page, const PageContext& ctx, ShellPort& shell) = nullptr;
    // Optional, detail strips: show another channel.
    void (*bind)(Page* page, int channel) = nullptr;
};

std::span<const PageRow> pageTable();

struct PageMetrics {
    int stripWidth;
    int pageHeight;
    int pageTop;
};

class PageHost {
public:
    PageHost(const PageContext& ctx, ShellPort& shell, QWidget* canvas,
             std::span<const PageRow> rows = pageTable());

    // The pages in table order, instances of one row together.
    const std::vector<Page*>& pages() const { return pages_; }
    // The first page of a resource number (149..179); strips share 129 and 130.
    Page* page(int resource) const;
    Page* find(const QString& objectName) const;
    Page* inputStrip(int index) const;
    Page* outputStrip(int index) const;
    Page* detailInputStrip() const { return first(Placement::DetailInputStrip); }
    Page* detailOutputStrip() const { return first(Placement::DetailOutputStrip); }
    Page* sidePanel() const { return first(Placement::SidePanel); }
    Page* tabPage(Tab tab) const;
    Page* detailPage(DetailPage detail) const;

    // Shows what the navigation asks for and hides everything else. The pages shown are rebuilt
    // from the state first.
    void layout(const NavigationModel& nav, const PageMetrics& m);
    // The change notification for the pages that do not follow through bindings.
    void follow(const ChangeSet& changes);
    void refreshMeters();
    void setLanguage(int languageFlag);

private:
    struct Entry {
        const PageRow* row;
        int index;
        Page* page;
    };
    Page* first(Placement placement) const;
    void place(Page* page, int x, int y, int w, int h);
    void layoutGroupMembers(const NavigationModel& nav, const PageMetrics& m);

    const PageContext& ctx_;
    std::vector<Entry> entries_;
    std::vector<Page*> pages_;
};

} // namespace quorvel::ui
