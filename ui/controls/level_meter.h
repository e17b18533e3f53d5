// Multi-column bar meter: up to eight bars of 2-pixel segments, dim over the whole height and
// lit up to the level, in three colour zones, with names under the bars and optional dB scales.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QWidget>

#include <array>

namespace quorvel {

inline constexpr int kMeterColumns = 8;

// Height in pixels lit for a level already clamped into [rangeMin, rangeMax].
int meterLitHeight(double level, double rangeMin, double rangeMax, int barHeight);
// Pixels actually covered by the 2-pixel segments that light litHeight (a started segment is
// drawn whole).
int meterCoveredHeight(int litHeight);
// Zone colour of a segment whose bottom lies at fraction e of the bar height.
QColor meterSegmentColor(double e, double yellowThreshold, double redThreshold, bool lit);
// Column g of `count` inside the plot rectangle (x only; the caller sets the bar's y span).
QRect meterColumnSpan(const QRect& plot, int g, int count);
// Scale labels: rangeMin + (rangeMax - rangeMin) * i / 6 - 60 for i = 0..6.
QString meterScaleLabel(double rangeMin, double rangeMax, int i);

class LevelMeter : public QWidget {
    Q_OBJECT
public:
    enum ColumnMode { Bar = 1, Scale = 2 };

    explicit LevelMeter(int id = 0, QWidget* parent = nullptr);

    int id() const { return id_; }

    // Stores the value (clamped into the column's range) and repaints only what changed.
    void setLevel(double value, int column);
    double level(int column) const;

    void setColumnCount(int n);
    int columnCount() const { return columnCount_; }
    void setColumnMode(int column, int mode);
    int columnMode(int column) const;
    void setColumnRange(int column, double min, double max);
    void setRange(double min, double max); // every column and the control as a whole
    void setThresholds(double yellow, double red);
    void setColumnName(int column, const QString& name);
    QString columnName(int column) const;
    void setBackgroundColor(const QColor& c);

    QRect plotRect() const;
    // The bar area of a column (its full height, lit or not).
    QRect barRect(int column) const;
    // The rectangle setLevel last asked to repaint (empty when nothing changed).
    QRect lastDirty() const { return lastDirty_; }

    QSize sizeHint() const override { return {30, 200}; }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    int topInset() const { return 3; }
    int bottomInset() const;
    void invalidateCaches();
    void buildCaches(qreal dpr);
    QPixmap barImage(int column, bool lit, qreal dpr);

    int id_;
    int columnCount_ = 4;
    std::array<int, kMeterColumns> mode_;
    std::array<double, kMeterColumns> level_{};
    std::array<double, kMeterColumns> rangeMin_;
    std::array<double, kMeterColumns> rangeMax_;
    double globalMin_ = 0.0, globalMax_ = 50.0;
    double yellow_ = 0.43, red_ = 0.58;
    std::array<QString, kMeterColumns> name_;
    QColor background_{0xC0, 0xC0, 0xC0};
    int margin_ = 5;

    QPixmap staticCache_;
    std::array<QPixmap, kMeterColumns> litCache_;
    std::array<QPixmap, kMeterColumns> dimCache_;
    qreal cacheDpr_ = 0;
    QRect lastDirty_;
};

} // namespace quorvel
