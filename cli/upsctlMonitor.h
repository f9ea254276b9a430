// upsctl monitor: the hooks it runs and the loop that watches the module.
#pragma once

#include <stdint.h>

#include <string>

#include "QXUPSSDK.h"
#include "statusBlock.h"
#include "upsctlSystem.h"

// The hooks of the monitor, in the order they are serviced.
enum {
    kHookDcLoss,
    kHookSwOn,
    kHookCommLost,
    kHookCommOk,
    kHookLowBattery,
    kHookCriticalBattery,
    kHookLowRuntime,
    kHookCount
};

// How the monitor judges a discharge: levels in percent (0 off), the
// ride-through delay of the DC-loss hook, the runtime level (0 off) and the
// learned discharge rate (percent per second, 0 none).
struct MonitorLevels {
    int warnLevel;
    int criticalLevel;
    long long rideThroughS;
    long long runtimeLevelMin;
    double learnedRate;
};

// What the monitor watches: the module on its line, or a UPS through upsd.
// Result codes are 0 for success; their texts come from the source.
class MonitorSource {
public:
    virtual ~MonitorSource() = default;
    virtual int open() = 0;
    virtual int read(qxwatch::StatusView* view) = 0;
    virtual void close() = 0;
    // The failure after "Read error: " ("8 (timed out)") and in brackets
    // ("error 8: timed out").
    virtual std::string readErrorText(int code) const = 0;
    virtual std::string errorText(int code) const = 0;
    // The time-out of one request, for the lost-line time.
    virtual uint32_t timeoutMs() const = 0;
    // A failure that the next request meets again: said once, and the
    // monitor ends with it as its exit status.
    virtual bool permanent(int code) const {
        (void)code;
        return false;
    }
    // A failure of another kind than the last one logged is logged too
    // (the first one only, without).
    virtual bool logsEachKind() const { return false; }
};

// Watches the open source every intervalMs, as monitor() below does the
// device; the source is open at the call and closed at the return.
int monitorSource(MonitorSource* source, unsigned long intervalMs, Hook* hooks,
                  const MonitorLevels& levels);

// Watches the open device every intervalMs until a stop request or a closed
// standard output, logging each change and running the hooks (kHookCount of
// them, in the order above) at their edges. Closes the device.
int monitor(UPS_DeviceDescriptor* device, unsigned long intervalMs, Hook* hooks,
            const MonitorLevels& levels);
