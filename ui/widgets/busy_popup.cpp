#include "widgets/busy_popup.h"

#include <QPainter>

#include "widgets/skin_painter.h"

namespace quorvel::ui {

BusyPopup::BusyPopup(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("busyPopup");
    setFixedSize(kWidth, kHeight);
    setCursor(Qt::ArrowCursor);
    setAttribute(Qt::WA_ShowWithoutActivating);
    timer_.setInterval(kStepMs);
    connect(&timer_, &QTimer::timeout, this, &BusyPopup::advance);
}

void BusyPopup::popup() {
    if (QWidget* owner = parentWidget()) {
        const QWidget* top = owner->window();
        const QPoint centre = top->mapToGlobal(top->rect().center());
        move(centre - QPoint(kWidth / 2, kHeight / 2));
    }
    x_ = 10;
    step_ = 10;
    show();
    raise();
    repaint();
    timer_.start();
}

void BusyPopup::dismiss() {
    timer_.stop();
    hide();
}

void BusyPopup::hideEvent(QHideEvent* event) {
    timer_.stop();
    QWidget::hideEvent(event);
}

QRect BusyPopup::squaresRect(int x) const {
    return QRect(x, y_, 30, 10);
}

void BusyPopup::advance() {
    const int oldX = x_;
    if (width() - x_ < 60) {
        step_ = -10;
        x_ -= 10;
    } else if (x_ >= 10 && x_ < 20) {
        step_ = 10;
    }
    x_ += step_;
    // Only the strip the squares leave and the place they move to need painting.
    update(squaresRect(oldX).united(squaresRect(x_)).adjusted(-1, -1, 1, 1));
}

void BusyPopup::paintSquares(QPainter& p) {
    static const QColor kFill[3] = {QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255)};
    for (int i = 0; i < 3; ++i) {
        const QRect sq(x_ + i * 10, y_, 10, 10);
        p.fillRect(sq, kFill[i]);
        // Green 3-D frame: light on the top and left, dark on the bottom and right.
        p.setPen(QColor(0, 200, 0));
        p.drawLine(sq.topLeft(), sq.topRight());
        p.drawLine(sq.topLeft(), sq.bottomLeft());
        p.setPen(QColor(0, 96, 0));
        p.drawLine(sq.bottomLeft(), sq.bottomRight());
        p.drawLine(sq.topRight(), sq.bottomRight());
    }
}

void BusyPopup::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int w = width(), h = height();
    // Vertical gradient of 64 steps from white; each row takes step row * 63 / h.
    for (int row = 0; row < h; ++row) {
        const int i = row * 63 / h;
        p.setPen(QColor(255 - i / 3, 255 - i / 3, 255 - i / 5));
        p.drawLine(0, row, w - 1, row);
    }
    // Bevel: a 3-pixel light edge and a 2-pixel shadow inside the border.
    p.setPen(QPen(QColor(255, 255, 255), 3));
    p.drawLine(2, 2, w - 3, 2);
    p.drawLine(2, 2, 2, h - 3);
    p.setPen(QPen(QColor(128, 128, 128), 2));
    p.drawLine(3, h - 3, w - 3, h - 3);
    p.drawLine(w - 3, 3, w - 3, h - 3);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 0, 0), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 5, 5);
    p.setRenderHint(QPainter::Antialiasing, false);

    paintSquares(p);

    p.setRenderHint(QPainter::TextAntialiasing);
    QFont f = skin::uiFont(12);
    f.setPointSize(12);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(QRect(0, 2, w, 16), Qt::AlignCenter, QStringLiteral("Please wait!"));
}

} // namespace quorvel::ui
