// The driver's files in NUT's state folder, which the nut account can write: no link is followed
// there.
#include "stateFiles.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace stateFiles {

namespace {

bool answersAt(const std::string& path) {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return false;
    memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool live = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return live;
}

// The pid in the file when that process is a qxups-nut; a pid reused by
// another program after a crash does not keep the driver from starting.
pid_t pidOfFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return 0;
    char text[32] = {};
    const ssize_t got = read(fd, text, sizeof text - 1);
    close(fd);
    if (got <= 0) return 0;
    char* end = nullptr;
    const long pid = strtol(text, &end, 10);
    if (pid <= 1 || pid == static_cast<long>(getpid()) || (*end != '\n' && *end != '\0')) return 0;
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) return 0;
    char commPath[64];
    snprintf(commPath, sizeof commPath, "/proc/%ld/comm", pid);
    const int comm = open(commPath, O_RDONLY | O_CLOEXEC);
    if (comm < 0) return 0;
    char name[32] = {};
    const ssize_t n = read(comm, name, sizeof name - 1);
    close(comm);
    return n > 0 && strncmp(name, "qxups-nut", 9) == 0 ? static_cast<pid_t>(pid) : 0;
}

}  // namespace

pid_t liveDriver(const std::string& socketPath, const std::string& pidPath) {
    const pid_t fromFile = pidOfFile(pidPath);
    if (fromFile != 0) return fromFile;
    // A driver whose pid file was lost still answers on its socket.
    return answersAt(socketPath) ? -1 : 0;
}

bool writePidFile(const std::string& path, pid_t pid, const struct passwd* account) {
    std::string temporary = path + ".XXXXXX";
    // mkstemp creates with O_EXCL, which never follows a link.
    const int fd = mkstemp(&temporary[0]);
    if (fd < 0) return false;
    char text[32];
    const int length = snprintf(text, sizeof text, "%ld\n", static_cast<long>(pid));
    bool ok = write(fd, text, static_cast<size_t>(length)) == length && fchmod(fd, 0644) == 0;
    // The user the driver becomes must be able to remove it.
    if (ok && account != nullptr) ok = fchown(fd, account->pw_uid, account->pw_gid) == 0;
    const int saved = errno;
    if (close(fd) != 0 && ok) ok = false;
    if (ok && rename(temporary.c_str(), path.c_str()) == 0) return true;
    const int failed = ok ? errno : saved;
    unlink(temporary.c_str());
    errno = failed;
    return false;
}

bool handSocket(const std::string& path, const struct passwd* account) {
    if (account == nullptr) return true;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return false;
    if (!S_ISSOCK(st.st_mode)) {
        errno = EEXIST;
        return false;
    }
    // lchown: should the socket be swapped for a link meanwhile, only the link changes owner.
    return lchown(path.c_str(), account->pw_uid, account->pw_gid) == 0;
}

}  // namespace stateFiles
