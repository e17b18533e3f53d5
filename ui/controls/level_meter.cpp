#include "controls/level_meter.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "controls/skin_store.h"

namespace quorvel {

namespace {
constexpr int kSegment = 2;
constexpr int kNameBand = 30;
const QColor kPlotColor(0x0E, 0x11, 0x15);
const QColor kGridColor(0x8C, 0xCB, 0xE4, 38);
} // namespace

int meterLitHeight(double level, double rangeMin, double rangeMax, int barHeight) {
    if (rangeMax <= rangeMin || barHeight <= 0) return 0;
    const double fraction = std::clamp((level - rangeMin) / (rangeMax - rangeMin), 0.0, 1.0);
    return static_cast<int>(std::trunc(fraction * barHeight));
}

int meterCoveredHeight(int litHeight) {
    return (litHeight + kSegment - 1) / kSegment * kSegment;
}

QColor meterSegmentColor(double e, double yellowThreshold, double redThreshold, bool lit) {
    if (e < yellowThreshold) return lit ? QColor(0xDB, 0xFE, 0x24) : QColor(0x3D, 0x49, 0x01);
    if (e < redThreshold) return lit ? QColor(0xFF, 0xB0, 0x23) : QColor(0x48, 0x30, 0x00);
    return lit ? QColor(0xFF, 0x23, 0x23) : QColor(0x48, 0x00, 0x01);
}

QRect meterColumnSpan(const QRect& plot, int g, int count) {
    const int left = plot.left();
    const int right = plot.left() + plot.width();
    const int x0 = left + (right - left) * g / count + 1;
    const int x1 = left + (right - left) * (g + 1) / count - 1;
    return QRect(x0, plot.top(), std::max(0, x1 - x0), plot.height());
}

QString meterScaleLabel(double rangeMin, double rangeMax, int i) {
    return QString::asprintf("%.0f", rangeMin + (rangeMax - rangeMin) * i / 6 - 60);
}

LevelMeter::LevelMeter(int id, QWidget* parent) : QWidget(parent), id_(id) {
    mode_.fill(Bar);
    rangeMin_.fill(0.0);
    rangeMax_.fill(50.0);
}

void LevelMeter::setLevel(double value, int column) {
    if (column < 0 || column >= kMeterColumns) return;
    if (std::isnan(value)) value = rangeMin_[column];
    const double clamped = std::clamp(value, std::min(rangeMin_[column], rangeMax_[column]),
                                      std::max(rangeMin_[column], rangeMax_[column]));
    const QRect bar = barRect(column);
    const int before = meterCoveredHeight(
        meterLitHeight(level_[column], rangeMin_[column], rangeMax_[column], bar.height()));
    const int after =
        meterCoveredHeight(meterLitHeight(clamped, rangeMin_[column], rangeMax_[column], bar.height()));
    level_[column] = clamped;
    lastDirty_ = QRect();
    if (before == after || column >= columnCount_ || mode_[column] != Bar) return;
    // Only the band between the old and the new top of the lit part changes.
    const int lo = std::min(before, after), hi = std::max(before, after);
    const int bottom = bar.top() + bar.height();
    lastDirty_ = QRect(bar.left(), bottom - hi, bar.width(), hi - lo);
    update(lastDirty_);
}

double LevelMeter::level(int column) const {
    return column >= 0 && column < kMeterColumns ? level_[column] : 0.0;
}

void LevelMeter::setColumnCount(int n) {
    columnCount_ = std::clamp(n, 0, kMeterColumns);
    invalidateCaches();
}

void LevelMeter::setColumnMode(int column, int mode) {
    if (column < 0 || column >= kMeterColumns) return;
    mode_[column] = mode;
    invalidateCaches();
}

int LevelMeter::columnMode(int column) const {
    return column >= 0 && column < kMeterColumns ? mode_[column] : 0;
}

void LevelMeter::setColumnRange(int column, double min, double max) {
    if (column < 0 || column >= kMeterColumns) return;
    rangeMin_[column] = min;
    rangeMax_[column] = max;
    level_[column] = std::clamp(level_[column], std::min(min, max), std::max(min, max));
    invalidateCaches();
}

void LevelMeter::setRange(double min, double max) {
    globalMin_ = min;
    globalMax_ = max;
    for (int c = 0; c < kMeterColumns; ++c)
        setColumnRange(c, min, max);
}

void LevelMeter::setThresholds(double yellow, double red) {
    yellow_ = yellow;
    red_ = red;
    invalidateCaches();
}

void LevelMeter::setColumnName(int column, const QString& name) {
    if (column < 0 || column >= kMeterColumns) return;
    name_[column] = name;
    invalidateCaches();
}

QString LevelMeter::columnName(int column) const {
    return column >= 0 && column < kMeterColumns ? name_[column] : QString();
}

void LevelMeter::setBackgroundColor(const QColor& c) {
    background_ = c;
    invalidateCaches();
}

QRect LevelMeter::plotRect() const {
    return rect().adjusted(margin_, margin_, -margin_, -margin_);
}

int LevelMeter::bottomInset() const {
    for (int c = 0; c < columnCount_; ++c)
        if (!name_[c].isEmpty()) return kNameBand;
    return topInset();
}

QRect LevelMeter::barRect(int column) const {
    const QRect plot = plotRect();
    if (columnCount_ <= 0) return {};
    const QRect span = meterColumnSpan(plot, column, columnCount_);
    const int top = plot.top() + topInset();
    const int bottom = plot.top() + plot.height() - bottomInset();
    return QRect(span.left(), top, span.width(), std::max(0, bottom - top));
}

void LevelMeter::invalidateCaches() {
    cacheDpr_ = 0;
    update();
}

void LevelMeter::resizeEvent(QResizeEvent* e) {
    invalidateCaches();
    QWidget::resizeEvent(e);
}

QPixmap LevelMeter::barImage(int column, bool lit, qreal dpr) {
    const QRect bar = barRect(column);
    QPixmap pm(QSize(qCeil(bar.width() * dpr), qCeil(bar.height() * dpr)));
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    const int h = bar.height();
    for (int y = 0; y < h; y += kSegment) {
        const double e = double(y) / h;
        const QColor c = meterSegmentColor(e, yellow_, red_, lit);
        const int segTop = h - y - kSegment;
        p.fillRect(QRectF(0, segTop, bar.width(), kSegment), c);
        // A darker seam on top of each segment gives the bar its LED texture.
        p.fillRect(QRectF(0, segTop, bar.width(), 0.5), c.darker(lit ? 135 : 120));
    }
    return pm;
}

void LevelMeter::buildCaches(qreal dpr) {
    staticCache_ = QPixmap(QSize(qCeil(width() * dpr), qCeil(height() * dpr)));
    staticCache_.setDevicePixelRatio(dpr);
    staticCache_.fill(Qt::transparent);
    {
        QPainter p(&staticCache_);
        p.setRenderHint(QPainter::Antialiasing);
        const QRect plot = plotRect();
        p.setPen(QPen(QColor(background_.red(), background_.green(), background_.blue(), 90), 1));
        p.setBrush(kPlotColor);
        p.drawRoundedRect(QRectF(plot).adjusted(-1.5, -1.5, 1.5, 1.5), 2, 2);
        p.setRenderHint(QPainter::Antialiasing, false);
        if (columnCount_ > 0) {
            const QRect bar = barRect(0);
            p.setPen(QPen(kGridColor, 1));
            for (int i = 1; i < 6; ++i) {
                const int y = bar.top() + bar.height() - i * bar.height() / 6;
                p.drawLine(plot.left(), y, plot.right(), y);
            }
        }
        for (int g = 0; g < columnCount_; ++g) {
            const QRect bar = barRect(g);
            if (mode_[g] == Scale) {
                p.setFont(SkinStore::pixelFont(10));
                const int bottom = bar.top() + bar.height();
                for (int i = 0; i <= 6; ++i) {
                    const int y = bottom - i * bar.height() / 6;
                    p.setPen(QPen(QColor(0xC8, 0xD2, 0xDC), 1));
                    p.drawLine(bar.left() + bar.width() / 6, y, bar.left() + bar.width() - bar.width() / 12,
                               y);
                    const QString label = meterScaleLabel(rangeMin_[g], rangeMax_[g], i);
                    // The label sits on the left part of the tick, knocked out of it.
                    const int tw = p.fontMetrics().horizontalAdvance(label) + 4;
                    const QRect box(bar.left() + bar.width() / 6, y - 6, tw, 12);
                    p.fillRect(box, kPlotColor);
                    p.setPen(Qt::white);
                    p.drawText(box, Qt::AlignCenter, label);
                }
            }
            if (!name_[g].isEmpty()) {
                p.setPen(Qt::white);
                p.setFont(SkinStore::pixelFont(16));
                const QRect box(bar.left() - 1, bar.top() + bar.height(), bar.width() + 2, kNameBand);
                p.drawText(box, Qt::AlignCenter | Qt::TextSingleLine, name_[g]);
            }
        }
    }
    for (int g = 0; g < kMeterColumns; ++g) {
        const bool bar = g < columnCount_ && mode_[g] == Bar && !barRect(g).isEmpty();
        litCache_[g] = bar ? barImage(g, true, dpr) : QPixmap();
        dimCache_[g] = bar ? barImage(g, false, dpr) : QPixmap();
    }
    cacheDpr_ = dpr;
}

void LevelMeter::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    const qreal dpr = p.device()->devicePixelRatioF();
    if (cacheDpr_ != dpr) buildCaches(dpr);
    p.setClipRegion(e->region());
    p.drawPixmap(0, 0, staticCache_);
    for (int g = 0; g < columnCount_; ++g) {
        if (mode_[g] != Bar) continue;
        const QRect bar = barRect(g);
        if (bar.isEmpty()) continue;
        level_[g] =
            std::clamp(level_[g], std::min(rangeMin_[g], rangeMax_[g]), std::max(rangeMin_[g], rangeMax_[g]));
        const int lit =
            std::min(bar.height(),
                     meterCoveredHeight(meterLitHeight(level_[g], rangeMin_[g], rangeMax_[g], bar.height())));
        const int unlit = bar.height() - lit;
        if (unlit > 0)
            p.drawPixmap(QRectF(bar.left(), bar.top(), bar.width(), unlit), dimCache_[g],
                         QRectF(0, 0, bar.width() * dpr, unlit * dpr));
        if (lit > 0)
            p.drawPixmap(QRectF(bar.left(), bar.top() + unlit, bar.width(), lit), litCache_[g],
                         QRectF(0, unlit * dpr, bar.width() * dpr, lit * dpr));
    }
}

} // namespace quorvel
