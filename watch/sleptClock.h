// The caller's sleep clock on POSIX systems, for LineWatch's sleep rule.
#pragma once

#include <stdint.h>
#include <time.h>

namespace qxwatch {

// CLOCK_MONOTONIC stops while the system is suspended, CLOCK_BOOTTIME does
// not: their difference, in ms, grows by the time spent asleep. The rules
// themselves read no clock; the front ends pass this in.
inline int64_t systemSleptMs() {
    struct timespec boot;
    struct timespec mono;
    clock_gettime(CLOCK_BOOTTIME, &boot);
    clock_gettime(CLOCK_MONOTONIC, &mono);
    return (static_cast<int64_t>(boot.tv_sec) - mono.tv_sec) * 1000 +
           (static_cast<int64_t>(boot.tv_nsec) - mono.tv_nsec) / 1000000;
}

}  // namespace qxwatch
