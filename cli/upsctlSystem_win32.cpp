// upsctl on Windows: hooks through cmd /c in job objects of their own, the
// stop requests through a console control handler and an event, the unbiased
// interrupt time (which stops while the system sleeps) for the monitor's
// clock, and COM<n> for the port errors.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "history.h"
#include "upsctlSystem.h"

namespace {

// Set by the console control handler; the event wakes sleepUntil.
volatile LONG g_stopRequested = 0;
HANDLE g_stopEvent = nullptr;

BOOL WINAPI onConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    InterlockedExchange(&g_stopRequested, 1);
    SetEvent(g_stopEvent);
    if (type == CTRL_CLOSE_EVENT) {
        // The process ends as soon as this handler returns: give the monitor
        // the time the system allows to end its hooks and exit by itself.
        Sleep(5000);
    }
    return TRUE;
}

// 100 ns units of interrupt time without the time spent suspended.
long long unbiasedMs() {
    ULONGLONG units = 0;
    QueryUnbiasedInterruptTime(&units);
    return (long long)(units / 10000);
}

void forgetHook(Hook* hook) {
    CloseHandle(static_cast<HANDLE>(hook->process));
    if (hook->job != nullptr) CloseHandle(static_cast<HANDLE>(hook->job));
    hook->process = nullptr;
    hook->job = nullptr;
    hook->pid = 0;
}

}  // namespace

std::string timestamp() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[64];
    snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", now.wYear, now.wMonth,
             now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    return text;
}

// Like CLOCK_MONOTONIC, and like the time-outs of the waits below (Windows 8
// and later), it stands still while the system is suspended.
long long monotonicMs() {
    return unbiasedMs();
}

// The tick count goes on while the system is suspended, the unbiased
// interrupt time does not: their difference grows by the time spent asleep.
long long sleptMs() {
    return (long long)GetTickCount64() - unbiasedMs();
}

// The command runs through cmd /c, created suspended and put into a job
// object of its own before it runs, so that the time limit ends everything
// it started (the job takes the place of the process group). It has no
// console of its own to show, so that a Ctrl+C at the monitor's console
// reaches only the monitor.
void startHook(Hook* hook) {
    if (hook->command == nullptr) return;
    if (hook->pid != 0) {
        logLine("%s: not started, the command of the last edge still runs (pid %d)", hook->name,
                (int)hook->pid);
        return;
    }
    // cmd.exe from the system folder, not one the search path or the current
    // folder happens to offer. /d: no AutoRun commands; /s: the quotes
    // around CMD are taken off and CMD is left as it is.
    char shell[MAX_PATH];
    const UINT length = GetSystemDirectoryA(shell, MAX_PATH);
    if (length == 0 || length + sizeof "\\cmd.exe" > sizeof shell) {
        logLine("%s: cannot start the command: no system folder", hook->name);
        return;
    }
    strcat(shell, "\\cmd.exe");
    std::string line = std::string("cmd.exe /d /s /c \"") + hook->command + "\"";

    // Nobody reads its output: it goes to the null device instead of piling
    // up in a pipe or mixing with the monitor's lines.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE nul =
        CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, OPEN_EXISTING, 0, nullptr);
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    if (nul == INVALID_HANDLE_VALUE || job == nullptr) {
        logLine("%s: cannot start the command: error %lu", hook->name,
                (unsigned long)GetLastError());
        if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
        if (job != nullptr) CloseHandle(job);
        return;
    }
    // Whatever way upsctl ends (killed from the task manager included), the
    // system closes the job's last handle and ends the command with it.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        logLine("%s: cannot start the command: error %lu", hook->name,
                (unsigned long)GetLastError());
        CloseHandle(nul);
        CloseHandle(job);
        return;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = nul;
    startup.hStdError = nul;
    PROCESS_INFORMATION info = {};
    const BOOL created =
        CreateProcessA(shell, &line[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED | CREATE_NO_WINDOW,
                       nullptr, nullptr, &startup, &info);
    const DWORD error = GetLastError();
    CloseHandle(nul);
    if (!created) {
        CloseHandle(job);
        logLine("%s: cannot start the command: error %lu", hook->name, (unsigned long)error);
        return;
    }
    if (!AssignProcessToJobObject(job, info.hProcess)) {
        // Not started outside a job: nothing could end what it starts.
        const DWORD assignError = GetLastError();
        TerminateProcess(info.hProcess, 1);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        CloseHandle(job);
        logLine("%s: cannot start the command: error %lu", hook->name, (unsigned long)assignError);
        return;
    }
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    hook->process = info.hProcess;
    hook->job = job;
    hook->pid = (pid_t)info.dwProcessId;
    hook->startedMs = monotonicMs();
    logLine("%s: command started (pid %d)", hook->name, (int)hook->pid);
}

// Ends a running command's whole job.
void endHook(Hook* hook, const char* why) {
    if (hook->pid == 0) return;
    TerminateJobObject(static_cast<HANDLE>(hook->job), 1);
    WaitForSingleObject(static_cast<HANDLE>(hook->process), 5000);
    logLine("%s: command ended %s", hook->name, why);
    forgetHook(hook);
}

// Reports a finished command, or ends one that has run out of time.
void serviceHook(Hook* hook) {
    if (hook->pid == 0) return;
    if (WaitForSingleObject(static_cast<HANDLE>(hook->process), 0) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(static_cast<HANDLE>(hook->process), &code);
        logLine("%s: command ended with status %lu", hook->name, (unsigned long)code);
        forgetHook(hook);
    } else if (monotonicMs() - hook->startedMs >= kHookTimeLimitMs) {
        endHook(hook, "after 30 s");
    }
}

// Ctrl+C, Ctrl+Break and closing the console window stop the monitor.
bool watchStopSignals() {
    g_stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (g_stopEvent == nullptr || !SetConsoleCtrlHandler(onConsoleControl, TRUE)) {
        fprintf(stderr, "upsctl: cannot wait for Ctrl+C: error %lu\n",
                (unsigned long)GetLastError());
        return false;
    }
    return true;
}

// Waits on the stop event and the running hooks' processes.
bool sleepUntil(long long wakeAtMs, Hook* hooks, int count) {
    for (;;) {
        long long now = monotonicMs();
        long long until = wakeAtMs;
        HANDLE waitFor[MAXIMUM_WAIT_OBJECTS];
        DWORD handles = 0;
        waitFor[handles++] = g_stopEvent;
        for (int k = 0; k < count && handles < MAXIMUM_WAIT_OBJECTS; ++k) {
            if (hooks[k].pid == 0) continue;
            waitFor[handles++] = static_cast<HANDLE>(hooks[k].process);
            if (hooks[k].startedMs + kHookTimeLimitMs < until) {
                until = hooks[k].startedMs + kHookTimeLimitMs;
            }
        }
        WaitForMultipleObjects(handles, waitFor, FALSE, until > now ? (DWORD)(until - now) : 0);
        for (int k = 0; k < count; ++k)
            serviceHook(&hooks[k]);
        if (InterlockedCompareExchange(&g_stopRequested, 0, 0) != 0) return true;
        if (monotonicMs() >= wakeAtMs) return false;
    }
}

// The library opens COM<n> by its number only.
bool useDevicePath(UPS_DeviceDescriptor*, const char*) {
    fprintf(stderr,
            "upsctl: --device is not available on Windows: use --port N, which opens COMN\n");
    return false;
}

// The library only says "port error": opening the port once more tells
// whether it is there and whether another program holds it.
void explainPortError(unsigned port, bool) {
    char path[32];
    snprintf(path, sizeof path, "\\\\.\\COM%u", port);
    HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = GetLastError();
    const char* why;
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        why = "not a serial port, or its settings were refused";
    } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        why = "no such port";
    } else if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
        why = "another program is using it";
    } else {
        why = "no such port, its settings were refused, or another program is using it";
    }
    fprintf(stderr, "upsctl: cannot open COM%u: %s (%d)\n", port, why, PortError);
}

// The history is read with SQLite's C library, which this build has not.
int upsctlHistory(int, char**) {
    fprintf(stderr, "upsctl: history is not available in this build\n");
    return 64;  // as for bad usage
}

// No service manager speaks systemd's notification protocol here.
void notifyService() {}
