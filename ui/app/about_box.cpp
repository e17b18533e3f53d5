#include "app/about_box.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "widgets/skin_painter.h"

namespace quorvel::ui {

namespace {
QPixmap iconPixmap(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(size * 0.04, size * 0.04, size * 0.92, size * 0.92);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor(0x3A, 0x40, 0x4A));
    g.setColorAt(1, QColor(0x16, 0x18, 0x1C));
    p.setPen(QPen(QColor(0x08, 0x09, 0x0B), size / 48.0));
    p.setBrush(g);
    p.drawRoundedRect(r, size * 0.18, size * 0.18);
    // Three fader caps at different heights.
    const qreal caps[3] = {0.62, 0.36, 0.50};
    for (int i = 0; i < 3; ++i) {
        const qreal x = r.left() + r.width() * (0.27 + 0.23 * i);
        p.setPen(QPen(QColor(0x05, 0x05, 0x06), size * 0.05, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(x, r.top() + r.height() * 0.18), QPointF(x, r.bottom() - r.height() * 0.18));
        p.setPen(Qt::NoPen);
        p.setBrush(i == 1 ? skin::kAccent : QColor(0xD0, 0xD4, 0xDA));
        const qreal y = r.top() + r.height() * caps[i];
        p.drawRoundedRect(QRectF(x - size * 0.08, y - size * 0.045, size * 0.16, size * 0.09), size * 0.02,
                          size * 0.02);
    }
    return pm;
}
} // namespace

QIcon applicationIcon() {
    QIcon icon;
    for (int s : {16, 32, 48, 64, 128, 256})
        icon.addPixmap(iconPixmap(s));
    return icon;
}

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName("aboutBox");
    setWindowTitle(QStringLiteral("QUORVEL 3.2"));
    setFixedSize(420, 150);

    auto* icon = new QLabel(this);
    icon->setPixmap(applicationIcon().pixmap(64, 64));
    auto* title = new QLabel(QStringLiteral("QUORVEL 3.2"), this);
    title->setObjectName("aboutTitle");
    title->setFont(skin::uiFont(20, true));
    auto* line2 = new QLabel(QStringLiteral("Control application for the QUORVEL digital mixer"), this);
    line2->setFont(skin::uiFont(13));
    for (QLabel* l : {title, line2})
        l->setStyleSheet("color: #E6E8EC;");
    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName("aboutOk");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(title);
    texts->addWidget(line2);
    texts->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(texts, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(ok);
    auto* col = new QVBoxLayout(this);
    col->setContentsMargins(18, 18, 18, 14);
    col->addLayout(top, 1);
    col->addLayout(bottom);
}

void AboutBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    skin::paintBackground(p, rect());
}

} // namespace quorvel::ui
