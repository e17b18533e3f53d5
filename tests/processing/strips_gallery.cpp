// Renders the strip views, the 48V page and the group page into pictures for judging the look
// at a given strip width. Usage: strips_gallery [out-dir] [strip-width] [language]
#include <QApplication>
#include <QDir>
#include <QPainter>

#include "../binding/page_rig.h"
#include "link/edit_sink.h"
#include "mixing/groups.h"
#include "pages/mixing/group_page.h"
#include "pages/mixing/side_panel.h"
#include "pages/processing/geq_page.h"
#include "pages/processing/input_strip.h"
#include "pages/processing/output_strip.h"
#include "pages/processing/peq_page.h"
#include "pages/processing/phantom_page.h"
#include "session/navigation_model.h"
#include "widgets/ui_text.h"

using namespace quorvel;
using namespace quorvel::ui;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp");
    const int w = argc > 2 ? std::atoi(argv[2]) : 182;
    const int lang = argc > 3 ? std::atoi(argv[3]) : 1;
    setLanguageFlag(lang);
    QDir().mkpath(dir);

    test::PageRig rig;
    DeviceState& state = rig.state;
    loadFactoryDefaults(state, lang);
    state.link.hostAddress = "127.0.0.2";
    for (int c = 1; c <= 12; ++c) {
        state.in(c).level = 30 + 3 * c;
        state.in(c).meter = 10 + 5 * c;
        state.in(c).gainStep = c % 2;
        state.in(c).peq[1].bandGain = 150 + (c % 5) * 20 - 40;
    }
    state.in(2).mute = 1;
    state.in(3).channelOpen = 1;
    state.in(3).lastOpen = 1;
    state.in(1).phantom = 1;
    state.in(5).dynamics.compEnabled = 1;
    for (int o = 1; o <= 4; ++o)
        state.out(o).meter = 20 + 10 * o;
    state.out(2).lineLevel = 1;
    state.out(1).geq[5].gain = 220;
    state.out(1).geq[20].gain = 90;
    toggleControlMember(state, 0, 0);
    toggleControlMember(state, 0, 2);
    toggleLinkFlag(state, 0, cg::kLinkVolume);

    auto shoot = [&](QWidget& board, const QString& name) {
        board.show();
        QApplication::processEvents();
        board.grab().save(dir + "/" + name + ".png");
        board.hide();
    };
    const int H = 700;
    {
        QWidget board;
        board.resize(9 * w + 18 + w, H);
        board.setStyleSheet("background: #1E2024;");
        for (int k = 0; k < 8; ++k) {
            auto* s = new InputStrip(rig.context(), k, &board);
            s->setGeometry(k * (w + 2), 0, w, H);
            s->refresh();
        }
        auto* panel = new SidePanel(rig.edits, rig.nav, &board);
        panel->setGeometry(9 * w + 18, 0, w, H);
        shoot(board, "strips_ch1-8");
    }
    {
        QWidget board;
        board.resize(9 * w + 18 + w, H);
        for (int k = 0; k < 4; ++k) {
            auto* s = new OutputStrip(rig.context(), k, &board);
            s->setGeometry(k * (w + 2), 0, w, H);
            s->refresh();
        }
        shoot(board, "strips_outputs");
    }
    {
        PhantomPage page(rig.context(), nullptr);
        page.resize(9 * w + 18, H);
        page.refresh();
        shoot(page, "page_48v");
    }
    {
        GroupPage page(rig.context(), nullptr);
        page.resize(9 * w + 18, H);
        page.selectControlGroup(0);
        page.selectMuteGroup(1);
        shoot(page, "page_groups");
    }
    {
        // A lectern microphone: low cut, a cut in the boom, presence, an air shelf, top cut.
        InputChannel& ch = state.in(2);
        ch.peq[0] = {120, 120, 10, 0, 0, 1};
        ch.peq[1] = {315, 60, 30, 0, 0, 0};
        ch.peq[2] = {3000, 190, 15, 0, 0, 0};
        ch.peq[3] = {9000, 200, 20, 0, 0, 2};
        ch.hpfOn = 1;
        ch.hpfFreq = 80;
        ch.hpfSlope = 6;
        ch.lpfOn = 1;
        ch.lpfFreq = 16000;
        ch.lpfSlope = 8;
        PeqPage page(rig.context(), nullptr);
        page.resize(7 * w, H);
        page.bindTo(1);
        shoot(page, "page_peq");
    }
    {
        GeqPage page(rig.context(), nullptr);
        page.resize(8 * w, H);
        page.bindTo(0);
        shoot(page, "page_geq");
    }
    return 0;
}
