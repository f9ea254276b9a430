// The runtime estimate: a least-squares slope over the recent percent steps, bounded by a stall.
#include "runtimeEstimate.h"

#include <cmath>

namespace qxwatch {

namespace {

// Steps in the fit: enough to smooth the jitter of the block times, few enough
// that a change of load is followed within a handful of steps.
const int kFitSteps = 8;

// How far off the fit two step intervals, or one, must be to count as a
// change of load: well beyond the jitter of the block times and the module's
// uneven steps.
const double kChange = 1.4;
const double kJump = 1.6;

// The whole-percent reading is taken as rounded: a step to c is seen when the
// true charge passes c + 0.5, and it stays at c down to c - 0.5.
const double kHalfStep = 0.5;

// Percent per second from the first and the last step of a discharge; the
// time before the first step is not counted, as its starting point within
// the percent is unknown.
double rateBetweenSteps(int64_t firstMs, int firstCharge, int64_t lastMs, int lastCharge) {
    if (lastMs <= firstMs || lastCharge >= firstCharge) return 0;
    return (firstCharge - lastCharge) / ((lastMs - firstMs) / 1000.0);
}

bool usableRate(double r) {
    return std::isfinite(r) && r > 0;
}

}  // namespace

void RuntimeEstimator::setLearnedRate(double percentPerS) {
    m_learned = usableRate(percentPerS) ? percentPerS : 0;
}

void RuntimeEstimator::addStep(int64_t atMs, int64_t slackMs, int charge) {
    if (m_stepCount == 0) {
        m_firstStepMs = atMs;
        m_firstStepCharge = charge;
        m_fitFrom = 0;
    }
    m_stepMs[m_stepCount % kSteps] = atMs;
    m_stepCharge[m_stepCount % kSteps] = charge;
    m_stepSlackMs[m_stepCount % kSteps] = slackMs;
    ++m_stepCount;
    m_lastCharge = charge;
    m_lastStepMs = atMs;
    if (m_fitFrom < m_stepCount - kFitSteps) m_fitFrom = m_stepCount - kFitSteps;

    // A change of load. One interval far off the fit before it: the fit starts
    // again from it, where the stall bound had already taken the estimate, so
    // the figure does not fall back to the old load at the step. Two intervals
    // that agree on a rate less far off: the fit starts again from them rather
    // than taking several more steps to forget the old load.
    const int last = m_stepCount - 1;
    if (last - 2 - m_fitFrom < 2) return;
    // Readings a second apart see steps two seconds apart one to three
    // seconds apart: an interval that short says nothing of the load.
    if (!timedWellEnough(last - 1, last)) return;
    const double newest = rateBetween(last - 1, last);
    const double beforeNewest = fittedRate(m_fitFrom, last - 1);
    if (newest > beforeNewest * kJump || newest * kJump < beforeNewest) {
        m_fitFrom = last - 1;
        return;
    }
    const double before = fittedRate(m_fitFrom, last - 2);
    const double previous = rateBetween(last - 2, last - 1);
    const bool faster = previous > before * kChange && newest > before * kChange;
    const bool slower = previous * kChange < before && newest * kChange < before;
    if (faster || slower) m_fitFrom = last - 2;
}

// Whether the steps from..to are far enough apart for the uncertainty of
// their times (the readings' spacing) to spoil a rate by at most a quarter.
bool RuntimeEstimator::timedWellEnough(int from, int to) const {
    const int64_t span = m_stepMs[to % kSteps] - m_stepMs[from % kSteps];
    return 4 * (m_stepSlackMs[from % kSteps] + m_stepSlackMs[to % kSteps]) <= span;
}

double RuntimeEstimator::rateBetween(int from, int to) const {
    return rateBetweenSteps(m_stepMs[from % kSteps], m_stepCharge[from % kSteps],
                            m_stepMs[to % kSteps], m_stepCharge[to % kSteps]);
}

double RuntimeEstimator::fittedRate(int from, int to) const {
    const int n = to - from + 1;
    if (n < 2) return 0;
    // Times relative to the newest step keep the sums small and exact enough.
    const int64_t t0 = m_stepMs[to % kSteps];
    double meanT = 0, meanC = 0;
    for (int i = from; i <= to; ++i) {
        meanT += (m_stepMs[i % kSteps] - t0) / 1000.0;
        meanC += m_stepCharge[i % kSteps];
    }
    meanT /= n;
    meanC /= n;
    double stt = 0, stc = 0;
    for (int i = from; i <= to; ++i) {
        const double t = (m_stepMs[i % kSteps] - t0) / 1000.0 - meanT;
        stt += t * t;
        stc += t * (m_stepCharge[i % kSteps] - meanC);
    }
    if (stt <= 0) return 0;
    const double rate = -stc / stt;
    return usableRate(rate) ? rate : 0;
}

RuntimeUpdate RuntimeEstimator::update(int64_t nowMs, int charge, bool onBattery) {
    RuntimeUpdate u = {kRuntimeUnknown, 0};
    if (!onBattery) {
        if (m_onBattery && m_stepCount >= 2)
            u.endedRatePerS =
                rateBetweenSteps(m_firstStepMs, m_firstStepCharge, m_lastStepMs, m_lastCharge);
        m_onBattery = false;
        m_stepCount = 0;
        m_last = kRuntimeUnknown;
        m_spread = -1;
        return u;
    }
    // A reading out of range says nothing; the discharge so far is kept.
    if (charge < 0) {
        m_last = kRuntimeUnknown;
        return u;
    }
    if (charge > 100) charge = 100;
    if (!m_onBattery) {
        m_onBattery = true;
        m_startMs = nowMs;
        m_startCharge = charge;
        m_lastCharge = charge;
        m_lastStepMs = nowMs;
        m_stepCount = 0;
    } else if (charge < m_lastCharge) {
        // Only new lows count: a reading that recovers for a while under a
        // lighter load is not a step, and the estimate keeps the lower charge.
        // The step fell between the last reading and this one: taken as
        // halfway, which is off by at most half the spacing either way.
        const int64_t slack = nowMs > m_prevUpdateMs ? (nowMs - m_prevUpdateMs) / 2 : 0;
        addStep(nowMs - slack, slack, charge);
    }
    m_prevUpdateMs = nowMs;

    // Steps too close for the readings' spacing give no slope yet.
    const int lastStep = m_stepCount - 1;
    double rate = m_stepCount >= 2 && timedWellEnough(m_fitFrom, lastStep)
                      ? fittedRate(m_fitFrom, lastStep)
                      : 0;
    m_spread = -1;
    if (rate > 0) {
        const int64_t span = m_stepMs[lastStep % kSteps] - m_stepMs[m_fitFrom % kSteps];
        m_spread = double(m_stepSlackMs[m_fitFrom % kSteps] + m_stepSlackMs[lastStep % kSteps]) /
                   double(span);
    }
    if (rate <= 0) rate = m_learned;
    if (rate <= 0) {
        m_last = kRuntimeUnknown;
        return u;
    }
    // No step for longer than the rate says one takes: the charge fell less
    // than a percent in that time, so the rate is at most that.
    // Counted from the reading that saw the step, the latest it can have been.
    const int64_t seenMs =
        m_lastStepMs + (m_stepCount > 0 ? m_stepSlackMs[(m_stepCount - 1) % kSteps] : 0);
    const double sinceSeenS = nowMs > seenMs ? (nowMs - seenMs) / 1000.0 : 0;
    if (rate * sinceSeenS > 1) rate = 1 / sinceSeenS;
    const double sinceStepS = nowMs > m_lastStepMs ? (nowMs - m_lastStepMs) / 1000.0 : 0;

    // Where the charge is within the shown percent: from the step's edge
    // (or, before any step, the middle of the percent) down at the rate.
    const double anchor = m_stepCount > 0 ? m_lastCharge + kHalfStep : m_lastCharge;
    double level = anchor - rate * sinceStepS;
    if (level < m_lastCharge - kHalfStep) level = m_lastCharge - kHalfStep;
    if (level < 0) level = 0;
    m_last = static_cast<int64_t>(std::llround(level / rate));
    u.secondsLeft = m_last;
    return u;
}

double foldLearnedRate(double learned, double measuredPerS) {
    if (!usableRate(measuredPerS)) return usableRate(learned) ? learned : 0;
    if (!usableRate(learned)) return measuredPerS;
    return 0.7 * learned + 0.3 * measuredPerS;
}

double rateFromSamples(const int64_t* timesMs, const int* charges, int count) {
    if (!timesMs || !charges || count < 2) return 0;
    int lowest = -1;
    int64_t firstMs = 0, lastMs = 0;
    int firstCharge = -1, lastCharge = -1, steps = 0;
    for (int i = 0; i < count; ++i) {
        const int c = charges[i] > 100 ? 100 : charges[i];
        if (c < 0) continue;
        if (lowest < 0) {
            lowest = c;
            continue;
        }
        if (c >= lowest) continue;
        lowest = c;
        if (steps++ == 0) {
            firstMs = timesMs[i];
            firstCharge = c;
        }
        lastMs = timesMs[i];
        lastCharge = c;
    }
    if (steps < 2) return 0;
    return rateBetweenSteps(firstMs, firstCharge, lastMs, lastCharge);
}

}  // namespace qxwatch
