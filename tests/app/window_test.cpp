// The main window against the simulator: status bar and title through a
// connection, hiding into the tray and AutoHide with and without a tray, the
// language menu's restart question, the status page's polling whatever tab is
// in front, the Config tab (following the connection, its writes and extra
// registers) and the help's address. The power and line cases are in
// window_power_test.cpp.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QFileInfo>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include "app_test_env.h"
#include "app_test_sim.h"
#include "appPaths.h"
#include "comAdapter.h"
#include "batteryWidget.h"
#include "comSettingsWidget.h"
#include "configDialog.h"
#include "configWidget.h"
#include "loginDialog.h"
#include "mainWindow.h"
#include "monitorThread.h"
#include "settingsStore.h"
#include "statusMonitorWidget.h"
#include "upsDataModel.h"
#include "window_test_support.h"

using namespace windowtest;

namespace {

// Answers the next message box with the given button and keeps its text.
class BoxAnswer : public QObject {
public:
    BoxAnswer(QMessageBox::StandardButton button) : m_button(button) {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, [this]() {
            QMessageBox* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            m_texts << box->text();
            box->button(m_button)->click();
        });
        m_timer.start();
    }
    QStringList m_texts;

private:
    QMessageBox::StandardButton m_button;
    QTimer m_timer;
};

// Whether the status page's idle display (which follows the tab in front)
// and its polling (which follows the connection) run.
bool statusPageDisplays(const mainWindow& w) {
    statusMonitorWidget* page = w.findChild<statusMonitorWidget*>();
    return page->findChild<QTimer*>(QStringLiteral("m_refreshTimer"))->isActive();
}

bool statusPagePolls(const mainWindow& w) {
    return w.findChild<statusMonitorWidget*>()->findChild<monitorThread*>()->isRunning();
}
}  // namespace

class WindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { startWorld(m_root, m_sim); }

    void cleanup() { endCase(m_sim); }

    void statusBarAndTitleFollowTheConnection() {
        QVERIFY(writeSettings(false));
        mainWindow w;
        QCOMPARE(label(w, "m_lblConnectState"), QStringLiteral("Disconnect"));
        QCOMPARE(label(w, "m_lblHwVer"), QStringLiteral("HW:0000"));
        QCOMPARE(label(w, "m_lblFwVer"), QStringLiteral("FW:0000"));
        QCOMPARE(label(w, "m_lblDrvVer"), QStringLiteral("DRV:0000"));
        QCOMPARE(label(w, "m_lblTime"), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Ambrel"));

        action(w, "m_connectAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(w.isConnected(), 10000);
        QCOMPARE(label(w, "m_lblHwVer"), QStringLiteral("HW:1"));
        QCOMPARE(label(w, "m_lblFwVer"), QStringLiteral("FW:2"));
        QVERIFY(label(w, "m_lblDrvVer") != QStringLiteral("DRV:0000"));
        // Device type 301 is listed in the shipped product file.
        QCOMPARE(w.windowTitle(), QStringLiteral("Ambrel_DCU-1205"));
        QTRY_COMPARE_WITH_TIMEOUT(label(w, "m_lblConnectState"), QStringLiteral("Connected"), 5000);
        QLabel* state = w.findChild<QLabel*>(QStringLiteral("m_lblConnectState"));
        QVERIFY(state->styleSheet().contains(QLatin1String("green")));
        // Readable: the text against its green at the contrast asked of body text.
        state->ensurePolished();
        const double ratio = contrast(state->palette().color(QPalette::WindowText),
                                      state->palette().color(QPalette::Window));
        QVERIFY2(ratio >= 4.5, qPrintable(QString::number(ratio)));
        QVERIFY(!action(w, "m_connectAction")->isEnabled());
        QVERIFY(QDateTime::fromString(label(w, "m_lblTime"), QStringLiteral("yyyy-MM-dd hh:mm:ss"))
                    .isValid());

        action(w, "m_disconnectAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!comAdapter::instance().isConnected(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(label(w, "m_lblConnectState"), QStringLiteral("Disconnected"),
                                  5000);
        QCOMPARE(label(w, "m_lblHwVer"), QStringLiteral("HW:0000"));
        QCOMPARE(label(w, "m_lblFwVer"), QStringLiteral("FW:0000"));
        QCOMPARE(label(w, "m_lblDrvVer"), QStringLiteral("DRV:0000"));
        QVERIFY(action(w, "m_connectAction")->isEnabled());
    }

    void closeAndAutoHideFollowTheTray_data() {
        QTest::addColumn<bool>("tray");
        QTest::newRow("tray") << true;
        QTest::newRow("no tray") << false;
    }

    void closeAndAutoHideFollowTheTray() {
        QFETCH(bool, tray);
        QVERIFY(writeSettings(true));
        settingsStore::setValue(settingsStore::kGroupWindow, "trayNoticeShown", false);
        mainWindow w;
        w.setTrayAvailable(tray);
        QCOMPARE(w.trayIconPath(), QStringLiteral(":/mainWindow/images/UPS/NotConnected.png"));
        w.show();

        // AutoHide: once after the first connection, and only with a tray.
        action(w, "m_connectAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(w.isConnected(), 10000);
        if (tray) QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 5000);
        QTest::qWait(500);
        QCOMPARE(w.isVisible(), !tray);
        w.show();
        action(w, "m_disconnectAction")->trigger();
        action(w, "m_connectAction")->trigger();
        QTest::qWait(500);
        QVERIFY(w.isVisible());

        // Closing hides into the tray; without one it quits the program.
        QTimer::singleShot(0, &w, [&w]() { w.close(); });
        QTimer giveUp;
        giveUp.setSingleShot(true);
        connect(&giveUp, &QTimer::timeout, []() { QCoreApplication::exit(7); });
        giveUp.start(1000);
        QCOMPARE(QCoreApplication::exec(), tray ? 7 : 0);
        QVERIFY(!w.isVisible());
        if (!tray) return;
        // The first close into the tray says once, for good, that the program runs on.
        w.show();
        w.close();
        QVERIFY(!w.isVisible());
        const QString notice = QStringLiteral(
            "Ambrel: Ambrel keeps running in the tray and watches the power. Quit it from the "
            "tray icon's menu.");
        QCOMPARE(w.trayMessages().count(notice), 1);
        QVERIFY(settingsStore::value(settingsStore::kGroupWindow, "trayNoticeShown").toBool());
    }

    void languageMenuAsksToRestart_data() {
        QTest::addColumn<int>("clicked");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("exitCode");  // -1: no restart asked of the event loop
        QTest::newRow("the checked language: nothing asked") << 1 << 0 << -1;
        QTest::newRow("another, answered No") << 0 << int(QMessageBox::No) << -1;
        QTest::newRow("another, answered Yes") << 0 << int(QMessageBox::Yes) << 888;
    }

    void languageMenuAsksToRestart() {
        QFETCH(int, clicked);
        QFETCH(int, answer);
        QFETCH(int, exitCode);
        settingsStore::setLanguageIndex(1);
        mainWindow w;
        QMenu* menu = w.findChild<QMenu*>(QStringLiteral("m_languageMenu"));
        QVERIFY(menu != nullptr);
        const QList<QAction*> languages = menu->actions();
        QCOMPARE(languages.size(), 2);
        QVERIFY(!languages.at(0)->isChecked() && languages.at(1)->isChecked());

        BoxAnswer box(answer != 0 ? QMessageBox::StandardButton(answer) : QMessageBox::No);
        QTimer::singleShot(0, languages.at(clicked), &QAction::trigger);
        QTimer giveUp;
        giveUp.setSingleShot(true);
        connect(&giveUp, &QTimer::timeout, []() { QCoreApplication::exit(-1); });
        giveUp.start(answer == int(QMessageBox::Yes) ? 10000 : 1000);
        QCOMPARE(QCoreApplication::exec(), exitCode);
        if (exitCode == 888) {
            // The hand-over file replaces a link planted at its name, never
            // writes through it (a settings folder others can write).
            const QString handOver = appPaths::settingsFile(QStringLiteral("restart-log.txt"));
            const QString victim = m_root.path() + QStringLiteral("/victim");
            QVERIFY(writeFile(victim, "victim"));
            QCOMPARE(symlink(QFile::encodeName(victim).constData(),
                             QFile::encodeName(handOver).constData()),
                     0);
            consolePrint::instance().printMsg(QStringLiteral("a line to hand over"));
            const QStringList arguments = w.restartArguments();
            QVERIFY(arguments.contains(handOver));
            QFile target(victim);
            QVERIFY(target.open(QIODevice::ReadOnly));
            QCOMPARE(target.readAll(), QByteArray("victim"));
            QVERIFY(!QFileInfo(handOver).isSymLink());
            QVERIFY(QFile::remove(handOver));
        }

        QCOMPARE(box.m_texts.size(), answer != 0 ? 1 : 0);
        QCOMPARE(settingsStore::languageIndex(), uint(clicked));
        for (int i = 0; i < languages.size(); ++i)
            QCOMPARE(languages.at(i)->isChecked(), i == clicked);
    }

    // The status page is tab 0 and idle after start-up; a connection starts
    // its polling, which runs whatever tab is in front; its idle display
    // follows the tab.
    void statusPagePollsWhateverTab() {
        QVERIFY(writeSettings(false));
        mainWindow w;
        QTabWidget* tabs = w.findChild<QTabWidget*>(QStringLiteral("m_tabWidget"));
        // The History tab is there while disconnected too.
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->tabText(0), QStringLiteral("Status Monitor"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("History"));
        QCOMPARE(tabs->currentWidget(), w.findChild<statusMonitorWidget*>());
        QTest::qWait(300);
        QVERIFY(!statusPagePolls(w));

        action(w, "m_connectAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(w.isConnected(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(statusPagePolls(w), 5000);
        QWidget other;
        tabs->addTab(&other, QStringLiteral("other"));
        tabs->setCurrentIndex(1);
        QTRY_VERIFY_WITH_TIMEOUT(!statusPageDisplays(w), 5000);
        QVERIFY(statusPagePolls(w));
        tabs->setCurrentIndex(0);
        QTRY_VERIFY_WITH_TIMEOUT(statusPageDisplays(w), 5000);
        QVERIFY(statusPagePolls(w));
        tabs->removeTab(1);
        action(w, "m_disconnectAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!statusPagePolls(w), 5000);
    }

    // The window fits an 800 x 600 screen less a panel: its minimum leaves
    // every control of the Comm panel clear of the others (the panel and the
    // pages scroll instead), and the log opens at the share of the height
    // the user last dragged it to.
    void fitsASmallScreen() {
        QVERIFY(writeSettings(false));
        settingsStore::setValue(settingsStore::kGroupWindow, "logDockShare", 0.5);
        mainWindow w;
        const QSize least = w.minimumSizeHint().expandedTo(w.minimumSize());
        QVERIFY2(least.width() <= 800 && least.height() <= 560,
                 qPrintable(QStringLiteral("%1x%2").arg(least.width()).arg(least.height())));
        w.resize(least);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::qWait(200);
        QCOMPARE(w.size(), least);
        comSettingsWidget* panel = w.findChild<comSettingsWidget*>();
        QList<QRect> taken;
        for (QWidget* control :
             panel->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (control->isVisible()) taken << control->geometry();
        QVERIFY(taken.size() >= 20);
        for (int i = 0; i < taken.size(); ++i)
            for (int j = i + 1; j < taken.size(); ++j)
                QVERIFY2(!taken.at(i).intersects(taken.at(j)),
                         qPrintable(QStringLiteral("%1 %2").arg(i).arg(j)));

        w.resize(800, 560);
        QDockWidget* log = w.findChild<QDockWidget*>(QStringLiteral("m_informationDock"));
        const auto share = [&w, log]() {
            return double(log->height()) / (log->height() + w.centralWidget()->height());
        };
        QTRY_VERIFY2_WITH_TIMEOUT(qAbs(share() - 0.5) < 0.03, qPrintable(QString::number(share())),
                                  5000);
        settingsStore::setValue(settingsStore::kGroupWindow, "logDockShare", QVariant());
    }

    // The Config tab closes itself while no device is open; while one is, it
    // is added behind "Status Monitor" and "History", and only the page in front refreshes.
    void configTabFollowsConnectionAndFront() {
        QVERIFY(writeSettings(false));
        mainWindow w;
        QTabWidget* tabs = w.findChild<QTabWidget*>(QStringLiteral("m_tabWidget"));
        configWidget* config = w.findChild<configWidget*>();
        QAction* configAction = action(w, "m_configAction");

        configAction->trigger();
        QCOMPARE(tabs->count(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(tabs->count(), 2, 5000);
        QVERIFY(!configAction->isChecked());

        action(w, "m_connectAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(w.isConnected(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(statusPageDisplays(w) && statusPagePolls(w), 5000);
        // The product title chose the product's register table.
        QVERIFY(config->dataModel()->rowCount() > 0);
        configAction->trigger();
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->tabText(2), QStringLiteral("Config"));
        QCOMPARE(tabs->currentIndex(), 0);
        QVERIFY(!config->isRefreshing());

        tabs->setCurrentIndex(2);
        QVERIFY(config->isRefreshing());
        QTRY_VERIFY_WITH_TIMEOUT(!statusPageDisplays(w), 5000);
        tabs->setCurrentIndex(0);
        QVERIFY(!config->isRefreshing());
        QTRY_VERIFY_WITH_TIMEOUT(statusPageDisplays(w), 5000);

        // Unchecked while in front: "Status Monitor" is current and displays again.
        tabs->setCurrentIndex(2);
        QTRY_VERIFY_WITH_TIMEOUT(!statusPageDisplays(w), 5000);
        QVERIFY(statusPagePolls(w));
        configAction->trigger();
        QCOMPARE(tabs->count(), 2);
        QVERIFY(!config->isRefreshing());
        QTRY_VERIFY_WITH_TIMEOUT(statusPageDisplays(w), 5000);

        // Open behind "Status Monitor" at a language restart: back behind it.
        configAction->trigger();
        const QStringList arguments = w.restartArguments();
        action(w, "m_disconnectAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!comAdapter::instance().isConnected(), 10000);
        mainWindow successor;
        successor.resumeAfterRestart(arguments);
        QTabWidget* again = successor.findChild<QTabWidget*>(QStringLiteral("m_tabWidget"));
        QTRY_COMPARE_WITH_TIMEOUT(again->count(), 3, 10000);
        QCOMPARE(again->tabText(2), QStringLiteral("Config"));
        QCOMPARE(again->currentIndex(), 0);
        action(successor, "m_disconnectAction")->trigger();
    }

    // The help's address: the connected product or the one chosen in the
    // dialog, the file by the language; a program folder with a blank and a
    // '#' still gives the right local file.
    void helpAddress_data() {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("file");  // empty: nothing opened
        QTest::addColumn<bool>("xdgOpen");  // xdg-open, which opens files, is installed
        QTest::newRow("connected A1, language 1")
            << true << QString() << 1 << QStringLiteral("/help/A1/A1help_en.chm") << true;
        QTest::newRow("A1 chosen, language 0")
            << false << QString() << 0 << QStringLiteral("/help/A1/A1help.chm") << true;
        QTest::newRow("folder with blank and #") << false << QStringLiteral("/odd dir #2") << 0
                                                 << QStringLiteral("/help/A1/A1help.chm") << true;
        // No viewer for .chm files: a message box and a log line say what to
        // install, and nothing is handed to the desktop.
        QTest::newRow("no viewer") << true << QString() << 1 << QString() << true;
        // The desktop fails to open the file and xdg-open is missing: the
        // message names it and its package.
        QTest::newRow("no xdg-open")
            << true << QString() << 1 << QStringLiteral("/help/A1/A1help_en.chm") << false;
    }

    void helpAddress() {
        QFETCH(bool, connected);
        QFETCH(QString, folder);
        QFETCH(int, language);
        QFETCH(QString, file);
        QFETCH(bool, xdgOpen);
        const QByteArray appDir = qgetenv("QXUPS_APPDIR");
        const QByteArray path = qgetenv("PATH");
        if (!xdgOpen)
            qputenv("PATH", QFile::encodeName(m_root.path() + QStringLiteral("/nothing")));
        const QString dir = QString::fromLocal8Bit(appDir) + folder;
        qputenv("QXUPS_APPDIR", QFile::encodeName(dir));
        QVERIFY(writeSettings(false));
        QVERIFY(
            writeFile(dir + QStringLiteral("/help/help.ini"), "[A1]\nName=A1\n[B2]\nName=B2\n"));
        QVERIFY(writeFile(dir + QStringLiteral("/help/select.ini"),
                          "[SELECTED]\nName=B2\nLanguage=" + QByteArray::number(language) + "\n"));
        QList<QUrl> urls;
        {
            mainWindow w;
            w.setUrlOpener([&urls, xdgOpen](const QUrl& url) {
                urls << url;
                return xdgOpen;
            });
            w.setHelpViewerCheck([&file]() { return !file.isEmpty(); });
            if (connected) {
                action(w, "m_connectAction")->trigger();
                QTRY_VERIFY_WITH_TIMEOUT(w.isConnected(), 10000);
                emit w.findChild<comSettingsWidget*>()->signalSetTitle(QStringLiteral("A1"));
            }
            // Chooses A1 in the product dialog when it asks.
            QTimer chooser;
            chooser.setInterval(20);
            connect(&chooser, &QTimer::timeout, [&chooser]() {
                loginDialog* d = qobject_cast<loginDialog*>(QApplication::activeModalWidget());
                if (d == nullptr) return;
                chooser.stop();
                d->productBox()->setCurrentText(QStringLiteral("A1"));
                d->findChild<QPushButton*>(QStringLiteral("m_btnAccept"))->click();
            });
            chooser.start();
            BoxAnswer box(QMessageBox::Ok);
            apptest::ConsoleRecord log;
            action(w, "m_helpAction")->trigger();
            QCOMPARE(chooser.isActive(), connected);
            if (connected) action(w, "m_disconnectAction")->trigger();
            if (file.isEmpty()) {
                const QString missing = QStringLiteral(
                    "No program to open .chm files is installed: install xchm "
                    "(for example with \"sudo apt-get install xchm\").");
                QCOMPARE(box.m_texts, QStringList{missing});
                QVERIFY(log.lines().contains(missing));
            }
            if (!xdgOpen) {
                QCOMPARE(box.m_texts.size(), 1);
                QVERIFY2(box.m_texts.at(0).contains(QLatin1String("xdg-open")) &&
                             box.m_texts.at(0).contains(QLatin1String("install xdg-utils")),
                         qPrintable(box.m_texts.at(0)));
                QVERIFY(log.lines().contains(box.m_texts.at(0)));
            }
        }
        qputenv("PATH", path);
        qputenv("QXUPS_APPDIR", appDir);
        if (file.isEmpty()) {
            QCOMPARE(urls.size(), 0);
            return;
        }
        QCOMPARE(urls.size(), 1);
        QVERIFY2(urls.at(0).toString().endsWith(file), qPrintable(urls.at(0).toString()));
        QCOMPARE(urls.at(0).toLocalFile(), dir + file);
        const QSettings select(dir + QStringLiteral("/help/select.ini"), QSettings::IniFormat);
        QCOMPARE(select.value(QStringLiteral("/SELECTED/Name")).toString(),
                 connected ? QStringLiteral("B2") : QStringLiteral("A1"));
    }

    // The Config tab in front while polling: the table's registers outside
    // the status block show the module's values and one it refuses shows
    // empty (logged once); a write reaches the module while the status page
    // keeps updating, and a refused write is logged once.
    void configTabWritesAndExtraRegisters() {
        const QString table =
            appPaths::settingsFile(QStringLiteral("iconfigs/DCU-1205/config_registers.xml"));
        QFile shipped(QStringLiteral(QXUPS_BIN_DIR "/iconfigs/DCU-1205/config_registers.xml"));
        QVERIFY(shipped.open(QIODevice::ReadOnly));
        QByteArray xml = shipped.readAll();
        xml.replace("</Items>",
                    "<Item><Addr>40500</Addr><Name>Unknown</Name><RW>R</RW></Item></Items>");
        QVERIFY(writeFile(table, xml));
        const QString charge = m_sim.command("get 26").mid(6);
        QCOMPARE(m_sim.command("set 100 4321"), QStringLiteral("ok"));
        QVERIFY(writeSettings(false));
        apptest::ConsoleRecord console;
        mainWindow w;
        action(w, "m_connectAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(w.isConnected(), 10000);
        action(w, "m_configAction")->trigger();
        w.findChild<QTabWidget*>(QStringLiteral("m_tabWidget"))->setCurrentIndex(2);
        upsDataModel* model = w.findChild<configWidget*>()->dataModel();
        const auto cellOf = [model](int address) {
            for (int row = 0; row < model->rowCount(); ++row)
                if (model->data(model->index(row, 0)).toInt() == address)
                    return model->data(model->index(row, 2)).toString();
            return QStringLiteral("<no row>");
        };
        QTRY_COMPARE_WITH_TIMEOUT(cellOf(40100), QStringLiteral("4321"), 10000);
        QCOMPARE(cellOf(40500), QString());
        QTRY_VERIFY_WITH_TIMEOUT(!cellOf(40036).isEmpty(), 5000);

        configDialog* dialog = w.findChild<configWidget*>()->dialog();
        emit dialog->signalDataChanged(40036, 1234, true);
        QTRY_COMPARE_WITH_TIMEOUT(m_sim.command("get 36"), QStringLiteral("value 1234"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(cellOf(40036), QStringLiteral("1234"), 5000);
        QCOMPARE(m_sim.command("set 26 55"), QStringLiteral("ok"));
        QTRY_COMPARE_WITH_TIMEOUT(w.findChild<batteryWidget*>()->value(), 55, 5000);
        emit dialog->signalDataChanged(40010, 5, true);
        QTest::qWait(2500);  // two rounds of extra reads at least
        QCOMPARE(console.lines().filter(QStringLiteral("ERR")),
                 QStringList({"ERR:11: Registers 40500 to 40500 could not be read; they are shown "
                              "empty",
                              "ERR:11:When Setting register 40010 to value 5"}));
        // A dialog left open would write to whatever module the next connection finds.
        dialog->show();
        action(w, "m_disconnectAction")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!comAdapter::instance().isConnected(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->isVisible(), 5000);
        QCOMPARE(m_sim.command(qPrintable(QStringLiteral("set 26 ") + charge)),
                 QStringLiteral("ok"));
        QVERIFY(QFile::remove(table));
    }

private:
    QTemporaryDir m_root;
    apptest::SimulatedModule m_sim;
};

QXUPS_APP_TEST_MAIN(QApplication, WindowTest)
#include "window_test.moc"
