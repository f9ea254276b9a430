#include "appPaths.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
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
    if (QFileInfo(data).isWritable()) return data;
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
    const int fd = open(QFile::encodeName(filePath).constData(),
                        O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
    if (fd < 0) return false;
    const bool done = fchmod(fd, 0600) == 0;
    close(fd);
    return done;
}

bool isSingleComponent(const QString& name) {
    return productTable::isSingleComponent(name);
}

}  // namespace appPaths
