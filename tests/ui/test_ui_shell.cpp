// The shell's rules that need no window: the command line, the profile and the name rule; plus the
// busy popup's walk. The readout and the typed value entry are tested in tests/edit.
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include "app/app_options.h"
#include "link/device_state.h"
#include "link/field_registry.h"
#include "session/app_profile.h"
#include "widgets/busy_popup.h"
#include "widgets/name_dialog.h"
#include "widgets/skin_painter.h"

#include <limits>

using namespace quorvel;
using namespace quorvel::ui;

class ShellTest : public QObject {
    Q_OBJECT

private:
    DeviceState fresh() {
        DeviceState s;
        loadFactoryDefaults(s, 1);
        return s;
    }

private slots:
    void commandLine() {
        AppOptions o;
        QString err, help;
        QVERIFY(parseAppOptions({"quorvel", "--language", "zh", "--connect", "--host", "127.0.0.7"}, o, err,
                                help));
        QCOMPARE(o.languageFlag, 2);
        QVERIFY(o.connect);
        QCOMPARE(o.host, "127.0.0.7");
        QVERIFY(parseAppOptions({"quorvel", "--geometry", "1280x800"}, o, err, help));
        QCOMPARE(o.geometry, QSize(1280, 800));
        QVERIFY(!parseAppOptions({"quorvel", "--language", "fr"}, o, err, help));
        QVERIFY(!parseAppOptions({"quorvel", "--host", "10.0.0"}, o, err, help));
        QVERIFY(err.contains("10.0.0"));
        QVERIFY(!parseAppOptions({"quorvel", "--demo", "--host", "127.0.0.5"}, o, err, help));
        QVERIFY(!parseAppOptions({"quorvel", "--bogus"}, o, err, help));
        QVERIFY(parseAppOptions({"quorvel", "--demo", "--units", "2"}, o, err, help));
        QCOMPARE(o.demoUnits, 2);
        QVERIFY(parseAppOptions({"quorvel", "--demo"}, o, err, help));
        QCOMPARE(o.demoUnits, 4);
        // The device reports at most four; a fifth would enable no button and mislead.
        QVERIFY(!parseAppOptions({"quorvel", "--demo", "--units", "5"}, o, err, help));
        QVERIFY(!parseAppOptions({"quorvel", "--demo", "--units", "two"}, o, err, help));
        // A bare address would otherwise be ignored and the stored device used instead.
        QVERIFY(!parseAppOptions({"quorvel", "127.0.0.7"}, o, err, help));
        QVERIFY(err.contains("127.0.0.7") && err.contains("--host"));
        QVERIFY(help.contains("--data-dir"));
        QVERIFY(!help.contains("screenshot"));
    }

    void profileAndAddresses() {
        QTemporaryDir dir;
        const Profile p(dir.path() + "/sub");
        QCOMPARE(p.readHostAddress(), "192.168.1.106"); // no file yet
        QVERIFY(p.writeHostAddress("127.0.0.9"));
        QCOMPARE(p.readHostAddress(), "127.0.0.9");
        QVERIFY(p.writeHostAddress(""));
        QCOMPARE(p.readHostAddress(), "192.168.1.106"); // present but empty

        for (const char* good : {"192.168.1.106", "127.0.0.2", "10.0.0.255"})
            QVERIFY2(isValidDeviceAddress(good), good);
        for (const char* bad : {"", "192.168.1", "192.168.1.256", "1.2.3.4.5", "a.b.c.d", " 1.2.3.4",
                                "1.2.3.4x", "0.0.0.0", "255.255.255.255", "1..2.3"})
            QVERIFY2(!isValidDeviceAddress(bad), bad);
        QVERIFY(!isValidDeviceAddress(QString::fromUtf8("１.2.3.4")));
    }

    void nameLengthCountsGbkBytes() {
        QVERIFY(NameDialog::acceptable("ABCDEFGH"));
        QVERIFY(!NameDialog::acceptable("ABCDEFGHI"));
        QVERIFY(NameDialog::acceptable(""));
        QVERIFY(NameDialog::acceptable(QString::fromUtf8("主持人席")));    // 8 bytes
        QVERIFY(!NameDialog::acceptable(QString::fromUtf8("主持人席位"))); // 10 bytes
        QString why;
        QVERIFY(!NameDialog::acceptable(QString::fromUtf8("\U0001F3A4"), &why)); // no GBK form
        QVERIFY(!why.isEmpty());
    }

    void nameDialogRefusesAndCancels() {
        NameDialog d;
        d.setName("CH 1");
        auto* field = d.findChild<QLineEdit*>("nameField");
        QVERIFY(field);
        d.show();
        field->setText("TOO LONG NAME");
        QTest::mouseClick(d.findChild<QPushButton*>("nameOk"), Qt::LeftButton);
        QVERIFY(d.isVisible());
        QCOMPARE(d.name(), "CH 1");
        QTRY_VERIFY(d.findChild<QWidget*>("nameRefused"));
        QCOMPARE(field->text(), "TOO LONG NAME"); // the text stays for correcting
        field->setText("PODIUM");
        QTest::mouseClick(d.findChild<QPushButton*>("nameCancel"), Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QCOMPARE(d.name(), "CH 1");
    }

    void nameDialogAcceptsWithEnter() {
        NameDialog d;
        d.setName("OLD");
        d.show();
        auto* field = d.findChild<QLineEdit*>("nameField");
        field->setText(QString::fromUtf8("主席"));
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(d.name(), QString::fromUtf8("主席"));
    }

    void platformWidgetsMatchTheDarkSkin() {
        // Scroll bars and message boxes are not skinned; on the default palette they came out
        // white beside the dark mixer surface.
        skin::applyApplicationLook(*qobject_cast<QApplication*>(QCoreApplication::instance()));
        auto meanLightness = [](QWidget& w) {
            const QImage img = w.grab().toImage();
            qint64 sum = 0;
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x)
                    sum += QColor(img.pixel(x, y)).lightness();
            return sum / (qint64(img.width()) * img.height());
        };
        QScrollBar bar(Qt::Horizontal);
        bar.setRange(0, 1000);
        bar.setPageStep(200);
        bar.resize(400, 16);
        QVERIFY2(meanLightness(bar) < 110, "scroll bar too bright");
        QMessageBox box(QMessageBox::Information, "QUORVEL 3.2", "CANNOT CONNECT.", QMessageBox::Ok);
        box.adjustSize();
        QVERIFY2(meanLightness(box) < 110, "message box too bright");
        // Text stays readable on it.
        const QPalette pal = QApplication::palette();
        QVERIFY(pal.color(QPalette::WindowText).lightness() - pal.color(QPalette::Window).lightness() > 120);
        QVERIFY(pal.color(QPalette::Text).lightness() - pal.color(QPalette::Base).lightness() > 120);
    }

    void busyPopupDrawing() {
        BusyPopup p(nullptr);
        p.popup();
        QImage img = p.grab().toImage();
        auto rgb = [&](int x, int y) { return QColor(img.pixel(x, y)); };
        // The 64-step gradient: row r uses step r * 63 / 60.
        for (int row : {20, 40, 50}) {
            const int i = row * 63 / 60;
            QCOMPARE(rgb(120, row), QColor(255 - i / 3, 255 - i / 3, 255 - i / 5));
        }
        // Red, green and blue squares side by side on the marker row.
        QCOMPARE(rgb(15, 30), QColor(255, 0, 0));
        QCOMPARE(rgb(25, 30), QColor(0, 255, 0));
        QCOMPARE(rgb(35, 30), QColor(0, 0, 255));
        p.advance();
        img = p.grab().toImage();
        // The strip the squares left is background again.
        QCOMPARE(rgb(15, 30), QColor(255 - 31 / 3, 255 - 31 / 3, 255 - 31 / 5));
        QCOMPARE(rgb(25, 30), QColor(255, 0, 0));
        p.dismiss();
        QVERIFY(!p.isVisible());
    }

    void busyPopupWalksAndTurns() {
        BusyPopup p(nullptr);
        QCOMPARE(p.size(), QSize(240, 60));
        QList<int> xs;
        for (int i = 0; i < 40; ++i) {
            p.advance();
            xs << p.markerX();
        }
        // Out from the left edge, turning before the squares leave the window, and back.
        QCOMPARE(xs.first(), 20);
        const int rightmost = *std::max_element(xs.begin(), xs.end());
        const int leftmost = *std::min_element(xs.begin(), xs.end());
        QVERIFY(rightmost + 30 <= 240);
        QCOMPARE(rightmost, 190);
        QCOMPARE(leftmost, 10);
        for (int x : xs)
            QVERIFY(x >= 0 && x % 10 == 0);
    }
};

QTEST_MAIN(ShellTest)
#include "test_ui_shell.moc"
