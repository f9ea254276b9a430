// When to act on a discharge: ride-through delay, runtime left, critical level; once each per discharge.
#pragma once

#include <stdint.h>

#include "powerWatch.h"

namespace qxwatch {

enum class ActionCause : uint8_t { None, DcLost, LowRuntime, CriticalLevel };

struct ActionSettings {
    bool onDcLoss = false;     // act on a DC loss at all (the program's policy 1, upsctl's --on-dc-loss)
    int64_t rideThroughS = 0;  // 0: at the loss itself
    int64_t runtimeLevelS = 0; // 0 off; act when the estimate falls below it
    bool atCritical = false;   // act at the critical charge level
};

struct ActionDecision {
    // Each cause that falls due with this update, at most once per discharge.
    bool dcLossDue;
    bool lowRuntimeDue;
    bool criticalDue;
    // The first cause due this discharge, with this update; the program's one
    // script runs on it and on nothing after it until the DC returns.
    ActionCause first;
    // A ride-through countdown runs: seconds until the DC-loss action.
    bool pending;
    int64_t secondsToGo;    // -1 when none is pending
    bool pendingStarted;    // the countdown began with this update: one notification
    bool cancelledByReturn; // the DC came back before the countdown ended
    int64_t lostForS;       // with cancelledByReturn: how long it was out
};

struct ActionPolicy {
    // power: this block's edge decision (PowerWatch); runtimeS: the estimate
    // (kRuntimeUnknown when none). The first block (power.dcActs false on an
    // unknown start) starts no countdown, as it runs no script. Between blocks
    // (a countdown shown each second, a lost line) call it with a
    // default-made PowerDecision: a countdown still falls due on time.
    ActionDecision update(int64_t nowMs, const PowerDecision& power, int64_t runtimeS,
                          const ActionSettings& settings);
    // The user's "Cancel pending action": the pending DC-loss action does not
    // run this discharge; the runtime and critical rules stay armed. False
    // when nothing was pending.
    bool cancel();
    bool pending() const { return m_pending; }
    int64_t dueAtMs() const { return m_dueAtMs; }

private:
    bool m_discharging = false;
    bool m_pending = false;
    int64_t m_lostAtMs = 0;
    int64_t m_dueAtMs = 0;
    bool m_dcLossDone = false;
    bool m_lowRuntimeDone = false;
    bool m_criticalDone = false;
    bool m_anyDone = false;
};

}  // namespace qxwatch
