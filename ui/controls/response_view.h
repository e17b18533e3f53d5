// The graph control of the processing pages. In equaliser mode it draws the summed response of
// the page's bands over a logarithmic frequency grid, each band's own curve and draggable
// handles; with the axes hidden it is the small preview on the channel strips.
#pragma once

#include <QPoint>
#include <QRect>
#include <QWidget>

#include <array>
#include <vector>

#include "curves/eq_response.h"
#include "curves/plot_mapping.h"
#include "curves/transfer_curve.h"

namespace quorvel {

class ResponseView : public QWidget {
    Q_OBJECT
public:
    enum Mode { Equaliser = 1, Compressor = 2, Gate = 3, Limiter = 4, Graphic = 5 };
    static constexpr int kMaxSweepPoints = 2048;
    static constexpr int kHandleRadius = 8;

    explicit ResponseView(int id = 0, QWidget* parent = nullptr);

    int id() const { return id_; }

    void setBands(std::vector<curves::EqBand> bands);
    const std::vector<curves::EqBand>& bands() const { return bands_; }
    const curves::Curve& total() const { return total_; }
    const curves::Curve& bandCurve(int band) const { return perBand_.at(band); }

    void setMode(int mode);
    int mode() const { return mode_; }
    void setAxesShown(bool on);
    bool axesShown() const { return axesShown_; }
    void setLabelsShown(bool on);
    void setFrequencyRange(double fmin, double fmax);
    void setLevelRange(double dbMin, double dbMax);
    double dbMin() const { return dbMin_; }
    double dbMax() const { return dbMax_; }
    // Off: the curve cannot be edited; a click on a view without axes is still reported.
    // A view without input (a strip's thumbnail) takes no focus either: a focused widget that its
    // click then hides would make the scroll area chase the next one.
    void setInputEnabled(bool on) {
        inputEnabled_ = on;
        setFocusPolicy(on ? Qt::ClickFocus : Qt::NoFocus);
    }

    // Transfer-curve modes: axes in dB, the knees, slopes and gate range, and the page's own
    // points drawn over the compressor curve.
    void setTransferAxes(const curves::AxisBox& box);
    const curves::AxisBox& transferAxes() const { return box_; }
    void setKnees(double knee1, double knee2);
    void setSlopes(double s1, double s2, double s3);
    void setGateRange(double range);
    void setTransferPoints(std::vector<curves::DbPoint> points);
    const std::vector<curves::DbPoint>& transferPoints() const { return points_; }
    // The draggable points of a transfer curve, in dB, numbered as the page numbers its handles.
    // While one is dragged it stays under the pointer whatever the page hands back.
    void setTransferHandles(std::vector<curves::DbPoint> handles);
    const std::vector<curves::DbPoint>& transferHandles() const { return transferHandles_; }
    QPointF transferHandlePoint(int handle) const;
    bool isTransferMode() const { return mode_ == Compressor || mode_ == Gate || mode_ == Limiter; }

    // Graphic equaliser mode: one point per band in dB. In draw mode a sweep with the button
    // held sets every band it crosses; otherwise single points are dragged up and down.
    void setGraphicGains(const std::array<double, curves::kGeqBands>& gains);
    const std::array<double, curves::kGeqBands>& graphicGains() const { return geq_; }
    void setDrawMode(bool on);
    bool drawMode() const { return drawMode_; }
    int sweepPointCount() const { return int(sweep_.size()); }

    curves::PlotRect plot() const;
    // Where a band's handle sits (frequency and, for parametric bands, gain); invalid when the
    // band has no handle (no axes, out of range, or a switched-off filter).
    QPointF handlePoint(int band) const;
    int handleAt(QPointF p) const;
    int selectedHandle() const { return selected_; }
    void selectHandle(int band, bool selected);
    int draggedHandle() const { return dragged_; }
    bool isDragging() const { return dragged_ >= 0; }
    QRect selectionRect() const { return selection_; }

signals:
    // A handle moved by the user; finished is set on the release that ends the drag.
    void handleMoved(int handle, double frequency, double gainDb, bool finished);
    // A transfer-curve handle dragged to (input, output) dB, kept inside the plot; finished on
    // the release.
    void transferHandleMoved(int handle, double inputDb, double outputDb, bool finished);
    // Double click on a handle: the page puts the band back to 0 dB.
    void handleReset(int handle);
    // A click on the view without axes (the strip preview).
    void clicked(int id);
    // A draw-mode sweep ended after changing the curve; read graphicGains() for all bands.
    void freehandDrawn(int id);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void leaveEvent(QEvent*) override;

private:
    void recompute();
    void drawGrid(QPainter& p, const curves::PlotRect& r) const;
    void drawCurve(QPainter& p, const curves::PlotRect& r, const curves::Curve& c, QColor fill, QColor line,
                   qreal width) const;
    void drawHandles(QPainter& p) const;
    void dragTo(QPointF p);
    void drawTransferGrid(QPainter& p, const curves::PlotRect& r) const;
    void drawTransfer(QPainter& p, const curves::PlotRect& r) const;
    void drawGraphic(QPainter& p, const curves::PlotRect& r) const;
    void sweepTo(QPointF p);
    bool transferPress(QPointF pos);
    void transferDrag(QPointF pos, bool finished);
    int transferHandleAt(QPointF p) const;
    void drawTransferHandles(QPainter& p) const;

    int id_;
    int mode_ = Equaliser;
    bool axesShown_ = true;
    bool labelsShown_ = true;
    bool inputEnabled_ = true;
    double fmin_ = 20.0, fmax_ = 20000.0;
    double dbMin_ = 0.0, dbMax_ = 100.0;
    std::vector<curves::EqBand> bands_;
    std::vector<curves::Curve> perBand_;
    curves::Curve total_{};
    int selected_ = -1;
    int dragged_ = -1;
    int hovered_ = -1;
    QPointF grabOffset_;
    QPoint selectionStart_;
    QRect selection_;
    bool selecting_ = false;

    curves::AxisBox box_;
    double knee1_ = -100.0, knee2_ = -50.0;
    double s1_ = 1.0, s2_ = 1.0, s3_ = 1.0;
    double gateRange_ = 0.0;
    std::vector<curves::DbPoint> points_;
    std::vector<curves::DbPoint> transferHandles_;

    std::array<double, curves::kGeqBands> geq_{};
    bool drawMode_ = false;
    bool sweeping_ = false;
    std::vector<QPointF> sweep_;
};

} // namespace quorvel
