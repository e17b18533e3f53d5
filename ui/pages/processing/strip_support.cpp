#include "pages/processing/strip_support.h"

#include <QCursor>
#include <QMenu>
#include <QPainter>

#include "controls/image_button.h"
#include "controls/skin_store.h"
#include "link/gbk.h"
#include "widgets/name_dialog.h"
#include "widgets/skin_style.h"

namespace quorvel::ui {

ImageButton* makeSkinButton(QWidget* parent, int id, const char* objectName, int w, int h, int imageA,
                            int imageB) {
    auto* b = new ImageButton(id, parent);
    b->setObjectName(objectName);
    b->setSizeMode(-1); // the strip sizes its buttons, not the art
    b->setImages(imageA, imageB);
    b->resize(w, h);
    return b;
}

QString displayName(const NameField& f, const QString& fallback) {
    const QString n = QString::fromStdString(gbkToUtf8(nameView(f)));
    return n.isEmpty() ? fallback : n;
}

void openNameMenu(QWidget* owner, const QString& current, std::function<void(const std::string&)> apply) {
    openNameMenu(owner, current, std::move(apply), {});
}

void openNameMenu(QWidget* owner, const QString& current, std::function<void(const std::string&)> apply,
                  const std::vector<StripMenuItem>& extra) {
    auto* menu = new QMenu(owner);
    menu->setObjectName("stripMenu");
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* name = menu->addAction(QStringLiteral("NAME"));
    name->setObjectName("actionName");
    QObject::connect(name, &QAction::triggered, owner, [owner, current, apply] {
        auto* dialog = new NameDialog(owner);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setName(current);
        QObject::connect(dialog, &QDialog::accepted, owner, [dialog, apply] {
            // The dialog accepts only names the device's GBK field can hold.
            if (auto gbk = utf8ToGbk(dialog->name().toStdString())) apply(*gbk);
        });
        dialog->open();
    });
    for (const StripMenuItem& item : extra) {
        QAction* a = menu->addAction(item.text);
        a->setObjectName(item.objectName);
        QObject::connect(a, &QAction::triggered, owner, item.run);
    }
    menu->popup(QCursor::pos());
}

void paintStripBackground(QPainter& p, const QWidget* w) {
    const QPixmap art = SkinStore::pixmap(189, w->size(), p.device()->devicePixelRatioF());
    if (art.isNull())
        p.fillRect(w->rect(), skin::kStripFallback);
    else
        p.drawPixmap(0, 0, art);
}

void placeFaderAndMeter(QWidget* fader, QWidget* meter, int stripWidth) {
    const int x0 = (stripWidth - (fader->width() + 1 + kStripMeterWidth)) / 2;
    fader->move(x0, kStripFaderY);
    meter->setGeometry(x0 + fader->width() + 1, kStripFaderY, kStripMeterWidth, kStripMeterHeight);
}

} // namespace quorvel::ui
