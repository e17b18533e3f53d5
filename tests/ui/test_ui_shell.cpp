// The shell's rules that need no window: readout formats, the typed value entry, the command line,
// the profile and the name rule; plus the busy popup's walk.
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPoint>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include "app/app_options.h"
#include "app/readout.h"
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
    static QString value1(const DeviceState& s, int ch, int kind, int lang = 1) {
        return QString::fromStdString(formatReadout(s, ch, kind, lang).value1);
    }

private slots:
    void readoutFormatsPerKind() {
        DeviceState s = fresh();
        s.in(3).level = 52;
        s.in(3).pan = 75;
        s.in(3).mute = 1;
        s.in(3).peq[1].bandGain = 123;
        s.in(3).peq[1].bandFreq = 1250;
        s.in(3).peq[1].bandQ = 7;
        s.in(3).dynamics.compRatio = 45;
        s.in(3).dynamics.compGain = 35;
        s.in(3).sendLevel[2] = 70;
        QCOMPARE(value1(s, 2, 1), "OPEN");
        QCOMPARE(value1(s, 2, 2), "CLOSE");
        QCOMPARE(value1(s, 2, 3), "-8dB");
        QCOMPARE(value1(s, 2, 4), "-0.25");
        QCOMPARE(value1(s, 2, 8), "-2.7dB"); // band 2 gain
        QCOMPARE(value1(s, 2, 9), "1250Hz"); // band 2 frequency
        QCOMPARE(value1(s, 2, 10), "0.70");  // band 2 Q
        QCOMPARE(value1(s, 2, 55), "1:4.5");
        QCOMPARE(value1(s, 2, 58), "3.5dB");
        QCOMPARE(value1(s, 2, 43), "10dB"); // AUX2
        // The band kinds show gain and frequency side by side.
        const ReadoutText band = formatReadout(s, 2, 23, 1);
        QCOMPARE(band.paramName, std::string("BAND2"));
        QCOMPARE(band.value1, std::string("-2.7dB"));
        QCOMPARE(band.value2, std::string("1250Hz"));
        // Effect returns: reverberation time and delay feedback.
        QCOMPARE(value1(s, 17, 66), "2.0s");
        QCOMPARE(value1(s, 16, 70), "30%");
        // Outputs: GEQ band and limiter ratio; no solo of their own.
        s.out(2).geq[30].gain = 180;
        QCOMPARE(value1(s, 19, 35), "3.0dB");
        QCOMPARE(value1(s, 19, 42), "1:1.0");
        QCOMPARE(value1(s, 19, 2), "");
        // Kind 0 clears everything but the channel; names follow the language.
        const ReadoutText none = formatReadout(s, 0, 0, 1);
        QVERIFY(none.paramName.empty() && none.value1.empty() && none.value2.empty());
        QCOMPARE(QString::fromStdString(formatReadout(s, 0, 3, 2).paramName), QString::fromUtf8("音量"));
        QCOMPARE(QString::fromStdString(formatReadout(s, 0, 3, 1).channelName), "CH 1");
    }

    void readoutFindsTheKindOfAField() {
        auto id = [](const char* path) {
            const FieldRegistry& r = FieldRegistry::instance();
            return static_cast<FieldId>(r.find(path) - r.fields().data());
        };
        auto target = [&](const char* path) {
            const auto t = readoutFor(id(path));
            return t ? QPoint(t->readoutChannel, t->kind) : QPoint(-1, -1);
        };
        QCOMPARE(target("input[3].level"), QPoint(2, 3));
        QCOMPARE(target("input[18].solo"), QPoint(17, 2));
        QCOMPARE(target("input[5].peq[2].bandQ"), QPoint(4, 10));
        QCOMPARE(target("output[2].geq[31]"), QPoint(19, 35));
        QCOMPARE(target("output[8].level"), QPoint(25, 3));
        // Fields no kind shows leave the readout where it is.
        QVERIFY(!readoutFor(id("input[1].name")));
        QVERIFY(!readoutFor(FieldId(1u << 30)));
    }

    void typedEntryConvertsAndClamps() {
        DeviceState s = fresh();
        auto apply = [&](int ch, int kind, int field, const char* text) {
            return applyTypedValue(s, ch, kind, field, text);
        };
        QVERIFY(apply(0, 3, 0, "-12dB").applied);
        QCOMPARE(s.in(1).level, 48);
        apply(0, 3, 0, "+25"); // above +10 dB
        QCOMPARE(s.in(1).level, 70);
        apply(0, 3, 0, "-1e9"); // exponent forms are not plain numbers
        QCOMPARE(s.in(1).level, 70);
        apply(0, 3, 0, "-99999999999999999999");
        QCOMPARE(s.in(1).level, 0);
        apply(0, 4, 0, "-0.5");
        QCOMPARE(s.in(1).pan, 50);
        apply(0, 5, 0, "3.5");
        QCOMPARE(s.in(1).peq[0].bandGain, 185);
        apply(0, 7, 0, "0.01"); // Q below 0.1
        QCOMPARE(s.in(1).peq[0].bandQ, 1);
        apply(0, 55, 0, "1:4");
        QCOMPARE(s.in(1).dynamics.compRatio, 40);
        apply(0, 20, 0, "30khz");
        QCOMPARE(s.in(1).hpfFreq, 20000);
        apply(17, 66, 0, "3.4S");
        QCOMPARE(s.in(18).effectParams[9], 34);

        // A unit is converted into the one shown; the unit of another kind changes nothing, so
        // a stray "k" cannot throw a level to its top.
        apply(0, 52, 0, "0.1s");
        QCOMPARE(s.in(1).gate.gateAttack, 100);
        apply(17, 66, 0, "2500ms");
        QCOMPARE(s.in(18).effectParams[9], 25);
        apply(0, 3, 0, "-20");
        for (const char* wrongUnit : {"5K", "5HZ", "5MS", "5%"})
            QVERIFY2(!apply(0, 3, 0, wrongUnit).applied, wrongUnit);
        QCOMPARE(s.in(1).level, 40);
        QVERIFY(!apply(0, 20, 0, "12dB").applied);
        QVERIFY(!apply(0, 4, 0, "0.5dB").applied);

        // The second field is the band's frequency, and only for the band kinds.
        QVERIFY(apply(0, 23, 1, "1.5K").applied);
        QCOMPARE(s.in(1).peq[1].bandFreq, 1500);
        QVERIFY(!apply(0, 3, 1, "5").applied);

        // Switches take OPEN and CLOSE in any case; anything else changes nothing.
        QVERIFY(apply(0, 1, 0, "open").applied);
        QCOMPARE(s.in(1).mute, 1);
        QVERIFY(!apply(0, 1, 0, "on").applied);
        QCOMPARE(s.in(1).mute, 1);
        QVERIFY(!apply(0, 3, 0, "loud").applied);
        QVERIFY(!apply(0, 3, 0, "").applied);
        QVERIFY(!apply(18, 2, 0, "OPEN").applied); // outputs have no solo

        // The carrier is the command that must follow.
        const TypedValueResult vol = apply(2, 3, 0, "0");
        QCOMPARE(vol.carrier.letter, 'A');
        QCOMPARE(vol.carrier.selector, 3);
        const TypedValueResult band = apply(2, 24, 0, "1");
        QCOMPARE(band.carrier.letter, 'G');
        QCOMPARE(band.carrier.selector2, 3);
        const TypedValueResult lim = apply(20, 41, 0, "-10");
        QCOMPARE(s.out(3).limiter[1], 50);
        QCOMPARE(lim.carrier.letter, 'D');
    }

    void everyKindStaysInItsFieldRange() {
        // Whatever is typed, and whatever the device left in the record, no kind may store a
        // value outside its field's range or fail to format.
        DeviceState s = fresh();
        for (InputChannel& ch : s.input)
            ch.level = ch.pan = ch.hpfFreq = std::numeric_limits<std::int32_t>::min();
        for (OutputChannel& o : s.output)
            o.limiter.fill(std::numeric_limits<std::int32_t>::max());
        const auto& reg = FieldRegistry::instance();
        int applied = 0;
        for (int ch = 0; ch < kReadoutChannels; ++ch) {
            for (int kind = 0; kind <= 80; ++kind) {
                (void)formatReadout(s, ch, kind, 1);
                for (int field = 0; field < 2; ++field) {
                    for (const char* text : {"99999999", "-99999999", "0", "1:0", "0.05", "OPEN"}) {
                        const TypedValueResult r = applyTypedValue(s, ch, kind, field, text);
                        if (!r.applied) continue;
                        ++applied;
                        const FieldInfo* f = reg.find(r.fieldPath);
                        QVERIFY(f);
                        const std::int32_t v = FieldRegistry::get(s, *f);
                        QVERIFY2(v >= f->min && v <= f->max,
                                 qPrintable(
                                     QString("%1 kind %2 text %3 -> %4").arg(ch).arg(kind).arg(text).arg(v)));
                    }
                }
            }
        }
        QVERIFY(applied > 500);
    }

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
