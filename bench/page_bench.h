// What the offscreen page benchmarks share: pointer events, percentiles, a quiet platform.
#pragma once

#include <QCoreApplication>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "binding/edit_controller.h"
#include "link/device_state.h"
#include "pages/page_context.h"
#include "session/app_profile.h"
#include "session/link_adapter.h"
#include "session/navigation_model.h"

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

// A factory-state device taken as online at host, with no link ever opened: what a page sees
// while its frames go to sink.
struct OfflinePageRig {
    explicit OfflinePageRig(EditSink& sink, const char* host = "127.0.0.2")
        : edits(prepared(state, host), sink), link(state, loopbackOptions()),
          profile(dir.path()), ctx{state, sink, edits, link, profile, nav} {}

    DeviceState state;
    ui::EditController edits;
    ui::LinkAdapter link;
    QTemporaryDir dir;
    ui::Profile profile;
    ui::NavigationModel nav;
    ui::PageContext ctx;

private:
    static DeviceState& prepared(DeviceState& s, const char* host) {
        loadFactoryDefaults(s);
        s.link.linkOnline = true;
        s.link.hostAddress = host;
        return s;
    }
    static LinkOptions loopbackOptions() {
        LinkOptions lo;
        lo.bindAddress = "127.0.0.1";
        return lo;
    }
};

} // namespace quorvel::bench
