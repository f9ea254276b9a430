#include "appPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

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

bool makeFolderFor(const QString& filePath) {
    return QDir().mkpath(QFileInfo(filePath).absolutePath());
}

}  // namespace appPaths
