// The line's rules: lost-line time, reconnect back-off, collapse of failures, sleep rule.
#pragma once

#include <stdint.h>

namespace qxwatch {

struct LineTimings {
    int64_t lostAfterMinMs = 5000;
    int64_t backoffFirstMs = 1000;
    int64_t backoffCapMs = 30000;
    int64_t summaryMs = 60000;
};

// No good answer for this long loses the line: max(min, 2 x time-out + cycle).
int64_t lostAfterMs(const LineTimings& t, uint32_t responseTimeoutMs, uint32_t pollCycleMs);

// What to log; the front end words it. An open that fails first is usually
// logged by whoever opened, hence its own kind.
enum class LineLog : uint8_t { None, FirstReadFailure, FirstOpenFailure, Summary, Restored };

struct LineDecision {
    LineLog log;
    int result;               // the failing result code (FirstXFailure, Summary)
    int failures;             // failed reads and attempts so far (Summary)
    int64_t restoredAfterMs;  // Restored: since the first failure
    bool lost;                // close the device and reconnect; logged after `log`
    int64_t nextAttemptAtMs;  // lost or a failed attempt: when to try again
};

// Times are ms on one monotonic clock; sleptMs is the caller's sleep clock
// (e.g. boot time - monotonic time), whose growth means the system slept.
struct LineWatch {
    LineTimings timings;
    int64_t lostAfter = 5000;  // set with lostAfterMs() at each open
    int64_t lastGoodMs = 0;
    int64_t slept = 0;
    bool resumed = false;
    int failures = 0;
    int64_t failingSinceMs = 0;
    int64_t lastSummaryMs = 0;
    int attempt = 0;  // attempts scheduled since the loss (or the first open)
    int64_t nextAttemptAtMs = 0;

    void opened(int64_t nowMs, int64_t sleptMs);
    LineDecision readDone(int result, int64_t nowMs, int64_t sleptMs);
    // An attempt, or a first open that keeps trying, failed.
    LineDecision openFailed(int result, int64_t nowMs);
    // A user's connect while reconnecting: the next attempt at once.
    void attemptNow(int64_t nowMs);
    // A user's close: no failures, no attempts.
    void closed();

private:
    void schedule(int64_t nowMs, bool now);
    LineLog noteFailure(int result, int64_t nowMs, bool reading);
};

}  // namespace qxwatch
