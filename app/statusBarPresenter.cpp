// The status bar's labels and what they show.
#include "statusBarPresenter.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

#include "monitorThread.h"
#include "powerActions.h"

statusBarPresenter::statusBarPresenter(QMainWindow* window) : QObject(window), m_window(window) {
    m_lblConnectState = new QLabel(tr("Disconnect"), window);
    m_lblConnectState->setObjectName(QStringLiteral("m_lblConnectState"));
    m_lblHwVer = new QLabel(tr("HW:0000"), window);
    m_lblHwVer->setObjectName(QStringLiteral("m_lblHwVer"));
    m_lblFwVer = new QLabel(tr("FW:0000"), window);
    m_lblFwVer->setObjectName(QStringLiteral("m_lblFwVer"));
    m_lblDrvVer = new QLabel(tr("DRV:0000"), window);
    m_lblDrvVer->setObjectName(QStringLiteral("m_lblDrvVer"));
    // The format itself until the first tick puts the time in.
    m_lblTime = new QLabel(tr("yyyy-MM-dd hh:mm:ss"), window);
    m_lblTime->setObjectName(QStringLiteral("m_lblTime"));
    m_lblPending = new QLabel(window);
    m_lblPending->setObjectName(QStringLiteral("m_lblPending"));
    m_lblPending->setStyleSheet(QStringLiteral("background-color:orange"));
    m_lblPending->hide();
    QStatusBar* bar = window->statusBar();
    bar->addWidget(m_lblConnectState);
    bar->addWidget(m_lblPending);
    bar->addPermanentWidget(m_lblHwVer);
    bar->addPermanentWidget(m_lblFwVer);
    bar->addPermanentWidget(m_lblDrvVer);
    bar->addPermanentWidget(m_lblTime);
    // Measured in the status bar's bold font and the style sheet's padding.
    for (QLabel* label : {m_lblConnectState, m_lblHwVer, m_lblFwVer, m_lblDrvVer}) {
        label->ensurePolished();
        label->setMinimumSize(label->sizeHint());
    }
}

int statusBarPresenter::growthAfterFirstTick() const {
    const QFontMetrics metrics(m_window->statusBar()->font());
    return qMax(0, metrics.horizontalAdvance(tr("Disconnected")) -
                       metrics.horizontalAdvance(tr("Disconnect"))) +
           qMax(0, metrics.horizontalAdvance(QStringLiteral("8888-88-88 88:88:88")) -
                       metrics.horizontalAdvance(tr("yyyy-MM-dd hh:mm:ss")));
}

void statusBarPresenter::slotOnShowHwVer(QString msg) {
    m_lblHwVer->setText(QStringLiteral("HW:") + msg);
}

void statusBarPresenter::slotOnShowFwVer(QString msg) {
    m_lblFwVer->setText(QStringLiteral("FW:") + msg);
}

void statusBarPresenter::slotOnShowDrvVer(QString msg) {
    m_drvVersion = msg;
    m_lblDrvVer->setText(QStringLiteral("DRV:") + msg);
}

void statusBarPresenter::slotOnPending(qint64 secondsToGo) {
    if (secondsToGo >= 0) m_lblPending->setText(powerActions::countdownText(secondsToGo));
    m_lblPending->setVisible(secondsToGo >= 0);
}

// showLinkState runs every 100 ms, and setting a style sheet re-polishes the
// label even when the sheet is the same: set it only when it changes.
void statusBarPresenter::setConnectStateSheet(const QString& sheet) {
    if (m_lblConnectState->styleSheet() != sheet) m_lblConnectState->setStyleSheet(sheet);
}

void statusBarPresenter::showLinkState(int state, const monitorThread* worker) {
    if (state == monitorThread::Connected) {
        m_lblConnectState->setText(tr("Connected"));
        // White on dark green reads at a contrast of 7.5 : 1 (the status
        // bar's dark text on plain green would be 2.5 : 1).
        setConnectStateSheet(QStringLiteral("background-color:darkgreen;color:white"));
    } else {
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
