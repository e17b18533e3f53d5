#include "controls/response_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

#include "controls/skin_store.h"

namespace quorvel {

namespace {
using curves::BandKind;

constexpr QRgb kBandColors[] = {0x80FF3333, 0x8099CCCC, 0x80FFFFFF, 0x800099CC, 0x80CC3399,
                                0x80FFFF00, 0x8099FF00, 0x80FF99CC, 0x80FF3333};
const QColor kGridLine(0x3A, 0x46, 0x54);
const QColor kGridStrong(0x55, 0x63, 0x74);
const QColor kLabel(0x9A, 0xA8, 0xB8);
const QColor kPlotBack(0x12, 0x16, 0x1C);

QColor bandColor(int i) {
    return QColor::fromRgba(kBandColors[i % 9]);
}
} // namespace

ResponseView::ResponseView(int id, QWidget* parent) : QWidget(parent), id_(id) {
    setFocusPolicy(Qt::ClickFocus);
    setMouseTracking(true);
    bands_.assign(4, curves::EqBand{});
    recompute();
}

void ResponseView::setBands(std::vector<curves::EqBand> bands) {
    // While the user drags a handle the pointer wins over what the page hands back.
    if (dragged_ >= 0 && dragged_ < int(bands.size()) && dragged_ < int(bands_.size())) {
        bands[dragged_].frequency = bands_[dragged_].frequency;
        bands[dragged_].gain = bands_[dragged_].gain;
    }
    bands_ = std::move(bands);
    if (dragged_ >= int(bands_.size())) dragged_ = -1;
    if (selected_ >= int(bands_.size())) selected_ = -1;
    recompute();
    update();
}

void ResponseView::recompute() {
    total_ = cache_.update(bands_);
}

void ResponseView::setMode(int mode) {
    mode_ = mode;
    update();
}

void ResponseView::setAxesShown(bool on) {
    axesShown_ = on;
    update();
}

void ResponseView::setLabelsShown(bool on) {
    labelsShown_ = on;
    update();
}

void ResponseView::setFrequencyRange(double fmin, double fmax) {
    if (!(fmin > 0) || !(fmax > fmin)) return;
    fmin_ = fmin;
    fmax_ = fmax;
    update();
}

void ResponseView::setLevelRange(double dbMin, double dbMax) {
    if (!(dbMax > dbMin)) return;
    dbMin_ = dbMin;
    dbMax_ = dbMax;
    update();
}

void ResponseView::setTransferAxes(const curves::AxisBox& box) {
    if (!(box.xmax > box.xmin) || !(box.ymax > box.ymin)) return;
    box_ = box;
    update();
}

void ResponseView::setKnees(double knee1, double knee2) {
    knee1_ = knee1;
    knee2_ = knee2;
    update();
}

void ResponseView::setSlopes(double s1, double s2, double s3) {
    s1_ = s1;
    s2_ = s2;
    s3_ = s3;
    update();
}

void ResponseView::setGateRange(double range) {
    gateRange_ = range;
    update();
}

void ResponseView::setTransferPoints(std::vector<curves::DbPoint> points) {
    points_ = std::move(points);
    update();
}

void ResponseView::setTransferHandles(std::vector<curves::DbPoint> handles) {
    if (dragged_ >= 0 && isTransferMode() && dragged_ < int(handles.size()) &&
        dragged_ < int(transferHandles_.size()))
        handles[static_cast<std::size_t>(dragged_)] = transferHandles_[static_cast<std::size_t>(dragged_)];
    transferHandles_ = std::move(handles);
    if (isTransferMode() && dragged_ >= int(transferHandles_.size())) dragged_ = -1;
    update();
}

void ResponseView::setGraphicGains(const std::array<double, curves::kGeqBands>& gains) {
    const int keep = dragged_;
    const double held = keep >= 0 && keep < curves::kGeqBands ? geq_[keep] : 0.0;
    geq_ = gains;
    // The dragged point follows the pointer, not the page's echo of it.
    if (mode_ == Graphic && keep >= 0 && keep < curves::kGeqBands) geq_[keep] = held;
    update();
}

void ResponseView::setDrawMode(bool on) {
    drawMode_ = on;
    update();
}

void ResponseView::sweepTo(QPointF pos) {
    const curves::PlotRect r = plot();
    const QPointF last = sweep_.empty() ? pos : sweep_.back();
    if (int(sweep_.size()) < kMaxSweepPoints) sweep_.push_back(pos);
    bool changed = false;
    for (int b = 0; b < curves::kGeqBands; ++b) {
        double y;
        if (curves::interpolateSweep(curves::geqBandX(b, r), last.x(), last.y(), pos.x(), pos.y(), &y)) {
            const double v = curves::yToLevel(y, dbMin_, dbMax_, r);
            changed = changed || v != geq_[b];
            geq_[b] = v;
        }
    }
    update();
    if (changed) emit freehandMoved(id_);
}

curves::PlotRect ResponseView::plot() const {
    curves::PlotRect r = curves::plotRect(width(), height(), axesShown_);
    // A twentieth of the width cannot hold "-60 (dB)" at a readable size on the usual screens.
    constexpr int kDbLabelRoom = 58;
    if (axesShown_ && mode_ == Limiter) r.left = qMax(r.left, qMin(kDbLabelRoom, width() / 4));
    return r;
}

QPointF ResponseView::handlePoint(int band) const {
    if (mode_ == Graphic) {
        if (band < 0 || band >= curves::kGeqBands) return {};
        const curves::PlotRect r = plot();
        return {curves::geqBandX(band, r), curves::levelToY(geq_[band], dbMin_, dbMax_, r)};
    }
    if (mode_ != Equaliser || !axesShown_ || band < 0 || band >= int(bands_.size())) return {};
    const curves::EqBand& b = bands_[band];
    if (b.kind != BandKind::Parametric && !b.enabled) return {};
    if (!(b.frequency >= fmin_ && b.frequency <= fmax_)) return {};
    const curves::PlotRect r = plot();
    const double gain = b.kind == BandKind::Parametric ? b.gain : 0.0;
    return {curves::frequencyToX(b.frequency, fmin_, fmax_, r), curves::levelToY(gain, dbMin_, dbMax_, r)};
}

int ResponseView::handleAt(QPointF p) const {
    // Later bands are drawn on top, so they are hit first.
    const int count = mode_ == Graphic ? curves::kGeqBands : int(bands_.size());
    for (int i = count - 1; i >= 0; --i) {
        const QPointF h = handlePoint(i);
        if (h.isNull()) continue;
        const QPointF d = p - h;
        if (d.x() * d.x() + d.y() * d.y() <= kHandleRadius * kHandleRadius) return i;
    }
    return -1;
}

void ResponseView::selectHandle(int band, bool selected) {
    const int count = mode_ == Graphic ? curves::kGeqBands : int(bands_.size());
    if (selected)
        selected_ = (band >= 0 && band < count) ? band : -1;
    else if (selected_ == band)
        selected_ = -1;
    update();
}

void ResponseView::dragTo(QPointF p) {
    const curves::PlotRect r = plot();
    if (mode_ == Graphic) {
        geq_[dragged_] = curves::yToLevel(p.y() - grabOffset_.y(), dbMin_, dbMax_, r);
        update();
        return;
    }
    curves::EqBand& b = bands_[dragged_];
    const QPointF target = p - grabOffset_;
    b.frequency = curves::xToFrequency(target.x(), fmin_, fmax_, r);
    if (b.kind == BandKind::Parametric) b.gain = curves::yToLevel(target.y(), dbMin_, dbMax_, r);
    recompute();
    update();
}

void ResponseView::mousePressEvent(QMouseEvent* e) {
    if (!inputEnabled_ || e->button() != Qt::LeftButton) return;
    setFocus(Qt::MouseFocusReason);
    const QPointF pos = e->position();
    if (!axesShown_) return;
    if (isTransferMode()) {
        transferPress(pos);
        return;
    }
    if (mode_ == Graphic && drawMode_) {
        sweeping_ = true;
        sweep_.clear();
        sweepTo(pos);
        return;
    }
    const int h = handleAt(pos);
    if (h >= 0) {
        dragged_ = h;
        selected_ = h;
        grabOffset_ = pos - handlePoint(h);
        update();
        return;
    }
    if (mode_ == Graphic) return;
    selecting_ = true;
    selectionStart_ = pos.toPoint();
    selection_ = QRect(selectionStart_, QSize());
    update();
}

void ResponseView::mouseMoveEvent(QMouseEvent* e) {
    const QPointF pos = e->position();
    if (sweeping_) {
        sweepTo(pos);
        return;
    }
    if (dragged_ >= 0 && isTransferMode()) {
        transferDrag(pos, false);
        return;
    }
    if (dragged_ >= 0) {
        dragTo(pos);
        if (mode_ == Graphic) {
            emit handleMoved(dragged_, curves::kGeqFrequencies[dragged_], geq_[dragged_], false);
            return;
        }
        const curves::EqBand& b = bands_[dragged_];
        emit handleMoved(dragged_, b.frequency, b.kind == BandKind::Parametric ? b.gain : 0.0, false);
        return;
    }
    if (selecting_) {
        selection_ = QRect(selectionStart_, pos.toPoint()).normalized();
        update();
        return;
    }
    const int h = !axesShown_ ? -1 : isTransferMode() ? transferHandleAt(pos) : handleAt(pos);
    if (h != hovered_) {
        hovered_ = h;
        setCursor(h >= 0 ? Qt::SizeAllCursor : Qt::ArrowCursor);
        update();
    }
}

void ResponseView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    if (sweeping_) {
        sweeping_ = false;
        const bool drawn = !sweep_.empty();
        sweep_.clear();
        update();
        if (drawn) emit freehandDrawn(id_);
        return;
    }
    if (isTransferMode() && dragged_ >= 0) {
        transferDrag(e->position(), true);
        return;
    }
    if (mode_ == Graphic && dragged_ >= 0) {
        const int h = dragged_;
        dragged_ = -1;
        update();
        emit handleMoved(h, curves::kGeqFrequencies[h], geq_[h], true);
        return;
    }
    if (!axesShown_) {
        // A thumbnail that cannot be edited still opens its page.
        if (rect().contains(e->position().toPoint())) emit clicked(id_);
        return;
    }
    if (dragged_ >= 0) {
        const int h = dragged_;
        dragged_ = -1;
        const curves::EqBand& b = bands_[h];
        emit handleMoved(h, b.frequency, b.kind == BandKind::Parametric ? b.gain : 0.0, true);
        update();
    }
    if (selecting_) {
        selecting_ = false;
        selection_ = QRect();
        update();
    }
}

void ResponseView::mouseDoubleClickEvent(QMouseEvent* e) {
    if (!inputEnabled_ || e->button() != Qt::LeftButton || !axesShown_) return;
    if (isTransferMode()) return;
    const int h = handleAt(e->position());
    if (h >= 0 && (mode_ == Graphic || bands_[h].kind == BandKind::Parametric)) emit handleReset(h);
}

void ResponseView::leaveEvent(QEvent* e) {
    if (hovered_ >= 0) {
        hovered_ = -1;
        update();
    }
    QWidget::leaveEvent(e);
}

void ResponseView::drawGrid(QPainter& p, const curves::PlotRect& r) const {
    const int w = r.right - r.left, h = r.bottom - r.top;
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(kGridLine, 1));
    for (int i = 1; i < 10; ++i) {
        const int y = r.bottom - i * h / 10;
        p.drawLine(r.left, y, r.right, y);
    }
    for (int f : curves::kGridFrequencies) {
        if (!(f > fmin_ && f < fmax_)) continue;
        const int x = qRound(curves::frequencyToX(f, fmin_, fmax_, r));
        const bool decade = f == 100 || f == 1000 || f == 10000;
        p.setPen(decade ? QPen(kGridStrong, 2) : QPen(kGridLine, 1, Qt::DotLine));
        p.drawLine(x, r.top, x, r.bottom);
    }
    p.setPen(QPen(kGridStrong, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(r.left, r.top, w, h));
    if (!labelsShown_) return;
    p.setPen(kLabel);
    p.setFont(SkinStore::pixelFont(qBound(9, height() / 20, 16)));
    for (int i = 0; i < 10; ++i) {
        const int y = r.bottom - i * h / 10;
        const int v = static_cast<int>(dbMin_ + i * (dbMax_ - dbMin_) / 10);
        p.drawText(QRect(qMax(0, r.left - 35), y - 8, qMin(30, r.left - 5), 16),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(v));
    }
    // The unit label is wider than the others; shrink it rather than cut it at the edge.
    const QString top = QStringLiteral("%1dB").arg(static_cast<int>(dbMax_));
    QFont unitFont = p.font();
    while (unitFont.pixelSize() > 8 && QFontMetrics(unitFont).horizontalAdvance(top) > r.left - 5)
        unitFont.setPixelSize(unitFont.pixelSize() - 1);
    p.save();
    p.setFont(unitFont);
    p.drawText(QRect(0, r.top - 8, r.left - 5, 16), Qt::AlignRight | Qt::AlignVCenter, top);
    p.restore();
    static const std::pair<int, const char*> kFreqLabels[] = {
        {20, "20"}, {100, "100"}, {1000, "1K"}, {10000, "10K"}, {20000, "20K"}};
    for (const auto& [f, text] : kFreqLabels) {
        if (f < fmin_ || f > fmax_) continue;
        const int x = qRound(curves::frequencyToX(f, fmin_, fmax_, r));
        p.drawText(QRect(x - 15, r.bottom + 2, 30, 16), Qt::AlignCenter, QString::fromLatin1(text));
    }
}

void ResponseView::drawCurve(QPainter& p, const curves::PlotRect& r, const curves::Curve& c, QColor fill,
                             QColor line, qreal width) const {
    const double mid = (r.top + r.bottom) / 2.0;
    QPainterPath path(QPointF(r.left, mid));
    const curves::Curve& grid = curves::frequencyGrid();
    for (int i = 0; i < curves::kGridPoints; ++i) {
        if (grid[i] < fmin_ || grid[i] > fmax_) continue;
        path.lineTo(curves::frequencyToX(grid[i], fmin_, fmax_, r),
                    curves::levelToY(c[i], dbMin_, dbMax_, r));
    }
    path.lineTo(r.right, mid);
    path.closeSubpath();
    p.setBrush(fill);
    p.setPen(QPen(line, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
}

void ResponseView::drawHandles(QPainter& p) const {
    p.setFont(SkinStore::pixelFont(10, true));
    for (int i = 0; i < int(bands_.size()); ++i) {
        const QPointF h = handlePoint(i);
        if (h.isNull()) continue;
        QColor c = bandColor(i);
        c.setAlpha(230);
        const qreal radius = (i == hovered_ || i == dragged_) ? kHandleRadius : kHandleRadius - 1.5;
        p.setPen(QPen(i == selected_ ? QColor(Qt::white) : QColor(0x0E, 0x11, 0x15), i == selected_ ? 2 : 1));
        p.setBrush(c);
        p.drawEllipse(h, radius, radius);
        p.setPen(QColor(0x0E, 0x11, 0x15));
        const QString label = bands_[i].kind == BandKind::HighPass  ? QStringLiteral("H")
                              : bands_[i].kind == BandKind::LowPass ? QStringLiteral("L")
                                                                    : QString::number(i + 1);
        p.drawText(QRectF(h.x() - radius, h.y() - radius, 2 * radius, 2 * radius), Qt::AlignCenter, label);
    }
}

void ResponseView::drawTransferGrid(QPainter& p, const curves::PlotRect& r) const {
    const int w = r.right - r.left, h = r.bottom - r.top;
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(kGridLine, 1));
    for (int i = 0; i <= 8; ++i) {
        const int y = r.bottom - i * h / 8;
        const int x = r.left + i * w / 8;
        p.drawLine(r.left, y, r.right, y);
        p.drawLine(x, r.top, x, r.bottom);
    }
    p.setPen(QPen(kGridStrong, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(r.left, r.top, w, h));
    if (!labelsShown_) return;
    p.setFont(SkinStore::pixelFont(12));
    p.setPen(kLabel);
    // Narrow plots leave little room left of the axis; shrink the level labels to fit it.
    QFont levelFont = p.font();
    // The "(dB)" labels take the whole margin; the plain numbers keep to the usual 30 pixels.
    const int room = (mode_ == Limiter ? r.left : qMin(30, r.left)) - 3;
    const QString widest = QString::fromStdString(
        curves::transferAxisLabel(mode_, static_cast<int>(qMin(box_.ymin, -qAbs(box_.ymax)))));
    while (levelFont.pixelSize() > 7 && QFontMetrics(levelFont).horizontalAdvance(widest) > room)
        levelFont.setPixelSize(levelFont.pixelSize() - 1);
    for (int i = 0; i <= 8; ++i) {
        const int y = r.bottom - i * h / 8;
        const int x = r.left + i * w / 8;
        const int yv = static_cast<int>(box_.ymin + (box_.ymax - box_.ymin) * i / 8);
        const int xv = static_cast<int>(box_.xmin + (box_.xmax - box_.xmin) * i / 8);
        p.save();
        p.setFont(levelFont);
        p.drawText(QRect(qMax(0, r.left - 3 - room), y - 7, room, 14), Qt::AlignRight | Qt::AlignVCenter,
                   QString::fromStdString(curves::transferAxisLabel(mode_, yv)));
        p.restore();
        p.drawText(QRect(x - 8, r.bottom + 5, mode_ == Limiter ? 60 : 40, 14), Qt::AlignLeft | Qt::AlignTop,
                   QString::fromStdString(curves::transferAxisLabel(mode_, xv)));
    }
    p.setPen(Qt::white);
    // Above the plot when the margin holds the line; a small view has no such margin, and the
    // caption then goes just inside the plot's corner rather than being cut off at the edge.
    const int outputTop = r.top - 15 >= 0 ? r.top - 15 : r.top + 3;
    p.drawText(QPoint(r.left + 2, outputTop + p.fontMetrics().ascent()), QStringLiteral("OUTPUT"));
    p.drawText(QPoint(r.right - 50, r.bottom - 15 + p.fontMetrics().ascent()), QStringLiteral("INPUT"));
}

void ResponseView::drawTransfer(QPainter& p, const curves::PlotRect& r) const {
    auto at = [&](const curves::DbPoint& d) {
        return QPointF(curves::linearToX(d.x, box_.xmin, box_.xmax, r),
                       curves::linearToY(d.y, box_.ymin, box_.ymax, r));
    };
    p.setRenderHint(QPainter::Antialiasing);
    p.save();
    p.setClipRect(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top));
    p.setPen(QPen(QColor::fromRgba(0xFFB8983C), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (mode_ == Gate) {
        // The gate's threshold lives in the second knee.
        const auto pts = curves::gatePolyline(knee2_, gateRange_);
        for (int i = 0; i + 1 < int(pts.size()); ++i)
            p.drawLine(at(pts[i]), at(pts[i + 1]));
    } else {
        for (const curves::DbSegment& s : curves::compressorSegments(knee1_, knee2_, s1_, s2_, s3_, box_))
            p.drawLine(at(s.a), at(s.b));
        p.setPen(QPen(QColor::fromRgba(0xFF00FF00), 2));
        for (int i = 0; i + 1 < int(points_.size()); ++i)
            p.drawLine(at(points_[i]), at(points_[i + 1]));
    }
    p.restore();
}

void ResponseView::drawGraphic(QPainter& p, const curves::PlotRect& r) const {
    const int w = r.right - r.left, h = r.bottom - r.top;
    p.setRenderHint(QPainter::Antialiasing, false);
    if (axesShown_) {
        p.setPen(QPen(kGridLine, 1));
        for (int i = 1; i < 10; ++i)
            p.drawLine(r.left, r.bottom - i * h / 10, r.right, r.bottom - i * h / 10);
        p.setPen(QPen(kGridLine, 1, Qt::DotLine));
        for (int b = 0; b < curves::kGeqBands; ++b) {
            const int x = qRound(curves::geqBandX(b, r));
            p.drawLine(x, r.top, x, r.bottom);
        }
        const int zero = qRound(curves::levelToY(0, dbMin_, dbMax_, r));
        p.setPen(QPen(kGridStrong, 1));
        p.drawLine(r.left, zero, r.right, zero);
        p.setPen(QPen(kGridStrong, 2));
        p.drawRect(QRect(r.left, r.top, w, h));
        if (labelsShown_) {
            p.setPen(kLabel);
            p.setFont(SkinStore::pixelFont(qBound(8, height() / 24, 12)));
            for (int i = 0; i <= 10; ++i) {
                const int y = r.bottom - i * h / 10;
                const int v = static_cast<int>(dbMin_ + i * (dbMax_ - dbMin_) / 10);
                p.drawText(QRect(0, y - 8, r.left - 5, 16), Qt::AlignRight | Qt::AlignVCenter,
                           QString::number(v));
            }
            // Every caption when there is room, every other one on a narrow graph.
            const double pitch = w / double(curves::kGeqBands + 1);
            const int step = p.fontMetrics().horizontalAdvance(QStringLiteral("3k15")) + 4 > pitch ? 2 : 1;
            for (int b = 0; b < curves::kGeqBands; b += step) {
                const int x = qRound(curves::geqBandX(b, r));
                p.drawText(QRect(x - 20, r.bottom + 2, 40, 16), Qt::AlignCenter,
                           QString::fromLatin1(curves::kGeqLabels[b]));
            }
        }
    }
    p.setRenderHint(QPainter::Antialiasing);
    const double zero = curves::levelToY(0, dbMin_, dbMax_, r);
    QPainterPath line;
    for (int b = 0; b < curves::kGeqBands; ++b) {
        const QPointF pt = handlePoint(b);
        if (b == 0)
            line.moveTo(pt);
        else
            line.lineTo(pt);
    }
    QPainterPath area = line;
    area.lineTo(curves::geqBandX(curves::kGeqBands - 1, r), zero);
    area.lineTo(curves::geqBandX(0, r), zero);
    area.closeSubpath();
    p.fillPath(area, QColor(0x29, 0xA4, 0xD0, 60));
    p.strokePath(line, QPen(QColor::fromRgba(0xFF29A4D0), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (!axesShown_) return;
    for (int b = 0; b < curves::kGeqBands; ++b) {
        const QPointF pt = handlePoint(b);
        const bool hot = b == hovered_ || b == dragged_;
        p.setPen(QPen(b == selected_ ? QColor(Qt::white) : QColor(0x0E, 0x11, 0x15), b == selected_ ? 2 : 1));
        p.setBrush(hot ? QColor(0x7F, 0xF0, 0xFF) : QColor(0x19, 0xC8, 0xE6));
        p.drawEllipse(pt, hot ? 6.0 : 4.5, hot ? 6.0 : 4.5);
    }
}

void ResponseView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const curves::PlotRect r = plot();
    const QRect plotArea(r.left, r.top, r.right - r.left, r.bottom - r.top);
    p.fillRect(plotArea, kPlotBack);
    if (isTransferMode()) {
        if (axesShown_) drawTransferGrid(p, r);
        drawTransfer(p, r);
        if (axesShown_) drawTransferHandles(p);
        return;
    }
    if (mode_ == Graphic) {
        drawGraphic(p, r);
        return;
    }
    if (axesShown_) drawGrid(p, r);
    if (mode_ != Equaliser) return;

    p.setRenderHint(QPainter::Antialiasing);
    p.save();
    p.setClipRect(plotArea);
    if (axesShown_) {
        drawCurve(p, r, total_, QColor::fromRgba(0xFF2B5C6D), QColor::fromRgba(0xFF2B5C6D), 3);
        const auto& perBand = cache_.bandCurves();
        for (int i = 0; i < int(perBand.size()); ++i)
            drawCurve(p, r, perBand[static_cast<std::size_t>(i)], bandColor(i), bandColor(i), 1);
    } else {
        drawCurve(p, r, total_, QColor::fromRgba(0xFF29A4D0), QColor::fromRgba(0xFF29A4D0), 1);
    }
    p.restore();
    if (axesShown_) drawHandles(p);
    if (!selection_.isNull()) {
        p.setPen(QPen(QColor(0x19, 0xC8, 0xE6), 1, Qt::DashLine));
        p.setBrush(QColor(0x19, 0xC8, 0xE6, 30));
        p.drawRect(selection_);
    }
}

QPointF ResponseView::transferHandlePoint(int handle) const {
    if (!isTransferMode() || handle < 0 || handle >= int(transferHandles_.size())) return {};
    const curves::PlotRect r = plot();
    const curves::DbPoint& d = transferHandles_[static_cast<std::size_t>(handle)];
    return {curves::linearToX(d.x, box_.xmin, box_.xmax, r), curves::linearToY(d.y, box_.ymin, box_.ymax, r)};
}

int ResponseView::transferHandleAt(QPointF p) const {
    // Where handles meet (the ratio point on a threshold at 0 dB) the threshold is the one taken:
    // the ratio means nothing until the threshold leaves it room.
    for (int i = 0; i < int(transferHandles_.size()); ++i) {
        const QPointF d = p - transferHandlePoint(i);
        if (d.x() * d.x() + d.y() * d.y() <= kHandleRadius * kHandleRadius) return i;
    }
    return -1;
}

bool ResponseView::transferPress(QPointF pos) {
    const int h = transferHandleAt(pos);
    if (h < 0) return false;
    dragged_ = h;
    selected_ = h;
    grabOffset_ = pos - transferHandlePoint(h);
    update();
    return true;
}

void ResponseView::transferDrag(QPointF pos, bool finished) {
    const int h = dragged_;
    if (h < 0 || h >= int(transferHandles_.size())) {
        dragged_ = -1;
        return;
    }
    const curves::PlotRect r = plot();
    const QPointF target = pos - grabOffset_;
    // The handle stays inside the plot: a value beyond the axes is not one the page could store.
    const curves::DbPoint d =
        curves::clampToBox({curves::xToLinear(target.x(), box_.xmin, box_.xmax, r.left, r.right),
                            curves::yToLinear(target.y(), box_.ymin, box_.ymax, r.top, r.bottom)},
                           box_);
    transferHandles_[static_cast<std::size_t>(h)] = d;
    if (finished) dragged_ = -1;
    update();
    emit transferHandleMoved(h, d.x, d.y, finished);
}

void ResponseView::drawTransferHandles(QPainter& p) const {
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(SkinStore::pixelFont(10, true));
    // Last to first, so that where handles meet the one a press takes is the one on top.
    for (int i = int(transferHandles_.size()) - 1; i >= 0; --i) {
        const QPointF h = transferHandlePoint(i);
        const qreal radius = (i == hovered_ || i == dragged_) ? kHandleRadius : kHandleRadius - 1.5;
        p.setPen(QPen(i == selected_ ? QColor(Qt::white) : QColor(0x0E, 0x11, 0x15), i == selected_ ? 2 : 1));
        p.setBrush(QColor(0xE8, 0xC4, 0x5C, 230));
        p.drawEllipse(h, radius, radius);
        p.setPen(QColor(0x0E, 0x11, 0x15));
        p.drawText(QRectF(h.x() - radius, h.y() - radius, 2 * radius, 2 * radius), Qt::AlignCenter,
                   QString::number(i + 1));
    }
}

} // namespace quorvel
