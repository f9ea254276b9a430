// qxups-nut: a Network UPS Tools driver for the DC UPS module. upsdrvctl
// starts it from a ups.conf section; it polls the module through the device
// library and serves NUT's driver socket, which upsd reads.
//
//   qxups-nut -a <ups> [-F | -D] [-u user] [-x key=value]...
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <QString>
#include <QVector>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "QXUPSBattery.h"
#include "QXUPSSDK.h"
#include "QXUPSStatus.h"
#include "driverSocket.h"
#include "portCheck.h"
#include "productTable.h"
#include "registerTable.h"
#include "stateFolder.h"
#include "upsConf.h"

namespace {

using nutconf::Options;
using nutconf::parseNumber;
using nutconf::Settings;

const char* const kName = nutconf::kDriverName;
const int kUsage = 1;  // NUT drivers end with 1 on bad usage or set-up
const uint16_t kStatusBase = 40000;
const int kStatusCount = 50;
const int kPolicyModeAddress = 40035;
const long kBackoffFirstMs = 1000;  // the program's reconnect back-off
const long kBackoffLastMs = 30000;
const long kMinLostMs = 5000;
const long kRefusalLogMs = 60000;  // any client may send INSTCMD at any rate
const char kCommError[] = "experimental.comm.error";

struct Bit {
    int word;
    const char* name;
};
const Bit kBits[] = {
    {kDcOk, "experimental.do.dc_ok"},         {kBatMode, "experimental.do.bat_mode"},
    {kBatReady, "experimental.do.bat_ready"}, {kSw, "experimental.do.sw"},
    {kRemote, "experimental.di.remote"},      {kBatStart, "experimental.di.bat_start"},
    {kDevPSts, "experimental.di.dev_psts"},
};

volatile sig_atomic_t g_stop = 0;

void onSignal(int) {
    g_stop = 1;
}

void logLine(int priority, const char* format, ...) __attribute__((format(printf, 2, 3)));
void logLine(int priority, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsyslog(priority, format, args);
    va_end(args);
}

long nowMs() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Millivolts as volts: "24.0", "12.35".
std::string volts(uint16_t millivolts) {
    char text[32];
    snprintf(text, sizeof text, "%u.%03u", millivolts / 1000u, millivolts % 1000u);
    std::string result = text;
    while (result.back() == '0' && result[result.size() - 2] != '.')
        result.pop_back();
    return result;
}

// The folder of the shipped data (configs/, iconfigs/): QXUPS_APPDIR as for
// the program, else the driver's own folder.
QString dataFolder() {
    const char* env = getenv("QXUPS_APPDIR");
    if (env != nullptr && *env != '\0') return QString::fromLocal8Bit(env);
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return QStringLiteral(".");
    path[n] = '\0';
    char* slash = strrchr(path, '/');
    if (slash != nullptr) *slash = '\0';
    return QString::fromLocal8Bit(path);
}

class Driver : public nutsock::Handler {
public:
    Driver(Settings& settings, const QString& dataDir)
        : m_settings(settings), m_dataDir(dataDir), m_server(this) {
        const auto low = settings.defaults.find("battery.charge.low");
        long n = 0;
        if (low != settings.defaults.end() && parseNumber(low->second, 0, 100, &n)) {
            m_lowCharge = static_cast<int>(n);
        }
        m_lostAfterMs =
            std::max(kMinLostMs,
                     2L * static_cast<long>(settings.device.responseTimeoutMs) + settings.pollMs);
    }

    nutsock::Server& server() { return m_server; }

    void publishFixed() {
        publish("device.type", "ups");
        publish("driver.name", kName);
        publish("driver.version", QXUPS_VERSION);
        publish("driver.parameter.port", m_settings.port);
        publish("driver.parameter.pollinterval", std::to_string(m_settings.pollMs / 1000));
        publish("battery.charge.low", std::to_string(m_lowCharge));
        m_server.setFlags("battery.charge.low", "RW NUMBER");
        m_server.addRange("battery.charge.low", 0, 100);
        for (const auto& d : m_settings.defaults) {
            if (m_server.info(d.first) == nullptr) publish(d.first, d.second);
        }
    }

    void run() {
        long nextOpen = m_firstRetryMs;
        long nextPoll = 0;
        while (!g_stop) {
            const long now = nowMs();
            if (!m_open && now >= nextOpen) {
                if (tryOpen()) {
                    nextPoll = now;
                } else {
                    nextOpen = now + m_backoffMs;
                    m_backoffMs = std::min(m_backoffMs * 2, kBackoffLastMs);
                }
            }
            if (m_open && nowMs() >= nextPoll) {
                nextPoll = nowMs() + m_settings.pollMs;
                poll();
                if (!m_open) nextOpen = nowMs() + m_backoffMs;
            }
            const long due = m_open ? nextPoll : nextOpen;
            const long wait = std::max(0L, std::min(due - nowMs(), 1000L));
            m_server.serve(static_cast<int>(wait));
        }
        if (m_open) UPS_DeviceClose(&m_settings.device);
        m_open = false;
    }

    // The first open, before the privileges are dropped.
    void openFirst() {
        m_firstRetryMs = nowMs();
        if (tryOpen()) return;
        m_firstRetryMs += m_backoffMs;
        m_backoffMs = std::min(m_backoffMs * 2, kBackoffLastMs);
    }

    nutsock::Status setVariable(const std::string& name, const std::string& value) override {
        long n = 0;
        long canonical = 0;  // one name a register: another spelling would never be updated
        if (name.compare(0, 22, "experimental.register.") == 0 &&
            !nutconf::parseRegisterName(name, &canonical)) {
            return nutsock::StatusUnknown;
        }
        if (name == "battery.charge.low") {
            if (!parseNumber(value, 0, 100, &n)) return nutsock::StatusInvalid;
            m_lowCharge = static_cast<int>(n);
            publish(name, std::to_string(n));
            if (m_haveBlock) publishBlock();
            logLine(LOG_NOTICE, "battery.charge.low set to %ld %%", n);
            return nutsock::StatusHandled;
        }
        int address = -1;
        if (name == "experimental.policy.mode" && m_policyWritable) {
            if (!parseNumber(value, 0, 65535, &n) || !allowed(kPolicyModeAddress, n))
                return nutsock::StatusInvalid;
            address = kPolicyModeAddress;
        } else if (name.compare(0, 22, "experimental.register.") == 0) {
            long a = 0;
            if (!parseNumber(name.substr(22), 40000, 65535, &a) || !isWritable(a)) {
                return nutsock::StatusUnknown;
            }
            if (!parseNumber(value, 0, 65535, &n) || !allowed(a, n)) return nutsock::StatusInvalid;
            address = static_cast<int>(a);
        } else {
            return nutsock::StatusUnknown;
        }
        if (!m_open) {
            logLine(LOG_WARNING, "%s not set: no connection to the module", name.c_str());
            return nutsock::StatusFailed;
        }
        const uint16_t word = static_cast<uint16_t>(n);
        const int rc =
            UPS_WriteRegisters(&m_settings.device, static_cast<uint16_t>(address), 1, &word);
        if (rc != Success) {
            logLine(LOG_WARNING, "%s not set: writing register %d failed (result %d)", name.c_str(),
                    address, rc);
            return nutsock::StatusFailed;
        }
        logLine(LOG_NOTICE, "%s set to %ld", name.c_str(), n);
        publish(name, std::to_string(n));
        return nutsock::StatusHandled;
    }

    nutsock::Status instantCommand(const std::string& name, const std::string&) override {
        const long now = nowMs();
        if (m_refusalLogged && now - m_refusalLoggedMs < kRefusalLogMs) {
            ++m_refusalsUntold;
            return nutsock::StatusInvalid;
        }
        const std::string untold = m_refusalsUntold > 0 ? " (" + std::to_string(m_refusalsUntold) +
                                                              " more since the last such line)"
                                                        : std::string();
        logLine(LOG_WARNING, "instant command %s refused: this driver offers none%s", name.c_str(),
                untold.c_str());
        m_refusalLogged = true;
        m_refusalLoggedMs = now;
        m_refusalsUntold = 0;
        return nutsock::StatusInvalid;
    }

private:
    void publish(const std::string& name, const std::string& value) {
        const auto pinned = m_settings.overrides.find(name);
        m_server.setInfo(name, pinned != m_settings.overrides.end() ? pinned->second : value);
    }

    bool isWritable(long address) const {
        for (const int a : m_writable) {
            if (a == address) return true;
        }
        return false;
    }

    // The product table's range for a register (every 16-bit value without one).
    registerRange::Range rangeOf(long address) const {
        const auto found = m_ranges.find(static_cast<int>(address));
        return found != m_ranges.end() ? found->second : registerRange::Range();
    }
    bool allowed(long address, long value) const {
        return registerRange::allows(rangeOf(address), static_cast<unsigned long>(value));
    }

    bool tryOpen() {
        UPS_DeviceInfo info = {};
        const int rc = UPS_DeviceOpen(&m_settings.device, &info);
        if (rc != Success) {
            // Told once per reason, on stderr too in the foreground (the
            // syslog daemon may be missing), and kept where clients see it.
            const std::string reason = portcheck::openFailureReason(m_settings, rc);
            if (reason != m_openError) {
                logLine(LOG_WARNING,
                        "cannot open the module: %s; trying again with a back-off of 1 s up "
                        "to 30 s",
                        reason.c_str());
                m_openError = reason;
                publish(kCommError, reason);
            }
            return false;
        }
        m_open = true;
        m_lastGoodMs = nowMs();
        m_openError.clear();
        m_server.delInfo(kCommError);
        identify(info.deviceType);
        publishFixed();
        publish("device.mfr", "Tarvel");
        publish("ups.mfr", "Tarvel");
        publish("ups.firmware", std::to_string(info.firmwareVersion));
        publish("ups.firmware.aux", std::to_string(info.hardwareVersion));
        logLine(LOG_NOTICE, "connected to %s (device type %u) on %s", m_model.c_str(),
                info.deviceType, m_settings.port.c_str());
        return true;
    }

    // Another module on the port (swapped, on the same line or after a loss)
    // may be another product: what the old product's table published goes,
    // so that nobody writes a register the new one has not (or means
    // otherwise); the next block publishes the new product's.
    void identify(uint16_t deviceType) {
        if (m_deviceType >= 0 && m_deviceType != deviceType) {
            for (const int address : m_writable)
                m_server.delInfo("experimental.register." + std::to_string(address));
            if (m_policyWritable) m_server.delInfo("experimental.policy.mode");
        }
        m_deviceType = deviceType;
        loadTables(deviceType);
        publish("device.model", m_model);
        publish("ups.model", m_model);
    }

    // The product title and, through it, the product's writable registers.
    void loadTables(uint16_t deviceType) {
        m_model = "DC UPS (device type " + std::to_string(deviceType) + ")";
        m_policyWritable = false;
        m_writable.clear();
        m_ranges.clear();
        QString title;
        bool found = false;
        const QString products = m_dataDir + QStringLiteral("/configs/config_product.xml");
        const int rc = productTable::findTitle(products, deviceType, &title, &found);
        if (rc != 0) {
            logLine(LOG_WARNING, "cannot read %s (%s)", products.toLocal8Bit().constData(),
                    rc == -1 ? "cannot open it" : "not well-formed");
            return;
        }
        if (!found) return;
        if (!productTable::isSingleComponent(title)) {
            logLine(LOG_WARNING, "the product name in %s is not a plain folder name; not used",
                    products.toLocal8Bit().constData());
            return;
        }
        m_model = title.toStdString();
        const QString registers = m_dataDir + QStringLiteral("/iconfigs/") + title +
                                  QStringLiteral("/config_registers.xml");
        QVector<registerTable::Entry> table;
        const int tableRc = registerTable::read(registers, table);
        if (tableRc != 0) {
            logLine(LOG_WARNING, "cannot read the register table %s (result %d)",
                    registers.toLocal8Bit().constData(), tableRc);
            return;
        }
        for (const registerTable::Entry& entry : table) {
            if (!entry.isWritable() || entry.address < 40000 || entry.address > 65535) continue;
            m_ranges[entry.address] = entry.range;
            if (entry.address == kPolicyModeAddress) {
                m_policyWritable = true;
            } else if (!isWritable(entry.address)) {
                m_writable.push_back(entry.address);
            }
        }
    }

    void poll() {
        uint16_t block[kStatusCount] = {};
        const int rc = UPS_ReadRegisters(&m_settings.device, kStatusBase, kStatusCount, block);
        const long now = nowMs();
        if (rc != Success) {
            if (now - m_lastGoodMs < m_lostAfterMs) return;
            UPS_DeviceClose(&m_settings.device);
            m_open = false;
            m_lost = true;
            m_backoffMs = kBackoffFirstMs;
            m_server.setStale(true);
            logLine(LOG_WARNING,
                    "lost the module on %s: no answer for %ld s (result %d); reconnecting "
                    "with a back-off of 1 s up to 30 s",
                    m_settings.port.c_str(), (now - m_lastGoodMs) / 1000, rc);
            return;
        }
        m_lastGoodMs = now;
        m_backoffMs = kBackoffFirstMs;
        if (block[kDeviceType] != m_deviceType) {
            logLine(LOG_NOTICE, "the module on %s now reports device type %u",
                    m_settings.port.c_str(), block[kDeviceType]);
            identify(block[kDeviceType]);
        }
        memcpy(m_block, block, sizeof m_block);
        m_haveBlock = true;
        publishBlock();
        for (const int address : m_writable) {
            const int offset = address - kStatusBase;
            if (offset >= 0 && offset < kStatusCount) continue;
            uint16_t value = 0;
            const int one =
                UPS_ReadRegisters(&m_settings.device, static_cast<uint16_t>(address), 1, &value);
            publish("experimental.register." + std::to_string(address),
                    one == Success ? std::to_string(value) : std::string());
        }
        if (m_server.stale()) {
            m_server.setStale(false);
            if (m_lost)
                logLine(LOG_NOTICE, "the module on %s answers again", m_settings.port.c_str());
            m_lost = false;
        }
    }

    // The status block as NUT variables, decoded as on the status page.
    void publishBlock() {
        const uint16_t* s = m_block;
        const unsigned charge = s[kCharge];
        const bool onBattery = s[kPowerSource] == 2 || (s[kPowerSource] != 1 && s[kDcOk] == 0);
        std::string status = onBattery ? "OB" : "OL";
        const char* charger = nullptr;
        if (s[kPowerSource] == 2) {
            charger = "discharging";
            status += " DISCHRG";
        } else if (s[kPowerSource] == 1) {
            charger = charge < 100 ? "charging" : "floating";
            if (charge < 100) status += " CHRG";
        }
        if (onBattery && charge <= static_cast<unsigned>(m_lowCharge)) status += " LB";
        publish("battery.charge", std::to_string(charge));
        if (charger != nullptr) publish("battery.charger.status", charger);
        if (s[kDeviceType] == kNoVoltageType) {
            m_server.delInfo("input.voltage");
            m_server.delInfo("output.voltage");
        } else {
            publish("input.voltage", volts(s[kVoltageInput]));
            publish("output.voltage", volts(s[kVoltageOutput]));
        }
        for (const Bit& bit : kBits)
            publish(bit.name, s[bit.word] != 0 ? "1" : "0");
        publish("experimental.policy.mode", std::to_string(s[kPolicyMode]));
        if (m_policyWritable) {
            m_server.setFlags("experimental.policy.mode", "RW NUMBER");
            const registerRange::Range range = rangeOf(kPolicyModeAddress);
            m_server.addRange("experimental.policy.mode", range.min, range.max);
        }
        // Registers outside the block are read after it (empty until read).
        for (const int address : m_writable) {
            const int offset = address - kStatusBase;
            const std::string name = "experimental.register." + std::to_string(address);
            if (offset >= 0 && offset < kStatusCount) {
                publish(name, std::to_string(s[offset]));
            } else if (m_server.info(name) == nullptr) {
                publish(name, std::string());
            }
            m_server.setFlags(name, "RW NUMBER");
            const registerRange::Range range = rangeOf(address);
            if (range.min != 0 || range.max != 65535) m_server.addRange(name, range.min, range.max);
        }
        // Last, so that a client that acts on it sees the values it rests on.
        publish("ups.status", status);
    }

    Settings& m_settings;
    const QString m_dataDir;
    nutsock::Server m_server;
    bool m_open = false;
    bool m_lost = false;
    std::string m_openError;  // the reason last told, empty while open
    int m_deviceType = -1;    // of the product whose table is published
    bool m_refusalLogged = false;
    long m_refusalLoggedMs = 0;
    long m_refusalsUntold = 0;
    long m_backoffMs = kBackoffFirstMs;
    long m_firstRetryMs = 0;
    long m_lastGoodMs = 0;
    long m_lostAfterMs = kMinLostMs;
    int m_lowCharge = kQXUPS_DefaultWarnLevel;  // the program's warning level
    std::string m_model;
    bool m_policyWritable = false;
    std::vector<int> m_writable;
    std::map<int, registerRange::Range> m_ranges;
    uint16_t m_block[kStatusCount] = {};
    bool m_haveBlock = false;
};

// Becomes the user (with its groups, so that dialout lets it reopen the
// port); false with a message when that fails.
bool becomeUser(const struct passwd* user) {
    if (initgroups(user->pw_name, user->pw_gid) != 0 || setgid(user->pw_gid) != 0 ||
        setuid(user->pw_uid) != 0) {
        logLine(LOG_ERR, "cannot become the user %s: %s", user->pw_name, strerror(errno));
        return false;
    }
    return true;
}

// <statepath>/qxups-nut-<ups>.pid, which upsdrvctl stop reads; the user the
// driver becomes must be able to remove it.
void writePid(const std::string& path, pid_t pid, uid_t owner, gid_t group) {
    if (!statefolder::writePidFile(path, pid, owner, group))
        logLine(LOG_WARNING, "cannot write %s: %s", path.c_str(), strerror(errno));
}

}  // namespace

int main(int argc, char** argv) {
    nutconf::CommandLine line;
    const int status = nutconf::readCommandLine(argc, argv, QXUPS_VERSION, line);
    if (status >= 0) return status;
    const std::string& ups = line.ups;
    const std::string& user = line.user;
    const bool foreground = line.foreground;
    const int debug = line.debug;
    const std::string& statePath = line.statePath;
    Settings& settings = line.settings;

    // Started as root, the driver runs as the user; as anyone else, as itself.
    struct passwd* account = nullptr;
    if (geteuid() == 0) {
        account = getpwnam(user.c_str());
        if (account == nullptr) {
            fprintf(stderr, "%s: no user %s to run as (-u, or user in ups.conf)\n", kName,
                    user.c_str());
            return kUsage;
        }
        if (account->pw_uid == 0) account = nullptr;  // root stays root
    }

    openlog(kName, LOG_PID | (foreground ? LOG_PERROR : 0), LOG_DAEMON);
    setlogmask(debug > 0 ? LOG_UPTO(LOG_DEBUG) : LOG_UPTO(LOG_INFO));

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGQUIT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGHUP, SIG_IGN);

    Driver driver(settings, dataFolder());
    const std::string socketPath = statePath + "/" + kName + "-" + ups;
    const std::string pidPath = socketPath + ".pid";
    // The running driver keeps the port (exclusive): taking its socket and
    // pid file would leave upsd with a driver that never reads the module.
    const pid_t running = statefolder::livePid(pidPath);
    if (running != 0 || nutsock::answers(socketPath)) {
        const std::string who = running != 0 ? " (pid " + std::to_string(running) + ")" : "";
        fprintf(
            stderr,
            "%s: a driver for [%s] is already running%s on %s; stop it first (upsdrvctl stop %s)\n",
            kName, ups.c_str(), who.c_str(), socketPath.c_str(), ups.c_str());
        return kUsage;
    }
    const uid_t owner = account != nullptr ? account->pw_uid : static_cast<uid_t>(-1);
    const gid_t group = account != nullptr ? account->pw_gid : static_cast<gid_t>(-1);
    if (!driver.server().listenAt(socketPath, owner, group)) {
        fprintf(stderr, "%s: cannot serve the driver socket %s: %s\n", kName, socketPath.c_str(),
                errno == EEXIST ? "something other than this driver's socket is there"
                                : strerror(errno));
        return kUsage;
    }
    driver.publishFixed();

    // The socket serves: upsdrvctl may go on. The device library starts its
    // threads at the first open, so the fork comes before it.
    if (!foreground) {
        fflush(nullptr);
        const pid_t pid = fork();
        if (pid < 0) {
            fprintf(stderr, "%s: cannot go to the background: %s\n", kName, strerror(errno));
            return kUsage;
        }
        if (pid > 0) {
            // Written before upsdrvctl goes on, so that it always finds it.
            writePid(pidPath, pid, owner, group);
            _exit(0);
        }
        setsid();
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, STDIN_FILENO);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            if (null > STDERR_FILENO) close(null);
        }
    }
    if (foreground) writePid(pidPath, getpid(), owner, group);
    logLine(LOG_INFO, "serving %s for [%s] on %s", socketPath.c_str(), ups.c_str(),
            settings.port.c_str());

    // The port is opened with the privileges the driver was started with;
    // reopening it after a line loss needs the user's own access (dialout).
    driver.openFirst();
    if (account != nullptr && !becomeUser(account)) {
        statefolder::removePidFile(pidPath, getpid());
        return kUsage;
    }
    driver.run();
    statefolder::removePidFile(pidPath, getpid());
    logLine(LOG_INFO, "stopped");
    return 0;
}
