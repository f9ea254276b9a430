// qxups-nut: a Network UPS Tools driver for the DC UPS module. upsdrvctl
// starts it from a ups.conf section; it polls the module through the device
// library and serves NUT's driver socket, which upsd reads.
//
//   qxups-nut -a <ups> [-F | -D] [-u user] [-x key=value]...
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <QString>

#include <string>

#include "driver.h"
#include "driverSocket.h"
#include "stateFolder.h"
#include "upsConf.h"

namespace {

using nutconf::Settings;
using nutdriver::logLine;

const char* const kName = nutconf::kDriverName;
const int kUsage = 1;  // NUT drivers end with 1 on bad usage or set-up

volatile sig_atomic_t g_stop = 0;

void onSignal(int) {
    g_stop = 1;
}

// The folder of the shipped data (configs/, iconfigs/): QXUPS_APPDIR as for
// the program, else the driver's own folder.
QString dataFolder() {
    const char* env = getenv("QXUPS_APPDIR");
    if (env != nullptr && *env != '\0') return QString::fromLocal8Bit(env);
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return QStringLiteral(".");
    path[n] = '\0';
    char* slash = strrchr(path, '/');
    if (slash != nullptr) *slash = '\0';
    return QString::fromLocal8Bit(path);
}

// Becomes the user (with its groups, so that dialout lets it reopen the
// port); false with a message when that fails.
bool becomeUser(const struct passwd* user) {
    if (initgroups(user->pw_name, user->pw_gid) != 0 || setgid(user->pw_gid) != 0 ||
        setuid(user->pw_uid) != 0) {
        logLine(LOG_ERR, "cannot become the user %s: %s", user->pw_name, strerror(errno));
        return false;
    }
    return true;
}

// <statepath>/qxups-nut-<ups>.pid, which upsdrvctl stop reads; the user the
// driver becomes must be able to remove it.
void writePid(const std::string& path, pid_t pid, uid_t owner, gid_t group) {
    if (!statefolder::writePidFile(path, pid, owner, group))
        logLine(LOG_WARNING, "cannot write %s: %s", path.c_str(), strerror(errno));
}

}  // namespace

int main(int argc, char** argv) {
    nutconf::CommandLine line;
    const int status = nutconf::readCommandLine(argc, argv, QXUPS_VERSION, line);
    if (status >= 0) return status;
    const std::string& ups = line.ups;
    const std::string& user = line.user;
    const bool foreground = line.foreground;
    const int debug = line.debug;
    const std::string& statePath = line.statePath;
    Settings& settings = line.settings;

    // Started as root, the driver runs as the user; as anyone else, as itself.
    struct passwd* account = nullptr;
    if (geteuid() == 0) {
        account = getpwnam(user.c_str());
        if (account == nullptr) {
            fprintf(stderr, "%s: no user %s to run as (-u, or user in ups.conf)\n", kName,
                    user.c_str());
            return kUsage;
        }
        if (account->pw_uid == 0) account = nullptr;  // root stays root
    }

    openlog(kName, LOG_PID | (foreground ? LOG_PERROR : 0), LOG_DAEMON);
    setlogmask(debug > 0 ? LOG_UPTO(LOG_DEBUG) : LOG_UPTO(LOG_INFO));

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGQUIT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGHUP, SIG_IGN);

    nutdriver::Driver driver(settings, dataFolder());
    const std::string socketPath = statePath + "/" + kName + "-" + ups;
    const std::string pidPath = socketPath + ".pid";
    // The running driver keeps the port (exclusive): taking its socket and
    // pid file would leave upsd with a driver that never reads the module.
    const pid_t running = statefolder::livePid(pidPath);
    if (running != 0 || nutsock::answers(socketPath)) {
        const std::string who = running != 0 ? " (pid " + std::to_string(running) + ")" : "";
        fprintf(
            stderr,
            "%s: a driver for [%s] is already running%s on %s; stop it first (upsdrvctl stop %s)\n",
            kName, ups.c_str(), who.c_str(), socketPath.c_str(), ups.c_str());
        return kUsage;
    }
    const uid_t owner = account != nullptr ? account->pw_uid : static_cast<uid_t>(-1);
    const gid_t group = account != nullptr ? account->pw_gid : static_cast<gid_t>(-1);
    if (!driver.server().listenAt(socketPath, owner, group)) {
        fprintf(stderr, "%s: cannot serve the driver socket %s: %s\n", kName, socketPath.c_str(),
                errno == EEXIST ? "something other than this driver's socket is there"
                                : strerror(errno));
        return kUsage;
    }
    driver.publishFixed();

    // The socket serves: upsdrvctl may go on. The device library starts its
    // threads at the first open, so the fork comes before it.
    if (!foreground) {
        fflush(nullptr);
        const pid_t pid = fork();
        if (pid < 0) {
            fprintf(stderr, "%s: cannot go to the background: %s\n", kName, strerror(errno));
            return kUsage;
        }
        if (pid > 0) {
            // Written before upsdrvctl goes on, so that it always finds it.
            writePid(pidPath, pid, owner, group);
            _exit(0);
        }
        setsid();
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, STDIN_FILENO);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            if (null > STDERR_FILENO) close(null);
        }
    }
    if (foreground) writePid(pidPath, getpid(), owner, group);
    logLine(LOG_INFO, "serving %s for [%s] on %s", socketPath.c_str(), ups.c_str(),
            settings.port.c_str());

    // The port is opened with the privileges the driver was started with;
    // reopening it after a line loss needs the user's own access (dialout).
    driver.openFirst();
    if (account != nullptr && !becomeUser(account)) {
        statefolder::removePidFile(pidPath, getpid());
        return kUsage;
    }
    driver.run(g_stop);
    statefolder::removePidFile(pidPath, getpid());
    logLine(LOG_INFO, "stopped");
    return 0;
}
