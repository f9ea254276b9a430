// The communication settings page: loading without re-saving, one edit saving
// the whole record, the enabling rules and the one automatic connect against
// the simulator, and the log-on start entry.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDomDocument>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QtTest>

#include "app_test_env.h"
#include "app_test_sim.h"
#include "appPaths.h"
#include "autoStart.h"
#include "comAdapter.h"
#include "comSettings.h"
#include "comSettingsWidget.h"
#include "monitorThread.h"

namespace {

QString comFile() {
    return appPaths::settingsFile(QStringLiteral("configs/config_com.xml"));
}

bool writeFile(const QString& path, const QByteArray& contents) {
    QFile file(path);
    return appPaths::makeFolderFor(path) && file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(contents) == contents.size();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A config_com.xml on one line, so that a re-save by the page would show.
QByteArray settingsXml(const QByteArray& fields) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Settings><Setting>" + fields +
           "</Setting></Settings>";
}

// The elements of a saved config_com.xml as "Name=text", in file order.
QStringList savedElements() {
    QDomDocument document;
    if (!document.setContent(readFile(comFile()))) return {QStringLiteral("<unparsable>")};
    QStringList elements;
    const QDomElement setting = document.documentElement().firstChildElement();
    for (QDomElement e = setting.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        elements << e.tagName() + QLatin1Char('=') + e.text();
    return elements;
}

// The Exec line of the autostart entry.
QString execLine() {
    for (const QByteArray& line : readFile(autoStart::entryFile()).split('\n'))
        if (line.startsWith("Exec=")) return QString::fromUtf8(line);
    return QString();
}

template <typename T>
T* control(const comSettingsWidget& page, const char* name) {
    T* widget = page.findChild<T*>(QLatin1String(name));
    if (widget == nullptr) qFatal("no control %s", name);
    return widget;
}

const char* const kParameterControls[] = {
    "m_cmbComMode",    "m_cmbComPort",          "m_cmbBaudRate",     "m_cmbDataLen",
    "m_cmbParity",     "m_cmbStopBits",         "m_spinDeviceId",    "m_spinRetryCount",
    "m_spinPollCycle", "m_spinResponseTimeout", "m_editNutHost",     "m_spinNutPort",
    "m_cmbNutUps",     "m_editNutUser",         "m_editNutPassword", "m_spinNutPollCycle"};

// The page's state as the enabling rules show it: Connect, Disconnect, the
// parameter controls (all alike or "mixed"), and the three check boxes.
QString enabledState(const comSettingsWidget& page) {
    int enabled = 0;
    for (const char* name : kParameterControls)
        enabled += control<QWidget>(page, name)->isEnabled() ? 1 : 0;
    const int all = int(sizeof kParameterControls / sizeof kParameterControls[0]);
    const QString parameters = enabled == all ? QStringLiteral("params on")
                               : enabled == 0 ? QStringLiteral("params off")
                                              : QStringLiteral("params mixed");
    const bool checks = control<QCheckBox>(page, "m_chkAutoConnect")->isEnabled() &&
                        control<QCheckBox>(page, "m_chkAutoBoot")->isEnabled() &&
                        control<QCheckBox>(page, "m_chkAutoHide")->isEnabled();
    return QStringList{
        control<QPushButton>(page, "m_btnConnect")->isEnabled() ? QStringLiteral("connect on")
                                                                : QStringLiteral("connect off"),
        control<QPushButton>(page, "m_btnDisconnect")->isEnabled()
            ? QStringLiteral("disconnect on")
            : QStringLiteral("disconnect off"),
        parameters, checks ? QStringLiteral("checks on") : QStringLiteral("checks off")}
        .join(QStringLiteral(", "));
}

}  // namespace

class SettingsPageTest : public QObject {
    Q_OBJECT
private:
    apptest::SimulatedModule m_module;

private slots:
    void initTestCase() {
        // Also sets QXUPS_COM201, which the page lists as "COM201".
        QVERIFY(m_module.start(QString::fromLocal8Bit(qgetenv("QXUPS_APPDIR"))));
    }

    void cleanup() {
        if (comAdapter::instance().isConnected()) comAdapter::instance().slotCloseDevice();
        QFile::remove(comFile());
        autoStart::unregisterProgram();
    }

    void controlsLoadedFromTheFileWithoutResaving() {
        const QByteArray stored = settingsXml(
            "<ComMode>0</ComMode><SlaveId>5</SlaveId><ComPort>COM201</ComPort>"
            "<BaudRate>9600</BaudRate><DataLen>8</DataLen><StopBits>2</StopBits>"
            "<Parity>2</Parity><ResponseTimeout>700</ResponseTimeout>"
            "<NumOfRetries>7</NumOfRetries><PollDelay>15</PollDelay><AutoBoot>0</AutoBoot>"
            "<AutoConnect>0</AutoConnect><AutoHide>1</AutoHide>");
        QVERIFY(writeFile(comFile(), stored));

        comSettingsWidget page;
        QCOMPARE(page.objectName(), QStringLiteral("comSettingsWidget"));
        QComboBox* port = control<QComboBox>(page, "m_cmbComPort");
        QCOMPARE(port->currentText(), QStringLiteral("COM201"));
        QCOMPARE(port->itemData(port->currentIndex(), Qt::ToolTipRole).toString(),
                 QString::fromLocal8Bit(qgetenv("QXUPS_COM201")));
        QCOMPARE(control<QSpinBox>(page, "m_spinDeviceId")->value(), 5);
        QCOMPARE(control<QComboBox>(page, "m_cmbBaudRate")->currentText(), QStringLiteral("9600"));
        QCOMPARE(control<QComboBox>(page, "m_cmbStopBits")->currentText(), QStringLiteral("2"));
        QCOMPARE(control<QComboBox>(page, "m_cmbParity")->currentText(), QStringLiteral("Odd"));
        QCOMPARE(control<QSpinBox>(page, "m_spinResponseTimeout")->value(), 700);
        QCOMPARE(control<QSpinBox>(page, "m_spinRetryCount")->value(), 7);
        QVERIFY(control<QCheckBox>(page, "m_chkAutoHide")->isChecked());
        // The box clamps to its minimum, and the cycle polled is the one shown.
        QCOMPARE(control<QSpinBox>(page, "m_spinPollCycle")->value(), 20);
        QCOMPARE(page.settings()->pollDelay, 20u);
        QCOMPARE(page.settings()->portNumber, apptest::kSimPort);

        QTest::qWait(350);  // a few refresh ticks
        QCOMPARE(readFile(comFile()), stored);
        QVERIFY(!QFileInfo::exists(autoStart::entryFile()));
    }

    // Whatever the file holds, the cycle the status page polls at is the one
    // the page shows.
    void pollCycleIsTheOneShown_data() {
        QTest::addColumn<QByteArray>("element");
        QTest::addColumn<int>("cycle");
        QTest::newRow("zero") << QByteArray("<PollDelay>0</PollDelay>") << 20;
        QTest::newRow("not a number") << QByteArray("<PollDelay>fast</PollDelay>") << 20;
        QTest::newRow("overflowing")
            << QByteArray("<PollDelay>99999999999999999999</PollDelay>") << 20;
        QTest::newRow("missing") << QByteArray() << 20;
        QTest::newRow("above the range") << QByteArray("<PollDelay>20000</PollDelay>") << 10000;
        QTest::newRow("in range") << QByteArray("<PollDelay>500</PollDelay>") << 500;
    }

    void pollCycleIsTheOneShown() {
        QFETCH(QByteArray, element);
        QFETCH(int, cycle);
        QVERIFY(writeFile(comFile(), settingsXml("<ComPort>COM201</ComPort>" + element)));
        comSettingsWidget page;
        QCOMPARE(control<QSpinBox>(page, "m_spinPollCycle")->value(), cycle);
        QCOMPARE(page.settings()->pollDelay, quint32(cycle));
    }

    void oneEditSavesTheWholeRecord() {
        // A mode the box does not list leaves it without an item: saved as 255.
        QVERIFY(writeFile(comFile(), settingsXml("<ComMode>3</ComMode><ComPort>COM201</ComPort>"
                                                 "<BaudRate>57600</BaudRate>")));
        comSettingsWidget page;
        QSignalSpy pollCycle(&page, &comSettingsWidget::signalPollCycleChanged);

        control<QComboBox>(page, "m_cmbParity")->setCurrentText(QStringLiteral("Even"));

        QCOMPARE(pollCycle.count(), 1);
        QCOMPARE(pollCycle.at(0).at(0).toUInt(), 20u);
        QCOMPARE(savedElements(),
                 QStringList({"ComMode=255", "SlaveId=1", "ComPort=COM201", "BaudRate=57600",
                              "DataLen=8", "StopBits=1", "Parity=1", "ResponseTimeout=1000",
                              "NumOfRetries=3", "PollDelay=20", "AutoBoot=0", "AutoConnect=0",
                              "AutoHide=0", "NutHost=localhost", "NutPort=3493",
                              "NutUps=", "NutUser=", "NutPollCycle=2000"}));
    }

    void connectsOnceByItselfAndFollowsTheConnection() {
        QVERIFY(writeFile(comFile(), settingsXml("<ComPort>COM201</ComPort><ResponseTimeout>300</"
                                                 "ResponseTimeout><PollDelay>50</PollDelay>"
                                                 "<AutoConnect>1</AutoConnect>")));
        comSettingsWidget page;
        QStringList order;
        // Connected ahead of the worker: its close runs on its own thread and
        // could otherwise win the race against this check.
        connect(&page, &comSettingsWidget::signalDisconnect, [&]() {
            // The pages hear of it while the device is still open.
            order << (comAdapter::instance().isConnected() ? QStringLiteral("disconnect open")
                                                           : QStringLiteral("disconnect closed"));
        });
        // The window's wiring to the device worker.
        monitorThread worker;
        connect(&page, &comSettingsWidget::signalConnect, &worker,
                [&](comSettings& settings) { worker.requestOpen(settings); });
        connect(&page, &comSettingsWidget::signalDisconnect, &worker,
                [&]() { worker.requestClose(); });
        connect(&worker, &monitorThread::signalOpened, &page,
                &comSettingsWidget::slotOnDeviceOpened);
        connect(&worker, &monitorThread::signalStateChanged, &page,
                &comSettingsWidget::slotOnLinkState);
        connect(&page, &comSettingsWidget::signalSetTitle,
                [&](const QString& title) { order << QStringLiteral("title ") + title; });
        connect(&page, &comSettingsWidget::signalPollCycleChanged,
                [&](uint cycle) { order << QStringLiteral("cycle %1").arg(cycle); });
        connect(&page, &comSettingsWidget::signalConnect, [&](comSettings& settings) {
            QCOMPARE(&settings, page.settings());
            order << QStringLiteral("connect");
        });

        QTRY_VERIFY_WITH_TIMEOUT(order.contains(QStringLiteral("cycle 50")), 10000);
        QCOMPARE(order, QStringList({"connect", "title DCU-1205", "cycle 50"}));
        QCOMPARE(page.deviceType(), quint16(301));
        QTRY_COMPARE(enabledState(page),
                     QStringLiteral("connect off, disconnect on, params off, checks on"));

        control<QPushButton>(page, "m_btnDisconnect")->click();
        QTRY_VERIFY(!comAdapter::instance().isConnected());
        QTRY_COMPARE(enabledState(page),
                     QStringLiteral("connect on, disconnect off, params on, checks on"));

        QTest::qWait(350);  // later ticks do not connect again
        QCOMPARE(order, QStringList({"connect", "title DCU-1205", "cycle 50", "disconnect open"}));
        QVERIFY(!comAdapter::instance().isConnected());
    }

    void autostartEntryQuotesTheProgramPath_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("exec");
        QTest::newRow("plain") << "/opt/qxups/QXUPSUtility"
                               << "Exec=/opt/qxups/QXUPSUtility";
        QTest::newRow("blank") << "/home/u/my apps/QXUPSUtility"
                               << "Exec=\"/home/u/my apps/QXUPSUtility\"";
        // Quoted-argument escapes, then the string value doubles each backslash.
        QTest::newRow("reserved") << "/tmp/a$b\"c\\d/QXUPSUtility"
                                  << "Exec=\"/tmp/a\\\\$b\\\\\"c\\\\\\\\d/QXUPSUtility\"";
        QTest::newRow("percent") << "/tmp/100%/QXUPSUtility"
                                 << "Exec=/tmp/100%%/QXUPSUtility";
    }

    void autostartEntryQuotesTheProgramPath() {
        QFETCH(QString, program);
        QFETCH(QString, exec);
        QVERIFY(autoStart::registerProgram(program));
        QCOMPARE(execLine(), exec);
        QVERIFY(autoStart::isRegistered(program));
        QVERIFY(!autoStart::isRegistered(program + QStringLiteral("2")));
    }

    void autoBootFollowsTheCheckBoxAndTheProgramPath() {
        const QString program = QCoreApplication::applicationFilePath();
        comSettingsWidget page;
        QCheckBox* autoBoot = control<QCheckBox>(page, "m_chkAutoBoot");

        autoBoot->setChecked(true);
        QVERIFY(autoStart::isRegistered(program));
        QCOMPARE(savedElements().value(10), QStringLiteral("AutoBoot=1"));

        // The program moved: the next edit registers its present path.
        QVERIFY(autoStart::registerProgram(QStringLiteral("/old place/QXUPSUtility")));
        control<QSpinBox>(page, "m_spinDeviceId")->setValue(7);
        QVERIFY(autoStart::isRegistered(program));

        autoBoot->setChecked(false);
        QVERIFY(!QFileInfo::exists(autoStart::entryFile()));
    }
};

QXUPS_APP_TEST_MAIN(QApplication, SettingsPageTest)
#include "settings_page_test.moc"
