// The post-process script thread: which files it runs and how, and that a
// script past its limit (or at quit) is ended together with what it started.
// The settings store lives in a temporary home, so the user's is untouched.

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <sys/types.h>

#include "batThread.h"

namespace {

void storeBatPath(const QString& path) {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Tarvel", "UPS");
    store.beginGroup("REVOV_Azezed");
    store.setValue("batPath", path);
}

void writeScript(const QString& path, const QByteArray& body, bool executable) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(body);
    file.close();
    QFile::Permissions perms = QFile::ReadOwner | QFile::WriteOwner;
    if (executable) perms |= QFile::ExeOwner;
    QVERIFY(file.setPermissions(perms));
}

// Gone, or a zombie that only waits for its new parent to reap it.
bool processGone(qint64 pid) {
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) return true;
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return true;
    const QByteArray line = stat.readAll();
    const int close = line.lastIndexOf(')');
    return close > 0 && line.mid(close + 2, 1) == "Z";
}

qint64 readPid(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    return file.readAll().trimmed().toLongLong();
}

}  // namespace

class batThreadTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void runsStoredScript_data();
    void runsStoredScript();
    void endsScriptAndChildren_data();
    void endsScriptAndChildren();

private:
    QTemporaryDir m_home;
};

void batThreadTest::initTestCase() {
    QVERIFY(m_home.isValid());
    qputenv("HOME", m_home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (m_home.path() + "/.config").toLocal8Bit());
    QVERIFY(QDir(m_home.path()).mkpath("my scripts"));
}

void batThreadTest::runsStoredScript_data() {
    QTest::addColumn<QString>("scriptName");  // empty: store an empty path
    QTest::addColumn<bool>("create");
    QTest::addColumn<bool>("executable");
    QTest::newRow("executable, blank in path") << "my scripts/on loss.sh" << true << true;
    QTest::newRow("not executable, through sh") << "my scripts/plain.sh" << true << false;
    QTest::newRow("missing file") << "my scripts/absent.sh" << false << false;
    QTest::newRow("empty path") << "" << false << false;
}

void batThreadTest::runsStoredScript() {
    QFETCH(QString, scriptName);
    QFETCH(bool, create);
    QFETCH(bool, executable);
    const QString marker = m_home.filePath("marker");
    QFile::remove(marker);
    const QString script = scriptName.isEmpty() ? QString() : m_home.filePath(scriptName);
    if (create) {
        // No "#!" line: an executable file without one still has to run.
        writeScript(script, "echo noise; echo noise >&2; echo ran > '" + marker.toUtf8() + "'\n",
                    executable);
    }
    storeBatPath(script);

    batThread thread;
    thread.start();
    QVERIFY(thread.wait(20000));
    QCOMPARE(QFile::exists(marker), create);
    // Nothing at all is started for a path that names no file.
    QCOMPARE(thread.scriptsStarted(), create ? 1 : 0);
}

void batThreadTest::endsScriptAndChildren_data() {
    QTest::addColumn<bool>("byStop");
    QTest::newRow("time limit") << false;
    QTest::newRow("stop at quit") << true;
}

// The script starts a child and waits; the time limit (shortened here) or a
// stop for quitting must end both, not only the shell.
void batThreadTest::endsScriptAndChildren() {
    QFETCH(bool, byStop);
    const QString pids = m_home.filePath("pids");
    const QString childPid = m_home.filePath("childpid");
    QFile::remove(pids);
    QFile::remove(childPid);
    const QString script = m_home.filePath("my scripts/long.sh");
    writeScript(script,
                "#!/bin/sh\nsleep 60 &\necho $! > '" + childPid.toUtf8() + "'\necho $$ > '" +
                    pids.toUtf8() + "'\nwait\n",
                true);
    storeBatPath(script);

    batThread thread;
    thread.setTimeLimitMs(byStop ? batThread::kTimeLimitMs : 300);
    thread.start();
    QTRY_VERIFY_WITH_TIMEOUT(readPid(pids) > 0 && readPid(childPid) > 0, 20000);
    const qint64 shell = readPid(pids), child = readPid(childPid);
    if (byStop) {
        QVERIFY(thread.isRunning());
        thread.stopScript();
    }
    QVERIFY(thread.wait(20000));
    QVERIFY(processGone(shell));
    // The orphaned child is reaped by init once killed; give it time.
    QTRY_VERIFY_WITH_TIMEOUT(processGone(child), 10000);
}

QTEST_GUILESS_MAIN(batThreadTest)
#include "batthread_test.moc"
