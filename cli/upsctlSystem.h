// What upsctl needs of the operating system, in one place: the monitor's
// clocks, its hooks' processes, its stop signal and its sleep between polls;
// the device path option and why a port could not be opened. One
// implementation for POSIX systems (upsctlSystem_posix.cpp) and one for
// Windows (upsctlSystem_win32.cpp).
#pragma once

#include <sys/types.h>

#include <string>

#include "QXUPSSDK.h"

const long long kHookTimeLimitMs = 30000;  // like the program's post-process script

// A command run at an edge: at most one at a time, in a process group (a job
// object on Windows) of its own, never waited for by the polling loop.
struct Hook {
    const char* name;     // "on-dc-loss"
    const char* command;  // null when not given
    pid_t pid;            // 0 while none runs
    long long startedMs;  // monotonicMs() at its start
    void* process;        // Windows: the command's process and its job
    void* job;
};

// One monitor line: time stamp, ">>", message (the program's log format).
// Defined with the monitor (upsctlMonitor.cpp); the hooks log through it.
void logLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Milliseconds from a fixed point, not counting the time the system was
// suspended.
long long monotonicMs();
// Milliseconds the system has spent suspended since it started: grows across
// a suspend, so that the monitor can tell that it slept.
long long sleptMs();
// The local time with milliseconds, "2024-05-01 12:00:00.123".
std::string timestamp();

// Starts the hook's command unless none is given or the last one still runs.
void startHook(Hook* hook);
// Reports a finished command, or ends one that has run out of time.
void serviceHook(Hook* hook);
// Ends a running command and all it started; logs "command ended WHY".
void endHook(Hook* hook, const char* why);

// Makes the stop requests (Ctrl+C and the like) reach sleepUntil; called
// before the device is opened. False, with a message printed, when it
// cannot.
bool watchStopSignals();
// Sleeps until wakeAtMs (monotonicMs), a stop request (true) or a hook's
// command ending; services the hooks, ending those that run out of time
// meanwhile.
bool sleepUntil(long long wakeAtMs, Hook* hooks, int count);

// Makes the device open the serial device at path instead of a numbered
// port; false, with a message printed, when this system cannot.
bool useDevicePath(UPS_DeviceDescriptor* device, const char* path);
// Tells on stderr why the port could not be opened.
void explainPortError(unsigned port, bool byPath);

// Tells a service manager that started the monitor (systemd's NOTIFY_SOCKET)
// that it is ready, the first time, and that it is alive (the watchdog):
// called once per turn of the polling loop. Nothing without a manager.
void notifyService();
