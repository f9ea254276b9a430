// The device worker against the simulator: open, polling, writes, extra
// registers, close and stop. Every hand-off here is our own (direct
// connections recorded under a std::mutex, the adapter's lock, the worker's
// lock and atomics), so this test also runs under TSan.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <thread>

#include "app_test_env.h"
#include "app_test_sim.h"
#include "comAdapter.h"
#include "comSettings.h"
#include "monitorThread.h"

using apptest::ConsoleRecord;

namespace {

const std::vector<std::string> kRegisters = {
    "--registers", QXUPS_BIN_DIR "/iconfigs/DCU-1205/config_registers.xml"};

// The sleep clock the worker sees in the tests that drive it (ms asleep).
std::atomic<qint64> s_slept{0};

// Waits, without an event loop, until the condition holds or 20 s have passed.
template <typename Condition>
bool waitFor(Condition condition) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > 20000) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace

class PollingTest : public QObject {
    Q_OBJECT
private:
    apptest::SimulatedModule m_module;
    ConsoleRecord m_console;
    comSettings m_settings;
    monitorThread* m_monitor = nullptr;
    std::atomic<int> m_finished{0};
    std::atomic<int> m_extras{0};

    QStringList errorLines() const {
        return m_console.lines().filter(QRegularExpression(QStringLiteral("ERR|error")));
    }
    void open(quint32 cycle) {
        m_monitor->setPollCycle(cycle);
        m_monitor->requestOpen(m_settings);
        QVERIFY(waitFor([this] { return m_monitor->state() == monitorThread::Connected; }));
    }

private slots:
    void initTestCase() {
        // The product's register table: 40100 and up answer, others are refused.
        QVERIFY(m_module.start(QString::fromLocal8Bit(qgetenv("QXUPS_APPDIR")), kRegisters));
        m_settings.portNumber = apptest::kSimPort;
        m_settings.slaveId = 1;
        m_settings.responseTimeout = 300;
    }

    void init() {
        m_monitor = new monitorThread();
        m_finished = 0;
        m_extras = 0;
        connect(
            m_monitor, &monitorThread::signalFinished, m_monitor, [this] { ++m_finished; },
            Qt::DirectConnection);
        connect(
            m_monitor, &monitorThread::signalExtraValuesReady, m_monitor, [this] { ++m_extras; },
            Qt::DirectConnection);
        m_console.clear();
    }

    void cleanup() {
        m_monitor->stop();
        QVERIFY(!comAdapter::instance().isConnected());
        delete m_monitor;
        if (!m_module.running())
            QVERIFY(m_module.start(QString::fromLocal8Bit(qgetenv("QXUPS_APPDIR")), kRegisters));
        QCOMPARE(m_module.command("fault none"), QStringLiteral("ok"));
        m_console.clear();
    }

    void blocksArriveWithTheModulesValues() {
        open(20);
        QVERIFY(waitFor([this] { return m_finished >= 3; }));
        QCOMPARE(m_monitor->statusBuffer()[0], quint16(301));
        QCOMPARE(m_module.command("set 26 77"), QStringLiteral("ok"));
        QVERIFY(waitFor([this] { return m_monitor->statusBuffer()[26] == 77; }));
        QVERIFY(m_console.lines().filter(QStringLiteral("ERR")).isEmpty());
    }

    // A burst of failing reads logs its first failure and one line when
    // answers are back, not a line per poll.
    void failingReadsCollapse() {
        open(20);
        QVERIFY(waitFor([this] { return m_finished >= 1; }));
        QCOMPARE(m_module.command("fault bad-crc"), QStringLiteral("ok"));
        m_console.clear();
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        QCOMPARE(m_module.command("fault none"), QStringLiteral("ok"));
        QVERIFY(waitFor([this] { return m_console.lines().size() >= 2; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const QStringList lines = m_console.lines();
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].startsWith(QStringLiteral("ERR:")) &&
                     lines[0].contains(QStringLiteral("When reading register start from 40000 (")),
                 qPrintable(lines[0]));
        QVERIFY2(lines[1].startsWith(QStringLiteral("Communication restored after ")),
                 qPrintable(lines[1]));
        QCOMPARE(m_monitor->state(), monitorThread::Connected);
    }

    // The line lost (the simulator killed, or not there at an open that keeps
    // trying, or a silent module after the system slept) is closed and
    // reopened with the back-off until the module answers again, or until a
    // close is asked for, which ends the back-off at once.
    void lineLostAndFoundAgain_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("disconnect");
        QTest::newRow("killed") << "killed" << false;
        QTest::newRow("killed, closed during the back-off") << "killed" << true;
        QTest::newRow("no port at an open that keeps trying") << "absent" << false;
        QTest::newRow("system slept, silent module") << "slept" << false;
    }

    void lineLostAndFoundAgain() {
        QFETCH(QString, how);
        QFETCH(bool, disconnect);
        QCOMPARE(m_module.command("set 26 80"), QStringLiteral("ok"));
        // Time alone would take a minute to find the line lost: only the
        // sleep can in the "slept" row.
        m_monitor->setTimings(how == QLatin1String("slept") ? 60000 : 500, 100, 400, 60000);
        s_slept = 0;
        m_monitor->setSleepClock([]() -> qint64 { return s_slept.load(); });
        if (how == QLatin1String("absent")) {
            m_module.kill();
            m_monitor->setPollCycle(20);
            m_monitor->requestOpen(m_settings, true);
        } else {
            open(20);
            QVERIFY(waitFor([this] { return m_finished >= 1; }));
            m_console.clear();
            if (how == QLatin1String("killed")) {
                m_module.kill();
            } else {
                QCOMPARE(m_module.command("fault silent"), QStringLiteral("ok"));
                s_slept = 3600 * 1000;
            }
        }
        QVERIFY(waitFor([this] { return m_monitor->state() == monitorThread::Reconnecting; }));
        QVERIFY(waitFor([this] { return m_monitor->reconnectAttempt() >= 3; }));
        QStringList lines = m_console.lines();
        if (how == QLatin1String("absent")) {
            QCOMPARE(lines, QStringList({"Open device error:3", "HW:0000", "FW:0000", "DRV:0000"}));
        } else {
            QCOMPARE(lines.filter(QStringLiteral("ERR:")).size(), 1);
            QCOMPARE(
                lines.filter(QStringLiteral("Communication with the module lost (error ")).size(),
                1);
            QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("Read error|Open device"))),
                     QStringList());
        }
        if (disconnect) {
            QElapsedTimer timer;
            timer.start();
            m_monitor->requestClose();
            QVERIFY(waitFor([this] { return m_monitor->state() == monitorThread::Disconnected; }));
            QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
            QVERIFY(waitFor([this] { return !m_monitor->isRunning(); }));
        }
        if (how == QLatin1String("slept")) {
            QCOMPARE(m_module.command("fault none"), QStringLiteral("ok"));
        } else {
            QVERIFY(m_module.start(QString::fromLocal8Bit(qgetenv("QXUPS_APPDIR")), kRegisters));
        }
        QCOMPARE(m_module.command("set 26 61"), QStringLiteral("ok"));
        if (disconnect) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1000));
            QCOMPARE(m_monitor->state(), monitorThread::Disconnected);
            QVERIFY(!comAdapter::instance().isConnected());
            return;
        }
        QVERIFY(waitFor([this] { return m_monitor->statusBuffer()[26] == 61; }));
        QCOMPARE(m_monitor->state(), monitorThread::Connected);
        QCOMPARE(m_monitor->reconnectAttempt(), 0);
        QCOMPARE(m_console.lines().filter(QStringLiteral("Communication restored after ")).size(),
                 1);
    }

    // Writes go between two reads; one not sent yet is replaced by a later one.
    void writesWhilePollingAllSucceed() {
        open(20);
        QVERIFY(waitFor([this] { return m_finished >= 1; }));
        for (int i = 0; i < 20; ++i) {
            m_monitor->requestWrite(40036 + i % 4, ushort(i));
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
        QVERIFY(
            waitFor([this] { return m_module.command("get 39") == QStringLiteral("value 19"); }));
        QCOMPARE(errorLines(), QStringList());
        const int before = m_finished;
        QVERIFY(waitFor([&] { return m_finished >= before + 2; }));
        QCOMPARE(m_monitor->statusBuffer()[39], quint16(19));
        m_monitor->requestWrite(40010, 5);  // read-only: refused, logged once
        QVERIFY(waitFor([this] { return !errorLines().isEmpty(); }));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        QCOMPARE(errorLines(), QStringList({"ERR:11:When Setting register 40010 to value 5"}));
    }

    // A write asked while not connected, or queued when the line is lost,
    // never reaches the module found at the next connection.
    void writesWhileNotConnectedNeverReachTheModule() {
        QCOMPARE(m_module.command("set 37 7"), QStringLiteral("ok"));
        m_monitor->requestWrite(40037, 99);  // disconnected
        m_monitor->setTimings(500, 100, 400, 60000);
        open(20);
        QVERIFY(waitFor([this] { return m_finished >= 1; }));
        m_module.kill();
        QVERIFY(waitFor([this] { return m_monitor->state() == monitorThread::Reconnecting; }));
        m_monitor->requestWrite(40037, 98);  // reconnecting
        QVERIFY(m_module.start(QString::fromLocal8Bit(qgetenv("QXUPS_APPDIR")), kRegisters));
        QCOMPARE(m_module.command("set 37 7"), QStringLiteral("ok"));
        QVERIFY(waitFor([this] { return m_monitor->state() == monitorThread::Connected; }));
        const int before = m_finished;
        QVERIFY(waitFor([&] { return m_finished >= before + 3; }));
        QCOMPARE(m_module.command("get 37"), QStringLiteral("value 7"));
        QCOMPARE(m_console.lines().filter(QStringLiteral("not written")).size(), 2);
    }

    // Registers outside the block, read in spans while asked for; a refused
    // span stays empty and is logged once, not at each read.
    void extraRegistersInSpans() {
        QCOMPARE(m_module.command("set 100 4321"), QStringLiteral("ok"));
        m_monitor->setExtraAddresses({40001, 40100, 40101, 40111, 40110, 45000, 12});
        open(20);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        QCOMPARE(m_extras.load(), 0);  // not asked for yet
        m_monitor->setExtraReading(true);
        QVERIFY(waitFor([this] { return m_extras >= 3; }));
        QMap<quint32, QString> shown;
        for (const monitorThread::extraValue& v : m_monitor->extraValues())
            shown[v.address] = v.ok ? QString::number(v.value) : QString();
        QCOMPARE(shown.keys(), QList<quint32>({12, 40100, 40101, 40110, 40111, 45000}));
        QCOMPARE(shown[40100], QStringLiteral("4321"));
        QVERIFY(!shown[40110].isEmpty());
        QCOMPARE(shown[45000], QString());
        QCOMPARE(shown[12], QString());
        QCOMPARE(errorLines(),
                 QStringList({"ERR:11: Registers 45000 to 45000 could not be read; they are shown "
                              "empty"}));
    }

    // Closing and reopening under a running poll never reads a closed device.
    void disconnectDuringPollingLogsNoError() {
        open(20);
        for (int round = 0; round < 8; ++round) {
            const int before = m_finished;
            QVERIFY(waitFor([&] { return m_finished > before; }));
            std::this_thread::sleep_for(std::chrono::milliseconds(round * 3));
            m_monitor->requestClose();
            if (round % 2 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(60));
            m_monitor->requestOpen(m_settings);  // waits for the close in the worker
        }
        QVERIFY(waitFor([this] { return m_monitor->state() == monitorThread::Connected; }));
        QCOMPARE(errorLines(), QStringList());
    }

    // Requests return at once even with a silent module; stop waits for the
    // read under way only, and leaves the device closed.
    void requestsReturnAtOnceAndStopClosesTheDevice() {
        m_settings.responseTimeout = 3000;
        open(20);
        QCOMPARE(m_module.command("fault silent"), QStringLiteral("ok"));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        QElapsedTimer timer;
        timer.start();
        m_monitor->requestWrite(40036, 1);
        m_monitor->requestClose();
        m_monitor->requestOpen(m_settings);
        QVERIFY2(timer.elapsed() < 500, qPrintable(QString::number(timer.elapsed())));
        timer.restart();
        m_monitor->stop();
        m_settings.responseTimeout = 300;
        QVERIFY(!m_monitor->isRunning());
        QVERIFY(!comAdapter::instance().isConnected());
        // The read under way and the close; the requests queued are dropped.
        QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
    }
};

QXUPS_APP_TEST_MAIN(QCoreApplication, PollingTest)
#include "polling_test.moc"
