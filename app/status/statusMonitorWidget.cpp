// The status page: its layout, the link's state, the power decisions and the script.
#include "statusMonitorWidget.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QResizeEvent>
#include <QSpacerItem>
#include <QTimer>
#include <QVBoxLayout>

#include "batThread.h"
#include "batteryWidget.h"
#include "comSettings.h"
#include "consolePrint.h"
#include "ledWidget.h"
#include "powerActions.h"
#include "settingsStore.h"

namespace {

// Post-process policy codes; the DC loss's is the action policy's business.
const int kPolicyOnDcLoss = 1;
const int kPolicyOnSwOn = 2;

const int kLedMinWidth = 60;
const int kLedMinHeight = 70;

// The indicators' width: at least 60, and wide enough for the longest caption
// (translations included). An indicator sizes its caption font from its
// shorter side (a sixth of it, in points), so the font is the one it will use
// at that width and the minimum height.
int indicatorWidth(const QFont& base, const QStringList& captions) {
    const int margin = 6;
    for (int width = kLedMinWidth;; width += 2) {
        QFont font(base);
        font.setFamily(QStringLiteral("Microsoft Yahei"));
        font.setPointSize(qMax(1, qMin(width, kLedMinHeight) / 3 / 2));
        const QFontMetrics metrics(font);
        int widest = 0;
        for (const QString& caption : captions)
            widest = qMax(widest, metrics.horizontalAdvance(caption));
        if (widest + margin <= width || width >= 4 * kLedMinWidth) return width;
    }
}

}  // namespace

statusMonitorWidget::statusMonitorWidget(QWidget* parent) : baseWidget(parent) {
    // An all-zero block until the first read: a device type with voltages.
    const quint16 zeros[qxwatch::kStatusWords] = {};
    m_lastView = qxwatch::decodeStatus(zeros);
    createLayout();

    m_pollCycle = 10;

    m_monitorThread = new monitorThread(this);
    m_monitorThread->setObjectName(QStringLiteral("m_monitorThread"));
    connect(m_monitorThread, &monitorThread::signalFinished, this,
            &statusMonitorWidget::slotOnReadResultReady);
    connect(m_monitorThread, &monitorThread::signalStateChanged, this,
            &statusMonitorWidget::slotOnWorkerState);

    m_batThread = new batThread(this);
    m_batThread->setObjectName(QStringLiteral("m_batThread"));

    m_actions = new powerActions(this);
    m_actions->setObjectName(QStringLiteral("m_actions"));
    connect(m_actions, &powerActions::signalRunScript, this, &statusMonitorWidget::startScript);
    connect(m_actions, &powerActions::signalRuntime, this, &statusMonitorWidget::slotOnRuntime);

    slotOnLoadFromRegisterTable();
    showPlaceholders();

    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setObjectName(QStringLiteral("m_refreshTimer"));
    m_refreshTimer->setInterval(kRefreshIntervalMs);
    connect(m_refreshTimer, &QTimer::timeout, this, &statusMonitorWidget::slotOnUpdate);
}

statusMonitorWidget::~statusMonitorWidget() {
    shutdown();
}

QLabel* statusMonitorWidget::createLabel(QWidget* parent, const char* name, const QString& text,
                                         int minWidth) {
    QLabel* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setMinimumWidth(minWidth);
    return label;
}

ledWidget* statusMonitorWidget::createLed(QWidget* parent, const char* name,
                                          const QString& caption) {
    ledWidget* led = new ledWidget(parent);
    led->setObjectName(QLatin1String(name));
    led->setMinimumSize(kLedMinWidth, kLedMinHeight);
    led->setText(caption);
    return led;
}

void statusMonitorWidget::createLayout() {
    setObjectName(QStringLiteral("statusMonitorWidget"));
    setWindowTitle(tr("statusMonitorWidget"));
    resize(713, 543);

    QVBoxLayout* pageLayout = new QVBoxLayout(this);
    pageLayout->setSpacing(6);
    pageLayout->setContentsMargins(11, 11, 11, 11);

    // Battery Status: five caption/value rows on the left, the gauge on the right.
    m_grpBatteryStatus = new QGroupBox(tr("Battery Status"), this);
    m_grpBatteryStatus->setObjectName(QStringLiteral("m_grpBatteryStatus"));
    QHBoxLayout* batteryLayout = new QHBoxLayout(m_grpBatteryStatus);
    batteryLayout->setSpacing(6);
    batteryLayout->setContentsMargins(11, 11, 11, 11);
    QGridLayout* rows = new QGridLayout();
    rows->setHorizontalSpacing(6);
    rows->setVerticalSpacing(6);

    QWidget* box = m_grpBatteryStatus;
    m_lblPolicyMode = createLabel(box, "m_lblPolicyMode", tr("Policy Mode:"), 100);
    // The values are filled in by the idle display (showPlaceholders) until a block is read.
    m_lblPolicyModeValue = createLabel(box, "m_lblPolicyModeValue", QString(), 80);
    m_lblPowerSupply = createLabel(box, "m_lblPowerSupply", tr("Power Supply:"), 100);
    m_lblPowerSupplyValue = createLabel(box, "m_lblPowerSupplyValue", QString(), 80);
    m_lblBatteryChargingStatus =
        createLabel(box, "m_lblBatteryChargingStatus", tr("Battery Status:"), 100);
    m_lblBatteryChargingStatusValue =
        createLabel(box, "m_lblBatteryChargingStatusValue", QString(), 80);
    m_lblVoltageInput = createLabel(box, "m_lblVoltageInput", tr("Voltage Input:"), 100);
    m_lblVoltageInputValue = createLabel(box, "m_lblVoltageInputValue", QString(), 80);
    m_lblVoltageOutput = createLabel(box, "m_lblVoltageOutput", tr("Voltage Output:"), 100);
    m_lblVoltageOutputValue = createLabel(box, "m_lblVoltageOutputValue", QString(), 80);
    m_lblTimeLeft = createLabel(box, "m_lblTimeLeft", tr("Time left:"), 100);
    m_lblTimeLeftValue = createLabel(box, "m_lblTimeLeftValue", tr("unknown"), 80);

    QLabel* const captions[] = {m_lblPolicyMode,   m_lblPowerSupply,   m_lblBatteryChargingStatus,
                                m_lblVoltageInput, m_lblVoltageOutput, m_lblTimeLeft};
    QLabel* const values[] = {
        m_lblPolicyModeValue,   m_lblPowerSupplyValue,   m_lblBatteryChargingStatusValue,
        m_lblVoltageInputValue, m_lblVoltageOutputValue, m_lblTimeLeftValue};
    for (int row = 0; row < 6; ++row) {
        rows->addWidget(captions[row], row, 0);
        rows->addWidget(values[row], row, 1);
    }
    // The time left shows only on battery; its row keeps its place while
    // hidden, so the rows above never move when the DC comes and goes.
    for (QLabel* label : {m_lblTimeLeft, m_lblTimeLeftValue}) {
        QSizePolicy policy = label->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        label->setSizePolicy(policy);
        label->hide();
    }
    batteryLayout->addLayout(rows);
    batteryLayout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    m_batteryWidget = new batteryWidget(m_grpBatteryStatus);
    m_batteryWidget->setObjectName(QStringLiteral("m_batteryWidget"));
    m_batteryWidget->setMinimumWidth(kGaugeBaseWidth);
    m_batteryWidget->setIdle(true);  // until a first block is read
    batteryLayout->addWidget(m_batteryWidget);
    pageLayout->addWidget(m_grpBatteryStatus);

    // DO Status: the module's outputs.
    m_grpDoStatus = new QGroupBox(tr("DO Status"), this);
    m_grpDoStatus->setObjectName(QStringLiteral("m_grpDoStatus"));
    QHBoxLayout* doLayout = new QHBoxLayout(m_grpDoStatus);
    doLayout->setSpacing(30);
    doLayout->setContentsMargins(11, 11, 11, 11);
    m_ledDC_OK = createLed(m_grpDoStatus, "m_ledDC_OK", tr("DC_OK"));
    m_ledBatMode = createLed(m_grpDoStatus, "m_ledBatMode", tr("Bat.Mode"));
    m_ledBatReady = createLed(m_grpDoStatus, "m_ledBatReady", tr("Bat.Ready"));
    m_ledSW = createLed(m_grpDoStatus, "m_ledSW", tr("SW"));
    for (ledWidget* led : {m_ledDC_OK, m_ledBatMode, m_ledBatReady, m_ledSW})
        doLayout->addWidget(led);
    doLayout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    pageLayout->addWidget(m_grpDoStatus);

    // DI Status: the module's inputs; an empty cell keeps the columns of both boxes aligned.
    m_grpDiStatus = new QGroupBox(tr("DI Status"), this);
    m_grpDiStatus->setObjectName(QStringLiteral("m_grpDiStatus"));
    QHBoxLayout* diLayout = new QHBoxLayout(m_grpDiStatus);
    diLayout->setSpacing(30);
    diLayout->setContentsMargins(11, 11, 11, 11);
    m_ledRemote = createLed(m_grpDiStatus, "m_ledRemote", tr("Remote"));
    m_ledBatStart = createLed(m_grpDiStatus, "m_ledBatStart", tr("Bat.Start"));
    m_ledDevSts = createLed(m_grpDiStatus, "m_ledDevSts", tr("Dev.PSts"));
    m_ledSW_2 = new QWidget(m_grpDiStatus);
    m_ledSW_2->setObjectName(QStringLiteral("m_ledSW_2"));
    m_ledSW_2->setMinimumSize(kLedMinWidth, kLedMinHeight);
    for (QWidget* led : {static_cast<QWidget*>(m_ledRemote), static_cast<QWidget*>(m_ledBatStart),
                         static_cast<QWidget*>(m_ledDevSts), m_ledSW_2})
        diLayout->addWidget(led);
    diLayout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    pageLayout->addWidget(m_grpDiStatus);

    // One width for all, so that the columns of both boxes line up.
    QStringList ledCaptions;
    QList<QWidget*> leds = {m_ledDC_OK,  m_ledBatMode,  m_ledBatReady, m_ledSW,
                            m_ledRemote, m_ledBatStart, m_ledDevSts,   m_ledSW_2};
    for (ledWidget* led : {m_ledDC_OK, m_ledBatMode, m_ledBatReady, m_ledSW, m_ledRemote,
                           m_ledBatStart, m_ledDevSts})
        ledCaptions << led->text();
    const int ledWidth = indicatorWidth(font(), ledCaptions);
    for (QWidget* led : leds)
        led->setMinimumWidth(ledWidth);

    pageLayout->addItem(new QSpacerItem(20, 190, QSizePolicy::Minimum, QSizePolicy::Expanding));
}

void statusMonitorWidget::shutdown() {
    m_shutDown = true;
    m_refreshTimer->stop();
    m_monitorThread->stop();
    m_batThread->stopScript();
}

// The page in front or not: only the idle display follows it. Polling, and
// with it the edges, the log, the tray and the script, runs while connected.
void statusMonitorWidget::slotOnSetEnabled(bool enabled) {
    if (enabled) {
        if (m_shutDown) return;
        m_refreshTimer->start();
    } else {
        m_refreshTimer->stop();
    }
}

void statusMonitorWidget::slotOnPolicyChanged(int policy) {
    m_policy = policy;
    m_actions->setDcLossActs(policy == kPolicyOnDcLoss);
}

void statusMonitorWidget::slotOnPollCycleChanged(quint32 value) {
    m_pollCycle = value;
}

void statusMonitorWidget::slotOnConnect(comSettings& settings) {
    m_pollCycle = settings.pollCycle();
    if (m_shutDown) return;
    m_summarySent = false;
    m_monitorThread->setPollCycle(m_pollCycle);
    // With Auto Connect the user wants the module watched whenever it can
    // be: a port not there yet (or refusing) is tried again with the back-off.
    m_lastRequest = m_monitorThread->requestOpen(settings, settings.autoConnect);
    setLinkState(monitorThread::Connecting);
    // A connection is made with this page in front (the Config tab closes
    // while disconnected), so its display runs from here on.
    slotOnSetEnabled(true);
}

void statusMonitorWidget::slotOnDisconnect() {
    if (m_shutDown) return;
    m_lastRequest = m_monitorThread->requestClose();
    setLinkState(monitorThread::Disconnecting);
}

void statusMonitorWidget::slotOnWorkerState(int state, quint64 request) {
    if (request < m_lastRequest) return;
    setLinkState(static_cast<monitorThread::State>(state));
}

void statusMonitorWidget::setLinkState(monitorThread::State state) {
    if (state == m_linkState) return;
    // After a lost line the tray hears the state of the first block again;
    // the DC/SW memory stays, so that block is compared with the last known.
    if (state == monitorThread::Reconnecting) m_summarySent = false;
    m_linkState = state;
    // Whatever was shown is no reading any more, whether or not the page is
    // in front: the idle display replaces it at once, not at the next tick.
    if (state != monitorThread::Connected) showPlaceholders();
    // While connected the blocks drive the page and the idle display has
    // nothing to do: its timer then only wakes the GUI thread, so it slows.
    m_refreshTimer->setInterval(state == monitorThread::Connected ? kConnectedRefreshMs
                                                                  : kRefreshIntervalMs);
    emit signalLinkState(state);
}

void statusMonitorWidget::resizeEvent(QResizeEvent* event) {
    baseWidget::resizeEvent(event);
    m_batteryWidget->setMinimumWidth(width() / 3);
}

QSize statusMonitorWidget::minimumSizeHint() const {
    QSize hint = baseWidget::minimumSizeHint();
    const int excess = m_batteryWidget->minimumWidth() - kGaugeBaseWidth;
    if (excess > 0) hint.setWidth(hint.width() - excess);
    return hint;
}

void statusMonitorWidget::slotOnLoadFromRegisterTable() {
    m_batPath = settingsStore::batPath();
    m_policy = settingsStore::batExecutePolicy();
    m_warnLevel = settingsStore::warnLevel();
    m_criticalLevel = settingsStore::criticalLevel();
    m_criticalRunsScript = settingsStore::criticalRunsScript();
    m_actions->setDcLossActs(m_policy == kPolicyOnDcLoss);
    m_actions->setCriticalActs(m_criticalRunsScript);
    m_actions->setRideThroughS(settingsStore::rideThroughS());
    m_actions->setRuntimeLevelMin(settingsStore::runtimeLevelMin());
    m_batteryWidget->setCriticalLevel(m_criticalLevel);
}

void statusMonitorWidget::startScript() {
    // A start while the script still runs does nothing (QThread::start).
    if (!m_shutDown) m_batThread->start();
}

void statusMonitorWidget::slotOnProcessBatScript() {
    slotOnLoadFromRegisterTable();
    if (m_batPath.isEmpty() || !QFileInfo(m_batPath).isFile()) return;
    // The script thread runs it (own process group, time limit); the caller
    // waits for it as a run in place would.
    startScript();
    m_batThread->wait();
}

void statusMonitorWidget::slotOnReadResultReady() {
    // A block read before a Disconnect was asked for is no news any more.
    if (m_shutDown || m_linkState != monitorThread::Connected) return;
    // Copies taken under the worker's lock: never a block half written.
    if (m_monitorThread->viewFromBlock()) {
        const monitorThread::statusBlock block = m_monitorThread->statusBuffer();
        decodeStatusBlock(block);
        emit signalStatusBlock(block);
    } else {
        decodeStatusView(m_monitorThread->statusView());
    }
    emit signalStatusView(m_lastView);
}

// Only edges are reported; a change between two non-zero values is none. At
// start-up the memory is unknown: a first block on battery is reported as a
// loss (log, tray, notification) but runs no script, since a machine started
// on battery would otherwise act on it at every start; a first block with SW
// on is logged without running the script for the same reason.
void statusMonitorWidget::decodeEdges(const qxwatch::StatusView& view) {
    consolePrint& console = consolePrint::instance();
    const qxwatch::PowerDecision d = m_power.update(view, m_warnLevel, m_criticalLevel);

    if (d.dc == qxwatch::DcEdge::Connected) {
        console.printMsg(tr("DC is connected."));
        emit signalDC_OK(true);
        if (d.dcBackAfterLoss) emit signalPowerEvent(true);
    } else if (d.dc == qxwatch::DcEdge::Broken) {
        console.printMsg(tr("DC is broken."));
        emit signalDC_OK(false);
        emit signalPowerEvent(false);
    }

    if (d.sw == qxwatch::SwEdge::On) {
        console.printMsg(tr("SW ON."));
        emit signalSwOutput(true);
        if (d.swActs && m_policy == kPolicyOnSwOn) startScript();
    } else if (d.sw == qxwatch::SwEdge::Off) {
        console.printMsg(tr("SW OFF."));
        emit signalSwOutput(false);
    }

    const bool dcOk = !view.onBattery;
    const int charge = view.charge;
    const int source = view.sourceCode;
    // A UPS that publishes no charge has none to show (-1), not 0 %.
    const int shownCharge = view.hasCharge ? charge : -1;
    decodeBatteryLevels(d, charge);
    // The DC loss, the time left and the critical level: the script runs on
    // the first of them due, after the log lines that say why.
    m_actions->feed(d, charge, view.onBattery);
    if (!m_summarySent || dcOk != m_lastSummaryDc || shownCharge != m_lastSummaryCharge ||
        source != m_lastSummarySource) {
        m_summarySent = true;
        m_lastSummaryDc = dcOk;
        m_lastSummaryCharge = shownCharge;
        m_lastSummarySource = source;
        emit signalPowerSummary(dcOk, shownCharge, source);
    }
}

// The levels' memory is the power watch's; this words what it reached.
void statusMonitorWidget::decodeBatteryLevels(const qxwatch::PowerDecision& d, int charge) {
    consolePrint& console = consolePrint::instance();
    if (d.warnReached) {
        const QString text =
            tr("Battery low: %1 % (warning level %2 %).").arg(charge).arg(m_warnLevel);
        console.printMsg(text);
        emit signalBatteryWarning(text);
        emit signalBatteryLevel(1, text);
    }
    if (d.criticalReached) {
        const QString text =
            tr("Battery critical: %1 % (critical level %2 %).").arg(charge).arg(m_criticalLevel);
        console.printMsg(text);
        emit signalBatteryWarning(text);
        emit signalBatteryLevel(2, text);
    }
    m_batteryWidget->setAlertLevel(d.alert);
    if (d.alert != m_batteryAlert) {
        m_batteryAlert = d.alert;
        emit signalBatteryAlert(d.alert);
    }
}

void statusMonitorWidget::slotOnBatteryLevelsChanged(int warnLevel, int criticalLevel,
                                                     bool criticalRunsScript) {
    m_warnLevel = warnLevel;
    m_criticalLevel = criticalLevel;
    m_criticalRunsScript = criticalRunsScript;
    m_actions->setCriticalActs(criticalRunsScript);
    m_batteryWidget->setCriticalLevel(criticalLevel);
}

void statusMonitorWidget::slotOnActionTimingChanged(int rideThroughS, int runtimeLevelMin) {
    m_actions->setRideThroughS(rideThroughS);
    m_actions->setRuntimeLevelMin(runtimeLevelMin);
}

void statusMonitorWidget::slotOnLearnedRate(double percentPerS) {
    m_actions->setLearnedRate(percentPerS);
}

void statusMonitorWidget::slotOnCancelPendingAction() {
    m_actions->slotOnCancelPending();
}

bool statusMonitorWidget::watchingOnBattery() const {
    return m_linkState != monitorThread::Disconnected && m_power.lastDc == 0;
}
