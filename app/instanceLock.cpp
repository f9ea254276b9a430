#include "instanceLock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

instanceLock::instanceLock(const QString& name) {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    m_path = dir + QLatin1Char('/') + name;
}

instanceLock::~instanceLock() {
    release();
}

instanceLock::Outcome instanceLock::acquire() {
    if (m_fd >= 0) return Acquired;
    const QByteArray path = QFile::encodeName(m_path);
    const int fd = open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return Unavailable;
    int rc;
    do {
        rc = flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const bool held = errno == EWOULDBLOCK;
        close(fd);
        return held ? HeldElsewhere : Unavailable;
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
