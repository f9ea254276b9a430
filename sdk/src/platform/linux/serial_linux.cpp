// Serial device on Linux: exclusive open, raw line settings through termios2
// (any baud rate, 76800 included), byte reads and writes with deadlines.
//
// <asm/termbits.h> and the libc <termios.h> cannot be included together, so
// this file speaks to the tty layer through ioctl alone.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <asm-generic/termios.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include "../platform.h"
#include "serial_settings_linux.h"
#include "QXUPSPorts.h"

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace ups {
namespace plat {

// Unix98 pseudo-terminal slaves: the kernel keeps them at 8 data bits without
// parity and may refuse a change it cannot apply; such a line has no wire.
static bool isPseudoTerminal(int file) {
    struct stat st;
    if (fstat(file, &st) != 0) return false;
    unsigned maj = major(st.st_rdev);
    return S_ISCHR(st.st_mode) && maj >= 136 && maj <= 143;
}

static uint32_t elapsedSince(const struct timespec& start) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    int64_t ms =
        (int64_t)(now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
    return ms < 0 ? 0 : (uint32_t)ms;
}

ResultCode serialOpen(uint8_t portNumber, int* file) {
    *file = kNoFile;
    char path[256];
    if (!QXUPS_PortDevicePath(portNumber, path, sizeof path)) return PortError;
    int fd = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return PortError;
    if (!isatty(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
        close(fd);
        return PortError;
    }
    *file = fd;
    return Success;
}

ResultCode computeSerialSettings(const struct termios2& current, bool pseudoTerminal, uint32_t baud,
                                 uint32_t dataBits, int32_t parity, uint32_t stopBits,
                                 SerialSettings* out) {
    if (dataBits != 7 && dataBits != 8) return InvalidArgument;
    if (parity != ParityOdd && parity != ParityEven && parity != ParityNone) {
        return InvalidArgument;
    }
    if (stopBits != 1 && stopBits != 2) return InvalidArgument;
    if (baud == 0) return InvalidArgument;

    struct termios2 tio = current;
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                     IXANY | INPCK | IGNPAR);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    tio.c_cflag &= ~HUPCL;
    if (!pseudoTerminal) {
        tio.c_cflag |= dataBits == 7 ? CS7 : CS8;
        if (parity != ParityNone) {
            tio.c_cflag |= PARENB;
            tio.c_iflag |= INPCK;
            if (parity == ParityOdd) tio.c_cflag |= PARODD;
        }
    } else {
        tio.c_cflag |= CS8;
    }
    if (stopBits == 2) tio.c_cflag |= CSTOPB;
    tio.c_ispeed = baud;
    tio.c_ospeed = baud;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    out->tio = tio;
    // Handshake lines stay low: no DTR or RTS control.
    out->linesToLower = pseudoTerminal ? 0 : TIOCM_DTR | TIOCM_RTS;
    return Success;
}

static int systemControl(int file, unsigned long request, void* arg) {
    return ioctl(file, request, arg) == 0 ? 0 : -1;
}

const SerialControl kSystemSerialControl = {systemControl, isPseudoTerminal};

ResultCode applySerialSettings(int file, const SerialControl& control, uint32_t baud,
                               uint32_t dataBits, int32_t parity, uint32_t stopBits) {
    struct termios2 current;
    if (control.control(file, TCGETS2, &current) != 0) return PortError;
    bool pty = control.isPseudoTerminal(file);
    SerialSettings settings;
    ResultCode rc =
        computeSerialSettings(current, pty, baud, dataBits, parity, stopBits, &settings);
    if (rc != Success) return rc;
    if (control.control(file, TCSETS2, &settings.tio) != 0 && !pty) return PortError;
    // Best effort: an adapter without modem lines refuses this, and its line
    // works all the same.
    if (settings.linesToLower != 0) control.control(file, TIOCMBIC, &settings.linesToLower);
    return Success;
}

ResultCode serialConfigure(int file, uint32_t baud, uint32_t dataBits, int32_t parity,
                           uint32_t stopBits) {
    return applySerialSettings(file, kSystemSerialControl, baud, dataBits, parity, stopBits);
}

int serialRead(int file, uint8_t* buf, size_t capacity, uint32_t timeoutMs) {
    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        uint32_t spent = elapsedSince(start);
        if (spent >= timeoutMs) return 0;
        struct pollfd pfd = {file, POLLIN, 0};
        int rc = poll(&pfd, 1, (int)(timeoutMs - spent));
        if (rc < 0 && errno == EINTR) continue;
        if (rc == 0) return 0;
        if (rc > 0 && (pfd.revents & POLLIN) != 0) {
            ssize_t n = read(file, buf, capacity);
            if (n > 0) return (int)n;
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        }
        // A hung-up or failing line answers poll at once; wait out the time-out
        // so that the caller's loop does not spin.
        spent = elapsedSince(start);
        if (spent < timeoutMs) sleepMs(timeoutMs - spent);
        return -1;
    }
}

int serialWrite(int file, const uint8_t* buf, size_t count, uint32_t timeoutMs) {
    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    size_t done = 0;
    while (done < count) {
        ssize_t n = write(file, buf + done, count - done);
        if (n > 0) {
            done += (size_t)n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return done > 0 ? (int)done : -1;
        uint32_t spent = elapsedSince(start);
        if (spent >= timeoutMs) break;
        struct pollfd pfd = {file, POLLOUT, 0};
        int rc = poll(&pfd, 1, (int)(timeoutMs - spent));
        if (rc < 0 && errno != EINTR) return done > 0 ? (int)done : -1;
        if (rc > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 &&
            (pfd.revents & POLLOUT) == 0) {
            return done > 0 ? (int)done : -1;
        }
    }
    return (int)done;
}

static bool queueCount(int file, unsigned long request, uint32_t* count) {
    int n = 0;
    if (ioctl(file, request, &n) != 0) return false;
    *count = n < 0 ? 0 : (uint32_t)n;
    return true;
}

bool serialInputQueue(int file, uint32_t* count) {
    return queueCount(file, TIOCINQ, count);
}

bool serialOutputQueue(int file, uint32_t* count) {
    return queueCount(file, TIOCOUTQ, count);
}

int serialReadAvailable(int file, uint8_t* buf, size_t count) {
    ssize_t n = read(file, buf, count);
    if (n < 0) return (errno == EAGAIN || errno == EINTR) ? 0 : -1;
    return (int)n;
}

void serialClose(int file) {
    if (file < 0) return;
    ioctl(file, TIOCNXCL);
    close(file);
}

}  // namespace plat
}  // namespace ups
