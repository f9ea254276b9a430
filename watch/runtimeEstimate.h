// Battery time left on battery: a fit over the recent charge readings, seeded by a learned rate.
#pragma once

#include <stdint.h>

namespace qxwatch {

const int64_t kRuntimeUnknown = -1;

struct RuntimeUpdate {
    // Seconds left, kRuntimeUnknown on DC or while nothing supports a figure.
    int64_t secondsLeft;
    // Non-zero once, on the first update after a discharge that showed a
    // measurable rate ended (DC back): percent per second, for the front end
    // to fold into what it learned (foldLearnedRate) and keep.
    double endedRatePerS;
};

// Fed every block (at least once a few seconds) with the time on the caller's
// monotonic clock. The module reports whole percent, so the figure comes from
// the times the charge stepped over the last minutes, not from single steps;
// before two steps say anything, from the learned rate.
class RuntimeEstimator {
public:
    // Percent per second learned from earlier discharges; 0 = none known.
    void setLearnedRate(double percentPerS);
    double learnedRate() const { return m_learned; }
    RuntimeUpdate update(int64_t nowMs, int charge, bool onBattery);
    int64_t secondsLeft() const { return m_last; }
    // How far off the fitted rate may be for the timing of its steps (as a
    // share of it: 0.25 at most, smaller as the steps spread out), or -1 when
    // the figure comes from the learned rate or there is none. A caller that
    // can wait for a better figure (a one-shot reading) waits for a small one.
    double fitSpread() const { return m_spread; }

private:
    void addStep(int64_t atMs, int64_t slackMs, int charge);
    bool timedWellEnough(int from, int to) const;
    double rateBetween(int from, int to) const;
    double fittedRate(int from, int to) const;

    static const int kSteps = 32;
    double m_learned = 0;
    int64_t m_last = kRuntimeUnknown;
    double m_spread = -1;
    bool m_onBattery = false;
    int64_t m_startMs = 0;
    int m_startCharge = -1;
    int m_lastCharge = -1;  // the lowest reading this discharge
    int64_t m_lastStepMs = 0;
    int64_t m_firstStepMs = 0;
    int m_firstStepCharge = -1;
    // Ring of (time, charge) at each step down during this discharge, step i
    // at i % kSteps; the fit runs over the steps from m_fitFrom on.
    int64_t m_stepMs[kSteps] = {};
    int m_stepCharge[kSteps] = {};
    // How far off each step's time may be: half the time between the
    // reading that saw it and the one before (the step fell in between).
    int64_t m_stepSlackMs[kSteps] = {};
    int64_t m_prevUpdateMs = 0;
    int m_stepCount = 0;
    int m_fitFrom = 0;
};

// Folds one discharge's rate into the learned one, weighted toward the recent.
double foldLearnedRate(double learned, double measuredPerS);

// A recorded discharge's rate (times in ms, charges in %, in time order, as
// the history keeps them); 0 when the samples do not support one (too short,
// the charge not falling).
double rateFromSamples(const int64_t* timesMs, const int* charges, int count);

}  // namespace qxwatch
