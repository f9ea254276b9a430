// The status page's script: when it starts by policy, at the battery levels,
// after the ride-through delay or by time left, not twice at once; and once
// end to end against the simulator with the real polling thread and script.
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

class StatusPageScriptTest : public QObject, private StatusPageFixture {
    Q_OBJECT
private slots:
    void initTestCase() { prepareScripts(); }

    void init() { beforeCase(); }

    void cleanup() { afterCase(); }

    void scriptByPolicy_data() {
        QTest::addColumn<int>("policy");
        QTest::addColumn<bool>("storedBeforeStart");  // else through slotOnPolicyChanged
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("runs");
        QTest::newRow("1: DC loss runs it") << 1 << false << "28=1; 28=0" << 1;
        QTest::newRow("1: once per loss") << 1 << false << "28=1; 28=0; 28=0; 28=0" << 1;
        QTest::newRow("1: SW on does not") << 1 << false << "31=1" << 0;
        QTest::newRow("2: SW on runs it") << 2 << false << "31=0; 31=1" << 1;
        // What the module already does at start-up is reported, never acted on.
        QTest::newRow("1: started on battery") << 1 << false << "28=0; 28=0" << 0;
        QTest::newRow("2: started with SW on") << 2 << false << "31=1; 31=1" << 0;
        QTest::newRow("2: once per switch-on") << 2 << false << "31=0; 31=1; 31=1; 31=2" << 1;
        QTest::newRow("2: DC loss does not") << 2 << false << "28=1; 28=0" << 0;
        QTest::newRow("0: neither") << 0 << false << "31=1; 28=0" << 0;
        QTest::newRow("1 stored before start-up") << 1 << true << "28=1; 28=0" << 1;
    }

    void scriptByPolicy() {
        QFETCH(int, policy);
        QFETCH(bool, storedBeforeStart);
        QFETCH(QString, input);
        if (storedBeforeStart) settingsStore::setBatExecutePolicy(policy);
        statusMonitorWidget* page = makePage();
        if (!storedBeforeStart) page->slotOnPolicyChanged(policy);
        QCOMPARE(page->policy(), policy);
        // Each run ends before the next block, so that a run per block would
        // not hide behind the one still running.
        for (const monitorThread::statusBlock& b : blocks(input)) {
            page->decodeStatusBlock(b);
            QVERIFY(scriptThread()->wait(30000));
        }
        QTEST(lineCount(m_marker), "runs");
    }

    // The low-battery levels on battery: each warns once per discharge (log
    // line and notification), again after DC came back and went; 0 is off;
    // the critical level may run the script, once.
    void batteryLevels_data() {
        QTest::addColumn<int>("warn");
        QTest::addColumn<int>("critical");
        QTest::addColumn<bool>("runScript");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QStringList>("warnings");
        QTest::addColumn<int>("gauge");  // alert level of the gauge at the end
        QTest::addColumn<int>("runs");
        const QString low = QStringLiteral("Battery low: %1 % (warning level 20 %).");
        const QString critical = QStringLiteral("Battery critical: %1 % (critical level 5 %).");
        QTest::newRow("down through 20 and 5")
            << 20 << 5 << false << "28=0 26=25; 28=0 26=20; 28=0 26=19; 28=0 26=5; 28=0 26=3"
            << QStringList{low.arg(20), critical.arg(5)} << 2 << 0;
        QTest::newRow("again after DC came back and went")
            << 20 << 5 << false << "28=0 26=15; 28=0 26=14; 28=1 26=15; 28=0 26=14"
            << QStringList{low.arg(15), low.arg(14)} << 1 << 0;
        QTest::newRow("on DC: none") << 20 << 5 << false << "26=3" << QStringList() << 0 << 0;
        QTest::newRow("levels off") << 0 << 0 << true << "28=0 26=0" << QStringList() << 0 << 0;
        QTest::newRow("critical runs the script once")
            << 20 << 5 << true << "28=0 26=6; 28=0 26=5; 28=0 26=4; 28=0 26=3"
            << QStringList{low.arg(6), critical.arg(5)} << 2 << 1;
        QTest::newRow("started below both")
            << 20 << 5 << true << "28=0 26=3" << QStringList{low.arg(3), critical.arg(3)} << 2 << 1;
    }

    void batteryLevels() {
        QFETCH(int, warn);
        QFETCH(int, critical);
        QFETCH(bool, runScript);
        QFETCH(QString, input);
        statusMonitorWidget* page = makePage();
        page->slotOnBatteryLevelsChanged(warn, critical, runScript);
        QSignalSpy notified(page, &statusMonitorWidget::signalBatteryWarning);
        for (const monitorThread::statusBlock& b : blocks(input)) {
            page->decodeStatusBlock(b);
            QVERIFY(scriptThread()->wait(30000));
        }
        QStringList lines;
        for (const QString& line : m_console.lines())
            if (line.startsWith(QLatin1String("Battery "))) lines << line;
        QTEST(lines, "warnings");
        QCOMPARE(notified.count(), lines.size());
        QTEST(page->findChild<batteryWidget*>()->alertLevel(), "gauge");
        QTEST(lineCount(m_marker), "runs");
    }

    // When the script runs on battery: after the ride-through delay (not at
    // all for a shorter outage or once cancelled), when the time left falls
    // below the level; once per outage whichever comes first. The time left
    // shows on battery only.
    void actionPolicy_data() {
        QTest::addColumn<int>("policy");
        QTest::addColumn<int>("rideThroughS");
        QTest::addColumn<int>("runtimeLevelMin");
        QTest::addColumn<double>("learnedRate");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("runs");      // after each step
        QTest::addColumn<QString>("logLine");   // the start of a line the log shows
        QTest::addColumn<QString>("timeLeft");  // the row's text at the end, "" hidden
        QTest::newRow("2 s blip within a 10 s ride-through")
            << 1 << 10 << 0 << 0.0 << "@0 28=1; @1 28=0; @2 tick; @3 28=1"
            << "0000"
            << "DC back after 2 s: the post-process script was not run."
            << "";
        QTest::newRow("15 s outage runs it at 10 s")
            << 1 << 10 << 0 << 0.0 << "@0 28=1; @1 28=0; @10.5 tick; @11 tick; @12 tick; @16 28=1"
            << "000111"
            << "DC still lost after 10 s: the post-process script runs."
            << "";
        QTest::newRow("cancelled: not for this outage")
            << 1 << 10 << 0 << 0.0 << "@0 28=1; @1 28=0; @5 cancel; @11 tick; @16 28=1"
            << "00000"
            << "Pending action cancelled: the post-process script will not run for this outage."
            << "";
        QTest::newRow("runtime level reached once")
            << 0 << 0 << 3 << 0.1 << "@0 28=1; @1 28=0 26=30; @2 28=0 26=17; @3 28=0 26=10"
            << "0011"
            << "Battery time left about "
            << "about ";
        QTest::newRow("runtime first ends the ride-through: one run")
            << 1 << 10 << 3 << 0.1 << "@0 28=1; @1 28=0 26=17; @5 tick"
            << "011"
            << "Battery time left about "
            << "about ";
        QTest::newRow("time left from the learned rate") << 0 << 0 << 0 << 0.1 << "@0 28=0 26=30"
                                                         << "0"
                                                         << ""
                                                         << "about 5 min";
    }

    void actionPolicy() {
        QFETCH(int, policy);
        QFETCH(int, rideThroughS);
        QFETCH(int, runtimeLevelMin);
        QFETCH(double, learnedRate);
        QFETCH(QString, steps);
        QFETCH(QString, logLine);
        QFETCH(QString, timeLeft);
        statusMonitorWidget* page = makePage();
        page->slotOnPolicyChanged(policy);
        page->slotOnActionTimingChanged(rideThroughS, runtimeLevelMin);
        page->slotOnLearnedRate(learnedRate);
        QTEST(runSteps(steps), "runs");
        if (!logLine.isEmpty()) {
            const QStringList lines = m_console.lines();
            QVERIFY2(std::any_of(lines.begin(), lines.end(),
                                 [&](const QString& line) { return line.startsWith(logLine); }),
                     qPrintable(lines.join(QLatin1Char('\n'))));
        }
        QLabel* row = page->findChild<QLabel*>(QStringLiteral("m_lblTimeLeftValue"));
        QCOMPARE(!row->isHidden(), !timeLeft.isEmpty());
        QVERIFY2(row->text().startsWith(timeLeft), qPrintable(row->text()));
        QVERIFY(!page->actions()->pending());
    }

    // A second loss while the script still runs starts nothing.
    void secondTriggerWhileRunningIgnored() {
        const QString release = m_dir + QStringLiteral("/release");
        QFile::remove(release);
        const QString script = m_dir + QStringLiteral("/slow.sh");
        writeScript(script, QStringLiteral("echo run >> \"%1\"\n"
                                           "i=0\n"
                                           "while [ ! -e \"%2\" ] && [ $i -lt 400 ]; do\n"
                                           "  sleep 0.05; i=$((i+1))\n"
                                           "done\n")
                                .arg(m_marker, release));
        settingsStore::setBatPath(script);
        statusMonitorWidget* page = makePage();
        page->slotOnPolicyChanged(1);
        feed(QStringLiteral("28=1; 28=0"));
        QTRY_COMPARE_WITH_TIMEOUT(lineCount(m_marker), 1, 20000);
        QVERIFY(scriptThread()->isRunning());
        feed(QStringLiteral("28=1; 28=0"));
        QCOMPARE(m_console.lines().count(QStringLiteral("DC is broken.")), 2);
        QFile touch(release);
        QVERIFY(touch.open(QIODevice::WriteOnly));
        touch.close();
        QVERIFY(scriptThread()->wait(30000));
        QCOMPARE(lineCount(m_marker), 1);
    }

    // The simulator on a pty, the real adapter, polling thread and script.
    void dcLossEndToEnd() {
        apptest::SimulatedModule module;
        QVERIFY(module.start(QString::fromLocal8Bit(qgetenv("QXUPS_APPDIR"))));
        settingsStore::setBatExecutePolicy(1);
        statusMonitorWidget* page = makePage();
        QSignalSpy power(page, &statusMonitorWidget::signalPowerEvent);

        comSettings settings;
        settings.comPort = QStringLiteral("COM201");
        settings.portNumber = apptest::kSimPort;
        settings.slaveId = 1;
        settings.parity = 0;
        settings.responseTimeout = 300;
        settings.pollDelay = 20;
        page->slotOnConnect(settings);  // the page's worker opens the device
        QTRY_VERIFY_WITH_TIMEOUT(m_console.lines().contains(QStringLiteral("DC is connected.")),
                                 20000);
        QCOMPARE(module.command("scenario dc-loss"), QStringLiteral("ok"));
        QTRY_VERIFY_WITH_TIMEOUT(m_console.lines().contains(QStringLiteral("DC is broken.")),
                                 20000);
        QTRY_COMPARE_WITH_TIMEOUT(labelText(page, "m_lblPowerSupplyValue"), QStringLiteral("UPS"),
                                  20000);
        QVERIFY(scriptThread()->wait(30000));

        // The charge run down on battery, step by step: one warning at 20 %
        // and one at 5 %, each once while the charge stays below.
        QSignalSpy warnings(page, &statusMonitorWidget::signalBatteryWarning);
        for (const char* step : {"set 26 30", "set 26 20", "set 26 12", "set 26 5", "set 26 2"}) {
            QCOMPARE(module.command(step), QStringLiteral("ok"));
            const int charge = QString::fromLatin1(step).section(QLatin1Char(' '), 2).toInt();
            QTRY_COMPARE_WITH_TIMEOUT(page->findChild<batteryWidget*>()->value(), charge, 20000);
        }
        QCOMPARE(warnings.count(), 2);
        QCOMPARE(page->findChild<batteryWidget*>()->alertLevel(), 2);

        page->shutdown();
        QVERIFY(!page->findChild<monitorThread*>()->isRunning());
        QCOMPARE(m_console.lines().count(QStringLiteral("DC is broken.")), 1);
        QCOMPARE(lineCount(m_marker), 1);
        QCOMPARE(power.count(), 1);
        QVERIFY(!comAdapter::instance().isConnected());  // closed by the worker
    }
};

QXUPS_APP_TEST_MAIN(QApplication, StatusPageScriptTest)
#include "status_page_script_test.moc"
