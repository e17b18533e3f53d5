#include "pages/strip_placeholder.h"

#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>

#include "app/measure.h"
#include "app/skin_painter.h"
#include "app/ui_text.h"
#include "link/gbk.h"
#include "link/reports.h"

namespace quorvel::ui {
namespace {
constexpr int kMeterWidth = 14;
constexpr int kTop = 48;
constexpr int kBottomReserve = 118;
constexpr int kSegments = 35; // two meter steps each
} // namespace

StripPlaceholder::StripPlaceholder(DeviceState& state, bool output, int index, QWidget* parent)
    : Page(state, parent), output_(output), index_(index) {
    language_ = languageFlag();
}

void StripPlaceholder::bindTo(int index) {
    index_ = index;
    refresh();
}

void StripPlaceholder::setLanguage(int languageFlag) {
    language_ = languageFlag;
    update();
}

int StripPlaceholder::level() const {
    return output_ ? state_.output[static_cast<std::size_t>(index_)].level
                   : state_.input[static_cast<std::size_t>(index_)].level;
}

bool StripPlaceholder::muted() const {
    return output_ ? state_.output[static_cast<std::size_t>(index_)].mute != 0
                   : state_.input[static_cast<std::size_t>(index_)].mute != 0;
}

bool StripPlaceholder::hasMeter() const {
    return output_ ? index_ < 4 : index_ < kAnalogInputs;
}

int StripPlaceholder::meterValue() const {
    if (!hasMeter()) return 0;
    return quorvel::shownMeter(output_ ? state_.output[static_cast<std::size_t>(index_)].meter
                                       : state_.input[static_cast<std::size_t>(index_)].meter);
}

QString StripPlaceholder::name() const {
    const NameField& f = output_ ? state_.output[static_cast<std::size_t>(index_)].name
                                 : state_.input[static_cast<std::size_t>(index_)].name;
    QString n = QString::fromStdString(gbkToUtf8(nameView(f))).trimmed();
    if (n.isEmpty())
        n = output_ ? QStringLiteral("OUT %1").arg(index_ + 1) : QStringLiteral("CH %1").arg(index_ + 1);
    return n;
}

QRect StripPlaceholder::meterRect() const {
    return QRect(width() - kMeterWidth - 14, kTop + 10, kMeterWidth, height() - kTop - kBottomReserve - 10);
}

void StripPlaceholder::refresh() {
    shownMeter_ = meterValue();
    update();
}

void StripPlaceholder::refreshMeters() {
    const int v = meterValue();
    if (v == shownMeter_) return;
    shownMeter_ = v;
    update(meterRect());
}

void StripPlaceholder::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect meter = meterRect();

    if (!event->rect().contains(rect()) && meter.contains(event->rect())) {
        // Meter-only repaint: the rest of the strip is untouched.
    } else {
        const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
        skin::paintPanel(p, r);

        // Name plate.
        const QRectF plate(r.left() + 8, r.top() + 8, r.width() - 16, 30);
        p.setPen(QPen(QColor(0x0A, 0x0B, 0x0D), 1));
        p.setBrush(QColor(0x12, 0x14, 0x18));
        p.drawRoundedRect(plate, 4, 4);
        p.setPen(skin::kText);
        p.setFont(skin::uiFont(15, true));
        p.drawText(plate, Qt::AlignCenter, name());

        // Fader track with its dB scale.
        const qreal trackX = r.left() + r.width() * 0.40;
        const qreal top = meter.top() + 6, bottom = meter.bottom() - 6;
        p.setPen(QPen(QColor(0x07, 0x08, 0x0A), 5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(trackX, top), QPointF(trackX, bottom));
        p.setFont(skin::uiFont(10));
        for (int db : {10, 0, -10, -20, -30, -40, -60}) {
            const qreal y = bottom - (bottom - top) * (db + 60) / 70.0;
            p.setPen(QPen(skin::kTextDim, 1));
            p.drawLine(QPointF(trackX - 16, y), QPointF(trackX - 9, y));
            p.drawText(QRectF(r.left() + 4, y - 7, trackX - 22 - r.left(), 14),
                       Qt::AlignRight | Qt::AlignVCenter, QString::number(db));
        }
        const qreal capY = bottom - (bottom - top) * level() / 70.0;
        const QRectF cap(trackX - 20, capY - 11, 40, 22);
        QLinearGradient cg(cap.topLeft(), cap.bottomLeft());
        cg.setColorAt(0.0, QColor(0xD8, 0xDC, 0xE2));
        cg.setColorAt(0.45, QColor(0x9A, 0xA0, 0xA8));
        cg.setColorAt(0.55, QColor(0x70, 0x76, 0x7E));
        cg.setColorAt(1.0, QColor(0xB0, 0xB5, 0xBC));
        p.setPen(QPen(QColor(0x10, 0x10, 0x12), 1));
        p.setBrush(cg);
        p.drawRoundedRect(cap, 3, 3);
        p.setPen(QPen(QColor(0x20, 0x20, 0x22), 2));
        p.drawLine(QPointF(cap.left() + 4, cap.center().y()), QPointF(cap.right() - 4, cap.center().y()));

        // Level and mute.
        const qreal base = r.bottom() - kBottomReserve + 8;
        const QRectF valueBox(r.left() + 10, base, r.width() - 20, 28);
        p.setPen(QPen(QColor(0x0A, 0x0B, 0x0D), 1));
        p.setBrush(QColor(0x0E, 0x10, 0x13));
        p.drawRoundedRect(valueBox, 4, 4);
        p.setPen(skin::kAccent);
        p.setFont(skin::uiFont(15, true));
        p.drawText(valueBox, Qt::AlignCenter, QStringLiteral("%1 dB").arg(level() - 60));

        const QRectF muteBox(r.left() + 10, base + 38, r.width() - 20, 32);
        const bool m = muted();
        QLinearGradient mg(muteBox.topLeft(), muteBox.bottomLeft());
        mg.setColorAt(0.0, m ? QColor(0xE0, 0x3A, 0x32) : QColor(0x40, 0x45, 0x4D));
        mg.setColorAt(1.0, m ? QColor(0x96, 0x1E, 0x1A) : QColor(0x26, 0x2A, 0x30));
        p.setPen(QPen(QColor(0x0A, 0x0B, 0x0D), 1));
        p.setBrush(mg);
        p.drawRoundedRect(muteBox, 5, 5);
        p.setPen(m ? QColor(Qt::white) : skin::kText);
        p.setFont(skin::uiFont(13, true));
        p.drawText(muteBox, Qt::AlignCenter, pick(language_, "MUTE", "静音"));
    }

    // Meter: lit segments up to the shown value, green, then amber, then red near the top.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(meter, QColor(0x08, 0x09, 0x0B));
    if (hasMeter()) {
        const int lit = (shownMeter_ * kSegments + 69) / 70;
        const qreal seg = (meter.height() - 2) / static_cast<qreal>(kSegments);
        for (int i = 0; i < kSegments; ++i) {
            const QColor on = i >= 31 ? QColor(0xF0, 0x40, 0x36)
                                      : (i >= 25 ? QColor(0xF2, 0xB8, 0x30) : QColor(0x3C, 0xD8, 0x64));
            const QColor c = i < lit ? on : on.darker(520);
            const qreal y = meter.bottom() - 1 - (i + 1) * seg;
            p.fillRect(QRectF(meter.left() + 2, y + 1, meter.width() - 4, seg - 1.5), c);
        }
        if (event->rect().intersects(meter)) measure::markMeterPainted();
    }
}

} // namespace quorvel::ui
