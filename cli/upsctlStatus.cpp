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

// A bit, or "unknown" / null when the source does not give it.
const char* onOff(const qxwatch::StatusView& v, qxwatch::Bit b) {
    return !v.knows(b) ? "unknown" : v.bit(b) ? "on" : "off";
}

const char* trueFalse(bool value) {
    return value ? "true" : "false";
}

const char* trueFalse(const qxwatch::StatusView& v, qxwatch::Bit b) {
    return !v.knows(b) ? "null" : trueFalse(v.bit(b));
}

// The charge, or "unknown" (text) / null (JSON) without a source.
std::string chargeText(const qxwatch::StatusView& v, const char* unknown) {
    return v.hasCharge ? std::to_string(v.charge) : unknown;
}

// 0/1 of a bit in a monitor line, "?" without a source.
char bitDigit(const qxwatch::StatusView& v, qxwatch::Bit b) {
    return !v.knows(b) ? '?' : v.bit(b) ? '1' : '0';
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
             "source=%s battery=%s charge=%s%s%s DC_OK=%c Bat.Mode=%c Bat.Ready=%c SW=%c "
             "Remote=%c Bat.Start=%c Dev.PSts=%c policy=%s",
             powerSourceText(v.source), chargeStateText(v.chargeState),
             chargeText(v, "unknown").c_str(), v.hasCharge ? "%" : "", voltages,
             bitDigit(v, kDcOkBit), bitDigit(v, kBatModeBit), bitDigit(v, kBatReadyBit),
             bitDigit(v, kSwBit), bitDigit(v, kRemoteBit), bitDigit(v, kBatStartBit),
             bitDigit(v, kDevPStsBit), v.hasPolicy ? policyModeText(v.policyCode) : "unknown");
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
    if (v.hasDeviceType) {
        printf("Device type:     %u\n", v.deviceType);
    } else {
        printf("Device type:     unknown\n");
    }
    printf("Product:         %s\n", product.empty() ? "unknown" : product.c_str());
    printf("Power supply:    %s\n", powerSourceText(v.source));
    printf("Battery status:  %s\n", chargeStateText(v.chargeState));
    printf("Battery charge:  %s%s\n", chargeText(v, "unknown").c_str(), v.hasCharge ? " %" : "");
    printf("Time left:       %s\n",
           runtime == qxwatch::kRuntimeUnknown ? "unknown" : duration(runtime).c_str());
    if (v.hasVoltages) {
        printf("Voltage input:   %u mV\n", v.voltageInputMv);
        printf("Voltage output:  %u mV\n", v.voltageOutputMv);
    }
    printf("Policy mode:     %s\n", v.hasPolicy ? policyModeText(v.policyCode) : "unknown");
    printf("DO: DC_OK=%s Bat.Mode=%s Bat.Ready=%s SW=%s\n", onOff(v, kDcOkBit),
           onOff(v, kBatModeBit), onOff(v, kBatReadyBit), onOff(v, kSwBit));
    printf("DI: Remote=%s Bat.Start=%s Dev.PSts=%s\n", onOff(v, kRemoteBit), onOff(v, kBatStartBit),
           onOff(v, kDevPStsBit));
}

// The same fields as printStatus, as one JSON object. Every text but the
// product's name is one of the fixed texts above, so only that is escaped. A device without voltage
// registers gives null voltages; an unknown runtime (on DC, no basis yet) null;
// so is every field the source does not give (a UPS watched through upsd).
void printStatusJson(const qxwatch::StatusView& v, const std::string& product, long long runtime,
                     int warnLevel, int criticalLevel) {
    using namespace qxwatch;
    char voltageInput[16] = "null";
    char voltageOutput[16] = "null";
    if (v.hasVoltages) {
        snprintf(voltageInput, sizeof voltageInput, "%u", v.voltageInputMv);
        snprintf(voltageOutput, sizeof voltageOutput, "%u", v.voltageOutputMv);
    }
    const std::string deviceType = v.hasDeviceType ? std::to_string(v.deviceType) : "null";
    const std::string policy =
        v.hasPolicy ? std::string("\"") + policyModeText(v.policyCode) + "\"" : "null";
    const char* low =
        v.hasCharge ? trueFalse(QXUPS_LevelReached(v.charge, warnLevel, v.onBattery)) : "null";
    const char* critical =
        v.hasCharge ? trueFalse(QXUPS_LevelReached(v.charge, criticalLevel, v.onBattery)) : "null";
    printf(
        "{\"product\": %s, \"device_type\": %s, \"power_supply\": \"%s\", \"battery_status\": "
        "\"%s\", "
        "\"battery_charge\": %s, \"voltage_input_mv\": %s, \"voltage_output_mv\": %s, "
        "\"policy_mode\": %s, "
        "\"do\": {\"dc_ok\": %s, \"bat_mode\": %s, \"bat_ready\": %s, \"sw\": %s}, "
        "\"di\": {\"remote\": %s, \"bat_start\": %s, \"dev_psts\": %s}, "
        "\"low_battery\": %s, \"critical_battery\": %s, \"runtime_s\": %s}\n",
        jsonString(product).c_str(), deviceType.c_str(), powerSourceText(v.source),
        chargeStateText(v.chargeState), chargeText(v, "null").c_str(), voltageInput, voltageOutput,
        policy.c_str(), trueFalse(v, kDcOkBit), trueFalse(v, kBatModeBit),
        trueFalse(v, kBatReadyBit), trueFalse(v, kSwBit), trueFalse(v, kRemoteBit),
        trueFalse(v, kBatStartBit), trueFalse(v, kDevPStsBit), low, critical,
        runtime == qxwatch::kRuntimeUnknown ? "null" : std::to_string(runtime).c_str());
}
