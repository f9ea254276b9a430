// upsctl: the UPS module from the command line, through the same library as
// the desktop program. For headless machines and scripts.
//
// The exit status is 0 on success, the library's result code when a request
// fails (3 port error, 8 timed out, 11 illegal address, ...), and 64 for bad
// usage and for a value outside the range of the product's register table.
#include <ctype.h>
#include <errno.h>
#include <getopt.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "QXUPSBattery.h"
#include "QXUPSSDK.h"
#include "history.h"
#include "lineWatch.h"
#include "powerWatch.h"
#include "resultText.h"
#include "statusBlock.h"
#include "upsctlSystem.h"
#include "upsctlUsage.h"
#include "writeRanges.h"

namespace {

const int kUsage = 64;
const unsigned long kFirstRegister = 40000;
const unsigned long kLastRegister = 65535;
// After a usage error: one line pointing at the help, not the whole text.
int usageError() {
    fprintf(stderr, "Try 'upsctl --help' for the commands and options.\n");
    return kUsage;
}

// A number is decimal, or hexadecimal after "0x": a leading zero never means
// octal ("010" is ten). Digits only: no sign, no blanks.
bool parseNumber(const char* text, unsigned long max, unsigned long* value) {
    if (text == nullptr) return false;
    int base = 10;
    const char* digits = text;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        digits = text + 2;
    }
    if (*digits == '\0') return false;
    for (const char* c = digits; *c != '\0'; ++c) {
        if (base == 10 ? !isdigit((unsigned char)*c) : !isxdigit((unsigned char)*c)) return false;
    }
    char* end = nullptr;
    errno = 0;
    unsigned long v = strtoul(digits, &end, base);
    if (errno != 0 || *end != '\0' || v > max) return false;
    *value = v;
    return true;
}

int fail(const char* what, int code) {
    fprintf(stderr, "upsctl: %s: %s (%d)\n", what, qxwatch::resultText(code), code);
    return code;
}

// A register range must lie within 40000..65535; anything else would reach
// another register once the library maps it to the protocol address.
bool registerRangeOk(unsigned long address, unsigned long count) {
    if (address >= kFirstRegister && address <= kLastRegister &&
        count - 1 <= kLastRegister - address) {
        return true;
    }
    if (count > 1 && address <= ULONG_MAX - (count - 1)) {
        fprintf(stderr, "upsctl: registers %lu..%lu", address, address + count - 1);
    } else {
        fprintf(stderr, "upsctl: register %lu", address);
    }
    fprintf(stderr, " out of range: addresses are 40000..65535 (40000 + the register number)\n");
    return false;
}

const char* policyModeText(uint16_t code) {
    static const char* const kModes[] = {"PC",          "0.5 A",   "0.4 A",   "0.3 A",   "0.2 A",
                                         "\u221E Sec.", "20 Sec.", "15 Sec.", "10 Sec.", "5 Sec."};
    return code < 10 ? kModes[code] : "NULL";
}

const char* powerSourceText(qxwatch::PowerSource source) {
    switch (source) {
        case qxwatch::PowerSource::Dc:
            return "DC";
        case qxwatch::PowerSource::Battery:
            return "UPS";
        default:
            return "unknown";
    }
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

void printStatus(const qxwatch::StatusView& v) {
    using namespace qxwatch;
    printf("Device type:     %u\n", v.deviceType);
    printf("Power supply:    %s\n", powerSourceText(v.source));
    printf("Battery status:  %s\n", chargeStateText(v.chargeState));
    printf("Battery charge:  %u %%\n", v.charge);
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

// The low-battery levels (percent, 0 off), shared by status and monitor.
int g_warnLevel = kQXUPS_DefaultWarnLevel;
int g_criticalLevel = kQXUPS_DefaultCriticalLevel;

bool levelReached(const qxwatch::StatusView& v, int level) {
    return QXUPS_LevelReached(v.charge, level, v.onBattery);
}

// The same fields as printStatus, as one JSON object. Every text is one of
// the fixed texts above, so none needs escaping. A device without voltage
// registers gives null voltages.
void printStatusJson(const qxwatch::StatusView& v) {
    using namespace qxwatch;
    char voltageInput[16] = "null";
    char voltageOutput[16] = "null";
    if (v.hasVoltages) {
        snprintf(voltageInput, sizeof voltageInput, "%u", v.voltageInputMv);
        snprintf(voltageOutput, sizeof voltageOutput, "%u", v.voltageOutputMv);
    }
    printf(
        "{\"device_type\": %u, \"power_supply\": \"%s\", \"battery_status\": \"%s\", "
        "\"battery_charge\": %u, \"voltage_input_mv\": %s, \"voltage_output_mv\": %s, "
        "\"policy_mode\": \"%s\", "
        "\"do\": {\"dc_ok\": %s, \"bat_mode\": %s, \"bat_ready\": %s, \"sw\": %s}, "
        "\"di\": {\"remote\": %s, \"bat_start\": %s, \"dev_psts\": %s}, "
        "\"low_battery\": %s, \"critical_battery\": %s}\n",
        v.deviceType, powerSourceText(v.source), chargeStateText(v.chargeState), v.charge,
        voltageInput, voltageOutput, policyModeText(v.policyCode), trueFalse(v.bit(kDcOkBit)),
        trueFalse(v.bit(kBatModeBit)), trueFalse(v.bit(kBatReadyBit)), trueFalse(v.bit(kSwBit)),
        trueFalse(v.bit(kRemoteBit)), trueFalse(v.bit(kBatStartBit)), trueFalse(v.bit(kDevPStsBit)),
        trueFalse(levelReached(v, g_warnLevel)), trueFalse(levelReached(v, g_criticalLevel)));
}

}  // namespace

// Set when standard output can no longer be written (a closed pipe): the
// monitor then ends as on SIGTERM, hooks first.
static bool g_outputLost = false;

// One monitor line: time stamp, ">>", message (the program's log format).
void logLine(const char* format, ...) {
    printf("%s>>", timestamp().c_str());
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    printf("\n");
    if (fflush(stdout) != 0) g_outputLost = true;
}

namespace {

std::string duration(long long ms) {
    const long long seconds = (ms + 500) / 1000;
    char text[64];
    if (seconds < 60) {
        snprintf(text, sizeof text, "%lld s", seconds);
    } else if (seconds < 3600) {
        snprintf(text, sizeof text, "%lld min %lld s", seconds / 60, seconds % 60);
    } else {
        snprintf(text, sizeof text, "%lld h %lld min", seconds / 3600, seconds / 60 % 60);
    }
    return text;
}

// The hooks of the monitor, in the order they are serviced.
enum {
    kHookDcLoss,
    kHookSwOn,
    kHookCommLost,
    kHookCommOk,
    kHookLowBattery,
    kHookCriticalBattery,
    kHookCount
};

int monitor(UPS_DeviceDescriptor* device, unsigned long intervalMs, Hook* hooks) {
    // The rules are the shared ones: the line (lost-line time, back-off,
    // collapse of failures, sleep) in LineWatch, the DC/SW edges and the
    // levels in PowerWatch. Both outlive a lost line, so that the first block
    // after it is compared with the last one seen; at start a module already
    // on battery (or with SW on) is reported but runs no command.
    qxwatch::LineWatch line;
    line.lostAfter =
        qxwatch::lostAfterMs(line.timings, device->responseTimeoutMs, (uint32_t)intervalMs);
    line.opened(monotonicMs(), sleptMs());
    qxwatch::PowerWatch power;
    std::string last;
    bool open = true;
    bool lost = false;
    bool stop = false;

    // The first read failure is printed, then a summary at most once a minute.
    auto logFailure = [](const qxwatch::LineDecision& d) {
        if (d.log == qxwatch::LineLog::FirstReadFailure) {
            logLine("Read error: %d (%s)", d.result, qxwatch::resultText(d.result));
        } else if (d.log == qxwatch::LineLog::Summary) {
            logLine("Still no answer, %d attempts (error %d: %s)", d.failures, d.result,
                    qxwatch::resultText(d.result));
        }
    };

    while (!stop) {
        long long wakeAt;
        if (!open) {
            UPS_DeviceInfo info = {};
            int rc = UPS_DeviceOpen(device, &info);
            if (rc == Success) {
                open = true;
                line.opened(monotonicMs(), sleptMs());
                continue;  // read at once
            }
            const qxwatch::LineDecision d = line.openFailed(rc, monotonicMs());
            logFailure(d);
            wakeAt = d.nextAttemptAtMs;
        } else {
            const long long slept = sleptMs();
            uint16_t status[qxwatch::kStatusWords] = {};
            int rc =
                UPS_ReadRegisters(device, qxwatch::kStatusStart, qxwatch::kStatusWords, status);
            const qxwatch::LineDecision d = line.readDone(rc, monotonicMs(), slept);
            if (rc != Success) {
                logFailure(d);
                last.clear();
                if (d.lost) {
                    logLine("Communication with the module lost (error %d: %s)", rc,
                            qxwatch::resultText(rc));
                    lost = true;
                    startHook(&hooks[kHookCommLost]);
                    // A device path that went away is only found again by
                    // opening it anew.
                    UPS_DeviceClose(device);
                    open = false;
                    wakeAt = d.nextAttemptAtMs;
                } else {
                    wakeAt = monotonicMs() + (long long)intervalMs;
                }
            } else {
                if (d.log == qxwatch::LineLog::Restored) {
                    logLine("Communication restored after %s", duration(d.restoredAfterMs).c_str());
                    if (lost) startHook(&hooks[kHookCommOk]);
                    lost = false;
                }
                const qxwatch::StatusView view = qxwatch::decodeStatus(status);
                std::string text = statusLine(view);
                if (text != last) logLine("%s", text.c_str());
                last = text;
                const qxwatch::PowerDecision p = power.update(view, g_warnLevel, g_criticalLevel);
                if (p.dc == qxwatch::DcEdge::Connected) {
                    logLine("DC is connected.");
                } else if (p.dc == qxwatch::DcEdge::Broken) {
                    logLine("DC is broken.");
                    if (p.dcActs) startHook(&hooks[kHookDcLoss]);
                }
                if (p.sw == qxwatch::SwEdge::On) {
                    logLine("SW ON.");
                    if (p.swActs) startHook(&hooks[kHookSwOn]);
                } else if (p.sw == qxwatch::SwEdge::Off) {
                    logLine("SW OFF.");
                }
                if (p.warnReached) {
                    logLine("Battery low: %u %% (warning level %d %%).", view.charge, g_warnLevel);
                    startHook(&hooks[kHookLowBattery]);
                }
                if (p.criticalReached) {
                    logLine("Battery critical: %u %% (critical level %d %%).", view.charge,
                            g_criticalLevel);
                    startHook(&hooks[kHookCriticalBattery]);
                }
                wakeAt = monotonicMs() + (long long)intervalMs;
            }
        }
        if (fflush(stdout) != 0) g_outputLost = true;
        stop = g_outputLost || sleepUntil(wakeAt, hooks, kHookCount);
    }
    for (int k = 0; k < kHookCount; ++k)
        endHook(&hooks[k], "as the monitor stopped");
    if (open) UPS_DeviceClose(device);
    return Success;
}

enum OptionId {
    kOptPort = 256,
    kOptDevice,
    kOptSlave,
    kOptBaud,
    kOptParity,
    kOptAscii,
    kOptTimeout,
    kOptJson,
    kOptOnDcLoss,
    kOptOnSwOn,
    kOptOnCommLost,
    kOptOnCommOk,
    kOptOnLowBattery,
    kOptOnCriticalBattery,
    kOptWarnLevel,
    kOptCriticalLevel,
    kOptForce,
    kOptHelp,
};

const struct option kOptions[] = {
    {"port", required_argument, nullptr, kOptPort},
    {"device", required_argument, nullptr, kOptDevice},
    {"slave", required_argument, nullptr, kOptSlave},
    {"baud", required_argument, nullptr, kOptBaud},
    {"parity", required_argument, nullptr, kOptParity},
    {"ascii", no_argument, nullptr, kOptAscii},
    {"timeout", required_argument, nullptr, kOptTimeout},
    {"json", no_argument, nullptr, kOptJson},
    {"on-dc-loss", required_argument, nullptr, kOptOnDcLoss},
    {"on-sw-on", required_argument, nullptr, kOptOnSwOn},
    {"on-comm-lost", required_argument, nullptr, kOptOnCommLost},
    {"on-comm-ok", required_argument, nullptr, kOptOnCommOk},
    {"on-low-battery", required_argument, nullptr, kOptOnLowBattery},
    {"on-critical-battery", required_argument, nullptr, kOptOnCriticalBattery},
    {"warn-level", required_argument, nullptr, kOptWarnLevel},
    {"critical-level", required_argument, nullptr, kOptCriticalLevel},
    {"force", no_argument, nullptr, kOptForce},
    {"help", no_argument, nullptr, kOptHelp},
    {nullptr, 0, nullptr, 0},
};

int badOption(const char* name, const char* value) {
    fprintf(stderr, "upsctl: bad value for --%s: '%s'\n", name, value);
    return usageError();
}

}  // namespace

int main(int argc, char** argv) {
    // The history is read from the program's file: no module, options of its own.
    if (argc >= 2 && strcmp(argv[1], "history") == 0) return upsctlHistory(argc - 1, argv + 1);
    UPS_DeviceDescriptor device = {};
    device.portNumber = 1;
    device.slaveAddress = 1;
    device.baudRate = 115200;
    device.responseTimeoutMs = 1000;
    device.dataBits = 8;
    device.stopBits = 1;
    bool byPath = false;
    bool json = false;
    bool force = false;
    Hook hooks[kHookCount] = {{"on-dc-loss", nullptr, 0, 0, nullptr, nullptr},
                              {"on-sw-on", nullptr, 0, 0, nullptr, nullptr},
                              {"on-comm-lost", nullptr, 0, 0, nullptr, nullptr},
                              {"on-comm-ok", nullptr, 0, 0, nullptr, nullptr},
                              {"on-low-battery", nullptr, 0, 0, nullptr, nullptr},
                              {"on-critical-battery", nullptr, 0, 0, nullptr, nullptr}};
    bool levelsGiven = false;

    // Options may stand before or after the command ("status --json").
    int id;
    while ((id = getopt_long(argc, argv, "", kOptions, nullptr)) != -1) {
        unsigned long n = 0;
        switch (id) {
            case kOptHelp:
                upsctlUsage(stdout);
                return 0;
            case kOptAscii:
                device.framing = 1;
                break;
            case kOptPort:
                if (!parseNumber(optarg, 255, &n)) return badOption("port", optarg);
                device.portNumber = (uint8_t)n;
                byPath = false;
                break;
            case kOptDevice:
                if (*optarg == '\0') return badOption("device", optarg);
                if (!useDevicePath(&device, optarg)) return usageError();
                byPath = true;
                break;
            case kOptSlave:
                if (!parseNumber(optarg, 247, &n) || n < 1) return badOption("slave", optarg);
                device.slaveAddress = (uint8_t)n;
                break;
            case kOptBaud:
                if (!parseNumber(optarg, 4000000, &n) || n < 1) return badOption("baud", optarg);
                device.baudRate = (uint32_t)n;
                break;
            case kOptTimeout:
                if (!parseNumber(optarg, 65534, &n) || n < 1) return badOption("timeout", optarg);
                device.responseTimeoutMs = (uint32_t)n;
                break;
            case kOptParity:
                if (strcmp(optarg, "none") == 0) {
                    device.parity = 0;
                } else if (strcmp(optarg, "odd") == 0) {
                    device.parity = 1;
                } else if (strcmp(optarg, "even") == 0) {
                    device.parity = 2;
                } else {
                    return badOption("parity", optarg);
                }
                break;
            case kOptJson:
                json = true;
                break;
            case kOptForce:
                force = true;
                break;
            case kOptOnDcLoss:
                hooks[kHookDcLoss].command = optarg;
                break;
            case kOptOnSwOn:
                hooks[kHookSwOn].command = optarg;
                break;
            case kOptOnCommLost:
                hooks[kHookCommLost].command = optarg;
                break;
            case kOptOnCommOk:
                hooks[kHookCommOk].command = optarg;
                break;
            case kOptOnLowBattery:
                hooks[kHookLowBattery].command = optarg;
                break;
            case kOptOnCriticalBattery:
                hooks[kHookCriticalBattery].command = optarg;
                break;
            case kOptWarnLevel:
                if (!parseNumber(optarg, 100, &n)) return badOption("warn-level", optarg);
                g_warnLevel = (int)n;
                levelsGiven = true;
                break;
            case kOptCriticalLevel:
                if (!parseNumber(optarg, 100, &n)) return badOption("critical-level", optarg);
                g_criticalLevel = (int)n;
                levelsGiven = true;
                break;
            default:  // getopt_long has named the option
                return usageError();
        }
    }
    if (optind >= argc) {
        upsctlUsage(stderr);
        return kUsage;
    }
    const char* command = argv[optind];
    int rest = argc - optind - 1;
    char** args = argv + optind + 1;

    // Check the command's arguments before touching the line.
    unsigned long address = 0;
    unsigned long count = 1;
    unsigned long interval = 1000;
    uint16_t values[123] = {};
    bool ok = true;
    const bool isMonitor = strcmp(command, "monitor") == 0;
    if (json && strcmp(command, "status") != 0) {
        fprintf(stderr, "upsctl: --json belongs to the status command\n");
        ok = false;
    } else if (force && strcmp(command, "write") != 0) {
        fprintf(stderr, "upsctl: --force belongs to the write command\n");
        ok = false;
    } else if (!isMonitor && std::any_of(hooks, hooks + kHookCount, [](const Hook& hook) {
                   return hook.command != nullptr;
               })) {
        fprintf(stderr, "upsctl: --on-* commands belong to the monitor command\n");
        ok = false;
    } else if (levelsGiven && !isMonitor && strcmp(command, "status") != 0) {
        fprintf(stderr, "upsctl: --warn-level and --critical-level belong to status and monitor\n");
        ok = false;
    } else if (strcmp(command, "info") == 0 || strcmp(command, "status") == 0) {
        ok = rest == 0;
    } else if (strcmp(command, "read") == 0) {
        ok = (rest == 1 || rest == 2) && parseNumber(args[0], ULONG_MAX, &address) &&
             (rest == 1 || (parseNumber(args[1], 125, &count) && count >= 1)) &&
             registerRangeOk(address, count);
    } else if (strcmp(command, "write") == 0) {
        ok = rest >= 2 && rest - 1 <= 123 && parseNumber(args[0], ULONG_MAX, &address);
        for (int k = 1; ok && k < rest; ++k) {
            unsigned long v = 0;
            ok = parseNumber(args[k], 65535, &v);
            // Never cut to the low 16 bits, not even with --force.
            if (!ok && parseNumber(args[k], ULONG_MAX, &v)) {
                fprintf(stderr, "upsctl: %s is no register value: a register holds 0..65535\n",
                        args[k]);
            }
            values[k - 1] = (uint16_t)v;
        }
        count = (unsigned long)(rest - 1);
        ok = ok && registerRangeOk(address, count);
    } else if (isMonitor) {
        ok = rest == 0 || (rest == 1 && parseNumber(args[0], 3600000, &interval) && interval > 0);
    } else {
        ok = false;
    }
    if (!ok) {
        fprintf(stderr, "upsctl: bad command line for '%s'\n", command);
        return usageError();
    }

    if (isMonitor && !watchStopSignals()) return IoError;
    UPS_DeviceInfo info = {};
    int rc = UPS_DeviceOpen(&device, &info);
    if (rc == PortError) {
        explainPortError(device.portNumber, byPath);
        return rc;
    }
    if (rc != Success) return fail("open", rc);

    if (strcmp(command, "info") == 0) {
        printf("device type %u\nhardware version %u\nfirmware version %u\ndriver version %u\n",
               info.deviceType, info.hardwareVersion, info.firmwareVersion, info.driverVersion);
    } else if (strcmp(command, "status") == 0) {
        uint16_t status[qxwatch::kStatusWords] = {};
        rc = UPS_ReadRegisters(&device, qxwatch::kStatusStart, qxwatch::kStatusWords, status);
        if (rc == Success) {
            const qxwatch::StatusView view = qxwatch::decodeStatus(status);
            if (json) {
                printStatusJson(view);
            } else {
                printStatus(view);
            }
        }
    } else if (strcmp(command, "read") == 0) {
        uint16_t read[125] = {};
        rc = UPS_ReadRegisters(&device, (uint16_t)address, (uint8_t)count, read);
        for (unsigned long k = 0; rc == Success && k < count; ++k) {
            printf("%lu %u\n", address + k, read[k]);
        }
    } else if (strcmp(command, "write") == 0) {
        std::string refusal;
        std::string note;
        if (!force &&
            !writeRangesAllow(info.deviceType, address, values, (int)count, &refusal, &note)) {
            fprintf(stderr, "upsctl: %s\n", refusal.c_str());
            UPS_DeviceClose(&device);
            return kUsage;
        }
        if (!note.empty()) fprintf(stderr, "upsctl: warning: %s\n", note.c_str());
        rc = UPS_WriteRegisters(&device, (uint16_t)address, (uint8_t)count, values);
    } else {
        // The monitor closes the device itself (it may be closed already
        // after a lost line).
        return monitor(&device, interval, hooks);
    }
    UPS_DeviceClose(&device);
    return rc == Success ? 0 : fail(command, rc);
}
