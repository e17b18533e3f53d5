#include "app/page_host.h"

#include <algorithm>

#include "binding/edit_controller.h"
#include "pages/admin/device_settings_page.h"
#include "pages/mixing/aux_page.h"
#include "pages/mixing/effect_page.h"
#include "pages/mixing/group_page.h"
#include "pages/mixing/matrix_page.h"
#include "pages/mixing/mode_page.h"
#include "pages/mixing/side_panel.h"
#include "pages/processing/dynamics_page.h"
#include "pages/processing/geq_page.h"
#include "pages/processing/input_strip.h"
#include "pages/processing/limiter_page.h"
#include "pages/processing/output_strip.h"
#include "pages/processing/peq_page.h"
#include "pages/processing/phantom_page.h"

namespace quorvel::ui {
namespace {

// The strips number their detail pages as the readout numbers its kinds.
DetailPage inputDetailOfType(int type) {
    constexpr DetailPage kByType[] = {DetailPage::None, DetailPage::Dynamics, DetailPage::Peq,
                                      DetailPage::Effect, DetailPage::Aux};
    return type >= 1 && type <= 4 ? kByType[type] : DetailPage::None;
}

DetailPage outputDetailOfType(int type) {
    return type == 1 ? DetailPage::Limiter : (type == 2 ? DetailPage::Geq : DetailPage::None);
}

// Opening a detail page shows the channel in the readout with no parameter yet.
template <class Strip>
void wireStrip(Strip* s, const PageContext& ctx, ShellPort& shell, DetailPage (*detail)(int),
               int firstReadout) {
    QObject::connect(s, &Strip::detailRequested, s,
                     [&nav = ctx.nav, &shell, detail, firstReadout](int ch, int type) {
                         nav.openDetail(detail(type), ch);
                         shell.showReadout(firstReadout + ch, 0);
                     });
}

void wireInputStrip(Page* p, const PageContext& ctx, ShellPort& shell) {
    wireStrip(static_cast<InputStrip*>(p), ctx, shell, inputDetailOfType, 0);
}

void wireOutputStrip(Page* p, const PageContext& ctx, ShellPort& shell) {
    wireStrip(static_cast<OutputStrip*>(p), ctx, shell, outputDetailOfType, kReadoutFirstOutput);
}

void wireDeviceSettings(Page* p, const PageContext&, ShellPort& shell) {
    // CONNECT sends the window back to its origin before the popup appears.
    QObject::connect(static_cast<DeviceSettingsPage*>(p), &DeviceSettingsPage::connectPressed, p,
                     [&shell] { shell.scrollHome(); });
}

Page* makeInputStrip(const PageContext& c, int k, QWidget* p) {
    return new InputStrip(c, k, p);
}
Page* makeOutputStrip(const PageContext& c, int k, QWidget* p) {
    return new OutputStrip(c, k, p);
}
Page* makeSidePanel(const PageContext& c, int, QWidget* p) {
    return new SidePanel(c.edits, c.nav, p);
}
Page* makeDeviceSettings(const PageContext& c, int, QWidget* p) {
    return new DeviceSettingsPage(c, p);
}
Page* makePhantomPage(const PageContext& c, int, QWidget* p) {
    return new PhantomPage(c, p);
}
Page* makeGroupPage(const PageContext& c, int, QWidget* p) {
    return new GroupPage(c, p);
}
Page* makeMatrixPage(const PageContext& c, int, QWidget* p) {
    return new MatrixPage(c, p);
}
Page* makeModePage(const PageContext& c, int, QWidget* p) {
    return new ModePage(c, p);
}
Page* makeEffectPage(const PageContext& c, int, QWidget* p) {
    return new EffectPage(c, p);
}
Page* makeAuxPage(const PageContext& c, int, QWidget* p) {
    return new AuxPage(c, p);
}
// The AUX page shows the detail view's channel as its source.
void bindAuxPage(Page* p, int ch) {
    static_cast<AuxPage*>(p)->bindTo(ch + 1);
}
Page* makeDynamicsPage(const PageContext& c, int, QWidget* p) {
    return new DynamicsPage(c, p);
}
Page* makeLimiterPage(const PageContext& c, int, QWidget* p) {
    return new LimiterPage(c, p);
}
void bindDynamicsPage(Page* p, int ch) {
    static_cast<DynamicsPage*>(p)->bindTo(ch);
}
void bindLimiterPage(Page* p, int output) {
    static_cast<LimiterPage*>(p)->bindTo(output);
}

Page* makePeqPage(const PageContext& c, int, QWidget* p) {
    return new PeqPage(c, p);
}
Page* makeGeqPage(const PageContext& c, int, QWidget* p) {
    return new GeqPage(c, p);
}
void bindPeqPage(Page* p, int ch) {
    static_cast<PeqPage*>(p)->bindTo(ch);
}
void bindGeqPage(Page* p, int ch) {
    static_cast<GeqPage*>(p)->bindTo(ch);
}
// A dragged handle shows its band in the readout, as a knob does.
void wirePeqPage(Page* p, const PageContext&, ShellPort& shell) {
    QObject::connect(static_cast<PeqPage*>(p), &PeqPage::readoutRequested, p,
                     [&shell](int ch, int kind) { shell.showReadout(ch, kind); });
}
void wireGeqPage(Page* p, const PageContext&, ShellPort& shell) {
    QObject::connect(static_cast<GeqPage*>(p), &GeqPage::readoutRequested, p,
                     [&shell](int ch, int kind) { shell.showReadout(ch, kind); });
}

void bindInputStrip(Page* p, int ch) {
    static_cast<InputStrip*>(p)->bindTo(ch);
}
void bindOutputStrip(Page* p, int ch) {
    static_cast<OutputStrip*>(p)->bindTo(ch);
}

// In the order the window has always created them: the strips, then 152, 153, 179, 154, 155,
// 169, 170, 149, 150, 157, 156 and 151.
// clang-format off
const PageRow kPages[] = {
    {.resource = 129, .objectName = "inputStrip%1", .count = kInputRecords,
     .placement = Placement::InputStrip, .follow = Follow::Bindings, .make = makeInputStrip,
     .wire = wireInputStrip},
    {.resource = 130, .objectName = "outputStrip%1", .count = kOutputRecords,
     .placement = Placement::OutputStrip, .follow = Follow::Bindings, .make = makeOutputStrip,
     .wire = wireOutputStrip},
    {.resource = 129, .objectName = "detailInputStrip", .placement = Placement::DetailInputStrip,
     .follow = Follow::Bindings, .make = makeInputStrip, .wire = wireInputStrip, .bind = bindInputStrip},
    {.resource = 130, .objectName = "detailOutputStrip", .placement = Placement::DetailOutputStrip,
     .follow = Follow::Bindings, .make = makeOutputStrip, .wire = wireOutputStrip, .bind = bindOutputStrip},
    {.resource = 152, .objectName = "sidePanel", .placement = Placement::SidePanel, .make = makeSidePanel},
    {.resource = 153, .objectName = "deviceSettingsPage", .tab = Tab::System, .make = makeDeviceSettings,
     .wire = wireDeviceSettings},
    {.resource = 179, .objectName = "phantomPage", .tab = Tab::Phantom, .follow = Follow::Bindings,
     .make = makePhantomPage},
    {.resource = 154, .objectName = "matrixPage", .tab = Tab::Matrix, .follow = Follow::Bindings,
     .make = makeMatrixPage},
    {.resource = 155, .objectName = "modePage", .tab = Tab::Mode, .follow = Follow::Bindings,
     .make = makeModePage},
    {.resource = 169, .objectName = "groupPage", .tab = Tab::Group,
     .follow = Follow::Bindings, .make = makeGroupPage},
    {.resource = 170, .objectName = "auxPage", .placement = Placement::InputDetailPage,
     .detail = DetailPage::Aux, .follow = Follow::Bindings, .make = makeAuxPage, .bind = bindAuxPage},
    {.resource = 149, .objectName = "dynamicsPage", .placement = Placement::InputDetailPage,
     .detail = DetailPage::Dynamics, .follow = Follow::Bindings, .make = makeDynamicsPage,
     .bind = bindDynamicsPage},
    {.resource = 150, .objectName = "peqPage", .placement = Placement::InputDetailPage,
     .detail = DetailPage::Peq, .follow = Follow::Bindings, .make = makePeqPage, .wire = wirePeqPage,
     .bind = bindPeqPage},
    {.resource = 157, .objectName = "effectPage", .placement = Placement::InputDetailPage,
     .detail = DetailPage::Effect, .follow = Follow::Bindings, .make = makeEffectPage},
    {.resource = 156, .objectName = "limiterPage", .placement = Placement::OutputDetailPage,
     .detail = DetailPage::Limiter, .follow = Follow::Bindings, .make = makeLimiterPage,
     .bind = bindLimiterPage},
    {.resource = 151, .objectName = "geqPage", .placement = Placement::OutputDetailPage,
     .detail = DetailPage::Geq, .follow = Follow::Bindings, .make = makeGeqPage, .wire = wireGeqPage,
     .bind = bindGeqPage},
};
// clang-format on

} // namespace

std::span<const PageRow> pageTable() {
    return kPages;
}

PageHost::PageHost(const PageContext& ctx, ShellPort& shell, QWidget* canvas, std::span<const PageRow> rows)
    : ctx_(ctx) {
    for (const PageRow& row : rows) {
        for (int k = 0; k < row.count; ++k) {
            Page* p = row.make(ctx, k, canvas);
            const QString name = QString::fromLatin1(row.objectName);
            p->setObjectName(name.contains(QLatin1String("%1")) ? name.arg(k + 1) : name);
            p->hide();
            if (row.wire) row.wire(p, ctx, shell);
            entries_.push_back({&row, k, p});
            pages_.push_back(p);
        }
    }
}

Page* PageHost::page(int resource) const {
    for (const Entry& e : entries_)
        if (e.row->resource == resource) return e.page;
    return nullptr;
}

Page* PageHost::find(const QString& objectName) const {
    for (Page* p : pages_)
        if (p->objectName() == objectName) return p;
    return nullptr;
}

Page* PageHost::first(Placement placement) const {
    for (const Entry& e : entries_)
        if (e.row->placement == placement) return e.page;
    return nullptr;
}

Page* PageHost::inputStrip(int index) const {
    for (const Entry& e : entries_)
        if (e.row->placement == Placement::InputStrip && e.index == index) return e.page;
    return nullptr;
}

Page* PageHost::outputStrip(int index) const {
    for (const Entry& e : entries_)
        if (e.row->placement == Placement::OutputStrip && e.index == index) return e.page;
    return nullptr;
}

Page* PageHost::tabPage(Tab tab) const {
    for (const Entry& e : entries_)
        if (e.row->placement == Placement::TabPage && e.row->tab == tab) return e.page;
    return nullptr;
}

Page* PageHost::detailPage(DetailPage detail) const {
    for (const Entry& e : entries_)
        if ((e.row->placement == Placement::InputDetailPage ||
             e.row->placement == Placement::OutputDetailPage) &&
            e.row->detail == detail)
            return e.page;
    return nullptr;
}

void PageHost::place(Page* page, int x, int y, int w, int h) {
    if (!page) return;
    page->setGeometry(x, y, w, h);
    // Bound controls followed every change while hidden; only the meters, which are not fields
    // of a notification, have to catch up.
    const auto it =
        std::find_if(entries_.begin(), entries_.end(), [page](const Entry& e) { return e.page == page; });
    if (it != entries_.end() && it->row->follow == Follow::Bindings) {
        page->refreshMeters();
        page->show();
        return;
    }
    page->refreshAndShow();
}

void PageHost::layout(const NavigationModel& nav, const PageMetrics& m) {
    const int W = m.stripWidth, H = m.pageHeight, T = m.pageTop;
    for (Page* p : pages_)
        p->hide();

    const DetailPage detail = nav.detail();
    if (detail != DetailPage::None) {
        const bool input = isInputDetail(detail);
        Page* strip = input ? detailInputStrip() : detailOutputStrip();
        Page* page = detailPage(detail);
        for (const Entry& e : entries_)
            if ((e.page == strip || e.page == page) && e.row->bind) e.row->bind(e.page, nav.detailChannel());
        if (input) {
            place(strip, 0, T, W, H);
            place(page, W + 2, T, 7 * W, H);
        } else {
            place(strip, 8 * W + 16, T, W, H);
            place(page, 0, T, 8 * W, H);
        }
        return;
    }
    if (nav.tab() != Tab::Channel) {
        place(tabPage(nav.tab()), 0, T, 9 * W + 18, H);
        return;
    }
    if (nav.viewedGroup() != 0) {
        layoutGroupMembers(nav, m);
    } else {
        const StripRange range = stripsOf(nav.view());
        for (int k = 0; k < range.count; ++k)
            place(range.outputs ? outputStrip(range.first + k) : inputStrip(range.first + k), k * (W + 2), T,
                  W, H);
    }
    // The side panel stands beside the strips: it is the only way to the buses and the 48V page.
    place(sidePanel(), 9 * W + 18, T, W, H);
}

void PageHost::layoutGroupMembers(const NavigationModel& nav, const PageMetrics& m) {
    const int W = m.stripWidth, H = m.pageHeight, T = m.pageTop;
    const ControlGroup& members = ctx_.state.controlGroups[static_cast<std::size_t>(nav.viewedGroup() - 1)];
    int x = 0;
    for (int k = 0; k < kInputRecords; ++k) {
        if (!members[static_cast<std::size_t>(k)]) continue;
        place(inputStrip(k), x, T, W, H);
        x += W + 2;
    }
    // The output strip of the bus the faders show.
    place(outputStrip(nav.bus() - 1), 8 * W + 16, T, W, H);
}

void PageHost::follow(const ChangeSet& changes) {
    if (changes.empty()) return;
    for (const Entry& e : entries_) {
        if (!e.page->isVisible()) continue; // a hidden page is rebuilt when it is shown
        if (e.row->follow == Follow::Everything && changes.all()) e.page->refresh();
    }
}

void PageHost::refreshMeters() {
    for (Page* p : pages_)
        if (p->isVisible()) p->refreshMeters();
}

void PageHost::setLanguage(int languageFlag) {
    for (Page* p : pages_)
        p->setLanguage(languageFlag);
}

} // namespace quorvel::ui
