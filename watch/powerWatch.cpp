// The edge and level rules: only edges count; the first block reports, never acts.
#include "powerWatch.h"

#include "QXUPSBattery.h"

namespace qxwatch {

PowerDecision PowerWatch::update(const StatusView& v, int warnLevel, int criticalLevel) {
    PowerDecision d = {};
    const bool dcOk = !v.onBattery;
    if (dcOk && lastDc != 1) {
        d.dc = DcEdge::Connected;
        d.dcBackAfterLoss = lossReported;
        lossReported = false;
    } else if (!dcOk && lastDc != 0) {
        d.dc = DcEdge::Broken;
        d.dcActs = lastDc == 1;
        lossReported = true;
    }
    lastDc = dcOk ? 1 : 0;

    const bool swOn = v.bit(kSwBit);
    if (swOn && lastSw != 1) {
        d.sw = SwEdge::On;
        d.swActs = lastSw == 0;
    } else if (!swOn && lastSw == 1) {
        d.sw = SwEdge::Off;
    }
    lastSw = swOn ? 1 : 0;

    if (!v.onBattery) warnReported = criticalReported = false;
    const bool warn = QXUPS_LevelReached(v.charge, warnLevel, v.onBattery);
    const bool critical = QXUPS_LevelReached(v.charge, criticalLevel, v.onBattery);
    d.warnReached = warn && !warnReported;
    d.criticalReached = critical && !criticalReported;
    warnReported = warnReported || warn;
    criticalReported = criticalReported || critical;
    d.alert = critical ? 2 : warn ? 1 : 0;
    return d;
}

}  // namespace qxwatch
