#include "appPaths.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "productTable.h"

namespace appPaths {

QString dataDir() {
    const QString overridden = qEnvironmentVariable("QXUPS_APPDIR");
    QString dir = overridden.isEmpty() ? QCoreApplication::applicationDirPath() : overridden;
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    return dir;
}

QString settingsDir() {
    const QString data = dataDir();
    // An installed tree carries a marker and is never written, not even by
    // root (who may write there): the package manager owns its files, and a
    // user's settings kept there would be lost on removal or shared by all.
    if (QFileInfo(data).isWritable() && !QFileInfo::exists(data + QStringLiteral("/INSTALLED")))
        return data;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Tarvel/UPS");
}

QString dataFile(const QString& relativePath) {
    return dataDir() + QLatin1Char('/') + relativePath;
}

QString settingsFile(const QString& relativePath) {
    return settingsDir() + QLatin1Char('/') + relativePath;
}

QString readableFile(const QString& relativePath) {
    const QString written = settingsFile(relativePath);
    if (QFileInfo::exists(written)) return written;
    return dataFile(relativePath);
}

bool makeFolder(const QString& path) {
    const QString absolute = QDir::cleanPath(QDir(path).absolutePath());
    if (QFileInfo(absolute).isDir()) return true;
    // The parents first, then this one: mkdir's mode is cut by the umask, so
    // the folder is given its mode explicitly once it exists.
    const QString parent = QFileInfo(absolute).path();
    if (parent != absolute && !makeFolder(parent)) return false;
    const QByteArray name = QFile::encodeName(absolute);
    if (mkdir(name.constData(), 0700) != 0) return errno == EEXIST && QFileInfo(absolute).isDir();
    return chmod(name.constData(), 0700) == 0;
}

bool makeFolderFor(const QString& filePath) {
    return makeFolder(QFileInfo(filePath).absolutePath());
}

bool keepPrivate(const QString& filePath) {
    const QByteArray name = QFile::encodeName(filePath);
    const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int fd = open(name.constData(), flags, 0600);
    if (fd < 0 && errno == ELOOP) {
        // A link at the name is none of ours (someone who can write the
        // folder planted it): it goes, and a file of our own takes its place,
        // so that neither this call nor the writer after it reaches its target.
        if (unlink(name.constData()) != 0) return false;
        fd = open(name.constData(), flags | O_EXCL, 0600);
    }
    if (fd < 0) return false;
    // Only a plain file of ours with no other name: a hard link planted there
    // would hand our mode change (and what we write) to someone else's file.
    struct stat st;
    const bool ours =
        fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == geteuid();
    const bool done = ours && fchmod(fd, 0600) == 0;
    close(fd);
    return done;
}

bool removeLink(const QString& filePath) {
    const QByteArray name = QFile::encodeName(filePath);
    struct stat st;
    if (lstat(name.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    return unlink(name.constData()) == 0;
}

bool writePrivate(const QString& filePath, const QByteArray& data) {
    // A new file of our own beside the target (mkostemp: O_EXCL, 0600), then
    // renamed over the name: a link planted there is replaced, never followed.
    QByteArray temp = QFile::encodeName(filePath) + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool done = fchmod(fd, 0600) == 0;
    for (qint64 at = 0; done && at < data.size();) {
        const ssize_t n = write(fd, data.constData() + at, size_t(data.size() - at));
        if (n < 0 && errno == EINTR) continue;
        done = n > 0;
        if (done) at += n;
    }
    done = close(fd) == 0 && done;
    done = done && rename(temp.constData(), QFile::encodeName(filePath).constData()) == 0;
    if (!done) unlink(temp.constData());
    return done;
}

bool isSingleComponent(const QString& name) {
    return productTable::isSingleComponent(name);
}

}  // namespace appPaths
