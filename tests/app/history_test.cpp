// The history's recording: events from the simulator in order and in time,
// the samples' dead band, retention, a busy file, and the learned rate with an
// older file's migration. The file's export and failures are in
// history_file_test.cpp.
#include <QApplication>
#include <QFile>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "app_test_env.h"
#include "app_test_sim.h"
#include "comSettings.h"
#include "historyRecorder.h"
#include "historyStore.h"
#include "monitorThread.h"
#include "settingsStore.h"
#include "statusMonitorWidget.h"
#include "history_test_support.h"

using namespace historytest;

class HistoryTest : public QObject {
    Q_OBJECT

private slots:
    // Against the simulator through the real worker: each scenario's events
    // are stored in the order they happened, each at a time between the
    // command that caused it and the log line that showed it.
    void eventsFromSimulator_data() {
        QTest::addColumn<int>("policy");
        QTest::addColumn<QStringList>("steps");  // "simulator command|log line it causes"
        QTest::addColumn<QStringList>("kinds");
        QTest::newRow("DC loss and return")
            << 0
            << QStringList{"scenario dc-loss|DC is broken.", "scenario dc-return|DC is connected."}
            << QStringList{"connected", "dc-lost", "dc-back", "disconnected"};
        QTest::newRow("script run")
            << 1 << QStringList{"scenario dc-loss|Post-process script ended with exit status 3."}
            << QStringList{"connected", "dc-lost", "script-started", "script-ended",
                           "disconnected"};
        QTest::newRow("line loss")
            << 0
            << QStringList{"fault silent|Communication with the module lost",
                           "fault none|Communication restored after"}
            << QStringList{"connected", "line-lost", "line-restored", "disconnected"};
    }
    void eventsFromSimulator() {
        QFETCH(int, policy);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, kinds);
        QTemporaryDir dir;
        const QString script = dir.filePath(QStringLiteral("script.sh"));
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nexit 3\n");
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        settingsStore::setBatPath(script);
        settingsStore::setBatExecutePolicy(policy);

        apptest::ConsoleRecord console;
        apptest::SimulatedModule module;
        QVERIFY(module.start(dir.path()));
        historyStore store(dir.filePath(QStringLiteral("history.sqlite")));
        store.setFlushIntervalMs(50);
        statusMonitorWidget page;
        history::recordFrom(&page, &store);
        store.open();

        const qint64 start = historyStore::nowMs();
        comSettings settings;
        settings.comPort = QStringLiteral("COM201");
        settings.portNumber = apptest::kSimPort;
        settings.slaveId = 1;
        settings.parity = 0;
        settings.responseTimeout = 300;
        settings.pollDelay = 20;
        page.slotOnConnect(settings);
        QTRY_VERIFY_WITH_TIMEOUT(console.lines().contains(QStringLiteral("DC is connected.")),
                                 20000);
        QVector<qint64> sent;
        for (const QString& step : steps) {
            const QString line = step.section(QLatin1Char('|'), 1);
            const int before = console.lines().filter(line).size();
            sent << historyStore::nowMs();
            QCOMPARE(module.command(step.section(QLatin1Char('|'), 0, 0).toLatin1().constData()),
                     QStringLiteral("ok"));
            QTRY_VERIFY_WITH_TIMEOUT(console.lines().filter(line).size() > before, 20000);
        }
        // The log line can come before the page hears the worker's state
        // (a restored line): the page is connected again before it asks to
        // disconnect, or the restoration would be a state it never takes.
        QTRY_COMPARE_WITH_TIMEOUT(page.linkState(), monitorThread::Connected, 20000);
        page.slotOnDisconnect();
        QTRY_COMPARE_WITH_TIMEOUT(page.linkState(), monitorThread::Disconnected, 20000);
        QTest::qWait(50);  // the last queued signals reach the store
        store.flush();
        const qint64 end = historyStore::nowMs();

        QVERIFY(history::open(QStringLiteral("check"), store.path(), true, nullptr));
        QVector<history::event> events;
        {
            QSqlDatabase db = QSqlDatabase::database(QStringLiteral("check"));
            events = history::events(db, 0, end + 1, -1, 100);
        }
        history::close(QStringLiteral("check"));
        std::reverse(events.begin(), events.end());
        QStringList stored;
        for (const history::event& e : events)
            stored << QLatin1String(history::kindCode(e.kind));
        QCOMPARE(stored, kinds);
        for (int i = 0; i < events.size(); ++i) {
            QVERIFY(events.at(i).timeMs >= start && events.at(i).timeMs <= end);
            if (i > 0) QVERIFY(events.at(i).timeMs >= events.at(i - 1).timeMs);
        }
        // The first step's event (after "connected") happened after its command.
        QVERIFY(events.at(1).timeMs >= sent.first());
        QVERIFY(
            column(store.path(), QStringLiteral("SELECT COUNT(*) FROM samples")).value(0).toInt() >=
            1);
        QCOMPARE(column(store.path(), QStringLiteral("PRAGMA integrity_check")),
                 QStringList{QStringLiteral("ok")});
    }

    // A sample is stored when the charge moves by 1 %, a voltage by 100 mV,
    // a state or a bit changes, and otherwise once every 10 s: polled every
    // 20 ms, a steady module writes a row per 10 s, a change at once.
    void deadBand_data() {
        QTest::addColumn<int>("charge");
        QTest::addColumn<int>("inputMv");
        QTest::addColumn<int>("outputMv");
        QTest::addColumn<int>("source");
        QTest::addColumn<int>("doBits");
        QTest::addColumn<int>("diBits");
        QTest::addColumn<int>("pollMs");  // how long the second value is polled
        QTest::addColumn<int>("rows");
        QTest::newRow("steady for 9.98 s") << 80 << 24000 << 24000 << 1 << 5 << 0 << 9980 << 1;
        QTest::newRow("steady for a minute") << 80 << 24000 << 24000 << 1 << 5 << 0 << 60000 << 7;
        QTest::newRow("charge +1 %") << 81 << 24000 << 24000 << 1 << 5 << 0 << 20 << 2;
        QTest::newRow("charge -1 %") << 79 << 24000 << 24000 << 1 << 5 << 0 << 20 << 2;
        QTest::newRow("input +99 mV") << 80 << 24099 << 24000 << 1 << 5 << 0 << 20 << 1;
        QTest::newRow("input -100 mV") << 80 << 23900 << 24000 << 1 << 5 << 0 << 20 << 2;
        QTest::newRow("output +100 mV") << 80 << 24000 << 24100 << 1 << 5 << 0 << 20 << 2;
        QTest::newRow("on battery") << 80 << 24000 << 24000 << 2 << 5 << 0 << 20 << 2;
        QTest::newRow("SW output bit") << 80 << 24000 << 24000 << 1 << 13 << 0 << 20 << 2;
        QTest::newRow("DI bit") << 80 << 24000 << 24000 << 1 << 5 << 2 << 20 << 2;
        QTest::newRow("voltages gone (device type 301)")
            << 80 << -1 << -1 << 1 << 5 << 0 << 20 << 2;
        QTest::newRow("charge +1 %, then a minute")
            << 81 << 24000 << 24000 << 1 << 5 << 0 << 60000 << 7;
    }
    void deadBand() {
        QFETCH(int, charge);
        QFETCH(int, inputMv);
        QFETCH(int, outputMv);
        QFETCH(int, source);
        QFETCH(int, doBits);
        QFETCH(int, diBits);
        QFETCH(int, pollMs);
        QFETCH(int, rows);
        QTemporaryDir dir;
        historyStore store(dir.filePath(QStringLiteral("history.sqlite")));
        store.open();
        const qint64 t0 = historyStore::nowMs() - kDayMs;
        store.recordSample(steady(t0));
        for (int t = 20; t <= pollMs; t += 20)
            store.recordSample({t0 + t, charge, inputMv, outputMv, source, 0, doBits, diBits});
        QVERIFY(waitOpened(store));
        store.flush();
        QCOMPARE(
            column(store.path(), QStringLiteral("SELECT COUNT(*) FROM samples")).value(0).toInt(),
            rows);
    }

    // Rows older than the retention (UPS.conf, 30 days by default) go; all
    // younger ones stay.
    void retention_data() {
        QTest::addColumn<int>("days");  // 0: none stored
        QTest::addColumn<int>("kept");
        QTest::newRow("default 30 days") << 0 << 7;
        QTest::newRow("7 days") << 7 << 3;
    }
    void retention() {
        QFETCH(int, days);
        QFETCH(int, kept);
        if (days > 0) settingsStore::setHistoryDays(days);
        QTemporaryDir dir;
        const qint64 now = historyStore::nowMs();
        // A minute either side of each limit: a day too many or too few shows.
        const qint64 ages[] = {
            31 * kDayMs, 30 * kDayMs + kMinuteMs, 30 * kDayMs - kMinuteMs, 29 * kDayMs,
            8 * kDayMs,  7 * kDayMs + kMinuteMs,  7 * kDayMs - kMinuteMs,  6 * kDayMs,
            kMinuteMs};
        historyStore store(dir.filePath(QStringLiteral("history.sqlite")));
        store.open();
        QVERIFY(waitOpened(store));
        int charge = 10;
        for (qint64 age : ages) {
            history::sample s = steady(now - age);
            s.charge = ++charge;
            store.recordSample(s);
            store.recordEvent(history::DcLost, QStringLiteral("old"), now - age);
        }
        // Deleted in the background after the batch that wrote them.
        store.requestPurge();
        store.flush();
        settingsStore::setHistoryDays(30);
        for (const char* table : {"samples", "events"}) {
            const QStringList times =
                column(store.path(),
                       QStringLiteral("SELECT t FROM %1 ORDER BY t").arg(QLatin1String(table)));
            QCOMPARE(times.size(), kept);
            QCOMPARE(times.first().toLongLong(), now - ages[9 - kept]);
        }
    }

    // Another process writing for a while (BEGIN IMMEDIATE held 3 s) only
    // delays the batches: none is lost and the store stays available.
    void busyFileKeepsTheBatches() {
        QTemporaryDir dir;
        apptest::ConsoleRecord console;
        historyStore store(dir.filePath(QStringLiteral("history.sqlite")));
        store.setFlushIntervalMs(100);
        store.open();
        QVERIFY(waitOpened(store));
        const qint64 now = historyStore::nowMs();
        const QString other = QStringLiteral("other-process");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), other);
            db.setDatabaseName(store.path());
            QVERIFY(db.open());
            QSqlQuery hold(db);
            QVERIFY(hold.exec(QStringLiteral("BEGIN IMMEDIATE")));
            for (int i = 0; i < 30; ++i) {
                QVERIFY(store.recordSample(steady(now + i * historyStore::kMaxQuietMs)));
                QTest::qWait(100);
            }
            QVERIFY(hold.exec(QStringLiteral("COMMIT")));
        }
        QSqlDatabase::removeDatabase(other);
        QTRY_COMPARE_WITH_TIMEOUT(
            column(store.path(), QStringLiteral("SELECT COUNT(*) FROM samples")).value(0).toInt(),
            30, 20000);
        QCOMPARE(store.state(), historyStore::Available);
        QCOMPARE(historyLines(console).filter(QStringLiteral("unavailable")), QStringList());
    }

    // A file of the first schema keeps its rows and gains the time left and
    // the learned rate; with none learned yet, the rate comes once from the
    // discharges the samples show (here 1 % in 10 s), is kept and announced;
    // a rate learned later replaces it.
    void learnedRateFromAnOlderFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("history.sqlite"));
        const qint64 start = historyStore::nowMs() - kDayMs;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "v1");
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(
                q.exec("CREATE TABLE samples (t INTEGER PRIMARY KEY, charge INTEGER NOT NULL, "
                       "vin INTEGER, vout INTEGER, source INTEGER NOT NULL, battery INTEGER "
                       "NOT NULL, do_bits INTEGER NOT NULL, di_bits INTEGER NOT NULL)"));
            QVERIFY(
                q.exec("CREATE TABLE events (id INTEGER PRIMARY KEY, t INTEGER NOT NULL, "
                       "kind TEXT NOT NULL, text TEXT NOT NULL)"));
            QVERIFY(
                q.exec("CREATE TABLE minutes (m INTEGER PRIMARY KEY, n INTEGER NOT NULL, "
                       "charge_sum INTEGER NOT NULL, vin_n INTEGER NOT NULL, vin_sum INTEGER "
                       "NOT NULL, vin_min INTEGER, vin_max INTEGER, vout_sum INTEGER NOT NULL, "
                       "battery INTEGER NOT NULL)"));
            QVERIFY(q.exec(QStringLiteral("INSERT INTO samples VALUES (%1, 90, 0, 0, 1, 0, 1, 0)")
                               .arg(start)));
            for (int i = 0; i <= 20; ++i)
                QVERIFY(
                    q.exec(QStringLiteral("INSERT INTO samples VALUES (%1, %2, 0, 0, 2, 2, 0, 0)")
                               .arg(start + 1000 + i * 5000)
                               .arg(90 - i / 2)));
            QVERIFY(q.exec("PRAGMA user_version = 1"));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("v1"));

        {
            historyStore store(path);
            QSignalSpy learned(&store, &historyStore::signalLearnedRate);
            store.open();
            QTRY_COMPARE_WITH_TIMEOUT(learned.count(), 1, 20000);
            QVERIFY2(qAbs(learned.at(0).at(0).toDouble() - 0.1) < 0.03,
                     qPrintable(learned.at(0).at(0).toString()));
            history::sample s = steady(historyStore::nowMs());
            s.runtime = 540;
            store.recordSample(s);
            store.storeLearnedRate(0.25);
            store.flush();
        }
        QCOMPARE(column(path, "PRAGMA user_version"), QStringList{"2"});
        QCOMPARE(column(path, "SELECT COUNT(*) FROM samples WHERE runtime IS NULL"),
                 QStringList{"22"});
        QCOMPARE(column(path, "SELECT runtime FROM samples WHERE runtime IS NOT NULL"),
                 QStringList{"540"});
        QCOMPARE(column(path, "SELECT value FROM learned WHERE name = 'discharge_rate'"),
                 QStringList{"0.25"});
    }
};

QXUPS_APP_TEST_MAIN(QApplication, HistoryTest)
#include "history_test.moc"
