// The status page fed with status blocks: what it shows, which edges it
// reports, the idle display while disconnected and the gauge's width. When it
// starts the script, and the page end to end against the simulator, are in
// status_page_script_test.cpp.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>
#include <algorithm>
#include <memory>

#include "app_test_env.h"
#include "app_test_sim.h"
#include "batThread.h"
#include "batteryWidget.h"
#include "comAdapter.h"
#include "comSettings.h"
#include "ledWidget.h"
#include "monitorThread.h"
#include "powerActions.h"
#include "settingsStore.h"
#include "statusMonitorWidget.h"
#include "status_page_test_support.h"

using namespace statuspagetest;

namespace {

const char* const kLeds[] = {"m_ledDC_OK",  "m_ledBatMode",  "m_ledBatReady", "m_ledSW",
                             "m_ledRemote", "m_ledBatStart", "m_ledDevSts"};

// The seven indicators as '1' (on), '0' (off) and '-' (grey: no reading or
// no source), DO first, then DI.
QString ledStates(QWidget* page) {
    QString states;
    for (const char* name : kLeds) {
        const ledWidget* led = page->findChild<ledWidget*>(QLatin1String(name));
        states += !led->isEnabled() ? '-' : led->isOn() ? '1' : '0';
    }
    return states;
}

// A view as a source that publishes only some fields gives it (a UPS watched
// through upsd): a block's view less what the words take away: "known=HEX"
// (the bits with a source), "nocharge", "nopolicy", "notype" (no device
// type, and so no voltage registers known).
qxwatch::StatusView partialView(const QString& text) {
    QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    qxwatch::StatusView view = qxwatch::decodeStatus(statuspagetest::blocks(QString())[0].data());
    for (const QString& word : words) {
        if (word.startsWith(QLatin1String("known=")))
            view.knownBits = quint8(word.mid(6).toUInt(nullptr, 16));
        else if (word == QLatin1String("nocharge"))
            view.hasCharge = false;
        else if (word == QLatin1String("nopolicy"))
            view.hasPolicy = false;
        else if (word == QLatin1String("notype"))
            view.hasDeviceType = view.hasVoltages = false;
    }
    return view;
}

}  // namespace

class StatusPageTest : public QObject, private StatusPageFixture {
    Q_OBJECT
private slots:
    void initTestCase() { prepareScripts(); }

    void init() { beforeCase(); }

    void cleanup() { afterCase(); }

    // Nothing runs until the first connection or tab change: no idle timer,
    // no polling, and no value that could pass for a reading.
    void idleAfterConstruction() {
        statusMonitorWidget* page = makePage();
        QTest::qWait(100);
        QVERIFY(!page->findChild<QTimer*>(QStringLiteral("m_refreshTimer"))->isActive());
        QVERIFY(!page->findChild<monitorThread*>()->isRunning());
        QVERIFY(!scriptThread()->isRunning());
        const QString dash(QChar(0x2014));
        QCOMPARE(labelText(page, "m_lblPolicyModeValue"), dash);
        QCOMPARE(labelText(page, "m_lblPowerSupplyValue"), dash);
        QCOMPARE(labelText(page, "m_lblBatteryChargingStatusValue"), dash);
        QCOMPARE(labelText(page, "m_lblVoltageInputValue"), dash);
        QVERIFY(!page->findChild<QLabel*>(QStringLiteral("m_lblPowerSupplyValue"))->isEnabled());
        QVERIFY(page->findChild<batteryWidget*>()->isIdle());
        QVERIFY(!page->findChild<ledWidget*>(QStringLiteral("m_ledDC_OK"))->isEnabled());
        QVERIFY(m_console.lines().isEmpty());
    }

    void decodeRules_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("charging");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("policy");
        QTest::addColumn<QString>("vinCaption");
        QTest::addColumn<QString>("vin");
        QTest::addColumn<QString>("vout");
        QTest::addColumn<int>("gauge");
        QTest::addColumn<QString>("leds");
        const QString vin = QStringLiteral("Voltage Input:");
        QTest::newRow("charging") << ""
                                  << "Charging"
                                  << "DC"
                                  << "PC" << vin << "12000mV"
                                  << "11800mV" << 80 << "1000000";
        QTest::newRow("charge full") << "26=100"
                                     << "Charge Full"
                                     << "DC"
                                     << "PC" << vin << "12000mV"
                                     << "11800mV" << 100 << "1000000";
        QTest::newRow("on battery") << "27=2 28=0 29=1"
                                    << "Discharging"
                                    << "UPS"
                                    << "PC" << vin << "12000mV"
                                    << "11800mV" << 80 << "0100000";
        QTest::newRow("above 100 keeps charge label") << "27=2; 26=150"
                                                      << "Discharging"
                                                      << "DC"
                                                      << "PC" << vin << "12000mV"
                                                      << "11800mV" << 100 << "1000000";
        QTest::newRow("code 3 keeps both labels") << "27=2; 27=3"
                                                  << "Discharging"
                                                  << "UPS"
                                                  << "PC" << vin << "12000mV"
                                                  << "11800mV" << 80 << "1000000";
        QTest::newRow("0 mV without leading zeros") << "16=0 18=7"
                                                    << "Charging"
                                                    << "DC"
                                                    << "PC" << vin << "0mV"
                                                    << "7mV" << 80 << "1000000";
        QTest::newRow("policy 5 infinity")
            << "35=5"
            << "Charging"
            << "DC" << QString(QChar(0x221E)) + " Sec." << vin << "12000mV"
            << "11800mV" << 80 << "1000000";
        QTest::newRow("policy 9") << "35=9"
                                  << "Charging"
                                  << "DC"
                                  << "5 Sec." << vin << "12000mV"
                                  << "11800mV" << 80 << "1000000";
        QTest::newRow("policy 10") << "35=10"
                                   << "Charging"
                                   << "DC"
                                   << "NULL" << vin << "12000mV"
                                   << "11800mV" << 80 << "1000000";
        QTest::newRow("301 blanks, captions stay blank") << "0=301; "
                                                         << "Charging"
                                                         << "DC"
                                                         << "PC"
                                                         << ""
                                                         << "12000mV"
                                                         << "11800mV" << 80 << "1000000";
        QTest::newRow("301 blanks the values") << "0=301"
                                               << "Charging"
                                               << "DC"
                                               << "PC"
                                               << ""
                                               << ""
                                               << "" << 80 << "1000000";
        QTest::newRow("indicators follow their words") << "29=1 30=2 32=1 34=65535"
                                                       << "Charging"
                                                       << "DC"
                                                       << "PC" << vin << "12000mV"
                                                       << "11800mV" << 80 << "1110101";
        // A source without them: unknown, never a value made up.
        const QString dash(QChar(0x2014));
        QTest::newRow("fields without a source")
            << "view: known=01 nocharge nopolicy notype"
            << "Charging"
            << "DC" << dash << vin << dash << dash << 0 << "1------";
    }

    void decodeRules() {
        QFETCH(QString, input);
        statusMonitorWidget* page = makePage();
        if (input.startsWith(QLatin1String("view:")))
            page->decodeStatusView(partialView(input.mid(5)));
        else
            feed(input);
        QTEST(labelText(page, "m_lblBatteryChargingStatusValue"), "charging");
        QTEST(labelText(page, "m_lblPowerSupplyValue"), "source");
        QTEST(labelText(page, "m_lblPolicyModeValue"), "policy");
        QTEST(labelText(page, "m_lblVoltageInput"), "vinCaption");
        QTEST(labelText(page, "m_lblVoltageInputValue"), "vin");
        QTEST(labelText(page, "m_lblVoltageOutputValue"), "vout");
        QTEST(page->findChild<batteryWidget*>()->value(), "gauge");
        QTEST(ledStates(page), "leds");
    }

    void edgeMemory_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("dcOk");           // signalDC_OK, t/f in order
        QTest::addColumn<QString>("notifications");  // signalPowerEvent, t/f in order
        const QString on = QStringLiteral("DC is connected.");
        const QString off = QStringLiteral("DC is broken.");
        // Started on battery: reported (log, tray, notification) once.
        QTest::newRow("first read without DC") << "28=0; 28=0" << QStringList{off} << "f"
                                               << "f";
        QTest::newRow("first read with DC, then steady") << "28=1; 28=1" << QStringList{on} << "t"
                                                         << "";
        QTest::newRow("non-zero change is no edge") << "28=1; 28=5; 28=1" << QStringList{on} << "t"
                                                    << "";
        QTest::newRow("start on battery, then DC") << "28=0; 28=1" << QStringList{off, on} << "ft"
                                                   << "ft";
        QTest::newRow("SW on at start is logged")
            << "31=1; 31=1" << QStringList{on, "SW ON."} << "t"
            << "";
        QTest::newRow("loss and return")
            << "28=1; 28=0; 28=0; 28=1; 28=1" << QStringList{on, off, on} << "tft"
            << "ft";
        QTest::newRow("SW on and off")
            << "31=1; 31=2; 31=0; 31=0" << QStringList{on, "SW ON.", "SW OFF."} << "t"
            << "";
    }

    void edgeMemory() {
        QFETCH(QString, input);
        statusMonitorWidget* page = makePage();
        QSignalSpy dcOk(page, &statusMonitorWidget::signalDC_OK);
        QSignalSpy power(page, &statusMonitorWidget::signalPowerEvent);
        feed(input);
        QTEST(m_console.lines(), "messages");
        QTEST(dcSignals(dcOk), "dcOk");
        QTEST(dcSignals(power), "notifications");
    }

    // Enabled without an open device the page shows the idle display; the
    // last device type decides the voltage rows, and the edge memory stays,
    // so a loss while disconnected is reported at the next read.
    void idleDisplayWhileDisconnected() {
        statusMonitorWidget* page = makePage();
        QVERIFY(!comAdapter::instance().isConnected());
        feed(QStringLiteral("29=1 30=1 31=1 32=1 33=1 34=1 35=3"));
        page->slotOnSetEnabled(true);
        const QString dash(QChar(0x2014));
        QTRY_COMPARE(labelText(page, "m_lblPowerSupplyValue"), dash);
        QCOMPARE(labelText(page, "m_lblBatteryChargingStatusValue"), dash);
        QCOMPARE(labelText(page, "m_lblPolicyModeValue"), dash);
        QCOMPARE(labelText(page, "m_lblVoltageInputValue"), dash);
        QCOMPARE(labelText(page, "m_lblVoltageOutputValue"), dash);
        QCOMPARE(page->findChild<batteryWidget*>()->value(), 0);
        QVERIFY(page->findChild<batteryWidget*>()->isIdle());  // grey, no percentage
        QCOMPARE(ledStates(page), QStringLiteral("-------"));
        QVERIFY(!page->findChild<ledWidget*>(QStringLiteral("m_ledSW"))->isOn());
        page->slotOnSetEnabled(false);
        QVERIFY(!page->findChild<monitorThread*>()->isRunning());

        m_console.clear();
        feed(QStringLiteral("0=301 28=0 31=0"));
        QCOMPARE(m_console.lines(), QStringList({"DC is broken.", "SW OFF."}));
        page->slotOnSetEnabled(true);
        QTRY_COMPARE(labelText(page, "m_lblPowerSupplyValue"), dash);
        QCOMPARE(labelText(page, "m_lblVoltageInputValue"), QString());
        QCOMPARE(labelText(page, "m_lblVoltageOutput"), QString());

        // The block shown before the idle display comes again (a reconnect
        // to a module that did not change): all of it is shown again.
        page->slotOnSetEnabled(false);
        feed(QStringLiteral("0=301 28=0 31=0"));
        QCOMPARE(labelText(page, "m_lblPowerSupplyValue"), QStringLiteral("DC"));
        QCOMPARE(labelText(page, "m_lblBatteryChargingStatusValue"), QStringLiteral("Charging"));
        QCOMPARE(labelText(page, "m_lblPolicyModeValue"), QStringLiteral("PC"));
        QVERIFY(page->findChild<QLabel*>(QStringLiteral("m_lblPolicyModeValue"))->isEnabled());
        QVERIFY(page->findChild<ledWidget*>(QStringLiteral("m_ledSW"))->isEnabled());
        QCOMPARE(page->findChild<batteryWidget*>()->value(), 80);
        QVERIFY(!page->findChild<batteryWidget*>()->isIdle());
    }

    // The gauge keeps a third of the page width, and a page once made wide
    // (a maximised window) can be made narrow again.
    void narrowAgainAfterWide() {
        statusMonitorWidget* page = makePage();
        QWidget& holder = holdPage();
        QVERIFY(QTest::qWaitForWindowExposed(&holder));
        for (int width : {1280, 713, 1600, 600}) {
            holder.resize(width, 600);
            QTRY_COMPARE(page->width(), width);
            QTRY_COMPARE(page->findChild<batteryWidget*>()->minimumWidth(), width / 3);
        }
    }
};

QXUPS_APP_TEST_MAIN(QApplication, StatusPageTest)
#include "status_page_test.moc"
