// The pid file in NUT's state folder, written so that a planted link is never followed.
#include "stateFolder.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace statefolder {

namespace {

// The pid a regular file at path holds, 0 when there is none.
pid_t readPid(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return 0;
    struct stat st;
    char text[32] = {};
    ssize_t n = 0;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n <= 0) return 0;
    text[n] = '\0';
    char* end = nullptr;
    const long pid = strtol(text, &end, 10);
    if (end == text || (*end != '\n' && *end != '\0') || pid <= 0 || pid > 0x3fffffff) return 0;
    return static_cast<pid_t>(pid);
}

}  // namespace

pid_t livePid(const std::string& pidPath) {
    const pid_t pid = readPid(pidPath);
    if (pid <= 1 || pid == getpid()) return 0;
    // EPERM: alive, under another user.
    if (kill(pid, 0) != 0 && errno != EPERM) return 0;
    // A pid reused by another program after a crash does not keep the driver
    // from starting: only a qxups-nut counts.
    char commPath[64];
    snprintf(commPath, sizeof commPath, "/proc/%ld/comm", static_cast<long>(pid));
    const int comm = open(commPath, O_RDONLY | O_CLOEXEC);
    if (comm < 0) return 0;
    char name[32] = {};
    const ssize_t n = read(comm, name, sizeof name - 1);
    close(comm);
    return n > 0 && strncmp(name, "qxups-nut", 9) == 0 ? pid : 0;
}

bool writePidFile(const std::string& pidPath, pid_t pid, uid_t owner, gid_t group) {
    std::vector<char> temporary(pidPath.begin(), pidPath.end());
    const char suffix[] = ".XXXXXX";
    temporary.insert(temporary.end(), suffix, suffix + sizeof suffix);
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);  // O_EXCL: a new file or nothing
    if (fd < 0) return false;
    char text[32];
    const int length = snprintf(text, sizeof text, "%ld\n", static_cast<long>(pid));
    bool ok = write(fd, text, static_cast<size_t>(length)) == length && fchmod(fd, 0644) == 0;
    // The user the driver becomes must be able to replace it.
    if (ok && owner != static_cast<uid_t>(-1)) ok = fchown(fd, owner, group) == 0;
    if (close(fd) != 0) ok = false;
    if (ok) ok = rename(temporary.data(), pidPath.c_str()) == 0;
    if (!ok) {
        const int saved = errno;
        unlink(temporary.data());
        errno = saved;
    }
    return ok;
}

void removePidFile(const std::string& pidPath, pid_t pid) {
    if (readPid(pidPath) == pid) unlink(pidPath.c_str());
}

}  // namespace statefolder
