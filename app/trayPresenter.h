// The tray icon: its menu, the image and tool tip that follow the power, the
// time left, a pending post-process action and the link, and the desktop
// notifications it shows. Its Quit asks the window (signalQuitRequested),
// which may ask the user first.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QSystemTrayIcon>

class QAction;
class QMenu;
class QWidget;

class trayPresenter : public QObject {
    Q_OBJECT
public:
    // The menu is a child of the window, so it takes the window's style sheet;
    // Restore, Minimize and a click on the icon act on the window.
    explicit trayPresenter(QWidget* window);

    // Whether the desktop offers a system tray: asked of the desktop each time,
    // unless a test has decided it with setTrayAvailable().
    bool trayAvailable() const;
    void setTrayAvailable(bool available);
    // Whether the window may hide: only where the tray can bring it back.
    bool canHideWindow() const;
    // The resource path of the icon the tray icon shows.
    const QString& iconPath() const { return m_iconPath; }
    // Shows a desktop notification through the tray icon (when there is a
    // tray) and records it as "title: message".
    void showMessage(const QString& title, const QString& message);
    const QStringList& messages() const { return m_messages; }
    // Follows a new link state: a lost line clears what the tray showed and is
    // notified once (with the time of the module's last answer, silentSinceMs,
    // when known), its return too.
    void followLinkState(int state, qint64 silentSinceMs);
    // An action of the window's in the menu, above Quit.
    void addMenuAction(QAction* action);

signals:
    void signalQuitRequested();

public slots:
    void slotOnChangeTrayIcon(bool state);
    void slotOnPowerSummary(bool dcOk, int charge, int source);
    void slotOnPowerEvent(bool dcOk);
    void slotOnBatteryAlert(int level);
    void slotOnBatteryWarning(const QString& message);
    void slotOnNotConnected();
    // The time left on battery (seconds, -1 unknown).
    void slotOnRuntime(qint64 secondsLeft);
    // The countdown of a pending post-process action (seconds, -1 none).
    void slotOnPending(qint64 secondsToGo);

private slots:
    void slotOnTrayIconActivated(QSystemTrayIcon::ActivationReason reason);

private:
    void setIcon(const QString& path);
    // The image for the last state reported: DC, battery or low battery.
    void updatePowerIcon();
    void updateToolTip();
    // The state's tip, with the countdown below it while one runs.
    void setToolTip(const QString& tip);

    QWidget* m_window;
    QSystemTrayIcon* m_trayIcon = nullptr;
    QMenu* m_trayMenu = nullptr;
    QAction* m_minimizeAction = nullptr;
    QAction* m_restoreAction = nullptr;
    QAction* m_quitAction = nullptr;
    QString m_iconPath;
    QStringList m_messages;
    int m_trayOverride = -1;  // -1 ask the desktop, 0 no tray, 1 a tray
    // The last state reported for the tool tip; charge -1 while none.
    bool m_powerDcOk = false;
    bool m_powerKnown = false;  // a power summary has come since the last reset
    int m_powerCharge = -1;     // -1: the UPS gives no charge
    int m_powerSource = 0;
    int m_batteryAlert = 0;  // 0 none, 1 warning level, 2 critical level
    qint64 m_runtimeS = -1;  // time left on battery, -1 unknown
    qint64 m_pendingS = -1;  // seconds to a pending action, -1 none
    QString m_stateTip;
    int m_shownLinkState = 0;      // the link state the tray and notifications last followed
    bool m_lossAnnounced = false;  // a lost line was notified; its return will be
};
