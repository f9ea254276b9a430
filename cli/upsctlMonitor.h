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
    kHookCount
};

// Watches the open device every intervalMs until a stop request or a closed
// standard output, logging each change and running the hooks (kHookCount of
// them, in the order above) at their edges; levels in percent, 0 off. Closes
// the device.
int monitor(UPS_DeviceDescriptor* device, unsigned long intervalMs, Hook* hooks, int warnLevel,
            int criticalLevel);
