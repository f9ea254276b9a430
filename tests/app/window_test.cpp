// The main window against the simulator: status bar and title through a
// connection, hiding into the tray and AutoHide with and without a tray, the
// language menu's restart question, and the Status Monitor tab: page
// activation, a DC loss and return end to end whatever is on screen, a start
// on battery and a loss while disconnected, a pending action cancelled and
// the quit question on battery; the Config tab and the help's address.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QFileInfo>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include "app_test_env.h"
#include "app_test_sim.h"
#include "appPaths.h"
#include "comAdapter.h"
#include "batteryWidget.h"
#include "comSettingsWidget.h"
#include "configDialog.h"
#include "configWidget.h"
#include "loginDialog.h"
#include "mainWindow.h"
#include "monitorThread.h"
#include "settingsStore.h"
#include "statusMonitorWidget.h"
#include "upsDataModel.h"

namespace {

bool writeFile(const QString& path, const QByteArray& contents) {
    QFile file(path);
    return appPaths::makeFolderFor(path) && file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(contents) == contents.size();
}

// Settings for the simulator's port, without automatic connect.
bool writeSettings(bool autoHide) {
    return writeFile(appPaths::settingsFile(QStringLiteral("configs/config_com.xml")),
                     QByteArray("<Settings><Setting><ComPort>COM") +
                         QByteArray::number(apptest::kSimPort) + "</ComPort><AutoHide>" +
                         (autoHide ? "1" : "0") + "</AutoHide></Setting></Settings>");
}

QString label(const mainWindow& w, const char* name) {
    QLabel* l = w.findChild<QLabel*>(QLatin1String(name));
    return l != nullptr ? l->text() : QStringLiteral("<no label>");
}

QAction* action(const mainWindow& w, const char* name) {
    return w.findChild<QAction*>(QLatin1String(name));
}

// Answers the next message box with the given button and keeps its text.
class BoxAnswer : public QObject {
public:
    BoxAnswer(QMessageBox::StandardButton button) : m_button(button) {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, [this]() {
            QMessageBox* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            m_texts << box->text();
            box->button(m_button)->click();
        });
        m_timer.start();
    }
    QStringList m_texts;

private:
    QMessageBox::StandardButton m_button;
    QTimer m_timer;
};

// Whether the status page's idle display (which follows the tab in front)
// and its polling (which follows the connection) run.
bool statusPageDisplays(const mainWindow& w) {
    statusMonitorWidget* page = w.findChild<statusMonitorWidget*>();
    return page->findChild<QTimer*>(QStringLiteral("m_refreshTimer"))->isActive();
}

bool statusPagePolls(const mainWindow& w) {
    return w.findChild<statusMonitorWidget*>()->findChild<monitorThread*>()->isRunning();
}

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

// The product's table: the module has the registers it lists, 40100 and up too.
const std::vector<std::string> kRegisters = {
    "--registers", QXUPS_BIN_DIR "/iconfigs/DCU-1205/config_registers.xml"};

int lineCount(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    return file.readAll().count('\n');
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY(m_root.isValid());
        QVERIFY(m_sim.start(m_root.path(), kRegisters));
        const QString language = appPaths::dataFile(QStringLiteral("Language"));
        QVERIFY(QDir().mkpath(language));
        QVERIFY(QFile::copy(QStringLiteral(QXUPS_BIN_DIR "/Language/config_Language.xml"),
                            language + QStringLiteral("/config_Language.xml")));
        const QString table = QStringLiteral("/iconfigs/DCU-1205/config_registers.xml");
        QVERIFY(appPaths::makeFolderFor(appPaths::dataFile(table.mid(1))));
        QVERIFY(
            QFile::copy(QStringLiteral(QXUPS_BIN_DIR) + table, appPaths::dataFile(table.mid(1))));
    }

    void cleanup() {
        if (comAdapter::instance().isConnected()) comAdapter::instance().slotCloseDevice();
        // A case that failed half-way leaves the module answering for the next.
        if (m_sim.running()) m_sim.command("fault none");
    }

    void statusBarAndTitleFollowTheConnection() {
        QVERIFY(writeSettings(false));
        mainWindow w;
        QCOMPARE(label(w, "m_lblConnectState"), QStringLiteral("Disconnect"));
        QCOMPARE(label(w, "m_lblHwVer"), QStringLiteral("HW:0000"));
        QCOMPARE(label(w, "m_lblFwVer"), QStringLiteral("FW:0000"));
        QCOMPARE(label(w, "m_lblDrvVer"), QStringLiteral("DRV:0000"));
        QCOMPARE(label(w, "m_lblTime"), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Ambrel"));

        action(w, "m_connectAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(w.isConnected(), 10000);
        QCOMPARE(label(w, "m_lblHwVer"), QStringLiteral("HW:1"));
        QCOMPARE(label(w, "m_lblFwVer"), QStringLiteral("FW:2"));
        QVERIFY(label(w, "m_lblDrvVer") != QStringLiteral("DRV:0000"));
        // Device type 301 is listed in the shipped product file.
        QCOMPARE(w.windowTitle(), QStringLiteral("Ambrel_DCU-1205"));
        QTRY_COMPARE_WITH_TIMEOUT(label(w, "m_lblConnectState"), QStringLiteral("Connected"), 5000);
        QVERIFY(w.findChild<QLabel*>(QStringLiteral("m_lblConnectState"))
                    ->styleSheet()
                    .contains(QLatin1String("green")));
        QVERIFY(!action(w, "m_connectAction")->isEnabled());
        QVERIFY(QDateTime::fromString(label(w, "m_lblTime"), QStringLiteral("yyyy-MM-dd hh:mm:ss"))
                    .isValid());

        action(w, "m_disconnectAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!comAdapter::instance().isConnected(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(label(w, "m_lblConnectState"), QStringLiteral("Disconnected"),
                                  5000);
        QCOMPARE(label(w, "m_lblHwVer"), QStringLiteral("HW:0000"));
        QCOMPARE(label(w, "m_lblFwVer"), QStringLiteral("FW:0000"));
        QCOMPARE(label(w, "m_lblDrvVer"), QStringLiteral("DRV:0000"));
        QVERIFY(action(w, "m_connectAction")->isEnabled());
    }

    void closeAndAutoHideFollowTheTray_data() {
        QTest::addColumn<bool>("tray");
        QTest::newRow("tray") << true;
        QTest::newRow("no tray") << false;
    }

    void closeAndAutoHideFollowTheTray() {
        QFETCH(bool, tray);
        QVERIFY(writeSettings(true));
        mainWindow w;
        w.setTrayAvailable(tray);
        QCOMPARE(w.trayIconPath(), QStringLiteral(":/mainWindow/images/UPS/NotConnected.png"));
        w.show();

        // AutoHide: once after the first connection, and only with a tray.
        action(w, "m_connectAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(w.isConnected(), 10000);
        if (tray) QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 5000);
        QTest::qWait(500);
        QCOMPARE(w.isVisible(), !tray);
        w.show();
        action(w, "m_disconnectAction")->trigger();
        action(w, "m_connectAction")->trigger();
        QTest::qWait(500);
        QVERIFY(w.isVisible());

        // Closing hides into the tray; without one it quits the program.
        QTimer::singleShot(0, &w, [&w]() { w.close(); });
        QTimer giveUp;
        giveUp.setSingleShot(true);
        connect(&giveUp, &QTimer::timeout, []() { QCoreApplication::exit(7); });
        giveUp.start(1000);
        QCOMPARE(QCoreApplication::exec(), tray ? 7 : 0);
        QVERIFY(!w.isVisible());
    }

    void languageMenuAsksToRestart_data() {
        QTest::addColumn<int>("clicked");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("exitCode");  // -1: no restart asked of the event loop
        QTest::newRow("the checked language: nothing asked") << 1 << 0 << -1;
        QTest::newRow("another, answered No") << 0 << int(QMessageBox::No) << -1;
        QTest::newRow("another, answered Yes") << 0 << int(QMessageBox::Yes) << 888;
    }

    void languageMenuAsksToRestart() {
        QFETCH(int, clicked);
        QFETCH(int, answer);
        QFETCH(int, exitCode);
        settingsStore::setLanguageIndex(1);
        mainWindow w;
        QMenu* menu = w.findChild<QMenu*>(QStringLiteral("m_languageMenu"));
        QVERIFY(menu != nullptr);
        const QList<QAction*> languages = menu->actions();
        QCOMPARE(languages.size(), 2);
        QVERIFY(!languages.at(0)->isChecked() && languages.at(1)->isChecked());

        BoxAnswer box(answer != 0 ? QMessageBox::StandardButton(answer) : QMessageBox::No);
        QTimer::singleShot(0, languages.at(clicked), &QAction::trigger);
        QTimer giveUp;
        giveUp.setSingleShot(true);
        connect(&giveUp, &QTimer::timeout, []() { QCoreApplication::exit(-1); });
        giveUp.start(answer == int(QMessageBox::Yes) ? 10000 : 1000);
        QCOMPARE(QCoreApplication::exec(), exitCode);
        if (exitCode == 888) {
            // The hand-over file replaces a link planted at its name, never
            // writes through it (a settings folder others can write).
            const QString handOver = appPaths::settingsFile(QStringLiteral("restart-log.txt"));
            const QString victim = m_root.path() + QStringLiteral("/victim");
            QVERIFY(writeFile(victim, "victim"));
            QCOMPARE(symlink(QFile::encodeName(victim).constData(),
                             QFile::encodeName(handOver).constData()),
                     0);
            consolePrint::instance().printMsg(QStringLiteral("a line to hand over"));
            const QStringList arguments = w.restartArguments();
            QVERIFY(arguments.contains(handOver));
            QFile target(victim);
            QVERIFY(target.open(QIODevice::ReadOnly));
            QCOMPARE(target.readAll(), QByteArray("victim"));
            QVERIFY(!QFileInfo(handOver).isSymLink());
            QVERIFY(QFile::remove(handOver));
        }

        QCOMPARE(box.m_texts.size(), answer != 0 ? 1 : 0);
        QCOMPARE(settingsStore::languageIndex(), uint(clicked));
        for (int i = 0; i < languages.size(); ++i)
            QCOMPARE(languages.at(i)->isChecked(), i == clicked);
    }

    // The status page is tab 0 and idle after start-up; a connection starts
    // its polling, which runs whatever tab is in front; its idle display
    // follows the tab.
    void statusPagePollsWhateverTab() {
        QVERIFY(writeSettings(false));
        mainWindow w;
        QTabWidget* tabs = w.findChild<QTabWidget*>(QStringLiteral("m_tabWidget"));
        // The History tab is there while disconnected too.
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->tabText(0), QStringLiteral("Status Monitor"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("History"));
        QCOMPARE(tabs->currentWidget(), w.findChild<statusMonitorWidget*>());
        QTest::qWait(300);
        QVERIFY(!statusPagePolls(w));

        action(w, "m_connectAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(w.isConnected(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(statusPagePolls(w), 5000);
        QWidget other;
        tabs->addTab(&other, QStringLiteral("other"));
        tabs->setCurrentIndex(1);
        QTRY_VERIFY_WITH_TIMEOUT(!statusPageDisplays(w), 5000);
        QVERIFY(statusPagePolls(w));
        tabs->setCurrentIndex(0);
        QTRY_VERIFY_WITH_TIMEOUT(statusPageDisplays(w), 5000);
        QVERIFY(statusPagePolls(w));
        tabs->removeTab(1);
        action(w, "m_disconnectAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!statusPagePolls(w), 5000);
    }

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

        QCOMPARE(m_sim.command("scenario dc-return"), QStringLiteral("ok"));
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

        m_sim.kill();
        QTRY_VERIFY_WITH_TIMEOUT(
            label(w, "m_lblConnectState").startsWith(QStringLiteral("Reconnecting (attempt ")),
            20000);
        QVERIFY(!w.findChild<QLabel*>(QStringLiteral("m_lblConnectState"))
                     ->styleSheet()
                     .contains(QLatin1String("green")));
        QCOMPARE(w.trayIconPath(), QStringLiteral(":/mainWindow/images/UPS/NotConnected.png"));
        QVERIFY2(trayToolTip(w).startsWith(
                     QStringLiteral("Ambrel — no answer from the module since 20")),
                 qPrintable(trayToolTip(w)));
        QTRY_VERIFY_WITH_TIMEOUT(gauge->isIdle(), 5000);
        QCOMPARE(label(w, "m_lblPowerSupplyValue"), QStringLiteral("NULL"));
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

    // The Config tab closes itself while no device is open; while one is, it
    // is added behind "Status Monitor" and "History", and only the page in front refreshes.
    void configTabFollowsConnectionAndFront() {
        QVERIFY(writeSettings(false));
        mainWindow w;
        QTabWidget* tabs = w.findChild<QTabWidget*>(QStringLiteral("m_tabWidget"));
        configWidget* config = w.findChild<configWidget*>();
        QAction* configAction = action(w, "m_configAction");

        configAction->trigger();
        QCOMPARE(tabs->count(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(tabs->count(), 2, 5000);
        QVERIFY(!configAction->isChecked());

        action(w, "m_connectAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(w.isConnected(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(statusPageDisplays(w) && statusPagePolls(w), 5000);
        // The product title chose the product's register table.
        QVERIFY(config->dataModel()->rowCount() > 0);
        configAction->trigger();
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->tabText(2), QStringLiteral("Config"));
        QCOMPARE(tabs->currentIndex(), 0);
        QVERIFY(!config->isRefreshing());

        tabs->setCurrentIndex(2);
        QVERIFY(config->isRefreshing());
        QTRY_VERIFY_WITH_TIMEOUT(!statusPageDisplays(w), 5000);
        tabs->setCurrentIndex(0);
        QVERIFY(!config->isRefreshing());
        QTRY_VERIFY_WITH_TIMEOUT(statusPageDisplays(w), 5000);

        // Unchecked while in front: "Status Monitor" is current and displays again.
        tabs->setCurrentIndex(2);
        QTRY_VERIFY_WITH_TIMEOUT(!statusPageDisplays(w), 5000);
        QVERIFY(statusPagePolls(w));
        configAction->trigger();
        QCOMPARE(tabs->count(), 2);
        QVERIFY(!config->isRefreshing());
        QTRY_VERIFY_WITH_TIMEOUT(statusPageDisplays(w), 5000);
        action(w, "m_disconnectAction")->trigger();
    }

    // The help's address: the connected product or the one chosen in the
    // dialog, the file by the language; a program folder with a blank and a
    // '#' still gives the right local file.
    void helpAddress_data() {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("file");  // empty: nothing opened
        QTest::newRow("connected A1, language 1")
            << true << QString() << 1 << QStringLiteral("/help/A1/A1help_en.chm");
        QTest::newRow("A1 chosen, language 0")
            << false << QString() << 0 << QStringLiteral("/help/A1/A1help.chm");
        QTest::newRow("folder with blank and #")
            << false << QStringLiteral("/odd dir #2") << 0 << QStringLiteral("/help/A1/A1help.chm");
        // No viewer for .chm files: a message box and a log line say what to
        // install, and nothing is handed to the desktop.
        QTest::newRow("no viewer") << true << QString() << 1 << QString();
    }

    void helpAddress() {
        QFETCH(bool, connected);
        QFETCH(QString, folder);
        QFETCH(int, language);
        QFETCH(QString, file);
        const QByteArray appDir = qgetenv("QXUPS_APPDIR");
        const QString dir = QString::fromLocal8Bit(appDir) + folder;
        qputenv("QXUPS_APPDIR", QFile::encodeName(dir));
        QVERIFY(writeSettings(false));
        QVERIFY(
            writeFile(dir + QStringLiteral("/help/help.ini"), "[A1]\nName=A1\n[B2]\nName=B2\n"));
        QVERIFY(writeFile(dir + QStringLiteral("/help/select.ini"),
                          "[SELECTED]\nName=B2\nLanguage=" + QByteArray::number(language) + "\n"));
        QList<QUrl> urls;
        {
            mainWindow w;
            w.setUrlOpener([&urls](const QUrl& url) {
                urls << url;
                return true;
            });
            w.setHelpViewerCheck([&file]() { return !file.isEmpty(); });
            if (connected) {
                action(w, "m_connectAction")->trigger();
                QTRY_VERIFY_WITH_TIMEOUT(w.isConnected(), 10000);
                emit w.findChild<comSettingsWidget*>()->signalSetTitle(QStringLiteral("A1"));
            }
            // Chooses A1 in the product dialog when it asks.
            QTimer chooser;
            chooser.setInterval(20);
            connect(&chooser, &QTimer::timeout, [&chooser]() {
                loginDialog* d = qobject_cast<loginDialog*>(QApplication::activeModalWidget());
                if (d == nullptr) return;
                chooser.stop();
                d->productBox()->setCurrentText(QStringLiteral("A1"));
                d->findChild<QPushButton*>(QStringLiteral("m_btnAccept"))->click();
            });
            chooser.start();
            BoxAnswer box(QMessageBox::Ok);
            apptest::ConsoleRecord log;
            action(w, "m_helpAction")->trigger();
            QCOMPARE(chooser.isActive(), connected);
            if (connected) action(w, "m_disconnectAction")->trigger();
            if (file.isEmpty()) {
                const QString missing = QStringLiteral(
                    "No program to open .chm files is installed: install xchm "
                    "(for example with \"sudo apt-get install xchm\").");
                QCOMPARE(box.m_texts, QStringList{missing});
                QVERIFY(log.lines().contains(missing));
            }
        }
        qputenv("QXUPS_APPDIR", appDir);
        if (file.isEmpty()) {
            QCOMPARE(urls.size(), 0);
            return;
        }
        QCOMPARE(urls.size(), 1);
        QVERIFY2(urls.at(0).toString().endsWith(file), qPrintable(urls.at(0).toString()));
        QCOMPARE(urls.at(0).toLocalFile(), dir + file);
        const QSettings select(dir + QStringLiteral("/help/select.ini"), QSettings::IniFormat);
        QCOMPARE(select.value(QStringLiteral("/SELECTED/Name")).toString(),
                 connected ? QStringLiteral("B2") : QStringLiteral("A1"));
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

    // The Config tab in front while polling: the table's registers outside
    // the status block show the module's values and one it refuses shows
    // empty (logged once); a write reaches the module while the status page
    // keeps updating, and a refused write is logged once.
    void configTabWritesAndExtraRegisters() {
        const QString table =
            appPaths::settingsFile(QStringLiteral("iconfigs/DCU-1205/config_registers.xml"));
        QFile shipped(QStringLiteral(QXUPS_BIN_DIR "/iconfigs/DCU-1205/config_registers.xml"));
        QVERIFY(shipped.open(QIODevice::ReadOnly));
        QByteArray xml = shipped.readAll();
        xml.replace("</Items>",
                    "<Item><Addr>40500</Addr><Name>Unknown</Name><RW>R</RW></Item></Items>");
        QVERIFY(writeFile(table, xml));
        const QString charge = m_sim.command("get 26").mid(6);
        QCOMPARE(m_sim.command("set 100 4321"), QStringLiteral("ok"));
        QVERIFY(writeSettings(false));
        apptest::ConsoleRecord console;
        mainWindow w;
        action(w, "m_connectAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(w.isConnected(), 10000);
        action(w, "m_configAction")->trigger();
        w.findChild<QTabWidget*>(QStringLiteral("m_tabWidget"))->setCurrentIndex(2);
        upsDataModel* model = w.findChild<configWidget*>()->dataModel();
        const auto cellOf = [model](int address) {
            for (int row = 0; row < model->rowCount(); ++row)
                if (model->data(model->index(row, 0)).toInt() == address)
                    return model->data(model->index(row, 2)).toString();
            return QStringLiteral("<no row>");
        };
        QTRY_COMPARE_WITH_TIMEOUT(cellOf(40100), QStringLiteral("4321"), 10000);
        QCOMPARE(cellOf(40500), QString());
        QTRY_VERIFY_WITH_TIMEOUT(!cellOf(40036).isEmpty(), 5000);

        configDialog* dialog = w.findChild<configWidget*>()->dialog();
        emit dialog->signalDataChanged(40036, 1234, true);
        QTRY_COMPARE_WITH_TIMEOUT(m_sim.command("get 36"), QStringLiteral("value 1234"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(cellOf(40036), QStringLiteral("1234"), 5000);
        QCOMPARE(m_sim.command("set 26 55"), QStringLiteral("ok"));
        QTRY_COMPARE_WITH_TIMEOUT(w.findChild<batteryWidget*>()->value(), 55, 5000);
        emit dialog->signalDataChanged(40010, 5, true);
        QTest::qWait(2500);  // two rounds of extra reads at least
        QCOMPARE(console.lines().filter(QStringLiteral("ERR")),
                 QStringList({"ERR:11: Registers 40500 to 40500 could not be read; they are shown "
                              "empty",
                              "ERR:11:When Setting register 40010 to value 5"}));
        // A dialog left open would write to whatever module the next connection finds.
        dialog->show();
        action(w, "m_disconnectAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!comAdapter::instance().isConnected(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->isVisible(), 5000);
        QCOMPARE(m_sim.command(qPrintable(QStringLiteral("set 26 ") + charge)),
                 QStringLiteral("ok"));
        QVERIFY(QFile::remove(table));
    }

private:
    QTemporaryDir m_root;
    apptest::SimulatedModule m_sim;
};

QXUPS_APP_TEST_MAIN(QApplication, WindowTest)
#include "window_test.moc"
