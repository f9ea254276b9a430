// Table test of the watching rules: decoding, edges, levels and the line on a fake clock.
#include <gtest/gtest.h>
#include <string.h>

#include "QXUPSStatus.h"
#include "lineWatch.h"
#include "powerWatch.h"
#include "resultText.h"
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
