#include "widgets/skin_painter.h"

#include <QApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPalette>
#include <QRadialGradient>
#include <QStyleFactory>

#include <cmath>
#include <cstdint>

#include "widgets/ui_text.h"
#include <QGuiApplication>

#include "controls/skin_store.h"
#include "widgets/skin_style.h"

namespace quorvel::ui::skin {

namespace {
constexpr int kBackgroundArt = 188;
constexpr int kTitleArt = 180;
} // namespace

QFont uiFont(int pixelSize, bool bold) {
    QFont f(QString::fromLatin1(kUiFontFamily));
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

void applyApplicationLook(QApplication& app) {
    // The desktop's own style may ignore palettes; one known style looks the same everywhere.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) app.setStyle(fusion);
    QPalette pal;
    const QColor window(0x23, 0x26, 0x2B), base(0x12, 0x14, 0x18), button(0x30, 0x35, 0x3C);
    pal.setColor(QPalette::Window, window);
    pal.setColor(QPalette::WindowText, kText);
    pal.setColor(QPalette::Base, base);
    pal.setColor(QPalette::AlternateBase, QColor(0x1A, 0x1D, 0x22));
    pal.setColor(QPalette::Text, kText);
    pal.setColor(QPalette::Button, button);
    pal.setColor(QPalette::ButtonText, kText);
    pal.setColor(QPalette::BrightText, Qt::white);
    pal.setColor(QPalette::Highlight, QColor(0x0D, 0x84, 0x8A));
    pal.setColor(QPalette::HighlightedText, Qt::white);
    pal.setColor(QPalette::ToolTipBase, QColor(0x1E, 0x21, 0x26));
    pal.setColor(QPalette::ToolTipText, kText);
    pal.setColor(QPalette::PlaceholderText, kTextDim);
    pal.setColor(QPalette::Link, kAccent);
    pal.setColor(QPalette::Light, button.lighter(150));
    pal.setColor(QPalette::Midlight, button.lighter(120));
    pal.setColor(QPalette::Mid, button.darker(130));
    pal.setColor(QPalette::Dark, QColor(0x0C, 0x0D, 0x10));
    pal.setColor(QPalette::Shadow, Qt::black);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        pal.setColor(QPalette::Disabled, role, kTextDim.darker(130));
    app.setPalette(pal);
}

const QPixmap& backgroundTile() {
    static const QPixmap tile = [] {
        // The skin's own tile when the art is there, so the window and the controls match.
        if (SkinStore::has(kBackgroundArt)) {
            const qreal dpr = qApp ? qApp->devicePixelRatio() : 1.0;
            QPixmap art = SkinStore::pixmap(kBackgroundArt, SkinStore::naturalSize(kBackgroundArt), dpr);
            if (!art.isNull()) return art;
        }
        // Brushed dark metal: a fine horizontal grain over a charcoal base. A fixed seed keeps
        // screenshots identical from run to run.
        constexpr int kSize = 256;
        QImage img(kSize, kSize, QImage::Format_RGB32);
        std::uint32_t seed = 0x2468ACE1u;
        auto next = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return (seed >> 24) & 0xFFu;
        };
        int rowShade[kSize];
        for (int y = 0; y < kSize; ++y)
            rowShade[y] = static_cast<int>(next() % 7) - 3;
        for (int y = 0; y < kSize; ++y) {
            auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < kSize; ++x) {
                const int grain = static_cast<int>(next() % 5) - 2;
                const int v = 30 + rowShade[y] + grain;
                line[x] = qRgb(v, v + 2, v + 5);
            }
        }
        return QPixmap::fromImage(img);
    }();
    return tile;
}

void paintBackground(QPainter& p, const QRect& area) {
    p.drawTiledPixmap(area, backgroundTile(), area.topLeft());
}

void paintPanel(QPainter& p, const QRectF& r) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0.0, QColor(0x2E, 0x33, 0x3B));
    g.setColorAt(1.0, QColor(0x1B, 0x1E, 0x23));
    p.setPen(QPen(QColor(0x0C, 0x0D, 0x10), 1.0));
    p.setBrush(g);
    p.drawRoundedRect(r, 6, 6);
    p.setPen(QPen(QColor(255, 255, 255, 22), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(1, 1, -1, -1), 5, 5);
}

void paintPanelTitle(QPainter& p, const QRectF& band, const QString& title) {
    QLinearGradient g(band.topLeft(), band.bottomLeft());
    g.setColorAt(0.0, QColor(0x3A, 0x40, 0x4A));
    g.setColorAt(1.0, QColor(0x2A, 0x2F, 0x36));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(band.adjusted(2, 2, -2, 0), 5, 5);
    p.setPen(QPen(kAccent, 2));
    p.drawLine(QPointF(band.left() + 12, band.bottom()), QPointF(band.left() + 60, band.bottom()));
    p.setPen(kText);
    p.setFont(uiFont(15, true));
    p.drawText(band.adjusted(14, 0, -14, 0), Qt::AlignVCenter | Qt::AlignLeft, title);
}

void paintTitleMark(QPainter& p) {
    if (SkinStore::has(kTitleArt)) {
        const QSize size = SkinStore::naturalSize(kTitleArt);
        p.drawPixmap(QPoint(4, 6), SkinStore::pixmap(kTitleArt, size, p.device()->devicePixelRatioF()));
        return;
    }
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF plate(10, 10, 172, 72);
    QLinearGradient g(plate.topLeft(), plate.bottomLeft());
    g.setColorAt(0, kPlateTop);
    g.setColorAt(1, kPlateBottom);
    p.setPen(QPen(kOutline, 1));
    p.setBrush(g);
    p.drawRoundedRect(plate, 8, 8);
    QFont f = uiFont(28, true);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    p.setFont(f);
    p.setPen(kText);
    p.drawText(plate.adjusted(0, 6, 0, -22), Qt::AlignCenter, QStringLiteral("QUORVEL"));
    p.setPen(QPen(kAccent, 2));
    p.drawLine(QPointF(plate.left() + 26, plate.bottom() - 20),
               QPointF(plate.right() - 26, plate.bottom() - 20));
    p.setFont(uiFont(11, true));
    p.setPen(kTextDim);
    p.drawText(plate.adjusted(0, plate.height() - 20, 0, -2), Qt::AlignCenter,
               QStringLiteral("DIGITAL MIXER  3.2"));
    p.restore();
}

void paintDivider(QPainter& p, int y, int width) {
    p.setPen(kShadowLine);
    p.drawLine(0, y, width, y);
    p.setPen(kHighlightLine);
    p.drawLine(0, y + 1, width, y + 1);
}

void paintGroupFrame(QPainter& p, const QRectF& r) {
    p.setPen(QPen(kGroupFrame, 1));
    p.setBrush(kGroupFill);
    p.drawRoundedRect(r, 6, 6);
}

void paintApplicationIcon(QPainter& p, int size) {
    const QColor kIconTop{0x3A, 0x40, 0x4A}, kIconBottom{0x16, 0x18, 0x1C}, kIconSlot{0x05, 0x05, 0x06},
        kIconCap{0xD0, 0xD4, 0xDA};
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(size * 0.04, size * 0.04, size * 0.92, size * 0.92);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, kIconTop);
    g.setColorAt(1, kIconBottom);
    p.setPen(QPen(kOutline, size / 48.0));
    p.setBrush(g);
    p.drawRoundedRect(r, size * 0.18, size * 0.18);
    // Three fader caps at different heights.
    const qreal caps[3] = {0.62, 0.36, 0.50};
    for (int i = 0; i < 3; ++i) {
        const qreal x = r.left() + r.width() * (0.27 + 0.23 * i);
        p.setPen(QPen(kIconSlot, size * 0.05, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(x, r.top() + r.height() * 0.18), QPointF(x, r.bottom() - r.height() * 0.18));
        p.setPen(Qt::NoPen);
        p.setBrush(i == 1 ? kAccent : kIconCap);
        const qreal y = r.top() + r.height() * caps[i];
        p.drawRoundedRect(QRectF(x - size * 0.08, y - size * 0.045, size * 0.16, size * 0.09), size * 0.02,
                          size * 0.02);
    }
    p.restore();
}

void paintLamp(QPainter& p, const QPointF& c, qreal radius, const QColor& colour, bool lit) {
    if (lit) {
        QRadialGradient halo(c, radius * 2.4);
        QColor h = colour;
        h.setAlpha(110);
        halo.setColorAt(0.0, h);
        h.setAlpha(0);
        halo.setColorAt(1.0, h);
        p.setPen(Qt::NoPen);
        p.setBrush(halo);
        p.drawEllipse(c, radius * 2.4, radius * 2.4);
    }
    QRadialGradient body(c - QPointF(radius * 0.35, radius * 0.35), radius * 1.3);
    const QColor base = lit ? colour : QColor(0x3A, 0x3E, 0x44);
    body.setColorAt(0.0, base.lighter(lit ? 160 : 130));
    body.setColorAt(1.0, base.darker(lit ? 120 : 160));
    p.setPen(QPen(QColor(0x08, 0x09, 0x0B), 1.0));
    p.setBrush(body);
    p.drawEllipse(c, radius, radius);
}

} // namespace quorvel::ui::skin
