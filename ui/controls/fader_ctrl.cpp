#include "controls/fader_ctrl.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>

#include "controls/skin_store.h"
#include "controls/wheel_gate.h"

namespace quorvel {

namespace {
const QColor kFocusColor(0x19, 0xC8, 0xE6, 0x90);
} // namespace

FaderCtrl::FaderCtrl(int id, QWidget* parent) : QWidget(parent), id_(id) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    handler_.geometry.trackWidth = width();
    handler_.geometry.trackHeight = height();
    refreshToolTip();
}

FaderCtrl::~FaderCtrl() {
    WheelGate::shared().pointerLeft(this);
}

bool FaderCtrl::setTrackBitmaps(int imageId, int fillId, bool transparent) {
    if (imageId == 0) {
        trackId_ = fillId_ = 0;
        update();
        return true;
    }
    if (!SkinStore::has(imageId) || (fillId != 0 && !SkinStore::has(fillId))) {
        trackId_ = fillId_ = 0;
        update();
        return false;
    }
    trackId_ = imageId;
    fillId_ = fillId;
    transparentTrack_ = transparent;
    resize(SkinStore::naturalSize(imageId));
    handler_.geometry.trackWidth = width();
    handler_.geometry.trackHeight = height();
    update();
    return true;
}

bool FaderCtrl::setThumbBitmaps(int imageId, int secondId, bool transparent) {
    if (imageId == 0 || !SkinStore::has(imageId) || (secondId != 0 && !SkinStore::has(secondId))) {
        thumbId_ = thumb2Id_ = 0;
        update();
        return imageId == 0;
    }
    thumbId_ = imageId;
    thumb2Id_ = secondId;
    transparentThumb_ = transparent;
    const QSize s = SkinStore::naturalSize(imageId);
    handler_.geometry.thumbWidth = s.width();
    handler_.geometry.thumbHeight = s.height();
    handler_.geometry.trackWidth = width();
    handler_.geometry.trackHeight = height();
    update();
    return true;
}

void FaderCtrl::setThumbArea(int left, int top, int right, int bottom) {
    FaderGeometry& g = handler_.geometry;
    g.marginLeft = left;
    g.marginTop = top;
    g.marginRight = right;
    g.marginBottom = bottom;
    update();
}

void FaderCtrl::setRange(int minimum, int maximum, bool redraw) {
    handler_.geometry.minimum = minimum;
    handler_.geometry.maximum = maximum;
    if (redraw) update();
}

void FaderCtrl::setMinimum(int value, bool redraw) {
    setRange(value, maximum(), redraw);
}
void FaderCtrl::setMaximum(int value, bool redraw) {
    setRange(minimum(), value, redraw);
}

void FaderCtrl::setPosition(int value) {
    if (handler_.dragging()) return;
    handler_.setPosition(value);
    refreshToolTip();
    // A curve drag moves two knobs per pointer event; painting them at once, each with the panel
    // behind it, cost more than the curve itself. The next paint takes them all together.
    update();
}

void FaderCtrl::setVertical(bool v) {
    handler_.geometry.vertical = v;
    update();
}

void FaderCtrl::setDisplay(const FaderDisplay& d) {
    display_ = d;
    refreshToolTip();
    update();
}

void FaderCtrl::setShowText(bool on) {
    showText_ = on;
    update();
}

void FaderCtrl::setTextHeight(int h) {
    textHeight_ = h;
    update();
}

void FaderCtrl::setTextColor(const QColor& c) {
    textColor_ = c;
    update();
}

void FaderCtrl::setBackgroundColor(const QColor& c) {
    backgroundColor_ = c;
    update();
}

void FaderCtrl::setThumbNumber(int n) {
    thumbNumber_ = n;
    update();
}

void FaderCtrl::setThumbMode(int mode, int detentPosition) {
    thumbMode_ = mode;
    detentPosition_ = detentPosition;
    update();
}

void FaderCtrl::setValueFormatter(std::function<QString(int)> f) {
    formatter_ = std::move(f);
    refreshToolTip();
}

QString FaderCtrl::valueText() const {
    return faderValueText(display_, position(), minimum(), maximum());
}

QSize FaderCtrl::sizeHint() const {
    if (trackId_) return SkinStore::naturalSize(trackId_);
    return handler_.geometry.vertical ? QSize(60, 200) : QSize(100, 15);
}

void FaderCtrl::refreshToolTip() {
    setToolTip(formatter_ ? formatter_(position()) : valueText());
}

QRect FaderCtrl::thumbRect() const {
    const FaderGeometry& g = handler_.geometry;
    const int c = thumbCentre();
    if (g.vertical) return {g.marginLeft, c - g.thumbHeight / 2, g.thumbWidth, g.thumbHeight};
    return {c - g.thumbWidth / 2, g.marginTop, g.thumbWidth, g.thumbHeight};
}

void FaderCtrl::notify(SliderHandler::Notify n) {
    if (n == SliderHandler::Notify::None) return;
    refreshToolTip();
    if (n == SliderHandler::Notify::Changing)
        emit faderChanging(id_, position());
    else
        emit faderChanged(id_, position());
}

void FaderCtrl::paintEvent(QPaintEvent*) {
    const FaderGeometry& g = handler_.geometry;
    QPainter p(this);
    const qreal dpr = p.device()->devicePixelRatioF();
    const QRect all = rect();
    if (!transparentTrack_ && backgroundColor_.isValid()) p.fillRect(all, backgroundColor_);

    const bool on = isEnabled();
    const int centre = thumbCentre();
    if (trackId_) {
        const QPixmap track = SkinStore::pixmap(trackId_, size(), dpr);
        if (on && fillId_) {
            const QPixmap fill = SkinStore::pixmap(fillId_, size(), dpr);
            const QRect fillPart = g.vertical ? QRect(0, 0, width(), centre) : QRect(0, 0, centre, height());
            const QRect trackPart = g.vertical ? QRect(0, centre, width(), height() - centre)
                                               : QRect(centre, 0, width() - centre, height());
            p.save();
            p.setClipRect(fillPart);
            p.drawPixmap(0, 0, fill);
            p.setClipRect(trackPart);
            p.drawPixmap(0, 0, track);
            p.restore();
        } else {
            p.drawPixmap(0, 0, track);
        }
    }

    if (g.vertical && fillId_ && on && showText_) {
        p.setPen(textColor_);
        p.setFont(SkinStore::font(8));
        p.drawText(QRect(0, height() - textHeight_, width(), textHeight_), Qt::AlignCenter, valueText());
    }

    if (thumbId_ && on) {
        bool second = false;
        if (thumbMode_ == 2)
            second = position() == detentPosition_ && thumb2Id_;
        else
            second = handler_.dragging() && thumb2Id_;
        const QRect tr = thumbRect();
        p.drawPixmap(tr.topLeft(), SkinStore::pixmap(second ? thumb2Id_ : thumbId_, tr.size(), dpr));
        if (g.vertical && thumbNumber_ > 0) {
            const int w = g.thumbWidth, h = g.thumbHeight;
            const QRect nr(tr.left() + w / 6, centre + h / 3 - h / 2, w * 2 / 3, h * 2 / 3);
            p.setPen(Qt::white);
            p.setFont(SkinStore::pixelFont(qMax(8, h / 4), true));
            p.drawText(nr, Qt::AlignCenter | Qt::TextSingleLine, QString::number(thumbNumber_));
        }
        if (focusMark_ && hasFocus()) {
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(QPen(kFocusColor, 1.0));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(QRectF(tr).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
        }
    }
    drewWithFocus_ = focusMark_ && hasFocus() && on;
}

void FaderCtrl::mousePressEvent(QMouseEvent* e) {
    if (!isEnabled() || e->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(e);
        return;
    }
    SliderHandler::Notify n = SliderHandler::Notify::None;
    if (!handler_.press(e->position(), e->modifiers(), &n)) return;
    setFocus(Qt::MouseFocusReason);
    grabMouse();
    notify(n);
    repaint();
}

void FaderCtrl::mouseMoveEvent(QMouseEvent* e) {
    if (!isEnabled() || !handler_.dragging()) return;
    const SliderHandler::Notify n = handler_.move(e->position(), e->modifiers());
    if (n != SliderHandler::Notify::None) {
        notify(n);
        repaint();
        QToolTip::showText(e->globalPosition().toPoint(), toolTip(), this);
    }
}

void FaderCtrl::mouseReleaseEvent(QMouseEvent* e) {
    if (!isEnabled() || e->button() != Qt::LeftButton || !handler_.dragging()) return;
    releaseMouse();
    const SliderHandler::Notify n = handler_.release();
    repaint();
    notify(n);
}

void FaderCtrl::mouseDoubleClickEvent(QMouseEvent* e) {
    if (!isEnabled() || e->button() != Qt::LeftButton) return;
    emit faderDoubleClicked(id_, position());
    update();
}

void FaderCtrl::keyPressEvent(QKeyEvent* e) {
    if (!isEnabled()) {
        e->ignore();
        return;
    }
    SliderHandler::Notify n = SliderHandler::Notify::None;
    if (!handler_.key(e->key(), &n)) {
        QWidget::keyPressEvent(e);
        return;
    }
    repaint();
    notify(n);
}

void FaderCtrl::wheelEvent(QWheelEvent* e) {
    if (!isEnabled()) {
        e->ignore();
        return;
    }
    if (!controlTakesWheel(this, e)) return;
    const QPoint d = e->angleDelta();
    const SliderHandler::Notify n = handler_.wheel(d.y() != 0 ? d.y() : -d.x());
    if (n != SliderHandler::Notify::None) {
        repaint();
        notify(n);
    }
    e->accept();
}

void FaderCtrl::enterEvent(QEnterEvent* e) {
    WheelGate::shared().pointerEntered(this);
    QWidget::enterEvent(e);
}

void FaderCtrl::leaveEvent(QEvent* e) {
    WheelGate::shared().pointerLeft(this);
    QWidget::leaveEvent(e);
}

void FaderCtrl::focusInEvent(QFocusEvent* e) {
    QWidget::focusInEvent(e);
    update();
}

void FaderCtrl::focusOutEvent(QFocusEvent* e) {
    QWidget::focusOutEvent(e);
    update();
}

void FaderCtrl::resizeEvent(QResizeEvent* e) {
    handler_.geometry.trackWidth = width();
    handler_.geometry.trackHeight = height();
    QWidget::resizeEvent(e);
}

void FaderCtrl::changeEvent(QEvent* e) {
    // A drag cut short by disabling must not leave the mouse grabbed.
    if (e->type() == QEvent::EnabledChange && !isEnabled() && handler_.dragging()) {
        releaseMouse();
        handler_.release();
    }
    QWidget::changeEvent(e);
}

bool FaderCtrl::event(QEvent* e) {
    // Arrow keys would otherwise move the focus between dialog items instead of the thumb.
    if (e->type() == QEvent::ShortcutOverride) {
        auto* k = static_cast<QKeyEvent*>(e);
        switch (k->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
            if (isEnabled()) {
                e->accept();
                return true;
            }
            break;
        default:
            break;
        }
    }
    return QWidget::event(e);
}

} // namespace quorvel
