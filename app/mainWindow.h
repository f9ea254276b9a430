// The program's only top-level window: the message page and the settings page
// in docks, the tab pages in the centre (both scroll in a small window), menus,
// tool bars and the status bar. It owns the status bar's labels
// (statusBarPresenter), the log dock's height (logDockSizer), the Language menu
// (languageChooser), the tray icon (trayPresenter), the restart hand-over
// (restartHandover) and the help launcher (helpLauncher). Its constructor
// wires the pages together.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <functional>

class QAction;
class QCloseEvent;
class QDockWidget;
class QMenu;
class QScrollArea;
class QTabWidget;
class QTimer;
class QToolBar;
class QUrl;
class helpLauncher;
class restartHandover;
class trayPresenter;
class comSettings;
class comSettingsWidget;
class configWidget;
class historyStore;
class historyWidget;
class inforWidget;
class languageChooser;
class logDockSizer;
class statusBarPresenter;
class statusMonitorWidget;

class mainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit mainWindow(QWidget* parent = nullptr);
    ~mainWindow() override;

    // Stops everything that works on the device before the program quits or
    // restarts (the device worker closes the device after the request under
    // way), so that no thread outlives the objects it uses and a restarted
    // program finds its port free. The entry calls it once the event loop has
    // ended.
    void stopDeviceWork();

    // For the language restart: the arguments that bring the successor back
    // as this window is now (connected again when it is connected, the same
    // tab in front, the last lines of the log). Called before stopDeviceWork.
    QStringList restartArguments() const;
    // Applies what a predecessor's restartArguments() gave; nothing without
    // "--restarted".
    void resumeAfterRestart(const QStringList& arguments);
    // The history the window keeps; events found elsewhere are recorded
    // through it (historyStore::recordEvent queues and returns).
    historyStore* history() const { return m_historyStore; }
    // Whether the device is open as the worker last reported (no line I/O).
    bool isConnected() const;

    // Whether the desktop offers a system tray: asked of the desktop each time,
    // unless a test has decided it with setTrayAvailable().
    bool trayAvailable() const;
    void setTrayAvailable(bool available);
    // The resource path of the icon the tray icon shows.
    const QString& trayIconPath() const;
    // Shows a desktop notification through the tray icon (when there is a
    // tray) and records it as "title: message".
    void showTrayMessage(const QString& title, const QString& message);
    const QStringList& trayMessages() const;

    // Opens the address of a help file; returns whether the desktop took it.
    // The default hands it to the desktop's handler; tests capture it.
    using UrlOpener = std::function<bool(const QUrl&)>;
    void setUrlOpener(UrlOpener opener);
    // Whether a viewer for .chm files is installed; tests replace the check.
    void setHelpViewerCheck(std::function<bool()> check);
    static bool chmViewerInstalled();
    // Asks whether to quit while the computer is on battery: gets the
    // question, returns the answer. The default is a message box; tests answer.
    using QuitConfirmer = std::function<bool(const QString&)>;
    void setQuitConfirmer(QuitConfirmer confirmer);

signals:
    void signalOnGetDeviceType(QString str);

protected:
    void closeEvent(QCloseEvent* event) override;

protected slots:
    void slotOnAbout();

private slots:
    void slotOnUpdate();
    void slotOnConnect(comSettings& settings);
    void slotOnSetUITite(QString str);
    void slotOnCurrentTabChanged(int index);
    void slotOnShowConfigWidget(bool checked);
    void slotOnHelpClicked();
    void slotOnLinkState(int state);
    void slotOnQuitRequested();
    void slotOnPending(qint64 secondsToGo);

private:
    void loadStyleSheet();
    void createActions();
    void createMenus();
    void createToolBars();
    void createWidgets();
    void fitToContents();
    void widenCommDock();
    void closeConfigTab();
    // The cancel action, the countdown and the time left in the status bar
    // and the tray, the notices, the action settings (mainWindowPower.cpp).
    void createPowerActions();
    // Whether the user's quit may go ahead: asked while on battery.
    bool confirmQuit();

    languageChooser* m_languageChooser = nullptr;
    inforWidget* m_inforWidget = nullptr;
    comSettingsWidget* m_comSettingsWidget = nullptr;
    QTabWidget* m_tabWidget = nullptr;
    QScrollArea* m_pagesScroll = nullptr;  // the tab pages, scrolling in a small window
    QScrollArea* m_commScroll = nullptr;   // the Comm panel, scrolling in a low window
    QDockWidget* m_commDock = nullptr;
    QDockWidget* m_informationDock = nullptr;
    int m_commDockWidth = 0;  // the width the Comm dock opens with
    logDockSizer* m_logDockSizer = nullptr;
    statusMonitorWidget* m_statusMonitorWidget = nullptr;
    configWidget* m_configWidget = nullptr;  // in a tab only while shown
    historyStore* m_historyStore = nullptr;
    historyWidget* m_historyWidget = nullptr;

    QAction* m_connectAction = nullptr;
    QAction* m_disconnectAction = nullptr;
    QAction* m_configAction = nullptr;
    QAction* m_aboutAction = nullptr;
    QAction* m_helpAction = nullptr;
    QAction* m_cancelPendingAction = nullptr;

    QMenu* m_controlMenu = nullptr;
    QMenu* m_optionMenu = nullptr;
    QMenu* m_languageMenu = nullptr;
    QMenu* m_helpMenu = nullptr;

    QToolBar* m_connectToolBar = nullptr;
    QToolBar* m_disconnectToolBar = nullptr;
    QToolBar* m_helpToolBar = nullptr;

    statusBarPresenter* m_statusBarPresenter = nullptr;
    trayPresenter* m_trayPresenter = nullptr;
    restartHandover* m_restartHandover = nullptr;
    helpLauncher* m_helpLauncher = nullptr;

    QTimer* m_updateTimer = nullptr;
    bool m_autoHide = false;
    bool m_autoHidden = false;
    QString m_deviceType;
    bool m_configBackOnLink = false;   // the Config tab closed at a line loss: reopen it
    bool m_configBackInFront = false;  // ... and it was in front
    QuitConfirmer m_quitConfirmer;
    bool m_sessionEnding = false;  // the desktop session ends: quit without asking
};
