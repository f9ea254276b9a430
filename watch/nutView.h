// A UPS as Network UPS Tools publishes it (its variables) mapped onto the shared status view.
#pragma once

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "statusBlock.h"

namespace qxwatch {

// The name our NUT driver gives itself in driver.name.
const char kOurNutDriver[] = "qxups-nut";

// The view, and what NUT says beyond the block.
struct NutFacts {
    StatusView view;
    bool lowBattery;      // LB in ups.status
    bool forcedShutdown;  // FSD in ups.status
    int64_t runtimeS;     // battery.runtime, kRuntimeUnknown (-1) when absent
    std::string model;    // ups.model, else device.model; empty when neither
    bool ours;            // served by our driver (driver.name)
};

// vars: NAME, VALUE as LIST VAR gives them. What is not published stays
// unknown (its known flag false); a value that is no number is absent.
// On battery is DC_OK = 0 as everywhere: from experimental.do.dc_ok when
// published, else from OB in ups.status, and then DC_OK counts as known
// (OL/OB is exactly what that bit says). The power source follows the
// charger words (DISCHRG: battery, CHRG: DC) like word 27 in our driver,
// else OB/OL. Voltages above 65.535 V (a mains UPS) do not fit the view's
// millivolts and are left out.
NutFacts nutFacts(const std::vector<std::pair<std::string, std::string>>& vars);

}  // namespace qxwatch
