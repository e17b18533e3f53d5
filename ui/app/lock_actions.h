// The surface lock as the user works it: Ctrl+L and the Edit menu's "Lock", the "Locked" bar in
// the menu bar's corner, and the optional PIN, kept in the profile only as a salted hash.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QAction;
class QLabel;
class QMainWindow;
class QMenu;
class QWidget;

namespace quorvel::ui {

class EditController;
class Profile;
class SurfaceLock;

class LockActions : public QObject {
    Q_OBJECT
public:
    static constexpr int kMinPinLength = 4;

    // Asks for a PIN (masked); nothing when the user cancels. Tests answer it themselves.
    using Prompt = std::function<std::optional<QString>(const QString& title, const QString& label)>;

    // surface: the widget whose controls the lock holds back (the scrolled canvas).
    LockActions(QMainWindow& window, QMenu* menu, EditController& edits, const Profile& profile,
                QWidget* surface);
    ~LockActions() override;

    QAction* lockAction() const { return lock_; }
    QAction* setPinAction() const { return setPin_; }
    QWidget* bar() const;
    const SurfaceLock& surface() const { return *surface_; }
    void setPrompt(Prompt prompt) { prompt_ = std::move(prompt); }
    bool pinSet() const;

    // Ctrl+L: locks; on a locked surface unlocks, after the PIN when one is set.
    void toggle();
    // True when the surface is unlocked afterwards.
    bool unlock();
    // The "Set lock PIN..." dialogue: the current PIN first when one is set, then the new one
    // twice. An empty new PIN removes it. True when the profile was changed.
    bool changePin();

private:
    void showLocked(bool locked);
    void refuse(const QString& text, const char* objectName);

    QMainWindow& window_;
    EditController& edits_;
    const Profile& profile_;
    SurfaceLock* surface_;
    QAction* lock_;
    QAction* setPin_;
    QLabel* bar_;
    Prompt prompt_;
};

} // namespace quorvel::ui
