#include "instanceLock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTimer>

#include "appPaths.h"
#include "consolePrint.h"

namespace {

// The per-user folder of the lock when the runtime folder cannot be used.
const char kCacheSubfolder[] = "QXUPSUtility";

// Owned by this user and writable by nobody else.
bool ownedAndClosed(const struct stat& st) {
    return st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// $XDG_RUNTIME_DIR when it is an absolute path to a folder of the user's that
// nobody else can write; empty otherwise.
QString runtimeFolder() {
    const QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!QDir::isAbsolutePath(dir)) return QString();
    struct stat st;
    if (stat(QFile::encodeName(dir).constData(), &st) != 0) return QString();
    return S_ISDIR(st.st_mode) && ownedAndClosed(st) ? dir : QString();
}

// The cache folder's subfolder for the lock, made 0700 when missing. It must
// be a folder of the user's, not a link to one; a looser mode is tightened.
// Empty when it cannot be used; *tried names it either way.
QString cacheFolder(QString* tried) {
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!QDir::isAbsolutePath(cache)) {
        const QString home = qEnvironmentVariable("HOME");
        if (!QDir::isAbsolutePath(home)) return QString();
        cache = home + QStringLiteral("/.cache");
    }
    const QString dir = cache + QLatin1Char('/') + QLatin1String(kCacheSubfolder);
    *tried = dir;
    if (!appPaths::makeFolder(dir)) return QString();
    const int fd =
        open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return QString();
    struct stat st;
    const bool safe = fstat(fd, &st) == 0 && st.st_uid == geteuid() &&
                      ((st.st_mode & 077) == 0 || fchmod(fd, 0700) == 0);
    close(fd);
    return safe ? dir : QString();
}

}  // namespace

instanceLock::instanceLock(const QString& name) {
    QString dir = runtimeFolder();
    if (dir.isEmpty()) dir = cacheFolder(&m_unsafeFolder);
    if (!dir.isEmpty()) m_path = dir + QLatin1Char('/') + name;
}

instanceLock::~instanceLock() {
    release();
}

instanceLock::Outcome instanceLock::acquire() {
    if (m_fd >= 0) return Acquired;
    if (m_path.isEmpty()) {
        logUnguarded(m_unsafeFolder.isEmpty() ? QStringLiteral("$HOME/.cache") : m_unsafeFolder);
        return Unavailable;
    }
    // Not through a link, and without blocking or taking a terminal should
    // something other than a file stand at the name.
    const QByteArray path = QFile::encodeName(m_path);
    const int fd = open(path.constData(),
                        O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK, 0600);
    if (fd < 0) {
        logUnguarded(m_path);
        return Unavailable;
    }
    // Only a regular file of the user's with no other name is written to.
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() || st.st_nlink != 1) {
        close(fd);
        logUnguarded(m_path);
        return Unavailable;
    }
    int rc;
    do {
        rc = flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const bool held = errno == EWOULDBLOCK;
        close(fd);
        if (held) return HeldElsewhere;
        logUnguarded(m_path);
        return Unavailable;
    }
    m_fd = fd;
    // The pid names the running instance; a short write leaves the lock itself intact.
    const QByteArray pid = QByteArray::number(static_cast<qint64>(getpid())) + '\n';
    if (ftruncate(fd, 0) == 0) {
        ssize_t written = write(fd, pid.constData(), static_cast<size_t>(pid.size()));
        (void)written;
    }
    return Acquired;
}

void instanceLock::release() {
    if (m_fd < 0) return;
    // Closing the only descriptor drops the flock.
    close(m_fd);
    m_fd = -1;
}

void instanceLock::logUnguarded(const QString& what) const {
    const QString text =
        QCoreApplication::translate("instanceLock",
                                    "WARN: The single-instance lock cannot be kept safely in %1; "
                                    "this instance runs without it")
            .arg(what);
    qWarning("%s", qPrintable(text));
    // The message page exists once the event loop runs.
    QTimer::singleShot(0, &consolePrint::instance(),
                       [text]() { consolePrint::instance().printMsg(text); });
}
