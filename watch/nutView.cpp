// Mapping of NUT variables (ups.status, battery.*, our driver's experimental.*) onto a StatusView.
#include "nutView.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "runtimeEstimate.h"

namespace qxwatch {

namespace {

// A decimal number ("24.0", "80"), nothing else: no blanks, no hex, no inf.
bool number(const std::string& text, double* out) {
    if (text.empty() || text.size() > 32) return false;
    size_t k = 0;
    if (text[k] == '-') ++k;
    bool digits = false;
    bool point = false;
    for (; k < text.size(); ++k) {
        if (text[k] >= '0' && text[k] <= '9') {
            digits = true;
        } else if (text[k] == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (!digits) return false;
    *out = strtod(text.c_str(), nullptr);
    return true;
}

// A whole number 0..max after rounding, else false.
bool whole(const std::string& text, double max, double scale, uint32_t* out) {
    double v = 0;
    if (!number(text, &v)) return false;
    v = floor(v * scale + 0.5);
    if (v < 0 || v > max) return false;
    *out = (uint32_t)v;
    return true;
}

const char* const kBitNames[] = {
    "experimental.do.dc_ok",    "experimental.do.bat_mode", "experimental.do.bat_ready",
    "experimental.do.sw",       "experimental.di.remote",   "experimental.di.bat_start",
    "experimental.di.dev_psts",
};

}  // namespace

NutFacts nutFacts(const std::vector<std::pair<std::string, std::string>>& vars) {
    NutFacts f = {};
    f.runtimeS = kRuntimeUnknown;
    StatusView& v = f.view;
    v.knownBits = 0;
    v.hasCharge = false;
    v.hasPolicy = false;
    v.hasDeviceType = false;
    v.source = PowerSource::Unknown;
    v.chargeState = ChargeState::Unknown;
    bool ol = false, ob = false, chrg = false, dischrg = false;
    bool haveIn = false, haveOut = false;
    uint32_t in = 0, out = 0;
    std::string upsModel, deviceModel, charger;
    for (const auto& var : vars) {
        const std::string& name = var.first;
        const std::string& value = var.second;
        uint32_t n = 0;
        if (name == "ups.status") {
            size_t at = 0;
            while (at < value.size()) {
                size_t end = value.find(' ', at);
                if (end == std::string::npos) end = value.size();
                const std::string word = value.substr(at, end - at);
                ol = ol || word == "OL";
                ob = ob || word == "OB";
                chrg = chrg || word == "CHRG";
                dischrg = dischrg || word == "DISCHRG";
                f.lowBattery = f.lowBattery || word == "LB";
                f.forcedShutdown = f.forcedShutdown || word == "FSD";
                at = end + 1;
            }
        } else if (name == "battery.charge" && whole(value, 65535, 1, &n)) {
            v.charge = (uint16_t)n;
            v.hasCharge = true;
        } else if (name == "battery.runtime" && whole(value, 4294967295.0, 1, &n)) {
            f.runtimeS = n;
        } else if (name == "battery.charger.status") {
            charger = value;
        } else if (name == "input.voltage") {
            haveIn = whole(value, 65535, 1000, &in);
        } else if (name == "output.voltage") {
            haveOut = whole(value, 65535, 1000, &out);
        } else if (name == "experimental.policy.mode" && whole(value, 65535, 1, &n) &&
                   value.find('.') == std::string::npos) {
            v.policyCode = (uint16_t)n;
            v.hasPolicy = true;
        } else if (name == "ups.model") {
            upsModel = value;
        } else if (name == "device.model") {
            deviceModel = value;
        } else if (name == "driver.name") {
            f.ours = value == kOurNutDriver;
        } else {
            for (int k = 0; k <= kDevPStsBit; ++k) {
                if (name != kBitNames[k] || (value != "0" && value != "1")) continue;
                v.knownBits |= uint8_t(1u << k);
                if (value == "1") v.bits |= uint8_t(1u << k);
            }
        }
    }
    // DC_OK from OL/OB when the variable is not published.
    if (!v.knows(kDcOkBit) && (ol || ob)) {
        v.knownBits |= uint8_t(1u << kDcOkBit);
        if (!ob) v.bits |= uint8_t(1u << kDcOkBit);
    }
    v.onBattery = v.knows(kDcOkBit) && !v.bit(kDcOkBit);
    if (dischrg || (!chrg && ob)) {
        v.source = PowerSource::Battery;
        v.sourceCode = 2;
        v.chargeState = ChargeState::Discharging;
    } else if (chrg || ol) {
        v.source = PowerSource::Dc;
        v.sourceCode = 1;
        if (chrg || charger == "charging") {
            v.chargeState = ChargeState::Charging;
        } else if (v.hasCharge && v.charge > 100) {
            v.chargeState = ChargeState::Over100;
        } else if ((v.hasCharge && v.charge == 100) || charger == "floating" ||
                   charger == "resting") {
            v.chargeState = ChargeState::Full;
        }
    }
    v.hasVoltages = haveIn && haveOut;
    if (v.hasVoltages) {
        v.voltageInputMv = (uint16_t)in;
        v.voltageOutputMv = (uint16_t)out;
    }
    f.model = !upsModel.empty() ? upsModel : deviceModel;
    return f;
}

}  // namespace qxwatch
