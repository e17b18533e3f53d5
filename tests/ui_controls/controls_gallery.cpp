// Lays out one of every skinned control over the tiled background and saves a picture of it,
// so the art can be judged as a whole. Usage: controls_gallery [out.png]
#include <QApplication>
#include <QPainter>
#include <QWidget>

#include <cmath>

#include "controls/drop_list.h"
#include "controls/fader_ctrl.h"
#include "controls/image_button.h"
#include "controls/level_meter.h"
#include "controls/response_view.h"
#include "controls/skin_label.h"
#include "controls/skin_store.h"

using namespace quorvel;

namespace {

class Board : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QPixmap tile = SkinStore::pixmap(188, {128, 128}, p.device()->devicePixelRatioF());
        p.drawTiledPixmap(rect(), tile);
    }
};

ImageButton* button(QWidget* parent, int a, int b, const QString& text, QRect g, bool on = false) {
    auto* btn = new ImageButton(0, parent);
    btn->setSizeMode(1);
    btn->setImages(a, b);
    btn->setGeometry(g);
    btn->setText(text);
    btn->setOn(on);
    return btn;
}

SkinLabel* label(QWidget* parent, const QString& text, QRect g, qreal size = 9, int align = 1) {
    auto* l = new SkinLabel(0, parent);
    l->setGeometry(g);
    l->setFontSize(size);
    l->setAlignment(align);
    l->setText(text);
    return l;
}

FaderCtrl* hslider(QWidget* parent, int track, int fill, int thumb, QPoint at, int max, int pos) {
    auto* f = new FaderCtrl(0, parent);
    f->setTrackBitmaps(track, fill, true);
    f->setThumbBitmaps(thumb);
    f->setThumbArea(0, (f->height() - SkinStore::naturalSize(thumb).height()) / 2, 0, 0);
    f->setRange(0, max);
    f->setPosition(pos);
    f->move(at);
    return f;
}

void strip(QWidget* parent, int x, const QString& name, int level, double meter, bool muted, bool output) {
    auto* bg = new SkinLabel(0, parent);
    bg->setImage(189);
    bg->setGeometry(x, 20, 104, 640);
    auto* eq = new ResponseView(0, parent);
    eq->setAxesShown(false);
    eq->setLevelRange(-15, 15);
    std::vector<curves::EqBand> bands(4);
    bands[0] = {curves::BandKind::Parametric, curves::BandShape::LowShelf, 120, 4, 1, true};
    bands[1] = {curves::BandKind::Parametric, curves::BandShape::Peaking, 450, -3.0 - level % 4, 1.4, true};
    bands[2] = {curves::BandKind::Parametric, curves::BandShape::Peaking, 2500, 3, 2, true};
    bands[3] = {curves::BandKind::Parametric, curves::BandShape::HighShelf, 9000, -2, 1, true};
    eq->setBands(bands);
    eq->setGeometry(x + 4, 30, 96, 56);
    auto* gain = new DropList(0, parent);
    gain->setBitmaps(231, 232);
    gain->setGeometry(x + 2, 95, 100, 24);
    gain->setItems({"15dB", "25dB", "35dB", "45dB"});
    gain->setSelection(1 + level % 3);
    button(parent, 165, 166, "COMP", {x + 12, 127, 80, 24}, level % 2 == 0);
    button(parent, 165, 166, "PRIORITY", {x + 12, 157, 80, 24});
    button(parent, 165, 166, "48V", {x + 12, 187, 80, 24}, !output);
    button(parent, 165, 166, meter > 30 ? "ACTIVE" : "WAITING", {x + 12, 217, 80, 24}, meter > 30);
    auto* fader = new FaderCtrl(0, parent);
    fader->setVertical(true);
    fader->setTrackBitmaps(output ? 240 : 191);
    fader->setThumbBitmaps(output ? 207 : 192, 209);
    fader->setThumbArea(32, 2, 0, 5);
    fader->setRange(0, 70);
    fader->setPosition(70 - level);
    fader->move(x + 6, 260);
    auto* m = new LevelMeter(0, parent);
    m->setColumnCount(1);
    m->setRange(0, 60);
    m->setThresholds(0.7, 0.9);
    m->setGeometry(x + 66, 260, 30, 200);
    m->setLevel(meter, 0);
    button(parent, 165, 166, "MUTE", {x + 12, 470, 80, 24}, muted);
    auto* nameBtn = button(parent, 193, 194, name, {x + 2, 560, 100, 60});
    nameBtn->setTextSize(10);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/controls.png");

    Board board;
    board.resize(1500, 1250);

    // Navigation row.
    auto* title = new SkinLabel(0, &board);
    title->setImage(180);
    title->move(500, 14);
    const char* tabs[] = {"CHANNEL", "MATRIX", "MODE", "SYSTEM", "GROUPS"};
    for (int i = 0; i < 5; ++i) {
        auto* t = button(&board, 225, 226, tabs[i], {700 + i * 160, 20, 158, 46}, i == 0);
        t->setTextSize(10);
    }
    const char* views[] = {"CH1-8", "CH9-12", "OUTPUTS"};
    for (int i = 0; i < 3; ++i) {
        auto* v = button(&board, 183, 184, QString(), {500 + i * 80, 110, 73, 79}, i == 0);
        v->setIndicators(true, 8, 20 + i * 20);
        label(&board, views[i], {500 + i * 80, 192, 73, 18}, 10);
    }
    button(&board, 182, 181, QString(), {740, 110, 94, 79}, true);
    label(&board, "ONLINE", {740, 192, 94, 18}, 10)->setTextColor(QColor(0x3D, 0xFF, 0x8A));
    button(&board, 208, 208, QString(), {850, 120, 54, 45});

    // Strips.
    strip(&board, 20, "CH 1", 60, 44, false, false);
    strip(&board, 130, "Lectern", 52, 36, true, false);
    strip(&board, 240, "OUT 1", 58, 50, false, true);
    strip(&board, 350, "Reverb", 40, 12, false, false);

    // Equaliser.
    auto* peq = new ResponseView(0, &board);
    peq->setGeometry(500, 230, 620, 300);
    peq->setLevelRange(-15, 15);
    std::vector<curves::EqBand> bands(6);
    bands[0] = {curves::BandKind::Parametric, curves::BandShape::LowShelf, 150, 5, 2, true};
    bands[1] = {curves::BandKind::Parametric, curves::BandShape::Peaking, 500, -6, 2, true};
    bands[2] = {curves::BandKind::Parametric, curves::BandShape::Peaking, 2000, 4.5, 3, true};
    bands[3] = {curves::BandKind::Parametric, curves::BandShape::HighShelf, 8000, -3, 2, true};
    bands[4] = {curves::BandKind::HighPass, curves::BandShape::Peaking, 40, 0, 2, true};
    bands[5] = {curves::BandKind::LowPass, curves::BandShape::Peaking, 16000, 0, 0, true};
    peq->setBands(bands);
    peq->selectHandle(2, true);

    // Parameter sliders and lists.
    const char* names[] = {"THRESHOLD", "RATIO", "ATTACK", "RELEASE"};
    for (int i = 0; i < 4; ++i) {
        label(&board, names[i], {500, 548 + i * 34, 90, 20}, 8, 0);
        hslider(&board, 162, 161, 164, {590, 550 + i * 34}, 60, 12 + i * 13);
        auto* v = new SkinLabel(0, &board);
        v->setGeometry(695, 548 + i * 34, 60, 20);
        v->setTextMode(false);
        LabelNumber n;
        n.divisor = i == 1 ? 10 : 1;
        n.suffix = i == 1 ? QString() : QStringLiteral(" dB");
        n.prefix = i == 1 ? QStringLiteral("1:") : QString();
        v->setNumber(n);
        v->setValue(i == 1 ? 25 : -20 + i * 5);
        v->setTextColor(QColor(0x19, 0xC8, 0xE6));
    }
    hslider(&board, 224, 223, 164, {780, 550}, 70, 50);
    hslider(&board, 185, 186, 187, {780, 585}, 200, 100);
    auto* slope = new DropList(0, &board);
    slope->setBitmaps(176, 177);
    slope->setGeometry(780, 625, 110, 24);
    slope->setItems({"-12dB/Oct", "-18dB/Oct", "-24dB/Oct"});
    slope->setSelection(2);

    // Meters with a scale.
    auto* meters = new LevelMeter(0, &board);
    meters->setGeometry(1140, 230, 200, 300);
    meters->setColumnCount(5);
    meters->setColumnMode(0, LevelMeter::Scale);
    const char* cols[] = {"", "IN", "GR", "OUT", "L"};
    const double lv[] = {0, 38, 12, 27, 47};
    for (int i = 0; i < 5; ++i) {
        meters->setColumnName(i, cols[i]);
        meters->setLevel(lv[i], i);
    }

    // Routing and groups.
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 6; ++c)
            button(&board, 230, 229, QString(), {1140 + c * 26, 560 + r * 26, 20, 20}, (r + c) % 3 == 0);
    for (int i = 0; i < 4; ++i)
        button(&board, 220, 219, QString::number(i + 1), {1310 + (i % 2) * 44, 560 + (i / 2) * 34, 38, 28},
               i == 1);

    // Dynamics transfer curves.
    auto* comp = new ResponseView(0, &board);
    comp->setGeometry(500, 690, 320, 220);
    comp->setMode(ResponseView::Compressor);
    comp->setKnees(-30, -30);
    comp->setSlopes(1.0, 1.0, 0.25);
    comp->setTransferPoints({{-60, -60}, {-30, -30}, {0, -22.5}});
    auto* gate = new ResponseView(0, &board);
    gate->setGeometry(850, 690, 320, 220);
    gate->setMode(ResponseView::Gate);
    gate->setKnees(-100, -42);
    gate->setGateRange(12);

    // Graphic equaliser.
    auto* geq = new ResponseView(0, &board);
    geq->setGeometry(20, 930, 1000, 300);
    geq->setMode(ResponseView::Graphic);
    geq->setLevelRange(-15, 15);
    std::array<double, curves::kGeqBands> gains{};
    for (int b = 0; b < curves::kGeqBands; ++b)
        gains[b] = 6.0 * std::sin(b / 4.0) - (b > 26 ? 3 * (b - 26) : 0);
    geq->setGraphicGains(gains);
    geq->selectHandle(12, true);

    board.show();
    const QImage img = board.grab().toImage();
    return img.save(out) ? 0 : 1;
}
