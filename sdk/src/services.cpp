#include "services.h"

#include <stdlib.h>
#include <string.h>

#include "engine.h"
#include "port.h"

namespace ups {

plat::Lock openCloseLock;
plat::Lock stackLock;

namespace {

// Timer service state; all of it under the stackLock.
uint32_t g_running = 0;
plat::Thread g_timerThread;
plat::PeriodicTimer g_tick = {-1};
uint32_t g_resolution = 0;
bool g_abandonedThread = false;

TimerSlot g_timers[kTimerSlotCount];
EventSlot g_events[kEventSlotCount];
bool g_eventsReady = false;

void freeAllTimerSlots() {
    for (int i = 0; i < kTimerSlotCount; ++i) {
        memset(&g_timers[i], 0, sizeof g_timers[i]);
        g_timers[i].index = kFree;
    }
}

void initEventPool() {
    if (g_eventsReady) return;
    for (int i = 0; i < kEventSlotCount; ++i) {
        memset(&g_events[i], 0, sizeof g_events[i]);
        g_events[i].index = kFree;
    }
    g_eventsReady = true;
}

void* timerThreadMain(void*) {
    plat::raiseThreadPriority();
    takeStackLock();
    plat::PeriodicTimer tick = g_tick;
    giveStackLock();
    for (;;) {
        if (!plat::periodicWait(&tick)) {
            // A wake-up that fails at once would spin at real-time priority:
            // sleep one period instead and start a fresh periodic timer.
            plat::sleepMs(kTimerPeriodMs);
            takeStackLock();
            plat::periodicStop(&tick);
            plat::periodicStart(&tick, kTimerPeriodMs);  // on failure: tried again next round
            g_tick = tick;
            giveStackLock();
        }
        takeStackLock();
        for (int i = 0; i < kTimerSlotCount; ++i) {
            TimerSlot* slot = &g_timers[i];
            if (slot->index == kFree || slot->armed == 0) continue;
            uint32_t elapsed = plat::tickMs() - slot->startTick;
            if (elapsed >= slot->timeoutMs) {
                slot->armed = 0;
                if (slot->callback != nullptr) slot->callback(slot->user);
            }
        }
        uint32_t running = g_running;
        giveStackLock();
        if (running != 1) break;
    }
    takeStackLock();
    plat::periodicStop(&tick);
    if (g_tick.fd == tick.fd) {
        g_tick.fd = -1;
        g_resolution = 0;
    }
    giveStackLock();
    return nullptr;
}

}  // namespace

void libraryLoad() {
    plat::lockCreate(&openCloseLock);
    plat::lockCreate(&stackLock);
    createRequestLocks();
    // Defaults for a Modbus log that neither this library nor the program
    // writes; they are inherited by the processes the program starts.
    setenv("MODBUS_LOGFILE", "d:\\debug.log", 0);
    setenv("MODBUS_LOGMODULES", "0xFFFF", 0);
    setenv("MODBUS_LOGLEVELS", "4", 0);
}

void libraryUnload() {
    // A thread that is still alive may still take the locks; keep them then.
    if (g_timerThread.valid != 0 || g_abandonedThread || anyPortThread()) return;
    plat::lockDestroy(&openCloseLock);
    plat::lockDestroy(&stackLock);
    destroyRequestLocks();
}

__attribute__((constructor)) static void onLibraryLoad() {
    libraryLoad();
}
__attribute__((destructor)) static void onLibraryUnload() {
    libraryUnload();
}

bool startTimerService() {
    takeStackLock();
    if (g_running == 1) {
        giveStackLock();
        return true;
    }
    freeAllTimerSlots();
    uint32_t minPeriod = 0;
    uint32_t maxPeriod = 0;
    bool ok = plat::timerCaps(&minPeriod, &maxPeriod);
    if (ok) {
        g_resolution = plat::timerResolution(minPeriod, maxPeriod);
        // An earlier timer thread that was joined without being forgotten.
        if (g_timerThread.valid != 0 && !plat::threadJoin(&g_timerThread, 0)) {
            plat::threadAbandon(&g_timerThread);
            g_abandonedThread = true;
        }
        ok = plat::periodicStart(&g_tick, kTimerPeriodMs);
        if (ok) {
            ok = plat::threadStart(&g_timerThread, timerThreadMain, nullptr, 16 * 1024);
            if (!ok) plat::periodicStop(&g_tick);
        }
        if (!ok) g_resolution = 0;
    }
    if (ok) g_running = 1;
    giveStackLock();
    return ok;
}

bool timerServiceRunning() {
    takeStackLock();
    bool running = g_running == 1;
    giveStackLock();
    return running;
}

uint32_t timerServiceResolution() {
    takeStackLock();
    uint32_t resolution = g_resolution;
    giveStackLock();
    return resolution;
}

void stopTimerService() {
    takeStackLock();
    g_running = 0;
    giveStackLock();
    // The thread sees the flag on its next tick. Only this function, under the
    // openCloseLock, touches the thread handle while the service stops.
    if (g_timerThread.valid != 0 && !plat::threadJoin(&g_timerThread, 5000)) {
        plat::threadAbandon(&g_timerThread);
        g_abandonedThread = true;
    }
    takeStackLock();
    freeAllTimerSlots();
    giveStackLock();
}

bool isTimerSlot(const TimerSlot* slot) {
    if (slot == nullptr) return false;
    uint8_t index = slot->index;
    return index < kTimerSlotCount && slot == &g_timers[index];
}

TimerSlot* takeTimerSlot(uint16_t timeoutMs, TimerCallback callback, MasterInstance* user) {
    TimerSlot* found = nullptr;
    takeStackLock();
    for (int i = 0; i < kTimerSlotCount && found == nullptr; ++i) {
        if (g_timers[i].index != kFree) continue;
        found = &g_timers[i];
        memset(found, 0, sizeof *found);
        found->index = (uint8_t)i;
        found->timeoutMs = timeoutMs;
        found->callback = callback;
        found->user = user;
    }
    giveStackLock();
    return found;
}

ResultCode startTimer(TimerSlot* slot) {
    takeStackLock();
    ResultCode rc = InvalidArgument;
    if (isTimerSlot(slot)) {
        slot->startTick = plat::tickMs();
        slot->armed = 1;
        rc = Success;
    }
    giveStackLock();
    return rc;
}

ResultCode stopTimer(TimerSlot* slot) {
    takeStackLock();
    ResultCode rc = InvalidArgument;
    if (isTimerSlot(slot)) {
        slot->startTick = 0;
        slot->armed = 0;
        rc = Success;
    }
    giveStackLock();
    return rc;
}

ResultCode setTimerTimeout(TimerSlot* slot, uint16_t timeoutMs) {
    takeStackLock();
    ResultCode rc = InvalidArgument;
    if (isTimerSlot(slot)) {
        slot->timeoutMs = timeoutMs;
        rc = Success;
    }
    giveStackLock();
    return rc;
}

void freeTimerSlot(TimerSlot* slot) {
    takeStackLock();
    if (isTimerSlot(slot)) {
        memset(slot, 0, sizeof *slot);
        slot->index = kFree;
    }
    giveStackLock();
}

bool isEventSlot(const EventSlot* slot) {
    if (slot == nullptr) return false;
    uint8_t index = slot->index;
    return index < kEventSlotCount && slot == &g_events[index];
}

EventSlot* takeEventSlot() {
    EventSlot* found = nullptr;
    takeStackLock();
    initEventPool();
    for (int i = 0; i < kEventSlotCount && found == nullptr; ++i) {
        if (g_events[i].index != kFree) continue;
        EventSlot* slot = &g_events[i];
        if (!plat::eventCreate(&slot->event)) break;
        slot->index = (uint8_t)i;
        slot->code = 0;
        slot->posted = 0;
        found = slot;
    }
    giveStackLock();
    return found;
}

ResultCode postCompletion(EventSlot* slot, uint8_t code) {
    takeStackLock();
    ResultCode rc = InvalidArgument;
    if (isEventSlot(slot)) {
        rc = PortError;
        if (plat::eventSignal(&slot->event)) {
            slot->code = code;
            slot->posted = 1;
            rc = Success;
        }
    }
    giveStackLock();
    return rc;
}

bool takeCompletion(EventSlot* slot, uint8_t* code) {
    takeStackLock();
    bool posted = false;
    if (isEventSlot(slot) && slot->posted != 0) {
        *code = slot->code;
        slot->posted = 0;
        posted = true;
    }
    giveStackLock();
    return posted;
}

void freeEventSlot(EventSlot* slot) {
    takeStackLock();
    if (isEventSlot(slot)) {
        plat::eventClose(&slot->event);
        memset(slot, 0, sizeof *slot);
        slot->index = kFree;
    }
    giveStackLock();
}

void globalShutdown() {
    stopTimerService();
    stopPortThreads();
}

}  // namespace ups
