#include "app/lock_surface.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTextEdit>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <string_view>

#include "binding/edit_controller.h"
#include "controls/drop_list.h"
#include "controls/fader_ctrl.h"
#include "controls/image_button.h"
#include "controls/response_view.h"
#include "controls/wheel_gate.h"

namespace quorvel::ui {
namespace {

constexpr qreal kDimmedOpacity = 0.4;
constexpr const char* kLockEffect = "surfaceLockEffect";

bool isControl(const QWidget* w) {
    return qobject_cast<const FaderCtrl*>(w) || qobject_cast<const ImageButton*>(w) ||
           qobject_cast<const DropList*>(w) || qobject_cast<const ResponseView*>(w) ||
           qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w) ||
           qobject_cast<const QAbstractItemView*>(w) || qobject_cast<const QAbstractSlider*>(w) ||
           qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QTextEdit*>(w);
}

bool hasPrefix(const QString& name, std::string_view prefix) {
    return name.startsWith(QLatin1String(prefix.data(), static_cast<qsizetype>(prefix.size())));
}

// The readout keeps showing its values plainly; only typing into it is held back.
bool inReadout(const QWidget* w) {
    for (const QWidget* p = w; p; p = p->parentWidget())
        if (p->objectName() == QLatin1String("readoutPanel")) return true;
    return false;
}

bool isInputEvent(QEvent::Type t) {
    switch (t) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::Drop:
    case QEvent::Shortcut: // a button's mnemonic clicks it
        return true;
    default:
        return false;
    }
}

} // namespace

SurfaceLock::SurfaceLock(EditController& edits, QWidget* surface, QObject* parent)
    : QObject(parent), edits_(edits), surface_(surface) {
    connect(&edits_, &EditController::lockChanged, this, &SurfaceLock::apply);
    if (edits_.locked()) apply(true);
}

SurfaceLock::~SurfaceLock() {
    if (active_) qApp->removeEventFilter(this);
}

bool SurfaceLock::navigates(const QWidget* control) {
    const QString name = control->objectName();
    // The header's tabs and views, the link button that leads to the settings, and the control
    // groups it selects for the GROUPS page.
    static constexpr std::array<std::string_view, 6> kPrefixes = {"tab", "view",        "controlGroup",
                                                                  "bus", "settingsTab", "linkIndicator"};
    for (std::string_view p : kPrefixes)
        if (hasPrefix(name, p)) return true;
    // The side panel's ways to other pages, and the strips' ways into their detail pages (the
    // input strip's name button also opens its AUX and EFFECT pages).
    static constexpr std::array<std::string_view, 6> kNames = {
        "returnButton", "phantomPageButton", "systemButton", "groupPageButton", "compButton", "eqThumbnail"};
    for (std::string_view n : kNames)
        if (name == QLatin1String(n.data(), static_cast<qsizetype>(n.size()))) return true;
    if (name == QLatin1String("limiterButton")) return true; // the output strip's way to its limiter
    if (name == QLatin1String("nameButton") && control->parentWidget() &&
        control->parentWidget()->inherits("quorvel::ui::InputStrip"))
        return true;
    return false;
}

const QWidget* SurfaceLock::controlOf(const QWidget* w) const {
    if (!surface_) return nullptr;
    for (const QWidget* p = w; p && p != surface_; p = p->parentWidget()) {
        if (p->isWindow()) return nullptr; // a pop-up or dialog of its own
        if (isControl(p)) return surface_->isAncestorOf(p) ? p : nullptr;
    }
    return nullptr;
}

bool SurfaceLock::holdsBack(const QWidget* w) const {
    const QWidget* c = controlOf(w);
    return c && !navigates(c);
}

bool SurfaceLock::dimmed(const QWidget* control) const {
    const auto* e = qobject_cast<const QGraphicsOpacityEffect*>(control->graphicsEffect());
    return e && e->objectName() == QLatin1String(kLockEffect);
}

void SurfaceLock::dim(QWidget* control) {
    if (control->graphicsEffect() || inReadout(control)) return; // another's effect stays
    auto* effect = new QGraphicsOpacityEffect(control);
    effect->setObjectName(kLockEffect);
    effect->setOpacity(kDimmedOpacity);
    control->setGraphicsEffect(effect);
    dimmed_.emplace_back(control);
}

void SurfaceLock::apply(bool locked) {
    if (locked == active_ || !surface_) return;
    active_ = locked;
    if (locked) {
        // Watched at the application, so a control created or shown later is held back as well.
        qApp->installEventFilter(this);
        for (QWidget* w : surface_->findChildren<QWidget*>())
            if (isControl(w) && holdsBack(w)) dim(w);
        return;
    }
    qApp->removeEventFilter(this);
    for (const QPointer<QWidget>& w : dimmed_)
        if (w && dimmed(w)) w->setGraphicsEffect(nullptr);
    dimmed_.clear();
}

bool SurfaceLock::eventFilter(QObject* watched, QEvent* event) {
    if (!watched->isWidgetType()) return false;
    auto* w = static_cast<QWidget*>(watched);
    const QEvent::Type t = event->type();
    if (t == QEvent::Show) {
        if (isControl(w) && holdsBack(w)) dim(w);
        return false;
    }
    if (t != QEvent::Wheel && !isInputEvent(t)) return false;
    if (!holdsBack(w)) return false;
    if (t == QEvent::Wheel) {
        // The page scrolls instead, as it would over a meter.
        passWheelToPage(w, static_cast<QWheelEvent*>(event));
        return true;
    }
    // A drag that began before the lock must still let go of the pointer it holds; the edit its
    // release makes is refused by the controller.
    if (t == QEvent::MouseButtonRelease && QWidget::mouseGrabber() == w) return false;
    // The focus may still move on from a control that is held back.
    if (t == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab) return false;
    }
    event->accept();
    return true;
}

} // namespace quorvel::ui
