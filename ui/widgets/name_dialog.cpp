#include "widgets/name_dialog.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "link/gbk.h"
#include "log/event_log.h"
#include "widgets/skin_painter.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {

void showMessage(QWidget* parent, const QString& text, const QString& caption, const QString& objectName) {
    // Every box the user is shown is in the event log, so an error seen in passing can be found.
    logEvent((caption.isEmpty() ? text : caption + QStringLiteral(": ") + text).toStdString());
    auto* box =
        new QMessageBox(QMessageBox::Information, caption.isEmpty() ? QStringLiteral("QUORVEL 3.2") : caption,
                        text, QMessageBox::Ok, parent);
    box->setObjectName(objectName);
    // The standard button would read "OK" in either language and carry the desktop's tick icon.
    if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
        ok->setText(pick("OK", "确定"));
        ok->setIcon(QIcon());
    }
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

NameDialog::NameDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("nameDialog");
    setWindowTitle(QStringLiteral("NAME"));
    setFixedSize(300, 150);

    auto* label = new QLabel(QStringLiteral("NAME:"), this);
    label->setObjectName("nameLabel");
    label->setFont(skin::uiFont(14, true));
    label->setStyleSheet("color: #E6E8EC;");

    field_ = new QLineEdit(this);
    field_->setObjectName("nameField");
    field_->setFont(skin::uiFont(20));
    field_->setStyleSheet("QLineEdit { background: white; color: rgb(0,0,255); border: 1px solid #101114; }");

    ok_ = new QPushButton(pick("OK", "确定"), this);
    ok_->setObjectName("nameOk");
    ok_->setDefault(true);
    cancel_ = new QPushButton(pick("Cancel", "取消"), this);
    cancel_->setObjectName("nameCancel");
    connect(ok_, &QPushButton::clicked, this, &NameDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &NameDialog::reject);

    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(field_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* col = new QVBoxLayout(this);
    col->setContentsMargins(16, 20, 16, 14);
    col->addLayout(row);
    col->addStretch(1);
    col->addLayout(buttons);
}

void NameDialog::setName(const QString& name) {
    name_ = name;
    field_->setText(name);
    field_->selectAll();
}

bool NameDialog::acceptable(const QString& name, QString* why) {
    const int bytes = gbkByteCount(name.toStdString());
    if (bytes < 0) {
        // Such a name could never be stored in the device's GBK field.
        if (why)
            *why = pick("The name holds characters the device cannot show.", "名称含有设备无法显示的字符.");
        return false;
    }
    if (bytes >= 9) {
        if (why) *why = QStringLiteral("Channel name is too long.");
        return false;
    }
    return true;
}

void NameDialog::accept() {
    const QString typed = field_->text();
    QString why;
    if (!acceptable(typed, &why)) {
        showMessage(this, why, QString(), "nameRefused");
        return;
    }
    name_ = typed;
    QDialog::accept();
}

void NameDialog::paintEvent(QPaintEvent*) {
    QPainter p(this);
    skin::paintBackground(p, rect());
}

} // namespace quorvel::ui
