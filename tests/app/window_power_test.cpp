// The main window's power and line cases end to end against the simulator:
// a DC loss and return whatever is on screen, a start on battery and a loss
// while disconnected, a pending action cancelled and the quit question on
// battery, the line lost and found again, Auto Connect waiting for the port,
// and a silent module that never stalls the window.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include "app_test_env.h"
#include "app_test_sim.h"
#include "appPaths.h"
#include "comAdapter.h"
#include "batteryWidget.h"
#include "configWidget.h"
#include "mainWindow.h"
#include "monitorThread.h"
#include "settingsStore.h"
#include "statusMonitorWidget.h"
#include "window_test_support.h"

using namespace windowtest;

namespace {

QString trayToolTip(const mainWindow& w) {
    return w.findChild<QSystemTrayIcon*>()->toolTip();
}

// Policy 1 with a script that appends a line to the marker at each run.
void setLossScript(const QString& marker) {
    const QString script = QFileInfo(marker).path() + QStringLiteral("/on loss.sh");
    QVERIFY(writeFile(script, "#!/bin/sh\necho run >> \"" + marker.toLocal8Bit() + "\"\n"));
    QVERIFY(QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    settingsStore::setBatPath(script);
    settingsStore::setBatExecutePolicy(1);
}

int lineCount(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    return file.readAll().count('\n');
}

}  // namespace

class WindowPowerTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { startWorld(m_root, m_sim); }

    void cleanup() { endCase(m_sim); }

    // The window, the real polling thread and a real script against the
    // simulator: a DC loss and its return reach the log, the tray icon and
    // the desktop notifications once each; policy 1 runs the script once.
    void dcLossAndReturnEndToEnd_data() {
        QTest::addColumn<QString>("front");  // status, config or hidden
        QTest::newRow("Status Monitor in front") << "status";
        QTest::newRow("Config in front") << "config";
        QTest::newRow("window hidden") << "hidden";
    }

    void dcLossAndReturnEndToEnd() {
        QFETCH(QString, front);
        QVERIFY(writeSettings(false));
        const QString marker = m_root.path() + QStringLiteral("/runs");
        QFile::remove(marker);
        setLossScript(marker);
        apptest::ConsoleRecord log;
        mainWindow w;
        w.setTrayAvailable(false);
        w.show();
        QCOMPARE(w.trayIconPath(), QStringLiteral(":/mainWindow/images/UPS/NotConnected.png"));
        QCOMPARE(trayToolTip(w), QStringLiteral("Ambrel — not connected"));

        action(w, "m_connectAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(w.isConnected(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(log.lines().contains(QStringLiteral("DC is connected.")), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(w.trayIconPath(),
                                  QStringLiteral(":/mainWindow/images/UPS/DC.png"), 5000);
        QVERIFY2(trayToolTip(w).startsWith(QStringLiteral("Ambrel — on DC, ")),
                 qPrintable(trayToolTip(w)));
        QCOMPARE(w.trayMessages(), QStringList());
        if (front == QLatin1String("config")) {
            action(w, "m_configAction")->trigger();
            QTabWidget* tabs = w.findChild<QTabWidget*>(QStringLiteral("m_tabWidget"));
            tabs->setCurrentIndex(2);
            QCOMPARE(tabs->currentWidget(), w.findChild<configWidget*>());
        } else if (front == QLatin1String("hidden")) {
            w.hide();
        }

        QCOMPARE(m_sim.command("scenario dc-loss"), QStringLiteral("ok"));
        QTRY_VERIFY_WITH_TIMEOUT(log.lines().contains(QStringLiteral("DC is broken.")), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(w.trayIconPath(),
                                  QStringLiteral(":/mainWindow/images/UPS/UPS.png"), 5000);
        QCOMPARE(w.trayMessages(), QStringList({"Ambrel: DC is broken."}));
        QVERIFY2(trayToolTip(w).startsWith(QStringLiteral("Ambrel — on battery, ")),
                 qPrintable(trayToolTip(w)));
        QTRY_COMPARE_WITH_TIMEOUT(lineCount(marker), 1, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(
            log.lines().contains(QStringLiteral("Post-process script ended with exit status 0.")),
            20000);

        QCOMPARE(m_sim.command("scenario dc-return"), QStringLiteral("ok"));
        QTRY_COMPARE_WITH_TIMEOUT(w.trayIconPath(),
                                  QStringLiteral(":/mainWindow/images/UPS/DC.png"), 20000);
        QCOMPARE(w.trayMessages(),
                 QStringList({"Ambrel: DC is broken.", "Ambrel: DC is connected."}));
        QTest::qWait(500);
        QCOMPARE(w.trayMessages().size(), 2);
        QCOMPARE(log.lines().count(QStringLiteral("DC is broken.")), 1);
        QCOMPARE(lineCount(marker), 1);

        action(w, "m_disconnectAction")->trigger();
        QCOMPARE(w.trayIconPath(), QStringLiteral(":/mainWindow/images/UPS/NotConnected.png"));
        QCOMPARE(trayToolTip(w), QStringLiteral("Ambrel — not connected"));
        // At once, whichever tab is in front: the last block is no reading any more.
        QCOMPARE(label(w, "m_lblPowerSupplyValue"), QString(QChar(0x2014)));
        w.stopDeviceWork();
        QVERIFY(!w.findChild<monitorThread*>()->isRunning());
        settingsStore::setBatExecutePolicy(0);
    }

    // The DC memory is unknown at start-up: a module already on battery is
    // reported (log, tray, one notification) but runs no script. It is kept
    // across a reconnect: a loss while disconnected runs the script once
    // when the next connection sees it.
    void startOnBatteryAndLossWhileDisconnected() {
        QVERIFY(writeSettings(false));
        const QString marker = m_root.path() + QStringLiteral("/runs");
        QFile::remove(marker);
        setLossScript(marker);
        apptest::ConsoleRecord log;
        mainWindow w;
        w.setTrayAvailable(false);
        QCOMPARE(m_sim.command("scenario dc-loss"), QStringLiteral("ok"));

        action(w, "m_connectAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(w.isConnected(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(log.lines().contains(QStringLiteral("DC is broken.")), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(w.trayIconPath(),
                                  QStringLiteral(":/mainWindow/images/UPS/UPS.png"), 5000);
        QCOMPARE(w.trayMessages(), QStringList({"Ambrel: DC is broken."}));

        QCOMPARE(m_sim.command("scenario dc-return"), QStringLiteral("ok"));
        QTRY_VERIFY_WITH_TIMEOUT(log.lines().contains(QStringLiteral("DC is connected.")), 20000);
        QCOMPARE(lineCount(marker), 0);

        action(w, "m_disconnectAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!comAdapter::instance().isConnected(), 10000);
        QCOMPARE(m_sim.command("scenario dc-loss"), QStringLiteral("ok"));
        action(w, "m_connectAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(w.isConnected(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(lineCount(marker), 1, 20000);
        QCOMPARE(log.lines().count(QStringLiteral("DC is broken.")), 2);

        // The same loss seen again after another reconnect is not repeated.
        action(w, "m_disconnectAction")->trigger();
        action(w, "m_connectAction")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(w.trayIconPath(),
                                  QStringLiteral(":/mainWindow/images/UPS/UPS.png"), 5000);
        QTest::qWait(500);
        QCOMPARE(log.lines().count(QStringLiteral("DC is broken.")), 2);
        QCOMPARE(lineCount(marker), 1);

        // At the warning level the tray image says so; back on DC it is the DC one.
        const QString charge = m_sim.command("get 26").section(QLatin1Char(' '), -1);
        QCOMPARE(m_sim.command("set 26 12"), QStringLiteral("ok"));
        QTRY_COMPARE_WITH_TIMEOUT(w.trayIconPath(),
                                  QStringLiteral(":/mainWindow/images/UPS/LowBattery.png"), 5000);
        QCOMPARE(m_sim.command("scenario dc-return"), QStringLiteral("ok"));
        QTRY_COMPARE_WITH_TIMEOUT(w.trayIconPath(),
                                  QStringLiteral(":/mainWindow/images/UPS/DC.png"), 5000);
        QCOMPARE(m_sim.command(qPrintable("set 26 " + charge)), QStringLiteral("ok"));
        w.stopDeviceWork();
        settingsStore::setBatExecutePolicy(0);
    }

    // A ride-through delay on a real DC loss: the countdown in the status bar
    // and the tray tool tip (beside the time left), one notification, Cancel
    // pending action offered while it runs; cancelled, the script does not run
    // for this outage. Quitting on battery asks first; a No keeps the program.
    void pendingActionCancelledAndQuitAsks() {
        QVERIFY(writeSettings(false));
        const QString marker = m_root.path() + QStringLiteral("/runs");
        QFile::remove(marker);
        setLossScript(marker);
        settingsStore::setRideThroughS(30);
        apptest::ConsoleRecord log;
        mainWindow w;
        w.setTrayAvailable(false);
        QStringList asked;
        w.setQuitConfirmer([&asked](const QString& question) {
            asked << question;
            return false;
        });
        QAction* cancel = action(w, "m_cancelPendingAction");
        action(w, "m_connectAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(log.lines().contains(QStringLiteral("DC is connected.")), 20000);
        QVERIFY(!cancel->isEnabled());

        QCOMPARE(m_sim.command("scenario dc-loss"), QStringLiteral("ok"));
        QTRY_VERIFY_WITH_TIMEOUT(cancel->isEnabled(), 20000);
        const QString countdown = label(w, "m_lblPending");
        QVERIFY2(countdown.startsWith(QStringLiteral("Post-process script in ")) &&
                     countdown.endsWith(QStringLiteral(" s: DC lost")),
                 qPrintable(countdown));
        QTRY_VERIFY_WITH_TIMEOUT(label(w, "m_lblPending") != countdown, 5000);
        QVERIFY2(trayToolTip(w).contains(QStringLiteral("\nTime left: ")) &&
                     trayToolTip(w).contains(QStringLiteral("\nPost-process script in ")),
                 qPrintable(trayToolTip(w)));
        QCOMPARE(w.trayMessages(), QStringList({"Ambrel: DC is broken.",
                                                "Ambrel: DC lost: the post-process script runs "
                                                "in 30 s unless the DC comes back."}));
        action(w, "m_quitAction")->trigger();
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked.at(0).contains(QStringLiteral(" %, the post-process script runs in ")),
                 qPrintable(asked.at(0)));

        cancel->trigger();
        QVERIFY(!cancel->isEnabled());
        QVERIFY(w.findChild<QLabel*>(QStringLiteral("m_lblPending"))->isHidden());
        QVERIFY(log.lines().contains(QStringLiteral(
            "Pending action cancelled: the post-process script will not run for this outage.")));
        action(w, "m_quitAction")->trigger();
        QCOMPARE(
            asked.last(),
            QStringLiteral("Ambrel is protecting this computer: on battery, %1 %. Quit anyway?")
                .arg(w.findChild<statusMonitorWidget*>()->charge()));
        QVERIFY(w.isConnected());

        QCOMPARE(m_sim.command("scenario dc-return"), QStringLiteral("ok"));
        QTRY_COMPARE_WITH_TIMEOUT(log.lines().count(QStringLiteral("DC is connected.")), 2, 20000);
        QCOMPARE(lineCount(marker), 0);
        w.stopDeviceWork();
        settingsStore::setBatExecutePolicy(0);
        settingsStore::setRideThroughS(0);
    }

    // The simulator killed while connected (an adapter unplugged): the
    // window says so once (status bar, tray, notification, log line) and
    // shows the idle display; a new simulator on the same link is found
    // without the user, a DC loss made while the line was down is reported
    // and runs the policy-1 script once. Disconnect during the back-off ends it.
    void lineLostAndFoundAgainEndToEnd() {
        QVERIFY(writeSettings(false));
        const QString marker = m_root.path() + QStringLiteral("/runs");
        QFile::remove(marker);
        setLossScript(marker);
        apptest::ConsoleRecord log;
        mainWindow w;
        w.setTrayAvailable(false);
        w.show();
        w.findChild<statusMonitorWidget*>()->worker()->setTimings(1000, 300, 1000, 60000);
        action(w, "m_connectAction")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(w.trayIconPath(),
                                  QStringLiteral(":/mainWindow/images/UPS/DC.png"), 20000);
        batteryWidget* gauge = w.findChild<batteryWidget*>();
        QVERIFY(!gauge->isIdle());
        // The Config tab, open at the loss, closes with the line and comes back with it.
        QTabWidget* tabs = w.findChild<QTabWidget*>(QStringLiteral("m_tabWidget"));
        configWidget* config = w.findChild<configWidget*>();
        action(w, "m_configAction")->trigger();
        QVERIFY(tabs->indexOf(config) >= 0);

        m_sim.kill();
        QTRY_VERIFY_WITH_TIMEOUT(
            label(w, "m_lblConnectState").startsWith(QStringLiteral("Reconnecting (attempt ")),
            20000);
        QTRY_VERIFY_WITH_TIMEOUT(tabs->indexOf(config) < 0, 5000);
        QVERIFY(!w.findChild<QLabel*>(QStringLiteral("m_lblConnectState"))
                     ->styleSheet()
                     .contains(QLatin1String("green")));
        QCOMPARE(w.trayIconPath(), QStringLiteral(":/mainWindow/images/UPS/NotConnected.png"));
        QVERIFY2(trayToolTip(w).startsWith(
                     QStringLiteral("Ambrel — no answer from the module since 20")),
                 qPrintable(trayToolTip(w)));
        QTRY_VERIFY_WITH_TIMEOUT(gauge->isIdle(), 5000);
        QCOMPARE(label(w, "m_lblPowerSupplyValue"), QString(QChar(0x2014)));
        // The settings stay locked while the worker keeps trying.
        QVERIFY(!w.findChild<QComboBox*>(QStringLiteral("m_cmbComPort"))->isEnabled());
        QVERIFY(!action(w, "m_connectAction")->isEnabled());
        QTest::qWait(2500);  // several attempts
        QVERIFY2(w.trayMessages() == QStringList({"Ambrel: Communication with the module lost."}),
                 qPrintable(w.trayMessages().join(QLatin1Char('|'))));
        QCOMPARE(log.lines().filter(QStringLiteral("Communication with the module lost")).size(),
                 1);
        QVERIFY(log.lines().filter(QStringLiteral("ERR:")).size() <= 1);
        QCOMPARE(
            log.lines().filter(QRegularExpression(QStringLiteral("Read error|Open device error"))),
            QStringList());

        QVERIFY(m_sim.start(m_root.path(), kRegisters));
        QCOMPARE(m_sim.command("scenario dc-loss"), QStringLiteral("ok"));
        QCOMPARE(m_sim.command("set 26 42"), QStringLiteral("ok"));
        QTRY_VERIFY_WITH_TIMEOUT(w.isConnected(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(tabs->indexOf(config) >= 0, 5000);
        QCOMPARE(tabs->currentIndex(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(gauge->value(), 42, 10000);
        QVERIFY(!gauge->isIdle());
        QTRY_COMPARE_WITH_TIMEOUT(lineCount(marker), 1, 20000);
        QCOMPARE(log.lines().count(QStringLiteral("DC is broken.")), 1);
        QCOMPARE(log.lines().filter(QStringLiteral("Communication restored after ")).size(), 1);
        QCOMPARE(w.trayMessages(), QStringList({"Ambrel: Communication with the module lost.",
                                                "Ambrel: Communication with the module restored.",
                                                "Ambrel: DC is broken."}));
        QTRY_COMPARE_WITH_TIMEOUT(w.trayIconPath(),
                                  QStringLiteral(":/mainWindow/images/UPS/UPS.png"), 5000);

        m_sim.kill();
        QTRY_VERIFY_WITH_TIMEOUT(
            label(w, "m_lblConnectState").startsWith(QStringLiteral("Reconnecting")), 20000);
        action(w, "m_disconnectAction")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(label(w, "m_lblConnectState"), QStringLiteral("Disconnected"),
                                  5000);
        QCOMPARE(trayToolTip(w), QStringLiteral("Ambrel — not connected"));
        QVERIFY(m_sim.start(m_root.path(), kRegisters));
        QTest::qWait(2000);
        QVERIFY(!w.isConnected());
        QCOMPARE(m_sim.command("scenario dc-return"), QStringLiteral("ok"));
        w.stopDeviceWork();
        settingsStore::setBatExecutePolicy(0);
    }

    // Auto Connect at start while the port is not there yet keeps trying,
    // and connects once it appears.
    void autoConnectWaitsForThePort() {
        QVERIFY(writeFile(appPaths::settingsFile(QStringLiteral("configs/config_com.xml")),
                          "<Settings><Setting><ComPort>COM201</ComPort><AutoConnect>1"
                          "</AutoConnect></Setting></Settings>"));
        m_sim.kill();
        mainWindow w;
        w.findChild<statusMonitorWidget*>()->worker()->setTimings(1000, 300, 1000, 60000);
        QTRY_VERIFY_WITH_TIMEOUT(
            label(w, "m_lblConnectState").startsWith(QStringLiteral("Reconnecting (attempt ")),
            10000);
        QTest::qWait(1000);
        QVERIFY(!w.isConnected());
        QVERIFY(m_sim.start(m_root.path(), kRegisters));
        QTRY_VERIFY_WITH_TIMEOUT(w.isConnected(), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(w.trayIconPath(),
                                  QStringLiteral(":/mainWindow/images/UPS/DC.png"), 10000);
        QCOMPARE(w.trayMessages(), QStringList());
        w.stopDeviceWork();
    }

    // A silent module with a 3 s time-out and the Config tab in front: the
    // window never waits on the line, and Disconnect returns at once.
    void silentModuleNeverStallsTheWindow() {
        QVERIFY(writeFile(appPaths::settingsFile(QStringLiteral("configs/config_com.xml")),
                          "<Settings><Setting><ComPort>COM201</ComPort><ResponseTimeout>3000"
                          "</ResponseTimeout><NumOfRetries>0</NumOfRetries></Setting></Settings>"));
        mainWindow w;
        w.show();
        action(w, "m_connectAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(w.isConnected(), 10000);
        action(w, "m_configAction")->trigger();
        w.findChild<QTabWidget*>(QStringLiteral("m_tabWidget"))->setCurrentIndex(2);

        QElapsedTimer sinceTick;
        qint64 longest = 0;
        QTimer tick;
        tick.setInterval(10);
        connect(&tick, &QTimer::timeout, [&]() { longest = qMax(longest, sinceTick.restart()); });
        QCOMPARE(m_sim.command("fault silent"), QStringLiteral("ok"));
        sinceTick.start();
        tick.start();
        QTest::qWait(6500);  // two time-outs at least
        QElapsedTimer disconnecting;
        disconnecting.start();
        action(w, "m_disconnectAction")->trigger();
        QVERIFY2(disconnecting.elapsed() < 1000,
                 qPrintable(QString::number(disconnecting.elapsed())));
        QCOMPARE(label(w, "m_lblConnectState"), QStringLiteral("Disconnecting…"));
        QTRY_COMPARE_WITH_TIMEOUT(label(w, "m_lblConnectState"), QStringLiteral("Disconnected"),
                                  15000);
        QVERIFY2(longest < 1000, qPrintable(QString::number(longest)));
        QCOMPARE(m_sim.command("fault none"), QStringLiteral("ok"));
    }

private:
    QTemporaryDir m_root;
    apptest::SimulatedModule m_sim;
};

QXUPS_APP_TEST_MAIN(QApplication, WindowPowerTest)
#include "window_power_test.moc"
