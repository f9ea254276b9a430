// upsctl on POSIX systems: hooks through /bin/sh in process groups of their
// own, the stop signals through a signalfd, CLOCK_BOOTTIME against
// CLOCK_MONOTONIC for a suspend, and the Linux port table for the port
// errors.
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "QXUPSPorts.h"
#include "sleptClock.h"
#include "upsctlSystem.h"

extern char** environ;

namespace {

// The monitor's signalfd (watchStopSignals).
int g_signals = -1;

void reportHookEnd(const Hook* hook, int status) {
    if (WIFEXITED(status)) {
        logLine("%s: command ended with status %d", hook->name, WEXITSTATUS(status));
    } else if (WIFSIGNALED(status)) {
        logLine("%s: command ended by signal %d", hook->name, WTERMSIG(status));
    }
}

}  // namespace

std::string timestamp() {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm local;
    localtime_r(&now.tv_sec, &local);
    char text[64];
    size_t n = strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    snprintf(text + n, sizeof text - n, ".%03ld", now.tv_nsec / 1000000);
    return text;
}

long long monotonicMs() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

long long sleptMs() {
    return qxwatch::systemSleptMs();
}

void startHook(Hook* hook) {
    if (hook->command == nullptr) return;
    if (hook->pid != 0) {
        logLine("%s: not started, the command of the last edge still runs (pid %d)", hook->name,
                (int)hook->pid);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    if (posix_spawn_file_actions_init(&actions) != 0) return;
    if (posix_spawnattr_init(&attr) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return;
    }
    // Nobody reads its output: it goes to the null device instead of piling
    // up in a pipe or mixing with the monitor's lines.
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // Its own process group (so that the time limit ends everything it
    // started, and a Ctrl-C at the terminal reaches only the monitor), default
    // signal dispositions and an empty mask.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(
        &attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    char shell[] = "/bin/sh";
    char dashC[] = "-c";
    char* argv[] = {shell, dashC, const_cast<char*>(hook->command), nullptr};
    pid_t pid = -1;
    int rc = posix_spawn(&pid, shell, &actions, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        logLine("%s: cannot start the command: %s", hook->name, strerror(rc));
        return;
    }
    hook->pid = pid;
    hook->startedMs = monotonicMs();
    logLine("%s: command started (pid %d)", hook->name, (int)pid);
}

// Ends a running command's whole group. The leader is still unreaped, so its
// group id cannot have been handed out again.
void endHook(Hook* hook, const char* why) {
    if (hook->pid == 0) return;
    kill(-hook->pid, SIGKILL);
    int status = 0;
    while (waitpid(hook->pid, &status, 0) < 0 && errno == EINTR) {
    }
    logLine("%s: command ended %s", hook->name, why);
    hook->pid = 0;
}

// Reaps a finished command, or ends one that has run out of time.
void serviceHook(Hook* hook) {
    if (hook->pid == 0) return;
    int status = 0;
    pid_t done = waitpid(hook->pid, &status, WNOHANG);
    if (done == hook->pid) {
        reportHookEnd(hook, status);
        hook->pid = 0;
    } else if (done < 0 && errno != EINTR) {
        hook->pid = 0;  // not ours to wait for any more
    } else if (monotonicMs() - hook->startedMs >= kHookTimeLimitMs) {
        endHook(hook, "after 30 s");
    }
}

// The signals the monitor waits for (SIGINT, SIGTERM, SIGHUP, SIGQUIT,
// SIGCHLD): blocked in every thread, so that they reach it only through its
// signalfd, and a hang-up ends the hooks like any stop. Blocked before the
// device is opened, whose threads inherit the mask. A closed output pipe is
// seen as a failed write (SIGPIPE ignored), so the hooks are ended then too;
// the hooks themselves start with every signal at its default.
bool watchStopSignals() {
    signal(SIGPIPE, SIG_IGN);
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGHUP);
    sigaddset(&mask, SIGQUIT);
    sigaddset(&mask, SIGCHLD);
    if (sigprocmask(SIG_BLOCK, &mask, nullptr) == 0) {
        g_signals = signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
    }
    if (g_signals < 0) {
        fprintf(stderr, "upsctl: cannot wait for signals: %s\n", strerror(errno));
        return false;
    }
    return true;
}

// Sleeps on the signalfd: SIGCHLD wakes it when a hook's child ends.
bool sleepUntil(long long wakeAtMs, Hook* hooks, int count) {
    for (;;) {
        long long now = monotonicMs();
        long long until = wakeAtMs;
        for (int k = 0; k < count; ++k) {
            if (hooks[k].pid != 0 && hooks[k].startedMs + kHookTimeLimitMs < until) {
                until = hooks[k].startedMs + kHookTimeLimitMs;
            }
        }
        struct pollfd pfd = {g_signals, POLLIN, 0};
        int rc = poll(&pfd, 1, until > now ? (int)(until - now) : 0);
        bool stop = false;
        if (rc > 0) {
            struct signalfd_siginfo info;
            while (read(g_signals, &info, sizeof info) == (ssize_t)sizeof info) {
                if (info.ssi_signo != SIGCHLD) stop = true;
            }
        }
        for (int k = 0; k < count; ++k)
            serviceHook(&hooks[k]);
        if (stop) return true;
        if (monotonicMs() >= wakeAtMs) return false;
    }
}

// The library opens numbered ports only: the path becomes the override of a
// number of its own.
bool useDevicePath(UPS_DeviceDescriptor* device, const char* path) {
    setenv(("QXUPS_COM" + std::to_string(kQXUPS_DevicePathPort)).c_str(), path, 1);
    device->portNumber = kQXUPS_DevicePathPort;
    return true;
}

// Why the port could not be opened, naming its device path. The library only
// says "port error"; the path and its access rights tell the user what to do.
void explainPortError(unsigned port, bool byPath) {
    char name[32];
    if (byPath) {
        snprintf(name, sizeof name, "--device");
    } else {
        snprintf(name, sizeof name, "port %u", port);
    }
    char path[PATH_MAX];
    if (!QXUPS_PortDevicePath(port, path, sizeof path)) {
        fprintf(stderr,
                "upsctl: cannot open %s: no device has this number (1-32 are /dev/ttyS0-31, "
                "33-64 /dev/ttyUSB0-31, 65-96 /dev/ttyACM0-31; set QXUPS_COM%u=PATH or use "
                "--device PATH for another device) (%d)\n",
                name, port, PortError);
        return;
    }
    struct stat st;
    const bool found = stat(path, &st) == 0;
    if (!found && errno != EACCES) {
        fprintf(stderr, "upsctl: cannot open %s (%s): %s (%d)\n", path, name, strerror(errno),
                PortError);
        return;
    }
    if (!found || (access(path, R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM))) {
        // Serial ports on Debian belong to the dialout group; name the
        // device's own group too when it is another one.
        const struct group* owner = found ? getgrgid(st.st_gid) : nullptr;
        char other[128] = "";
        if (owner != nullptr && strcmp(owner->gr_name, "dialout") != 0) {
            snprintf(other, sizeof other, " (this device belongs to the group %s)", owner->gr_name);
        }
        fprintf(stderr,
                "upsctl: cannot open %s (%s): permission denied; the user needs read and write "
                "access to it: serial ports belong to the dialout group, so add the user to it "
                "(sudo adduser $USER dialout) and log in again%s (%d)\n",
                path, name, other, PortError);
        return;
    }
    // The library opens a port exclusively (a flock and TIOCEXCL): ask the
    // device the same way, so a port held by another program says so.
    const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const bool busy =
        (fd < 0 && errno == EBUSY) ||
        (fd >= 0 && isatty(fd) && flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK);
    const bool serial = fd < 0 || isatty(fd);
    if (fd >= 0) close(fd);
    if (busy) {
        fprintf(stderr, "upsctl: cannot open %s (%s): it is in use by another program (%d)\n", path,
                name, PortError);
    } else if (!serial) {
        fprintf(stderr, "upsctl: cannot open %s (%s): not a serial port (%d)\n", path, name,
                PortError);
    } else {
        fprintf(stderr,
                "upsctl: cannot open %s (%s): not a serial port, its settings were refused, or "
                "another program is using it (%d)\n",
                path, name, PortError);
    }
}

// systemd's notification protocol is one datagram on a local socket, so it
// needs no library: READY=1 once, then WATCHDOG=1 when a watchdog is set.
void notifyService() {
    static bool ready = false;
    static bool watchdog = getenv("WATCHDOG_USEC") != nullptr;
    static int fd = -2;
    static struct sockaddr_un address;
    static socklen_t length = 0;
    if (ready && !watchdog) return;
    if (fd == -2) {
        fd = -1;
        const char* path = getenv("NOTIFY_SOCKET");
        const size_t n = path != nullptr ? strlen(path) : 0;
        if (n < 2 || n >= sizeof address.sun_path || (path[0] != '/' && path[0] != '@')) return;
        memset(&address, 0, sizeof address);
        address.sun_family = AF_UNIX;
        memcpy(address.sun_path, path, n);
        if (path[0] == '@') address.sun_path[0] = '\0';  // an abstract socket
        length = static_cast<socklen_t>(offsetof(struct sockaddr_un, sun_path) + n);
        fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    }
    if (fd < 0) return;
    const char* message = ready ? "WATCHDOG=1" : "READY=1\nWATCHDOG=1";
    // A manager that went away is no reason to stop watching.
    if (sendto(fd, message, strlen(message), MSG_NOSIGNAL,
               reinterpret_cast<const struct sockaddr*>(&address), length) >= 0)
        ready = true;
}
