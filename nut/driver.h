// The driver proper: polls the module through the device library and
// publishes what it reads on NUT's driver socket; takes SET from upsd.
#pragma once

#include <signal.h>
#include <stdint.h>

#include <QString>

#include <map>
#include <string>
#include <vector>

#include "QXUPSBattery.h"
#include "driverSocket.h"
#include "lineWatch.h"
#include "registerRange.h"
#include "runtimeEstimate.h"
#include "statusBlock.h"
#include "upsConf.h"

namespace nutdriver {

// To syslog, and to standard error too in the foreground (openlog's LOG_PERROR).
void logLine(int priority, const char* format, ...) __attribute__((format(printf, 2, 3)));

class Driver : public nutsock::Handler {
public:
    Driver(nutconf::Settings& settings, const QString& dataDir);
    nutsock::Server& server() { return m_server; }
    void publishFixed();
    // Polls the module and serves the socket until stop is set.
    void run(const volatile sig_atomic_t& stop);
    // The first open, before the privileges are dropped.
    void openFirst();
    nutsock::Status setVariable(const std::string& name, const std::string& value) override;
    nutsock::Status instantCommand(const std::string& name, const std::string&) override;

private:
    void publish(const std::string& name, const std::string& value);
    bool isWritable(long address) const;
    // The product table's range for a register (every 16-bit value without one).
    registerRange::Range rangeOf(long address) const;
    bool allowed(long address, long value) const;
    // Success, or the library's result code of the failed open.
    int tryOpen();
    // Another module on the port (swapped, on the same line or after a loss)
    // may be another product: what the old product's table published goes,
    // so that nobody writes a register the new one has not (or means
    // otherwise); the next block publishes the new product's.
    void identify(uint16_t deviceType);
    // The product title and, through it, the product's writable registers.
    void loadTables(uint16_t deviceType);
    void poll();
    // The status block as NUT variables, decoded as on the status page.
    void publishBlock();

    nutconf::Settings& m_settings;
    const QString m_dataDir;
    nutsock::Server m_server;
    bool m_open = false;
    bool m_lost = false;
    std::string m_openError;  // the reason last told, empty while open
    int m_deviceType = -1;    // of the product whose table is published
    bool m_refusalLogged = false;
    long m_refusalLoggedMs = 0;
    long m_refusalsUntold = 0;
    qxwatch::LineWatch m_line;  // lost-line time, back-off and sleep rule, as the program's
    int m_lowCharge = kQXUPS_DefaultWarnLevel;  // the program's warning level
    // The runtime estimate, seeded by the rate the discharges since the
    // start showed (kept in memory only); LB below m_lowRuntime seconds.
    qxwatch::RuntimeEstimator m_runtime;
    double m_learnedRate = 0;
    long m_lowRuntime = 180;
    std::string m_model;
    bool m_policyWritable = false;
    std::vector<int> m_writable;
    std::map<int, registerRange::Range> m_ranges;
    uint16_t m_block[qxwatch::kStatusWords] = {};
    bool m_haveBlock = false;
};

}  // namespace nutdriver
