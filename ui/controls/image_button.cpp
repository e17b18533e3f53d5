#include "controls/image_button.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "controls/skin_store.h"

namespace quorvel {

ImageButton::ImageButton(int id, QWidget* parent) : QWidget(parent), id_(id) {
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
    setMouseTracking(true);
}

void ImageButton::setImages(int imageA, int imageB) {
    imageA_ = SkinStore::has(imageA) ? imageA : 0;
    imageB_ = SkinStore::has(imageB) ? imageB : 0;
    const QSize a = imageA_ ? SkinStore::naturalSize(imageA_) : QSize();
    if (a.isValid()) {
        switch (sizeMode_) {
        case 0:
            resize(width(), a.height() / 2);
            break;
        case 1:
            resize(a);
            break;
        case 2:
            resize(a.width() / 2, a.height() / 2);
            break;
        default:
            break;
        }
    }
    update();
}

void ImageButton::setImageC(int imageC) {
    imageC_ = SkinStore::has(imageC) ? imageC : 0;
    update();
}

void ImageButton::setText(const QString& t) {
    if (t == text_) return;
    text_ = t;
    update();
}

void ImageButton::setStyle(int s) {
    style_ = s;
    update();
}

void ImageButton::setOn(bool on) {
    if (on == on_) return;
    on_ = on;
    update();
}

void ImageButton::setGrayed(bool g) {
    grayed_ = g;
    update();
}

void ImageButton::setShowText(bool on) {
    showText_ = on;
    update();
}

void ImageButton::setTextSize(qreal points) {
    textSize_ = points;
    update();
}

void ImageButton::setTextColors(QColor normal, QColor on) {
    textColorNormal_ = normal;
    textColorOn_ = on;
    update();
}

void ImageButton::setIndicators(bool show, int count, int level) {
    showIndicators_ = show;
    indicatorCount_ = count;
    indicatorLevel_ = level;
    update();
}

int ImageButton::currentImage() const {
    if (style_ == Push) {
        if (grayed_) return imageA_;
        return (pressed_ || hovered_) ? imageB_ : imageA_;
    }
    if (style_ == Toggle) {
        if (grayed_) return imageC_;
        return on_ ? imageB_ : imageA_;
    }
    return 0;
}

QSize ImageButton::sizeHint() const {
    if (imageA_) return SkinStore::naturalSize(imageA_);
    return {80, 24};
}

void ImageButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    if (const int img = currentImage())
        p.drawPixmap(0, 0, SkinStore::pixmap(img, size(), p.device()->devicePixelRatioF()));

    if (showText_ && !text_.isEmpty()) {
        textColor_ = on_ ? textColorOn_ : textColorNormal_;
        p.setPen(textColor_);
        p.setFont(SkinStore::font(textSize_));
        p.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text_);
    }

    if (showIndicators_ && indicatorCount_ > 0) {
        // Marks fill from the left in proportion to the level (0..70 in the device's encoding),
        // a miniature of the channel's fader.
        const int top = 5, bottom = height() - 5;
        const int first = (width() - indicatorCount_ * 8) / 2 + 3;
        const int lit = qBound(0, (indicatorLevel_ * indicatorCount_ + 69) / 70, indicatorCount_);
        for (int i = 0; i < indicatorCount_; ++i) {
            const QRect mark(first + i * 8, top, 3, qMax(0, bottom - top));
            p.fillRect(mark, i < lit ? QColor(0x19, 0xC8, 0xE6, 200) : QColor(0x5A, 0x66, 0x74, 120));
        }
    }
}

void ImageButton::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !isEnabled()) return;
    pressed_ = true;
    update();
}

void ImageButton::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !pressed_) return;
    pressed_ = false;
    update();
    if (rect().contains(e->position().toPoint()) && isEnabled()) emit clicked(id_);
}

void ImageButton::mouseMoveEvent(QMouseEvent* e) {
    const bool inside = rect().contains(e->position().toPoint());
    if (inside != hovered_) {
        hovered_ = inside;
        update();
    }
}

void ImageButton::keyPressEvent(QKeyEvent* e) {
    if (isEnabled() &&
        (e->key() == Qt::Key_Space || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) {
        emit clicked(id_);
        return;
    }
    QWidget::keyPressEvent(e);
}

void ImageButton::enterEvent(QEnterEvent* e) {
    hovered_ = true;
    update();
    QWidget::enterEvent(e);
}

void ImageButton::leaveEvent(QEvent* e) {
    hovered_ = false;
    update();
    QWidget::leaveEvent(e);
}

} // namespace quorvel
