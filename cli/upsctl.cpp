// upsctl: the UPS module from the command line, through the same library as
// the desktop program. For headless machines and scripts.
//
// The exit status is 0 on success, the library's result code when a request
// fails (8 timed out, 11 illegal address, ...), and 64 for bad usage.
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "QXUPSSDK.h"

namespace {

const int kUsage = 64;
const unsigned kDevicePortNumber = 255;  // the number --device maps its path to
const uint16_t kStatusBase = 40000;
const int kStatusCount = 50;

volatile sig_atomic_t g_stop = 0;

void onSignal(int) {
    g_stop = 1;
}

void usage(FILE* out) {
    fprintf(out,
            "usage: upsctl [options] COMMAND\n"
            "\n"
            "Options:\n"
            "  --port N        serial port number (1 = COM1: /dev/ttyS0, 33 = /dev/ttyUSB0,\n"
            "                  65 = /dev/ttyACM0; QXUPS_COM<N> overrides; default 1)\n"
            "  --device PATH   serial device path instead of a port number\n"
            "  --slave N       Modbus slave address 1..247 (default 1)\n"
            "  --baud B        baud rate (default 115200)\n"
            "  --parity P      none, even or odd (default none)\n"
            "  --ascii         Modbus ASCII instead of RTU\n"
            "  --timeout MS    response time-out in ms (default 1000)\n"
            "\n"
            "Commands (registers in the program's numbering: register n is 40000+n):\n"
            "  info                      device type, hardware, firmware and driver version\n"
            "  status                    the status block, decoded\n"
            "  read ADDR [COUNT]         COUNT (1..125, default 1) registers from ADDR\n"
            "  write ADDR VALUE [VALUE...]  write registers from ADDR (up to 123)\n"
            "  monitor [INTERVAL_MS]     poll the status every INTERVAL_MS (default 1000) and\n"
            "                            print a time-stamped line for every change, until\n"
            "                            interrupted\n"
            "\n"
            "Exit status: 0 success, the library's result code on failure (2 invalid\n"
            "argument, 3 port error, 4 no resource, 5 I/O error, 8 timed out, 10..18\n"
            "exception answers), 64 bad usage.\n");
}

bool parseNumber(const char* text, unsigned long max, unsigned long* value) {
    if (text == nullptr || *text == '\0') return false;
    char* end = nullptr;
    errno = 0;
    unsigned long v = strtoul(text, &end, 0);
    if (errno != 0 || *end != '\0' || v > max || text[0] == '-') return false;
    *value = v;
    return true;
}

const char* resultName(int code) {
    switch (code) {
        case Success:
            return "success";
        case InvalidArgument:
            return "invalid argument";
        case PortError:
            return "port error";
        case NoResource:
            return "no resource";
        case IoError:
            return "I/O error";
        case IllegalState:
            return "illegal state";
        case TimedOut:
            return "timed out";
        case ExceptionIllegalFunction:
            return "exception: illegal function";
        case ExceptionIllegalDataAddress:
            return "exception: illegal data address";
        case ExceptionIllegalDataValue:
            return "exception: illegal data value";
        case ExceptionSlaveDeviceFailure:
            return "exception: slave device failure";
        case ExceptionAcknowledge:
            return "exception: acknowledge";
        case ExceptionSlaveDeviceBusy:
            return "exception: slave device busy";
        case ExceptionMemoryParityError:
            return "exception: memory parity error";
        case ExceptionGatewayPathUnavailable:
            return "exception: gateway path unavailable";
        case ExceptionGatewayTargetFailed:
            return "exception: gateway target failed";
        default:
            return "unknown result";
    }
}

int fail(const char* what, int code) {
    fprintf(stderr, "upsctl: %s: %s (%d)\n", what, resultName(code), code);
    return code;
}

const char* policyModeText(uint16_t code) {
    static const char* const kModes[] = {"PC",          "0.5 A",   "0.4 A",   "0.3 A",   "0.2 A",
                                         "\u221E Sec.", "20 Sec.", "15 Sec.", "10 Sec.", "5 Sec."};
    return code < 10 ? kModes[code] : "NULL";
}

const char* powerSourceText(uint16_t code) {
    return code == 1 ? "DC" : code == 2 ? "UPS" : "unknown";
}

const char* chargeStateText(const uint16_t* s) {
    if (s[27] == 2) return "Discharging";
    if (s[27] == 1) return s[26] < 100 ? "Charging" : "Charge Full";
    return "unknown";
}

// One line of the decoded status block.
std::string statusLine(const uint16_t* s) {
    char line[512];
    char voltages[64] = "";
    if (s[0] != 301) snprintf(voltages, sizeof voltages, " in=%umV out=%umV", s[16], s[18]);
    snprintf(line, sizeof line,
             "source=%s battery=%s charge=%u%%%s DC_OK=%d Bat.Mode=%d Bat.Ready=%d SW=%d "
             "Remote=%d Bat.Start=%d Dev.PSts=%d policy=%s",
             powerSourceText(s[27]), chargeStateText(s), s[26], voltages, s[28] != 0, s[29] != 0,
             s[30] != 0, s[31] != 0, s[32] != 0, s[33] != 0, s[34] != 0, policyModeText(s[35]));
    return line;
}

void printStatus(const uint16_t* s) {
    printf("Device type:     %u\n", s[0]);
    printf("Power supply:    %s\n", powerSourceText(s[27]));
    printf("Battery status:  %s\n", chargeStateText(s));
    printf("Battery charge:  %u %%\n", s[26]);
    if (s[0] != 301) {
        printf("Voltage input:   %u mV\n", s[16]);
        printf("Voltage output:  %u mV\n", s[18]);
    }
    printf("Policy mode:     %s\n", policyModeText(s[35]));
    printf("DO: DC_OK=%s Bat.Mode=%s Bat.Ready=%s SW=%s\n", s[28] ? "on" : "off",
           s[29] ? "on" : "off", s[30] ? "on" : "off", s[31] ? "on" : "off");
    printf("DI: Remote=%s Bat.Start=%s Dev.PSts=%s\n", s[32] ? "on" : "off", s[33] ? "on" : "off",
           s[34] ? "on" : "off");
}

std::string timestamp() {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm local;
    localtime_r(&now.tv_sec, &local);
    char text[64];
    size_t n = strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    snprintf(text + n, sizeof text - n, ".%03ld", now.tv_nsec / 1000000);
    return text;
}

int monitor(UPS_DeviceDescriptor* device, unsigned long intervalMs) {
    signal(SIGINT, onSignal);
    signal(SIGTERM, onSignal);
    std::string last;
    int lastError = Success;
    while (!g_stop) {
        uint16_t status[kStatusCount] = {};
        int rc = UPS_ReadRegisters(device, kStatusBase, kStatusCount, status);
        if (rc != Success) {
            if (rc != lastError) {
                printf("%s>>Read error: %d (%s)\n", timestamp().c_str(), rc, resultName(rc));
            }
            lastError = rc;
            last.clear();
        } else {
            lastError = Success;
            std::string line = statusLine(status);
            if (line != last) printf("%s>>%s\n", timestamp().c_str(), line.c_str());
            last = line;
        }
        fflush(stdout);
        for (unsigned long slept = 0; slept < intervalMs && !g_stop; slept += 10)
            usleep(10000);
    }
    return Success;
}

}  // namespace

int main(int argc, char** argv) {
    UPS_DeviceDescriptor device = {};
    device.portNumber = 1;
    device.slaveAddress = 1;
    device.baudRate = 115200;
    device.responseTimeoutMs = 1000;
    device.dataBits = 8;
    device.stopBits = 1;

    int i = 1;
    for (; i < argc && strncmp(argv[i], "--", 2) == 0; ++i) {
        const char* option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        unsigned long n = 0;
        if (strcmp(option, "--help") == 0) {
            usage(stdout);
            return 0;
        } else if (strcmp(option, "--ascii") == 0) {
            device.framing = 1;
            continue;
        } else if (strcmp(option, "--port") == 0 && parseNumber(value, 255, &n)) {
            device.portNumber = (uint8_t)n;
        } else if (strcmp(option, "--device") == 0 && value != nullptr) {
            setenv(("QXUPS_COM" + std::to_string(kDevicePortNumber)).c_str(), value, 1);
            device.portNumber = kDevicePortNumber;
        } else if (strcmp(option, "--slave") == 0 && parseNumber(value, 247, &n) && n >= 1) {
            device.slaveAddress = (uint8_t)n;
        } else if (strcmp(option, "--baud") == 0 && parseNumber(value, 4000000, &n) && n > 0) {
            device.baudRate = (uint32_t)n;
        } else if (strcmp(option, "--timeout") == 0 && parseNumber(value, 65534, &n) && n > 0) {
            device.responseTimeoutMs = (uint32_t)n;
        } else if (strcmp(option, "--parity") == 0 && value != nullptr &&
                   (strcmp(value, "none") == 0 || strcmp(value, "odd") == 0 ||
                    strcmp(value, "even") == 0)) {
            device.parity = strcmp(value, "odd") == 0 ? 1 : strcmp(value, "even") == 0 ? 2 : 0;
        } else {
            fprintf(stderr, "upsctl: bad option %s%s%s\n", option, value ? " " : "",
                    value ? value : "");
            usage(stderr);
            return kUsage;
        }
        ++i;  // the option's value
    }
    if (i >= argc) {
        usage(stderr);
        return kUsage;
    }
    const char* command = argv[i++];
    int rest = argc - i;
    char** args = argv + i;

    // Check the command's arguments before touching the line.
    unsigned long address = 0;
    unsigned long count = 1;
    unsigned long interval = 1000;
    uint16_t values[123] = {};
    bool ok = true;
    if (strcmp(command, "info") == 0 || strcmp(command, "status") == 0) {
        ok = rest == 0;
    } else if (strcmp(command, "read") == 0) {
        ok = (rest == 1 || rest == 2) && parseNumber(args[0], 65535, &address) &&
             (rest == 1 || (parseNumber(args[1], 125, &count) && count >= 1));
    } else if (strcmp(command, "write") == 0) {
        ok = rest >= 2 && rest - 1 <= 123 && parseNumber(args[0], 65535, &address);
        for (int k = 1; ok && k < rest; ++k) {
            unsigned long v = 0;
            ok = parseNumber(args[k], 65535, &v);
            values[k - 1] = (uint16_t)v;
        }
        count = (unsigned long)(rest - 1);
    } else if (strcmp(command, "monitor") == 0) {
        ok = rest == 0 || (rest == 1 && parseNumber(args[0], 3600000, &interval) && interval > 0);
    } else {
        ok = false;
    }
    if (!ok) {
        fprintf(stderr, "upsctl: bad command line for '%s'\n", command);
        usage(stderr);
        return kUsage;
    }

    UPS_DeviceInfo info = {};
    int rc = UPS_DeviceOpen(&device, &info);
    if (rc != Success) return fail("open", rc);

    if (strcmp(command, "info") == 0) {
        printf("device type %u\nhardware version %u\nfirmware version %u\ndriver version %u\n",
               info.deviceType, info.hardwareVersion, info.firmwareVersion, info.driverVersion);
    } else if (strcmp(command, "status") == 0) {
        uint16_t status[kStatusCount] = {};
        rc = UPS_ReadRegisters(&device, kStatusBase, kStatusCount, status);
        if (rc == Success) printStatus(status);
    } else if (strcmp(command, "read") == 0) {
        uint16_t read[125] = {};
        rc = UPS_ReadRegisters(&device, (uint16_t)address, (uint8_t)count, read);
        for (unsigned long k = 0; rc == Success && k < count; ++k) {
            printf("%lu %u\n", address + k, read[k]);
        }
    } else if (strcmp(command, "write") == 0) {
        rc = UPS_WriteRegisters(&device, (uint16_t)address, (uint8_t)count, values);
    } else {
        rc = monitor(&device, interval);
    }
    UPS_DeviceClose(&device);
    return rc == Success ? 0 : fail(command, rc);
}
