// The main window: its actions, menus, tool bars, pages and their wiring.
#include "mainWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QFile>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>

#include "appPaths.h"
#include "comSettings.h"
#include "comSettingsWidget.h"
#include "configDialog.h"
#include "configWidget.h"
#include "consolePrint.h"
#include "historyRecorder.h"
#include "historyStore.h"
#include "helpLauncher.h"
#include "historyWidget.h"
#include "inforWidget.h"
#include "languageChooser.h"
#include "logDockSizer.h"
#include "monitorThread.h"
#include "nutVariablesWidget.h"
#include "restartHandover.h"
#include "statusBarPresenter.h"
#include "statusMonitorWidget.h"
#include "trayPresenter.h"
#include "upsDataModel.h"

namespace {

const char kImages[] = ":/mainWindow/images/UPS/";

#ifndef QXUPS_VERSION
#define QXUPS_VERSION "0.0.0"
#endif

QString image(const char* name) {
    return QLatin1String(kImages) + QLatin1String(name);
}

// A page that scrolls when the window is smaller than the page needs, rather
// than squeezing its controls over each other.
QScrollArea* scrolling(QWidget* page, QWidget* parent) {
    QScrollArea* area = new QScrollArea(parent);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidget(page);
    return area;
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

    setWindowTitle(tr("Ambrel"));
    setWindowIcon(QIcon(image("main_cnc.png")));
    loadStyleSheet();

    m_autoHidden = false;
    m_autoHide = false;

    m_helpLauncher = new helpLauncher(this);
    createActions();
    createMenus();
    createToolBars();
    m_trayPresenter = new trayPresenter(this);
    m_statusBarPresenter = new statusBarPresenter(this);
    createWidgets();

    m_updateTimer = new QTimer(this);
    m_updateTimer->setInterval(100);
    connect(m_updateTimer, &QTimer::timeout, this, &mainWindow::slotOnUpdate);
    m_updateTimer->start();

    fitToContents();
}

mainWindow::~mainWindow() = default;

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
    m_configAction = new QAction(QIcon(image("config.png")), tr("Config"), this);
    m_configAction->setObjectName(QStringLiteral("m_configAction"));
    m_configAction->setToolTip(tr("Show the configuration tab (while a module is connected)"));
    m_configAction->setCheckable(true);
    connect(m_configAction, &QAction::triggered, this, &mainWindow::slotOnShowConfigWidget);
    m_aboutAction = new QAction(QIcon(image("about.png")), tr("About"), this);
    m_aboutAction->setObjectName(QStringLiteral("m_aboutAction"));
    m_aboutAction->setToolTip(tr("About the tool"));
    m_helpAction = new QAction(QIcon(image("help.png")), tr("Help"), this);
    m_helpAction->setObjectName(QStringLiteral("m_helpAction"));
    m_languageChooser = new languageChooser(this);
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
    m_languageMenu = m_languageChooser->addMenuTo(menuBar());
    m_helpMenu = menuBar()->addMenu(tr("Help"));
    m_helpMenu->addAction(m_helpAction);
    m_helpMenu->addAction(m_aboutAction);
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
    // The Config tab is found beside Help, not only in the Option menu.
    m_helpToolBar->addAction(m_configAction);
    m_helpToolBar->addAction(m_helpAction);
    // From the tool bar the tab comes to the front: a button that only added
    // a tab behind the page in view would seem to do nothing. The menu entry
    // adds it behind, as it always has.
    if (QAbstractButton* button =
            qobject_cast<QAbstractButton*>(m_helpToolBar->widgetForAction(m_configAction))) {
        connect(button, &QAbstractButton::clicked, this, [this]() {
            QTimer::singleShot(0, this, [this]() {
                const int index = m_tabWidget->indexOf(m_configWidget);
                if (index >= 0) m_tabWidget->setCurrentIndex(index);
            });
        });
    }
    for (QToolBar* bar : {m_connectToolBar, m_disconnectToolBar, m_helpToolBar})
        bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
}

void mainWindow::createWidgets() {
    m_inforWidget = new inforWidget(this);
    QDockWidget* informationDock = new QDockWidget(tr("Information"), this);
    informationDock->setObjectName(QStringLiteral("m_informationDock"));
    informationDock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    informationDock->setAllowedAreas(Qt::BottomDockWidgetArea);
    informationDock->setWidget(m_inforWidget);
    addDockWidget(Qt::BottomDockWidgetArea, informationDock);
    // The log's height follows the window's, at the share the user dragged
    // it to (remembered).
    m_logDockSizer = new logDockSizer(this, informationDock);
    m_informationDock = informationDock;

    m_comSettingsWidget = new comSettingsWidget(this);
    QDockWidget* commDock = new QDockWidget(tr("Comm"), this);
    commDock->setObjectName(QStringLiteral("m_commDock"));
    commDock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    commDock->setAllowedAreas(Qt::LeftDockWidgetArea);
    m_commScroll = scrolling(m_comSettingsWidget, commDock);
    // The panel scrolls up and down only: it is never narrower than its
    // controls.
    m_commScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_commScroll->setMinimumWidth(m_comSettingsWidget->minimumSizeHint().width() +
                                  m_commScroll->verticalScrollBar()->sizeHint().width());
    commDock->setWidget(m_commScroll);
    addDockWidget(Qt::LeftDockWidgetArea, commDock);
    // The dock opens as wide as the page asks, not at its narrowest
    // (fitToContents).
    m_commDock = commDock;

    m_tabWidget = new QTabWidget(this);
    m_tabWidget->setObjectName(QStringLiteral("m_tabWidget"));
    m_pagesScroll = scrolling(m_tabWidget, this);
    m_pagesScroll->setObjectName(QStringLiteral("m_pagesScroll"));
    setCentralWidget(m_pagesScroll);

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

    // Before the link state is wired: a connection brings back the tab a
    // restart handed over.
    m_restartHandover = new restartHandover(m_tabWidget, m_inforWidget->statusOutput(),
                                            m_configAction, m_configWidget, this);

    consolePrint& console = consolePrint::instance();
    connect(&console, &consolePrint::signalShowMsg, m_inforWidget, &inforWidget::slotOnShowMsg);
    connect(&console, &consolePrint::signalShowHwVer, m_statusBarPresenter,
            &statusBarPresenter::slotOnShowHwVer);
    connect(&console, &consolePrint::signalShowFwVer, m_statusBarPresenter,
            &statusBarPresenter::slotOnShowFwVer);
    connect(&console, &consolePrint::signalShowDrvVer, m_statusBarPresenter,
            &statusBarPresenter::slotOnShowDrvVer);
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
    connect(m_statusMonitorWidget, &statusMonitorWidget::signalPowerSummary, m_trayPresenter,
            &trayPresenter::slotOnPowerSummary);
    connect(m_comSettingsWidget, &comSettingsWidget::signalConnect, m_statusMonitorWidget,
            &statusMonitorWidget::slotOnConnect);
    // Polling ends before the device is closed; the tray stops claiming a
    // state it no longer watches.
    connect(m_comSettingsWidget, &comSettingsWidget::signalDisconnect, m_statusMonitorWidget,
            &statusMonitorWidget::slotOnDisconnect);
    connect(m_comSettingsWidget, &comSettingsWidget::signalDisconnect, m_trayPresenter,
            &trayPresenter::slotOnNotConnected);
    connect(m_statusMonitorWidget, &statusMonitorWidget::signalPowerEvent, m_trayPresenter,
            &trayPresenter::slotOnPowerEvent);
    connect(m_statusMonitorWidget, &statusMonitorWidget::signalBatteryAlert, m_trayPresenter,
            &trayPresenter::slotOnBatteryAlert);
    connect(m_statusMonitorWidget, &statusMonitorWidget::signalBatteryWarning, m_trayPresenter,
            &trayPresenter::slotOnBatteryWarning);
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
    // A UPS watched through upsd: its writable variables on the Config page.
    nutVariablesWidget* variables = m_configWidget->nutVariables();
    connect(worker, &monitorThread::signalNutVariablesReady, variables,
            [variables, worker]() { variables->slotOnVariables(worker->nutVariables()); });
    connect(variables, &nutVariablesWidget::signalWriteVariable, worker,
            &monitorThread::requestNutWrite);
    connect(worker, &monitorThread::signalNutWritten, variables,
            &nutVariablesWidget::slotOnWritten);
    createPowerActions();
}

bool mainWindow::isConnected() const {
    return m_statusMonitorWidget->linkState() == monitorThread::Connected;
}

void mainWindow::slotOnLinkState(int state) {
    m_trayPresenter->followLinkState(state, m_statusMonitorWidget->worker()->silentSinceMs());
    slotOnUpdate();
    if (state != monitorThread::Connected) return;
    if (m_configBackOnLink) {
        m_configBackOnLink = false;
        if (!m_configAction->isChecked()) m_configAction->trigger();
        if (m_configBackInFront) m_tabWidget->setCurrentWidget(m_configWidget);
    }
    // After a restart, the tabs that were open come back once connected.
    m_restartHandover->slotOnConnected();
}

void mainWindow::stopDeviceWork() {
    m_updateTimer->stop();
    // The status page stops its script and the device worker, which closes
    // the device.
    m_statusMonitorWidget->shutdown();
    // Whatever is queued reaches the file before the program ends.
    m_historyStore->stop();
}

QStringList mainWindow::restartArguments() const {
    return m_restartHandover->restartArguments(isConnected());
}

void mainWindow::resumeAfterRestart(const QStringList& arguments) {
    if (m_restartHandover->resumeAfterRestart(arguments)) m_comSettingsWidget->slotOnConnect();
}

bool mainWindow::trayAvailable() const {
    return m_trayPresenter->trayAvailable();
}

void mainWindow::setTrayAvailable(bool available) {
    m_trayPresenter->setTrayAvailable(available);
}

const QString& mainWindow::trayIconPath() const {
    return m_trayPresenter->iconPath();
}

void mainWindow::showTrayMessage(const QString& title, const QString& message) {
    m_trayPresenter->showMessage(title, message);
}

const QStringList& mainWindow::trayMessages() const {
    return m_trayPresenter->messages();
}

void mainWindow::slotOnUpdate() {
    const monitorThread::State state = m_statusMonitorWidget->linkState();
    if (state == monitorThread::Connected) {
        m_connectToolBar->setEnabled(false);
        m_connectAction->setEnabled(false);
        m_disconnectToolBar->setEnabled(true);
        m_disconnectAction->setEnabled(true);
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
        // The configuration page never stays open without a device. Closed
        // by a lost line, it comes back with the line (in front again if it
        // was); a Disconnect closes it for good.
        if (state == monitorThread::Reconnecting && m_tabWidget->indexOf(m_configWidget) >= 0) {
            m_configBackOnLink = true;
            m_configBackInFront = m_tabWidget->currentWidget() == m_configWidget;
        } else if (closing) {
            m_configBackOnLink = false;
        }
        closeConfigTab();
    }
    m_statusBarPresenter->showLinkState(state, m_statusMonitorWidget->worker());
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

void mainWindow::slotOnConnect(comSettings& settings) {
    m_autoHide = settings.autoHide;
    m_configWidget->setNutMode(settings.isNut());
}

void mainWindow::slotOnSetUITite(QString str) {
    setWindowTitle(tr("Ambrel_") + str);
    m_deviceType = str;
    emit signalOnGetDeviceType(str);
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
    m_helpLauncher->setUrlOpener(std::move(opener));
}

void mainWindow::setHelpViewerCheck(std::function<bool()> check) {
    m_helpLauncher->setHelpViewerCheck(std::move(check));
}

bool mainWindow::chmViewerInstalled() {
    return helpLauncher::chmViewerInstalled();
}

void mainWindow::slotOnHelpClicked() {
    m_helpLauncher->showHelp(isConnected(), m_deviceType);
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
                 tr("Driver version %1")
                     .arg(m_statusBarPresenter->driverVersion())
                     .toHtmlEscaped()) +
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
