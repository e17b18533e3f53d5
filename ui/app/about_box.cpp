#include "app/about_box.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "widgets/skin_painter.h"
#include "widgets/skin_style.h"

namespace quorvel::ui {

namespace {
QPixmap iconPixmap(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    skin::paintApplicationIcon(p, size);
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
        skin::styleLabel(l, skin::LabelTone::Bright);
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
