// The status page: the live state of the module from each polled status block
// (registers 40000..40049) as five labels, the battery gauge and seven
// indicators. It owns the polling thread and the post-process script thread,
// reports DC and SW edges to the message log and starts the script when the
// stored policy asks for it (powerActions: ride-through delay, time left,
// critical level). While on battery it shows the time left. Until a block is
// read, and while the device is closed or the line lost, it shows an idle
// display of placeholders.
//
// Watching the power does not depend on what is on screen: polling runs from
// connect to disconnect whichever tab is in front and whether the window is
// shown; only the idle display's timer follows the tab. The page owns the
// device worker and keeps the GUI's view of its state: the state of the last
// request, as the worker reports it (a request made shows at once).
#pragma once

#include <QString>

#include "baseWidget.h"
#include "monitorThread.h"
#include "powerWatch.h"

class QGroupBox;
class QLabel;
class QResizeEvent;
class QTimer;
class batThread;
class batteryWidget;
class comSettings;
class ledWidget;
class powerActions;

class statusMonitorWidget : public baseWidget {
    Q_OBJECT
public:
    static const int kRefreshIntervalMs = 20;
    static const int kConnectedRefreshMs = 1000;  // the idle display's timer while connected
    static const int kGaugeBaseWidth = 200;

    explicit statusMonitorWidget(QWidget* parent = nullptr);
    ~statusMonitorWidget() override;

    // For the window's quit and restart path: stops the idle display, joins
    // the polling thread and ends a running script with everything it started.
    // Final: afterwards the page neither polls nor starts a script again.
    void shutdown();

    // Decodes one status block as a completed read does; the polling thread's
    // blocks arrive through here, and tests hand blocks in directly.
    void decodeStatusBlock(const monitorThread::statusBlock& block);
    // Watches and shows one decoded view, from a block or from upsd's
    // variables: the same rules for both. A field without a source shows as
    // unknown (a dash, a grey indicator).
    void decodeStatusView(const qxwatch::StatusView& view);

    // The page's minimum with the gauge at its base width: the gauge's minimum
    // follows the page width, and would otherwise keep a page once made wide
    // (a maximised window) from being made narrow again.
    QSize minimumSizeHint() const override;

    int policy() const { return m_policy; }
    monitorThread* worker() const { return m_monitorThread; }
    batThread* scriptThread() const { return m_batThread; }
    monitorThread::State linkState() const { return m_linkState; }
    QString batPath() const { return m_batPath; }
    powerActions* actions() const { return m_actions; }
    // Watching a module that runs on battery (a block seen, not disconnected),
    // and its charge then: what quitting would leave unprotected.
    bool watchingOnBattery() const;
    int charge() const { return m_lastView.charge; }

signals:
    // Declared for connections by name; the page does not emit it.
    void signalProcessBatScript();
    // At each edge of DC_OK (40028): true when the DC input comes, false when it goes.
    void signalDC_OK(bool state);
    // For a desktop notification: every loss of the DC input (also a first
    // reading on battery after start-up), and a return that follows a
    // reported loss (never the first reading after start-up).
    void signalPowerEvent(bool dcOk);
    // The state for the tray: sent with the first block after a connect and
    // whenever DC_OK, the charge or the power source change. source is word
    // 27 (1 on the DC input, 2 on battery).
    void signalPowerSummary(bool dcOk, int charge, int source);
    // The low-battery level reached on battery: 0 none, 1 warning, 2 critical;
    // sent when it changes.
    void signalBatteryAlert(int level);
    // For a desktop notification: once per discharge for each level reached.
    void signalBatteryWarning(const QString& message);
    // With each warning: the level reached (1 warning, 2 critical) and its log line.
    void signalBatteryLevel(int level, const QString& message);
    // At each SW output line in the log ("SW ON.", "SW OFF.").
    void signalSwOutput(bool on);
    // The GUI's view of the link changed (a monitorThread::State).
    void signalLinkState(int state);
    // Each block decoded while connected, for the configuration page.
    void signalStatusBlock(const monitorThread::statusBlock& block);
    // Each view decoded while connected (of a block or of upsd's
    // variables), for the history.
    void signalStatusView(const qxwatch::StatusView& view);

public slots:
    void slotOnSetEnabled(bool enabled) override;
    void slotOnPolicyChanged(int policy);
    // The warning and critical levels (percent, 0 = off) and whether reaching
    // the critical level runs the script.
    void slotOnBatteryLevelsChanged(int warnLevel, int criticalLevel, bool criticalRunsScript);
    // The ride-through delay (s, 0 = at the loss) and the runtime level (min, 0 = off).
    void slotOnActionTimingChanged(int rideThroughS, int runtimeLevelMin);
    // The discharge rate learned earlier (percent per second), from the history.
    void slotOnLearnedRate(double percentPerS);
    // Control menu: the pending DC-loss action does not run for this outage.
    void slotOnCancelPendingAction();
    // Takes effect the next time polling is started.
    void slotOnPollCycleChanged(quint32 value);
    void slotOnConnect(comSettings& settings);
    void slotOnDisconnect();

protected:
    void resizeEvent(QResizeEvent* event) override;

private slots:
    void slotOnUpdate();
    void slotOnProcessBatScript();
    void slotOnLoadFromRegisterTable();
    void slotOnReadResultReady();
    void slotOnWorkerState(int state, quint64 request);
    void slotOnRuntime(qint64 secondsLeft);

private:
    void createLayout();
    QLabel* createLabel(QWidget* parent, const char* name, const QString& text, int minWidth);
    ledWidget* createLed(QWidget* parent, const char* name, const QString& caption);
    void startScript();
    void decodeEdges(const qxwatch::StatusView& view);
    void decodeBatteryLevels(const qxwatch::PowerDecision& d, int charge);
    // The time-left row: shown only while a block on battery is on screen.
    void showTimeLeft();
    // Touches only the parts named in changed (qxwatch::Changed bits).
    void showView(const qxwatch::StatusView& view, unsigned changed);
    // The idle display: no value passes for a reading. Every value shows a
    // greyed dash, the gauge is idle and the indicators are greyed rings.
    void showPlaceholders();
    static QString policyText(quint16 code);
    void setLinkState(monitorThread::State state);

    // Battery Status
    QGroupBox* m_grpBatteryStatus;
    QLabel* m_lblPolicyMode;
    QLabel* m_lblPolicyModeValue;
    QLabel* m_lblPowerSupply;
    QLabel* m_lblPowerSupplyValue;
    QLabel* m_lblBatteryChargingStatus;
    QLabel* m_lblBatteryChargingStatusValue;
    QLabel* m_lblVoltageInput;
    QLabel* m_lblVoltageInputValue;
    QLabel* m_lblVoltageOutput;
    QLabel* m_lblVoltageOutputValue;
    QLabel* m_lblTimeLeft;
    QLabel* m_lblTimeLeftValue;
    batteryWidget* m_batteryWidget;
    // DO Status
    QGroupBox* m_grpDoStatus;
    ledWidget* m_ledDC_OK;
    ledWidget* m_ledBatMode;
    ledWidget* m_ledBatReady;
    ledWidget* m_ledSW;
    // DI Status
    QGroupBox* m_grpDiStatus;
    ledWidget* m_ledRemote;
    ledWidget* m_ledBatStart;
    ledWidget* m_ledDevSts;
    QWidget* m_ledSW_2;

    // The DC and SW memory and the levels per discharge: unknown until the
    // first block after start-up, then kept across disconnects, so that the
    // first block after a reconnect is compared with the last state known.
    qxwatch::PowerWatch m_power;
    quint32 m_pollCycle = 10;
    monitorThread::State m_linkState = monitorThread::Disconnected;
    quint64 m_lastRequest = 0;   // older state reports are out of date
    bool m_summarySent = false;  // signalPowerSummary since the last connect
    bool m_lastSummaryDc = false;
    int m_lastSummaryCharge = -1;
    int m_lastSummarySource = -1;
    int m_policy = 0;
    int m_warnLevel = 20;
    int m_criticalLevel = 5;
    bool m_criticalRunsScript = false;
    int m_batteryAlert = 0;
    QString m_batPath;
    bool m_shutDown = false;
    // The last block decoded; its device type decides the idle display's
    // voltage rows.
    qxwatch::StatusView m_lastView;
    bool m_viewShown = false;  // m_lastView is on screen (not the idle display)

    monitorThread* m_monitorThread;
    batThread* m_batThread;
    powerActions* m_actions;
    QTimer* m_refreshTimer;
};
