// The status page's runtime estimate and action policy: when the post-process script runs on
// battery.
//
// Fed every decoded block, it keeps the estimate of the time left on battery
// (seeded by the rate learned from earlier discharges) and asks the shared
// policy whether the DC-loss action is due now, after the ride-through delay,
// or because the estimate or the charge fell below a level. The script runs
// once per discharge, on the first cause due. While a ride-through countdown
// runs, a timer of one second keeps the policy asked between blocks, so the
// action falls due on time when the line is slow or lost.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "actionPolicy.h"
#include "powerWatch.h"
#include "runtimeEstimate.h"

class QTimer;

class powerActions : public QObject {
    Q_OBJECT
public:
    static const int kTickMs = 1000;
    // Milliseconds on a monotonic clock.
    using Clock = std::function<qint64()>;

    explicit powerActions(QObject* parent = nullptr);

    // Tests replace the clock; the countdown timer still ticks each second.
    void setClock(Clock clock);

    // What the rules act on: a DC loss (policy 1), the critical level, the
    // ride-through delay (s, 0 = at the loss) and the runtime level (min, 0 = off).
    void setDcLossActs(bool acts);
    void setCriticalActs(bool acts);
    void setRideThroughS(int seconds);
    void setRuntimeLevelMin(int minutes);
    int rideThroughS() const { return int(m_settings.rideThroughS); }
    int runtimeLevelMin() const { return int(m_settings.runtimeLevelS / 60); }

    // The rate learned from earlier discharges (percent per second, 0 none).
    void setLearnedRate(double percentPerS);
    double learnedRate() const { return m_estimator.learnedRate(); }

    // One decoded block: its edge decision, charge and power source.
    void feed(const qxwatch::PowerDecision& power, int charge, bool onBattery);

    // Seconds left on battery, qxwatch::kRuntimeUnknown when unknown or on DC.
    qint64 secondsLeft() const { return m_secondsLeft; }
    bool pending() const { return m_policy.pending(); }
    // Seconds until the pending action, -1 when none is.
    qint64 secondsToGo() const { return m_secondsToGo; }

    // "about 12 min", "about 45 s", "unknown".
    static QString timeLeftText(qint64 seconds);
    // "Post-process script in 42 s: DC lost".
    static QString countdownText(qint64 seconds);

signals:
    // The first cause due this discharge: the script is to run.
    void signalRunScript();
    // The estimate changed (seconds, kRuntimeUnknown).
    void signalRuntime(qint64 secondsLeft);
    // The countdown: seconds to go, each second; -1 when it ended (ran,
    // cancelled, DC back).
    void signalPending(qint64 secondsToGo);
    // For a desktop notification: the countdown began, the runtime level was reached.
    void signalNotice(const QString& message);
    // A discharge ended with a measured rate: the learned rate folded with
    // it, to keep.
    void signalLearnedRate(double percentPerS);

public slots:
    // The user's "Cancel pending action": the DC-loss action does not run
    // for this outage; the runtime and critical rules stay armed.
    void slotOnCancelPending();

private slots:
    void slotOnTick();

private:
    void apply(const qxwatch::ActionDecision& decision);
    void setSecondsToGo(qint64 seconds);

    Clock m_clock;
    qxwatch::RuntimeEstimator m_estimator;
    qxwatch::ActionPolicy m_policy;
    qxwatch::ActionSettings m_settings;
    qint64 m_secondsLeft = qxwatch::kRuntimeUnknown;
    qint64 m_secondsToGo = -1;
    QTimer* m_tick;
};
