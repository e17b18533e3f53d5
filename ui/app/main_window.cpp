#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>

#include "app/about_box.h"
#include "app/link_actions.h"
#include "app/lock_actions.h"
#include "app/readout_panel.h"
#include "app/undo_actions.h"
#include "app/window_header.h"
#include "binding/edit_controller.h"
#include "link/edit_sink.h"
#include "log/event_log.h"
#include "mixing/groups.h"
#include "pages/admin/device_settings_page.h"
#include "pages/mixing/group_page.h"
#include "pages/mixing/side_panel.h"
#include "pages/page.h"
#include "session/link_adapter.h"
#include "session/measure.h"
#include "widgets/busy_popup.h"
#include "widgets/name_dialog.h"
#include "widgets/skin_painter.h"
#include "widgets/skin_style.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {

// The scrolled surface: the tiled background and the title mark behind every page.
class Canvas : public QWidget {
public:
    explicit Canvas(QWidget* parent) : QWidget(parent) {
        setObjectName("canvas");
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter p(this);
        skin::paintBackground(p, event->rect());
        if (event->rect().intersects(QRect(0, 0, 200, 100))) skin::paintTitleMark(p);
        skin::paintDivider(p, MainWindow::kPageTop - 6, width());
        measure::markFirstPaint();
    }
};

} // namespace

int MainWindow::stripWidthFor(int clientWidth) {
    return std::max(kMinStripWidth, static_cast<int>(clientWidth * 0.0952380952));
}

int MainWindow::pageHeightFor(int clientHeight) {
    return std::max(kMinPageHeight, clientHeight - 220);
}

void MainWindow::showMaximisedOnScreen(QWidget& window) {
    if (const QScreen* screen = window.screen()) window.setGeometry(screen->availableGeometry());
    window.showMaximized();
}

MainWindow::MainWindow(DeviceState& state, LinkAdapter& link, const Profile& profile, QWidget* parent,
                       PresetStore* presets)
    : QMainWindow(parent), state_(state), link_(link), profile_(profile) {
    setObjectName("mainWindow");
    setWindowTitle(QStringLiteral("QUORVEL 3.2"));
    setWindowIcon(applicationIcon());

    skin::styleMenuBar(menuBar());
    // The shell's features (undo, the lock, the link actions, the log) add their actions here.
    editMenu_ = menuBar()->addMenu(pick("&Edit", "编辑(&E)"));
    editMenu_->setObjectName("editMenu");
    deviceMenu_ = menuBar()->addMenu(pick("&Device", "设备(&D)"));
    deviceMenu_->setObjectName("deviceMenu");
    viewMenu_ = menuBar()->addMenu(pick("&View", "查看(&V)"));
    viewMenu_->setObjectName("viewMenu");
    auto* help = menuBar()->addMenu(pick("&Help", "帮助(&H)"));
    help->setObjectName("helpMenu");
    QAction* about = help->addAction(QStringLiteral("ABOUT QUORVEL 3.2(&A)..."));
    about->setObjectName("actionAbout");
    connect(about, &QAction::triggered, this, &MainWindow::openAbout);

    scroll_ = new QScrollArea(this);
    scroll_->setObjectName("scrollArea");
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(false);
    skin::styleScrollArea(scroll_);
    canvas_ = new Canvas(scroll_);
    scroll_->setWidget(canvas_);
    setCentralWidget(scroll_);
    scroll_->installEventFilter(this);

    sink_ = std::make_unique<CallbackSink>([this](OutgoingFrame f) { link_.queueFrame(std::move(f)); });
    edits_ = std::make_unique<EditController>(state_, *sink_);
    auto* undo = new UndoActions(*edits_, editMenu_, this);
    connect(undo, &UndoActions::historyReset, this,
            [] { logEvent("Undo history reset: a full device state came in"); });
    connect(undo, &UndoActions::stepRefused, this, [this](const QString& why) {
        logEvent("Undo refused: " + why.toStdString());
        showMessage(this, why, QStringLiteral("QUORVEL"), "undoRefused");
    });
    ctx_ =
        std::make_unique<PageContext>(PageContext{state_, *sink_, *edits_, link_, profile_, nav_, presets});
    readout_ = new ReadoutPanel(*edits_, canvas_);
    header_ = new WindowHeader(nav_, canvas_, readout_);
    host_ = std::make_unique<PageHost>(*ctx_, static_cast<ShellPort&>(*this), canvas_);
    wireHeader();
    lock_ = new LockActions(*this, editMenu_, *edits_, profile_, canvas_);

    nav_.addListener([this](unsigned aspects) { onNavigation(aspects); });
    connect(edits_.get(), &EditController::changed, this, [this](const ChangeSet& changes) {
        host_->follow(changes);
        header_->showThumbnails(state_);
    });
    connect(&link_, &LinkAdapter::linkIndicator, header_, &WindowHeader::setLinkLamp);
    connect(&link_, &LinkAdapter::statusLabel, header_, &WindowHeader::setStatus);
    connect(&link_, &LinkAdapter::message, this, [this](const QString& text, const QString& caption) {
        showMessage(this, text, caption, "linkMessage");
    });
    connect(&link_, &LinkAdapter::reportDispatched, this, &MainWindow::onReport);
    connect(&link_, &LinkAdapter::sendFailed, this, &MainWindow::showSendFailure);

    if (measure::enabled()) {
        // Meter repaints are timed against the arrival of the report that caused them.
        for (QWidget* w : canvas_->findChildren<QWidget*>())
            if (w->inherits("quorvel::LevelMeter")) w->installEventFilter(this);
    }

    closeTimer_.setInterval(100);
    connect(&closeTimer_, &QTimer::timeout, this, &MainWindow::closeTick);

    // Metrics from whatever size the window has now; the maximised size follows in a resize.
    const QSize client = scroll_->size();
    stripWidth_ = stripWidthFor(client.width());
    pageHeight_ = pageHeightFor(client.height());
    setLanguage(languageFlag());
    relayout();
    header_->showThumbnails(state_);
    header_->setStatus(false, pick("OFFLINE", "离线"));
    new LinkActions(*this, link_, profile_);
    initialised_ = true;
}

MainWindow::~MainWindow() {
    // The pages hold references to the navigation and the edit path below; they go first.
    delete scroll_->takeWidget();
}

DeviceSettingsPage* MainWindow::deviceSettingsPage() const {
    return qobject_cast<DeviceSettingsPage*>(host_->tabPage(Tab::System));
}

void MainWindow::wireHeader() {
    connect(header_, &WindowHeader::settingsRequested, this, [this] {
        if (auto* side = qobject_cast<SidePanel*>(host_->sidePanel())) side->markSystem();
        nav_.setTab(Tab::System);
    });
    connect(header_, &WindowHeader::muteGroupToggled, this, [this](int group, bool on) {
        edits_->announceUser(setMuteGroup(state_, *sink_, group, on)); // groups count from 0 like the page
    });
    // The control-group buttons select the group the GROUPS page edits, radio-like, and follow
    // a selection made on the page itself.
    auto* groups = qobject_cast<GroupPage*>(host_->tabPage(Tab::Group));
    connect(header_, &WindowHeader::controlGroupClicked, this, [this, groups](int group) {
        if (groups) groups->selectControlGroup(group);
        markControlGroup();
    });
    if (groups) connect(groups, &GroupPage::controlGroupSelected, header_, &WindowHeader::markControlGroup);
    markControlGroup();
}

void MainWindow::markControlGroup() {
    const auto* groups = qobject_cast<const GroupPage*>(host_->tabPage(Tab::Group));
    header_->markControlGroup(groups ? groups->selectedControlGroup() : -1);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == scroll_ && event->type() == QEvent::Resize && initialised_)
        clientResized();
    else if (event->type() == QEvent::Paint && watched != scroll_)
        measure::markMeterPainted();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::clientResized() {
    scrollHome();
    const QSize client = scroll_->size();
    const int w = stripWidthFor(client.width());
    const int h = pageHeightFor(client.height());
    if (w != stripWidth_ || h != pageHeight_) {
        // The page height is compared as well: a window that only grew taller should not keep
        // pages sized for the old height.
        stripWidth_ = w;
        pageHeight_ = h;
        relayout();
        canvas_->update();
    } else {
        placeCanvas(); // the canvas still follows the viewport
    }
}

void MainWindow::scrollHome() {
    scroll_->horizontalScrollBar()->setValue(0);
    scroll_->verticalScrollBar()->setValue(0);
}

void MainWindow::onNavigation(unsigned aspects) {
    // Every move to another page starts at the window's origin, a detail page opened from a
    // strip's COMP button or thumbnail included; a bus change keeps the place.
    if (aspects & (NavigationModel::TabAspect | NavigationModel::ViewAspect | NavigationModel::DetailAspect |
                   NavigationModel::GroupViewAspect))
        scrollHome();
    relayout();
}

void MainWindow::relayout() {
    placeCanvas();
    host_->layout(nav_, {stripWidth_, pageHeight_, kPageTop});
    header_->mark();
}

void MainWindow::placeCanvas() {
    const int W = stripWidth_;
    // The content's extent: the side panel at the right end, the pages below the header.
    const QSize extent(9 * W + 18 + W, kPageTop + pageHeight_);
    const QSize viewport = scroll_->viewport()->size();
    canvas_->resize(std::max(extent.width(), viewport.width()), std::max(extent.height(), viewport.height()));
    header_->place(W);
}

void MainWindow::showReadout(int readoutChannel, int kind) {
    readout_->showParameter(readoutChannel, kind);
}

void MainWindow::setLanguage(int lang) {
    header_->setLanguage(lang);
    host_->setLanguage(lang);
    link_.setLanguage(lang);
    readout_->setLanguage(lang);
    if (auto* actions = findChild<LinkActions*>()) actions->setLanguage(lang);
}

void MainWindow::openAbout() {
    AboutBox box(this);
    box.exec();
}

void MainWindow::showSendFailure(const QString& error, quint64 failures) {
    header_->showSendFailure(error, failures);
}

void MainWindow::onReport(const DispatchResult& r, const ChangeSet& changes) {
    if (r.kind == ReportKind::Status) {
        if (r.reportIndicatorOn) header_->setReportLamp(true);
        // Meters are not fields a control binds: they repaint on their own path, only where moved.
        host_->refreshMeters();
    }
    // Bound controls follow; a fader the user holds stays in the hand.
    edits_->announce(changes);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (closeDone_) {
        event->accept();
        emit closed();
        return;
    }
    // The window stays up, and keeps painting, until the receive side has gone.
    event->ignore();
    if (closing_) return;
    closing_ = true;
    if (DeviceSettingsPage* settings = deviceSettingsPage()) settings->busyPopup()->dismiss();
    link_.closeLink();
    closeTimer_.start();
}

void MainWindow::closeTick() {
    if (!link_.closeFinished()) return;
    closeTimer_.stop();
    closeDone_ = true;
    // A dialog still open (About, a message) would keep its own loop running past the window.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) d->reject();
    close();
}

} // namespace quorvel::ui
