// upsctl monitor on battery: the shared estimator and action policy, told as monitor lines.
#include "upsctlDischarge.h"

#include <limits.h>
#include <stdio.h>

namespace {

// A countdown line at its start and every this often until it falls due.
const long long kCountdownEveryMs = 10000;

}  // namespace

std::string runtimeText(long long secondsLeft) {
    return secondsLeft == qxwatch::kRuntimeUnknown ? "unknown" : std::to_string(secondsLeft);
}

std::string duration(long long seconds) {
    char text[64];
    if (seconds < 60) {
        snprintf(text, sizeof text, "%lld s", seconds);
    } else if (seconds < 3600) {
        snprintf(text, sizeof text, "%lld min %lld s", seconds / 60, seconds % 60);
    } else {
        snprintf(text, sizeof text, "%lld h %lld min", seconds / 3600, seconds / 60 % 60);
    }
    return text;
}

Discharge::Discharge(double learnedRate, long long rideThroughS, long long runtimeLevelMin,
                     Hook* dcLossHook, Hook* lowRuntimeHook)
    : m_learned(learnedRate),
      m_levelMin(runtimeLevelMin),
      m_dcLoss(dcLossHook),
      m_lowRuntime(lowRuntimeHook) {
    m_estimator.setLearnedRate(learnedRate);
    // Without a command the DC loss is only the edge line, as before: no
    // countdown for nothing.
    m_settings.onDcLoss = dcLossHook->command != nullptr;
    m_settings.rideThroughS = rideThroughS;
    m_settings.runtimeLevelS = runtimeLevelMin * 60;
}

long long Discharge::runtime(long long nowMs, const qxwatch::StatusView& view) {
    const qxwatch::RuntimeUpdate r = m_estimator.update(nowMs, view.charge, view.onBattery);
    // What a discharge taught is kept while the monitor runs (the history
    // file is only read).
    if (r.endedRatePerS != 0) {
        m_learned = qxwatch::foldLearnedRate(m_learned, r.endedRatePerS);
        m_estimator.setLearnedRate(m_learned);
    }
    return r.secondsLeft;
}

void Discharge::act(long long nowMs, const qxwatch::PowerDecision& power) {
    const long long left = m_estimator.secondsLeft();
    const qxwatch::ActionDecision a = m_policy.update(nowMs, power, left, m_settings);
    if (a.cancelledByReturn) {
        logLine("DC back after %s: the %s command was not run.", duration(a.lostForS).c_str(),
                m_dcLoss->name);
    }
    if (a.pendingStarted && !a.dcLossDue) {
        logLine("%s: command runs in %s unless the DC returns (ride-through)", m_dcLoss->name,
                duration(a.secondsToGo).c_str());
        m_nextCountdownMs = nowMs + kCountdownEveryMs;
    } else if (a.pending && a.secondsToGo > 0 && nowMs >= m_nextCountdownMs) {
        logLine("%s: command runs in %s", m_dcLoss->name, duration(a.secondsToGo).c_str());
        m_nextCountdownMs += kCountdownEveryMs;
    }
    if (a.dcLossDue) startHook(m_dcLoss);
    if (a.lowRuntimeDue) {
        logLine("Runtime low: %s left (runtime level %lld min).", duration(left).c_str(),
                m_levelMin);
        startHook(m_lowRuntime);
    }
}

void Discharge::stop() {
    if (m_policy.pending()) logLine("%s: command not run, as the monitor stopped", m_dcLoss->name);
}

long long Discharge::wakeAtMs() const {
    if (!m_policy.pending()) return LLONG_MAX;
    return m_policy.dueAtMs() < m_nextCountdownMs ? m_policy.dueAtMs() : m_nextCountdownMs;
}
