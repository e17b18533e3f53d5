#include "controls/glyph_button.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "controls/skin_store.h"

namespace quorvel {

namespace {
const QStringList kGlyphs{"exit", "min", "max", "maxed", "top", "toped", "tray", "plus", "menu", "color"};

bool isActiveVariant(const QString& g) {
    return g == QLatin1String("toped") || g == QLatin1String("toped_mini") || g == QLatin1String("maxed") ||
           g == QLatin1String("maxed_mini");
}
} // namespace

bool GlyphButton::isKnownGlyph(const QString& glyph) {
    QString base = glyph;
    if (base.endsWith(QLatin1String("_mini"))) base.chop(5);
    return kGlyphs.contains(base);
}

GlyphButton::GlyphButton(int id, QWidget* parent) : QWidget(parent), id_(id) {
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
}

void GlyphButton::setStyle(const GlyphStyle& s, bool redraw) {
    style_ = s;
    if (redraw) update();
}

void GlyphButton::setText(const QString& t) {
    text_ = t;
    update();
}

GlyphButton::State GlyphButton::state() const {
    if (!isEnabled()) return State::Gray;
    if (!hovered_) return State::Normal;
    return pressed_ ? State::Down : State::Over;
}

QRgb GlyphButton::border(State s) const {
    switch (s) {
    case State::Normal:
        return style_.borderNormal;
    case State::Over:
        return style_.borderOver;
    case State::Down:
        return style_.borderDown;
    case State::Gray:
        return style_.borderGray;
    }
    return style_.borderNormal;
}

QRgb GlyphButton::ink(State s) const {
    const bool swap = isActiveVariant(style_.glyph);
    switch (s) {
    case State::Normal:
        return swap ? style_.inkOver : style_.inkNormal;
    case State::Over:
        return swap ? style_.inkNormal : style_.inkOver;
    case State::Down:
        return style_.inkDown;
    case State::Gray:
        return style_.inkGray;
    }
    return style_.inkNormal;
}

QRgb GlyphButton::fill(State s) const {
    switch (s) {
    case State::Normal:
        return style_.fillNormal;
    case State::Over:
        return style_.fillOver;
    case State::Down:
        return style_.fillDown;
    case State::Gray:
        return style_.fillGray;
    }
    return 0;
}

void GlyphButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const State s = state();
    const QRect r = rect().adjusted(0, 0, -1, -1);
    p.setRenderHint(QPainter::Antialiasing, style_.cornerSize > 0);
    p.setPen(QPen(QColor(border(s)), 1));
    const QRgb f = fill(s);
    p.setBrush(f ? QBrush(QColor(f)) : Qt::NoBrush);
    const qreal radius = style_.cornerSize / 2.0;
    p.drawRoundedRect(QRectF(r).adjusted(0.5, 0.5, 0, 0), radius, radius);
    if (style_.focusRing && hasFocus()) {
        p.setPen(QPen(QColor(style_.focusColor), 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(r).adjusted(1.5, 1.5, -1, -1), radius, radius);
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    drawGlyph(p, r.adjusted(2, 2, -2, -2), QColor(ink(s)));
}

void GlyphButton::drawGlyph(QPainter& p, QRect r, QColor ink) const {
    const QString& g = style_.glyph;
    const bool mini = g.endsWith(QLatin1String("_mini"));
    const QString base = mini ? g.left(g.size() - 5) : g;
    p.setPen(QPen(ink, 1));
    p.setBrush(Qt::NoBrush);
    if (!isKnownGlyph(g)) {
        p.setFont(SkinStore::font(8));
        const QRect box = (pressed_ && hovered_) ? rect().translated(1, 1) : rect();
        p.drawText(box, Qt::AlignCenter | Qt::TextSingleLine, text_);
        return;
    }
    if (!mini) r.adjust(1, 1, -1, -1);
    int L = r.left(), T = r.top(), R = r.right(), B = r.bottom();
    // Full variants draw every stroke twice, the second one pixel further in.
    const int passes = mini ? 1 : 2;
    const int midX = (L + R) / 2, midY = (T + B) / 2;
    if (base == QLatin1String("min")) {
        for (int i = 0; i < passes; ++i)
            p.drawLine(L, B - 1 - i, R, B - 1 - i);
    } else if (base == QLatin1String("max") || base == QLatin1String("maxed")) {
        for (int i = 0; i < passes; ++i)
            p.drawRect(QRect(QPoint(L + i, T + i), QPoint(R - i, B - i)));
    } else if (base == QLatin1String("exit")) {
        if (!mini) {
            L += 1;
            T += 2;
            R -= 2;
            B -= 1;
        }
        p.setRenderHint(QPainter::Antialiasing);
        for (int i = 0; i < passes; ++i) {
            p.drawLine(L + i, T, R + i, B);
            p.drawLine(R - 1 - i, T, L - 1 - i, B);
        }
        p.setRenderHint(QPainter::Antialiasing, false);
    } else if (base == QLatin1String("top") || base == QLatin1String("toped")) {
        for (int i = 0; i < passes; ++i) {
            p.drawLine(L, T + i, R, T + i);
            p.drawLine(midX + i, T, midX + i, B);
        }
    } else if (base == QLatin1String("tray")) {
        if (!mini) r.adjust(1, 1, -1, -1);
        L = r.left(), T = r.top(), R = r.right(), B = r.bottom();
        const int arm = mini ? 3 : 6;
        p.setRenderHint(QPainter::Antialiasing);
        for (int i = 0; i < passes; ++i) {
            p.drawLine(L + i, T, R + i, B);
            p.drawLine(R - i, B, R - i, B - arm);
            p.drawLine(R, B - i, R - arm, B - i);
        }
        p.setRenderHint(QPainter::Antialiasing, false);
    } else if (base == QLatin1String("plus")) {
        for (int i = 0; i < passes; ++i) {
            p.drawLine(L, midY + i, R, midY + i);
            p.drawLine(midX + i, T, midX + i, B);
        }
    } else if (base == QLatin1String("menu")) {
        for (int i = 0; i < passes; ++i) {
            p.drawLine(L, T + i, R, T + i);
            p.drawLine(L, midY + i, R, midY + i);
            p.drawLine(L, B - i, R, B - i);
        }
    } else if (base == QLatin1String("color")) {
        for (int i = 0; i < passes; ++i) {
            p.drawLine(L, T + i, R, T + i);
            p.drawLine(L + i, T, L + i, B);
            p.drawLine(L, B - i, R, B - i);
        }
    }
}

void GlyphButton::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !isEnabled()) return;
    pressed_ = true;
    update();
}

void GlyphButton::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !pressed_) return;
    pressed_ = false;
    update();
    if (isEnabled() && rect().contains(e->position().toPoint())) emit clicked(id_);
}

void GlyphButton::keyPressEvent(QKeyEvent* e) {
    if (isEnabled() && e->key() == Qt::Key_Space) {
        emit clicked(id_);
        return;
    }
    QWidget::keyPressEvent(e);
}

void GlyphButton::enterEvent(QEnterEvent* e) {
    hovered_ = true;
    update();
    QWidget::enterEvent(e);
}

void GlyphButton::leaveEvent(QEvent* e) {
    hovered_ = false;
    update();
    QWidget::leaveEvent(e);
}

void GlyphButton::changeEvent(QEvent* e) {
    if (e->type() == QEvent::EnabledChange) {
        pressed_ = false;
        update();
    }
    QWidget::changeEvent(e);
}

} // namespace quorvel
