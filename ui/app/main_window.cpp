#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>

#include <cstdio>
#include <string_view>

#include "controls/skin_store.h"

#include "app/about_box.h"
#include "binding/edit_controller.h"
#include "binding/report_changes.h"
#include "link/edit.h"
#include "link/edit_sink.h"
#include "link/field_display.h"
#include "link/field_registry.h"
#include "mixing/groups.h"
#include "pages/admin/device_settings_page.h"
#include "pages/mixing/group_page.h"
#include "pages/mixing/side_panel.h"
#include "pages/page_context.h"
#include "pages/placeholder_page.h"
#include "pages/processing/input_strip.h"
#include "pages/processing/output_strip.h"
#include "pages/processing/phantom_page.h"
#include "session/app_profile.h"
#include "session/link_adapter.h"
#include "session/measure.h"
#include "widgets/busy_popup.h"
#include "widgets/name_dialog.h"
#include "widgets/nav_button.h"
#include "widgets/skin_painter.h"
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
        if (event->rect().intersects(QRect(0, 0, 200, 100))) paintTitle(p);
        // A hairline above the page area separates navigation from content.
        p.setPen(QColor(0, 0, 0, 140));
        p.drawLine(0, MainWindow::kPageTop - 6, width(), MainWindow::kPageTop - 6);
        p.setPen(QColor(255, 255, 255, 20));
        p.drawLine(0, MainWindow::kPageTop - 5, width(), MainWindow::kPageTop - 5);
        measure::markFirstPaint();
    }

private:
    static void paintTitle(QPainter& p) {
        constexpr int kTitleArt = 180;
        if (SkinStore::has(kTitleArt)) {
            const QSize size = SkinStore::naturalSize(kTitleArt);
            p.drawPixmap(QPoint(4, 6), SkinStore::pixmap(kTitleArt, size, p.device()->devicePixelRatioF()));
            return;
        }
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF plate(10, 10, 172, 72);
        QLinearGradient g(plate.topLeft(), plate.bottomLeft());
        g.setColorAt(0, QColor(0x3C, 0x42, 0x4C));
        g.setColorAt(1, QColor(0x1A, 0x1D, 0x22));
        p.setPen(QPen(QColor(0x08, 0x09, 0x0B), 1));
        p.setBrush(g);
        p.drawRoundedRect(plate, 8, 8);
        QFont f = skin::uiFont(28, true);
        f.setLetterSpacing(QFont::AbsoluteSpacing, 2);
        p.setFont(f);
        p.setPen(skin::kText);
        p.drawText(plate.adjusted(0, 6, 0, -22), Qt::AlignCenter, QStringLiteral("QUORVEL"));
        p.setPen(QPen(skin::kAccent, 2));
        p.drawLine(QPointF(plate.left() + 26, plate.bottom() - 20),
                   QPointF(plate.right() - 26, plate.bottom() - 20));
        p.setFont(skin::uiFont(11, true));
        p.setPen(skin::kTextDim);
        p.drawText(plate.adjusted(0, plate.height() - 20, 0, -2), Qt::AlignCenter,
                   QStringLiteral("DIGITAL MIXER  3.2"));
    }
};

constexpr const char* kValueStyle =
    "QLineEdit { background: #07080A; color: white; border: 1px solid #2C3138; border-radius: 3px;"
    " padding: 0; selection-background-color: #2CD4F0; }"
    "QLineEdit:focus { border: 1px solid #2CD4F0; }";

QLabel* makeLabel(QWidget* parent, const char* objectName, int pixelSize,
                  Qt::Alignment align = Qt::AlignCenter) {
    auto* l = new QLabel(parent);
    l->setObjectName(objectName);
    l->setFont(skin::uiFont(pixelSize, true));
    l->setAlignment(align);
    l->setStyleSheet("color: #C8CCD2;");
    return l;
}

const char* const kTabObject[5] = {"tabChannel", "tabMatrix", "tabMode", "tabSystem", "tabGroups"};
const char* const kTabEn[5] = {"CHANNEL", "MATRIX", "MODE", "SYSTEM", "GROUPS"};
const char* const kTabZh[5] = {"通道", "矩阵", "模式", "系统", "分组"};
// The tab value each button selects, in button order.
constexpr int kTabOfButton[5] = {MainWindow::ChannelTab, MainWindow::MatrixTab, MainWindow::ModeTab,
                                 MainWindow::SystemTab, MainWindow::GroupTab};

} // namespace

int MainWindow::stripWidthFor(int clientWidth) {
    return std::max(kMinStripWidth, static_cast<int>(clientWidth * 0.0952380952));
}

int MainWindow::pageHeightFor(int clientHeight) {
    return std::max(kMinPageHeight, clientHeight - 220);
}

MainWindow::MainWindow(DeviceState& state, LinkAdapter& link, const Profile& profile, QWidget* parent)
    : QMainWindow(parent), state_(state), link_(link), profile_(profile) {
    setObjectName("mainWindow");
    setWindowTitle(QStringLiteral("QUORVEL 3.2"));
    setWindowIcon(applicationIcon());
    language_ = languageFlag();

    menuBar()->setStyleSheet(
        "QMenuBar { background: #16181C; color: #C8CCD2; border-bottom: 1px solid #08090B; }"
        "QMenuBar::item:selected { background: #2E333B; color: #2CD4F0; }"
        "QMenu { background: #1E2126; color: #E6E8EC; border: 1px solid #08090B; }"
        "QMenu::item:selected { background: #3A3226; color: #2CD4F0; }");
    auto* help = menuBar()->addMenu(pick("&Help", "帮助(&H)"));
    help->setObjectName("helpMenu");
    QAction* about = help->addAction(QStringLiteral("ABOUT QUORVEL 3.2(&A)..."));
    about->setObjectName("actionAbout");
    connect(about, &QAction::triggered, this, &MainWindow::openAbout);

    scroll_ = new QScrollArea(this);
    scroll_->setObjectName("scrollArea");
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(false);
    scroll_->setStyleSheet("QScrollArea { background: #1E2024; }");
    canvas_ = new Canvas(scroll_);
    scroll_->setWidget(canvas_);
    setCentralWidget(scroll_);
    scroll_->installEventFilter(this);

    buildControls();
    buildPages();

    connect(&link_, &LinkAdapter::linkIndicator, this, &MainWindow::onLinkIndicator);
    connect(&link_, &LinkAdapter::statusLabel, this, &MainWindow::onStatusLabel);
    connect(&link_, &LinkAdapter::message, this, &MainWindow::onMessage);
    connect(&link_, &LinkAdapter::reportDispatched, this, &MainWindow::onReport);
    connect(deviceSettings_, &DeviceSettingsPage::connectPressed, this, &MainWindow::resetScroll);

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
    showView(view_, bus_, tab_);
    updateReadout();
    updateViewThumbnails();
    onStatusLabel(false, pick(language_, "OFFLINE", "离线"));
    initialised_ = true;
}

MainWindow::~MainWindow() = default;

void MainWindow::buildControls() {
    for (int i = 0; i < 5; ++i) {
        auto* b = new NavButton(NavButton::Style::Tab, canvas_);
        b->setObjectName(kTabObject[i]);
        connect(b, &NavButton::clicked, this, [this, i] { navigateTab(kTabOfButton[i]); });
        tabButtons_[static_cast<std::size_t>(i)] = b;
    }
    auto view = [this](const char* name, int v) {
        auto* b = new NavButton(NavButton::Style::View, canvas_);
        b->setObjectName(name);
        b->resize(100, 60);
        connect(b, &NavButton::clicked, this, [this, v] { navigateView(v); });
        return b;
    };
    viewCh1to8_ = view("viewCh1to8", Ch1to8);
    viewCh9to12_ = view("viewCh9to12", Ch9to12);
    viewEffect_ = view("viewEffect", EffectView);
    viewOutputs_ = view("viewOutputs", OutputsView);
    viewEffect_->hide();
    labelCh1to8_ = makeLabel(canvas_, "labelCh1to8", 13);
    labelCh9to12_ = makeLabel(canvas_, "labelCh9to12", 13);
    labelEffect_ = makeLabel(canvas_, "labelEffect", 13);
    labelOutputs_ = makeLabel(canvas_, "labelOutputs", 13);
    labelEffect_->hide();

    linkIndicator_ = new NavButton(NavButton::Style::Link, canvas_);
    linkIndicator_->setObjectName("linkIndicator");
    connect(linkIndicator_, &NavButton::clicked, this, [this] {
        // While lit it only shows the link; otherwise it leads to the device settings.
        if (linkIndicator_->lampOn()) return;
        static_cast<SidePanel*>(sidePanel_)->markSystem();
        resetScroll();
        showView(view_, bus_, SystemTab);
    });
    reportIndicator_ = new NavButton(NavButton::Style::Link, canvas_);
    reportIndicator_->setObjectName("reportIndicator");
    reportIndicator_->hide();
    menuToggle_ = new NavButton(NavButton::Style::Small, canvas_);
    menuToggle_->setObjectName("menuToggle");
    menuToggle_->hide();
    labelHome_ = makeLabel(canvas_, "labelHome", 13);
    labelHome_->hide();

    for (int g = 0; g < kMuteGroups; ++g) {
        auto* b = new NavButton(NavButton::Style::Small, canvas_);
        b->setObjectName(QStringLiteral("muteGroup%1").arg(g + 1));
        b->setText(QString::number(g + 1));
        b->resize(42, 24);
        muteGroupButtons_[static_cast<std::size_t>(g)] = b;
    }
    for (int g = 0; g < kControlGroups; ++g) {
        auto* b = new NavButton(NavButton::Style::Small, canvas_);
        b->setObjectName(QStringLiteral("controlGroup%1").arg(g + 1));
        b->setText(QString::number(g + 1));
        b->resize(42, 24);
        controlGroupButtons_[static_cast<std::size_t>(g)] = b;
    }
    labelMuteGroups_ = makeLabel(canvas_, "labelMuteGroups", 15);
    labelControlGroups_ = makeLabel(canvas_, "labelControlGroups", 15);

    statusLabel_ = makeLabel(canvas_, "statusLabel", 14);
    readoutChannelName_ = makeLabel(canvas_, "readoutChannelName", 14);
    readoutParamName_ = makeLabel(canvas_, "readoutParamName", 14);
    readoutValue1_ = new QLineEdit(canvas_);
    readoutValue1_->setObjectName("readoutValue1");
    readoutValue2_ = new QLineEdit(canvas_);
    readoutValue2_->setObjectName("readoutValue2");
    for (QLineEdit* e : {readoutValue1_, readoutValue2_}) {
        // 18 px keeps the widest value ("20000Hz") inside the 80-px field.
        e->setFont(skin::uiFont(18));
        e->setAlignment(Qt::AlignCenter);
        e->setStyleSheet(kValueStyle);
        e->setMaxLength(16);
    }
    connect(readoutValue1_, &QLineEdit::returnPressed, this, [this] { applyTypedValue(0); });
    connect(readoutValue2_, &QLineEdit::returnPressed, this, [this] { applyTypedValue(1); });
}

void MainWindow::buildPages() {
    sink_ = std::make_unique<CallbackSink>([this](OutgoingFrame f) { link_.queueFrame(std::move(f)); });
    edits_ = std::make_unique<EditController>(state_, *sink_);
    // No navigation model exists in this window yet, and no page built here reads one.
    context_ = std::make_unique<PageContext>(
        PageContext{state_, *sink_, *edits_, link_, profile_, *reinterpret_cast<NavigationModel*>(this)});
    const PageContext& ctx = *context_;
    auto page = [this](const char* objectName, const char* en, const char* zh) {
        auto* p = new PlaceholderPage(state_, en, zh, canvas_);
        p->setObjectName(objectName);
        return p;
    };
    for (int k = 0; k < kInputRecords; ++k)
        inputStrips_[static_cast<std::size_t>(k)] = new InputStrip(ctx, k, canvas_);
    for (int k = 0; k < kOutputRecords; ++k)
        outputStrips_[static_cast<std::size_t>(k)] = new OutputStrip(ctx, k, canvas_);
    detailInput_ = new InputStrip(ctx, 0, canvas_);
    detailOutput_ = new OutputStrip(ctx, 0, canvas_);
    sidePanel_ = new SidePanel(state_, *sink_, canvas_);
    for (int k = 0; k < kInputRecords; ++k)
        inputStrips_[static_cast<std::size_t>(k)]->setObjectName(QStringLiteral("inputStrip%1").arg(k + 1));
    for (int k = 0; k < kOutputRecords; ++k)
        outputStrips_[static_cast<std::size_t>(k)]->setObjectName(QStringLiteral("outputStrip%1").arg(k + 1));
    detailInput_->setObjectName("detailInputStrip");
    detailOutput_->setObjectName("detailOutputStrip");
    sidePanel_->setObjectName("sidePanel");

    // The rest in the order the window has always created them.
    deviceSettings_ = new DeviceSettingsPage(state_, link_, profile_, canvas_);
    phantom_ = new PhantomPage(ctx, canvas_);
    phantom_->setObjectName("phantomPage");
    matrix_ = page("matrixPage", "MATRIX", "矩阵");
    mode_ = page("modePage", "AUTOMIXER", "自动混音");
    groups_ = new GroupPage(ctx, canvas_);
    groups_->setObjectName("groupPage");
    aux_ = page("auxPage", "AUX SENDS", "辅助发送");
    dynamics_ = page("dynamicsPage", "NOISE GATE / COMPRESSOR", "噪声门/压缩器");
    peq_ = page("peqPage", "PARAMETRIC EQUALISER", "参量均衡");
    effect_ = page("effectPage", "EFFECT: REVERBERATION AND DELAY", "效果: 混响和延时");
    limiter_ = page("limiterPage", "LIMIT", "限幅器");
    geq_ = page("geqPage", "GRAPHIC EQUALISER", "图示均衡");
    collectPages();
    for (Page* p : allPages())
        p->hide();
    wireStrips();
}

void MainWindow::wireStrips() {
    for (int g = 0; g < kMuteGroups; ++g) {
        NavButton* b = muteGroupButtons_[static_cast<std::size_t>(g)];
        connect(b, &NavButton::toggled, this, [this, g](bool on) {
            setMuteGroup(state_, *sink_, g, on); // groups count from 0 like the page
            refreshAllViews();
        });
    }
    auto refreshVisible = [this] { refreshAllViews(); };
    auto wireInput = [&](InputStrip* s) {
        connect(s, &InputStrip::detailRequested, this, [this](int channel, int type) {
            openInputDetail(channel, type);
            setReadout(channel, 0);
        });
    };
    auto wireOutput = [&](OutputStrip* s) {
        connect(s, &OutputStrip::detailRequested, this, [this](int output, int type) {
            openOutputDetail(output, type);
            setReadout(output + 18, 0);
        });
    };
    // The strips follow every change through their bindings; the readout shows the field the
    // user edited, and the view buttons mirror levels and mutes.
    connect(edits_.get(), &EditController::edited, this, [this](FieldId field) {
        const auto& fields = FieldRegistry::instance().fields();
        if (field >= fields.size()) return;
        const std::string& path = fields[field].path;
        int record = 0;
        char name[16] = {};
        int kind = 0;
        if (std::sscanf(path.c_str(), "input[%d].%15s", &record, name) == 2) {
            kind = std::string_view(name) == "level"  ? 3
                   : std::string_view(name) == "mute" ? 1
                   : std::string_view(name) == "pan"  ? 4
                                                      : 0;
            if (kind) setReadout(record - 1, kind);
        } else if (std::sscanf(path.c_str(), "output[%d].%15s", &record, name) == 2) {
            kind = std::string_view(name) == "level" ? 3 : std::string_view(name) == "mute" ? 1 : 0;
            if (kind) setReadout(record + 17, kind);
        }
        updateViewThumbnails();
    });
    for (InputStrip* s : inputStrips_)
        wireInput(s);
    for (OutputStrip* s : outputStrips_)
        wireOutput(s);
    wireInput(detailInput_);
    wireOutput(detailOutput_);
    auto* side = static_cast<SidePanel*>(sidePanel_);
    connect(side, &SidePanel::busSelected, this, [this](int bus) { showView(view_, bus, tab_); });
    connect(side, &SidePanel::groupViewRequested, this, [this](int group) { showGroupMembers(group, bus_); });
    connect(side, &SidePanel::tabRequested, this, [this](int tab) {
        resetScroll();
        showView(view_, bus_, tab);
    });
    connect(side, &SidePanel::stateCleared, this, refreshVisible);
    connect(static_cast<GroupPage*>(groups_), &GroupPage::groupsChanged, this, refreshVisible);
}

void MainWindow::collectPages() {
    // The set never changes after construction; every status report walks it, so it is built once.
    pages_.clear();
    for (auto* s : inputStrips_)
        pages_ << s;
    for (auto* s : outputStrips_)
        pages_ << s;
    pages_ << detailInput_ << detailOutput_ << sidePanel_ << deviceSettings_ << phantom_ << matrix_ << mode_
           << groups_ << aux_ << dynamics_ << peq_ << effect_ << limiter_ << geq_;
}

Page* MainWindow::inputStripPage(int index) const {
    return inputStrips_[static_cast<std::size_t>(index)];
}
Page* MainWindow::outputStripPage(int index) const {
    return outputStrips_[static_cast<std::size_t>(index)];
}

Page* MainWindow::page(int resource) const {
    switch (resource) {
    case 149:
        return dynamics_;
    case 150:
        return peq_;
    case 151:
        return geq_;
    case 152:
        return sidePanel_;
    case 153:
        return deviceSettings_;
    case 154:
        return matrix_;
    case 155:
        return mode_;
    case 156:
        return limiter_;
    case 157:
        return effect_;
    case 169:
        return groups_;
    case 170:
        return aux_;
    case 179:
        return phantom_;
    default:
        return nullptr;
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == scroll_ && event->type() == QEvent::Resize && initialised_)
        clientResized();
    else if (event->type() == QEvent::Paint && watched != scroll_)
        measure::markMeterPainted();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::clientResized() {
    resetScroll();
    const QSize client = scroll_->size();
    const int w = stripWidthFor(client.width());
    const int h = pageHeightFor(client.height());
    if (w != stripWidth_ || h != pageHeight_) {
        // The page height is compared as well: a window that only grew taller should not keep
        // pages sized for the old height.
        stripWidth_ = w;
        pageHeight_ = h;
        showView(view_, bus_, tab_);
        canvas_->update();
    } else {
        placeHeader(); // the canvas still follows the viewport
    }
}

void MainWindow::resetScroll() {
    scroll_->horizontalScrollBar()->setValue(0);
    scroll_->verticalScrollBar()->setValue(0);
}

void MainWindow::hideAllPages() {
    for (Page* p : allPages())
        p->hide();
}

void MainWindow::placeHeader() {
    const int W = stripWidth_;
    // The content's extent: the side panel at the right end, the pages below the header.
    const QSize extent(9 * W + 18 + W, kPageTop + pageHeight_);
    const QSize viewport = scroll_->viewport()->size();
    canvas_->resize(std::max(extent.width(), viewport.width()), std::max(extent.height(), viewport.height()));

    for (int i = 0; i < 5; ++i) {
        tabButtons_[static_cast<std::size_t>(i)]->setGeometry(i * W, 120, W, 50);
        tabButtons_[static_cast<std::size_t>(i)]->show();
    }
    for (int g = 0; g < kMuteGroups; ++g) {
        const int x = (g % 2 == 0) ? 5 * W + W / 2 - 40 : 5 * W + W / 2 + 10;
        const int y = g < 2 ? 132 : 160;
        muteGroupButtons_[static_cast<std::size_t>(g)]->move(x, y);
        controlGroupButtons_[static_cast<std::size_t>(g)]->move(x + W, y);
    }
    labelMuteGroups_->setGeometry(5 * W, 100, W, 30);
    labelControlGroups_->setGeometry(6 * W, 100, W, 30);

    const int base = W + W / 2;
    viewCh1to8_->move(base + 10, 5);
    viewCh9to12_->move(base + 120, 5);
    viewEffect_->move(base + 230, 5);
    viewOutputs_->move(base + 400, 5);
    labelCh1to8_->setGeometry(base + 10, 65, 100, 24);
    labelCh9to12_->setGeometry(base + 120, 65, 100, 24);
    labelEffect_->setGeometry(base + 230, 65, 100, 24);
    labelOutputs_->setGeometry(base + 400, 65, 100, 24);
    readoutChannelName_->setGeometry(base + 230, 0, 160, 30);
    readoutValue1_->setGeometry(base + 230, 30, 80, 30);
    readoutValue2_->setGeometry(base + 310, 30, 80, 30);
    readoutParamName_->setGeometry(base + 230, 60, 160, 30);
    statusLabel_->setGeometry(6 * W + W / 2 + 10, 60, 90, 30);
    linkIndicator_->setGeometry(6 * W + W / 2 + 25, 10, 60, 45);
}

void MainWindow::showView(int view, int bus, int tab) {
    view_ = view;
    bus_ = bus;
    tab_ = tab;
    const int W = stripWidth_, H = pageHeight_, T = kPageTop;
    hideAllPages();
    placeHeader();

    for (int i = 0; i < 5; ++i)
        tabButtons_[static_cast<std::size_t>(i)]->setChecked(kTabOfButton[i] == tab);

    if (tab != ChannelTab) {
        Page* p = nullptr;
        switch (tab) {
        case SystemTab:
            p = deviceSettings_;
            break;
        case MatrixTab:
            p = matrix_;
            break;
        case ModeTab:
            p = mode_;
            break;
        case GroupTab:
            p = groups_;
            break;
        case PhantomTab:
            p = phantom_;
            break;
        default:
            break;
        }
        if (p) {
            p->setGeometry(0, T, 9 * W + 18, H);
            p->refreshAndShow();
        }
    } else {
        int first = 0, count = 0;
        bool outputs = false;
        switch (view) {
        case Ch1to8:
            first = 0, count = 8;
            break;
        case Ch9to12:
            first = 8, count = 4;
            break;
        case EffectView:
            first = 16, count = 2;
            break;
        case OutputsView:
            first = 0, count = 4, outputs = true;
            break;
        default:
            break;
        }
        for (int k = 0; k < count; ++k) {
            Page* s = outputs ? static_cast<Page*>(outputStrips_[static_cast<std::size_t>(first + k)])
                              : static_cast<Page*>(inputStrips_[static_cast<std::size_t>(first + k)]);
            s->setGeometry(k * (W + 2), T, W, H);
            s->refreshAndShow();
        }
    }
    markViews();
    // The side panel stands beside the strips: it is the only way to the buses and the 48V page.
    sidePanel_->setGeometry(9 * W + 18, T, panelWidth(), H);
    if (tab == ChannelTab)
        sidePanel_->refreshAndShow();
    else
        sidePanel_->hide();
}

void MainWindow::markViews() {
    // Only the CHANNEL tab shows a view; elsewhere no view button is marked.
    const bool strips = tab_ == ChannelTab;
    viewCh1to8_->setChecked(strips && view_ == Ch1to8);
    viewCh9to12_->setChecked(strips && view_ == Ch9to12);
    viewEffect_->setChecked(strips && view_ == EffectView);
    viewOutputs_->setChecked(strips && view_ == OutputsView);
}

void MainWindow::navigateView(int view) {
    resetScroll();
    if (groupView_) {
        // The view buttons wait until the group view is left; undo the click's own toggle.
        markViews();
        return;
    }
    showView(view, bus_, ChannelTab);
}

void MainWindow::navigateTab(int tab) {
    resetScroll();
    if (tab == ChannelTab) displayMode_ = 1;
    showView(view_, bus_, tab);
}

void MainWindow::openInputDetail(int channel, int type) {
    if (channel < 0 || channel >= kInputRecords) return;
    const int W = stripWidth_, H = pageHeight_, T = kPageTop;
    displayMode_ = 2;
    hideAllPages();
    detailInput_->bindTo(channel);
    detailInput_->setGeometry(0, T, W, H);
    detailInput_->show();
    Page* p = nullptr;
    switch (type) {
    case 1:
        p = dynamics_;
        break;
    case 2:
        p = peq_;
        break;
    case 3:
        p = effect_;
        break;
    case 4:
        p = aux_;
        break;
    default:
        return;
    }
    p->setGeometry(W + 2, T, 7 * W, H);
    p->refreshAndShow();
}

void MainWindow::openOutputDetail(int output, int type) {
    if (output < 0 || output >= kOutputRecords) return;
    const int W = stripWidth_, H = pageHeight_, T = kPageTop;
    displayMode_ = 3;
    hideAllPages();
    detailOutput_->bindTo(output);
    detailOutput_->setGeometry(8 * W + 16, T, W, H);
    detailOutput_->show();
    Page* p = type == 1 ? limiter_ : (type == 2 ? geq_ : nullptr);
    if (!p) return;
    p->setGeometry(0, T, 8 * W, H);
    p->refreshAndShow();
}

void MainWindow::showGroupMembers(int group, int output) {
    const int W = stripWidth_, H = pageHeight_, T = kPageTop;
    hideAllPages();
    if (group < 1 || group > kControlGroups) {
        groupView_ = 0;
        showView(view_, bus_, tab_);
    } else {
        groupView_ = group;
        const ControlGroup& members = state_.controlGroups[static_cast<std::size_t>(group - 1)];
        int x = 0;
        for (int k = 0; k < kInputRecords; ++k) {
            if (!members[static_cast<std::size_t>(k)]) continue;
            InputStripView* s = inputStrips_[static_cast<std::size_t>(k)];
            s->setGeometry(x, T, W, H);
            s->refreshAndShow();
            x += W + 2;
        }
        if (output == 1 || (output >= 3 && output <= 8)) {
            OutputStripView* s = outputStrips_[static_cast<std::size_t>(output - 1)];
            s->setGeometry(8 * W + 16, T, panelWidth(), H);
            s->refreshAndShow();
        }
    }
    sidePanel_->setGeometry(9 * W + 18, T, panelWidth(), H);
    sidePanel_->refreshAndShow();
}

void MainWindow::setReadout(int readoutChannel, int kind) {
    readoutChannel_ = readoutChannel;
    readoutKind_ = kind;
    updateReadout();
}

void MainWindow::updateReadout() {
    const ReadoutText r = formatReadout(state_, readoutChannel_, readoutKind_, language_);
    readoutChannelName_->setText(QString::fromStdString(r.channelName));
    readoutParamName_->setText(QString::fromStdString(r.paramName));
    // A value being typed is not overwritten by a report arriving meanwhile.
    for (auto [field, text] : {std::pair{readoutValue1_, &r.value1}, std::pair{readoutValue2_, &r.value2}}) {
        if (field->hasFocus() && field->isModified()) continue;
        field->setText(QString::fromStdString(*text));
        field->setCursorPosition(0); // any overflow then cuts the unit, never the sign or digits
        field->setModified(false);
    }
}

void MainWindow::applyTypedValue(int field) {
    QLineEdit* edit = field == 0 ? readoutValue1_ : readoutValue2_;
    const EditOutcome r = quorvel::applyTypedValue(state_, *sink_, readoutChannel_, readoutKind_, field,
                                                   edit->text().toStdString());
    edit->setModified(false);
    if (r.applied) edits_->announce(r.changed);
    updateReadout();
}

void MainWindow::setLanguage(int lang) {
    language_ = lang;
    labelCh1to8_->setText(pick(lang, "CH1-8", "通道1-8"));
    labelCh9to12_->setText(pick(lang, "CH9-12", "通道9-12"));
    labelEffect_->setText(pick(lang, "EFFECT", "效果"));
    labelOutputs_->setText(pick(lang, "OUTPUTS", "输出"));
    labelHome_->setText(pick(lang, "HOME", "主页"));
    labelMuteGroups_->setText(pick(lang, "M GROUPS", "静音分组"));
    labelControlGroups_->setText(pick(lang, "C GROUPS", "控制分组"));
    for (int i = 0; i < 5; ++i)
        tabButtons_[static_cast<std::size_t>(i)]->setText(pick(lang, kTabEn[i], kTabZh[i]));
    statusLabel_->setText(statusOnline_ ? pick(lang, "ONLINE", "在线") : pick(lang, "OFFLINE", "离线"));
    for (Page* p : allPages())
        p->setLanguage(lang);
    link_.setLanguage(lang);
    updateReadout();
}

void MainWindow::refreshAllViews() {
    for (Page* p : allPages())
        if (p->isVisible()) p->refresh();
    updateReadout();
    updateViewThumbnails();
}

void MainWindow::updateViewThumbnails() {
    auto inputs = [this](int first, int last) {
        QVector<NavButton::FaderThumb> t;
        for (int c = first; c <= last; ++c)
            t.push_back({state_.in(c).level, state_.in(c).mute != 0});
        return t;
    };
    viewCh1to8_->setThumbnail(inputs(1, 8));
    viewCh9to12_->setThumbnail(inputs(9, 12));
    QVector<NavButton::FaderThumb> outs;
    for (int o = 1; o <= 4; ++o)
        outs.push_back({state_.out(o).level, state_.out(o).mute != 0});
    viewOutputs_->setThumbnail(outs);
}

void MainWindow::openAbout() {
    AboutBox box(this);
    box.exec();
}

void MainWindow::onLinkIndicator(bool on) {
    linkIndicator_->setLampOn(on);
}

void MainWindow::onStatusLabel(bool online, const QString& text) {
    statusOnline_ = online;
    statusLabel_->setText(text);
    statusLabel_->setStyleSheet(online ? "color: #3CE06A;" : "color: #C8CCD2;");
}

void MainWindow::onMessage(const QString& text, const QString& caption) {
    showMessage(this, text, caption, "linkMessage");
}

void MainWindow::onReport(const DispatchResult& r) {
    switch (r.kind) {
    case ReportKind::FullState:
    case ReportKind::Names:
        refreshAllViews();
        break;
    case ReportKind::Status:
        if (r.reportIndicatorOn) reportIndicator_->setLampOn(true);
        for (Page* p : allPages())
            if (p->isVisible()) p->refreshMeters();
        edits_->announce(reportChanges(r));
        break;
    case ReportKind::Levels:
        if (r.moveFaders) {
            // Every bound control follows, unless the user holds it.
            edits_->announce(reportChanges(r));
            updateReadout();
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
    deviceSettings_->busyPopup()->dismiss();
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
