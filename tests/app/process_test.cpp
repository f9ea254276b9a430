// The program as real processes: one instance at a time, and the restart
// (exit code 888) that hands the port to the successor, which connects again.
#include <signal.h>

#include <QCoreApplication>
#include <QProcess>
#include <QtTest>

#include "app_test_env.h"
#include "app_test_sim.h"
#include "appPaths.h"

namespace {

QString lockFile() {
    return qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/REVOV_Azezed_UTILITY");
}

// The pid in the lock file, 0 when there is none.
qint64 lockPid() {
    QFile file(lockFile());
    if (!file.open(QIODevice::ReadOnly)) return 0;
    return file.readAll().trimmed().toLongLong();
}

// Alive and not a zombie (a detached successor is reaped by whoever adopts it).
bool running(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly)) return false;
    const QByteArray text = stat.readAll();
    const int end = text.lastIndexOf(')');
    return end > 0 && text.size() > end + 2 && text.at(end + 2) != 'Z';
}

// Whether the process has the file open (the simulator's line, for a
// connected program: the library keeps the port open only while connected).
bool holdsOpen(qint64 pid, const QString& target) {
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot))
        if (fd.symLinkTarget() == target) return true;
    return false;
}

int requests(apptest::SimulatedModule& sim) {
    const QString stats = sim.command("stats");
    const int at = stats.indexOf(QLatin1String("requests="));
    return at < 0 ? -1 : stats.mid(at + 9).section(QLatin1Char(' '), 0, 0).toInt();
}

// The shipped program, or its test copy with the test hooks built in.
void startProgram(QProcess& process, const QString& logName,
                  const char* program = QXUPS_PROGRAM_PATH) {
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(appPaths::dataFile(logName));
    process.start(QString::fromUtf8(program), QStringList());
}

}  // namespace

QString readState(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class ProcessTest : public QObject {
    Q_OBJECT
private slots:
    void oneInstanceAtATime() {
        QProcess first;
        startProgram(first, QStringLiteral("first.log"));
        QVERIFY(first.waitForStarted(30000));
        QTRY_COMPARE_WITH_TIMEOUT(lockPid(), first.processId(), 60000);

        QProcess second;
        startProgram(second, QStringLiteral("second.log"));
        QVERIFY(second.waitForFinished(60000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(first.state(), QProcess::Running);
        QCOMPARE(lockPid(), first.processId());

        // A killed holder leaves no lock behind.
        first.kill();
        QVERIFY(first.waitForFinished(30000));
        QProcess third;
        startProgram(third, QStringLiteral("third.log"));
        QVERIFY(third.waitForStarted(30000));
        QTRY_COMPARE_WITH_TIMEOUT(lockPid(), third.processId(), 60000);
        third.terminate();
        QVERIFY(third.waitForFinished(30000));
    }

    void restartComesBackConnected() {
        QTemporaryDir root;
        apptest::SimulatedModule sim;
        QVERIFY(root.isValid() && sim.start(root.path()));
        QFile settings(appPaths::settingsFile(QStringLiteral("configs/config_com.xml")));
        QVERIFY(settings.open(QIODevice::WriteOnly | QIODevice::Truncate));
        settings.write(QByteArray("<Settings><Setting><ComPort>COM") +
                       QByteArray::number(apptest::kSimPort) + "</ComPort></Setting></Settings>");
        settings.close();

        // The first connects (the hook presses Connect), shows the Config tab
        // and restarts; without AutoConnect the successor must come back as
        // it was, with one restart line in its log.
        QProcess first;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QXUPS_TEST_RESTART_WHEN_CONNECTED"),
                           QStringLiteral("config"));
        const QString stateFile = root.path() + QStringLiteral("/state");
        environment.insert(QStringLiteral("QXUPS_TEST_STATE_FILE"), stateFile);
        first.setProcessEnvironment(environment);
        startProgram(first, QStringLiteral("restart.log"), QXUPS_HOOKED_PROGRAM_PATH);
        QVERIFY(first.waitForStarted(30000));
        const qint64 firstPid = first.processId();

        // Connects, then ends its event loop with 888 and launches its
        // successor after closing the device.
        QVERIFY(first.waitForFinished(60000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.exitCode(), 0);
        QVERIFY2(requests(sim) > 0, "the first process did not connect");

        qint64 successor = 0;
        QTRY_VERIFY_WITH_TIMEOUT((successor = lockPid()) != firstPid && running(successor), 60000);
        // The successor connects by itself to the port its predecessor gave
        // up: it holds the line open, and the module has answered both.
        const QString line = QFileInfo(root.path() + QStringLiteral("/line")).canonicalFilePath();
        QVERIFY(!line.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(holdsOpen(successor, line), 60000);
        QTRY_VERIFY_WITH_TIMEOUT(requests(sim) >= 2, 60000);
        QTRY_COMPARE_WITH_TIMEOUT(readState(stateFile),
                                  QStringLiteral("connected 1 tab m_configWidget restarts 1"),
                                  60000);

        QVERIFY(kill(static_cast<pid_t>(successor), SIGTERM) == 0);
        QTRY_VERIFY_WITH_TIMEOUT(!running(successor), 30000);
    }
};

QXUPS_APP_TEST_MAIN(QCoreApplication, ProcessTest)
#include "process_test.moc"
