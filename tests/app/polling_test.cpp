// The polling thread against the simulator. Every hand-off here is our own
// (direct connections recorded under a std::mutex, the adapter's lock, the
// thread's lock and atomics), so this test also runs under TSan.
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
    comAdapter& m_adapter = comAdapter::instance();
    monitorThread* m_monitor = nullptr;
    std::atomic<int> m_finished{0};

    QStringList errorLines() const {
        return m_console.lines().filter(QRegularExpression(QStringLiteral("ERR|error")));
    }

private slots:
    void initTestCase() {
        QVERIFY(m_module.start(QString::fromLocal8Bit(qgetenv("QXUPS_APPDIR"))));
        m_settings.portNumber = apptest::kSimPort;
        m_settings.responseTimeout = 300;
    }

    void init() {
        m_monitor = new monitorThread();
        m_monitor->stopPolling();  // as the status page does, on a thread never started
        m_finished = 0;
        connect(
            m_monitor, &monitorThread::signalFinished, m_monitor, [this] { ++m_finished; },
            Qt::DirectConnection);
        QCOMPARE(m_adapter.slotOpenDevice(&m_settings), 0);
        m_console.clear();
    }

    void cleanup() {
        m_monitor->stopPolling();
        delete m_monitor;
        if (m_adapter.isConnected()) m_adapter.slotCloseDevice();
        QCOMPARE(m_module.command("fault none"), QStringLiteral("ok"));
        m_console.clear();
    }

    void blocksArriveWithTheModulesValues() {
        m_monitor->startPolling(20);
        QVERIFY(waitFor([this] { return m_finished >= 3; }));
        QCOMPARE(m_monitor->statusBuffer()[0], quint16(301));
        QCOMPARE(m_module.command("set 26 77"), QStringLiteral("ok"));
        QVERIFY(waitFor([this] { return m_monitor->statusBuffer()[26] == 77; }));
        m_monitor->startPolling(30);  // running: only the cycle changes
        const int before = m_finished;
        QVERIFY(waitFor([&] { return m_finished >= before + 3; }));
        QVERIFY(m_console.lines().isEmpty());
    }

    void silentModuleGivesBothLinesEachCycle() {
        QCOMPARE(m_module.command("fault silent"), QStringLiteral("ok"));
        m_monitor->startPolling(20);
        QVERIFY(waitFor([this] { return m_console.lines().size() >= 6; }));
        m_monitor->stopPolling();
        const QStringList lines = m_console.lines();
        for (int i = 0; i + 1 < lines.size(); i += 2) {
            QCOMPARE(lines[i], QStringLiteral("ERR:8:When reading register start from 40000"));
            QCOMPARE(lines[i + 1], QStringLiteral("Read error: 8"));
        }
        QCOMPARE(m_finished.load(), 0);
    }

    // The adapter serialises the GUI thread's writes with the polling reads.
    void writesWhilePollingAllSucceed() {
        m_monitor->startPolling(20);
        QVERIFY(waitFor([this] { return m_finished >= 1; }));
        for (int i = 0; i < 40; ++i) {
            QCOMPARE(m_adapter.slotWriteRegister(40036 + i % 4, ushort(i)), 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
        QVERIFY(m_finished >= 2);
        QCOMPARE(errorLines(), QStringList());
    }

    // Closing and reopening under a running poll never reads a closed device.
    void disconnectDuringPollingLogsNoError() {
        m_monitor->startPolling(20);
        for (int round = 0; round < 8; ++round) {
            const int before = m_finished;
            QVERIFY(waitFor([&] { return m_finished > before; }));
            std::this_thread::sleep_for(std::chrono::milliseconds(round * 3));
            QCOMPARE(m_adapter.slotCloseDevice(), 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
            QCOMPARE(m_adapter.slotOpenDevice(&m_settings), 0);
        }
        QCOMPARE(errorLines(), QStringList());
    }

    void stopReturnsWithoutSleepingOutTheCycle() {
        m_monitor->startPolling(10000);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        QElapsedTimer timer;
        timer.start();
        m_monitor->stopPolling();
        QVERIFY(!m_monitor->isRunning());
        // Far below the 10 s cycle: the sleep was cut short.
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    }
};

QXUPS_APP_TEST_MAIN(QCoreApplication, PollingTest)
#include "polling_test.moc"
