// Millisecond tick and microsecond clock from QueryPerformanceCounter, sleeps,
// and the 10 ms periodic wake-up on an auto-reset waitable timer. While the
// timer exists the system timer runs at the finest period the multimedia timer
// offers, so that sleeps and periods are not rounded up to 15.6 ms.
#include <windows.h>
#include <mmsystem.h>

#include <atomic>

#include "../platform.h"

namespace ups {
namespace plat {

static std::atomic<uint32_t> g_tickOffset{0};
static std::atomic<uint32_t> g_timerPeriodBegun{0};

static uint64_t counterFrequency() {
    static const uint64_t frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return (uint64_t)f.QuadPart;
    }();
    return frequency;
}

static uint64_t counterNow() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (uint64_t)now.QuadPart;
}

uint64_t monotonicUs() {
    uint64_t ticks = counterNow();
    uint64_t f = counterFrequency();
    return ticks / f * 1000000u + ticks % f * 1000000u / f;
}

uint32_t tickMs() {
    return (uint32_t)(monotonicUs() / 1000u) + g_tickOffset.load(std::memory_order_relaxed);
}

void setTickOffset(uint32_t offsetMs) {
    g_tickOffset.store(offsetMs, std::memory_order_relaxed);
}

void sleepMs(uint32_t ms) {
    Sleep(ms);
}

void sleepUs(uint32_t us) {
    // Sleep covers the whole milliseconds; the rest is waited out yielding.
    uint64_t end = monotonicUs() + us;
    if (us >= 2000) Sleep(us / 1000 - 1);
    while (monotonicUs() < end) {
        SwitchToThread();
    }
}

uint32_t timerResolution(uint32_t minPeriodMs, uint32_t maxPeriodMs) {
    uint32_t resolution = minPeriodMs > 5 ? minPeriodMs : 5;
    return resolution < maxPeriodMs ? resolution : maxPeriodMs;
}

bool timerCaps(uint32_t* minPeriodMs, uint32_t* maxPeriodMs) {
    TIMECAPS caps;
    if (timeGetDevCaps(&caps, sizeof caps) != MMSYSERR_NOERROR) return false;
    *minPeriodMs = caps.wPeriodMin == 0 ? 1 : caps.wPeriodMin;
    *maxPeriodMs = caps.wPeriodMax;
    return true;
}

static HANDLE timerHandleOf(const PeriodicTimer* timer) {
    return LongToHandle(timer->fd);
}

bool periodicStart(PeriodicTimer* timer) {
    HANDLE handle = CreateWaitableTimerW(nullptr, FALSE, nullptr);
    if (handle == nullptr) return false;
    // Kernel handles carry 32 significant bits: the timer's handle fits fd.
    timer->fd = HandleToLong(handle);
    uint32_t minPeriod = 0;
    uint32_t maxPeriod = 0;
    if (g_timerPeriodBegun.load() == 0 && timerCaps(&minPeriod, &maxPeriod) &&
        timeBeginPeriod(minPeriod) == TIMERR_NOERROR) {
        g_timerPeriodBegun.store(minPeriod);
    }
    return true;
}

static bool periodicSet(PeriodicTimer* timer, int64_t firstUs, uint32_t periodMs) {
    if (timer->fd < 0) return false;
    LARGE_INTEGER due;
    due.QuadPart = -firstUs * 10;  // relative, in 100 ns units
    return SetWaitableTimer(timerHandleOf(timer), &due, (LONG)periodMs, nullptr, nullptr, FALSE) !=
           0;
}

bool periodicArm(PeriodicTimer* timer, uint32_t periodMs) {
    return periodicSet(timer, (int64_t)periodMs * 1000, periodMs);
}

bool periodicDisarm(PeriodicTimer* timer) {
    if (timer->fd < 0) return false;
    return CancelWaitableTimer(timerHandleOf(timer)) != 0;
}

bool periodicWakeNow(PeriodicTimer* timer) {
    return periodicSet(timer, 0, 0);  // due at once, once
}

bool periodicWait(PeriodicTimer* timer) {
    if (timer->fd < 0) return false;
    return WaitForSingleObject(timerHandleOf(timer), INFINITE) == WAIT_OBJECT_0;
}

void periodicStop(PeriodicTimer* timer) {
    if (timer->fd >= 0) CloseHandle(timerHandleOf(timer));
    timer->fd = -1;
    uint32_t period = g_timerPeriodBegun.exchange(0);
    if (period != 0) timeEndPeriod(period);
}

}  // namespace plat
}  // namespace ups
