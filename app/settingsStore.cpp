// The settings store: QSettings access and each stored key with its default and range.
#include "settingsStore.h"

#include "QXUPSBattery.h"

#include <QSettings>

#include "appPaths.h"

namespace settingsStore {

const char* const kGroupPostProcess = "REVOV_Azezed";
const char* const kGroupLanguage = "Language";
const char* const kGroupWindow = "Window";

namespace {

const char kOrganisation[] = "Tarvel";
const char kApplication[] = "UPS";

}  // namespace

QVariant value(const char* group, const QString& key, const QVariant& defaultValue) {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope,
                    QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication));
    store.beginGroup(QString::fromLatin1(group));
    return store.value(key, defaultValue);
}

void setValue(const char* group, const QString& key, const QVariant& value) {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope,
                    QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication));
    // The store holds the script that runs on power loss: its folder and file
    // are the user's alone whatever the umask (QSettings follows the umask).
    appPaths::makeFolderFor(store.fileName());
    appPaths::keepPrivate(store.fileName());
    store.beginGroup(QString::fromLatin1(group));
    store.setValue(key, value);
    store.endGroup();
    store.sync();
    appPaths::keepPrivate(store.fileName());
}

void setFileValue(const QString& fileName, const QString& key, const QVariant& value) {
    appPaths::makeFolderFor(fileName);
    appPaths::keepPrivate(fileName);
    QSettings file(fileName, QSettings::IniFormat);
    file.setValue(key, value);
    file.sync();
    appPaths::keepPrivate(fileName);
}

QString batPath() {
    return value(kGroupPostProcess, QStringLiteral("batPath"), QString()).toString();
}

void setBatPath(const QString& path) {
    setValue(kGroupPostProcess, QStringLiteral("batPath"), path);
}

int batExecutePolicy() {
    return value(kGroupPostProcess, QStringLiteral("batExecutePolicy"), 0).toInt();
}

void setBatExecutePolicy(int policy) {
    setValue(kGroupPostProcess, QStringLiteral("batExecutePolicy"), policy);
}

namespace {

int percent(const char* key, int fallback) {
    bool ok = false;
    const int stored = value(kGroupPostProcess, QLatin1String(key), fallback).toInt(&ok);
    return ok && stored >= 0 && stored <= 100 ? stored : fallback;
}

}  // namespace

int warnLevel() {
    return percent("warnLevel", kQXUPS_DefaultWarnLevel);
}

void setWarnLevel(int percent) {
    setValue(kGroupPostProcess, QStringLiteral("warnLevel"), percent);
}

int criticalLevel() {
    return percent("criticalLevel", kQXUPS_DefaultCriticalLevel);
}

void setCriticalLevel(int percent) {
    setValue(kGroupPostProcess, QStringLiteral("criticalLevel"), percent);
}

bool criticalRunsScript() {
    return value(kGroupPostProcess, QStringLiteral("criticalRunsScript"), false).toBool();
}

void setCriticalRunsScript(bool run) {
    setValue(kGroupPostProcess, QStringLiteral("criticalRunsScript"), run);
}

namespace {

int bounded(const char* key, int top) {
    bool ok = false;
    const int stored = value(kGroupPostProcess, QLatin1String(key), 0).toInt(&ok);
    return ok && stored >= 0 && stored <= top ? stored : 0;
}

}  // namespace

int rideThroughS() {
    return bounded("rideThroughS", 3600);
}

void setRideThroughS(int seconds) {
    setValue(kGroupPostProcess, QStringLiteral("rideThroughS"), seconds);
}

int runtimeLevelMin() {
    return bounded("runtimeLevelMin", 1440);
}

void setRuntimeLevelMin(int minutes) {
    setValue(kGroupPostProcess, QStringLiteral("runtimeLevelMin"), minutes);
}

int historyDays() {
    bool ok = false;
    const int days = value(kGroupPostProcess, QStringLiteral("historyDays"), 30).toInt(&ok);
    return ok && days >= 1 && days <= 3650 ? days : 30;
}

void setHistoryDays(int days) {
    setValue(kGroupPostProcess, QStringLiteral("historyDays"), days);
}

QString language() {
    return value(kGroupLanguage, QStringLiteral("Language"), QString()).toString();
}

void setLanguage(const QString& language) {
    setValue(kGroupLanguage, QStringLiteral("Language"), language);
}

uint languageIndex(bool* stored) {
    const QVariant index = value(kGroupLanguage, QStringLiteral("Language"));
    if (stored != nullptr) *stored = index.isValid();
    return index.toUInt();
}

void setLanguageIndex(uint index) {
    setValue(kGroupLanguage, QStringLiteral("Language"), index);
}

}  // namespace settingsStore
