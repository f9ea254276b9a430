// The program's folders: settings per user when the program folder cannot be
// written, files and folders private whatever the umask, the single-instance
// lock kept private, and the settings store in the user's configuration.
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSettings>
#include <QtTest>

#include "app_test_env.h"
#include "appPaths.h"
#include "autoStart.h"
#include "comSettings.h"
#include "comSettingsFile.h"
#include "instanceLock.h"
#include "settingsStore.h"
#include "settings_test_support.h"

using namespace settingstest;

namespace {

// The permission bits of a file or folder, -1 when it does not exist.
int modeOf(const QString& path) {
    struct stat st;
    return lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

}  // namespace

class SettingsFoldersTest : public QObject, private WorkFolder {
    Q_OBJECT
private slots:
    void initTestCase() { makeWorkFolder(); }

    // A program folder that cannot be written sends the settings to the
    // per-user configuration folder; data is still read from the program's.
    void unwritableProgramFolderKeepsSettingsPerUser() {
        QCOMPARE(appPaths::settingsDir(), appPaths::dataDir());
        QCOMPARE(appPaths::readableFile(QStringLiteral("configs/config_product.xml")),
                 appPaths::dataDir() + QStringLiteral("/configs/config_product.xml"));

        const QString program = file(QStringLiteral("installed"));
        QVERIFY(QDir().mkpath(program + QStringLiteral("/configs")));
        QVERIFY(writeFile(program + QStringLiteral("/configs/config_product.xml"), "<P/>"));
        QCOMPARE(chmod(QFile::encodeName(program).constData(), 0555), 0);
        const QByteArray saved = qgetenv("QXUPS_APPDIR");
        qputenv("QXUPS_APPDIR", QFile::encodeName(program));
        const QString perUser =
            qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Tarvel/UPS");
        const bool passed = asUnprivileged([&] {
            const QString com = appPaths::settingsFile(QStringLiteral("configs/config_com.xml"));
            return appPaths::settingsDir() == perUser &&
                   appPaths::readableFile(QStringLiteral("configs/config_product.xml")) ==
                       program + QStringLiteral("/configs/config_product.xml") &&
                   appPaths::makeFolderFor(com) &&
                   comSettingsFile::saveConfig(comSettings(), com) &&
                   appPaths::readableFile(QStringLiteral("configs/config_com.xml")) == com;
        });
        qputenv("QXUPS_APPDIR", saved);
        chmod(QFile::encodeName(program).constData(), 0755);
        QVERIFY(passed);
    }

    // Whatever the umask, the files the program writes are the user's alone
    // (the autostart entry readable by all) and so are the folders it makes.
    void filesArePrivateWhateverTheUmask_data() {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<int>("fileMode");
        QTest::newRow("config_com.xml") << "config_com.xml" << 0600;
        QTest::newRow("nut_password") << "nut_password" << 0600;
        QTest::newRow("UPS.conf") << "UPS.conf" << 0600;
        QTest::newRow("select.ini") << "select.ini" << 0600;
        // A shared install's folder: a link planted at the name is not followed.
        QTest::newRow("config_com.xml over a planted link") << "config_com.xml link" << 0600;
        QTest::newRow("select.ini over a planted link") << "select.ini link" << 0600;
        QTest::newRow("autostart entry") << "autostart" << 0644;
    }

    void filesArePrivateWhateverTheUmask() {
        QFETCH(QString, writer);
        QFETCH(int, fileMode);
        const bool planted = writer.endsWith(QLatin1String(" link"));
        if (planted) writer.chop(5);
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        QString path;
        if (writer == QLatin1String("config_com.xml")) {
            path = file(QStringLiteral("umask/configs/config_com.xml"));
        } else if (writer == QLatin1String("nut_password")) {
            path =
                comSettingsFile::passwordFile(file(QStringLiteral("umask/configs/config_com.xml")));
        } else if (writer == QLatin1String("UPS.conf")) {
            path = config + QStringLiteral("/Tarvel/UPS.conf");
        } else if (writer == QLatin1String("select.ini")) {
            path = appPaths::settingsFile(QStringLiteral("help/select.ini"));
        } else {
            path = autoStart::entryFile();
        }
        const QString folder = QFileInfo(path).absolutePath();
        QVERIFY(!QFileInfo::exists(folder) || QDir(folder).removeRecursively());
        const QString victim = file(QStringLiteral("umask-victim"));
        if (planted) {
            QVERIFY(appPaths::makeFolder(folder) && writeFile(victim, "victim"));
            QCOMPARE(
                symlink(QFile::encodeName(victim).constData(), QFile::encodeName(path).constData()),
                0);
        }

        const mode_t saved = umask(0);
        bool written = true;
        comSettings withPassword;
        withPassword.nutPassword = QStringLiteral("s3cret");
        if (writer == QLatin1String("config_com.xml"))
            written =
                appPaths::makeFolderFor(path) && comSettingsFile::saveConfig(comSettings(), path);
        else if (writer == QLatin1String("nut_password"))
            written = appPaths::makeFolderFor(path) &&
                      comSettingsFile::savePassword(withPassword, path) &&
                      readFile(path) == QByteArray("s3cret\n");
        else if (writer == QLatin1String("UPS.conf"))
            settingsStore::setBatPath(QStringLiteral("/opt/on-loss.sh"));
        else if (writer == QLatin1String("select.ini"))
            settingsStore::setFileValue(path, QStringLiteral("/SELECTED/Language"), 1);
        else
            written = autoStart::registerProgram(QStringLiteral("/opt/QXUPSUtility"));
        umask(saved);

        QVERIFY(written);
        QCOMPARE(modeOf(path), fileMode);
        QCOMPARE(modeOf(folder), 0700);
        if (planted) QCOMPARE(readFile(victim), QByteArray("victim"));
    }

    // The single-instance lock is taken only in a folder that nobody but the
    // user can write, and only in a regular file of the user's with no other
    // link; otherwise the program runs without it and says so.
    void instanceLockStaysPrivate_data() {
        QTest::addColumn<QString>("runtime");  // private, shared, other's, unset
        QTest::addColumn<QString>("atName");   // what stands at the lock's name
        QTest::addColumn<QString>("lockIn");   // runtime, cache, none (unguarded)
        const auto row = [](const char* tag, const char* runtime, const char* atName,
                            const char* lockIn) {
            QTest::newRow(tag) << QString::fromLatin1(runtime) << QString::fromLatin1(atName)
                               << QString::fromLatin1(lockIn);
        };
        row("private runtime folder", "private", "", "runtime");
        row("stale lock file", "private", "own file", "runtime");
        row("runtime folder others can write", "shared", "", "cache");
        row("runtime folder of another user", "other's", "", "cache");
        row("no runtime folder", "unset", "", "cache");
        row("symlink at the name", "private", "symlink", "none");
        row("hard link at the name", "private", "hard link", "none");
        row("fifo at the name", "private", "fifo", "none");
        row("another user's file", "private", "other's file", "none");
        row("cache folder is a link", "unset", "cache link", "none");
    }

    void instanceLockStaysPrivate() {
        QFETCH(QString, runtime);
        QFETCH(QString, atName);
        QFETCH(QString, lockIn);
        const bool needsRoot =
            runtime == QLatin1String("other's") || atName == QLatin1String("other's file");
        if (needsRoot && geteuid() != 0) QSKIP("only root can make another user's files");

        const QString base = file(QStringLiteral("lock/") + QLatin1String(QTest::currentDataTag()));
        const QString runtimeDir = base + QStringLiteral("/runtime");
        const QString cacheDir = base + QStringLiteral("/cache");
        const QString victim = base + QStringLiteral("/victim");
        QVERIFY(QDir().mkpath(runtimeDir) && QDir().mkpath(cacheDir) &&
                writeFile(victim, "victim"));
        const QByteArray runtimeName = QFile::encodeName(runtimeDir);
        QCOMPARE(chmod(runtimeName.constData(), runtime == QLatin1String("shared") ? 0777 : 0700),
                 0);
        if (runtime == QLatin1String("other's"))
            QCOMPARE(chown(runtimeName.constData(), 65534, 65534), 0);
        const QString atPath = runtimeDir + QStringLiteral("/lock");
        const QByteArray at = QFile::encodeName(atPath);
        const QByteArray victimName = QFile::encodeName(victim);
        if (atName == QLatin1String("own file") || atName == QLatin1String("other's file")) {
            QVERIFY(writeFile(atPath, "stale"));
            if (atName == QLatin1String("other's file"))
                QCOMPARE(chown(at.constData(), 65534, 65534), 0);
        } else if (atName == QLatin1String("symlink")) {
            QCOMPARE(symlink(victimName.constData(), at.constData()), 0);
        } else if (atName == QLatin1String("hard link")) {
            QCOMPARE(link(victimName.constData(), at.constData()), 0);
        } else if (atName == QLatin1String("fifo")) {
            QCOMPARE(mkfifo(at.constData(), 0600), 0);
        } else if (atName == QLatin1String("cache link")) {
            QCOMPARE(
                symlink(QFile::encodeName(runtimeDir).constData(),
                        QFile::encodeName(cacheDir + QStringLiteral("/QXUPSUtility")).constData()),
                0);
        }

        const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        const QByteArray savedCache = qgetenv("XDG_CACHE_HOME");
        if (runtime == QLatin1String("unset"))
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", runtimeName);
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cacheDir));
        if (lockIn == QLatin1String("none"))
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(QStringLiteral("single-instance lock")));
        instanceLock lock(QStringLiteral("lock"));
        const instanceLock::Outcome outcome = lock.acquire();
        qputenv("XDG_RUNTIME_DIR", savedRuntime);
        qputenv("XDG_CACHE_HOME", savedCache);

        if (lockIn == QLatin1String("none")) {
            QCOMPARE(outcome, instanceLock::Unavailable);
            QVERIFY(!lock.held());
            QCOMPARE(readFile(victim), QByteArray("victim"));
            if (atName == QLatin1String("other's file"))
                QCOMPARE(readFile(atPath), QByteArray("stale"));
            return;
        }
        const QString folder = lockIn == QLatin1String("runtime")
                                   ? runtimeDir
                                   : cacheDir + QStringLiteral("/QXUPSUtility");
        QCOMPARE(outcome, instanceLock::Acquired);
        QCOMPARE(lock.path(), folder + QStringLiteral("/lock"));
        QCOMPARE(readFile(lock.path()), QByteArray::number(static_cast<qint64>(getpid())) + '\n');
        QCOMPARE(modeOf(folder), 0700);
    }

    void settingsStoreLivesInTheUsersConfiguration() {
        settingsStore::setBatPath(QStringLiteral("/opt/on loss.sh"));
        settingsStore::setBatExecutePolicy(2);
        settingsStore::setLanguage(QStringLiteral("de"));
        QCOMPARE(settingsStore::batPath(), QStringLiteral("/opt/on loss.sh"));
        QCOMPARE(settingsStore::batExecutePolicy(), 2);
        QSettings file(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Tarvel/UPS.conf"),
                       QSettings::IniFormat);
        QCOMPARE(file.value(QStringLiteral("REVOV_Azezed/batPath")).toString(),
                 QStringLiteral("/opt/on loss.sh"));
        QCOMPARE(file.value(QStringLiteral("Language/Language")).toString(), QStringLiteral("de"));
    }
};

QXUPS_APP_TEST_MAIN(QCoreApplication, SettingsFoldersTest)
#include "settings_folders_test.moc"
