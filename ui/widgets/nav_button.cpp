#include "widgets/nav_button.h"

#include <algorithm>

#include <QEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "widgets/skin_painter.h"

namespace quorvel::ui {

NavButton::NavButton(Style style, QWidget* parent) : QAbstractButton(parent), style_(style) {
    setCheckable(style != Style::Link);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void NavButton::changeEvent(QEvent* event) {
    // A button that does nothing yet (Search before discovery exists) must not invite a click.
    if (event->type() == QEvent::EnabledChange)
        setCursor(isEnabled() ? Qt::PointingHandCursor : Qt::ArrowCursor);
    QAbstractButton::changeEvent(event);
}

void NavButton::setLampOn(bool on) {
    if (lampOn_ == on) return;
    lampOn_ = on;
    update();
}

void NavButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    const bool on = isChecked() || isDown();
    const qreal radius = style_ == Style::Tab ? 4 : 6;
    // A button that cannot act must not look as if it could.
    if (!isEnabled()) p.setOpacity(0.38);

    QLinearGradient g(r.topLeft(), r.bottomLeft());
    if (on) {
        g.setColorAt(0.0, QColor(0x2A, 0x3C, 0x46));
        g.setColorAt(1.0, QColor(0x18, 0x22, 0x29));
    } else {
        g.setColorAt(0.0, QColor(0x44, 0x4A, 0x54));
        g.setColorAt(0.5, QColor(0x30, 0x35, 0x3C));
        g.setColorAt(1.0, QColor(0x24, 0x28, 0x2E));
    }
    p.setPen(QPen(QColor(0x0A, 0x0B, 0x0D), 1.0));
    p.setBrush(g);
    p.drawRoundedRect(r, radius, radius);
    p.setPen(QPen(QColor(255, 255, 255, on ? 18 : 34), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(1, 1, -1, -1), radius - 1, radius - 1);

    if (on && style_ != Style::Link) {
        // A lit strip along the bottom edge marks the selection, as on hardware tab keys.
        const QRectF bar(r.left() + 6, r.bottom() - 5, r.width() - 12, 3);
        p.setPen(Qt::NoPen);
        p.setBrush(skin::kAccent);
        p.drawRoundedRect(bar, 1.5, 1.5);
    }

    if (style_ == Style::Link) {
        const qreal lampR = std::min(r.width(), r.height()) * 0.16;
        const QPointF c(r.center().x(), r.top() + r.height() * 0.38);
        skin::paintLamp(p, c, lampR, skin::kOnline, lampOn_);
        p.setPen(lampOn_ ? skin::kText : skin::kTextDim);
        p.setFont(skin::uiFont(10, true));
        p.drawText(QRectF(r.left(), r.top() + r.height() * 0.62, r.width(), r.height() * 0.34),
                   Qt::AlignCenter, QStringLiteral("LINK"));
        return;
    }

    if (style_ == Style::View && text().isEmpty()) {
        // A small bank of faders: the view buttons carry their caption in the label below. With a
        // thumbnail set, the caps stand where the strips' faders stand.
        const QColor c = on ? skin::kAccent : skin::kTextDim;
        static const QVector<FaderThumb> kIdle = {{32, false}, {49, false}, {21, false}, {38, false}};
        const QVector<FaderThumb>& faders = thumbs_.isEmpty() ? kIdle : thumbs_;
        const int n = static_cast<int>(faders.size());
        const qreal w = r.width() * (n > 4 ? 0.8 : 0.5), x0 = r.center().x() - w / 2,
                    top = r.top() + r.height() * 0.22, bottom = r.bottom() - r.height() * 0.22;
        const qreal capW = std::min<qreal>(10, w / n - 2);
        for (int i = 0; i < n; ++i) {
            const qreal x = x0 + w * (i + 0.5) / n;
            p.setPen(QPen(QColor(0x10, 0x11, 0x14), 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(x, top), QPointF(x, bottom));
            const int level = std::clamp(faders[i].level, 0, 70);
            const qreal y = top + (bottom - top) * (70 - level) / 70.0;
            p.setPen(Qt::NoPen);
            p.setBrush(faders[i].mute ? QColor(0xE0, 0x3A, 0x3A) : c);
            p.drawRoundedRect(QRectF(x - capW / 2, y - 3, capW, 6), 1.5, 1.5);
        }
        return;
    }

    const int px = style_ == Style::Tab ? 15 : (style_ == Style::View ? 14 : 12);
    p.setFont(skin::uiFont(px, true));
    p.setPen(on ? skin::kAccent.lighter(115) : skin::kText);
    p.drawText(r.adjusted(2, 0, -2, on ? -4 : 0), Qt::AlignCenter, text());
}

void NavButton::setThumbnail(const QVector<FaderThumb>& faders) {
    if (faders == thumbs_) return;
    thumbs_ = faders;
    update();
}

} // namespace quorvel::ui
