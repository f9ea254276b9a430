// DC/SW edge memory and the battery levels once per discharge, fed decoded blocks.
#pragma once

#include "statusBlock.h"

namespace qxwatch {

enum class DcEdge : uint8_t { None, Connected, Broken };
enum class SwEdge : uint8_t { None, On, Off };

struct PowerDecision {
    DcEdge dc;
    bool dcActs;           // a loss from a known DC: the front end may run its script/hook
    bool dcBackAfterLoss;  // DC back after a loss that was reported
    SwEdge sw;
    bool swActs;           // SW on from a known off
    bool warnReached;      // the warning level reached for the first time this discharge
    bool criticalReached;  // the critical one; may act even on the first block
    int alert;             // 0 none, 1 warning, 2 critical: the state now
};

// The memory outlives reconnects: keep one per watched module, never reset on
// a lost line, so that the first block after it is compared with the last known.
struct PowerWatch {
    int8_t lastDc = -1;  // -1 unknown (start), 0 off, 1 on
    int8_t lastSw = -1;
    bool lossReported = false;
    bool warnReported = false;
    bool criticalReported = false;
    // Levels in percent, 0 off (QXUPS_LevelReached).
    PowerDecision update(const StatusView& v, int warnLevel, int criticalLevel);
};

}  // namespace qxwatch
