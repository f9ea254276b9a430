// The device link's files (config_com.xml, config_product.xml): loaded, saved
// in order, a failed save that keeps the previous file; the port-name rule,
// and every XML reader's refusal of a deeply nested document. The program's
// folders, private files, lock and settings store are in
// settings_folders_test.cpp.
#include <sys/stat.h>

#include <QCoreApplication>
#include <QtTest>

#include "LanguageCheck.h"
#include "app_test_env.h"
#include "app_test_sim.h"
#include "appPaths.h"
#include "comSettings.h"
#include "comSettingsFile.h"
#include "consolePrint.h"
#include "settings_test_support.h"
#include "upsDataModel.h"

using namespace settingstest;

namespace {

// The record's fields in declaration order, "|"-separated.
QString summary(const comSettings& s) {
    return QStringList{s.comPort,
                       QString::number(s.portNumber),
                       QString::number(s.slaveId),
                       QString::number(s.baudRate),
                       QString::number(s.comMode),
                       QString::number(s.dataLen),
                       QString::number(s.stopBits),
                       QString::number(s.parity),
                       QString::number(s.responseTimeout),
                       QString::number(s.numOfRetries),
                       QString::number(s.pollDelay),
                       QString::number(s.autoBoot),
                       QString::number(s.autoConnect),
                       QString::number(s.autoHide),
                       s.nutHost,
                       QString::number(s.nutPort),
                       s.nutUps,
                       s.nutUser,
                       QString::number(s.nutPollCycle)}
        .join(QLatin1Char('|'));
}

const char kDefaults[] = "COM1|1|1|115200|0|8|1|0|1000|3|10|0|0|0|localhost|3493|||2000";

// Collects the console's messages while it lives.
struct MessageLog {
    MessageLog() {
        connection = QObject::connect(&consolePrint::instance(), &consolePrint::signalShowMsg,
                                      [this](const QString& msg) { lines << msg; });
    }
    ~MessageLog() { QObject::disconnect(connection); }
    QStringList lines;
    QMetaObject::Connection connection;
};

}  // namespace

class SettingsTest : public QObject, private WorkFolder {
    Q_OBJECT
private slots:
    void initTestCase() { makeWorkFolder(); }

    void loadConfig_data() {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("expected");
        auto setting = [](const QByteArray& body) {
            return QByteArray("<?xml version=\"1.0\"?><Settings><Setting>") + body +
                   QByteArray("</Setting></Settings>");
        };
        QTest::newRow("no file") << QByteArray() << kDefaults;
        QTest::newRow("malformed")
            << QByteArray("<Settings><Setting><BaudRate>9600</Setting>") << kDefaults;
        QTest::newRow("text as number")
            << setting("<BaudRate>abc</BaudRate>")
            << "COM1|1|1|0|0|8|1|0|1000|3|10|0|0|0|localhost|3493|||2000";
        QTest::newRow("flag not 0 is true")
            << setting("<AutoHide>2</AutoHide>")
            << "COM1|1|1|115200|0|8|1|0|1000|3|10|0|0|1|localhost|3493|||2000";
        QTest::newRow("truncated to width")
            << setting("<SlaveId>65537</SlaveId><ComMode>257</ComMode><Foo>7</Foo>")
            << "COM1|1|1|115200|1|8|1|0|1000|3|10|0|0|0|localhost|3493|||2000";
        QTest::newRow("all fields")
            << setting(
                   "<ComMode>0</ComMode><SlaveId>7</SlaveId><ComPort>COM12</ComPort>"
                   "<BaudRate>9600</BaudRate><DataLen>7</DataLen><StopBits>2</StopBits>"
                   "<Parity>2</Parity><ResponseTimeout>250</ResponseTimeout>"
                   "<NumOfRetries>5</NumOfRetries><PollDelay>40</PollDelay>"
                   "<AutoBoot>1</AutoBoot><AutoConnect>1</AutoConnect><AutoHide>0</AutoHide>")
            << "COM12|1|7|9600|0|7|2|2|250|5|40|1|1|0|localhost|3493|||2000";
        QTest::newRow("last Setting wins")
            << QByteArray(
                   "<Settings><Setting><SlaveId>5</SlaveId><BaudRate>9600</BaudRate>"
                   "</Setting><Other><SlaveId>9</SlaveId></Other>"
                   "<Setting><SlaveId>6</SlaveId><SlaveId>8</SlaveId></Setting></Settings>")
            << "COM1|1|8|9600|0|8|1|0|1000|3|10|0|0|0|localhost|3493|||2000";
        // "all fields" is a file of the serial line only, as every file was
        // before upsd could be watched: the upsd fields keep their defaults.
        QTest::newRow("upsd fields")
            << setting(
                   "<ComMode>2</ComMode><NutHost>server1</NutHost><NutPort>3494</NutPort>"
                   "<NutUps>qx</NutUps><NutUser>admin</NutUser><NutPollCycle>5000</NutPollCycle>")
            << "COM1|1|1|115200|2|8|1|0|1000|3|10|0|0|0|server1|3494|qx|admin|5000";
    }

    void loadConfig() {
        QFETCH(QByteArray, xml);
        QFETCH(QString, expected);
        const QString path = file(QStringLiteral("config_com.xml"));
        QFile::remove(path);
        if (!xml.isEmpty()) QVERIFY(writeFile(path, xml));
        comSettings settings;
        comSettingsFile::loadConfig(settings, path);
        QCOMPARE(summary(settings), expected);
    }

    void saveWritesEveryElementInOrder() {
        comSettings settings;
        settings.comPort = QStringLiteral("COM 7<&>");
        settings.slaveId = 300;
        settings.baudRate = 4000000000u;
        settings.parity = 1;
        settings.pollDelay = 20;
        settings.autoConnect = true;
        settings.nutUps = QStringLiteral("qx");
        settings.nutPassword = QStringLiteral("s3cret");  // kept apart: not in the file
        const QString path = file(QStringLiteral("saved.xml"));
        QVERIFY(comSettingsFile::saveConfig(settings, path));
        QCOMPARE(QString::fromUtf8(readFile(path)),
                 QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<Settings>\n"
                                "    <Setting>\n"
                                "        <ComMode>0</ComMode>\n"
                                "        <SlaveId>300</SlaveId>\n"
                                "        <ComPort>COM 7&lt;&amp;></ComPort>\n"
                                "        <BaudRate>4000000000</BaudRate>\n"
                                "        <DataLen>8</DataLen>\n"
                                "        <StopBits>1</StopBits>\n"
                                "        <Parity>1</Parity>\n"
                                "        <ResponseTimeout>1000</ResponseTimeout>\n"
                                "        <NumOfRetries>3</NumOfRetries>\n"
                                "        <PollDelay>20</PollDelay>\n"
                                "        <AutoBoot>0</AutoBoot>\n"
                                "        <AutoConnect>1</AutoConnect>\n"
                                "        <AutoHide>0</AutoHide>\n"
                                "        <NutHost>localhost</NutHost>\n"
                                "        <NutPort>3493</NutPort>\n"
                                "        <NutUps>qx</NutUps>\n"
                                "        <NutUser></NutUser>\n"
                                "        <NutPollCycle>2000</NutPollCycle>\n"
                                "    </Setting>\n"
                                "</Settings>\n"));
        comSettings loaded;
        comSettingsFile::loadConfig(loaded, path);
        QCOMPARE(summary(loaded), summary(settings));
    }

    // A save into a folder that cannot be written keeps the previous file and
    // says which file it could not write. The file itself is writable for the
    // user who tries, so that only the folder stands in the way: a save in
    // place would pass. A good save replaces the file (a new inode).
    void failedSaveKeepsThePreviousFileAndSaysSo() {
        const QString folder = file(QStringLiteral("readonly"));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/config_com.xml");
        comSettings previous;
        previous.slaveId = 9;
        QVERIFY(comSettingsFile::saveConfig(previous, path));
        const QByteArray before = readFile(path);
        QCOMPARE(chmod(QFile::encodeName(path).constData(), 0666), 0);
        QCOMPARE(chmod(QFile::encodeName(folder).constData(), 0555), 0);

        const bool passed = asUnprivileged([&] {
            MessageLog log;
            comSettings changed;
            changed.slaveId = 10;
            return !comSettingsFile::saveConfig(changed, path) && log.lines.size() == 1 &&
                   log.lines[0].contains(path) && readFile(path) == before;
        });
        chmod(QFile::encodeName(folder).constData(), 0755);
        QVERIFY(passed);

        struct stat old, replaced;
        QCOMPARE(stat(QFile::encodeName(path).constData(), &old), 0);
        QVERIFY(comSettingsFile::saveConfig(comSettings(), path));
        QCOMPARE(stat(QFile::encodeName(path).constData(), &replaced), 0);
        QVERIFY(replaced.st_ino != old.st_ino);
        QVERIFY(readFile(path) != before);
    }

    void portNumberFromName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("number");
        QTest::newRow("COM3") << "COM3" << 3;
        QTest::newRow("COM10") << "COM10" << 10;
        QTest::newRow("COM0") << "COM0" << 0;
        QTest::newRow("COM01") << "COM01" << -1;
        QTest::newRow("COM1.2") << "COM1.2" << -1;
        QTest::newRow("COM") << "COM" << -1;
        QTest::newRow("empty") << "" << -1;
    }

    void portNumberFromName() {
        QFETCH(QString, name);
        QFETCH(int, number);
        QCOMPARE(comSettingsFile::portNumberFromName(name), number);
        // What the page stores: -1 becomes 65535 in 16 bits.
        if (number == -1)
            QCOMPARE(static_cast<quint16>(comSettingsFile::portNumberFromName(name)),
                     quint16(65535));
    }

    void loadProductTitle_data() {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<int>("deviceType");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("title");
        auto items = [](const QByteArray& body) {
            return QByteArray("<Products><Config><Value>5</Value></Config><Items>") + body +
                   QByteArray("</Items></Products>");
        };
        QTest::newRow("missing") << QByteArray() << 301 << -1 << "old";
        QTest::newRow("malformed") << QByteArray("<Products><Items>") << 301 << -2 << "old";
        QTest::newRow("no match keeps the title")
            << items("<Item><DeviceType>A</DeviceType><Value>302</Value></Item>") << 301 << 0
            << "old";
        QTest::newRow("first of equal codes")
            << items(
                   "<Item><DeviceType>A</DeviceType><Value>301</Value></Item>"
                   "<Item><DeviceType>B</DeviceType><Value>301</Value></Item>")
            << 301 << 0 << "A";
        QTest::newRow("Value before DeviceType")
            << items(
                   "<Item><Value>302</Value><DeviceType>A</DeviceType></Item>"
                   "<Item><Value>301</Value><DeviceType>B</DeviceType></Item>")
            << 301 << 0 << "B";
        QTest::newRow("no Value never matches")
            << items(
                   "<Item><DeviceType>A</DeviceType></Item>"
                   "<Item><DeviceType>B</DeviceType><Value/></Item>")
            << 0 << 0 << "B";
        QTest::newRow("type 0 and a word")
            << items("<Item><DeviceType>C</DeviceType><Value>x1</Value></Item>") << 0 << 0 << "C";
        QTest::newRow("shipped file") << QByteArray("shipped") << 302 << 0 << "DCU-2410";
        // The title names folders: one that is no single path component is
        // refused (logged), as no match.
        for (const char* title : {"../../etc", "a/b", "a\\b", "..", ""})
            QTest::newRow(qPrintable(QStringLiteral("refused title \"%1\"").arg(title)))
                << items(QByteArray("<Item><DeviceType>") + title +
                         "</DeviceType><Value>301</Value></Item>")
                << 301 << 0 << "refused";
    }

    void loadProductTitle() {
        QFETCH(QByteArray, xml);
        QFETCH(int, deviceType);
        QFETCH(int, result);
        QFETCH(QString, title);
        QString path = file(QStringLiteral("config_product.xml"));
        QFile::remove(path);
        if (xml == "shipped")
            path = appPaths::readableFile(QStringLiteral("configs/config_product.xml"));
        else if (!xml.isEmpty())
            QVERIFY(writeFile(path, xml));

        MessageLog log;
        QString productTitle = QStringLiteral("old");
        bool matched = true;
        QCOMPARE(comSettingsFile::loadProductTitle(path, static_cast<quint16>(deviceType),
                                                   productTitle, &matched),
                 result);
        if (title == QLatin1String("refused")) {
            QCOMPARE(productTitle, QStringLiteral("old"));
            QVERIFY(!matched);
            QCOMPARE(log.lines.size(), 1);
            QVERIFY2(log.lines[0].contains(path), qPrintable(log.lines[0]));
            return;
        }
        QCOMPARE(productTitle, title);
        QCOMPARE(matched, title != QLatin1String("old"));
        QCOMPARE(log.lines,
                 matched ? QStringList{QStringLiteral("Product: ") + title} : QStringList());
    }

    // Every XML reader, the simulator's too, refuses a document nested far
    // deeper than a recursive parser's stack allows, as a malformed one: the
    // defaults stay and the file is left as it is.
    void deepDocumentIsRefused_data() {
        QTest::addColumn<QString>("reader");
        for (const char* reader : {"config_com.xml", "config_product.xml", "config_Language.xml",
                                   "config_registers.xml", "upssim --registers"})
            QTest::newRow(reader) << QString::fromLatin1(reader);
    }

    void deepDocumentIsRefused() {
        QFETCH(QString, reader);
        const QByteArray deep = QByteArray("<Root><Items><Item>") +
                                QByteArray("<a>").repeated(40000) +
                                QByteArray("</a>").repeated(40000) + "</Item></Items></Root>";
        QString path = file(QStringLiteral("deep.xml"));
        if (reader == QLatin1String("config_registers.xml"))
            path = appPaths::dataFile(QStringLiteral("iconfigs/DEEP/config_registers.xml"));
        QVERIFY(appPaths::makeFolderFor(path) && writeFile(path, deep));

        if (reader == QLatin1String("config_com.xml")) {
            comSettings settings;
            comSettingsFile::loadConfig(settings, path);
            QCOMPARE(summary(settings), QString::fromLatin1(kDefaults));
        } else if (reader == QLatin1String("config_product.xml")) {
            QString title = QStringLiteral("old");
            QCOMPARE(comSettingsFile::loadProductTitle(path, 0, title), -2);
            QCOMPARE(title, QStringLiteral("old"));
        } else if (reader == QLatin1String("config_Language.xml")) {
            QFile list(path);
            QVERIFY(list.open(QIODevice::ReadOnly));
            QStringList names, abbreviations, files;
            QVERIFY(!LanguageCheck::parseLanguageList(&list, names, abbreviations, files));
            QVERIFY(names.isEmpty() && abbreviations.isEmpty() && files.isEmpty());
        } else if (reader == QLatin1String("config_registers.xml")) {
            upsDataModel model;
            QCOMPARE(model.loadDeviceRegisters(QStringLiteral("DEEP")), 0);
            QCOMPARE(model.loadRegisterFile(), -2);
            QCOMPARE(model.rowCount(), 0);
        } else {
            // The simulator reports the file and serves its default registers.
            apptest::SimulatedModule module;
            QVERIFY(module.start(m_dir, {"--registers", path.toStdString()}));
            QCOMPARE(module.command("get 0"), QStringLiteral("value 301"));
        }
        QVERIFY(readFile(path) == deep);
    }
};

QXUPS_APP_TEST_MAIN(QCoreApplication, SettingsTest)
#include "settings_test.moc"
