// What the offscreen page benchmarks share: pointer events, percentiles, a quiet platform.
#pragma once

#include <QCoreApplication>
#include <QMouseEvent>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace quorvel::bench {

// A press, move or release of the left button at pos, sent straight to w.
inline void sendMouse(QWidget* w, QEvent::Type type, QPointF pos) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, pos, w->mapToGlobal(pos), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                  held, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

inline void sendMouse(QWidget* w, QEvent::Type type) {
    sendMouse(w, type, QPointF(w->width() / 2.0, w->height() / 2.0));
}

inline double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

// The offscreen platform complains about every mouse grab; the figures are what matter here.
inline void quietPlatformWarnings() {
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
        if (type != QtWarningMsg && type != QtDebugMsg) std::fprintf(stderr, "%s\n", qPrintable(msg));
    });
}

} // namespace quorvel::bench
