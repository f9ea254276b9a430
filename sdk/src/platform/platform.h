// The narrow platform layer the library logic stands on: locks, auto-reset
// events, threads, the millisecond tick, the 10 ms periodic wake-up and the
// serial device. Linux implements it in platform/linux, Windows in
// platform/win32; nothing above this header includes a system header of its own.
// On Windows the int file and PeriodicTimer::fd hold kernel handles and
// Thread::id a thread handle: handles carry 32 significant bits (they are
// sign-extended between 32-bit and 64-bit processes).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "QXUPSSDK.h"

namespace ups {
namespace plat {

const uint32_t kWaitForever = 0xFFFFFFFFu;

// Re-entrant mutex.
struct Lock {
    alignas(8) unsigned char storage[64];
    uint32_t valid;
};
void lockCreate(Lock* lock);
void lockDestroy(Lock* lock);
void lockTake(Lock* lock);
void lockGive(Lock* lock);

// Auto-reset event: a signal wakes one wait and is consumed by it. It holds no
// system resource, so signalling an event that was closed meanwhile is
// harmless (it is refused). Its words are touched atomically by these
// functions only: a signal may run concurrently with the close, so the owner
// closes an event but never wipes or copies it. A signal that was under way
// when the event was closed and created again wakes its new waiter once for
// nothing; every waiter looks at its own state after a wake-up anyway.
struct Event {
    uint32_t signalled;
    uint32_t waiters;
    uint32_t valid;
};
bool eventCreate(Event* event);
void eventClose(Event* event);
bool eventSignal(Event* event);
// true when signalled within timeoutMs (kWaitForever: no limit).
bool eventWait(Event* event, uint32_t timeoutMs);

// Thread with a best-effort time-critical priority.
struct Thread {
    unsigned long id;
    uint32_t valid;
};
typedef void* (*ThreadMain)(void* arg);
bool threadStart(Thread* thread, ThreadMain main, void* arg, size_t stackBytes);
// Waits up to timeoutMs (kWaitForever: until it ends) for the thread to end;
// true when it ended, and the handle is then forgotten.
bool threadJoin(Thread* thread, uint32_t timeoutMs);
void raiseThreadPriority();
// Whether the calling thread is this one.
bool threadIsCurrent(const Thread* thread);

// Milliseconds since an arbitrary start, wrapping at 32 bits.
uint32_t tickMs();
// Shifts the tick so that tests can reach the 32-bit wrap.
void setTickOffset(uint32_t offsetMs);
void sleepMs(uint32_t ms);
// Microseconds since an arbitrary start (not shifted), for short pauses.
uint64_t monotonicUs();
void sleepUs(uint32_t us);

// Sets an environment variable of the process unless it is set (even empty).
bool envSetDefault(const char* name, const char* value);

// Timer period that the periodic wake-up asks for: the system's minimum period,
// at least 5 ms, at most the maximum period.
uint32_t timerResolution(uint32_t minPeriodMs, uint32_t maxPeriodMs);
// The system's timer periods: minimum from the clock's resolution.
bool timerCaps(uint32_t* minPeriodMs, uint32_t* maxPeriodMs);

// Periodic wake-up of one thread. It starts disarmed: a wait then sleeps
// until the timer is armed and its first period has elapsed.
struct PeriodicTimer {
    int fd;
};
bool periodicStart(PeriodicTimer* timer);
// Wakes the waiting thread every periodMs from now on.
bool periodicArm(PeriodicTimer* timer, uint32_t periodMs);
// No more periods: a wait sleeps until the timer is armed again.
bool periodicDisarm(PeriodicTimer* timer);
// Wakes the waiting thread once, at once (to let it see that it must end).
bool periodicWakeNow(PeriodicTimer* timer);
// Blocks until the next period has elapsed (or the wake-up above).
bool periodicWait(PeriodicTimer* timer);
void periodicStop(PeriodicTimer* timer);

// Serial device.
const int kNoFile = -1;
enum Parity : int32_t { ParityOdd = 0, ParityEven = 1, ParityNone = 2 };
// Opens port number n for exclusive read and write; PortError when it cannot.
ResultCode serialOpen(uint8_t portNumber, int* file);
// Raw line settings; InvalidArgument for unsupported values, PortError when refused.
ResultCode serialConfigure(int file, uint32_t baud, uint32_t dataBits, int32_t parity,
                           uint32_t stopBits);
// Waits up to timeoutMs for input, then takes in one read whatever is waiting,
// up to capacity: bytes read, 0 when nothing came within timeoutMs, -1 failure.
int serialRead(int file, uint8_t* buf, size_t capacity, uint32_t timeoutMs);
// Writes as much of buf as goes out within timeoutMs; -1 on failure, else bytes written.
int serialWrite(int file, const uint8_t* buf, size_t count, uint32_t timeoutMs);
// Bytes waiting in the input or the output queue; false when the query fails.
bool serialInputQueue(int file, uint32_t* count);
bool serialOutputQueue(int file, uint32_t* count);
// Reads up to count waiting bytes without blocking; bytes read or -1.
int serialReadAvailable(int file, uint8_t* buf, size_t count);
void serialClose(int file);

}  // namespace plat
}  // namespace ups
