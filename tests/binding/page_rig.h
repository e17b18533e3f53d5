// What a page under test is built with: factory state online, a recording sink, the edit
// controller, an idle link (nothing is ever connected) and a profile in a temporary directory.
#pragma once

#include <QCoreApplication>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QWidget>

#include <memory>
#include <string>

#include "binding/edit_controller.h"
#include "link/device_link.h"
#include "link/edit_sink.h"
#include "link/report_changes.h"
#include "link/reports.h"
#include "pages/page_context.h"
#include "session/app_profile.h"
#include "session/link_adapter.h"
#include "session/navigation_model.h"

namespace quorvel::test {

inline void sendMouse(QWidget* w, QEvent::Type type, QPointF pos) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, pos, w->mapToGlobal(pos), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                  held, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

inline void click(QWidget* w) {
    const QPointF c(w->width() / 2.0, w->height() / 2.0);
    sendMouse(w, QEvent::MouseButtonPress, c);
    sendMouse(w, QEvent::MouseButtonRelease, c);
}

struct PageRig {
    QTemporaryDir dir;
    DeviceState state;
    RecordingSink sink;
    ui::EditController edits{state, sink};
    std::unique_ptr<ui::LinkAdapter> link;
    ui::Profile profile{dir.path()};
    ui::NavigationModel nav;
    std::unique_ptr<ui::PageContext> ctx;

    PageRig() {
        loadFactoryDefaults(state);
        state.link.hostAddress = "127.0.0.2";
        state.link.linkOnline = true;
        LinkOptions lo;
        lo.bindAddress = "127.0.0.1";
        link = std::make_unique<ui::LinkAdapter>(state, lo);
        ctx = std::make_unique<ui::PageContext>(ui::PageContext{state, sink, edits, *link, profile, nav});
    }
    const ui::PageContext& context() const { return *ctx; }

    // A report as the application takes it: into DeviceState, then announced to the views.
    DispatchResult report(ReportDispatcher& dispatcher, const std::string& frame) {
        const DispatchResult r = dispatcher.dispatch(frame, Clock::now());
        edits.announce(shownChanges(r));
        return r;
    }
};

} // namespace quorvel::test
