// The history's file: the CSV export read back (and upsctl's reading of the
// same file), a file that cannot be used, and a writer killed mid-batch.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "app_test_env.h"
#include "app_test_sim.h"
#include "historyRecorder.h"
#include "historyStore.h"
#include "historyWidget.h"
#include "monitorThread.h"
#include "settingsStore.h"
#include "statusMonitorWidget.h"
#include "history_test_support.h"

using namespace historytest;

namespace {

// One RFC 4180 file: records of fields, quotes doubled inside quoted fields.
QVector<QStringList> parseCsv(const QString& text) {
    QVector<QStringList> records;
    QStringList fields;
    QString field;
    bool quoted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() &&
                text.at(i + 1) == QLatin1Char('"')) {
                field += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            fields << field;
            field.clear();
        } else if (c == QLatin1Char('\r') && i + 1 < text.size() &&
                   text.at(i + 1) == QLatin1Char('\n')) {
            fields << field;
            records << fields;
            fields.clear();
            field.clear();
            ++i;
        } else {
            field += c;
        }
    }
    return records;
}

QString readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The child of the kill test: writes samples and events in small batches
// until it is killed (or a minute has passed).
int writeUntilKilled(const QString& path, int argc, char** argv) {
    QCoreApplication app(argc, argv);
    historyStore store(path);
    store.setFlushIntervalMs(5);
    store.open();
    const qint64 start = historyStore::nowMs();
    for (int i = 0; historyStore::nowMs() - start < 60000; ++i) {
        history::sample s = steady(start + i);
        s.charge = i % 101;
        store.recordSample(s);
        if (i % 10 == 0) store.recordEvent(history::WriteRegister, QStringLiteral("row %1").arg(i));
        if (i % 50 == 0) ::usleep(1000);
    }
    return 0;
}

}  // namespace

class HistoryFileTest : public QObject {
    Q_OBJECT

private slots:
    // The export writes what was stored, and reads back field for field,
    // texts with commas, quotes, line breaks and Chinese included; upsctl
    // prints the same CSV from the same file.
    void exportRoundTrip() {
        QTemporaryDir dir;
        historyStore store(dir.filePath(QStringLiteral("history.sqlite")));
        store.open();
        const qint64 now = historyStore::nowMs();
        const QVector<history::sample> samples = {{now - 3000, 80, 24000, 24100, 1, 0, 5, 0},
                                                  {now - 2000, 79, -1, -1, 2, 2, 2, 7}};
        const QStringList texts = {QStringLiteral("plain"), QStringLiteral("a, b \"c\""),
                                   QStringLiteral("two\r\nlines"), QStringLiteral("直流断开")};
        for (const history::sample& s : samples)
            store.recordSample(s);
        for (int i = 0; i < texts.size(); ++i)
            store.recordEvent(history::ScriptEnded, texts.at(i), now - 1000 + i);
        QVERIFY(waitOpened(store));
        store.flush();

        const QString base = dir.filePath(QStringLiteral("out"));
        QVERIFY(history::open(QStringLiteral("export"), store.path(), true, nullptr));
        {
            QSqlDatabase db = QSqlDatabase::database(QStringLiteral("export"));
            QString error;
            QVERIFY2(history::exportCsv(db, now - kMinuteMs, now + 1, base + "-samples.csv",
                                        base + "-events.csv", &error),
                     qPrintable(error));
        }
        // The chart reads the same rows, one bucket per sample at this width.
        {
            QSqlDatabase db = QSqlDatabase::database(QStringLiteral("export"));
            const QVector<history::bucket> buckets = history::chart(db, now - kMinuteMs, now, 600);
            QCOMPARE(buckets.size(), 2);
            QCOMPARE(buckets.at(0).charge, 80.0);
            QCOMPARE(buckets.at(0).inputMax, 24000);
            QVERIFY(!buckets.at(0).onBattery);
            QCOMPARE(buckets.at(1).inputMv, -1.0);
            QVERIFY(buckets.at(1).onBattery);
            // A month's columns come from the per-minute sums.
            const QVector<history::bucket> month = history::chart(db, now - 30 * kDayMs, now, 600);
            QVERIFY(!month.isEmpty());
            QCOMPARE(month.last().inputMax, 24000);
            QVERIFY(std::any_of(month.begin(), month.end(),
                                [](const history::bucket& b) { return b.onBattery; }));
        }
        history::close(QStringLiteral("export"));

        const QString samplesCsv = readAll(base + "-samples.csv");
        const QVector<QStringList> sampleRows = parseCsv(samplesCsv);
        QCOMPARE(sampleRows.size(), 3);
        QCOMPARE(sampleRows.at(0).join(','),
                 QStringLiteral(
                     "time,charge_percent,input_mv,output_mv,source,battery,do_bits,di_bits"));
        QCOMPARE(sampleRows.at(1), (QStringList{history::isoTime(now - 3000), "80", "24000",
                                                "24100", "dc", "charging", "5", "0"}));
        QCOMPARE(sampleRows.at(2), (QStringList{history::isoTime(now - 2000), "79", "", "",
                                                "battery", "discharging", "2", "7"}));
        QCOMPARE(
            QDateTime::fromString(sampleRows.at(1).at(0), Qt::ISODateWithMs).toMSecsSinceEpoch(),
            now - 3000);
        const QString eventsCsv = readAll(base + "-events.csv");
        const QVector<QStringList> eventRows = parseCsv(eventsCsv);
        QCOMPARE(eventRows.size(), texts.size() + 1);
        for (int i = 0; i < texts.size(); ++i)
            QCOMPARE(eventRows.at(i + 1),
                     (QStringList{history::isoTime(now - 1000 + i), "script-ended", texts.at(i)}));

        for (const QStringList& args : {QStringList{"--csv"}, QStringList{"--csv", "--events"}}) {
            QProcess upsctl;
            upsctl.start(QStringLiteral(QXUPS_BIN_DIR "/upsctl"),
                         QStringList{"history", "--db", store.path(), "--since", "1h"} + args);
            QVERIFY(upsctl.waitForFinished(20000));
            QCOMPARE(upsctl.exitCode(), 0);
            QCOMPARE(QString::fromUtf8(upsctl.readAllStandardOutput()),
                     args.contains("--events") ? eventsCsv : samplesCsv);
        }

        // A file it cannot read is named with the cause (here a lock held by
        // another process, which stops root too), not as a wrong version.
        store.stop();
        const QString other = QStringLiteral("exclusive-holder");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), other);
            db.setDatabaseName(store.path());
            QVERIFY(db.open());
            QSqlQuery hold(db);
            QVERIFY(hold.exec(QStringLiteral("PRAGMA locking_mode = EXCLUSIVE")));
            QVERIFY(hold.exec(QStringLiteral("BEGIN EXCLUSIVE")));
            QVERIFY(hold.exec(QStringLiteral("DELETE FROM events")));
            QProcess upsctl;
            upsctl.start(QStringLiteral(QXUPS_BIN_DIR "/upsctl"),
                         QStringList{"history", "--db", store.path()});
            QVERIFY(upsctl.waitForFinished(20000));
            QCOMPARE(upsctl.exitCode(), 66);
            const QString said = QString::fromUtf8(upsctl.readAllStandardError());
            QVERIFY2(said.contains(QStringLiteral("database is locked")), qPrintable(said));
            QVERIFY(hold.exec(QStringLiteral("ROLLBACK")));
        }
        QSqlDatabase::removeDatabase(other);
    }

    // A folder that cannot be written, or a damaged file: one log line, and
    // the page goes on watching the module. The damaged file is moved aside
    // (never deleted) and a new one started; the unwritable one leaves the
    // history shown as unavailable.
    void unusableFile_data() {
        QTest::addColumn<bool>("damaged");
        QTest::newRow("read-only folder") << false;
        QTest::newRow("damaged file") << true;
    }
    void unusableFile() {
        QFETCH(bool, damaged);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("history.sqlite"));
        const QByteArray junk = "this is not a database, but it is someone's file\n";
        if (damaged) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(junk.repeated(200));
        } else if (geteuid() == 0) {
            path = QStringLiteral("/proc/history.sqlite");  // read-only even for root
        } else {
            QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0500) == 0);
        }
        settingsStore::setBatExecutePolicy(0);
        apptest::ConsoleRecord console;
        historyStore store(path);
        statusMonitorWidget page;
        history::recordFrom(&page, &store);
        historyWidget view(&store);
        store.open();
        QVERIFY(waitOpened(store));
        QTRY_COMPARE_WITH_TIMEOUT(historyLines(console).size(), 1, 5000);

        // Watching goes on: a DC loss is still seen and logged.
        QSignalSpy power(&page, &statusMonitorWidget::signalPowerEvent);
        monitorThread::statusBlock block{};
        block[26] = 80;
        block[28] = 1;
        page.decodeStatusBlock(block);
        block[28] = 0;
        page.decodeStatusBlock(block);
        QCOMPARE(power.count(), 1);
        QTRY_VERIFY(console.lines().contains(QStringLiteral("DC is broken.")));
        store.flush();
        QTest::qWait(100);
        QCOMPARE(historyLines(console).size(), 1);
        QCOMPARE(view.findChild<QLabel*>(QStringLiteral("m_problem"))->isVisibleTo(&view),
                 !damaged);

        if (damaged) {
            QCOMPARE(store.state(), historyStore::Available);
            const QStringList aside =
                QDir(dir.path())
                    .entryList({QStringLiteral("history.sqlite.damaged-*")}, QDir::Files);
            QCOMPARE(aside.size(), 1);
            QCOMPARE(QFile(dir.filePath(aside.first())).size(), junk.size() * 200);
            QCOMPARE(column(path, QStringLiteral("SELECT kind FROM events")),
                     QStringList{QStringLiteral("dc-lost")});
            // The new file and its journal are the user's alone.
            for (const char* suffix : {"", "-wal", "-shm"}) {
                struct stat info;
                QVERIFY(::stat(QFile::encodeName(path + suffix).constData(), &info) == 0);
                QCOMPARE(info.st_mode & 0777, 0600u);
            }
        } else {
            QCOMPARE(store.state(), historyStore::Unavailable);
            ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
        }
    }

    // kill -9 while batches are written: the file passes its integrity check,
    // holds what was committed and opens for writing again.
    void killedWriter() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("history.sqlite"));
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QXUPS_HISTORY_TEST_WRITER"), path);
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), QStringList());
        QVERIFY(child.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(
            column(path, QStringLiteral("SELECT COUNT(*) FROM samples")).value(0).toInt() > 2000,
            30000);
        ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        QCOMPARE(column(path, QStringLiteral("PRAGMA integrity_check")),
                 QStringList{QStringLiteral("ok")});
        QVERIFY(column(path, QStringLiteral("SELECT COUNT(*) FROM events")).value(0).toInt() > 0);
        historyStore store(path);
        store.open();
        QVERIFY(waitOpened(store));
        QCOMPARE(store.state(), historyStore::Available);
        store.recordEvent(history::Connected, QStringLiteral("again"));
        store.flush();
        QCOMPARE(column(path, QStringLiteral("SELECT text FROM events ORDER BY id DESC LIMIT 1")),
                 QStringList{QStringLiteral("again")});
    }
};

int main(int argc, char** argv) {
    const QString writer = qEnvironmentVariable("QXUPS_HISTORY_TEST_WRITER");
    if (!writer.isEmpty()) return writeUntilKilled(writer, argc, argv);
    apptest::TestEnvironment environment;
    if (!environment.ok()) qFatal("cannot set up the test world");
    QApplication app(argc, argv);
    HistoryFileTest tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "history_file_test.moc"
