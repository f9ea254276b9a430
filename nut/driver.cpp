// The driver proper: the module's status block and writable registers as NUT variables.
#include "driver.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <syslog.h>
#include <time.h>

#include <QVector>

#include <algorithm>

#include "QXUPSSDK.h"
#include "QXUPSStatus.h"
#include "portCheck.h"
#include "productTable.h"
#include "registerTable.h"
#include "resultText.h"
#include "sleptClock.h"

namespace nutdriver {

namespace {

using nutconf::parseNumber;
using nutconf::Settings;

const char* const kName = nutconf::kDriverName;
const uint16_t kStatusBase = qxwatch::kStatusStart;
const int kStatusCount = qxwatch::kStatusWords;
const int kPolicyModeAddress = 40035;
const long kRefusalLogMs = 60000;  // any client may send INSTCMD at any rate
const char kCommError[] = "experimental.comm.error";
const long kMaxLowRuntime = 86400;  // s: a day on battery is more than any module holds

struct Bit {
    qxwatch::Bit bit;
    const char* name;
};
const Bit kBits[] = {
    {qxwatch::kDcOkBit, "experimental.do.dc_ok"},
    {qxwatch::kBatModeBit, "experimental.do.bat_mode"},
    {qxwatch::kBatReadyBit, "experimental.do.bat_ready"},
    {qxwatch::kSwBit, "experimental.do.sw"},
    {qxwatch::kRemoteBit, "experimental.di.remote"},
    {qxwatch::kBatStartBit, "experimental.di.bat_start"},
    {qxwatch::kDevPStsBit, "experimental.di.dev_psts"},
};

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

}  // namespace

void logLine(int priority, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsyslog(priority, format, args);
    va_end(args);
}

Driver::Driver(Settings& settings, const QString& dataDir)
    : m_settings(settings), m_dataDir(dataDir), m_server(this) {
    const auto low = settings.defaults.find("battery.charge.low");
    long n = 0;
    if (low != settings.defaults.end() && parseNumber(low->second, 0, 100, &n)) {
        m_lowCharge = static_cast<int>(n);
    }
    const auto lowRuntime = settings.defaults.find("battery.runtime.low");
    if (lowRuntime != settings.defaults.end() &&
        parseNumber(lowRuntime->second, 0, kMaxLowRuntime, &n)) {
        m_lowRuntime = n;
    }
    m_line.lostAfter = qxwatch::lostAfterMs(
        m_line.timings, static_cast<uint32_t>(settings.device.responseTimeoutMs),
        static_cast<uint32_t>(settings.pollMs));
}

void Driver::publishFixed() {
    publish("device.type", "ups");
    publish("driver.name", kName);
    publish("driver.version", QXUPS_VERSION);
    publish("driver.parameter.port", m_settings.port);
    publish("driver.parameter.pollinterval", std::to_string(m_settings.pollMs / 1000));
    publish("battery.charge.low", std::to_string(m_lowCharge));
    m_server.setFlags("battery.charge.low", "RW NUMBER");
    m_server.addRange("battery.charge.low", 0, 100);
    publish("battery.runtime.low", std::to_string(m_lowRuntime));
    m_server.setFlags("battery.runtime.low", "RW NUMBER");
    m_server.addRange("battery.runtime.low", 0, kMaxLowRuntime);
    for (const auto& d : m_settings.defaults) {
        if (m_server.info(d.first) == nullptr) publish(d.first, d.second);
    }
}

void Driver::run(const volatile sig_atomic_t& stop) {
    long nextPoll = 0;
    while (!stop) {
        const long now = nowMs();
        if (!m_open && now >= m_line.nextAttemptAtMs) {
            const int rc = tryOpen();
            if (rc == Success)
                nextPoll = now;
            else
                m_line.openFailed(rc, now);  // the next attempt 1 s, 2 s, 4 s ... 30 s later
        }
        if (m_open && nowMs() >= nextPoll) {
            nextPoll = nowMs() + m_settings.pollMs;
            poll();
        }
        const long due = m_open ? nextPoll : static_cast<long>(m_line.nextAttemptAtMs);
        const long wait = std::max(0L, std::min(due - nowMs(), 1000L));
        m_server.serve(static_cast<int>(wait));
    }
    if (m_open) UPS_DeviceClose(&m_settings.device);
    m_open = false;
}

void Driver::openFirst() {
    const long now = nowMs();
    const int rc = tryOpen();
    if (rc != Success) m_line.openFailed(rc, now);
}

nutsock::Status Driver::setVariable(const std::string& name, const std::string& value) {
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
    if (name == "battery.runtime.low") {
        if (!parseNumber(value, 0, kMaxLowRuntime, &n)) return nutsock::StatusInvalid;
        m_lowRuntime = n;
        publish(name, std::to_string(n));
        if (m_haveBlock) publishBlock();
        logLine(LOG_NOTICE, "battery.runtime.low set to %ld s", n);
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
    const int rc = UPS_WriteRegisters(&m_settings.device, static_cast<uint16_t>(address), 1, &word);
    if (rc != Success) {
        logLine(LOG_WARNING, "%s not set: writing register %d failed (%s)", name.c_str(), address,
                qxwatch::resultText(rc));
        return nutsock::StatusFailed;
    }
    logLine(LOG_NOTICE, "%s set to %ld", name.c_str(), n);
    publish(name, std::to_string(n));
    return nutsock::StatusHandled;
}

nutsock::Status Driver::instantCommand(const std::string& name, const std::string&) {
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

void Driver::publish(const std::string& name, const std::string& value) {
    const auto pinned = m_settings.overrides.find(name);
    m_server.setInfo(name, pinned != m_settings.overrides.end() ? pinned->second : value);
}

bool Driver::isWritable(long address) const {
    for (const int a : m_writable) {
        if (a == address) return true;
    }
    return false;
}

registerRange::Range Driver::rangeOf(long address) const {
    const auto found = m_ranges.find(static_cast<int>(address));
    return found != m_ranges.end() ? found->second : registerRange::Range();
}

bool Driver::allowed(long address, long value) const {
    return registerRange::allows(rangeOf(address), static_cast<unsigned long>(value));
}

int Driver::tryOpen() {
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
        return rc;
    }
    m_open = true;
    m_line.opened(nowMs(), qxwatch::systemSleptMs());
    m_openError.clear();
    m_server.delInfo(kCommError);
    identify(info.deviceType);
    publishFixed();
    publish("device.mfr", "Tarvel");
    publish("ups.mfr", "Tarvel");
    publish("ups.firmware", std::to_string(info.firmwareVersion));
    publish("ups.firmware.aux", std::to_string(info.hardwareVersion));
    logLine(LOG_NOTICE, "connected to %s (device type %u) on %s", m_model.c_str(), info.deviceType,
            m_settings.port.c_str());
    return Success;
}

void Driver::identify(uint16_t deviceType) {
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

void Driver::loadTables(uint16_t deviceType) {
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
    const QString registers =
        m_dataDir + QStringLiteral("/iconfigs/") + title + QStringLiteral("/config_registers.xml");
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

void Driver::poll() {
    uint16_t block[kStatusCount] = {};
    const long lastGoodMs = static_cast<long>(m_line.lastGoodMs);
    const int64_t slept = qxwatch::systemSleptMs();
    const int rc = UPS_ReadRegisters(&m_settings.device, kStatusBase, kStatusCount, block);
    const long now = nowMs();
    // Lost after the lost-line time, or at the first failing read after the
    // system slept (the module or its adapter may have lost power meanwhile).
    const qxwatch::LineDecision line = m_line.readDone(rc, now, slept);
    if (rc != Success) {
        if (!line.lost) return;
        UPS_DeviceClose(&m_settings.device);
        m_open = false;
        m_lost = true;
        m_server.setStale(true);
        logLine(LOG_WARNING,
                "lost the module on %s: no answer for %ld s (%s); reconnecting "
                "with a back-off of 1 s up to 30 s",
                m_settings.port.c_str(), (now - lastGoodMs) / 1000, qxwatch::resultText(rc));
        return;
    }
    if (block[kDeviceType] != m_deviceType) {
        logLine(LOG_NOTICE, "the module on %s now reports device type %u", m_settings.port.c_str(),
                block[kDeviceType]);
        identify(block[kDeviceType]);
    }
    memcpy(m_block, block, sizeof m_block);
    m_haveBlock = true;
    const qxwatch::StatusView view = qxwatch::decodeStatus(block);
    const qxwatch::RuntimeUpdate runtime = m_runtime.update(now, view.charge, view.onBattery);
    if (runtime.endedRatePerS != 0) {
        m_learnedRate = qxwatch::foldLearnedRate(m_learnedRate, runtime.endedRatePerS);
        m_runtime.setLearnedRate(m_learnedRate);
    }
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
        if (m_lost) logLine(LOG_NOTICE, "the module on %s answers again", m_settings.port.c_str());
        m_lost = false;
    }
}

void Driver::publishBlock() {
    const uint16_t* s = m_block;
    const qxwatch::StatusView view = qxwatch::decodeStatus(s);
    // On battery is DC_OK (word 28) alone; the power source (word 27) only
    // says what the charger does, so both may show while the words disagree.
    std::string status = view.onBattery ? "OB" : "OL";
    const char* charger = nullptr;
    switch (view.chargeState) {
        case qxwatch::ChargeState::Discharging:
            charger = "discharging";
            status += " DISCHRG";
            break;
        case qxwatch::ChargeState::Charging:
            charger = "charging";
            status += " CHRG";
            break;
        case qxwatch::ChargeState::Full:
        case qxwatch::ChargeState::Over100:  // on DC and at least full: the charger floats
            charger = "floating";
            break;
        case qxwatch::ChargeState::Unknown:  // a source code the driver cannot read
            break;
    }
    // LB also when the time left falls below battery.runtime.low, so that
    // upsmon shuts down in time whatever the load.
    const int64_t runtime = m_runtime.secondsLeft();
    const bool runtimeLow =
        view.onBattery && runtime != qxwatch::kRuntimeUnknown && runtime < m_lowRuntime;
    if (QXUPS_LevelReached(view.charge, m_lowCharge, view.onBattery) || runtimeLow) status += " LB";
    publish("battery.charge", std::to_string(view.charge));
    // Only a figure the estimate supports; none on DC or before the charge fell.
    if (runtime != qxwatch::kRuntimeUnknown)
        publish("battery.runtime", std::to_string(runtime));
    else
        m_server.delInfo("battery.runtime");
    // Withdrawn rather than left at what an earlier block said.
    if (charger != nullptr)
        publish("battery.charger.status", charger);
    else
        m_server.delInfo("battery.charger.status");
    if (!view.hasVoltages) {
        m_server.delInfo("input.voltage");
        m_server.delInfo("output.voltage");
    } else {
        publish("input.voltage", volts(view.voltageInputMv));
        publish("output.voltage", volts(view.voltageOutputMv));
    }
    for (const Bit& bit : kBits)
        publish(bit.name, view.bit(bit.bit) ? "1" : "0");
    publish("experimental.policy.mode", std::to_string(view.policyCode));
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

}  // namespace nutdriver
