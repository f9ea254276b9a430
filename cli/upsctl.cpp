// upsctl's options and one-shot commands (info, status, read, write); it hands monitor over.
//
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
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "QXUPSBattery.h"
#include "QXUPSSDK.h"
#include "history.h"
#include "resultText.h"
#include "runtimeEstimate.h"
#include "statusBlock.h"
#include "upsctlConfig.h"
#include "upsctlMonitor.h"
#include "upsctlNut.h"
#include "upsctlStatus.h"
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
    kOptOnLowRuntime,
    kOptRideThrough,
    kOptRuntimeLevel,
    kOptRuntimeWait,
    kOptHistory,
    kOptForce,
    kOptInterval,
    kOptNut,
    kOptUser,
    kOptPasswordFile,
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
    {"on-low-runtime", required_argument, nullptr, kOptOnLowRuntime},
    {"ride-through", required_argument, nullptr, kOptRideThrough},
    {"runtime-level", required_argument, nullptr, kOptRuntimeLevel},
    {"runtime-wait", required_argument, nullptr, kOptRuntimeWait},
    {"history", required_argument, nullptr, kOptHistory},
    {"force", no_argument, nullptr, kOptForce},
    {"interval", required_argument, nullptr, kOptInterval},
    {"nut", required_argument, nullptr, kOptNut},
    {"user", required_argument, nullptr, kOptUser},
    {"password-file", required_argument, nullptr, kOptPasswordFile},
    {"help", no_argument, nullptr, kOptHelp},
    {nullptr, 0, nullptr, 0},
};

int badOption(const char* name, const char* value) {
    fprintf(stderr, "upsctl: bad value for --%s: '%s'\n", name, value);
    return usageError();
}

}  // namespace

int main(int argc, char** argv) {
    // A service's settings file stands for the options it holds.
    std::vector<std::string> configArgs;
    std::vector<char*> configPointers;
    if (!expandConfig(&argc, &argv, kOptions, &configArgs, &configPointers)) return usageError();
    // A service's file holds the monitor's settings; status and the others
    // read it for the line and leave those alone.
    const bool serviceFile = !configArgs.empty();
    // The low-battery levels (percent, 0 off), shared by status and monitor.
    int warnLevel = kQXUPS_DefaultWarnLevel;
    int criticalLevel = kQXUPS_DefaultCriticalLevel;
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
                              {"on-critical-battery", nullptr, 0, 0, nullptr, nullptr},
                              {"on-low-runtime", nullptr, 0, 0, nullptr, nullptr}};
    bool levelsGiven = false;
    // Seconds, minutes (0 off), seconds; the history file whose learned rate
    // seeds the runtime estimate.
    unsigned long rideThrough = 0;
    unsigned long runtimeLevel = 0;
    unsigned long runtimeWait = 0;
    const char* history = nullptr;
    // monitor's poll interval, ms (0: the default); its INTERVAL_MS argument
    // says the same.
    unsigned long interval = 0;
    // --nut: the UPS through upsd instead of the module on a line.
    const char* nut = nullptr;
    const char* user = nullptr;
    const char* passwordFile = nullptr;
    bool lineOptions = false;  // an option of the serial line given
    bool timeoutGiven = false;

    // Options may stand before or after the command ("status --json").
    int id;
    while ((id = getopt_long(argc, argv, "", kOptions, nullptr)) != -1) {
        unsigned long n = 0;
        switch (id) {
            case kOptHelp:
                upsctlUsage(stdout);
                return 0;
            case kOptNut:
                nut = optarg;
                break;
            case kOptUser:
                user = optarg;
                break;
            case kOptPasswordFile:
                passwordFile = optarg;
                break;
            case kOptAscii:
                lineOptions = true;
                device.framing = 1;
                break;
            case kOptPort:
                if (!parseNumber(optarg, 255, &n)) return badOption("port", optarg);
                device.portNumber = (uint8_t)n;
                byPath = false;
                lineOptions = true;
                break;
            case kOptDevice:
                if (*optarg == '\0') return badOption("device", optarg);
                if (!useDevicePath(&device, optarg)) return usageError();
                byPath = true;
                lineOptions = true;
                break;
            case kOptSlave:
                if (!parseNumber(optarg, 247, &n) || n < 1) return badOption("slave", optarg);
                device.slaveAddress = (uint8_t)n;
                lineOptions = true;
                break;
            case kOptBaud:
                if (!parseNumber(optarg, 4000000, &n) || n < 1) return badOption("baud", optarg);
                device.baudRate = (uint32_t)n;
                lineOptions = true;
                break;
            case kOptTimeout:
                if (!parseNumber(optarg, 65534, &n) || n < 1) return badOption("timeout", optarg);
                device.responseTimeoutMs = (uint32_t)n;
                timeoutGiven = true;
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
                lineOptions = true;
                break;
            case kOptJson:
                json = true;
                break;
            case kOptForce:
                force = true;
                break;
            case kOptInterval:
                if (!parseNumber(optarg, 3600000, &interval) || interval == 0)
                    return badOption("interval", optarg);
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
            case kOptOnLowRuntime:
                hooks[kHookLowRuntime].command = optarg;
                break;
            case kOptRideThrough:
                if (!parseNumber(optarg, 3600, &rideThrough))
                    return badOption("ride-through", optarg);
                break;
            case kOptRuntimeLevel:
                if (!parseNumber(optarg, 1440, &runtimeLevel)) {
                    return badOption("runtime-level", optarg);
                }
                break;
            case kOptRuntimeWait:
                if (!parseNumber(optarg, 3600, &runtimeWait))
                    return badOption("runtime-wait", optarg);
                break;
            case kOptHistory:
#ifdef _WIN32
                fprintf(stderr, "upsctl: --history is not available in this build\n");
                return usageError();
#else
                if (*optarg == '\0') return badOption("history", optarg);
                history = optarg;
                break;
#endif
            case kOptWarnLevel:
                if (!parseNumber(optarg, 100, &n)) return badOption("warn-level", optarg);
                warnLevel = (int)n;
                levelsGiven = true;
                break;
            case kOptCriticalLevel:
                if (!parseNumber(optarg, 100, &n)) return badOption("critical-level", optarg);
                criticalLevel = (int)n;
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
    if (interval == 0) interval = nut != nullptr ? kNutDefaultIntervalMs : 1000;
    uint16_t values[123] = {};
    bool ok = true;
    const bool isMonitor = strcmp(command, "monitor") == 0;
    const bool isStatus = strcmp(command, "status") == 0;
    const bool isWrite = strcmp(command, "write") == 0;
    if (nut != nullptr && lineOptions) {
        fprintf(stderr, "upsctl: --nut watches a UPS through upsd: no serial line options\n");
        ok = false;
    } else if ((user != nullptr || passwordFile != nullptr) && (nut == nullptr || !isWrite)) {
        fprintf(stderr, "upsctl: --user and --password-file belong to --nut ... write\n");
        ok = false;
    } else if (nut != nullptr && (force || runtimeWait > 0)) {
        fprintf(stderr, "upsctl: --force and --runtime-wait need the module on its line\n");
        ok = false;
    } else if (json && !isStatus) {
        fprintf(stderr, "upsctl: --json belongs to the status command\n");
        ok = false;
    } else if (force && strcmp(command, "write") != 0) {
        fprintf(stderr, "upsctl: --force belongs to the write command\n");
        ok = false;
    } else if (!isMonitor && !serviceFile && std::any_of(hooks, hooks + kHookCount, [](const Hook& hook) {
                   return hook.command != nullptr;
               })) {
        fprintf(stderr, "upsctl: --on-* commands belong to the monitor command\n");
        ok = false;
    } else if (levelsGiven && !isMonitor && !isStatus) {
        fprintf(stderr, "upsctl: --warn-level and --critical-level belong to status and monitor\n");
        ok = false;
    } else if (!isMonitor && !serviceFile && (rideThrough > 0 || runtimeLevel > 0)) {
        fprintf(stderr,
                "upsctl: --ride-through and --runtime-level belong to the monitor command\n");
        ok = false;
    } else if (rideThrough > 0 && hooks[kHookDcLoss].command == nullptr) {
        fprintf(stderr, "upsctl: --ride-through delays the --on-dc-loss command: give both\n");
        ok = false;
    } else if (runtimeLevel == 0 && hooks[kHookLowRuntime].command != nullptr) {
        fprintf(stderr, "upsctl: --on-low-runtime runs below --runtime-level MINUTES: give both\n");
        ok = false;
    } else if (runtimeWait > 0 && !isStatus) {
        fprintf(stderr, "upsctl: --runtime-wait belongs to the status command\n");
        ok = false;
    } else if (history != nullptr && !isMonitor && !isStatus) {
        fprintf(stderr, "upsctl: --history belongs to status and monitor\n");
        ok = false;
    } else if (nut != nullptr && (strcmp(command, "list") == 0 || isWrite)) {
        ok = rest == (isWrite ? 2 : 0);
    } else if (nut != nullptr && isMonitor) {
        ok = rest == 0 || (rest == 1 && parseNumber(args[0], 3600000, &interval) && interval > 0);
        if (ok && interval < kNutMinIntervalMs) {
            fprintf(stderr, "upsctl: through upsd the monitor polls at most once a second\n");
            ok = false;
        }
    } else if (nut != nullptr && !isStatus) {
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

    // What the program learned of this module's discharges, when asked for:
    // a history that cannot be read is told and the estimate starts from
    // nothing, rather than the monitor not starting.
    double learnedRate = 0;
#ifndef _WIN32
    if (history != nullptr) {
        std::string why;
        if (!readLearnedRate(history, &learnedRate, &why)) {
            fprintf(stderr, "upsctl: warning: no learned discharge rate from %s: %s\n", history,
                    why.c_str());
        }
    }
#endif
    // A status that waits for an estimate ends early on Ctrl-C, as the monitor does.
    if ((isMonitor || runtimeWait > 0) && !watchStopSignals()) return IoError;
    const MonitorLevels levels = {warnLevel, criticalLevel, (long long)rideThrough,
                                  (long long)runtimeLevel, learnedRate};
    if (nut != nullptr) {
        // One request waits 5 s unless --timeout says otherwise.
        const NutRequest request = {
            nut,  command,  rest,
            args, interval, timeoutGiven ? (int)device.responseTimeoutMs : 5000,
            json, user,     passwordFile};
        return nutCommand(request, hooks, levels, warnLevel, criticalLevel);
    }
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
    } else if (isStatus) {
        qxwatch::StatusView view = {};
        long long runtime = qxwatch::kRuntimeUnknown;
        rc = readStatus(&device, learnedRate, runtimeWait, &view, &runtime);
        // The product by its name as the window shows it, when the table lists it.
        std::string product;
        if (rc == Success) productTitle(view.deviceType, &product);
        if (rc == Success) {
            if (json) {
                printStatusJson(view, product, runtime, warnLevel, criticalLevel);
            } else {
                printStatus(view, product, runtime);
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
        return monitor(&device, interval, hooks, levels);
    }
    UPS_DeviceClose(&device);
    return rc == Success ? 0 : fail(command, rc);
}
