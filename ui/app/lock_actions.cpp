#include "app/lock_actions.h"

#include <QAction>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>

#include "app/lock_surface.h"
#include "binding/edit_controller.h"
#include "link/pin_hash.h"
#include "session/app_profile.h"
#include "widgets/name_dialog.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {

// The bar: a click on it is a way to unlock, for a surface without a keyboard at hand.
class LockBar : public QLabel {
public:
    LockBar(std::function<void()> onClick, QWidget* parent) : QLabel(parent), onClick_(std::move(onClick)) {
        setObjectName("lockBar");
        setAlignment(Qt::AlignCenter);
        setStyleSheet(QStringLiteral("QLabel { background: #E0A020; color: #101010; font-weight: bold;"
                                     " padding: 0 14px; border-radius: 3px; }"));
        setCursor(Qt::PointingHandCursor);
        hide();
    }

protected:
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && onClick_) onClick_();
    }

private:
    std::function<void()> onClick_;
};

std::optional<QString> askWithDialog(QWidget* parent, const QString& title, const QString& label) {
    QInputDialog d(parent);
    d.setObjectName("lockPinDialog");
    d.setWindowTitle(title);
    d.setLabelText(label);
    d.setTextEchoMode(QLineEdit::Password);
    d.setInputMethodHints(Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);
    if (d.exec() != QDialog::Accepted) return std::nullopt;
    return d.textValue();
}

} // namespace

LockActions::LockActions(QMainWindow& window, QMenu* menu, EditController& edits, const Profile& profile,
                         QWidget* surface)
    : QObject(&window), window_(window), edits_(edits), profile_(profile) {
    surface_ = new SurfaceLock(edits_, surface, this);
    prompt_ = [this](const QString& title, const QString& label) {
        return askWithDialog(&window_, title, label);
    };

    lock_ = new QAction(pick("&Lock", "锁定(&L)"), this);
    lock_->setObjectName("actionLock");
    lock_->setCheckable(true);
    lock_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    lock_->setShortcutContext(Qt::WindowShortcut);
    connect(lock_, &QAction::triggered, this, [this] {
        toggle();
        lock_->setChecked(edits_.locked()); // a refused unlock leaves it locked
    });
    setPin_ = new QAction(pick("Set lock &PIN...", "设置锁定密码(&P)..."), this);
    setPin_->setObjectName("actionSetLockPin");
    connect(setPin_, &QAction::triggered, this, [this] { changePin(); });
    if (menu) {
        menu->addSeparator();
        menu->addAction(lock_);
        menu->addAction(setPin_);
    }
    // The shortcut also works while the menu bar is hidden or the menu is elsewhere.
    window_.addAction(lock_);

    // The bar sits in the menu bar's corner: showing it moves nothing on the surface, and the
    // menu bar keeps its height.
    const int menuHeight = window_.menuBar()->sizeHint().height();
    bar_ = new LockBar([this] { toggle(); }, window_.menuBar());
    bar_->setFixedHeight(std::max(12, menuHeight - 6));
    window_.menuBar()->setCornerWidget(bar_, Qt::TopRightCorner);

    connect(&edits_, &EditController::lockChanged, this, &LockActions::showLocked);
    showLocked(edits_.locked());
}

LockActions::~LockActions() = default;

QWidget* LockActions::bar() const {
    return bar_;
}

bool LockActions::pinSet() const {
    return !profile_.readLockPinHash().isEmpty();
}

void LockActions::showLocked(bool locked) {
    lock_->setChecked(locked);
    // The PIN is changed on an unlocked surface only.
    setPin_->setEnabled(!locked);
    bar_->setText(pick("Locked", "已锁定"));
    bar_->setToolTip(pick("The surface is locked. Ctrl+L or a click here unlocks it.",
                          "界面已锁定。按 Ctrl+L 或点击此处解锁。"));
    bar_->setVisible(locked);
}

void LockActions::refuse(const QString& text, const char* objectName) {
    showMessage(&window_, text, {}, QString::fromLatin1(objectName));
}

void LockActions::toggle() {
    if (!edits_.locked()) {
        edits_.setLocked(true);
        return;
    }
    unlock();
}

bool LockActions::unlock() {
    if (!edits_.locked()) return true;
    const QString stored = profile_.readLockPinHash();
    if (!stored.isEmpty()) {
        const std::optional<QString> pin = prompt_(pick("Unlock", "解锁"), pick("PIN:", "密码:"));
        if (!pin) return false;
        if (!verifyPin(pin->toStdString(), stored.toStdString())) {
            refuse(pick("Wrong PIN. The surface stays locked.", "密码错误，界面保持锁定。"), "lockWrongPin");
            return false;
        }
    }
    edits_.setLocked(false);
    return true;
}

bool LockActions::changePin() {
    if (edits_.locked()) return false;
    const QString title = pick("Lock PIN", "锁定密码");
    const QString stored = profile_.readLockPinHash();
    if (!stored.isEmpty()) {
        const std::optional<QString> current = prompt_(title, pick("Current PIN:", "当前密码:"));
        if (!current) return false;
        if (!verifyPin(current->toStdString(), stored.toStdString())) {
            refuse(pick("Wrong PIN. The PIN is unchanged.", "密码错误，密码未更改。"), "lockWrongPin");
            return false;
        }
    }
    const std::optional<QString> pin =
        prompt_(title, pick("New PIN (empty: no PIN):", "新密码（留空则不设密码）:"));
    if (!pin) return false;
    QString hash;
    if (!pin->isEmpty()) {
        if (pin->size() < kMinPinLength) {
            refuse(pick("A PIN has at least 4 characters.", "密码至少 4 个字符。"), "lockPinShort");
            return false;
        }
        const std::optional<QString> again = prompt_(title, pick("Repeat the new PIN:", "再次输入新密码:"));
        if (!again) return false;
        if (*again != *pin) {
            refuse(pick("The two PINs differ. The PIN is unchanged.", "两次输入的密码不同，密码未更改。"),
                   "lockPinMismatch");
            return false;
        }
        hash = QString::fromStdString(hashPin(pin->toStdString()));
        if (hash.isEmpty()) {
            refuse(pick("The PIN could not be stored.", "无法保存密码。"), "lockPinFailed");
            return false;
        }
    }
    if (!profile_.writeLockPinHash(hash)) {
        refuse(pick("The PIN could not be stored.", "无法保存密码。"), "lockPinFailed");
        return false;
    }
    return true;
}

} // namespace quorvel::ui
