// The battery gauge, the LED indicator and the write-register dialog, checked
// where it matters: what they paint, what they repaint and what they send.

#include <QDialogButtonBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include "batteryWidget.h"
#include "configDialog.h"
#include "dataObject.h"
#include "ledWidget.h"

namespace {

// Paints the widget alone onto a transparent image, so that only what the
// widget draws itself has any alpha.
QImage paintAlone(QWidget& w) {
    QImage image(w.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    w.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// Bounding box of the pixels that pass the test.
template <typename Pred>
QRect boundingBox(const QImage& image, Pred pred) {
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (pred(image.pixelColor(x, y))) box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

class paintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

}  // namespace

class widgetsTest : public QObject {
    Q_OBJECT

private slots:
    void gaugeCells_data();
    void gaugeCells();
    void ledGeometry();
    void ledStateSlots_data();
    void ledStateSlots();
    void ledSameCaptionNoRepaint();
    void dialogOkSendsLow16Bits();
    void dialogCancelAndEscape();
    void dialogCaptionsNotClipped();
    void dialogOkOnlyForAcceptableInput_data();
    void dialogOkOnlyForAcceptableInput();
};

void widgetsTest::gaugeCells_data() {
    QTest::addColumn<int>("input");
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("cells");
    QTest::addColumn<int>("alert");     // low-battery level: 0 green, 1 amber, 2 red
    QTest::addColumn<int>("critical");  // the critical level set, -1 none
    QTest::addColumn<int>("bar");       // below one cell: the low bar's length
    QTest::addColumn<int>("barAlert");  // and its colour, as alert
    QTest::newRow("150 clamps") << 150 << 100 << 5 << 0 << -1 << 0 << 0;
    QTest::newRow("-5 clamps, no bar") << -5 << 0 << 0 << 0 << -1 << 0 << 2;
    QTest::newRow("19: amber bar") << 19 << 19 << 0 << 0 << -1 << 32 << 1;
    QTest::newRow("20") << 20 << 20 << 1 << 0 << -1 << 0 << 0;
    QTest::newRow("99") << 99 << 99 << 4 << 0 << -1 << 0 << 0;
    QTest::newRow("warning level: amber") << 40 << 40 << 2 << 1 << -1 << 0 << 0;
    QTest::newRow("critical level: red") << 40 << 40 << 2 << 2 << -1 << 0 << 0;
    QTest::newRow("1: red stub") << 1 << 1 << 0 << 0 << -1 << 2 << 2;
    QTest::newRow("9 above critical 5: amber") << 9 << 9 << 0 << 0 << 5 << 15 << 1;
    QTest::newRow("5 at critical 5: red") << 5 << 5 << 0 << 2 << 5 << 8 << 2;
}

// A 210-pixel gauge: body 200, pitch 39, cells 34 wide from x = 5, 44, 83,
// 122, 161; the gaps between them stay unpainted.
void widgetsTest::gaugeCells() {
    QFETCH(int, input);
    QFETCH(int, shown);
    QFETCH(int, cells);
    QFETCH(int, alert);
    QFETCH(int, critical);
    QFETCH(int, bar);
    QFETCH(int, barAlert);
    batteryWidget gauge;
    gauge.resize(210, 60);
    gauge.slotOnSetValue(input);
    gauge.setAlertLevel(alert);
    if (critical >= 0) gauge.setCriticalLevel(critical);
    QCOMPARE(gauge.value(), shown);

    const QImage image = paintAlone(gauge);
    const QColor fills[] = {QColor(50, 205, 50), QColor(0xFF, 0xB3, 0x00),
                            QColor(0xE5, 0x39, 0x35)};
    const QColor fill = fills[alert];
    const int row = 8;  // inside the cells, above the percent text
    const int starts[] = {5, 44, 83, 122, 161};
    for (int i = 0; i < 5; ++i) {
        const int x = starts[i];
        for (int dx = 0; dx < 34; ++dx) {
            const bool isFill = image.pixelColor(x + dx, row) == fill;
            QVERIFY2(isFill == (i < cells),
                     qPrintable(QString("cell %1 at x=%2").arg(i).arg(x + dx)));
        }
        QVERIFY2(image.pixelColor(x - 2, row) != fill,
                 qPrintable(QString("gap before cell %1").arg(i)));
    }
    QVERIFY(image.pixelColor(starts[4] + 36, row) != fill);

    // The low bar runs along the middle of the first cell, from its left edge.
    if (cells == 0) {
        int lit = 0;
        for (int dx = 0; dx < 34; ++dx)
            if (image.pixelColor(5 + dx, 30) == fills[barAlert]) ++lit;
        QCOMPARE(lit, bar);
        if (bar > 0) QCOMPARE(image.pixelColor(5 + bar - 1, 30), fills[barAlert]);
    }
}

// 60 x 70: lamp square (10, 0, 40, 40), lamp drawn at (12, 2) with diameter
// 36, caption in (0, 40, 60, 20) at point size 10.
void widgetsTest::ledGeometry() {
    ledWidget led;
    led.resize(60, 70);
    led.setOnColor(Qt::red);
    led.setText("DC");
    led.turnOn();
    const QImage image = paintAlone(led);  // delivers the pending resize
    QCOMPARE(led.font().pointSize(), 10);
    const QRect lamp = boundingBox(
        image, [](const QColor& c) { return c.alpha() > 200 && c.red() > 200 && c.green() < 60; });
    QVERIFY2(qAbs(lamp.x() - 12) <= 1 && qAbs(lamp.y() - 2) <= 1,
             qPrintable(QString("lamp at %1,%2").arg(lamp.x()).arg(lamp.y())));
    QVERIFY2(qAbs(lamp.width() - 36) <= 1 && qAbs(lamp.height() - 36) <= 1,
             qPrintable(QString("lamp %1x%2").arg(lamp.width()).arg(lamp.height())));

    const QRect caption = boundingBox(image, [](const QColor& c) {
        return c.alpha() > 128 && c.red() < 100 && c.green() < 100 && c.blue() < 100;
    });
    QVERIFY(!caption.isEmpty());
    QVERIFY2(QRect(0, 40, 60, 20).contains(caption), qPrintable(QString("caption %1,%2 %3x%4")
                                                                    .arg(caption.x())
                                                                    .arg(caption.y())
                                                                    .arg(caption.width())
                                                                    .arg(caption.height())));
    QVERIFY(qAbs(caption.center().x() - 30) <= 2 && qAbs(caption.center().y() - 50) <= 2);
}

void widgetsTest::ledStateSlots_data() {
    QTest::addColumn<QString>("slot");
    QTest::addColumn<bool>("startOn");
    QTest::addColumn<bool>("lit");
    QTest::newRow("turnOff(false) lights") << "turnOff(false)" << false << true;
    QTest::newRow("turnOn(false) darkens") << "turnOn(false)" << true << false;
    QTest::newRow("toggle") << "toggle" << false << true;
}

void widgetsTest::ledStateSlots() {
    QFETCH(QString, slot);
    QFETCH(bool, startOn);
    QFETCH(bool, lit);
    ledWidget led;
    led.resize(60, 70);
    led.turnOn(startOn);
    if (slot == "turnOff(false)") led.turnOff(false);
    if (slot == "turnOn(false)") led.turnOn(false);
    if (slot == "toggle") led.toggle();
    QCOMPARE(led.isOn(), lit);
    const QColor centre = paintAlone(led).pixelColor(30, 20);
    QCOMPARE(centre, lit ? QColor(Qt::green) : QColor(Qt::gray));
}

void widgetsTest::ledSameCaptionNoRepaint() {
    ledWidget led;
    led.resize(60, 70);
    paintCounter counter;
    led.show();
    QVERIFY(QTest::qWaitForWindowExposed(&led));
    QTest::qWait(50);
    led.installEventFilter(&counter);

    led.setText("SW");
    QTRY_COMPARE(counter.paints, 1);
    led.setText("SW");
    QTest::qWait(200);
    QCOMPARE(counter.paints, 1);
}

void widgetsTest::dialogOkSendsLow16Bits() {
    configDialog dialog;
    QSignalSpy changed(&dialog, &configDialog::signalDataChanged);
    QSignalSpy shown(&dialog, &configDialog::signalDialogShown);
    DataObject reg;
    reg.setAddress(40010);
    reg.setValue(65535);

    dialog.slotOnShowDialog(&reg, 0);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.findChild<QLabel*>("m_lblRegisterAddressValue")->text(), QString("40010"));
    QCOMPARE(dialog.findChild<QLineEdit*>("m_lineEditRegisterValue")->text(), QString("65535"));

    auto* buttons = dialog.findChild<QDialogButtonBox*>("m_buttonBox");
    QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).value<qint32>(), 40010);
    QCOMPARE(quint16(changed.at(0).at(1).value<qint16>()), quint16(0xFFFF));
    QCOMPARE(changed.at(0).at(2).toBool(), true);
    QCOMPARE(shown.count(), 2);
    QCOMPARE(shown.at(0).at(0).toBool(), true);
    QCOMPARE(shown.at(1).at(0).toBool(), false);
    QVERIFY(!dialog.isVisible());
}

// Cancel says only that the dialog went away; Escape says nothing at all.
void widgetsTest::dialogCancelAndEscape() {
    configDialog dialog;
    DataObject reg;
    reg.setAddress(40010);
    auto* buttons = dialog.findChild<QDialogButtonBox*>("m_buttonBox");

    dialog.slotOnShowDialog(&reg, 0);
    QSignalSpy changed(&dialog, &configDialog::signalDataChanged);
    QSignalSpy shown(&dialog, &configDialog::signalDialogShown);
    QTest::mouseClick(buttons->button(QDialogButtonBox::Cancel), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(changed.count(), 0);
    QCOMPARE(shown.count(), 1);
    QCOMPARE(shown.at(0).at(0).toBool(), false);

    dialog.slotOnShowDialog(&reg, 0);
    shown.clear();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(changed.count(), 0);
    QCOMPARE(shown.count(), 0);
}

// 240 x 150 with 110-pixel captions, unless the font needs more room (the
// offscreen platform's 12-point font does).
void widgetsTest::dialogCaptionsNotClipped() {
    const QFont original = QApplication::font();
    QFont big = original;
    big.setPointSize(14);
    QApplication::setFont(big);
    configDialog dialog;
    QApplication::setFont(original);
    auto* caption = dialog.findChild<QLabel*>("label_3");
    QVERIFY(caption->width() >= caption->sizeHint().width());
    QCOMPARE(dialog.findChild<QLabel*>("label_4")->width(), caption->width());
    QVERIFY(dialog.width() >= 240 && dialog.height() >= 150);
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
}

void widgetsTest::dialogOkOnlyForAcceptableInput_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("sent");
    QTest::addColumn<int>("value");
    QTest::newRow("above 65535") << "70000" << false << 0;
    QTest::newRow("text") << "abc" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    // A group separator would pass a locale-aware check and then parse as 0.
    QTest::newRow("group separator refused") << "1,000" << true << 1000;
    QTest::newRow("0") << "0" << true << 0;
    QTest::newRow("65535") << "65535" << true << 65535;
    // Register 40035 carries the table's range 0..9 (PolicyMode).
    QTest::newRow("42 over the range") << "42" << false << 0;
    QTest::newRow("9 in the range") << "9" << true << 9;
}

// Neither the OK button nor Return in the value field may send a value the
// user did not type.
void widgetsTest::dialogOkOnlyForAcceptableInput() {
    QFETCH(QString, text);
    QFETCH(bool, sent);
    QFETCH(int, value);
    configDialog dialog;
    DataObject reg;
    reg.setAddress(40010);
    if (QByteArray(QTest::currentDataTag()).contains("range")) {
        reg.setAddress(40035);
        registerRange::Range policy;
        policy.max = 9;
        reg.setRange(policy);
    }
    dialog.slotOnShowDialog(&reg, 0);
    QSignalSpy changed(&dialog, &configDialog::signalDataChanged);

    auto* edit = dialog.findChild<QLineEdit*>("m_lineEditRegisterValue");
    auto* ok = dialog.findChild<QDialogButtonBox*>("m_buttonBox")->button(QDialogButtonBox::Ok);
    edit->clear();
    QTest::keyClicks(edit, text);
    // The validator drops keys past the range; a pasted text is not dropped.
    if (QByteArray(QTest::currentDataTag()).contains("range")) edit->setText(text);
    QCOMPARE(ok->isEnabled(), sent);
    // The line under the value names the range, and says when the text is outside.
    if (QByteArray(QTest::currentDataTag()).contains("range")) {
        QCOMPARE(dialog.findChild<QLabel*>("m_lblRange")->text(),
                 sent ? QStringLiteral("Allowed values: 0 to 9")
                      : QStringLiteral("42 is outside the allowed values 0 to 9"));
    }
    QTest::keyClick(edit, Qt::Key_Return);
    if (dialog.isVisible()) QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(changed.count(), sent ? 1 : 0);
    if (sent) QCOMPARE(quint16(changed.at(0).at(1).value<qint16>()), quint16(value));
}

QTEST_MAIN(widgetsTest)
#include "widgets_test.moc"
