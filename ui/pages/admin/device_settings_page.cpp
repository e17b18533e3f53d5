#include "pages/admin/device_settings_page.h"

#include "pages/admin/firmware_tab.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QTimer>
#include <QTreeWidget>

#include "admin/factory_reset.h"
#include "binding/edit_controller.h"
#include "link/device_link.h"
#include "pages/admin/ask.h"
#include "pages/admin/device_search.h"
#include "pages/admin/scene_panel.h"
#include "pages/admin/unit_panel.h"
#include "pages/admin/upload_runner.h"

#include "session/app_profile.h"
#include "session/link_adapter.h"
#include "widgets/busy_popup.h"
#include "widgets/name_dialog.h"
#include "widgets/nav_button.h"
#include "widgets/skin_painter.h"
#include "widgets/skin_style.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {

const char* const kTabEn[DeviceSettingsPage::TabCount] = {"CONNECT", "SET", "SHOW", "HELP", "DISPLAY"};
const char* const kTabZh[DeviceSettingsPage::TabCount] = {"连接", "设置", "演出", "帮助", "显示"};
const char* const kTabObject[DeviceSettingsPage::TabCount] = {
    "settingsTabConnect", "settingsTabSet", "settingsTabShow", "settingsTabHelp", "settingsTabDisplay"};
// x of each tab button; SET is never shown.
constexpr int kTabX[DeviceSettingsPage::TabCount] = {100, 0, 250, 400, 550};

QLabel* makeLabel(QWidget* parent, const char* objectName) {
    auto* l = new QLabel(parent);
    l->setObjectName(objectName);
    l->setFont(skin::uiFont(14, true));
    skin::styleLabel(l);
    return l;
}

} // namespace

DeviceSettingsPage::DeviceSettingsPage(DeviceState& state, LinkAdapter& link, const Profile& profile,
                                       QWidget* parent)
    : Page(state, parent), link_(link), profile_(profile) {
    setObjectName("deviceSettingsPage");
    for (int t = 0; t < TabCount; ++t) {
        auto* b = new NavButton(NavButton::Style::Small, this);
        b->setObjectName(kTabObject[t]);
        b->setGeometry(kTabX[t], 50, 100, 24);
        b->setVisible(t != SetTab);
        connect(b, &NavButton::clicked, this, [this, t] { selectTab(t); });
        tabButtons_[static_cast<std::size_t>(t)] = b;
    }

    ipLabel_ = makeLabel(this, "ipLabel");
    ipLabel_->setGeometry(100, 110, 110, 32);
    addressField_ = new QLineEdit(this);
    addressField_->setObjectName("addressField");
    addressField_->setFont(skin::uiFont(16));
    skin::styleEntryField(addressField_);
    addressField_->setGeometry(215, 110, 200, 32);
    addressField_->setMaxLength(15);
    connect(addressField_, &QLineEdit::returnPressed, this, &DeviceSettingsPage::applyAddress);
    addressOk_ = new NavButton(NavButton::Style::Small, this);
    addressOk_->setCheckable(false);
    addressOk_->setObjectName("addressOk");
    addressOk_->setGeometry(425, 110, 70, 32);
    connect(addressOk_, &NavButton::clicked, this, &DeviceSettingsPage::applyAddress);

    spanLabel_ = makeLabel(this, "spanLabel");
    spanLabel_->setGeometry(100, 155, 110, 32);
    spanField_ = new QLineEdit(this);
    spanField_->setObjectName("spanField");
    spanField_->setFont(skin::uiFont(16));
    skin::styleEntryField(spanField_);
    spanField_->setGeometry(215, 155, 200, 32);
    spanField_->setMaxLength(6);
    connect(spanField_, &QLineEdit::returnPressed, this, &DeviceSettingsPage::applySpanTime);
    spanOk_ = new NavButton(NavButton::Style::Small, this);
    spanOk_->setCheckable(false);
    spanOk_->setObjectName("spanOk");
    spanOk_->setGeometry(425, 155, 70, 32);
    connect(spanOk_, &NavButton::clicked, this, &DeviceSettingsPage::applySpanTime);

    search_ = new NavButton(NavButton::Style::Small, this);
    search_->setCheckable(false);
    search_->setObjectName("searchButton");
    search_->setGeometry(100, 210, 120, 38);
    search_->setEnabled(false); // needs the edit path's page (below)
    connect_ = new NavButton(NavButton::Style::Small, this);
    connect_->setObjectName("connectButton");
    connect_->setGeometry(235, 210, 140, 38);
    connect(connect_, &NavButton::clicked, this, &DeviceSettingsPage::pressConnect);
    offline_ = new NavButton(NavButton::Style::Small, this);
    offline_->setCheckable(false);
    offline_->setObjectName("offlineButton");
    offline_->setGeometry(390, 210, 120, 38);
    connect(offline_, &NavButton::clicked, this, [this] { link_.workOffline(); });
    reconnectBox_ = new QCheckBox(this);
    reconnectBox_->setObjectName("reconnectBox");
    reconnectBox_->setFont(skin::uiFont(13, true));
    reconnectBox_->setStyleSheet(ipLabel_->styleSheet()); // the labels' colour on the dark panel
    reconnectBox_->setGeometry(370, 300, 280, 28);

    searchList_ = new QTreeWidget(this);
    searchList_->setObjectName("searchList");
    searchList_->setColumnCount(2);
    searchList_->setRootIsDecorated(false);
    searchList_->setAlternatingRowColors(true);
    skin::styleList(searchList_);
    searchList_->setFont(skin::uiFont(13));
    searchList_->setGeometry(100, 270, 254, 320);
    searchList_->setColumnWidth(0, 150);
    searchList_->setColumnWidth(1, 100);

    firmwareTab_ = new FirmwareTab(state, link, profile, this);
    firmwareTab_->setGeometry(84, 94, 580, 300);
    setVersions_ = new VersionLabels(state, this);
    setVersions_->setGeometry(100, 110, 548, 150);
    // The tab has asked its question already.
    connect(firmwareTab_, &FirmwareTab::recoveryConfirmed, this, &DeviceSettingsPage::factoryReset);
    // The update's socket takes the link port, which a search would still hold.
    connect(firmwareTab_, &FirmwareTab::transferStarting, this, &DeviceSettingsPage::stopSearch);

    popup_ = new BusyPopup(this);

    connect(&link_, &LinkAdapter::connectButton, this, &DeviceSettingsPage::onConnectButton);
    connect(&link_, &LinkAdapter::busyPopup, this, &DeviceSettingsPage::onBusyPopup);

    setLanguage(languageFlag());
    selectTab(ConnectTab);
}

DeviceSettingsPage::DeviceSettingsPage(const PageContext& ctx, QWidget* parent)
    : DeviceSettingsPage(ctx.state, ctx.link, ctx.profile, parent) {
    ctx_ = &ctx;
    deviceSearch_ = new DeviceSearch(this);
    search_->setEnabled(true);
    connect(search_, &NavButton::clicked, this, &DeviceSettingsPage::startSearch);
    connect(deviceSearch_, &DeviceSearch::found, this, &DeviceSettingsPage::addSearchRow);
    searchProgress_ = new QProgressBar(this);
    searchProgress_->setObjectName("searchProgress");
    searchProgress_->setGeometry(370, 270, 254, 16);
    searchProgress_->setTextVisible(false);
    searchProgress_->hide();
    connect(deviceSearch_, &DeviceSearch::progress, this, [this](int sent, int total) {
        searchProgress_->setRange(0, total);
        searchProgress_->setValue(sent);
        if (sent >= total) searchProgress_->hide();
    });
    connect(deviceSearch_, &DeviceSearch::finished, this, [this] { searchProgress_->hide(); });
    connect(searchList_, &QTreeWidget::itemClicked, this, &DeviceSettingsPage::chooseSearchRow);

    DeviceLink& link = ctx.link.link();
    upload_ = new UploadRunner(
        ctx.state, ctx.sink, [&link] { return link.senderIdle(); }, this);
    scenePanel_ = new ScenePanel(ctx, *upload_, this);
    unitPanel_ = new UnitPanel(ctx, this);
    scenePanel_->setGeometry(0, ScenePanel::kTop, 1000, 600);
    unitPanel_->setGeometry(0, UnitPanel::kTop, 1000, 600);
    scenePanel_->hide();
    unitPanel_->hide();
    selectTab(tab_);
}

DeviceSettingsPage::~DeviceSettingsPage() = default;

void DeviceSettingsPage::setLanguage(int lang) {
    language_ = lang;
    title_ = pick(lang, "DEVICE SETTING", "设备设置");
    for (int t = 0; t < TabCount; ++t)
        tabButtons_[static_cast<std::size_t>(t)]->setText(pick(lang, kTabEn[t], kTabZh[t]));
    ipLabel_->setText(pick(lang, "IP:", "设备IP:"));
    spanLabel_->setText(pick(lang, "SPAN TIME:", "时间间隔:"));
    addressOk_->setText(pick(lang, "OK", "确定"));
    spanOk_->setText(pick(lang, "OK", "确定"));
    search_->setText(pick(lang, "Search", "搜索"));
    connect_->setText(state_.link.linkOnline ? pick(lang, "DISCONNECT", "断开")
                                             : pick(lang, "CONNECT", "连接"));
    offline_->setText(pick(lang, "OFFLINE", "离线"));
    reconnectBox_->setText(pick(lang, "AUTO RECONNECT", "自动重新连接"));
    searchList_->setHeaderLabels({pick(lang, "DEVICE IP", "设置IP"), pick(lang, "PORT", "端口")});
    if (scenePanel_) scenePanel_->setLanguage(lang);
    if (unitPanel_) unitPanel_->setLanguage(lang);
    firmwareTab_->setLanguage(lang);
    setVersions_->setLanguage(lang);
    update();
}

void DeviceSettingsPage::selectTab(int tab) {
    // SET has no button: only code (the screenshot walker) selects it.
    if (tab < 0 || tab >= TabCount) return;
    tab_ = tab;
    for (int t = 0; t < TabCount; ++t)
        tabButtons_[static_cast<std::size_t>(t)]->setChecked(t == tab);
    const bool connectTab = tab == ConnectTab;
    for (QWidget* w :
         std::initializer_list<QWidget*>{ipLabel_, addressField_, addressOk_, spanLabel_, spanField_, spanOk_,
                                         search_, connect_, offline_, searchList_, reconnectBox_})
        w->setVisible(connectTab);
    if (searchProgress_) searchProgress_->setVisible(connectTab && deviceSearch_->running());
    if (scenePanel_) scenePanel_->setVisible(tab == ShowTab);
    if (unitPanel_) unitPanel_->setVisible(tab == DisplayTab);
    firmwareTab_->setVisible(tab == HelpTab);
    setVersions_->setVisible(tab == SetTab);
}

void DeviceSettingsPage::refresh() {
    addressField_->setText(QString::fromStdString(state_.link.hostAddress));
    spanField_->setText(QString::number(state_.spanTime));
    // Reconnecting still counts as connected here: the press lets the device go.
    const bool linkUp = state_.link.linkOnline || link_.link().connection().reconnecting();
    connect_->setChecked(linkUp);
    connect_->setText(linkUp ? pick(language_, "DISCONNECT", "断开") : pick(language_, "CONNECT", "连接"));
    firmwareTab_->refresh();
    setVersions_->refresh();
    update();
}

bool DeviceSettingsPage::applyAddress() {
    const QString typed = addressField_->text().trimmed();
    if (!isValidDeviceAddress(typed)) {
        showMessage(
            this,
            pick(language_,
                 "\"%1\" is not a device address. Type four numbers 0-255 separated by dots, "
                 "for example 192.168.1.106.",
                 "\"%1\" 不是有效的设备地址. 请输入四个0-255之间的数字, 以点分隔, 例如 192.168.1.106.")
                .arg(typed),
            pick(language_, "Device address", "设备地址"), "addressRefused");
        return false;
    }
    state_.link.hostAddress = typed.toStdString();
    addressField_->setText(typed);
    if (!profile_.writeHostAddress(typed)) {
        showMessage(this,
                    pick(language_, "The address is used for this run but could not be saved in %1.",
                         "地址已生效, 但无法保存到 %1.")
                        .arg(profile_.filePath()),
                    pick(language_, "Device address", "设备地址"), "addressNotSaved");
    }
    return true;
}

bool DeviceSettingsPage::applySpanTime() {
    bool ok = false;
    const int v = spanField_->text().trimmed().toInt(&ok, 10);
    if (!ok || v < 0 || v > 60000) {
        showMessage(this,
                    pick(language_, "SPAN TIME takes a whole number of milliseconds, 0 to 60000.",
                         "时间间隔应为0到60000之间的整数毫秒."),
                    pick(language_, "SPAN TIME", "时间间隔"), "spanRefused");
        spanField_->setText(QString::number(state_.spanTime));
        return false;
    }
    state_.spanTime = v;
    return true;
}

void DeviceSettingsPage::pressConnect() {
    // The update holds the link port; breaking it off mid-image could leave a device that does
    // not start.
    if (state_.updateBusy && !state_.link.linkOnline) {
        showMessage(this, QStringLiteral("Updateing......."), QString(), "updateBusy");
        return;
    }
    // The search socket holds the link's port; the link needs it now.
    stopSearch();
    const bool wasOnline = state_.link.linkOnline;
    link_.pressConnect();
    // The button shows the link's state, not the click: the link's events move it.
    connect_->setChecked(state_.link.linkOnline);
    if (!wasOnline) emit connectPressed();
}

void DeviceSettingsPage::startSearch() {
    if (!deviceSearch_) return;
    // The update's socket holds the link port; a search socket beside it could take the
    // device's block acknowledgements.
    if (state_.updateBusy) {
        showMessage(
            this, resetting_ ? QStringLiteral("Reseting device.......") : QStringLiteral("Updateing......."),
            QString(), resetting_ ? "resetBusy" : "updateBusy");
        return;
    }
    deviceSearch_->stop();
    // The link's receive loop would take the answers and its socket holds the port: offline
    // first, and the socket handed back once the last Q 0 had its moment to leave.
    const bool linkUp = state_.link.linkOnline || link_.link().socketReady() || state_.link.handshakePending;
    if (linkUp) link_.workOffline();
    search_->setEnabled(false);
    sweepPending_ = true;
    QTimer::singleShot(linkUp ? 100 : 0, this, &DeviceSettingsPage::beginSweep);
}

void DeviceSettingsPage::stopSearch() {
    // A sweep still waiting for the link to let go would otherwise take the port afterwards,
    // from under a new connection or an update.
    sweepPending_ = false;
    search_->setEnabled(deviceSearch_ != nullptr);
    if (deviceSearch_) deviceSearch_->stop();
}

void DeviceSettingsPage::beginSweep() {
    if (!sweepPending_) return;
    sweepPending_ = false;
    search_->setEnabled(true);
    link_.link().releaseSocket(std::chrono::milliseconds(0));
    searchList_->clear();
    QString error;
    if (!deviceSearch_->start(QString::fromStdString(state_.link.hostAddress), state_.link.udpPort,
                              link_.link().transport().loopbackOnly(), error)) {
        // Nothing is sent when nothing could hear the answers.
        showMessage(this, pick("Winsock error!", "Winsock error!") + "\n" + error, QStringLiteral("Warming"),
                    "searchFailed");
        return;
    }
    searchProgress_->setRange(0, 254);
    searchProgress_->setValue(0);
    searchProgress_->setVisible(tab_ == ConnectTab);
}

void DeviceSettingsPage::addSearchRow(const QString& ip, int port) {
    if (!searchList_->findItems(ip, Qt::MatchExactly, 0).isEmpty()) return;
    searchList_->addTopLevelItem(new QTreeWidgetItem({ip, QString::number(port)}));
}

void DeviceSettingsPage::chooseSearchRow(QTreeWidgetItem* item) {
    if (!item) return;
    addressField_->setText(item->text(0));
    applyAddress();
}

void DeviceSettingsPage::setSceneStore(PresetStore* store) {
    if (scenePanel_) scenePanel_->setStore(store);
}

void DeviceSettingsPage::requestFactoryReset() {
    if (!ctx_) return;
    if (resetting_ || state_.updateBusy || (upload_ && upload_->running())) {
        showMessage(this, pick("Reseting device.......", "Reseting device......."), QString(), "resetBusy");
        return;
    }
    askOkCancel(this, pick("If do you recovery the device? ", "是否要恢复出厂化设置？"), QString(),
                "resetQuestion", [this] { factoryReset(); });
}

void DeviceSettingsPage::factoryReset() {
    if (!ctx_ || resetting_ || state_.updateBusy) return;
    // A scene still on its way would carry on with the reset values half-way through and the
    // reset could not be sent: nothing is changed.
    if (upload_ && upload_->running()) {
        showMessage(this, pick("Reseting device.......", "Reseting device......."), QString(), "resetBusy");
        return;
    }
    resetting_ = true;
    state_.updateBusy = true; // LOCAL, UPDATE and a second RECOVERY wait for the reset
    ctx_->edits.announce(applyFactoryReset(state_, language_));
    auto done = [this](bool sent) {
        resetting_ = false;
        state_.updateBusy = false;
        if (sent)
            showMessage(this, pick("Reset successfully.", kResetDoneMessageZh), QString(), "resetDone");
        else
            showMessage(this,
                        pick("The settings were reset here, but sending them to the device was interrupted.",
                             "设置已在本机复位, 但发送到设备时被中断."),
                        QString(), "resetInterrupted");
    };
    if (state_.link.linkOnline && upload_->start()) {
        connect(upload_, &UploadRunner::finished, this, done, Qt::SingleShotConnection);
        return;
    }
    done(true);
}

void DeviceSettingsPage::onConnectButton(bool pressed, const QString& caption) {
    connect_->setChecked(pressed);
    connect_->setText(caption);
}

void DeviceSettingsPage::onBusyPopup(bool show) {
    if (show)
        popup_->popup();
    else
        popup_->dismiss();
}

void DeviceSettingsPage::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
    skin::paintPanel(p, r);
    skin::paintPanelTitle(p, QRectF(r.left(), r.top(), r.width(), 34), title_);
    if (tab_ == ConnectTab) {
        // A quiet frame around the connection controls.
        skin::paintGroupFrame(p, QRectF(84, 94, 440, 170));
    }
}

} // namespace quorvel::ui
