// Table test of the watching rules: decoding, edges, levels and the line on a fake clock.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include "QXUPSStatus.h"
#include "actionPolicy.h"
#include "lineWatch.h"
#include "nutView.h"
#include "powerWatch.h"
#include "resultText.h"
#include "runtimeEstimate.h"
#include "statusBlock.h"

using namespace qxwatch;

namespace {

StatusView view(uint16_t source, uint16_t dcOk, uint16_t charge, uint16_t sw = 0) {
    uint16_t w[kStatusWords] = {};
    w[kPowerSource] = source;
    w[kDcOk] = dcOk;
    w[kCharge] = charge;
    w[kSw] = sw;
    return decodeStatus(w);
}

}  // namespace

TEST(WatchStatus, Decode) {
    struct Row {
        uint16_t source, dcOk, charge;
        ChargeState state;
        bool onBattery;
    } rows[] = {
        {1, 1, 50, ChargeState::Charging, false},
        {1, 1, 100, ChargeState::Full, false},
        {1, 1, 101, ChargeState::Over100, false},
        {2, 0, 50, ChargeState::Discharging, true},
        {7, 1, 50, ChargeState::Unknown, false},
        // 27 and 28 disagree: DC_OK decides.
        {1, 0, 3, ChargeState::Charging, true},
        {2, 1, 3, ChargeState::Discharging, false},
    };
    for (const Row& r : rows) {
        const StatusView v = view(r.source, r.dcOk, r.charge);
        EXPECT_EQ(v.chargeState, r.state) << r.source << " " << r.charge;
        EXPECT_EQ(v.onBattery, r.onBattery) << r.source << " " << r.dcOk;
    }
    uint16_t w[kStatusWords] = {};
    w[kDeviceType] = kNoVoltageType;
    w[kVoltageInput] = 12000;
    EXPECT_FALSE(decodeStatus(w).hasVoltages);
    EXPECT_EQ(decodeStatus(w).voltageInputMv, 0);
    EXPECT_EQ(changedFields(view(1, 1, 50), view(1, 1, 51)), unsigned(kChangedCharge));
    EXPECT_EQ(changedFields(view(1, 1, 50, 0), view(1, 1, 50, 1)), unsigned(kChangedBits));
    EXPECT_TRUE(view(1, 1, 50) == view(1, 1, 50));
}

// NUT variables onto the view: what is not published stays unknown.
TEST(WatchNut, Facts) {
    typedef std::vector<std::pair<std::string, std::string>> Vars;
    struct Row {
        const char* what;
        Vars vars;
        bool onBattery;
        ChargeState state;
        uint8_t bits, knownBits;
        bool hasCharge, hasVoltages, hasPolicy, lowBattery;
        int64_t runtimeS;
        bool ours;
    } rows[] = {
        {"our driver, words 27 and 28 disagreeing: DC_OK decides",
         {{"driver.name", "qxups-nut"},
          {"ups.status", "OB CHRG LB"},
          {"battery.charge", "3"},
          {"battery.runtime", "95"},
          {"input.voltage", "24.0"},
          {"output.voltage", "13.65"},
          {"experimental.do.dc_ok", "0"},
          {"experimental.do.bat_mode", "1"},
          {"experimental.do.bat_ready", "1"},
          {"experimental.do.sw", "0"},
          {"experimental.di.remote", "0"},
          {"experimental.di.bat_start", "1"},
          {"experimental.di.dev_psts", "0"},
          {"experimental.policy.mode", "6"}},
         true,
         ChargeState::Charging,
         0x26,
         kAllBits,
         true,
         true,
         true,
         true,
         95,
         true},
        {"a foreign UPS: DC_OK from OL, nothing else invented",
         {{"ups.status", "OL"}, {"battery.charge", "100"}, {"driver.name", "usbhid-ups"}},
         false,
         ChargeState::Full,
         0x01,
         0x01,
         true,
         false,
         false,
         false,
         kRuntimeUnknown,
         false},
        {"garbage: numbers that are none are absent",
         {{"ups.status", "OB"},
          {"battery.charge", "lots"},
          {"battery.runtime", "1e3"},
          {"input.voltage", "230"},
          {"output.voltage", "x"},
          {"experimental.do.sw", "yes"},
          {"experimental.policy.mode", "-1"}},
         true,
         ChargeState::Discharging,
         0x00,
         0x01,
         false,
         false,
         false,
         false,
         kRuntimeUnknown,
         false},
    };
    for (const Row& r : rows) {
        const NutFacts f = nutFacts(r.vars);
        EXPECT_EQ(f.view.onBattery, r.onBattery) << r.what;
        EXPECT_EQ(f.view.chargeState, r.state) << r.what;
        EXPECT_EQ(f.view.bits, r.bits) << r.what;
        EXPECT_EQ(f.view.knownBits, r.knownBits) << r.what;
        EXPECT_EQ(f.view.hasCharge, r.hasCharge) << r.what;
        EXPECT_EQ(f.view.hasVoltages, r.hasVoltages) << r.what;
        EXPECT_EQ(f.view.hasPolicy, r.hasPolicy) << r.what;
        EXPECT_FALSE(f.view.hasDeviceType) << r.what;
        EXPECT_EQ(f.lowBattery, r.lowBattery) << r.what;
        EXPECT_EQ(f.runtimeS, r.runtimeS) << r.what;
        EXPECT_EQ(f.ours, r.ours) << r.what;
    }
    const NutFacts ours = nutFacts(rows[0].vars);
    EXPECT_EQ(ours.view.voltageOutputMv, 13650);
    EXPECT_EQ(ours.view.policyCode, 6);
}

// Each row one block after the rows before it; levels warn 20, critical 5.
TEST(WatchPower, EdgesAndLevels) {
    struct Row {
        uint16_t dcOk, charge, sw;
        int warn, critical;
        DcEdge dc;
        bool dcActs, dcBack;
        SwEdge swEdge;
        bool swActs, warnNew, criticalNew;
    } rows[] = {
        // The first block on battery and at the critical level: reported, the
        // loss does not act, the critical level may.
        {0, 4, 1, 20, 5, DcEdge::Broken, false, false, SwEdge::On, false, true, true},
        {0, 3, 1, 20, 5, DcEdge::None, false, false, SwEdge::None, false, false, false},
        {1, 3, 0, 20, 5, DcEdge::Connected, false, true, SwEdge::Off, false, false, false},
        {1, 3, 1, 20, 5, DcEdge::None, false, false, SwEdge::On, true, false, false},
        // A new discharge warns again; a known DC lost acts.
        {0, 30, 1, 20, 5, DcEdge::Broken, true, false, SwEdge::None, false, false, false},
        {0, 20, 1, 20, 5, DcEdge::None, false, false, SwEdge::None, false, true, false},
        // Level 0 is off: never reached, even at 0 %.
        {0, 0, 1, 0, 0, DcEdge::None, false, false, SwEdge::None, false, false, false},
    };
    PowerWatch p;
    int n = 0;
    for (const Row& r : rows) {
        const PowerDecision d =
            p.update(view(r.dcOk ? 1 : 2, r.dcOk, r.charge, r.sw), r.warn, r.critical);
        EXPECT_EQ(d.dc, r.dc) << "row " << n;
        EXPECT_EQ(d.dcActs, r.dcActs) << "row " << n;
        EXPECT_EQ(d.dcBackAfterLoss, r.dcBack) << "row " << n;
        EXPECT_EQ(d.sw, r.swEdge) << "row " << n;
        EXPECT_EQ(d.swActs, r.swActs) << "row " << n;
        EXPECT_EQ(d.warnReached, r.warnNew) << "row " << n;
        EXPECT_EQ(d.criticalReached, r.criticalNew) << "row " << n;
        ++n;
    }
}

// A fake clock: each row feeds one event at its time; poll cycle 1000, time-out 1000.
TEST(WatchLine, FakeClock) {
    enum Event { Read, OpenFail, Opened };
    struct Row {
        Event event;
        int result;
        int64_t now, slept;
        LineLog log;
        bool lost;
        int64_t nextAttemptAt;  // -1: not asked
    } rows[] = {
        {Read, 0, 0, 0, LineLog::None, false, -1},
        {Read, 8, 1000, 0, LineLog::FirstReadFailure, false, -1},
        {Read, 8, 4000, 0, LineLog::None, false, -1},
        // No good answer for max(5 s, 2 x 1 s + 1 s): lost, back-off 1, 2, 4 ... 30 s.
        {Read, 8, 5000, 0, LineLog::None, true, 6000},
        {OpenFail, 3, 6000, 0, LineLog::None, false, 8000},
        {OpenFail, 3, 8000, 0, LineLog::None, false, 12000},
        {OpenFail, 3, 12000, 0, LineLog::None, false, 20000},
        {OpenFail, 3, 20000, 0, LineLog::None, false, 36000},
        {OpenFail, 3, 36000, 0, LineLog::None, false, 66000},
        // A minute after the first failure: one summary.
        {OpenFail, 3, 66000, 0, LineLog::Summary, false, 96000},
        {Opened, 0, 96000, 0, LineLog::None, false, -1},
        {Read, 0, 96500, 0, LineLog::Restored, false, -1},
        // A sleep: the first failing read after it loses the line, the attempt at once.
        {Read, 8, 97500, 60000, LineLog::FirstReadFailure, true, 97500},
        {Opened, 0, 98000, 60000, LineLog::None, false, -1},
        {Read, 0, 98500, 60000, LineLog::Restored, false, -1},
    };
    LineWatch line;
    line.lostAfter = lostAfterMs(line.timings, 1000, 1000);
    EXPECT_EQ(line.lostAfter, 5000);
    EXPECT_EQ(lostAfterMs(line.timings, 3000, 500), 6500);
    int n = 0;
    for (const Row& r : rows) {
        LineDecision d = {};
        if (r.event == Read) d = line.readDone(r.result, r.now, r.slept);
        if (r.event == OpenFail) d = line.openFailed(r.result, r.now);
        if (r.event == Opened) line.opened(r.now, r.slept);
        EXPECT_EQ(d.log, r.log) << "row " << n;
        EXPECT_EQ(d.lost, r.lost) << "row " << n;
        if (r.nextAttemptAt >= 0) {
            EXPECT_EQ(d.nextAttemptAtMs, r.nextAttemptAt) << "row " << n;
        }
        ++n;
    }
    line.closed();
    EXPECT_EQ(line.failures, 0);
}

TEST(WatchResultText, EveryCodeNamed) {
    const int codes[] = {0, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    for (int code : codes)
        EXPECT_STRNE(resultText(code), "unknown result") << code;
    EXPECT_STREQ(resultText(1), "unknown result");
}

// Synthetic discharges fed once a second with the whole percent a module shows
// (truncated); the truth is the true charge over the true rate at that second.
TEST(WatchRuntime, SyntheticDischarges) {
    enum Expect { Within, Unknown, Grows };
    struct Row {
        const char* name;
        double start, rate;  // % and %/s
        int changeS;         // from here on at rate2 (0: never)
        double rate2;        // 0: the charge stalls
        int endS;            // then the DC returns
        bool learnFirst;     // an earlier discharge at rate taught the learned rate
        int checkFromS;      // first second checked
        double tolerance;    // relative, with Within
        Expect expect;
    } rows[] = {
        {"constant", 90.3, 0.05, 0, 0, 1400, false, 60, 0.10, Within},
        // Checked before the change and again from 60 s after it.
        {"load doubled", 95.6, 0.04, 600, 0.08, 1200, false, 60, 0.10, Within},
        {"load halved", 95.6, 0.1, 300, 0.05, 1200, false, 60, 0.15, Within},
        {"learned", 80.7, 0.06, 0, 0, 600, true, 10, 0.20, Within},
        {"stall", 90.3, 0.1, 200, 0, 400, false, 0, 0, Grows},
        {"no basis", 55.0, 0.0, 0, 0, 300, false, 0, 0, Unknown},
    };
    for (const Row& r : rows) {
        RuntimeEstimator e;
        if (r.learnFirst) {
            for (int t = 0; t <= 300; ++t)
                e.update(t * 1000, int(99.5 - r.rate * t), true);
            const double ended = e.update(301000, 100, false).endedRatePerS;
            EXPECT_NEAR(ended, r.rate, r.rate * 0.05) << r.name;
            e.setLearnedRate(foldLearnedRate(e.learnedRate(), ended));
        }
        const int64_t base = 1000000;
        int64_t atStall = kRuntimeUnknown, prev = kRuntimeUnknown;
        for (int t = 0; t <= r.endS; ++t) {
            const bool after = r.changeS > 0 && t >= r.changeS;
            const double level = after ? r.start - r.rate * r.changeS - r.rate2 * (t - r.changeS)
                                       : r.start - r.rate * t;
            const double rate = after ? r.rate2 : r.rate;
            const int64_t s = e.update(base + t * 1000, int(floor(level)), true).secondsLeft;
            EXPECT_EQ(s, e.secondsLeft());
            // Before two steps nothing supports a figure without a learned rate.
            if (r.expect == Unknown || (!r.learnFirst && t < 1 / r.rate - 1)) {
                EXPECT_EQ(s, kRuntimeUnknown) << r.name << " " << t;
            }
            const bool settling = after && t < r.changeS + 60;
            if (r.expect == Within && t >= r.checkFromS && !settling) {
                const double truth = level / rate;
                EXPECT_NEAR(double(s), truth, truth * r.tolerance) << r.name << " " << t;
            }
            if (r.expect == Grows && t == r.changeS) atStall = s;
            // A step interval is 10 s: past it the estimate must grow, never hold.
            if (r.expect == Grows && t > r.changeS + 15) {
                EXPECT_GT(s, prev) << r.name << " " << t;
            }
            prev = s;
        }
        if (r.expect == Grows) {
            EXPECT_GT(prev, 3 * atStall) << r.name;
        }
        // The DC back: unknown, the discharge's rate once.
        const RuntimeUpdate back = e.update(base + (r.endS + 1) * 1000, 100, false);
        EXPECT_EQ(back.secondsLeft, kRuntimeUnknown) << r.name;
        if (r.expect == Within && r.changeS == 0) {
            EXPECT_NEAR(back.endedRatePerS, r.rate, r.rate * 0.05) << r.name;
        }
        if (r.expect == Unknown) {
            EXPECT_EQ(back.endedRatePerS, 0) << r.name;
        }
        EXPECT_EQ(e.update(base + (r.endS + 2) * 1000, 100, false).endedRatePerS, 0) << r.name;
    }

    // Readings about a second apart (as upsctl's wait and a polling driver
    // take them) on steps two seconds apart: a step is seen up to a reading
    // late, so two or three steps alone give rates off by half or double.
    // Every figure given must hold, and one must come within 15 s.
    for (int jitterMs : {0, 300}) {
        RuntimeEstimator e;
        const int64_t base = 5000000;
        int64_t firstFigureMs = -1;
        for (int i = 0; i <= 60; ++i) {
            const int64_t t = i * 1000 + ((i % 3) - 1) * jitterMs;
            const double level = 77.9 - 0.5 * (t / 1000.0);
            const int64_t s = e.update(base + t, int(floor(level)), true).secondsLeft;
            if (s == kRuntimeUnknown) continue;
            if (firstFigureMs < 0) firstFigureMs = t;
            const double truth = level / 0.5;
            EXPECT_NEAR(double(s), truth, truth * 0.15) << "coarse " << jitterMs << " " << t;
        }
        EXPECT_GE(firstFigureMs, 0);
        EXPECT_LE(firstFigureMs, 15000) << "coarse " << jitterMs;
    }

    // Recorded samples: the rate between the first and the last step.
    const int64_t times[] = {0, 5000, 10000, 20000, 30000, 40000};
    const int falling[] = {80, 80, 79, 79, 78, 77};
    const int flat[] = {80, 80, 80, 81, 80, 80};
    EXPECT_NEAR(rateFromSamples(times, falling, 6), 2.0 / 30, 1e-9);
    EXPECT_EQ(rateFromSamples(times, flat, 6), 0);
    EXPECT_EQ(rateFromSamples(times, falling, 3), 0);
    EXPECT_NEAR(foldLearnedRate(0.1, 0.2), 0.13, 1e-9);
    EXPECT_EQ(foldLearnedRate(0, 0.2), 0.2);
    EXPECT_EQ(foldLearnedRate(0.1, 0), 0.1);
}

// Each row one update after the rows before it; critical and runtime rules on.
TEST(WatchPolicy, RideThroughAndRules) {
    const DcEdge N = DcEdge::None, B = DcEdge::Broken, C = DcEdge::Connected;
    const ActionCause none = ActionCause::None;
    struct Row {
        int64_t nowS;
        DcEdge dc;
        bool dcActs, critical;
        int64_t runtimeS, rideS;
        bool cancel;  // the user cancels before this update; expected result
        bool dcLoss, lowRuntime, criticalDue;
        ActionCause first;
        int64_t toGo;  // -1 nothing pending
        bool started, cancelledByReturn;
        int64_t lostForS;
    } rows[] = {
        // A 2 s blip with a 10 s ride-through: nothing runs.
        {0, B, true, false, -1, 10, false, false, false, false, none, 10, true, false, 0},
        {1, N, false, false, -1, 10, false, false, false, false, none, 9, false, false, 0},
        {2, C, false, false, -1, 10, false, false, false, false, none, -1, false, true, 2},
        // A 15 s outage: due once at 10 s; the rules after it are no longer first.
        {100, B, true, false, 900, 10, false, false, false, false, none, 10, true, false, 0},
        {109, N, false, false, 800, 10, false, false, false, false, none, 1, false, false, 0},
        {110, N, false, false, 790, 10, false, true, false, false, ActionCause::DcLost, -1, false,
         false, 0},
        {111, N, false, false, 290, 10, false, false, true, false, none, -1, false, false, 0},
        {112, N, false, false, 280, 10, false, false, false, false, none, -1, false, false, 0},
        {113, N, false, true, 270, 10, false, false, false, true, none, -1, false, false, 0},
        {115, C, false, false, -1, 10, false, false, false, false, none, -1, false, false, 0},
        // The user cancels: the runtime rule still acts, and is the first.
        {200, B, true, false, -1, 10, false, false, false, false, none, 10, true, false, 0},
        {203, N, false, false, -1, 10, true, false, false, false, none, -1, false, false, 0},
        {204, N, false, false, 500, 10, false, false, false, false, none, -1, false, false, 0},
        {212, N, false, false, 299, 10, false, false, true, false, ActionCause::LowRuntime, -1,
         false, false, 0},
        {220, N, false, false, 350, 10, false, false, false, false, none, -1, false, false, 0},
        {221, N, false, false, 250, 10, false, false, false, false, none, -1, false, false, 0},
        {230, C, false, false, -1, 10, false, false, false, false, none, -1, false, false, 0},
        // An unknown start: no countdown, no DC-loss action; critical acts.
        {300, B, false, true, -1, 10, false, false, false, true, ActionCause::CriticalLevel, -1,
         false, false, 0},
        {320, N, false, false, 100, 10, false, false, true, false, none, -1, false, false, 0},
        {330, C, false, false, -1, 10, false, false, false, false, none, -1, false, false, 0},
        // No ride-through: due at the loss block itself.
        {400, B, true, false, -1, 0, false, true, false, false, ActionCause::DcLost, -1, false,
         false, 0},
    };
    ActionPolicy p;
    int n = 0;
    for (const Row& r : rows) {
        if (r.cancel) {
            EXPECT_TRUE(p.cancel()) << "row " << n;
            EXPECT_FALSE(p.cancel()) << "row " << n;
        }
        PowerDecision power = {};
        power.dc = r.dc;
        power.dcActs = r.dcActs;
        power.criticalReached = r.critical;
        const ActionSettings settings = {true, r.rideS, 300, true};
        const ActionDecision d = p.update(r.nowS * 1000, power, r.runtimeS, settings);
        EXPECT_EQ(d.dcLossDue, r.dcLoss) << "row " << n;
        EXPECT_EQ(d.lowRuntimeDue, r.lowRuntime) << "row " << n;
        EXPECT_EQ(d.criticalDue, r.criticalDue) << "row " << n;
        EXPECT_EQ(d.first, r.first) << "row " << n;
        EXPECT_EQ(d.pending, r.toGo >= 0) << "row " << n;
        EXPECT_EQ(d.secondsToGo, r.toGo) << "row " << n;
        EXPECT_EQ(d.pendingStarted, r.started) << "row " << n;
        EXPECT_EQ(d.cancelledByReturn, r.cancelledByReturn) << "row " << n;
        EXPECT_EQ(d.lostForS, r.lostForS) << "row " << n;
        ++n;
    }
}
