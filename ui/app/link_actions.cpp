// The link's headers go first: Qt's keyword macros must not be defined while they are read.
#include "link/connection.h"
#include "link/device_link.h"

#include "app/link_actions.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>

#include "app/main_window.h"
#include "binding/edit_controller.h"
#include "pages/admin/device_settings_page.h"
#include "pages/admin/upload_runner.h"
#include "session/app_profile.h"
#include "session/link_adapter.h"
#include "widgets/skin_painter.h"
#include "widgets/skin_style.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {

QString LinkActions::pendingText(std::size_t count, int lang) {
    if (count == 0) return {};
    if (count == 1) return pick(lang, "1 change not on the device", "1 项更改尚未发送到设备");
    return pick(lang, "%1 changes not on the device", "%1 项更改尚未发送到设备").arg(count);
}

LinkActions::LinkActions(MainWindow& window, LinkAdapter& link, const Profile& profile)
    : QObject(&window), window_(window), link_(link), profile_(profile), language_(languageFlag()) {
    setObjectName("linkActions");
    status_ = window.canvas()->findChild<QLabel*>("statusLabel");
    label_ = new QLabel(window.canvas());
    label_->setObjectName("pendingLabel");
    label_->setFont(skin::uiFont(12, true));
    label_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    skin::styleLabel(label_, skin::LabelTone::Warning);
    label_->hide();
    if (status_) {
        // Room for the longest state the link shows, whatever width the header gives it.
        status_->setMinimumWidth(status_->fontMetrics().horizontalAdvance(QStringLiteral("RECONNECTING")) +
                                 8);
        status_->installEventFilter(this);
    }
    placeLabel();

    QMenu* menu = window.deviceMenu();
    reconnect_ = menu->addAction(QString());
    reconnect_->setObjectName("actionAutoReconnect");
    reconnect_->setCheckable(true);
    reconnect_->setChecked(link_.link().connection().autoReconnect());
    connect(reconnect_, &QAction::toggled, this, &LinkActions::setAutoReconnect);
    sendAll_ = menu->addAction(QString());
    sendAll_->setObjectName("actionSendAll");
    // Sending everything is an edit of the whole device: the lock holds it back like any other.
    connect(sendAll_, &QAction::triggered, this, [this] {
        if (!window_.edits().locked()) push();
    });
    getAll_ = menu->addAction(QString());
    getAll_->setObjectName("actionGetAll");
    connect(getAll_, &QAction::triggered, this, &LinkActions::getAll);
    connect(menu, &QMenu::aboutToShow, this, [this] {
        UploadRunner* runner =
            window_.deviceSettingsPage() ? window_.deviceSettingsPage()->uploadRunner() : nullptr;
        sendAll_->setEnabled(link_.online() && runner && !runner->running() && !window_.edits().locked());
    });

    if (DeviceSettingsPage* page = window.deviceSettingsPage()) {
        // Every bulk transfer (push, scene, reset) holds the device's reports while it runs.
        if (UploadRunner* runner = page->uploadRunner())
            connect(runner, &UploadRunner::progress, this,
                    [this](int, int) { link_.link().connection().expectSilence(); });
        reconnectBox_ = page->reconnectBox();
        reconnectBox_->setChecked(reconnect_->isChecked());
        connect(reconnectBox_, &QCheckBox::toggled, this, &LinkActions::setAutoReconnect);
    }

    connect(&window.edits(), &EditController::userChanged, this,
            [this](const ChangeSet& changes, EditOrigin) { noteUserChange(changes); });
    connect(&link_, &LinkAdapter::reportDispatched, this,
            [this](const DispatchResult& r, const ChangeSet&) { onReport(r); });
    setLanguage(language_);
}

void LinkActions::setLanguage(int lang) {
    language_ = lang;
    reconnect_->setText(pick(lang, "Automatic reconnection", "自动重新连接"));
    sendAll_->setText(pick(lang, "Send all to device", "全部发送到设备"));
    getAll_->setText(pick(lang, "Get all from device", "从设备读取全部"));
    if (reconnectBox_) reconnectBox_->setText(pick(lang, "AUTO RECONNECT", "自动重新连接"));
    showCount();
}

void LinkActions::setAutoReconnect(bool on) {
    {
        const QSignalBlocker a(reconnect_);
        reconnect_->setChecked(on);
    }
    if (reconnectBox_) {
        const QSignalBlocker b(reconnectBox_);
        reconnectBox_->setChecked(on);
    }
    if (link_.link().connection().autoReconnect() == on) return;
    link_.link().connection().setAutoReconnect(on);
    profile_.writeAutoReconnect(on);
}

void LinkActions::noteUserChange(const ChangeSet& changes) {
    // While online the edit went out with its own frames; only what could not go waits.
    if (link_.online()) return;
    // A new offline edit outweighs an earlier "get all" still waiting for its answer.
    pullRequested_ = false;
    pending_.note(changes, link_.state());
    showCount();
}

void LinkActions::onReport(const DispatchResult& r) {
    if (!r.wentOnline) return;
    if (pullRequested_) {
        pullRequested_ = false;
        pull();
        return;
    }
    if (!pending_.empty() && !question_) ask();
}

void LinkActions::ask() {
    auto* box = new QMessageBox(QMessageBox::Question, QStringLiteral("QUORVEL 3.2"),
                                pick(language_,
                                     "Settings were changed on this computer while the device was not "
                                     "connected (%1).\nWhich settings should the device use?",
                                     "设备未连接时本机的设置已更改 (%1).\n设备应使用哪一方的设置?")
                                    .arg(pendingText(pending_.count(), language_)),
                                QMessageBox::NoButton, &window_);
    box->setObjectName("pushPullQuestion");
    QPushButton* send = box->addButton(
        pick(language_, "Send this computer's settings to the device", "将本机的设置发送到设备"),
        QMessageBox::AcceptRole);
    send->setObjectName("pushButton");
    QPushButton* keep = box->addButton(pick(language_, "Use the device's settings", "使用设备的设置"),
                                       QMessageBox::RejectRole);
    keep->setObjectName("pullButton");
    // Keeping the device's settings changes nothing on stage: the safe answer to a stray Enter.
    box->setDefaultButton(keep);
    box->setEscapeButton(keep);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, box, send](int) {
        if (box->clickedButton() == send)
            push();
        else
            pull();
    });
    question_ = box;
    box->open();
}

bool LinkActions::push() {
    if (!link_.online()) return false;
    // The full-state report has overwritten the computer's values; the copy taken at the last
    // offline edit is what must go out.
    if (pending_.restoreInto(link_.state())) window_.edits().announce(ChangeSet::everything());
    return startUpload();
}

bool LinkActions::startUpload() {
    DeviceSettingsPage* page = window_.deviceSettingsPage();
    UploadRunner* runner = page ? page->uploadRunner() : nullptr;
    if (!runner || !runner->start()) return false;
    pending_.clear();
    showCount();
    connect(
        runner, &UploadRunner::finished, this,
        [this](bool completed) {
            // Cut off part-way: the device holds a mixture, so all of this computer's state waits.
            if (!completed) {
                pending_.note(ChangeSet::everything(), link_.state());
                showCount();
            }
        },
        Qt::SingleShotConnection);
    return true;
}

void LinkActions::pull() {
    pending_.clear();
    showCount();
}

void LinkActions::getAll() {
    pullRequested_ = true;
    if (link_.online()) {
        link_.link().connection().requestFullState();
        return;
    }
    // Offline the page's CONNECT does it, with its checks (an update or a search holds the port).
    if (DeviceSettingsPage* page = window_.deviceSettingsPage())
        page->pressConnect();
    else
        link_.pressConnect();
}

void LinkActions::showCount() {
    const QString text = pendingText(pending_.count(), language_);
    label_->setText(text);
    label_->setVisible(!text.isEmpty());
    if (!text.isEmpty()) label_->raise();
}

void LinkActions::placeLabel() {
    if (!status_) return;
    const QRect s = status_->geometry();
    label_->setGeometry(s.right() + 8, s.top(), 320, s.height());
}

bool LinkActions::eventFilter(QObject* watched, QEvent* event) {
    if (watched == status_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        placeLabel();
    return QObject::eventFilter(watched, event);
}

} // namespace quorvel::ui
