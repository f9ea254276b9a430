// The settings tests' helpers: files read and written, a check as an unprivileged user.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QtTest>
#include <functional>

#include "appPaths.h"

namespace settingstest {

inline bool writeFile(const QString& path, const QByteArray& contents) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(contents) == contents.size();
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Root ignores folder permissions: when we are root, the check runs in a child
// process as the unprivileged user "nobody". True when the check passed.
inline bool asUnprivileged(const std::function<bool()>& check) {
    if (geteuid() != 0) return check();
    const pid_t pid = fork();
    if (pid == 0) {
        if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) _exit(2);
        _exit(check() ? 0 : 1);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// A folder of its own in the program folder, made by initTestCase.
class WorkFolder {
protected:
    QString m_dir;

    QString file(const QString& name) { return m_dir + QLatin1Char('/') + name; }

    void makeWorkFolder() {
        m_dir = appPaths::dataDir() + QStringLiteral("/work");
        QVERIFY(QDir().mkpath(m_dir));
    }
};

}  // namespace settingstest
