#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>

#include "app/about_box.h"
#include "app/readout_panel.h"
#include "binding/edit_controller.h"
#include "link/edit_sink.h"
#include "mixing/groups.h"
#include "pages/admin/device_settings_page.h"
#include "pages/mixing/group_page.h"
#include "pages/mixing/side_panel.h"
#include "pages/page.h"
#include "session/link_adapter.h"
#include "session/measure.h"
#include "widgets/busy_popup.h"
#include "widgets/name_dialog.h"
#include "widgets/nav_button.h"
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

QLabel* makeLabel(QWidget* parent, const char* objectName, int pixelSize) {
    auto* l = new QLabel(parent);
    l->setObjectName(objectName);
    l->setFont(skin::uiFont(pixelSize, true));
    l->setAlignment(Qt::AlignCenter);
    skin::styleLabel(l);
    return l;
}

struct TabButton {
    const char* objectName;
    const char* en;
    const char* zh;
    Tab tab;
};
constexpr TabButton kTabs[5] = {{"tabChannel", "CHANNEL", "通道", Tab::Channel},
                                {"tabMatrix", "MATRIX", "矩阵", Tab::Matrix},
                                {"tabMode", "MODE", "模式", Tab::Mode},
                                {"tabSystem", "SYSTEM", "系统", Tab::System},
                                {"tabGroups", "GROUPS", "分组", Tab::Group}};

struct ViewButton {
    const char* objectName;
    const char* labelName;
    const char* en;
    const char* zh;
    StripView view;
    int x; // from W + W/2
};
constexpr ViewButton kViews[4] = {
    {"viewCh1to8", "labelCh1to8", "CH1-8", "通道1-8", StripView::Ch1to8, 10},
    {"viewCh9to12", "labelCh9to12", "CH9-12", "通道9-12", StripView::Ch9to12, 120},
    {"viewEffect", "labelEffect", "EFFECT", "效果", StripView::Effect, 230},
    {"viewOutputs", "labelOutputs", "OUTPUTS", "输出", StripView::Outputs, 400}};
constexpr int kEffectView = 2; // no room for it beside the readout: hidden

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

MainWindow::MainWindow(DeviceState& state, LinkAdapter& link, const Profile& profile, QWidget* parent)
    : QMainWindow(parent), state_(state), link_(link), profile_(profile) {
    setObjectName("mainWindow");
    setWindowTitle(QStringLiteral("QUORVEL 3.2"));
    setWindowIcon(applicationIcon());
    language_ = languageFlag();

    skin::styleMenuBar(menuBar());
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
    ctx_ = std::make_unique<PageContext>(PageContext{state_, *sink_, *edits_, link_, profile_, nav_});
    buildHeader();
    host_ = std::make_unique<PageHost>(*ctx_, static_cast<ShellPort&>(*this), canvas_);
    buildGroupButtons();

    nav_.addListener([this](unsigned aspects) { onNavigation(aspects); });
    connect(edits_.get(), &EditController::changed, this, [this](const ChangeSet& changes) {
        host_->follow(changes);
        updateViewThumbnails();
    });
    connect(&link_, &LinkAdapter::linkIndicator, linkIndicator_, &NavButton::setLampOn);
    connect(&link_, &LinkAdapter::statusLabel, this, &MainWindow::onStatusLabel);
    connect(&link_, &LinkAdapter::message, this, [this](const QString& text, const QString& caption) {
        showMessage(this, text, caption, "linkMessage");
    });
    connect(&link_, &LinkAdapter::reportDispatched, this, &MainWindow::onReport);

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
    setLanguage(language_);
    relayout();
    updateViewThumbnails();
    onStatusLabel(false, pick(language_, "OFFLINE", "离线"));
    initialised_ = true;
}

MainWindow::~MainWindow() {
    // The pages hold references to the navigation and the edit path below; they go first.
    delete scroll_->takeWidget();
}

DeviceSettingsPage* MainWindow::deviceSettingsPage() const {
    return qobject_cast<DeviceSettingsPage*>(host_->tabPage(Tab::System));
}

void MainWindow::buildHeader() {
    for (std::size_t i = 0; i < tabButtons_.size(); ++i) {
        auto* b = new NavButton(NavButton::Style::Tab, canvas_);
        b->setObjectName(kTabs[i].objectName);
        connect(b, &NavButton::clicked, this, [this, i] {
            nav_.setTab(kTabs[i].tab);
            markNavigation(); // the button already shown undoes its own toggle
        });
        tabButtons_[i] = b;
    }
    for (std::size_t i = 0; i < viewButtons_.size(); ++i) {
        auto* b = new NavButton(NavButton::Style::View, canvas_);
        b->setObjectName(kViews[i].objectName);
        b->resize(100, 60);
        // Ignored while a group's members are shown; the mark undoes the click's own toggle.
        connect(b, &NavButton::clicked, this, [this, i] {
            nav_.selectView(kViews[i].view);
            markNavigation();
        });
        viewButtons_[i] = b;
        viewLabels_[i] = makeLabel(canvas_, kViews[i].labelName, 13);
    }
    viewButtons_[kEffectView]->hide();
    viewLabels_[kEffectView]->hide();

    linkIndicator_ = new NavButton(NavButton::Style::Link, canvas_);
    linkIndicator_->setObjectName("linkIndicator");
    connect(linkIndicator_, &NavButton::clicked, this, [this] {
        // While lit it only shows the link; otherwise it leads to the device settings.
        if (linkIndicator_->lampOn()) return;
        if (auto* side = qobject_cast<SidePanel*>(host_->sidePanel())) side->markSystem();
        nav_.setTab(Tab::System);
    });
    reportIndicator_ = new NavButton(NavButton::Style::Link, canvas_);
    reportIndicator_->setObjectName("reportIndicator");
    reportIndicator_->hide();
    menuToggle_ = new NavButton(NavButton::Style::Small, canvas_);
    menuToggle_->setObjectName("menuToggle");
    menuToggle_->hide();
    labelHome_ = makeLabel(canvas_, "labelHome", 13);
    labelHome_->hide();
    labelMuteGroups_ = makeLabel(canvas_, "labelMuteGroups", 15);
    labelControlGroups_ = makeLabel(canvas_, "labelControlGroups", 15);
    statusLabel_ = makeLabel(canvas_, "statusLabel", 14);
    readout_ = new ReadoutPanel(*edits_, link_, canvas_);
}

void MainWindow::buildGroupButtons() {
    auto make = [this](const QString& name, int g) {
        auto* b = new NavButton(NavButton::Style::Small, canvas_);
        b->setObjectName(name.arg(g + 1));
        b->setText(QString::number(g + 1));
        b->resize(42, 24);
        return b;
    };
    for (int g = 0; g < kMuteGroups; ++g) {
        NavButton* b = make(QStringLiteral("muteGroup%1"), g);
        connect(b, &NavButton::toggled, this, [this, g](bool on) {
            setMuteGroup(state_, *sink_, g, on); // groups count from 0 like the page
            edits_->announce(ChangeSet::everything());
        });
        muteGroupButtons_[static_cast<std::size_t>(g)] = b;
    }
    // The control-group buttons select the group the GROUPS page edits, radio-like, and follow
    // a selection made on the page itself.
    auto* groups = qobject_cast<GroupPage*>(host_->tabPage(Tab::Group));
    for (int g = 0; g < kControlGroups; ++g) {
        NavButton* b = make(QStringLiteral("controlGroup%1"), g);
        connect(b, &NavButton::clicked, this, [this, groups, g] {
            if (groups) groups->selectControlGroup(g);
            markControlGroups();
        });
        controlGroupButtons_[static_cast<std::size_t>(g)] = b;
    }
    if (groups) connect(groups, &GroupPage::controlGroupSelected, this, &MainWindow::markControlGroups);
    markControlGroups();
}

void MainWindow::markControlGroups() {
    const auto* groups = qobject_cast<const GroupPage*>(host_->tabPage(Tab::Group));
    const int selected = groups ? groups->selectedControlGroup() : -1;
    for (int g = 0; g < kControlGroups; ++g)
        controlGroupButtons_[static_cast<std::size_t>(g)]->setChecked(g == selected);
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
        placeHeader(); // the canvas still follows the viewport
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
    placeHeader();
    host_->layout(nav_, {stripWidth_, pageHeight_, kPageTop});
    markNavigation();
}

void MainWindow::placeHeader() {
    const int W = stripWidth_;
    // The content's extent: the side panel at the right end, the pages below the header.
    const QSize extent(9 * W + 18 + W, kPageTop + pageHeight_);
    const QSize viewport = scroll_->viewport()->size();
    canvas_->resize(std::max(extent.width(), viewport.width()), std::max(extent.height(), viewport.height()));

    for (std::size_t i = 0; i < tabButtons_.size(); ++i)
        tabButtons_[i]->setGeometry(static_cast<int>(i) * W, 120, W, 50);
    for (int g = 0; g < kMuteGroups; ++g) {
        const int x = (g % 2 == 0) ? 5 * W + W / 2 - 40 : 5 * W + W / 2 + 10;
        const int y = g < 2 ? 132 : 160;
        muteGroupButtons_[static_cast<std::size_t>(g)]->move(x, y);
        controlGroupButtons_[static_cast<std::size_t>(g)]->move(x + W, y);
    }
    labelMuteGroups_->setGeometry(5 * W, 100, W, 30);
    labelControlGroups_->setGeometry(6 * W, 100, W, 30);

    const int base = W + W / 2;
    for (std::size_t i = 0; i < viewButtons_.size(); ++i) {
        viewButtons_[i]->move(base + kViews[i].x, 5);
        viewLabels_[i]->setGeometry(base + kViews[i].x, 65, 100, 24);
    }
    readout_->move(base + 230, 0);
    statusLabel_->setGeometry(6 * W + W / 2 + 10, 60, 90, 30);
    linkIndicator_->setGeometry(6 * W + W / 2 + 25, 10, 60, 45);
}

void MainWindow::markNavigation() {
    for (std::size_t i = 0; i < tabButtons_.size(); ++i)
        tabButtons_[i]->setChecked(kTabs[i].tab == nav_.tab());
    // Only the CHANNEL tab's strips show a view; elsewhere no view button is marked.
    const bool strips =
        nav_.tab() == Tab::Channel && nav_.detail() == DetailPage::None && nav_.viewedGroup() == 0;
    for (std::size_t i = 0; i < viewButtons_.size(); ++i)
        viewButtons_[i]->setChecked(strips && nav_.view() == kViews[i].view);
}

void MainWindow::showReadout(int readoutChannel, int kind) {
    readout_->showParameter(readoutChannel, kind);
}

void MainWindow::stripLevelsChanged() {
    updateViewThumbnails();
}

void MainWindow::setLanguage(int lang) {
    language_ = lang;
    for (std::size_t i = 0; i < viewLabels_.size(); ++i)
        viewLabels_[i]->setText(pick(lang, kViews[i].en, kViews[i].zh));
    labelHome_->setText(pick(lang, "HOME", "主页"));
    labelMuteGroups_->setText(pick(lang, "M GROUPS", "静音分组"));
    labelControlGroups_->setText(pick(lang, "C GROUPS", "控制分组"));
    for (std::size_t i = 0; i < tabButtons_.size(); ++i)
        tabButtons_[i]->setText(pick(lang, kTabs[i].en, kTabs[i].zh));
    statusLabel_->setText(statusOnline_ ? pick(lang, "ONLINE", "在线") : pick(lang, "OFFLINE", "离线"));
    host_->setLanguage(lang);
    link_.setLanguage(lang);
    readout_->setLanguage(lang);
}

void MainWindow::updateViewThumbnails() {
    auto faders = [](auto record, int first, int last) {
        QVector<NavButton::FaderThumb> t;
        for (int c = first; c <= last; ++c)
            t.push_back({record(c).level, record(c).mute != 0});
        return t;
    };
    auto in = [this](int c) -> const InputChannel& { return state_.in(c); };
    viewButtons_[0]->setThumbnail(faders(in, 1, 8));
    viewButtons_[1]->setThumbnail(faders(in, 9, 12));
    viewButtons_[3]->setThumbnail(
        faders([this](int o) -> const OutputChannel& { return state_.out(o); }, 1, 4));
}

void MainWindow::openAbout() {
    AboutBox box(this);
    box.exec();
}

void MainWindow::onStatusLabel(bool online, const QString& text) {
    statusOnline_ = online;
    statusLabel_->setText(text);
    statusLabel_->setToolTip(QString());
    skin::styleLabel(statusLabel_, online ? skin::LabelTone::Online : skin::LabelTone::Normal);
}

void MainWindow::showSendFailure(const QString& error, quint64 failures) {
    statusLabel_->setText(pick(language_, "SEND FAILED", "发送失败"));
    statusLabel_->setToolTip(pick(language_, "%1 (%2 so far)", "%1 (已%2次)").arg(error).arg(failures));
    skin::styleLabel(statusLabel_, skin::LabelTone::Warning);
}

void MainWindow::onReport(const DispatchResult& r) {
    switch (r.kind) {
    case ReportKind::FullState:
    case ReportKind::Names:
        edits_->announce(ChangeSet::everything());
        break;
    case ReportKind::Status:
        if (r.reportIndicatorOn) reportIndicator_->setLampOn(true);
        host_->refreshMeters();
        break;
    case ReportKind::Levels:
        if (r.moveFaders) {
            // Faders follow the device unless the user holds one.
            host_->followLevels();
            readout_->updateTexts();
            updateViewThumbnails();
        }
        break;
    default:
        break;
    }
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
