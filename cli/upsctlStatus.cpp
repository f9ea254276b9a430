// The decoded status block in upsctl's words: the monitor's line, the status text and its JSON.
#include "upsctlStatus.h"

#include <stdio.h>

#include <string>

#include "QXUPSBattery.h"
#include "resultText.h"
#include "runtimeEstimate.h"
#include "upsctlDischarge.h"
#include "upsctlSystem.h"

namespace {

const char* policyModeText(uint16_t code) {
    static const char* const kModes[] = {"PC",          "0.5 A",   "0.4 A",   "0.3 A",   "0.2 A",
                                         "\u221E Sec.", "20 Sec.", "15 Sec.", "10 Sec.", "5 Sec."};
    return code < 10 ? kModes[code] : "NULL";
}

const char* powerSourceText(qxwatch::PowerSource source) {
    return source == qxwatch::PowerSource::Dc        ? "DC"
           : source == qxwatch::PowerSource::Battery ? "UPS"
                                                     : "unknown";
}

// A charge over 100 on DC reads as full, as it always has here.
const char* chargeStateText(qxwatch::ChargeState state) {
    switch (state) {
        case qxwatch::ChargeState::Charging:
            return "Charging";
        case qxwatch::ChargeState::Full:
        case qxwatch::ChargeState::Over100:
            return "Charge Full";
        case qxwatch::ChargeState::Discharging:
            return "Discharging";
        default:
            return "unknown";
    }
}

const char* onOff(bool value) {
    return value ? "on" : "off";
}

const char* trueFalse(bool value) {
    return value ? "true" : "false";
}

// A JSON string, or null for an empty text: the product's name comes from a
// data file and may hold anything.
std::string jsonString(const std::string& text) {
    if (text.empty()) return "null";
    std::string quoted = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += (char)c;
        } else if (c < 0x20) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", c);
            quoted += escaped;
        } else {
            quoted += (char)c;
        }
    }
    return quoted + "\"";
}

}  // namespace

// One line of the decoded status block.
std::string statusLine(const qxwatch::StatusView& v) {
    using namespace qxwatch;
    char line[512];
    char voltages[64] = "";
    if (v.hasVoltages) {
        snprintf(voltages, sizeof voltages, " in=%umV out=%umV", v.voltageInputMv,
                 v.voltageOutputMv);
    }
    snprintf(line, sizeof line,
             "source=%s battery=%s charge=%u%%%s DC_OK=%d Bat.Mode=%d Bat.Ready=%d SW=%d "
             "Remote=%d Bat.Start=%d Dev.PSts=%d policy=%s",
             powerSourceText(v.source), chargeStateText(v.chargeState), v.charge, voltages,
             v.bit(kDcOkBit), v.bit(kBatModeBit), v.bit(kBatReadyBit), v.bit(kSwBit),
             v.bit(kRemoteBit), v.bit(kBatStartBit), v.bit(kDevPStsBit),
             policyModeText(v.policyCode));
    return line;
}

int readStatus(UPS_DeviceDescriptor* device, double learnedRate, unsigned long waitS,
               qxwatch::StatusView* view, long long* runtime) {
    qxwatch::RuntimeEstimator estimator;
    estimator.setLearnedRate(learnedRate);
    const long long deadline = monotonicMs() + (long long)waitS * 1000;
    for (bool first = true;; first = false) {
        uint16_t status[qxwatch::kStatusWords] = {};
        const int rc =
            UPS_ReadRegisters(device, qxwatch::kStatusStart, qxwatch::kStatusWords, status);
        if (rc != Success) {
            if (first) return rc;
            // The block already read is still good: shown, without a figure.
            fprintf(stderr, "upsctl: warning: reading again for the runtime failed: %s (%d)\n",
                    qxwatch::resultText(rc), rc);
            return Success;
        }
        *view = qxwatch::decodeStatus(status);
        *runtime = estimator.update(monotonicMs(), view->charge, view->onBattery).secondsLeft;
        // A figure from few steps may be a quarter off: one that can still
        // wait reads on until the steps have spread out (an eighth at most).
        const bool settled = *runtime != qxwatch::kRuntimeUnknown &&
                             (estimator.fitSpread() < 0 || estimator.fitSpread() <= 0.125);
        if (!view->onBattery || settled) return Success;
        // Four readings a second: a step's time is then known to an eighth of
        // a second, so the slope needs fewer steps to be trusted.
        const long long next = monotonicMs() + 250;
        if (next > deadline || sleepUntil(next, nullptr, 0)) return Success;
    }
}

void printStatus(const qxwatch::StatusView& v, const std::string& product, long long runtime) {
    using namespace qxwatch;
    printf("Device type:     %u\n", v.deviceType);
    printf("Product:         %s\n", product.empty() ? "unknown" : product.c_str());
    printf("Power supply:    %s\n", powerSourceText(v.source));
    printf("Battery status:  %s\n", chargeStateText(v.chargeState));
    printf("Battery charge:  %u %%\n", v.charge);
    printf("Time left:       %s\n",
           runtime == qxwatch::kRuntimeUnknown ? "unknown" : duration(runtime).c_str());
    if (v.hasVoltages) {
        printf("Voltage input:   %u mV\n", v.voltageInputMv);
        printf("Voltage output:  %u mV\n", v.voltageOutputMv);
    }
    printf("Policy mode:     %s\n", policyModeText(v.policyCode));
    printf("DO: DC_OK=%s Bat.Mode=%s Bat.Ready=%s SW=%s\n", onOff(v.bit(kDcOkBit)),
           onOff(v.bit(kBatModeBit)), onOff(v.bit(kBatReadyBit)), onOff(v.bit(kSwBit)));
    printf("DI: Remote=%s Bat.Start=%s Dev.PSts=%s\n", onOff(v.bit(kRemoteBit)),
           onOff(v.bit(kBatStartBit)), onOff(v.bit(kDevPStsBit)));
}

// The same fields as printStatus, as one JSON object. Every text but the
// product's name is one of the fixed texts above, so only that is escaped. A device without voltage
// registers gives null voltages; an unknown runtime (on DC, no basis yet) null.
void printStatusJson(const qxwatch::StatusView& v, const std::string& product, long long runtime,
                     int warnLevel, int criticalLevel) {
    using namespace qxwatch;
    char voltageInput[16] = "null";
    char voltageOutput[16] = "null";
    if (v.hasVoltages) {
        snprintf(voltageInput, sizeof voltageInput, "%u", v.voltageInputMv);
        snprintf(voltageOutput, sizeof voltageOutput, "%u", v.voltageOutputMv);
    }
    printf(
        "{\"product\": %s, \"device_type\": %u, \"power_supply\": \"%s\", \"battery_status\": "
        "\"%s\", "
        "\"battery_charge\": %u, \"voltage_input_mv\": %s, \"voltage_output_mv\": %s, "
        "\"policy_mode\": \"%s\", "
        "\"do\": {\"dc_ok\": %s, \"bat_mode\": %s, \"bat_ready\": %s, \"sw\": %s}, "
        "\"di\": {\"remote\": %s, \"bat_start\": %s, \"dev_psts\": %s}, "
        "\"low_battery\": %s, \"critical_battery\": %s, \"runtime_s\": %s}\n",
        jsonString(product).c_str(), v.deviceType, powerSourceText(v.source),
        chargeStateText(v.chargeState), v.charge, voltageInput, voltageOutput,
        policyModeText(v.policyCode), trueFalse(v.bit(kDcOkBit)), trueFalse(v.bit(kBatModeBit)),
        trueFalse(v.bit(kBatReadyBit)), trueFalse(v.bit(kSwBit)), trueFalse(v.bit(kRemoteBit)),
        trueFalse(v.bit(kBatStartBit)), trueFalse(v.bit(kDevPStsBit)),
        trueFalse(QXUPS_LevelReached(v.charge, warnLevel, v.onBattery)),
        trueFalse(QXUPS_LevelReached(v.charge, criticalLevel, v.onBattery)),
        runtime == qxwatch::kRuntimeUnknown ? "null" : std::to_string(runtime).c_str());
}
