// Shared services of the library: the two library-wide locks, the software
// timer service (16 timer slots served every 10 ms by one timer thread), the
// completion slots, and the global shutdown with the last open device.
#pragma once

#include <stdint.h>

#include "platform/platform.h"

namespace ups {

const uint8_t kFree = 255;
const uint32_t kTimerPeriodMs = 10;
const int kTimerSlotCount = 16;
const int kEventSlotCount = 8;

struct MasterInstance;

typedef int (*TimerCallback)(MasterInstance* user);

struct TimerSlot {
    uint8_t index;  // 255 = free
    uint16_t timeoutMs;
    uint32_t startTick;
    uint32_t armed;
    MasterInstance* user;
    TimerCallback callback;
    // 1 while the user's caller watches the expiry itself (it does its port's
    // work and gives it back when a slot falls due): the tick does not run
    // for this slot alone.
    uint32_t watched;
};

struct EventSlot {
    uint8_t index;  // 255 = free
    plat::Event event;
    uint8_t code;
    uint32_t posted;
};

// Lock order: a master instance's request lock, then openCloseLock, then the
// stackLock. Nothing waits (sleep, poll, join, event) while holding the
// stackLock, and nothing waits for a request while holding openCloseLock.
//
// Guards UPS_DeviceOpen's setup and UPS_DeviceClose, including service start and stop.
extern plat::Lock openCloseLock;
// Guards every pool, the timer service's running flag and every callback.
extern plat::Lock stackLock;

// RAII-free helpers keep call sites short and symmetric. The outermost
// giveStackLock signals the events noted by signalAfterStackLock, after the
// lock is released: a woken thread then never blocks at once on the lock that
// its waker still holds.
void takeStackLock();
void giveStackLock();
// Under the stackLock: notes the event to be signalled when the lock is given
// up; false (nothing noted) when the event is closed.
bool signalAfterStackLock(plat::Event* event);

// Creates the locks and sets the environment defaults (run when the library loads).
void libraryLoad();
void libraryUnload();

// Starts the timer service unless it runs; returns whether it runs.
bool startTimerService();
bool timerServiceRunning();
// Clears the running flag and waits for the timer thread; frees every timer slot.
void stopTimerService();
// Timer period requested at start (0 when the service is stopped).
uint32_t timerServiceResolution();

// Takes the lowest free timer slot (not armed); nullptr when none is free.
TimerSlot* takeTimerSlot(uint16_t timeoutMs, TimerCallback callback, MasterInstance* user);
ResultCode startTimer(TimerSlot* slot);
ResultCode stopTimer(TimerSlot* slot);
ResultCode setTimerTimeout(TimerSlot* slot, uint16_t timeoutMs);
// Marks the timer slots of a user watched or not (see TimerSlot::watched);
// ending the watch starts the tick for the slots still armed.
void watchTimers(MasterInstance* user, bool watched);
// Milliseconds until the first armed slot of a user falls due; 0 when one is
// due, kWaitForever when none is armed.
uint32_t nextTimerDueMs(MasterInstance* user);
void freeTimerSlot(TimerSlot* slot);
bool isTimerSlot(const TimerSlot* slot);

// Takes the lowest free event slot, creating its event; nullptr when none.
EventSlot* takeEventSlot();
// Signals the event, then stores the code (replacing one not yet taken).
ResultCode postCompletion(EventSlot* slot, uint8_t code);
// Takes the posted code under the stackLock; false when none was posted.
bool takeCompletion(EventSlot* slot, uint8_t* code);
void freeEventSlot(EventSlot* slot);
bool isEventSlot(const EventSlot* slot);

// Stops the timer service and every remaining port thread (no device is left open).
void globalShutdown();

}  // namespace ups
