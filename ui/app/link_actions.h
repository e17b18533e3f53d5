// What the shell does around the live link beyond CONNECT: automatic reconnection (the setting and
// its two switches), the count of edits made while offline, the push-or-pull question when the
// link comes back with such edits, and sending or getting everything on demand.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include "link/pending_edits.h"
#include "link/reports.h"

class QAction;
class QCheckBox;
class QLabel;

namespace quorvel::ui {

class EditController;
class LinkAdapter;
class MainWindow;
class Profile;
class UploadRunner;

class LinkActions : public QObject {
    Q_OBJECT
public:
    LinkActions(MainWindow& window, LinkAdapter& link, const Profile& profile);

    const PendingEdits& pending() const { return pending_; }
    QLabel* pendingLabel() const { return label_; }
    QAction* reconnectAction() const { return reconnect_; }
    QAction* sendAllAction() const { return sendAll_; }
    QAction* getAllAction() const { return getAll_; }
    // The open push-or-pull question, if any.
    QMessageBox* question() const { return question_; }

    // Stored in the profile; this run's link follows at once.
    void setAutoReconnect(bool on);
    // Puts the computer's settings back when they were pending, then the bulk upload.
    bool push();
    // Keeps what the device reported; the pending edits are given up.
    void pull();
    // A new handshake; offline it is CONNECT.
    void getAll();
    void setLanguage(int languageFlag);

    // "3 changes not on the device"; empty for none.
    static QString pendingText(std::size_t count, int languageFlag);

private:
    void noteUserChange(const ChangeSet& changes);
    void onReport(const DispatchResult& r);
    void ask();
    void showCount();
    void placeLabel();
    bool startUpload();
    bool eventFilter(QObject* watched, QEvent* event) override;

    MainWindow& window_;
    LinkAdapter& link_;
    const Profile& profile_;
    PendingEdits pending_;
    QLabel* status_ = nullptr;
    QLabel* label_ = nullptr;
    QAction* reconnect_ = nullptr;
    QAction* sendAll_ = nullptr;
    QAction* getAll_ = nullptr;
    QCheckBox* reconnectBox_ = nullptr;
    QPointer<QMessageBox> question_;
    bool pullRequested_ = false;
    int language_ = 1;
};

} // namespace quorvel::ui
