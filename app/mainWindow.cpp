#include "mainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDockWidget>
#include <QFile>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include "LanguageCheck.h"
#include "appPaths.h"
#include "comSettings.h"
#include "comSettingsWidget.h"
#include "configDialog.h"
#include "configWidget.h"
#include "consolePrint.h"
#include "historyRecorder.h"
#include "historyStore.h"
#include "historyWidget.h"
#include "inforWidget.h"
#include "loginDialog.h"
#include "monitorThread.h"
#include "settingsStore.h"
#include "statusMonitorWidget.h"
#include "upsDataModel.h"

namespace {

const char kImages[] = ":/mainWindow/images/UPS/";
const int kRestartExitCode = 888;
const char kSelectFile[] = "help/select.ini";

#ifndef QXUPS_VERSION
#define QXUPS_VERSION "0.0.0"
#endif

QString image(const char* name) {
    return QLatin1String(kImages) + QLatin1String(name);
}

}  // namespace

mainWindow::mainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("mainWindowClass"));
    // The window lives on hidden in the tray: the program ends through the
    // tray's Quit (or closing the window where there is no tray), never
    // because a message box closed while the window was hidden.
    QApplication::setQuitOnLastWindowClosed(false);
    resize(405, 226);
    QFont statusFont = statusBar()->font();
    statusFont.setWeight(QFont::Bold);
    statusBar()->setFont(statusFont);

    m_languageCheck = new LanguageCheck(nullptr);

    setWindowTitle(tr("Ambrel"));
    setWindowIcon(QIcon(image("main_cnc.png")));
    loadStyleSheet();

    m_autoHidden = false;
    m_autoHide = false;

    createActions();
    createMenus();
    createToolBars();
    createTrayIcon();
    createStatusBar();
    createWidgets();

    m_updateTimer = new QTimer(this);
    m_updateTimer->setInterval(100);
    connect(m_updateTimer, &QTimer::timeout, this, &mainWindow::slotOnUpdate);
    m_updateTimer->start();

    fitToContents();
}

mainWindow::~mainWindow() {
    delete m_languageCheck;
}

void mainWindow::fitToContents() {
    // The docks and the status bar need more than the frame's first size, so
    // the window opens large enough to show them whole. The status bar is
    // measured with its first texts; the state and the clock grow once the
    // first tick fills them in.
    const QFontMetrics metrics(statusBar()->font());
    const int growth = qMax(0, metrics.horizontalAdvance(tr("Disconnected")) -
                                   metrics.horizontalAdvance(tr("Disconnect"))) +
                       qMax(0, metrics.horizontalAdvance(QStringLiteral("8888-88-88 88:88:88")) -
                                   metrics.horizontalAdvance(tr("yyyy-MM-dd hh:mm:ss")));
    QSize opening = size().expandedTo(minimumSizeHint());
    opening.setWidth(qMax(opening.width(), statusBar()->sizeHint().width() + growth + 16));
    resize(opening);
}

void mainWindow::loadStyleSheet() {
    // A missing style sheet leaves Qt's own look.
    QFile file(appPaths::dataFile(QStringLiteral("Themes/MainPage.qss")));
    if (!file.open(QIODevice::ReadOnly)) return;
    setStyleSheet(QString::fromUtf8(file.readAll()));
}

void mainWindow::createActions() {
    m_connectAction = new QAction(QIcon(image("connect.png")), tr("Connect"), this);
    m_connectAction->setObjectName(QStringLiteral("m_connectAction"));
    m_disconnectAction = new QAction(QIcon(image("disconnect.png")), tr("Disconnect"), this);
    m_disconnectAction->setObjectName(QStringLiteral("m_disconnectAction"));
    // Shows and hides the configuration tab; its connection comes before
    // every other connection of the window.
    m_configAction = new QAction(tr("Config"), this);
    m_configAction->setObjectName(QStringLiteral("m_configAction"));
    m_configAction->setCheckable(true);
    connect(m_configAction, &QAction::triggered, this, &mainWindow::slotOnShowConfigWidget);
    m_aboutAction = new QAction(QIcon(image("about.png")), tr("About"), this);
    m_aboutAction->setObjectName(QStringLiteral("m_aboutAction"));
    m_aboutAction->setToolTip(tr("About the tool"));
    m_helpAction = new QAction(QIcon(image("help.png")), tr("Help"), this);
    m_helpAction->setObjectName(QStringLiteral("m_helpAction"));
    // Language names are shown as the list gives them, never translated.
    for (const QString& name : m_languageCheck->languageNames())
        m_languageActions.append(new QAction(name, this));
    connect(m_aboutAction, &QAction::triggered, this, &mainWindow::slotOnAbout);
    connect(m_helpAction, &QAction::triggered, this, &mainWindow::slotOnHelpClicked);
}

void mainWindow::createMenus() {
    menuBar()->addSeparator();
    m_controlMenu = menuBar()->addMenu(tr("Control"));
    m_controlMenu->addAction(m_connectAction);
    m_controlMenu->addAction(m_disconnectAction);
    m_optionMenu = menuBar()->addMenu(tr("Option"));
    m_optionMenu->addAction(m_configAction);
    m_languageMenu = menuBar()->addMenu(tr("Language"));
    m_languageMenu->setObjectName(QStringLiteral("m_languageMenu"));
    for (QAction* action : m_languageActions) {
        action->setCheckable(true);
        m_languageMenu->addAction(action);
    }
    m_helpMenu = menuBar()->addMenu(tr("Help"));
    m_helpMenu->addAction(m_helpAction);
    m_helpMenu->addAction(m_aboutAction);

    const uint current = settingsStore::languageIndex();
    if (current < static_cast<uint>(m_languageCheck->languageFiles().size())) {
        for (int i = 0; i < m_languageActions.size(); ++i)
            m_languageActions.at(i)->setChecked(static_cast<uint>(i) == current);
    }
    connect(m_languageMenu, &QMenu::triggered, this, &mainWindow::slotOnLanguageSelected);
}

void mainWindow::createToolBars() {
    m_connectToolBar = addToolBar(tr("Connect"));
    m_connectToolBar->setObjectName(QStringLiteral("m_connectToolBar"));
    m_connectToolBar->addAction(m_connectAction);
    m_disconnectToolBar = addToolBar(tr("Disconnect"));
    m_disconnectToolBar->setObjectName(QStringLiteral("m_disconnectToolBar"));
    m_disconnectToolBar->addAction(m_disconnectAction);
    m_helpToolBar = addToolBar(tr("Help"));
    m_helpToolBar->setObjectName(QStringLiteral("m_helpToolBar"));
    m_helpToolBar->addAction(m_helpAction);
    for (QToolBar* bar : {m_connectToolBar, m_disconnectToolBar, m_helpToolBar})
        bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
}

void mainWindow::createTrayIcon() {
    m_trayIcon = new QSystemTrayIcon(this);
    // Nothing is known of the module until the first status block arrives.
    setTrayIcon(image("NotConnected.png"));
    m_trayIcon->setToolTip(tr("Ambrel — not connected"));

    m_minimizeAction = new QAction(tr("Minimize"), this);
    m_minimizeAction->setToolTip(tr("Minimize the dialog"));
    m_restoreAction = new QAction(tr("Restore"), this);
    m_restoreAction->setToolTip(tr("Restore the dialog"));
    m_quitAction = new QAction(tr("Quit"), this);
    m_quitAction->setToolTip(tr("Quit the Application"));

    m_trayMenu = new QMenu(this);
    m_trayMenu->addAction(m_restoreAction);
    m_trayMenu->addAction(m_minimizeAction);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_quitAction);
    m_trayIcon->setContextMenu(m_trayMenu);

    connect(m_trayIcon, &QSystemTrayIcon::activated, this, &mainWindow::slotOnTrayIconActivated);
    connect(m_minimizeAction, &QAction::triggered, this, &QWidget::hide);
    connect(m_restoreAction, &QAction::triggered, this, &mainWindow::slotOnShowNormal);
    connect(m_quitAction, &QAction::triggered, qApp, &QCoreApplication::quit);
    m_trayIcon->setVisible(true);
}

void mainWindow::createStatusBar() {
    m_lblConnectState = new QLabel(tr("Disconnect"), this);
    m_lblConnectState->setObjectName(QStringLiteral("m_lblConnectState"));
    m_lblHwVer = new QLabel(tr("HW:0000"), this);
    m_lblHwVer->setObjectName(QStringLiteral("m_lblHwVer"));
    m_lblFwVer = new QLabel(tr("FW:0000"), this);
    m_lblFwVer->setObjectName(QStringLiteral("m_lblFwVer"));
    m_lblDrvVer = new QLabel(tr("DRV:0000"), this);
    m_lblDrvVer->setObjectName(QStringLiteral("m_lblDrvVer"));
    // The format itself until the first tick puts the time in.
    m_lblTime = new QLabel(tr("yyyy-MM-dd hh:mm:ss"), this);
    m_lblTime->setObjectName(QStringLiteral("m_lblTime"));
    statusBar()->addWidget(m_lblConnectState);
    statusBar()->addPermanentWidget(m_lblHwVer);
    statusBar()->addPermanentWidget(m_lblFwVer);
    statusBar()->addPermanentWidget(m_lblDrvVer);
    statusBar()->addPermanentWidget(m_lblTime);
    // Measured in the status bar's bold font and the style sheet's padding.
    for (QLabel* label : {m_lblConnectState, m_lblHwVer, m_lblFwVer, m_lblDrvVer}) {
        label->ensurePolished();
        label->setMinimumSize(label->sizeHint());
    }
}

void mainWindow::createWidgets() {
    m_inforWidget = new inforWidget(this);
    QDockWidget* informationDock = new QDockWidget(tr("Information"), this);
    informationDock->setObjectName(QStringLiteral("m_informationDock"));
    informationDock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    informationDock->setAllowedAreas(Qt::BottomDockWidgetArea);
    informationDock->setWidget(m_inforWidget);
    addDockWidget(Qt::BottomDockWidgetArea, informationDock);

    m_comSettingsWidget = new comSettingsWidget(this);
    QDockWidget* commDock = new QDockWidget(tr("Comm"), this);
    commDock->setObjectName(QStringLiteral("m_commDock"));
    commDock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    commDock->setAllowedAreas(Qt::LeftDockWidgetArea);
    commDock->setWidget(m_comSettingsWidget);
    addDockWidget(Qt::LeftDockWidgetArea, commDock);
    // The dock opens as wide as the page asks, not at its narrowest. A size
    // given before the window is shown is lost when the window lays itself
    // out, so it is given again once the event loop runs.
    auto widenCommDock = [this, commDock]() {
        const int wanted = m_comSettingsWidget->sizeHint().width();
        const int missing = wanted - commDock->width();
        if (missing <= 0) return;
        // The central page keeps its own minimum, so the window grows by what
        // the dock lacks.
        if (!isMaximized() && !isFullScreen()) resize(width() + missing, height());
        resizeDocks({commDock}, {wanted}, Qt::Horizontal);
    };
    widenCommDock();
    QTimer::singleShot(0, this, widenCommDock);

    m_tabWidget = new QTabWidget(this);
    m_tabWidget->setObjectName(QStringLiteral("m_tabWidget"));
    setCentralWidget(m_tabWidget);

    // The status page is tab 0 for the life of the program. Inserting the
    // first tab makes it current, so making it current again emits nothing:
    // no page is switched on or off until the current tab first changes.
    m_statusMonitorWidget = new statusMonitorWidget(this);
    m_statusMonitorWidget->setObjectName(QStringLiteral("m_statusMonitorWidget"));
    m_tabWidget->insertTab(0, m_statusMonitorWidget, tr("Status Monitor"));
    // The history: written from what the status page watches, shown in a
    // tab of its own that is there whether a module is connected or not.
    m_historyStore = new historyStore(historyStore::defaultPath(), this);
    history::recordFrom(m_statusMonitorWidget, m_historyStore);
    m_historyStore->open();
    m_historyWidget = new historyWidget(m_historyStore, this);
    m_tabWidget->insertTab(1, m_historyWidget, tr("History"));
    connect(m_tabWidget, &QTabWidget::currentChanged, this, &mainWindow::slotOnCurrentTabChanged);
    m_tabWidget->setCurrentIndex(0);

    // The configuration page becomes a tab only while the Config action is
    // checked; until then it is a hidden child of the window.
    m_configWidget = new configWidget(this);
    m_configWidget->setObjectName(QStringLiteral("m_configWidget"));
    m_configWidget->hide();

    consolePrint& console = consolePrint::instance();
    connect(&console, &consolePrint::signalShowMsg, m_inforWidget, &inforWidget::slotOnShowMsg);
    connect(&console, &consolePrint::signalShowHwVer, this, &mainWindow::slotOnShowHwVer);
    connect(&console, &consolePrint::signalShowFwVer, this, &mainWindow::slotOnShowFwVer);
    connect(&console, &consolePrint::signalShowDrvVer, this, &mainWindow::slotOnShowDrvVer);
    // The product title selects the register table; the policy chosen on the
    // configuration page reaches the status page, which decides on the script.
    connect(this, &mainWindow::signalOnGetDeviceType, m_configWidget,
            &configWidget::slotOnGetDeviceType);
    connect(m_configWidget, &configWidget::signalOnPolicyChanged, m_statusMonitorWidget,
            &statusMonitorWidget::slotOnPolicyChanged);
    connect(m_connectAction, &QAction::triggered, m_comSettingsWidget,
            &comSettingsWidget::slotOnConnect);
    connect(m_disconnectAction, &QAction::triggered, m_comSettingsWidget,
            &comSettingsWidget::slotOnDisconnect);
    // The status page receives signalConnect before the window does: it takes
    // the poll cycle and starts polling before the window notes AutoHide.
    connect(m_comSettingsWidget, &comSettingsWidget::signalPollCycleChanged, m_statusMonitorWidget,
            &statusMonitorWidget::slotOnPollCycleChanged);
    connect(m_statusMonitorWidget, &statusMonitorWidget::signalPowerSummary, this,
            &mainWindow::slotOnPowerSummary);
    connect(m_comSettingsWidget, &comSettingsWidget::signalConnect, m_statusMonitorWidget,
            &statusMonitorWidget::slotOnConnect);
    // Polling ends before the device is closed; the tray stops claiming a
    // state it no longer watches.
    connect(m_comSettingsWidget, &comSettingsWidget::signalDisconnect, m_statusMonitorWidget,
            &statusMonitorWidget::slotOnDisconnect);
    connect(m_comSettingsWidget, &comSettingsWidget::signalDisconnect, this,
            &mainWindow::slotOnNotConnected);
    connect(m_statusMonitorWidget, &statusMonitorWidget::signalPowerEvent, this,
            &mainWindow::slotOnPowerEvent);
    connect(m_statusMonitorWidget, &statusMonitorWidget::signalBatteryAlert, this,
            &mainWindow::slotOnBatteryAlert);
    connect(m_statusMonitorWidget, &statusMonitorWidget::signalBatteryWarning, this,
            &mainWindow::slotOnBatteryWarning);
    connect(m_configWidget, &configWidget::signalBatteryLevelsChanged, m_statusMonitorWidget,
            &statusMonitorWidget::slotOnBatteryLevelsChanged);
    connect(m_comSettingsWidget, &comSettingsWidget::signalConnect, this,
            &mainWindow::slotOnConnect);
    connect(m_comSettingsWidget, &comSettingsWidget::signalSetTitle, this,
            &mainWindow::slotOnSetUITite);

    // The device worker: the only one on the line. The pages hand it their
    // requests (calls that return at once) and hear its results queued.
    monitorThread* worker = m_statusMonitorWidget->worker();
    connect(worker, &monitorThread::signalOpened, m_comSettingsWidget,
            &comSettingsWidget::slotOnDeviceOpened);
    connect(m_statusMonitorWidget, &statusMonitorWidget::signalLinkState, m_comSettingsWidget,
            &comSettingsWidget::slotOnLinkState);
    connect(m_statusMonitorWidget, &statusMonitorWidget::signalLinkState, this,
            &mainWindow::slotOnLinkState);
    connect(m_statusMonitorWidget, &statusMonitorWidget::signalStatusBlock, m_configWidget,
            &configWidget::slotOnStatusBlock);
    connect(m_configWidget, &configWidget::signalWriteRegister, worker,
            &monitorThread::requestWrite);
    connect(m_statusMonitorWidget, &statusMonitorWidget::signalLinkState, m_configWidget->dialog(),
            [this](int state) {
                m_configWidget->dialog()->slotOnLinkConnected(state == monitorThread::Connected);
            });
    connect(m_configWidget, &configWidget::signalExtraAddresses, worker,
            &monitorThread::setExtraAddresses);
    connect(m_configWidget, &configWidget::signalExtraReading, worker,
            &monitorThread::setExtraReading);
    connect(worker, &monitorThread::signalExtraValuesReady, m_configWidget, [this, worker]() {
        upsDataModel* model = m_configWidget->dataModel();
        for (const monitorThread::extraValue& v : worker->extraValues())
            model->setRegisterValue(v.address, v.value, v.ok);
    });
}

bool mainWindow::isConnected() const {
    return m_statusMonitorWidget->linkState() == monitorThread::Connected;
}

void mainWindow::slotOnLinkState(int state) {
    const int before = m_shownLinkState;
    m_shownLinkState = state;
    if (state == monitorThread::Reconnecting && before != monitorThread::Reconnecting) {
        // Nothing the tray showed is known any more.
        slotOnNotConnected();
        const qint64 since = m_statusMonitorWidget->worker()->silentSinceMs();
        if (since > 0) {
            m_trayIcon->setToolTip(tr("Ambrel — no answer from the module since %1")
                                       .arg(QDateTime::fromMSecsSinceEpoch(since).toString(
                                           QStringLiteral("yyyy-MM-dd hh:mm:ss"))));
        }
        // Once per lost line; a start that finds no module is no loss.
        m_lossAnnounced = before == monitorThread::Connected;
        if (m_lossAnnounced)
            showTrayMessage(tr("Ambrel"), tr("Communication with the module lost."));
    } else if (state == monitorThread::Connected && m_lossAnnounced) {
        m_lossAnnounced = false;
        showTrayMessage(tr("Ambrel"), tr("Communication with the module restored."));
    } else if (state == monitorThread::Disconnected) {
        m_lossAnnounced = false;
    }
    slotOnUpdate();
    // After a restart, the tab that was in front comes back once connected
    // (the Config tab exists only while connected).
    if (state == monitorThread::Connected && !m_resumeTab.isEmpty()) {
        const QString name = m_resumeTab;
        m_resumeTab.clear();
        if (name == m_configWidget->objectName() && !m_configAction->isChecked())
            m_configAction->trigger();
        for (int i = 0; i < m_tabWidget->count(); ++i)
            if (m_tabWidget->widget(i)->objectName() == name) m_tabWidget->setCurrentIndex(i);
    }
}

void mainWindow::stopDeviceWork() {
    m_updateTimer->stop();
    // The status page stops its script and the device worker, which closes
    // the device.
    m_statusMonitorWidget->shutdown();
    // Whatever is queued reaches the file before the program ends.
    m_historyStore->stop();
}

namespace {

const char kRestartLog[] = "restart-log.txt";
const int kRestartLogLines = 200;

}  // namespace

QStringList mainWindow::restartArguments() const {
    QStringList arguments{QStringLiteral("--restarted")};
    if (isConnected()) arguments << QStringLiteral("--connect");
    if (QWidget* front = m_tabWidget->currentWidget())
        arguments << QStringLiteral("--tab") << front->objectName();
    // The log's last lines, handed over in a private file the successor reads
    // and removes.
    const QString logFile = appPaths::settingsFile(QLatin1String(kRestartLog));
    QStringList lines = m_inforWidget->statusOutput()->toPlainText().split(QLatin1Char('\n'));
    lines.removeAll(QString());
    if (!lines.isEmpty() &&
        appPaths::writePrivate(logFile, lines.mid(qMax(0, lines.size() - kRestartLogLines))
                                            .join(QLatin1Char('\n'))
                                            .toUtf8()))
        arguments << QStringLiteral("--log") << logFile;
    return arguments;
}

void mainWindow::resumeAfterRestart(const QStringList& arguments) {
    if (!arguments.contains(QStringLiteral("--restarted"))) return;
    // Only the hand-over file is read (and removed), whatever path is given.
    const QString logFile = appPaths::settingsFile(QLatin1String(kRestartLog));
    const int log = arguments.indexOf(QStringLiteral("--log"));
    if (log >= 0 && log + 1 < arguments.size() && arguments.at(log + 1) == logFile) {
        QFile file(logFile);
        if (file.open(QIODevice::ReadOnly)) {
            for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n')))
                if (!line.isEmpty()) m_inforWidget->statusOutput()->appendPlainText(line);
            file.remove();
        }
    }
    consolePrint::instance().printMsg(tr("Restarted to change the language."));
    const int tab = arguments.indexOf(QStringLiteral("--tab"));
    if (tab >= 0 && tab + 1 < arguments.size()) m_resumeTab = arguments.at(tab + 1);
    if (arguments.contains(QStringLiteral("--connect")))
        m_comSettingsWidget->slotOnConnect();
    else
        m_resumeTab.clear();
}

bool mainWindow::trayAvailable() const {
    if (m_trayOverride >= 0) return m_trayOverride == 1;
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void mainWindow::setTrayAvailable(bool available) {
    m_trayOverride = available ? 1 : 0;
}

void mainWindow::setTrayIcon(const QString& path) {
    m_trayIconPath = path;
    m_trayIcon->setIcon(QIcon(path));
}

void mainWindow::showTrayMessage(const QString& title, const QString& message) {
    m_trayMessages.append(title + QStringLiteral(": ") + message);
    if (trayAvailable() && m_trayIcon->isVisible())
        m_trayIcon->showMessage(title, message, QSystemTrayIcon::Information);
}

void mainWindow::closeEvent(QCloseEvent* event) {
    if (trayAvailable() && m_trayIcon->isVisible()) {
        hide();
        event->ignore();
        return;
    }
    // Without a tray a hidden window could not be reached again: closing quits.
    event->accept();
    QCoreApplication::quit();
}

void mainWindow::slotOnShowHwVer(QString msg) {
    m_lblHwVer->setText(QStringLiteral("HW:") + msg);
}

void mainWindow::slotOnShowFwVer(QString msg) {
    m_lblFwVer->setText(QStringLiteral("FW:") + msg);
}

void mainWindow::slotOnShowDrvVer(QString msg) {
    m_drvVersion = msg;
    m_lblDrvVer->setText(QStringLiteral("DRV:") + msg);
}

void mainWindow::slotOnTrayIconActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) {
        showNormal();
        raise();
        activateWindow();
    }
}

void mainWindow::slotOnShowNormal() {
    showNormal();
}

// slotOnUpdate runs every 100 ms, and setting a style sheet re-polishes the
// label even when the sheet is the same: set it only when it changes.
void mainWindow::setConnectStateSheet(const QString& sheet) {
    if (m_lblConnectState->styleSheet() != sheet) m_lblConnectState->setStyleSheet(sheet);
}

void mainWindow::slotOnUpdate() {
    const monitorThread::State state = m_statusMonitorWidget->linkState();
    if (state == monitorThread::Connected) {
        m_connectToolBar->setEnabled(false);
        m_connectAction->setEnabled(false);
        m_disconnectToolBar->setEnabled(true);
        m_disconnectAction->setEnabled(true);
        m_lblConnectState->setText(tr("Connected"));
        setConnectStateSheet(QStringLiteral("background-color:") + QStringLiteral("green"));
        if (m_autoHide && !m_autoHidden) {
            // Hidden only where the tray can bring the window back.
            if (trayAvailable()) hide();
            m_autoHidden = true;
        }
    } else {
        // A Connect during a close waits for it in the worker; a Disconnect
        // during an open follows it.
        const bool closing =
            state == monitorThread::Disconnected || state == monitorThread::Disconnecting;
        m_connectToolBar->setEnabled(closing);
        m_connectAction->setEnabled(closing);
        m_disconnectToolBar->setEnabled(!closing);
        m_disconnectAction->setEnabled(!closing);
        // The configuration page never stays open without a device.
        closeConfigTab();
        const monitorThread* worker = m_statusMonitorWidget->worker();
        if (state == monitorThread::Connecting) {
            m_lblConnectState->setText(tr("Connecting…"));
        } else if (state == monitorThread::Disconnecting) {
            m_lblConnectState->setText(tr("Disconnecting…"));
        } else if (state == monitorThread::Reconnecting) {
            const qint64 left = worker->nextAttemptInMs();
            if (left > 0) {
                m_lblConnectState->setText(tr("Reconnecting (attempt %1, next in %2 s)")
                                               .arg(worker->reconnectAttempt())
                                               .arg((left + 999) / 1000));
            } else {
                m_lblConnectState->setText(
                    tr("Reconnecting (attempt %1)…").arg(worker->reconnectAttempt()));
            }
        } else {
            m_lblConnectState->setText(tr("Disconnected"));
        }
        setConnectStateSheet(QStringLiteral("background-color:") +
                             (state == monitorThread::Reconnecting ? QStringLiteral("orange")
                                                                   : QStringLiteral(" ")));
    }
    m_lblTime->setText(
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
}

void mainWindow::slotOnChangeTrayIcon(bool state) {
    setTrayIcon(state ? image("DC.png") : image("UPS.png"));
}

void mainWindow::slotOnPowerSummary(bool dcOk, int charge, int source) {
    slotOnChangeTrayIcon(dcOk);
    m_powerDcOk = dcOk;
    m_powerCharge = charge;
    m_powerSource = source;
    updateTrayToolTip();
}

void mainWindow::slotOnBatteryAlert(int level) {
    m_batteryAlert = level;
    updateTrayToolTip();
}

void mainWindow::slotOnBatteryWarning(const QString& message) {
    showTrayMessage(tr("Ambrel"), message);
}

void mainWindow::updateTrayToolTip() {
    if (m_powerCharge < 0) return;
    const int charge = m_powerCharge;
    QString tip;
    if (!m_powerDcOk && m_batteryAlert == 2)
        tip = tr("Ambrel — on battery, %1 %, low battery (critical)").arg(charge);
    else if (!m_powerDcOk && m_batteryAlert == 1)
        tip = tr("Ambrel — on battery, %1 %, low battery").arg(charge);
    else if (!m_powerDcOk)
        tip = tr("Ambrel — on battery, %1 %").arg(charge);
    else if (charge >= 100)
        tip = tr("Ambrel — on DC, %1 %, fully charged").arg(charge);
    else if (m_powerSource == 1)
        tip = tr("Ambrel — on DC, %1 %, charging").arg(charge);
    else
        tip = tr("Ambrel — on DC, %1 %").arg(charge);
    m_trayIcon->setToolTip(tip);
}

void mainWindow::slotOnNotConnected() {
    m_powerCharge = -1;
    setTrayIcon(image("NotConnected.png"));
    m_trayIcon->setToolTip(tr("Ambrel — not connected"));
}

void mainWindow::slotOnCurrentTabChanged(int index) {
    // Only the page in front runs its display timers: every page is switched
    // off first, then the one of the new tab on. The status page's polling,
    // which watches the power, runs whatever page is in front.
    const QList<baseWidget*> pages = {m_statusMonitorWidget, m_historyWidget, m_configWidget};
    for (baseWidget* page : pages)
        page->slotOnSetEnabled(false);
    if (baseWidget* front = qobject_cast<baseWidget*>(m_tabWidget->widget(index)))
        front->slotOnSetEnabled(true);
}

void mainWindow::slotOnPowerEvent(bool dcOk) {
    // Once per edge of the DC input: a 16-pixel icon alone is easy to miss.
    if (dcOk)
        showTrayMessage(tr("Ambrel"), tr("DC is connected."));
    else
        showTrayMessage(tr("Ambrel"), tr("DC is broken."));
}

void mainWindow::slotOnConnect(comSettings& settings) {
    m_autoHide = settings.autoHide;
}

void mainWindow::slotOnSetUITite(QString str) {
    setWindowTitle(tr("Ambrel_") + str);
    m_deviceType = str;
    emit signalOnGetDeviceType(str);
}

void mainWindow::slotOnLanguageSelected(QAction* action) {
    if (action == nullptr || m_languageMenu == nullptr) return;
    const bool checked = action->isChecked();
    const QList<QAction*> actions = m_languageMenu->actions();
    // One language stays checked, also when the current one was clicked again.
    for (QAction* each : actions)
        each->setChecked(each == action);
    if (!checked) return;

    const int position = actions.indexOf(action);
    const int files = m_languageCheck->languageFiles().size();
    if (position >= 0 && position < files) {
        settingsStore::setLanguageIndex(static_cast<uint>(position));
        const QMessageBox::StandardButton answer = QMessageBox::question(
            nullptr, tr("Language Settings"),
            tr("The language settings need to be restarted to take effect. Do you want to "
               "restart now?"),
            QMessageBox::Yes | QMessageBox::No);
        if (answer == QMessageBox::Yes) QCoreApplication::exit(kRestartExitCode);
    } else if (files > 0) {
        settingsStore::setLanguageIndex(0);
    }
}

void mainWindow::slotOnShowConfigWidget(bool checked) {
    if (!checked) {
        closeConfigTab();
        return;
    }
    // Added behind the tabs there are; the page starts its refresh only when
    // the user selects it.
    if (m_tabWidget->indexOf(m_configWidget) < 0) m_tabWidget->addTab(m_configWidget, tr("Config"));
}

void mainWindow::closeConfigTab() {
    // Closing the current tab makes "Status Monitor" current (not the tab
    // beside it), and the tab change switches that page on.
    for (int i = m_tabWidget->count() - 1; i >= 0; --i) {
        if (m_tabWidget->widget(i) != m_configWidget) continue;
        m_configWidget->slotOnSetEnabled(false);
        m_configAction->setChecked(false);
        if (m_tabWidget->currentIndex() == i) m_tabWidget->setCurrentIndex(0);
        m_tabWidget->removeTab(i);
    }
}

void mainWindow::setUrlOpener(UrlOpener opener) {
    m_urlOpener = std::move(opener);
}

void mainWindow::slotOnHelpClicked() {
    const QString selectFile = appPaths::readableFile(QLatin1String(kSelectFile));
    QString product;
    uint language = 0;
    if (isConnected()) {
        language = QSettings(selectFile, QSettings::IniFormat)
                       .value(QStringLiteral("/SELECTED/Language"), 0)
                       .toUInt();
        product = m_deviceType;
    } else {
        m_loginDialog = new loginDialog(nullptr);
        const bool accepted = m_loginDialog->exec() == QDialog::Accepted;
        delete m_loginDialog;
        m_loginDialog = nullptr;
        // The dialog may just have written the file the choice is read from.
        const QSettings select(appPaths::readableFile(QLatin1String(kSelectFile)),
                               QSettings::IniFormat);
        if (accepted) product = select.value(QStringLiteral("/SELECTED/Name")).toString();
        // The language chosen at start-up holds also after a cancelled choice.
        language = select.value(QStringLiteral("/SELECTED/Language"), 0).toUInt();
    }

    // A file URL built from the path, not from text: a folder name holding
    // '#', '?', '%' or blanks still names the right file.
    const QString path =
        appPaths::dataDir() + QStringLiteral("/help/") + product + QLatin1Char('/') + product +
        (language == 0 ? QStringLiteral("help.chm") : QStringLiteral("help_en.chm"));
    const QUrl url = QUrl::fromLocalFile(path);
    // The desktop hands a file without a viewer to xdg-open, which fails
    // where nobody sees it: say what is missing and how to get it.
    const bool viewer = m_helpViewerCheck ? m_helpViewerCheck() : chmViewerInstalled();
    if (!viewer) {
        const QString text =
            tr("No program to open .chm files is installed: install xchm "
               "(for example with \"sudo apt-get install xchm\").");
        consolePrint::instance().printMsg(text);
        QMessageBox::information(this, tr("Help"), text);
        return;
    }
    const bool opened = m_urlOpener ? m_urlOpener(url) : QDesktopServices::openUrl(url);
    if (!opened) consolePrint::instance().printMsg(tr("Cannot open help file: %1").arg(path));
}

void mainWindow::setHelpViewerCheck(std::function<bool()> check) {
    m_helpViewerCheck = std::move(check);
}

// xchm on the path, or any viewer the desktop names for compiled help.
bool mainWindow::chmViewerInstalled() {
    if (!QStandardPaths::findExecutable(QStringLiteral("xchm")).isEmpty()) return true;
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                             QStringLiteral("application/vnd.ms-htmlhelp")});
    if (!query.waitForFinished(2000)) {
        query.kill();
        query.waitForFinished(1000);
        return true;  // cannot tell: let the desktop try
    }
    return !query.readAllStandardOutput().trimmed().isEmpty();
}

void mainWindow::slotOnAbout() {
    QMessageBox box(this);
    box.setObjectName(QStringLiteral("aboutBox"));
    box.setWindowTitle(tr("About"));
    box.setIconPixmap(QIcon(image("main_cnc.png")).pixmap(64, 64));
    box.setTextFormat(Qt::RichText);
    box.setText(
        QStringLiteral("<h3>%1</h3>").arg(tr("Ambrel").toHtmlEscaped()) +
        QStringLiteral("<p>%1<br>%2</p>")
            .arg(tr("Version %1").arg(QStringLiteral(QXUPS_VERSION)).toHtmlEscaped(),
                 tr("Driver version %1").arg(m_drvVersion).toHtmlEscaped()) +
        QStringLiteral("<p>%1</p>")
            .arg(
                tr("Monitors and configures the DC UPS module on a serial line.").toHtmlEscaped()) +
        QStringLiteral("<p>%1</p>")
            .arg(tr("Copyright (C) 2026 Tarvel. All rights reserved. This program is "
                    "provided as is, without warranty of any kind.")
                     .toHtmlEscaped()));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}
