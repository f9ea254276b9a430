// Millisecond tick, sleeps and the 10 ms periodic wake-up (timerfd).
#include <errno.h>
#include <stdint.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "../platform.h"

namespace ups {
namespace plat {

static std::atomic<uint32_t> g_tickOffset{0};

uint32_t tickMs() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t ms = (uint64_t)now.tv_sec * 1000u + (uint64_t)now.tv_nsec / 1000000u;
    return (uint32_t)ms + g_tickOffset.load(std::memory_order_relaxed);
}

void setTickOffset(uint32_t offsetMs) {
    g_tickOffset.store(offsetMs, std::memory_order_relaxed);
}

void sleepMs(uint32_t ms) {
    struct timespec left;
    left.tv_sec = ms / 1000;
    left.tv_nsec = (long)(ms % 1000) * 1000000L;
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

uint64_t monotonicUs() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (uint64_t)now.tv_sec * 1000000u + (uint64_t)now.tv_nsec / 1000u;
}

void sleepUs(uint32_t us) {
    struct timespec left;
    left.tv_sec = us / 1000000;
    left.tv_nsec = (long)(us % 1000000) * 1000L;
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

uint32_t timerResolution(uint32_t minPeriodMs, uint32_t maxPeriodMs) {
    uint32_t resolution = minPeriodMs > 5 ? minPeriodMs : 5;
    return resolution < maxPeriodMs ? resolution : maxPeriodMs;
}

bool timerCaps(uint32_t* minPeriodMs, uint32_t* maxPeriodMs) {
    struct timespec res;
    if (clock_getres(CLOCK_MONOTONIC, &res) != 0) return false;
    uint64_t ns = (uint64_t)res.tv_sec * 1000000000u + (uint64_t)res.tv_nsec;
    uint64_t ms = (ns + 999999u) / 1000000u;
    *minPeriodMs = ms == 0 ? 1 : (uint32_t)ms;
    *maxPeriodMs = 1000000;
    return true;
}

bool periodicStart(PeriodicTimer* timer) {
    int fd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    if (fd < 0) return false;
    timer->fd = fd;
    return true;
}

static bool periodicSet(PeriodicTimer* timer, uint64_t firstNs, uint64_t periodNs) {
    if (timer->fd < 0) return false;
    struct itimerspec spec;
    spec.it_value.tv_sec = firstNs / 1000000000u;
    spec.it_value.tv_nsec = (long)(firstNs % 1000000000u);
    spec.it_interval.tv_sec = periodNs / 1000000000u;
    spec.it_interval.tv_nsec = (long)(periodNs % 1000000000u);
    return timerfd_settime(timer->fd, 0, &spec, nullptr) == 0;
}

bool periodicArm(PeriodicTimer* timer, uint32_t periodMs) {
    uint64_t ns = (uint64_t)periodMs * 1000000u;
    return periodicSet(timer, ns, ns);
}

bool periodicDisarm(PeriodicTimer* timer) {
    return periodicSet(timer, 0, 0);
}

bool periodicWakeNow(PeriodicTimer* timer) {
    return periodicSet(timer, 1, 0);  // 1 ns, once
}

bool periodicWait(PeriodicTimer* timer) {
    uint64_t expirations = 0;
    for (;;) {
        ssize_t n = read(timer->fd, &expirations, sizeof expirations);
        if (n == (ssize_t)sizeof expirations) return true;
        if (n < 0 && errno == EINTR) continue;
        return false;
    }
}

void periodicStop(PeriodicTimer* timer) {
    if (timer->fd >= 0) close(timer->fd);
    timer->fd = -1;
}

}  // namespace plat
}  // namespace ups
