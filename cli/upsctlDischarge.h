// upsctl monitor's discharge rules: the runtime estimate, the ride-through and low-runtime actions.
#pragma once

#include <string>

#include "actionPolicy.h"
#include "runtimeEstimate.h"
#include "statusBlock.h"
#include "upsctlSystem.h"

// The runtime as the status lines give it: seconds, or "unknown".
std::string runtimeText(long long secondsLeft);
// Seconds as "45 s", "2 min 40 s" or "1 h 5 min".
std::string duration(long long seconds);

// The estimator and the policy of one watched module; both outlive a lost
// line, like the edge memory.
class Discharge {
public:
    // learnedRate: percent per second from the program's history, 0 none;
    // rideThroughS delays dcLossHook, runtimeLevelMin (0 off) arms
    // lowRuntimeHook; either hook may have no command.
    Discharge(double learnedRate, long long rideThroughS, long long runtimeLevelMin,
              Hook* dcLossHook, Hook* lowRuntimeHook);
    // A good block: feeds the estimator; the seconds left, or kRuntimeUnknown.
    long long runtime(long long nowMs, const qxwatch::StatusView& view);
    // The block's edges (after runtime()), or between blocks none: logs the
    // countdown, a DC back before it ended, and starts the hooks that fall due.
    void act(long long nowMs, const qxwatch::PowerDecision& power);
    // The monitor ends: a countdown still running is told as not run.
    void stop();
    // When the loop must wake for the countdown (LLONG_MAX when none runs).
    long long wakeAtMs() const;

private:
    qxwatch::RuntimeEstimator m_estimator;
    qxwatch::ActionPolicy m_policy;
    qxwatch::ActionSettings m_settings = {};
    double m_learned;
    long long m_levelMin;
    Hook* m_dcLoss;
    Hook* m_lowRuntime;
    long long m_nextCountdownMs = 0;
};
