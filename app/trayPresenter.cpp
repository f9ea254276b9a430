// The tray icon's menu, image, tool tip and notifications.
#include "trayPresenter.h"

#include <QAction>
#include <QDateTime>
#include <QIcon>
#include <QMenu>
#include <QWidget>

#include "monitorThread.h"
#include "powerActions.h"

namespace {

QString image(const char* name) {
    return QLatin1String(":/mainWindow/images/UPS/") + QLatin1String(name);
}

}  // namespace

trayPresenter::trayPresenter(QWidget* window) : QObject(window), m_window(window) {
    m_trayIcon = new QSystemTrayIcon(this);
    // Nothing is known of the module until the first status block arrives.
    setIcon(image("NotConnected.png"));
    setToolTip(tr("Ambrel — not connected"));

    m_minimizeAction = new QAction(tr("Minimize"), this);
    m_minimizeAction->setToolTip(tr("Minimize the dialog"));
    m_restoreAction = new QAction(tr("Restore"), this);
    m_restoreAction->setToolTip(tr("Restore the dialog"));
    m_quitAction = new QAction(tr("Quit"), this);
    m_quitAction->setObjectName(QStringLiteral("m_quitAction"));
    m_quitAction->setToolTip(tr("Quit the Application"));

    m_trayMenu = new QMenu(window);
    m_trayMenu->addAction(m_restoreAction);
    m_trayMenu->addAction(m_minimizeAction);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_quitAction);
    m_trayIcon->setContextMenu(m_trayMenu);

    connect(m_trayIcon, &QSystemTrayIcon::activated, this, &trayPresenter::slotOnTrayIconActivated);
    connect(m_minimizeAction, &QAction::triggered, window, &QWidget::hide);
    connect(m_restoreAction, &QAction::triggered, window, &QWidget::showNormal);
    connect(m_quitAction, &QAction::triggered, this, &trayPresenter::signalQuitRequested);
    m_trayIcon->setVisible(true);
}

void trayPresenter::addMenuAction(QAction* action) {
    m_trayMenu->insertAction(m_quitAction, action);
}

bool trayPresenter::trayAvailable() const {
    if (m_trayOverride >= 0) return m_trayOverride == 1;
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void trayPresenter::setTrayAvailable(bool available) {
    m_trayOverride = available ? 1 : 0;
}

bool trayPresenter::canHideWindow() const {
    return trayAvailable() && m_trayIcon->isVisible();
}

void trayPresenter::setIcon(const QString& path) {
    m_iconPath = path;
    m_trayIcon->setIcon(QIcon(path));
}

void trayPresenter::showMessage(const QString& title, const QString& message) {
    m_messages.append(title + QStringLiteral(": ") + message);
    if (trayAvailable() && m_trayIcon->isVisible())
        m_trayIcon->showMessage(title, message, QSystemTrayIcon::Information);
}

void trayPresenter::slotOnTrayIconActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) {
        m_window->showNormal();
        m_window->raise();
        m_window->activateWindow();
    }
}

void trayPresenter::slotOnChangeTrayIcon(bool state) {
    setIcon(state ? image("DC.png") : image("UPS.png"));
}

void trayPresenter::slotOnPowerSummary(bool dcOk, int charge, int source) {
    m_powerKnown = true;
    m_powerDcOk = dcOk;
    m_powerCharge = charge;
    m_powerSource = source;
    updatePowerIcon();
    updateToolTip();
}

// On battery at or below the warning level the tray says so by its image:
// the tool tip alone is seen only when pointed at.
void trayPresenter::updatePowerIcon() {
    if (!m_powerKnown) return;
    if (!m_powerDcOk && m_batteryAlert > 0)
        setIcon(image("LowBattery.png"));
    else
        slotOnChangeTrayIcon(m_powerDcOk);
}

void trayPresenter::slotOnPowerEvent(bool dcOk) {
    // Once per edge of the DC input: a 16-pixel icon alone is easy to miss.
    if (dcOk)
        showMessage(tr("Ambrel"), tr("DC is connected."));
    else
        showMessage(tr("Ambrel"), tr("DC is broken."));
}

void trayPresenter::slotOnBatteryAlert(int level) {
    m_batteryAlert = level;
    updatePowerIcon();
    updateToolTip();
}

void trayPresenter::slotOnBatteryWarning(const QString& message) {
    showMessage(tr("Ambrel"), message);
}

void trayPresenter::updateToolTip() {
    if (!m_powerKnown) return;
    const int charge = m_powerCharge;
    QString tip;
    if (charge < 0)  // a UPS that publishes no charge
        tip = m_powerDcOk ? tr("Ambrel — on DC") : tr("Ambrel — on battery");
    else if (!m_powerDcOk && m_batteryAlert == 2)
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
    if (!m_powerDcOk)
        tip += QLatin1Char('\n') + tr("Time left: %1").arg(powerActions::timeLeftText(m_runtimeS));
    setToolTip(tip);
}

void trayPresenter::setToolTip(const QString& tip) {
    m_stateTip = tip;
    m_trayIcon->setToolTip(
        m_pendingS < 0 ? tip : tip + QLatin1Char('\n') + powerActions::countdownText(m_pendingS));
}

void trayPresenter::slotOnRuntime(qint64 secondsLeft) {
    m_runtimeS = secondsLeft;
    updateToolTip();
}

void trayPresenter::slotOnPending(qint64 secondsToGo) {
    m_pendingS = secondsToGo;
    setToolTip(m_stateTip);
}

void trayPresenter::slotOnNotConnected() {
    m_powerKnown = false;
    m_powerCharge = -1;
    setIcon(image("NotConnected.png"));
    setToolTip(tr("Ambrel — not connected"));
}

void trayPresenter::followLinkState(int state, qint64 silentSinceMs) {
    const int before = m_shownLinkState;
    m_shownLinkState = state;
    if (state == monitorThread::Reconnecting && before != monitorThread::Reconnecting) {
        // Nothing the tray showed is known any more.
        slotOnNotConnected();
        if (silentSinceMs > 0) {
            setToolTip(tr("Ambrel — no answer from the module since %1")
                           .arg(QDateTime::fromMSecsSinceEpoch(silentSinceMs)
                                    .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))));
        }
        // Once per lost line; a start that finds no module is no loss.
        m_lossAnnounced = before == monitorThread::Connected;
        if (m_lossAnnounced) showMessage(tr("Ambrel"), tr("Communication with the module lost."));
    } else if (state == monitorThread::Connected && m_lossAnnounced) {
        m_lossAnnounced = false;
        showMessage(tr("Ambrel"), tr("Communication with the module restored."));
    } else if (state == monitorThread::Disconnected) {
        m_lossAnnounced = false;
    }
}
