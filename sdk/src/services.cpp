#include "services.h"

#include <stdlib.h>
#include <string.h>

#include "engine.h"
#include "port.h"

namespace ups {

plat::Lock openCloseLock;
plat::Lock stackLock;

namespace {

// Under the stackLock: its nesting depth and the events to signal once it is
// given up (each event at most once; the pools hold 16 events in all).
const int kPendingSignals = 16;
uint32_t g_stackDepth = 0;
plat::Event* g_pendingSignals[kPendingSignals];
int g_pendingCount = 0;

// Timer service state; all of it under the stackLock.
uint32_t g_running = 0;
plat::Thread g_timerThread;
plat::PeriodicTimer g_tick = {-1};
bool g_tickArmed = false;
uint32_t g_resolution = 0;

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

// The tick runs only while a timer slot is armed: an idle library sleeps.
// Both helpers run under the stackLock.
void armTick() {
    if (!g_tickArmed && g_tick.fd >= 0 && plat::periodicArm(&g_tick, kTimerPeriodMs)) {
        g_tickArmed = true;
    }
}

void disarmTickWhenIdle() {
    if (!g_tickArmed) return;
    for (int i = 0; i < kTimerSlotCount; ++i) {
        const TimerSlot& slot = g_timers[i];
        if (slot.index != kFree && slot.armed != 0 && slot.watched == 0) return;
    }
    if (plat::periodicDisarm(&g_tick)) g_tickArmed = false;
}

void* timerThreadMain(void*) {
    plat::raiseThreadPriority();
    plat::PeriodicTimer tick = {-1};
    for (;;) {
        takeStackLock();
        tick = g_tick;
        giveStackLock();
        if (!plat::periodicWait(&tick)) {
            // A wake-up that fails at once would spin at real-time priority:
            // sleep one period instead and start a fresh periodic timer.
            plat::sleepMs(kTimerPeriodMs);
            takeStackLock();
            plat::periodicStop(&g_tick);
            plat::periodicStart(&g_tick);  // on failure: tried again next round
            if (g_tickArmed) {
                g_tickArmed = false;
                armTick();
            }
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
        disarmTickWhenIdle();
        uint32_t running = g_running;
        giveStackLock();
        if (running != 1) break;
    }
    takeStackLock();
    // The tick is this thread's own: no service starts again before the stop
    // has joined this thread. The copy needs no closing: it is g_tick, or one
    // that a failed wake-up closed and replaced.
    plat::periodicStop(&g_tick);
    g_tickArmed = false;
    g_resolution = 0;
    giveStackLock();
    return nullptr;
}

}  // namespace

void takeStackLock() {
    plat::lockTake(&stackLock);
    ++g_stackDepth;
}

void giveStackLock() {
    plat::Event* signals[kPendingSignals];
    int count = 0;
    if (g_stackDepth == 1) {
        count = g_pendingCount;
        for (int i = 0; i < count; ++i)
            signals[i] = g_pendingSignals[i];
        g_pendingCount = 0;
    }
    --g_stackDepth;
    plat::lockGive(&stackLock);
    // The events live in the static pools and their owners close them but never
    // wipe them, so one closed meanwhile only refuses the signal (or, created
    // again for a new owner, wakes it once for nothing).
    for (int i = 0; i < count; ++i)
        plat::eventSignal(signals[i]);
}

bool signalAfterStackLock(plat::Event* event) {
    if (__atomic_load_n(&event->valid, __ATOMIC_SEQ_CST) == 0) return false;
    for (int i = 0; i < g_pendingCount; ++i) {
        if (g_pendingSignals[i] == event) return true;
    }
    if (g_pendingCount == kPendingSignals) return plat::eventSignal(event);  // never: 16 events
    g_pendingSignals[g_pendingCount++] = event;
    return true;
}

void libraryLoad() {
    plat::lockCreate(&openCloseLock);
    plat::lockCreate(&stackLock);
    createRequestLocks();
    // Defaults for a Modbus log that neither this library nor the program
    // writes; they are inherited by the processes the program starts.
    plat::envSetDefault("MODBUS_LOGFILE", "d:\\debug.log");
    plat::envSetDefault("MODBUS_LOGMODULES", "0xFFFF");
    plat::envSetDefault("MODBUS_LOGLEVELS", "4");
}

void libraryUnload() {
    // A thread that is still alive may still take the locks; keep them then.
    if (g_timerThread.valid != 0 || anyPortThread()) return;
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
        // The thread of an earlier service was joined when it stopped.
        // Started disarmed: the first armed timer slot starts the tick.
        g_tickArmed = false;
        ok = plat::periodicStart(&g_tick);
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
    // The thread may sleep untimed on a disarmed tick: wake it to see the flag.
    plat::periodicWakeNow(&g_tick);
    giveStackLock();
    // The thread sees the flag once woken. Only this function, under the
    // openCloseLock, touches the thread handle while the service stops.
    // Waited for however long it takes: a thread left running after the last
    // close would run on in a library that its host may unload. Its waits all
    // end (the wake-up above, a stackLock that nobody holds while waiting), so
    // this returns as soon as it gets the processor, even on a stalled machine.
    plat::threadJoin(&g_timerThread, plat::kWaitForever);
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
        if (slot->watched == 0) armTick();
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
        disarmTickWhenIdle();
        rc = Success;
    }
    giveStackLock();
    return rc;
}

void watchTimers(MasterInstance* user, bool watched) {
    takeStackLock();
    bool startTick = false;
    for (int i = 0; i < kTimerSlotCount; ++i) {
        TimerSlot* slot = &g_timers[i];
        if (slot->index == kFree || slot->user != user) continue;
        slot->watched = watched ? 1 : 0;
        if (!watched && slot->armed != 0) startTick = true;
    }
    if (startTick) armTick();
    giveStackLock();
}

uint32_t nextTimerDueMs(MasterInstance* user) {
    takeStackLock();
    uint32_t next = plat::kWaitForever;
    for (int i = 0; i < kTimerSlotCount; ++i) {
        const TimerSlot* slot = &g_timers[i];
        if (slot->index == kFree || slot->user != user || slot->armed == 0) continue;
        uint32_t elapsed = plat::tickMs() - slot->startTick;
        uint32_t left = elapsed < slot->timeoutMs ? slot->timeoutMs - elapsed : 0;
        if (left < next) next = left;
    }
    giveStackLock();
    return next;
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
        if (signalAfterStackLock(&slot->event)) {
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
        // Closed, not wiped: a poster that noted it signals it after giving up
        // the stackLock, possibly after this.
        plat::eventClose(&slot->event);
        slot->code = 0;
        slot->posted = 0;
        slot->index = kFree;
    }
    giveStackLock();
}

void globalShutdown() {
    stopTimerService();
    stopPortThreads();
}

}  // namespace ups
