// upsctl monitor: the hooks it runs and the loop that watches the module.
#pragma once

#include "QXUPSSDK.h"
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

// Watches the open device every intervalMs until a stop request or a closed
// standard output, logging each change and running the hooks (kHookCount of
// them, in the order above) at their edges. Closes the device.
int monitor(UPS_DeviceDescriptor* device, unsigned long intervalMs, Hook* hooks,
            const MonitorLevels& levels);
