#include "controls/skin_label.h"

#include <QPainter>

#include <cmath>

#include "controls/skin_store.h"

namespace quorvel {

namespace {
// The device's longest texts fit easily; anything longer is garbage from a report.
constexpr int kMaxTextLength = 512;
} // namespace

QString formatLabelValue(double value, const LabelNumber& n) {
    if ((n.offMode == 1 && value == n.offLow) || (n.offMode == 2 && value == n.offHigh))
        return n.prefix + QStringLiteral("OFF");
    const double c = n.divisor != 0.0 ? value / n.divisor : value;
    const double shown = c - n.offset;
    if (c != std::trunc(c)) return n.prefix + QString::asprintf("%0.1f", shown) + n.suffix;
    return n.prefix + QString::number(static_cast<long long>(std::trunc(shown))) + n.suffix;
}

SkinLabel::SkinLabel(int id, QWidget* parent) : QWidget(parent), id_(id) {}

void SkinLabel::setText(const QString& t) {
    text_ = t.left(kMaxTextLength);
    setToolTip(text_);
    update();
}

void SkinLabel::setTextMode(bool on) {
    textMode_ = on;
    refreshText();
}

void SkinLabel::setValue(double v) {
    value_ = v;
    refreshText();
}

void SkinLabel::setNumber(const LabelNumber& n) {
    number_ = n;
    refreshText();
}

void SkinLabel::refreshText() {
    if (!textMode_)
        setText(formatLabelValue(value_, number_));
    else
        update();
}

void SkinLabel::setFontSize(qreal points) {
    fontSize_ = points;
    update();
}

void SkinLabel::setAlignment(int a) {
    alignment_ = a;
    update();
}

void SkinLabel::setTextColor(const QColor& c) {
    textColor_ = c;
    update();
}

void SkinLabel::setTransparent(bool on) {
    transparent_ = on;
    update();
}

void SkinLabel::setFill(const QColor& c) {
    fill_ = c;
    update();
}

void SkinLabel::setFrame(Frame f) {
    frame_ = f;
    update();
}

void SkinLabel::setImage(int imageId) {
    image_ = SkinStore::has(imageId) ? imageId : 0;
    if (image_) resize(SkinStore::naturalSize(image_));
    update();
}

QSize SkinLabel::sizeHint() const {
    if (image_) return SkinStore::naturalSize(image_);
    const QFontMetrics fm(SkinStore::font(fontSize_, true));
    return {fm.horizontalAdvance(text_) + 8, fm.height() + 4};
}

void SkinLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!transparent_) p.fillRect(rect(), fill_);
    if (frame_ == Sunken) {
        p.setPen(QColor(0x0A, 0x0C, 0x10));
        p.drawLine(0, 0, width() - 1, 0);
        p.drawLine(0, 0, 0, height() - 1);
        p.setPen(QColor(0x4A, 0x54, 0x61));
        p.drawLine(0, height() - 1, width() - 1, height() - 1);
        p.drawLine(width() - 1, 0, width() - 1, height() - 1);
    } else if (frame_ == BlackEdge) {
        p.setPen(Qt::black);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    if (image_) {
        p.drawPixmap(0, 0, SkinStore::pixmap(image_, size(), p.device()->devicePixelRatioF()));
        return;
    }
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(textColor_);
    p.setFont(SkinStore::font(fontSize_, true));
    static constexpr Qt::Alignment kH[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
    static constexpr Qt::Alignment kV[] = {Qt::AlignTop, Qt::AlignVCenter, Qt::AlignBottom};
    const int a = alignment_ >= 0 && alignment_ <= 2 ? alignment_ : 1;
    p.drawText(rect(), kH[a] | kV[a] | Qt::TextSingleLine, text_);
}

} // namespace quorvel
