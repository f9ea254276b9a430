// The window's status bar: the connection state, the module's hardware,
// firmware and driver versions, and the clock; while a post-process action is
// pending, its countdown.
#pragma once

#include <QObject>
#include <QString>

class QLabel;
class QMainWindow;
class monitorThread;

class statusBarPresenter : public QObject {
    Q_OBJECT
public:
    // The labels go into the window's status bar.
    explicit statusBarPresenter(QMainWindow* window);

    // Shows the link state (for a reconnection, the worker's attempt and the
    // time to the next one) and the time of day.
    void showLinkState(int state, const monitorThread* worker);
    // The driver version as the adapter last reported it.
    const QString& driverVersion() const { return m_drvVersion; }
    // How much wider than now the bar becomes once the first tick has filled
    // in the state and the clock.
    int growthAfterFirstTick() const;

public slots:
    void slotOnShowHwVer(QString msg);
    void slotOnShowFwVer(QString msg);
    void slotOnShowDrvVer(QString msg);
    // Seconds to the pending post-process action; -1 hides the countdown.
    void slotOnPending(qint64 secondsToGo);

private:
    void setConnectStateSheet(const QString& sheet);

    QMainWindow* m_window;
    QLabel* m_lblConnectState = nullptr;
    QLabel* m_lblHwVer = nullptr;
    QLabel* m_lblFwVer = nullptr;
    QLabel* m_lblDrvVer = nullptr;
    QLabel* m_lblTime = nullptr;
    QLabel* m_lblPending = nullptr;
    QString m_drvVersion = QStringLiteral("0000");
};
