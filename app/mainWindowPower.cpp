// The main window's part in the post-process policy: the cancel action, the countdown, the quit
// question, and closing into the tray.
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QMessageBox>
#include <QSessionManager>
#include <QTimer>

#include "configWidget.h"
#include "mainWindow.h"
#include "powerActions.h"
#include "settingsStore.h"
#include "statusBarPresenter.h"
#include "statusMonitorWidget.h"
#include "trayPresenter.h"

void mainWindow::createPowerActions() {
    // Offered only while a ride-through countdown runs, in the Control menu
    // and in the tray's (the window may be hidden).
    m_cancelPendingAction = new QAction(tr("Cancel pending action"), this);
    m_cancelPendingAction->setObjectName(QStringLiteral("m_cancelPendingAction"));
    m_cancelPendingAction->setEnabled(false);
    m_controlMenu->addSeparator();
    m_controlMenu->addAction(m_cancelPendingAction);
    m_trayPresenter->addMenuAction(m_cancelPendingAction);
    connect(m_cancelPendingAction, &QAction::triggered, m_statusMonitorWidget,
            &statusMonitorWidget::slotOnCancelPendingAction);

    powerActions* actions = m_statusMonitorWidget->actions();
    connect(actions, &powerActions::signalPending, this, &mainWindow::slotOnPending);
    connect(actions, &powerActions::signalRuntime, m_trayPresenter, &trayPresenter::slotOnRuntime);
    connect(actions, &powerActions::signalNotice, this,
            [this](const QString& message) { showTrayMessage(tr("Ambrel"), message); });
    connect(m_configWidget, &configWidget::signalActionTimingChanged, m_statusMonitorWidget,
            &statusMonitorWidget::slotOnActionTimingChanged);

    connect(m_trayPresenter, &trayPresenter::signalQuitRequested, this,
            &mainWindow::slotOnQuitRequested);
    // The session's end closes the window right after this signal: the
    // desktop is going, so the program quits without asking. A shutdown the
    // session cancels leaves the window as it was.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) {
        m_sessionEnding = true;
        QTimer::singleShot(0, this, [this]() { m_sessionEnding = false; });
    });
    m_quitConfirmer = [this](const QString& question) {
        return QMessageBox::question(this, tr("Quit"), question, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    };
}

void mainWindow::setQuitConfirmer(QuitConfirmer confirmer) {
    m_quitConfirmer = std::move(confirmer);
}

void mainWindow::slotOnPending(qint64 secondsToGo) {
    m_cancelPendingAction->setEnabled(secondsToGo >= 0);
    m_statusBarPresenter->slotOnPending(secondsToGo);
    m_trayPresenter->slotOnPending(secondsToGo);
}

bool mainWindow::confirmQuit() {
    if (m_sessionEnding || !m_statusMonitorWidget->watchingOnBattery()) return true;
    const int charge = m_statusMonitorWidget->charge();
    const powerActions* actions = m_statusMonitorWidget->actions();
    const QString question =
        actions->pending()
            ? tr("Ambrel is protecting this computer: on battery, %1 %, the post-process script "
                 "runs in %2 s. Quit anyway?")
                  .arg(charge)
                  .arg(actions->secondsToGo())
            : tr("Ambrel is protecting this computer: on battery, %1 %. Quit anyway?").arg(charge);
    return m_quitConfirmer(question);
}

void mainWindow::slotOnQuitRequested() {
    if (confirmQuit()) QCoreApplication::quit();
}

void mainWindow::closeEvent(QCloseEvent* event) {
    if (m_trayPresenter->canHideWindow() && !m_sessionEnding) {
        hide();
        event->ignore();
        // Said once for good: a window that vanishes looks like a program
        // that ended, while it still watches the power.
        const QString shown = QStringLiteral("trayNoticeShown");
        if (!settingsStore::value(settingsStore::kGroupWindow, shown, false).toBool()) {
            settingsStore::setValue(settingsStore::kGroupWindow, shown, true);
            showTrayMessage(tr("Ambrel"),
                            tr("Ambrel keeps running in the tray and watches the power. "
                               "Quit it from the tray icon's menu."));
        }
        return;
    }
    // Without a tray a hidden window could not be reached again: closing quits.
    if (!confirmQuit()) {
        event->ignore();
        return;
    }
    event->accept();
    QCoreApplication::quit();
}
