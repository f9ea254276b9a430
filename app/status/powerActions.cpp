// The runtime estimate, the action policy and its countdown between blocks.
#include "powerActions.h"

#include <QElapsedTimer>
#include <QTimer>

#include "consolePrint.h"

powerActions::powerActions(QObject* parent) : QObject(parent) {
    m_clock = []() {
        QElapsedTimer clock;
        clock.start();
        return clock.msecsSinceReference();
    };
    m_tick = new QTimer(this);
    m_tick->setObjectName(QStringLiteral("m_actionTick"));
    m_tick->setInterval(kTickMs);
    connect(m_tick, &QTimer::timeout, this, &powerActions::slotOnTick);
}

void powerActions::setClock(Clock clock) {
    m_clock = std::move(clock);
}

void powerActions::setDcLossActs(bool acts) {
    m_settings.onDcLoss = acts;
}

void powerActions::setCriticalActs(bool acts) {
    m_settings.atCritical = acts;
}

void powerActions::setRideThroughS(int seconds) {
    m_settings.rideThroughS = qBound(0, seconds, 3600);
}

void powerActions::setRuntimeLevelMin(int minutes) {
    m_settings.runtimeLevelS = qMax(0, minutes) * 60;
}

void powerActions::setLearnedRate(double percentPerS) {
    m_estimator.setLearnedRate(percentPerS);
}

QString powerActions::timeLeftText(qint64 seconds) {
    if (seconds < 0) return tr("unknown");
    if (seconds < 60) return tr("about %1 s").arg(seconds);
    return tr("about %1 min").arg((seconds + 30) / 60);
}

QString powerActions::countdownText(qint64 seconds) {
    return tr("Post-process script in %1 s: DC lost").arg(seconds);
}

void powerActions::feed(const qxwatch::PowerDecision& power, int charge, bool onBattery) {
    const qint64 now = m_clock();
    const qxwatch::RuntimeUpdate runtime = m_estimator.update(now, charge, onBattery);
    if (runtime.endedRatePerS != 0) {
        // Kept beside the history, so the next discharge (and the next start
        // of the program) has an estimate before its own slope says anything.
        const double folded =
            qxwatch::foldLearnedRate(m_estimator.learnedRate(), runtime.endedRatePerS);
        m_estimator.setLearnedRate(folded);
        emit signalLearnedRate(folded);
    }
    if (runtime.secondsLeft != m_secondsLeft) {
        m_secondsLeft = runtime.secondsLeft;
        emit signalRuntime(m_secondsLeft);
    }
    apply(m_policy.update(now, power, m_secondsLeft, m_settings));
}

void powerActions::slotOnTick() {
    apply(m_policy.update(m_clock(), qxwatch::PowerDecision{}, m_secondsLeft, m_settings));
}

void powerActions::slotOnCancelPending() {
    if (!m_policy.cancel()) return;
    consolePrint::instance().printMsg(
        tr("Pending action cancelled: the post-process script will not run for this outage."));
    m_tick->stop();
    setSecondsToGo(-1);
}

void powerActions::apply(const qxwatch::ActionDecision& decision) {
    consolePrint& console = consolePrint::instance();
    if (decision.pendingStarted) {
        const QString text =
            tr("DC lost: the post-process script runs in %1 s unless the DC comes back.")
                .arg(decision.secondsToGo);
        console.printMsg(text);
        emit signalNotice(text);
    }
    if (decision.cancelledByReturn)
        console.printMsg(
            tr("DC back after %1 s: the post-process script was not run.").arg(decision.lostForS));
    if (decision.dcLossDue && m_settings.rideThroughS > 0 &&
        decision.first == qxwatch::ActionCause::DcLost)
        console.printMsg(tr("DC still lost after %1 s: the post-process script runs.")
                             .arg(m_settings.rideThroughS));
    if (decision.lowRuntimeDue) {
        const QString text = tr("Battery time left %1: below the level of %2 min.")
                                 .arg(timeLeftText(m_secondsLeft))
                                 .arg(m_settings.runtimeLevelS / 60);
        console.printMsg(text);
        emit signalNotice(text);
    }
    if (decision.first != qxwatch::ActionCause::None) {
        // The one script of this outage runs now: a countdown still running
        // would end in nothing, so it is not shown any longer.
        if (m_policy.pending()) m_policy.cancel();
        emit signalRunScript();
    }

    // Asked each second only while a countdown runs.
    if (m_policy.pending() && !m_tick->isActive())
        m_tick->start();
    else if (!m_policy.pending())
        m_tick->stop();
    setSecondsToGo(m_policy.pending() ? decision.secondsToGo : -1);
}

void powerActions::setSecondsToGo(qint64 seconds) {
    if (seconds == m_secondsToGo) return;
    m_secondsToGo = seconds;
    emit signalPending(seconds);
}
