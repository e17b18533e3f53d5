// The page host and the shell around it, offscreen and offline: every page of the table is
// reached through its navigation and found by its objectName, the side panel and the header share
// one navigation, the readout follows announced changes, and the shell's mended faults.
//
// The link's headers go first: Qt's keyword macros must not be defined while they are read.
#include "link/device_link.h"

#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <set>

#include "app/main_window.h"
#include "app/page_host.h"
#include "app/readout_panel.h"
#include "binding/edit_controller.h"
#include "controls/fader_ctrl.h"
#include "controls/image_button.h"
#include "link/field_registry.h"
#include "mixing/groups.h"
#include "pages/mixing/group_page.h"
#include "pages/page.h"
#include "session/app_profile.h"
#include "session/link_adapter.h"
#include "widgets/nav_button.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

struct Shell {
    QTemporaryDir dir;
    Profile profile{dir.path()};
    DeviceState state;
    std::unique_ptr<LinkAdapter> link;
    std::unique_ptr<MainWindow> window;

    explicit Shell(QSize size = QSize(1600, 1000)) {
        loadFactoryDefaults(state, 1);
        state.link.hostAddress = "127.0.0.2"; // never connected here
        LinkOptions lo;
        lo.bindAddress = "127.0.0.1";
        link = std::make_unique<LinkAdapter>(state, lo);
        window = std::make_unique<MainWindow>(state, *link, profile);
        window->resize(size);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get())) qFatal("the window never showed");
    }
    NavigationModel& nav() { return window->navigation(); }
    template <class T> T* find(const QString& name) const { return window->findChild<T*>(name); }
    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }
    QStringList visiblePages() const {
        QStringList names;
        for (Page* p : window->pages().pages())
            if (p->isVisible()) names << p->objectName();
        return names;
    }
};

FieldId fieldId(const char* path) {
    return *FieldRegistry::instance().idOf(path);
}

} // namespace

class PagesTest : public QObject {
    Q_OBJECT

private slots:
    void everyRowIsBuiltOnceAndNamedUniquely() {
        Shell s;
        const PageHost& host = s.window->pages();
        std::size_t expected = 0;
        for (const PageRow& row : pageTable())
            expected += static_cast<std::size_t>(row.count);
        QCOMPARE(host.pages().size(), expected);
        std::set<QString> names;
        for (Page* p : host.pages()) {
            QVERIFY2(names.insert(p->objectName()).second, qPrintable(p->objectName()));
            QCOMPARE(s.find<Page>(p->objectName()), p);
        }
        QVERIFY(names.count("inputStrip18") && names.count("outputStrip8"));
        QCOMPARE(host.page(150), host.find("peqPage"));
    }

    void everyPageIsReachedFromItsNavigation() {
        Shell s;
        const PageHost& host = s.window->pages();
        std::set<QString> reached;
        auto visit = [&] {
            for (const QString& n : s.visiblePages())
                reached.insert(n);
        };
        // The header: views and tabs.
        for (const char* view : {"viewCh1to8", "viewCh9to12", "viewOutputs"}) {
            s.click(s.find<NavButton>(view));
            visit();
        }
        QVERIFY(s.visiblePages().contains("outputStrip4") && !s.visiblePages().contains("outputStrip5"));
        for (const char* tab : {"tabMatrix", "tabMode", "tabSystem", "tabGroups", "tabChannel"}) {
            s.click(s.find<NavButton>(tab));
            visit();
        }
        // The side panel's shortcuts.
        s.click(s.find<ImageButton>("phantomPageButton"));
        visit();
        QCOMPARE(s.nav().tab(), Tab::Phantom);
        // The hidden EFFECT view: the two return strips.
        s.nav().selectView(StripView::Effect);
        visit();
        // The strips' own buttons open their detail pages.
        s.nav().showView(StripView::Ch1to8, 1, Tab::Channel);
        s.click(host.inputStrip(2)->findChild<ImageButton*>("compButton"));
        QCOMPARE(s.nav().detail(), DetailPage::Dynamics);
        QCOMPARE(s.nav().detailChannel(), 2);
        visit();
        // Every detail page, beside its strip.
        for (DetailPage d :
             {DetailPage::Peq, DetailPage::Effect, DetailPage::Aux, DetailPage::Limiter, DetailPage::Geq}) {
            QVERIFY(s.nav().openDetail(d, 1));
            visit();
            QVERIFY(host.detailPage(d)->isVisible());
        }
        for (Page* p : host.pages()) {
            const QString n = p->objectName();
            // No view shows inputs 13..16 or outputs 5..8 as strips of their own.
            const bool unshown = n == "inputStrip13" || n == "inputStrip14" || n == "inputStrip15" ||
                                 n == "inputStrip16" || n == "outputStrip5" || n == "outputStrip6" ||
                                 n == "outputStrip7" || n == "outputStrip8";
            QVERIFY2(reached.count(n) != unshown, qPrintable(n));
        }
    }

    void sidePanelAndHeaderShareTheNavigation() {
        Shell s;
        Page* side = s.window->pages().sidePanel();
        s.click(side->findChild<ImageButton*>("bus2")); // AUX2
        QCOMPARE(s.nav().bus(), 4);
        // The group view from the panel; the header's view buttons wait until it is left.
        s.state.controlGroups[2][6] = 1; // channel 7 in group 3
        s.state.controlGroups[2][cg::kMemberCount] = 1;
        s.click(side->findChild<ImageButton*>("viewGroup3"));
        QCOMPARE(s.nav().viewedGroup(), 3);
        QCOMPARE(s.visiblePages(), QStringList({"inputStrip7", "outputStrip4", "sidePanel"}));
        s.click(s.find<NavButton>("viewCh9to12"));
        QCOMPARE(s.nav().view(), StripView::Ch1to8);
        QVERIFY(!s.find<NavButton>("viewCh9to12")->isChecked());
        s.click(side->findChild<ImageButton*>("returnButton"));
        QCOMPARE(s.nav().viewedGroup(), 0);
        QVERIFY(!side->findChild<ImageButton*>("viewGroup3")->isOn());
        // The model moved elsewhere: the panel shows it.
        s.nav().selectBus(8);
        QVERIFY(side->findChild<ImageButton*>("bus6")->isOn());
        QVERIFY(!side->findChild<ImageButton*>("bus2")->isOn());
    }

    void controlGroupButtonsSelectTheEditedGroup() {
        Shell s;
        auto* groups = qobject_cast<GroupPage*>(s.window->pages().tabPage(Tab::Group));
        const auto tables = s.state.controlGroups;
        auto marked = [&] {
            QList<int> on;
            for (int g = 1; g <= 4; ++g)
                if (s.find<NavButton>(QStringLiteral("controlGroup%1").arg(g))->isChecked()) on << g;
            return on;
        };
        s.click(s.find<NavButton>("controlGroup2"));
        QCOMPARE(groups->selectedControlGroup(), 1);
        QCOMPARE(marked(), QList<int>{2});
        // Radio-like: another group replaces it, the selected one again deselects.
        s.click(s.find<NavButton>("controlGroup4"));
        QCOMPARE(groups->selectedControlGroup(), 3);
        QCOMPARE(marked(), QList<int>{4});
        s.click(s.find<NavButton>("controlGroup4"));
        QCOMPARE(groups->selectedControlGroup(), -1);
        QVERIFY(marked().isEmpty());
        // A selection on the page itself shows in the header.
        s.nav().setTab(Tab::Group);
        s.click(groups->findChild<ImageButton*>("controlSelect1"));
        QCOMPARE(marked(), QList<int>{1});
        // Selecting is navigation only: no table changes, so nothing goes to the device.
        QVERIFY(s.state.controlGroups == tables);
    }

    void detailPagesOpenAtTheOrigin() {
        Shell s(QSize(900, 600)); // smaller than the layout: both scroll bars in use
        QScrollArea* area = s.window->scrollArea();
        auto scrollAway = [&] {
            area->horizontalScrollBar()->setValue(area->horizontalScrollBar()->maximum());
            area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
            QVERIFY(area->horizontalScrollBar()->value() > 0 && area->verticalScrollBar()->value() > 0);
        };
        scrollAway();
        s.click(s.window->pages().inputStrip(0)->findChild<ImageButton*>("compButton"));
        QCOMPARE(s.nav().detail(), DetailPage::Dynamics);
        QCOMPARE(area->horizontalScrollBar()->value(), 0);
        QCOMPARE(area->verticalScrollBar()->value(), 0);
        // The equaliser thumbnail of a strip is the way to its PEQ page.
        s.nav().setTab(Tab::Channel);
        scrollAway();
        s.click(s.window->pages().inputStrip(2)->findChild<QWidget*>("eqThumbnail"));
        QCOMPARE(s.nav().detail(), DetailPage::Peq);
        QVERIFY(s.find<QWidget>("peqPage")->isVisible());
        QCOMPARE(area->horizontalScrollBar()->value(), 0);
        QCOMPARE(area->verticalScrollBar()->value(), 0);
        // Any detail opened by a strip, the output side too.
        scrollAway();
        s.nav().openDetail(DetailPage::Geq, 3);
        QCOMPARE(area->horizontalScrollBar()->value(), 0);
        QCOMPARE(area->verticalScrollBar()->value(), 0);
        // A bus change keeps the place.
        s.nav().setTab(Tab::Channel);
        scrollAway();
        const int x = area->horizontalScrollBar()->value();
        s.nav().selectBus(3);
        QCOMPARE(area->horizontalScrollBar()->value(), x);
    }

    void readoutFollowsAnnouncedChanges() {
        Shell s;
        ReadoutPanel* readout = s.window->readout();
        auto* v1 = s.find<QLineEdit>("readoutValue1");
        readout->showParameter(3, 3); // channel 4 level
        QCOMPARE(v1->text(), "0dB");
        // A report (or any view) changes the field and announces it.
        s.state.in(4).level = 45;
        s.window->edits().announce(ChangeSet::everything());
        QCOMPARE(v1->text(), "-15dB");
        // A typed value is announced with its field, so every view that shows it follows.
        QList<ChangeSet> announced;
        connect(&s.window->edits(), &EditController::changed, this,
                [&](const ChangeSet& c) { announced << c; });
        v1->setText("-3");
        QTest::keyClick(v1, Qt::Key_Return);
        QCOMPARE(s.state.in(4).level, 57);
        QCOMPARE(announced.size(), 1);
        QVERIFY(!announced[0].all() && announced[0].contains(fieldId("input[4].level")));
        // Text that is no value announces nothing and shows the value again.
        v1->setText("loud");
        QTest::keyClick(v1, Qt::Key_Return);
        QCOMPARE(announced.size(), 1);
        QCOMPARE(v1->text(), "-3dB");

        // Typed into a linked channel, the level is copied to the group's other members, and
        // both strips follow.
        auto& group = s.state.controlGroups[0];
        group[3] = group[4] = 1; // channels 4 and 5
        group[cg::kMemberCount] = 2;
        group[cg::kLinkVolume] = 1;
        v1->setText("-20");
        QTest::keyClick(v1, Qt::Key_Return);
        QCOMPARE(s.state.in(4).level, 40);
        QCOMPARE(s.state.in(5).level, 40);
        QVERIFY(announced.last().contains(fieldId("input[5].level")));
        QCOMPARE(s.window->pages().inputStrip(4)->findChild<FaderCtrl*>("fader")->position(), 30);

        // A bound control's edit brings its field into the readout.
        s.window->edits().edit(fieldId("input[6].pan"), 75);
        QCOMPARE(readout->readoutChannel(), 5);
        QCOMPARE(s.find<QLabel>("readoutParamName")->text(), "PHASE");
        QCOMPARE(v1->text(), "-0.25");
        s.window->edits().edit(fieldId("output[2].mute"), 1);
        QCOMPARE(readout->readoutChannel(), 19);
        QCOMPARE(v1->text(), "OPEN"); // the readout's word for a set mute
    }

    void reportsMoveEveryBoundStrip() {
        Shell s;
        auto* fader = s.window->pages().inputStrip(0)->findChild<FaderCtrl*>("fader");
        auto* hidden = s.window->pages().inputStrip(8)->findChild<FaderCtrl*>("fader");
        s.state.in(1).level = 40;
        s.state.in(9).level = 12;
        DispatchResult full;
        full.kind = ReportKind::FullState;
        emit s.link->reportDispatched(full, ChangeSet::everything());
        QCOMPARE(fader->position(), 30);
        // Bound controls follow whether shown or not: a hidden widget only stores the value.
        QCOMPARE(hidden->position(), 58);
        // The view buttons follow the same notification.
        QCOMPARE(s.find<NavButton>("viewCh9to12")->thumbnail()[0].level, 12);
        s.click(s.find<NavButton>("viewCh9to12"));
        QVERIFY(hidden->isVisible());
        QCOMPARE(hidden->position(), 58);
    }

    void sendFailuresShowInTheStatusLabel() {
        Shell s;
        auto* status = s.find<QLabel>("statusLabel");
        s.window->showSendFailure("sendto 127.0.0.2:39020: Network is unreachable", 3);
        QCOMPARE(status->text(), "SEND FAILED");
        QVERIFY(status->toolTip().contains("unreachable") && status->toolTip().contains("3"));
        // The next word from the link replaces it.
        emit s.link->statusLabel(false, "OFFLINE");
        QCOMPARE(status->text(), "OFFLINE");
        QVERIFY(status->toolTip().isEmpty());
    }

    void searchButtonLooksDisabled() {
        Shell s;
        s.nav().setTab(Tab::System);
        auto* search = s.find<NavButton>("searchButton");
        // The search works now; the disabled look is checked on the same button switched off.
        QVERIFY(search && search->isVisible() && search->isEnabled());
        search->setEnabled(false);
        QCOMPARE(search->cursor().shape(), Qt::ArrowCursor); // nothing to click
        // Against the same button enabled, on the same background: clearly fainter.
        auto contrast = [](QWidget& w) {
            const QImage img = w.grab().toImage();
            int lo = 255, hi = 0;
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x) {
                    lo = std::min(lo, qGray(img.pixel(x, y)));
                    hi = std::max(hi, qGray(img.pixel(x, y)));
                }
            return hi - lo;
        };
        const int disabled = contrast(*search);
        search->setEnabled(true);
        const int enabled = contrast(*search);
        search->setEnabled(false);
        QVERIFY2(disabled < enabled * 0.6, qPrintable(QStringLiteral("%1 vs %2").arg(disabled).arg(enabled)));
    }

    void maximisedWindowCoversTheScreenWithoutAWindowManager() {
        QWidget w;
        // Only the geometry before the platform is asked to maximise: a bare X server never
        // answers that request, and the window must already cover the available area then.
        w.setGeometry(0, 0, 410, 290);
        MainWindow::showMaximisedOnScreen(w);
        const QRect available = w.screen()->availableGeometry();
        QVERIFY(w.width() >= available.width() && w.height() >= available.height());
    }
};

QTEST_MAIN(PagesTest)
#include "test_ui_pages.moc"
