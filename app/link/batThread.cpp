#include "batThread.h"

#include "consolePrint.h"
#include "settingsStore.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// How often the waiting thread looks at the script between wake-ups.
const std::chrono::milliseconds kPollStep(20);

}  // namespace

batThread::batThread(QObject* parent) : QThread(parent) {}

batThread::~batThread() {
    stopScript();
}

void batThread::stopScript() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    wait();
    std::lock_guard<std::mutex> guard(m_lock);
    m_stop = false;
}

QString batThread::storedBatPath() {
    return settingsStore::batPath();
}

void batThread::run() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_stop) return;
    }
    consolePrint& console = consolePrint::instance();
    const QString batPath = storedBatPath();
    if (batPath.isEmpty()) return;
    const QFileInfo script(batPath);
    if (!script.isFile()) {
        const QString message = tr("Post-process script not found: %1").arg(batPath);
        console.printMsg(message);
        emit signalScriptEnded(message);
        return;
    }

    const QString path = script.absoluteFilePath();
    const long pid = spawnScript(path);
    if (pid <= 0) {
        const QString message = tr("Post-process script could not be started: %1").arg(path);
        console.printMsg(message);
        emit signalScriptEnded(message);
        return;
    }
    ++m_started;
    const QString started = tr("Post-process script started: %1").arg(path);
    console.printMsg(started);
    emit signalScriptStarted(started);
    int status = -1;
    const WaitOutcome outcome = waitForScript(pid, &status);
    if (outcome != kEnded) {
        // Time-out or stop: end the whole group while the leader is still
        // unreaped, so that the group id cannot have been handed out again.
        ::kill(-static_cast<pid_t>(pid), SIGKILL);
        int ignored = 0;
        while (::waitpid(static_cast<pid_t>(pid), &ignored, 0) < 0 && errno == EINTR) {
        }
    }
    QString ended;
    if (outcome == kTimeLimit) {
        ended = tr("Post-process script ended after %1 s (time limit).")
                    .arg(QString::number(m_timeLimitMs.load() / 1000.0));
    } else if (outcome == kStopped) {
        ended = tr("Post-process script ended as the program stops.");
    } else if (status >= 0 && WIFEXITED(status)) {
        ended = tr("Post-process script ended with exit status %1.").arg(WEXITSTATUS(status));
    } else if (status >= 0 && WIFSIGNALED(status)) {
        ended = tr("Post-process script ended by signal %1.").arg(WTERMSIG(status));
    } else {
        ended = tr("Post-process script ended.");
    }
    console.printMsg(ended);
    emit signalScriptEnded(ended);
}

long batThread::spawnScript(const QString& path) {
    const QByteArray file = QFile::encodeName(path);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    if (posix_spawn_file_actions_init(&actions) != 0) return -1;
    if (posix_spawnattr_init(&attr) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return -1;
    }
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // Its own process group, default signal dispositions and an empty mask,
    // whatever the program has set up for itself.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(
        &attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    // One program path, never split at blanks. A file the user may not
    // execute, or one the kernel cannot execute (a script without "#!"),
    // is handed to the shell.
    pid_t pid = -1;
    int rc = ENOEXEC;
    if (QFileInfo(path).isExecutable()) {
        char* argv[] = {const_cast<char*>(file.constData()), nullptr};
        rc = posix_spawn(&pid, file.constData(), &actions, &attr, argv, environ);
    }
    if (rc == ENOEXEC || rc == EACCES) {
        char shell[] = "/bin/sh";
        char* argv[] = {shell, const_cast<char*>(file.constData()), nullptr};
        rc = posix_spawn(&pid, shell, &actions, &attr, argv, environ);
    }

    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? static_cast<long>(pid) : -1;
}

batThread::WaitOutcome batThread::waitForScript(long pid, int* status) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(m_timeLimitMs.load());
    for (;;) {
        int waitStatus = 0;
        const pid_t done = ::waitpid(static_cast<pid_t>(pid), &waitStatus, WNOHANG);
        if (done == static_cast<pid_t>(pid)) {
            *status = waitStatus;
            return kEnded;
        }
        if (done < 0 && errno != EINTR) return kEnded;  // not ours to wait for any more

        std::unique_lock<std::mutex> guard(m_lock);
        if (m_stop) return kStopped;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return kTimeLimit;
        m_wake.wait_for(guard,
                        std::min<std::chrono::steady_clock::duration>(kPollStep, deadline - now));
        if (m_stop) return kStopped;
    }
}
