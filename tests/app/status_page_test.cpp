// The status page fed with status blocks: what it shows, which edges it
// reports, when it starts the script; and once end to end against the
// simulator with the real polling thread and a real script.
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

using apptest::ConsoleRecord;

namespace {

const char* const kLeds[] = {"m_ledDC_OK",  "m_ledBatMode",  "m_ledBatReady", "m_ledSW",
                             "m_ledRemote", "m_ledBatStart", "m_ledDevSts"};

// A sequence of blocks written as "word=value ..." separated by ';'. Each block
// starts from a module of type 300 on DC input: 12000/11800 mV, 80 %.
QList<monitorThread::statusBlock> blocks(const QString& text) {
    QList<monitorThread::statusBlock> list;
    for (const QString& part : text.split(QLatin1Char(';'))) {
        monitorThread::statusBlock b;
        b.fill(0);
        b[0] = 300;
        b[16] = 12000;
        b[18] = 11800;
        b[26] = 80;
        b[27] = 1;
        b[28] = 1;
        for (const QString& word : part.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QStringList kv = word.split(QLatin1Char('='));
            b[kv[0].toInt()] = quint16(kv[1].toUInt());
        }
        list << b;
    }
    return list;
}

QString labelText(QWidget* page, const char* name) {
    QLabel* label = page->findChild<QLabel*>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

// The seven indicators as '1' (on) and '0' (off), DO first, then DI.
QString ledStates(QWidget* page) {
    QString states;
    for (const char* name : kLeds)
        states += page->findChild<ledWidget*>(QLatin1String(name))->isOn() ? '1' : '0';
    return states;
}

int lineCount(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    return file.readAll().count('\n');
}

void writeScript(const QString& path, const QString& body) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(("#!/bin/sh\n" + body).toLocal8Bit());
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

}  // namespace

class StatusPageTest : public QObject {
    Q_OBJECT
private:
    ConsoleRecord m_console;
    QString m_dir;     // scripts and markers
    QString m_marker;  // one line per script run
    std::unique_ptr<statusMonitorWidget> m_page;
    std::unique_ptr<QWidget> m_holder;

    statusMonitorWidget* makePage() {
        m_page.reset(new statusMonitorWidget());
        return m_page.get();
    }
    void feed(const QString& text) {
        for (const monitorThread::statusBlock& b : blocks(text))
            m_page->decodeStatusBlock(b);
    }
    // Shows the page inside a plain window, as the main window holds it: the
    // page itself is no window.
    QWidget& holdPage() {
        m_holder.reset(new QWidget());
        QVBoxLayout* layout = new QVBoxLayout(m_holder.get());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(m_page.get());
        m_holder->show();
        return *m_holder;
    }
    batThread* scriptThread() { return m_page->findChild<batThread*>(); }
    // Steps "@S words" (a block at S seconds on the page's clock), "@S tick"
    // (the countdown's timer then) or "@S cancel" (the user's Cancel pending
    // action); the number of script runs after each step.
    QString runSteps(const QString& steps) {
        qint64 now = 0;
        m_page->actions()->setClock([&now]() { return now; });
        QString runs;
        for (const QString& step : steps.split(QLatin1Char(';'))) {
            QStringList words = step.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            now = qint64(words.takeFirst().mid(1).toDouble() * 1000);
            if (words == QStringList{"tick"})
                QMetaObject::invokeMethod(m_page->actions(), "slotOnTick");
            else if (words == QStringList{"cancel"})
                m_page->slotOnCancelPendingAction();
            else
                feed(words.join(QLatin1Char(' ')));
            scriptThread()->wait(30000);
            runs += QString::number(lineCount(m_marker));
        }
        m_page->actions()->setClock([]() { return qint64(0); });
        return runs;
    }
    QString dcSignals(const QSignalSpy& spy) {
        QString s;
        for (const QList<QVariant>& args : spy)
            s += args.at(0).toBool() ? 't' : 'f';
        return s;
    }

private slots:
    void initTestCase() {
        m_dir = QString::fromLocal8Bit(qgetenv("QXUPS_APPDIR")) + QStringLiteral("/my scripts");
        QVERIFY(QDir().mkpath(m_dir));
        m_marker = m_dir + QStringLiteral("/runs");
        writeScript(m_dir + QStringLiteral("/on event.sh"),
                    QStringLiteral("echo run >> \"%1\"\n").arg(m_marker));
    }

    void init() {
        settingsStore::setBatPath(m_dir + QStringLiteral("/on event.sh"));
        settingsStore::setBatExecutePolicy(0);
        QFile::remove(m_marker);
        m_console.clear();
    }

    void cleanup() {
        m_page.reset();
        m_holder.reset();
        if (comAdapter::instance().isConnected()) comAdapter::instance().slotCloseDevice();
    }

    // Nothing runs until the first connection or tab change: no idle display,
    // no polling, and the initial texts stay.
    void idleAfterConstruction() {
        statusMonitorWidget* page = makePage();
        QTest::qWait(100);
        QVERIFY(!page->findChild<QTimer*>(QStringLiteral("m_refreshTimer"))->isActive());
        QVERIFY(!page->findChild<monitorThread*>()->isRunning());
        QVERIFY(!scriptThread()->isRunning());
        QCOMPARE(labelText(page, "m_lblPolicyModeValue"), QStringLiteral("NULL"));
        QCOMPARE(labelText(page, "m_lblPowerSupplyValue"), QStringLiteral("DC"));
        QCOMPARE(labelText(page, "m_lblBatteryChargingStatusValue"), QStringLiteral("Discharging"));
        QCOMPARE(labelText(page, "m_lblVoltageInputValue"), QStringLiteral("00000mV"));
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
    }

    void decodeRules() {
        QFETCH(QString, input);
        statusMonitorWidget* page = makePage();
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
        QTRY_COMPARE(labelText(page, "m_lblPowerSupplyValue"), QStringLiteral("NULL"));
        QCOMPARE(labelText(page, "m_lblBatteryChargingStatusValue"), QStringLiteral("NULL"));
        QCOMPARE(labelText(page, "m_lblPolicyModeValue"), QStringLiteral("NULL"));
        QCOMPARE(labelText(page, "m_lblVoltageInputValue"), QStringLiteral("0mV"));
        QCOMPARE(labelText(page, "m_lblVoltageOutputValue"), QStringLiteral("0mV"));
        QCOMPARE(page->findChild<batteryWidget*>()->value(), 0);
        QVERIFY(page->findChild<batteryWidget*>()->isIdle());  // grey, no percentage
        QCOMPARE(ledStates(page), QStringLiteral("0000000"));
        page->slotOnSetEnabled(false);
        QVERIFY(!page->findChild<monitorThread*>()->isRunning());

        m_console.clear();
        feed(QStringLiteral("0=301 28=0 31=0"));
        QCOMPARE(m_console.lines(), QStringList({"DC is broken.", "SW OFF."}));
        page->slotOnSetEnabled(true);
        QTRY_COMPARE(labelText(page, "m_lblPowerSupplyValue"), QStringLiteral("NULL"));
        QCOMPARE(labelText(page, "m_lblVoltageInputValue"), QString());
        QCOMPARE(labelText(page, "m_lblVoltageOutput"), QString());

        // The block shown before the idle display comes again (a reconnect
        // to a module that did not change): all of it is shown again.
        page->slotOnSetEnabled(false);
        feed(QStringLiteral("0=301 28=0 31=0"));
        QCOMPARE(labelText(page, "m_lblPowerSupplyValue"), QStringLiteral("DC"));
        QCOMPARE(labelText(page, "m_lblBatteryChargingStatusValue"), QStringLiteral("Charging"));
        QCOMPARE(labelText(page, "m_lblPolicyModeValue"), QStringLiteral("PC"));
        QCOMPARE(page->findChild<batteryWidget*>()->value(), 80);
        QVERIFY(!page->findChild<batteryWidget*>()->isIdle());
    }

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

QXUPS_APP_TEST_MAIN(QApplication, StatusPageTest)
#include "status_page_test.moc"
