// The one-line name entry used wherever something is named (channel, output, preset, scene).
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace quorvel::ui {

class NameDialog : public QDialog {
    Q_OBJECT
public:
    explicit NameDialog(QWidget* parent = nullptr);

    void setName(const QString& name);
    QString name() const { return name_; }

    // The device shows at most 8 bytes of GBK text; false with the reason otherwise.
    static bool acceptable(const QString& name, QString* why = nullptr);

public slots:
    void accept() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLineEdit* field_;
    QPushButton* ok_;
    QPushButton* cancel_;
    QString name_;
};

// A message box that does not block the event loop; found in tests by its object name.
void showMessage(QWidget* parent, const QString& text, const QString& caption, const QString& objectName);

} // namespace quorvel::ui
