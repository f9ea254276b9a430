// upsctl monitor: polls the status block, logs the shared rules' decisions and runs the hooks.
#include "upsctlMonitor.h"

#include <stdarg.h>
#include <stdio.h>

#include <string>

#include "lineWatch.h"
#include "powerWatch.h"
#include "resultText.h"
#include "statusBlock.h"
#include "upsctlDischarge.h"
#include "upsctlStatus.h"

namespace {

// Set when standard output can no longer be written (a closed pipe): the
// monitor then ends as on SIGTERM, hooks first.
bool g_outputLost = false;

// The module on its serial line, through the library.
class DeviceSource : public MonitorSource {
public:
    explicit DeviceSource(UPS_DeviceDescriptor* device) : m_device(device) {}
    int open() override {
        UPS_DeviceInfo info = {};
        return UPS_DeviceOpen(m_device, &info);
    }
    int read(qxwatch::StatusView* view) override {
        uint16_t status[qxwatch::kStatusWords] = {};
        const int rc =
            UPS_ReadRegisters(m_device, qxwatch::kStatusStart, qxwatch::kStatusWords, status);
        if (rc == Success) *view = qxwatch::decodeStatus(status);
        return rc;
    }
    void close() override { UPS_DeviceClose(m_device); }
    std::string readErrorText(int code) const override {
        return std::to_string(code) + " (" + qxwatch::resultText(code) + ")";
    }
    std::string errorText(int code) const override {
        return "error " + std::to_string(code) + ": " + qxwatch::resultText(code);
    }
    uint32_t timeoutMs() const override { return m_device->responseTimeoutMs; }

private:
    UPS_DeviceDescriptor* m_device;
};

}  // namespace

// One monitor line: time stamp, ">>", message (the program's log format).
void logLine(const char* format, ...) {
    printf("%s>>", timestamp().c_str());
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    printf("\n");
    if (fflush(stdout) != 0) g_outputLost = true;
}

int monitor(UPS_DeviceDescriptor* device, unsigned long intervalMs, Hook* hooks,
            const MonitorLevels& levels) {
    DeviceSource source(device);
    return monitorSource(&source, intervalMs, hooks, levels);
}

int monitorSource(MonitorSource* source, unsigned long intervalMs, Hook* hooks,
                  const MonitorLevels& levels) {
    const int warnLevel = levels.warnLevel;
    const int criticalLevel = levels.criticalLevel;
    // The rules are the shared ones: the line (lost-line time, back-off,
    // collapse of failures, sleep) in LineWatch, the DC/SW edges and the
    // levels in PowerWatch. Both outlive a lost line, so that the first block
    // after it is compared with the last one seen; at start a module already
    // on battery (or with SW on) is reported but runs no command.
    qxwatch::LineWatch line;
    line.lostAfter = qxwatch::lostAfterMs(line.timings, source->timeoutMs(), (uint32_t)intervalMs);
    line.opened(monotonicMs(), sleptMs());
    qxwatch::PowerWatch power;
    // The runtime and the delayed actions; a countdown runs on between polls
    // and while the line is down.
    Discharge discharge(levels.learnedRate, levels.rideThroughS, levels.runtimeLevelMin,
                        &hooks[kHookDcLoss], &hooks[kHookLowRuntime]);
    long long nextPollMs = 0;
    std::string last;
    bool open = true;
    bool lost = false;
    bool stop = false;
    int exitCode = Success;
    int lastLogged = Success;

    // The first read failure is printed, then a summary at most once a minute
    // (and, when the source wants it, each failure of a new kind).
    auto logFailure = [&](const qxwatch::LineDecision& d) {
        if (d.log == qxwatch::LineLog::FirstReadFailure ||
            (source->logsEachKind() && d.result != lastLogged)) {
            logLine("Read error: %s", source->readErrorText(d.result).c_str());
            lastLogged = d.result;
        } else if (d.log == qxwatch::LineLog::Summary) {
            logLine("Still no answer, %d attempts (%s)", d.failures,
                    source->errorText(d.result).c_str());
        }
    };

    while (!stop) {
        long long wakeAt;
        if (monotonicMs() < nextPollMs) {
            // Woken for the countdown alone.
            discharge.act(monotonicMs(), qxwatch::PowerDecision{});
            wakeAt = nextPollMs;
        } else if (!open) {
            const int rc = source->open();
            if (rc == Success) {
                open = true;
                line.opened(monotonicMs(), sleptMs());
                continue;  // read at once
            }
            const qxwatch::LineDecision d = line.openFailed(rc, monotonicMs());
            logFailure(d);
            wakeAt = d.nextAttemptAtMs;
        } else {
            const long long slept = sleptMs();
            qxwatch::StatusView view = {};
            const int rc = source->read(&view);
            const qxwatch::LineDecision d = line.readDone(rc, monotonicMs(), slept);
            if (rc != Success && source->permanent(rc)) {
                logLine("%s", source->errorText(rc).c_str());
                exitCode = rc;
                break;
            } else if (rc != Success) {
                logFailure(d);
                last.clear();
                if (d.lost) {
                    logLine("Communication with the module lost (%s)",
                            source->errorText(rc).c_str());
                    lost = true;
                    startHook(&hooks[kHookCommLost]);
                    // A device path that went away is only found again by
                    // opening it anew.
                    source->close();
                    open = false;
                    wakeAt = d.nextAttemptAtMs;
                } else {
                    wakeAt = monotonicMs() + (long long)intervalMs;
                }
            } else {
                if (d.log == qxwatch::LineLog::Restored) {
                    logLine("Communication restored after %s",
                            duration((d.restoredAfterMs + 500) / 1000).c_str());
                    if (lost) startHook(&hooks[kHookCommOk]);
                    lost = false;
                    lastLogged = Success;
                }
                const long long runtime = discharge.runtime(monotonicMs(), view);
                // A line when the block changes, with the runtime of that
                // moment: a new estimate alone is no change.
                std::string text = statusLine(view);
                if (text != last)
                    logLine("%s runtime_s=%s", text.c_str(), runtimeText(runtime).c_str());
                last = text;
                // A charge without a source reaches no level.
                const qxwatch::PowerDecision p = power.update(view, view.hasCharge ? warnLevel : 0,
                                                              view.hasCharge ? criticalLevel : 0);
                if (p.dc == qxwatch::DcEdge::Connected) {
                    logLine("DC is connected.");
                } else if (p.dc == qxwatch::DcEdge::Broken) {
                    logLine("DC is broken.");
                }
                // The DC-loss hook at once or after the ride-through, the
                // low-runtime one.
                discharge.act(monotonicMs(), p);
                if (p.sw == qxwatch::SwEdge::On) {
                    logLine("SW ON.");
                    if (p.swActs) startHook(&hooks[kHookSwOn]);
                } else if (p.sw == qxwatch::SwEdge::Off) {
                    logLine("SW OFF.");
                }
                if (p.warnReached) {
                    logLine("Battery low: %u %% (warning level %d %%).", view.charge, warnLevel);
                    startHook(&hooks[kHookLowBattery]);
                }
                if (p.criticalReached) {
                    logLine("Battery critical: %u %% (critical level %d %%).", view.charge,
                            criticalLevel);
                    startHook(&hooks[kHookCriticalBattery]);
                }
                wakeAt = monotonicMs() + (long long)intervalMs;
            }
        }
        notifyService();  // ready after the first turn; the watchdog's sign of life
        nextPollMs = wakeAt;
        if (discharge.wakeAtMs() < wakeAt) wakeAt = discharge.wakeAtMs();
        if (fflush(stdout) != 0) g_outputLost = true;
        stop = g_outputLost || sleepUntil(wakeAt, hooks, kHookCount);
    }
    discharge.stop();
    for (int k = 0; k < kHookCount; ++k)
        endHook(&hooks[k], "as the monitor stopped");
    if (open) source->close();
    return exitCode;
}
