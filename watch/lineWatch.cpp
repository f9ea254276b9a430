// The line's rules, decided from read results and the times the caller passes in.
#include "lineWatch.h"

namespace qxwatch {

int64_t lostAfterMs(const LineTimings& t, uint32_t responseTimeoutMs, uint32_t pollCycleMs) {
    const int64_t judged = 2 * int64_t(responseTimeoutMs) + pollCycleMs;
    return judged > t.lostAfterMinMs ? judged : t.lostAfterMinMs;
}

void LineWatch::opened(int64_t nowMs, int64_t sleptMs) {
    // Failures stay: the first good read says "restored after".
    lastGoodMs = nowMs;
    slept = sleptMs;
    resumed = false;
    attempt = 0;
}

// 1 s, 2 s, 4 s ... up to the cap, by the number of attempts scheduled.
void LineWatch::schedule(int64_t nowMs, bool now) {
    int64_t delay = timings.backoffFirstMs;
    for (int i = 0; i < attempt && delay < timings.backoffCapMs; ++i)
        delay *= 2;
    if (delay > timings.backoffCapMs) delay = timings.backoffCapMs;
    nextAttemptAtMs = nowMs + (now ? 0 : delay);
    ++attempt;
}

LineLog LineWatch::noteFailure(int result, int64_t nowMs, bool reading) {
    (void)result;
    if (++failures == 1) {
        failingSinceMs = nowMs;
        lastSummaryMs = nowMs;
        return reading ? LineLog::FirstReadFailure : LineLog::FirstOpenFailure;
    }
    if (nowMs - lastSummaryMs >= timings.summaryMs) {
        lastSummaryMs = nowMs;
        return LineLog::Summary;
    }
    return LineLog::None;
}

LineDecision LineWatch::readDone(int result, int64_t nowMs, int64_t sleptMs) {
    LineDecision d = {};
    // A system that slept: its line may be gone (an adapter without power,
    // a module that restarted), so the first failing read loses it.
    if (sleptMs - slept > 1000) resumed = true;
    slept = sleptMs;
    if (result == 0) {
        lastGoodMs = nowMs;
        resumed = false;
        if (failures > 0) {
            d.log = LineLog::Restored;
            d.restoredAfterMs = nowMs - failingSinceMs;
            failures = 0;
        }
        return d;
    }
    d.result = result;
    d.log = noteFailure(result, nowMs, true);
    d.failures = failures;
    if (resumed || nowMs - lastGoodMs >= lostAfter) {
        d.lost = true;
        attempt = 0;
        schedule(nowMs, resumed);
        resumed = false;
        d.nextAttemptAtMs = nextAttemptAtMs;
    }
    return d;
}

LineDecision LineWatch::openFailed(int result, int64_t nowMs) {
    LineDecision d = {};
    d.result = result;
    d.log = noteFailure(result, nowMs, false);
    d.failures = failures;
    schedule(nowMs, false);
    d.nextAttemptAtMs = nextAttemptAtMs;
    return d;
}

void LineWatch::attemptNow(int64_t nowMs) {
    schedule(nowMs, true);
}

void LineWatch::closed() {
    attempt = 0;
    failures = 0;
    resumed = false;
}

}  // namespace qxwatch
