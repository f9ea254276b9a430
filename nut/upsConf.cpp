// ups.conf and the driver's options: a small reader of NUT's configuration syntax.
#include "upsConf.h"

#include <errno.h>
#include <getopt.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "QXUPSPorts.h"
#include "driverSocket.h"

namespace nutconf {

namespace {
const char* const kName = kDriverName;
const int kUsage = 1;  // NUT drivers end with 1 on bad usage or set-up
}  // namespace

void printUsage(FILE* out) {
    fprintf(out,
            "usage: %s -a <ups> [options]\n"
            "\n"
            "Network UPS Tools driver for the DC UPS module (Modbus RTU or ASCII on a\n"
            "serial line). Reads the section [<ups>] of $NUT_CONFPATH/ups.conf (default\n"
            "/etc/nut) and serves the driver socket $NUT_STATEPATH/%s-<ups> (default\n"
            "/run/nut) to upsd.\n"
            "\n"
            "  -a <ups>        the ups.conf section to serve\n"
            "  -F              stay in the foreground\n"
            "  -D              stay in the foreground and log to stderr too (more -D: more)\n"
            "  -u <user>       the user to run as when started as root (default: ups.conf's\n"
            "                  user, else nut)\n"
            "  -x <key>=<value>  an option as in ups.conf, taking precedence over it\n"
            "  -k              power the UPS off: not supported by this module\n"
            "  -V              the version\n"
            "  -h              this text\n"
            "\n"
            "ups.conf options: port (a device path, or COMn: 1-32 /dev/ttyS0-31, 33-64\n"
            "/dev/ttyUSB0-31, 65-96 /dev/ttyACM0-31), slave (1-247, default 1), baudrate\n"
            "(default 115200), framing (rtu or ascii, default rtu), parity (none, even,\n"
            "odd), timeout (response time-out in ms, default 1000), pollinterval\n"
            "(seconds, default 2), default.<variable> and override.<variable>.\n",
            kName, kName);
}

bool parseNumber(const std::string& text, long min, long max, long* value) {
    if (text.empty() || text.size() > 9) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    const long v = strtol(text.c_str(), nullptr, 10);
    if (v < min || v > max) return false;
    *value = v;
    return true;
}

bool parseRegisterName(const std::string& name, long* address) {
    static const std::string kPrefix = "experimental.register.";
    if (name.compare(0, kPrefix.size(), kPrefix) != 0) return false;
    const std::string digits = name.substr(kPrefix.size());
    long a = 0;
    if (!parseNumber(digits, 40000, 65535, &a) || digits != std::to_string(a)) return false;
    *address = a;
    return true;
}

bool readUpsConf(const std::string& path, const std::string& ups, Options& section,
                 std::string& globalUser, bool* found) {
    *found = false;
    FILE* file = fopen(path.c_str(), "r");
    if (file == nullptr) {
        fprintf(stderr, "%s: cannot read %s: %s\n", kName, path.c_str(), strerror(errno));
        return false;
    }
    std::string current;
    bool inGlobal = true;
    char buffer[nutsock::kMaxLine + 2];
    int lineNumber = 0;
    bool ok = true;
    while (ok && fgets(buffer, sizeof buffer, file) != nullptr) {
        ++lineNumber;
        std::vector<std::string> words;
        if (nutsock::splitLine(buffer, words) != nutsock::SplitOk) {
            fprintf(stderr, "%s: %s:%d: unbalanced quote or backslash\n", kName, path.c_str(),
                    lineNumber);
            ok = false;
            break;
        }
        if (words.empty()) continue;
        const std::string& first = words[0];
        if (words.size() == 1 && first.size() > 2 && first.front() == '[' && first.back() == ']') {
            current = first.substr(1, first.size() - 2);
            inGlobal = false;
            if (current == ups) *found = true;
            continue;
        }
        std::string key;
        std::string value;
        if (words.size() == 1) {
            const size_t eq = first.find('=');
            key = first.substr(0, eq);
            if (eq != std::string::npos) value = first.substr(eq + 1);
        } else if (words.size() == 3 && words[1] == "=") {
            key = first;
            value = words[2];
        } else if (words.size() == 2 && !first.empty() && first.back() == '=') {
            key = first.substr(0, first.size() - 1);
            value = words[1];
        } else if (words.size() == 2 && !words[1].empty() && words[1].front() == '=') {
            key = first;
            value = words[1].substr(1);
        }
        // A quoted "" is a word of its own, so an empty name can get this far.
        if (key.empty()) {
            fprintf(stderr, "%s: %s:%d: expected 'name = value'\n", kName, path.c_str(),
                    lineNumber);
            ok = false;
            break;
        }
        if (inGlobal) {
            if (key == "user") globalUser = value;
        } else if (current == ups) {
            section[key] = value;
        }
    }
    fclose(file);
    return ok;
}

// NUT's own options of a section, taken by upsdrvctl or upsd and not by the
// driver.
static bool isGenericOption(const std::string& key) {
    static const char* const kGeneric[] = {
        "driver",   "desc",       "sdorder",    "nolock",   "maxstartdelay", "synchronous",
        "user",     "group",      "debug_min",  "ignorelb", "chroot",        "allow_killpower",
        "maxretry", "retrydelay", "sdcommands",
    };
    for (const char* name : kGeneric) {
        if (key == name) return true;
    }
    return key.compare(0, 8, "default.") == 0 || key.compare(0, 9, "override.") == 0;
}

bool takeOptions(const Options& options, Settings& settings) {
    UPS_DeviceDescriptor& d = settings.device;
    d.slaveAddress = 1;
    d.baudRate = 115200;
    d.responseTimeoutMs = 1000;
    d.dataBits = 8;
    d.stopBits = 1;
    for (const auto& option : options) {
        const std::string& key = option.first;
        const std::string& value = option.second;
        long n = 0;
        bool ok = true;
        if (key == "port") {
            settings.port = value;
        } else if (key == "slave") {
            ok = parseNumber(value, 1, 247, &n);
            d.slaveAddress = static_cast<uint8_t>(n);
        } else if (key == "baudrate") {
            ok = parseNumber(value, 1, 4000000, &n);
            d.baudRate = static_cast<uint32_t>(n);
        } else if (key == "timeout") {
            ok = parseNumber(value, 1, 65534, &n);
            d.responseTimeoutMs = static_cast<uint32_t>(n);
        } else if (key == "pollinterval") {
            ok = parseNumber(value, 1, 3600, &n);
            settings.pollMs = n * 1000;
        } else if (key == "framing") {
            ok = value == "rtu" || value == "ascii";
            d.framing = value == "ascii" ? 1 : 0;
        } else if (key == "parity") {
            ok = value == "none" || value == "odd" || value == "even";
            d.parity = value == "odd" ? 1 : value == "even" ? 2 : 0;
        } else if (key.compare(0, 8, "default.") == 0) {
            // The levels the driver judges LB by: a typing error is told at
            // the start, not taken for the default level.
            if (key == "default.battery.charge.low") ok = parseNumber(value, 0, 100, &n);
            if (key == "default.battery.runtime.low") ok = parseNumber(value, 0, 86400, &n);
            settings.defaults[key.substr(8)] = value;
        } else if (key.compare(0, 9, "override.") == 0) {
            settings.overrides[key.substr(9)] = value;
        } else if (!isGenericOption(key)) {
            fprintf(stderr, "%s: '%s' is not an option of this driver (see %s -h)\n", kName,
                    key.c_str(), kName);
            return false;
        }
        if (!ok) {
            fprintf(stderr, "%s: bad value for %s: '%s' (see %s -h)\n", kName, key.c_str(),
                    value.c_str(), kName);
            return false;
        }
    }
    if (settings.port.empty()) {
        fprintf(stderr, "%s: no port: set port = /dev/ttyUSB0 (or COMn) in ups.conf\n", kName);
        return false;
    }
    long number = 0;
    if (settings.port[0] == '/') {
        char name[32];
        QXUPS_PortEnvName(kQXUPS_DevicePathPort, name, sizeof name);
        setenv(name, settings.port.c_str(), 1);
        d.portNumber = kQXUPS_DevicePathPort;
    } else if (settings.port.compare(0, 3, "COM") == 0 &&
               parseNumber(settings.port.substr(3), 1, 255, &number)) {
        d.portNumber = static_cast<uint8_t>(number);
    } else {
        fprintf(stderr, "%s: bad port '%s': a device path (/dev/ttyUSB0) or COMn\n", kName,
                settings.port.c_str());
        return false;
    }
    return true;
}

int readCommandLine(int argc, char** argv, const char* version, CommandLine& line) {
    std::string& ups = line.ups;
    std::string& user = line.user;
    bool& foreground = line.foreground;
    int& debug = line.debug;
    bool killPower = false;
    Options extra;
    int c;
    while ((c = getopt(argc, argv, "a:FDBu:x:kqVhr:d:")) != -1) {
        switch (c) {
            case 'a':
                ups = optarg;
                break;
            case 'F':
                foreground = true;
                break;
            case 'B':
                foreground = false;
                break;
            case 'D':
                foreground = true;
                ++debug;
                break;
            case 'u':
                user = optarg;
                break;
            case 'x': {
                const std::string pair = optarg;
                const size_t eq = pair.find('=');
                extra[pair.substr(0, eq)] = eq == std::string::npos ? "" : pair.substr(eq + 1);
                break;
            }
            case 'k':
                killPower = true;
                break;
            case 'q':
                break;
            case 'V':
                printf("%s %s\n", kName, version);
                return 0;
            case 'h':
                printUsage(stdout);
                return 0;
            case 'r':
            case 'd':
                fprintf(stderr, "%s: -%c is not supported by this driver\n", kName, c);
                return kUsage;
            default:
                fprintf(stderr, "Try '%s -h' for the options.\n", kName);
                return kUsage;
        }
    }
    if (killPower) {
        fprintf(stderr,
                "%s: -k refused: the module has no command to switch its output off, so this "
                "driver cannot power the UPS off at system shutdown (the module ends the backup "
                "by its own policy mode)\n",
                kName);
        return kUsage;
    }
    if (ups.empty() || optind != argc) {
        printUsage(stderr);
        return kUsage;
    }

    const char* confEnv = getenv("NUT_CONFPATH");
    const std::string confPath = confEnv != nullptr && *confEnv != '\0' ? confEnv : "/etc/nut";
    const char* stateEnv = getenv("NUT_STATEPATH");
    line.statePath = stateEnv != nullptr && *stateEnv != '\0' ? stateEnv : "/run/nut";
    Options section;
    std::string globalUser;
    bool found = false;
    if (!readUpsConf(confPath + "/ups.conf", ups, section, globalUser, &found)) return kUsage;
    if (!found) {
        fprintf(stderr, "%s: %s/ups.conf has no section [%s]\n", kName, confPath.c_str(),
                ups.c_str());
        return kUsage;
    }
    for (const auto& option : extra)
        section[option.first] = option.second;
    if (!takeOptions(section, line.settings)) return kUsage;
    if (user.empty()) user = section.count("user") ? section["user"] : globalUser;
    if (user.empty()) user = "nut";
    return -1;
}

}  // namespace nutconf
