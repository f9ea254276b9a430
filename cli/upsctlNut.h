// upsctl --nut: status, monitor, list and write of a UPS that upsd (Network UPS Tools) serves.
#pragma once

#include <string>

#include "upsctlMonitor.h"
#include "upsctlSystem.h"

// The exit status of a --nut command that upsd refused or could not answer.
const int kNutFailed = 1;
// The monitor's poll cycle through upsd: its default and its least, ms.
const unsigned long kNutDefaultIntervalMs = 2000;
const unsigned long kNutMinIntervalMs = 1000;

struct NutRequest {
    const char* target;   // UPS@HOST[:PORT]; @HOST[:PORT] for list
    const char* command;  // status, monitor, list or write
    int argCount;         // the command's arguments
    char** args;
    unsigned long intervalMs;  // monitor: at least kNutMinIntervalMs
    int timeoutMs;             // each request's time-out
    bool json;
    const char* user;          // write
    const char* passwordFile;  // write: its first line is the password
};

// Runs the command; status and monitor print as for the serial module, with
// the fields that upsd does not publish as unknown (null in JSON).
int nutCommand(const NutRequest& request, Hook* hooks, const MonitorLevels& levels, int warnLevel,
               int criticalLevel);
