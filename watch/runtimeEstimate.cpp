// The runtime estimate: a least-squares slope over the recent percent steps, bounded by a stall.
#include "runtimeEstimate.h"

#include <cmath>

namespace qxwatch {

namespace {

// Steps in the fit: enough to smooth the jitter of the block times, few enough
// that a change of load is followed within a handful of steps.
const int kFitSteps = 8;

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

void RuntimeEstimator::addStep(int64_t nowMs, int charge) {
    if (m_stepCount == 0) {
        m_firstStepMs = nowMs;
        m_firstStepCharge = charge;
    }
    m_stepMs[m_stepNext] = nowMs;
    m_stepCharge[m_stepNext] = charge;
    m_stepNext = (m_stepNext + 1) % kSteps;
    ++m_stepCount;
    m_lastCharge = charge;
    m_lastStepMs = nowMs;
}

double RuntimeEstimator::fittedRate() const {
    const int n = m_stepCount < kFitSteps ? m_stepCount : kFitSteps;
    if (n < 2) return 0;
    // Times relative to the newest step keep the sums small and exact enough.
    double meanT = 0, meanC = 0;
    for (int i = 0; i < n; ++i) {
        const int k = (m_stepNext - 1 - i + kSteps) % kSteps;
        meanT += (m_stepMs[k] - m_lastStepMs) / 1000.0;
        meanC += m_stepCharge[k];
    }
    meanT /= n;
    meanC /= n;
    double stt = 0, stc = 0;
    for (int i = 0; i < n; ++i) {
        const int k = (m_stepNext - 1 - i + kSteps) % kSteps;
        const double t = (m_stepMs[k] - m_lastStepMs) / 1000.0 - meanT;
        stt += t * t;
        stc += t * (m_stepCharge[k] - meanC);
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
        m_stepNext = 0;
        m_last = kRuntimeUnknown;
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
        m_stepNext = 0;
    } else if (charge < m_lastCharge) {
        // Only new lows count: a reading that recovers for a while under a
        // lighter load is not a step, and the estimate keeps the lower charge.
        addStep(nowMs, charge);
    }

    double rate = fittedRate();
    if (rate <= 0) rate = m_learned;
    if (rate <= 0) {
        m_last = kRuntimeUnknown;
        return u;
    }
    // No step for longer than the rate says one takes: the charge fell less
    // than a percent in that time, so the rate is at most that.
    const double sinceStepS = nowMs > m_lastStepMs ? (nowMs - m_lastStepMs) / 1000.0 : 0;
    if (rate * sinceStepS > 1) rate = 1 / sinceStepS;

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
