// The action policy: the ride-through countdown and the runtime and critical rules, once per
// discharge.
#include "actionPolicy.h"

#include "runtimeEstimate.h"

namespace qxwatch {

namespace {

int64_t roundedSeconds(int64_t ms) {
    return ms <= 0 ? 0 : (ms + 500) / 1000;
}

}  // namespace

ActionDecision ActionPolicy::update(int64_t nowMs, const PowerDecision& power, int64_t runtimeS,
                                    const ActionSettings& settings) {
    ActionDecision d = {};
    d.first = ActionCause::None;
    d.secondsToGo = -1;

    if (power.dc == DcEdge::Connected) {
        if (m_pending) {
            d.cancelledByReturn = true;
            d.lostForS = roundedSeconds(nowMs - m_lostAtMs);
        }
        m_discharging = m_pending = false;
        m_dcLossDone = m_lowRuntimeDone = m_criticalDone = m_anyDone = false;
        return d;
    }

    if (power.dc == DcEdge::Broken) {
        m_discharging = true;
        m_pending = false;
        m_lostAtMs = nowMs;
        m_lowRuntimeDone = m_criticalDone = m_anyDone = false;
        // An unknown start (the program began on battery) runs no DC-loss
        // action: the loss was not seen happen.
        m_dcLossDone = !power.dcActs;
        if (!m_dcLossDone && settings.onDcLoss) {
            // A ride-through of 0 falls due just below, with this very block.
            const int64_t delayS = settings.rideThroughS > 0 ? settings.rideThroughS : 0;
            m_pending = true;
            m_dueAtMs = nowMs + delayS * 1000;
            d.pendingStarted = delayS > 0;
        }
    }
    // The runtime and critical rules say "on battery" themselves, so they act
    // even when this policy came in after the loss.
    if (runtimeS != kRuntimeUnknown || power.criticalReached) m_discharging = true;

    // Turned off while counting down: nothing to run.
    if (m_pending && !settings.onDcLoss) m_pending = false;
    if (m_pending && nowMs >= m_dueAtMs) {
        m_pending = false;
        m_dcLossDone = true;
        d.dcLossDue = true;
    }
    if (m_discharging && !m_lowRuntimeDone && settings.runtimeLevelS > 0 && runtimeS >= 0 &&
        runtimeS < settings.runtimeLevelS) {
        m_lowRuntimeDone = true;
        d.lowRuntimeDue = true;
    }
    if (m_discharging && !m_criticalDone && settings.atCritical && power.criticalReached) {
        m_criticalDone = true;
        d.criticalDue = true;
    }

    // Causes due together: the most pressing one is named.
    if (!m_anyDone && (d.dcLossDue || d.lowRuntimeDue || d.criticalDue)) {
        m_anyDone = true;
        d.first = d.criticalDue     ? ActionCause::CriticalLevel
                  : d.lowRuntimeDue ? ActionCause::LowRuntime
                                    : ActionCause::DcLost;
    }
    d.pending = m_pending;
    if (m_pending) d.secondsToGo = (m_dueAtMs - nowMs + 999) / 1000;
    return d;
}

bool ActionPolicy::cancel() {
    if (!m_pending) return false;
    m_pending = false;
    m_dcLossDone = true;
    return true;
}

}  // namespace qxwatch
