// Every app test runs in a private world: a temporary HOME with its own XDG
// folders (so the settings store and autostart entries land there) and a
// temporary program folder, reached through QXUPS_APPDIR, holding a copy of
// the shipped data from the runnable tree.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QtTest>

namespace apptest {

class TestEnvironment {
public:
    TestEnvironment() {
        char pattern[] = "/tmp/qxups-apptest-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return;
        m_root = QString::fromLocal8Bit(pattern);
        // Open to all, so that a case run as an unprivileged user can reach it.
        chmod(pattern, 0755);
        const QString home = m_root + QStringLiteral("/home");
        const QString config = home + QStringLiteral("/.config");
        const QString runtime = m_root + QStringLiteral("/runtime");
        m_appDir = m_root + QStringLiteral("/app");
        if (!QDir().mkpath(config) || !QDir().mkpath(home + QStringLiteral("/.local/share")) ||
            !QDir().mkpath(runtime) || !QDir().mkpath(m_appDir))
            return;
        chmod(QFile::encodeName(config).constData(), 0777);
        chmod(QFile::encodeName(runtime).constData(), 0700);
        if (!copyTree(QStringLiteral(QXUPS_BIN_DIR "/configs"),
                      m_appDir + QStringLiteral("/configs")))
            return;
        setenv("HOME", QFile::encodeName(home).constData(), 1);
        setenv("XDG_CONFIG_HOME", QFile::encodeName(config).constData(), 1);
        setenv("XDG_DATA_HOME",
               QFile::encodeName(home + QStringLiteral("/.local/share")).constData(), 1);
        setenv("XDG_CACHE_HOME", QFile::encodeName(home + QStringLiteral("/.cache")).constData(),
               1);
        setenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime).constData(), 1);
        setenv("QXUPS_APPDIR", QFile::encodeName(m_appDir).constData(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        m_ok = true;
    }

    ~TestEnvironment() {
        if (!m_root.isEmpty()) QDir(m_root).removeRecursively();
    }

    bool ok() const { return m_ok; }
    QString root() const { return m_root; }
    QString appDir() const { return m_appDir; }

private:
    static bool copyTree(const QString& from, const QString& to) {
        if (!QDir().mkpath(to)) return false;
        QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString source = it.next();
            const QString target = to + source.mid(from.size());
            if (it.fileInfo().isDir() ? !QDir().mkpath(target) : !QFile::copy(source, target))
                return false;
        }
        return true;
    }

    bool m_ok = false;
    QString m_root;
    QString m_appDir;
};

}  // namespace apptest

// main() for an app test: the private world first, then the application object.
#define QXUPS_APP_TEST_MAIN(AppClass, TestObject)                      \
    int main(int argc, char** argv) {                                  \
        apptest::TestEnvironment environment;                          \
        if (!environment.ok()) qFatal("cannot set up the test world"); \
        AppClass app(argc, argv);                                      \
        TestObject tc;                                                 \
        return QTest::qExec(&tc, argc, argv);                          \
    }
