#include "line.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

namespace upssim {

int64_t monotonicUs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000000 + ts.tv_nsec / 1000;
}

int64_t characterTimeUs(uint32_t baud) {
    return baud == 0 ? 0 : (11000000 + baud / 2) / baud;
}

int64_t silentIntervalUs(uint32_t baud) {
    return baud > 19200 ? 1750 : (7 * characterTimeUs(baud) + 1) / 2;
}

namespace {

std::string errnoText(const std::string& what) {
    return what + ": " + strerror(errno);
}

}  // namespace

bool openPty(const std::string& link, PtyLine* line, std::string* error) {
    struct stat st;
    if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        *error = link + " exists and is not a symlink";
        return false;
    }
    PtyLine l;
    l.link = link;
    l.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (l.master < 0) {
        *error = errnoText("posix_openpt");
        return false;
    }
    char name[PATH_MAX];
    if (grantpt(l.master) != 0 || unlockpt(l.master) != 0 ||
        ptsname_r(l.master, name, sizeof name) != 0) {
        *error = errnoText("pseudo terminal");
        close(l.master);
        return false;
    }
    l.slavePath = name;
    l.slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    struct termios tio;
    if (l.slave < 0 || tcgetattr(l.slave, &tio) != 0) {
        *error = errnoText(l.slavePath);
        closePty(&l);
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(l.slave, TCSANOW, &tio) != 0) {
        *error = errnoText("raw mode on " + l.slavePath);
        closePty(&l);
        return false;
    }
    // Publish the link atomically: a temporary symlink renamed over the old one.
    std::string temporary = link + ".tmp" + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(l.slavePath.c_str(), temporary.c_str()) != 0 ||
        rename(temporary.c_str(), link.c_str()) != 0) {
        *error = errnoText("symlink " + link);
        unlink(temporary.c_str());
        l.link.clear();
        closePty(&l);
        return false;
    }
    int flags = fcntl(l.master, F_GETFL);
    fcntl(l.master, F_SETFL, flags | O_NONBLOCK);
    *line = l;
    return true;
}

void closePty(PtyLine* line) {
    if (!line->link.empty()) {
        char target[PATH_MAX];
        ssize_t n = readlink(line->link.c_str(), target, sizeof target - 1);
        if (n >= 0) {
            target[n] = '\0';
            if (line->slavePath == target)
                unlink(line->link.c_str());
        }
        line->link.clear();
    }
    if (line->slave >= 0)
        close(line->slave);
    if (line->master >= 0)
        close(line->master);
    line->slave = -1;
    line->master = -1;
}

int openSerialDevice(const std::string& path, uint32_t baud, int dataBits, char parity,
                     int stopBits, std::string* error) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = errnoText(path);
        return -1;
    }
    if (!isatty(fd)) {
        *error = path + " is not a terminal";
        close(fd);
        return -1;
    }
    if (!configureSerial(fd, baud, dataBits, parity, stopBits, error)) {
        close(fd);
        return -1;
    }
    tcflush(fd, TCIOFLUSH);
    return fd;
}

LineWriter::LineWriter(WriteFn write, uint32_t baud, bool pace)
    : write_(std::move(write)), charUs_(characterTimeUs(baud)), pace_(pace) {}

void LineWriter::send(const std::vector<Segment>& segments, int64_t startUs) {
    int64_t t = startUs;
    if (!queue_.empty() && pace_)
        t = std::max(t, queue_.back().dueUs + charUs_);
    for (const Segment& s : segments) {
        t += (int64_t)s.delayMs * 1000;
        for (uint8_t b : s.bytes) {
            queue_.push_back({t, b});
            if (pace_)
                t += charUs_;
        }
    }
}

void LineWriter::clear() {
    queue_.clear();
    blocked_ = false;
}

int64_t LineWriter::nextDueUs() const {
    return queue_.empty() || blocked_ ? INT64_MAX : queue_.front().dueUs;
}

bool LineWriter::service(int64_t nowUs) {
    blocked_ = false;
    while (!queue_.empty() && queue_.front().dueUs <= nowUs) {
        uint8_t buf[256];
        size_t n = 0;
        while (n < sizeof buf && n < queue_.size() && queue_[n].dueUs <= nowUs) {
            buf[n] = queue_[n].byte;
            ++n;
        }
        ssize_t done = write_(buf, n);
        if (done < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                blocked_ = errno != EINTR;
                return true;
            }
            return false;
        }
        queue_.erase(queue_.begin(), queue_.begin() + done);
        written_ += (uint64_t)done;
        if ((size_t)done < n) {
            blocked_ = true;
            return true;
        }
    }
    return true;
}

}  // namespace upssim
