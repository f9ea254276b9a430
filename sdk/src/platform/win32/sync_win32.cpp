// Locks on critical sections, threads on the Windows thread API, and auto-reset
// events on WaitOnAddress: a flag that costs no system call when nobody waits,
// like the futex of the Linux backend, and holds no handle that a late signal
// could find closed and reused.
#include <windows.h>

#include "../platform.h"

namespace ups {
namespace plat {

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(Lock::storage), "lock storage");

// Kernel handles carry 32 significant bits (they are sign-extended between
// 32-bit and 64-bit processes), so a thread handle fits Thread::id.
static HANDLE threadHandleOf(const Thread* thread) {
    return ULongToHandle(thread->id);
}

static CRITICAL_SECTION* sectionOf(Lock* lock) {
    return reinterpret_cast<CRITICAL_SECTION*>(lock->storage);
}

void lockCreate(Lock* lock) {
    InitializeCriticalSection(sectionOf(lock));
    lock->valid = 1;
}

void lockDestroy(Lock* lock) {
    if (lock->valid == 0) return;
    DeleteCriticalSection(sectionOf(lock));
    lock->valid = 0;
}

void lockTake(Lock* lock) {
    EnterCriticalSection(sectionOf(lock));
}
void lockGive(Lock* lock) {
    LeaveCriticalSection(sectionOf(lock));
}

bool eventCreate(Event* event) {
    __atomic_store_n(&event->signalled, 0, __ATOMIC_SEQ_CST);
    __atomic_store_n(&event->waiters, 0, __ATOMIC_SEQ_CST);
    __atomic_store_n(&event->valid, 1, __ATOMIC_SEQ_CST);
    return true;
}

void eventClose(Event* event) {
    __atomic_store_n(&event->valid, 0, __ATOMIC_SEQ_CST);
    __atomic_store_n(&event->signalled, 0, __ATOMIC_SEQ_CST);
}

bool eventSignal(Event* event) {
    if (__atomic_load_n(&event->valid, __ATOMIC_SEQ_CST) == 0) return false;
    __atomic_store_n(&event->signalled, 1, __ATOMIC_SEQ_CST);
    // A waiter that counted itself after this check finds the flag set before
    // it sleeps (WaitOnAddress compares the word), so no wake-up is lost.
    if (__atomic_load_n(&event->waiters, __ATOMIC_SEQ_CST) != 0) {
        WakeByAddressSingle(&event->signalled);
    }
    return true;
}

bool eventWait(Event* event, uint32_t timeoutMs) {
    if (__atomic_load_n(&event->valid, __ATOMIC_SEQ_CST) == 0) return false;
    if (timeoutMs == 0) return __atomic_exchange_n(&event->signalled, 0, __ATOMIC_SEQ_CST) != 0;
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        if (__atomic_exchange_n(&event->signalled, 0, __ATOMIC_SEQ_CST) != 0) return true;
        DWORD wait = INFINITE;
        if (timeoutMs != kWaitForever) {
            ULONGLONG spent = GetTickCount64() - start;
            if (spent >= timeoutMs) return false;
            wait = (DWORD)(timeoutMs - spent);
        }
        __atomic_add_fetch(&event->waiters, 1, __ATOMIC_SEQ_CST);
        uint32_t clear = 0;
        // Sleeps only while the flag is still clear; wakes may be spurious.
        WaitOnAddress(&event->signalled, &clear, sizeof clear, wait);
        __atomic_sub_fetch(&event->waiters, 1, __ATOMIC_SEQ_CST);
    }
}

namespace {
struct StartRecord {
    ThreadMain main;
    void* arg;
};
// Hand-over from threadStart to the new thread without the heap: the starter
// waits until the thread has taken its record.
StartRecord g_start;
volatile LONG g_startTaken = 0;
SRWLOCK g_startLock = SRWLOCK_INIT;

DWORD WINAPI threadTrampoline(LPVOID) {
    StartRecord record = g_start;
    InterlockedExchange(&g_startTaken, 1);
    WakeByAddressAll((PVOID)&g_startTaken);
    record.main(record.arg);
    return 0;
}
}  // namespace

bool threadStart(Thread* thread, ThreadMain main, void* arg, size_t stackBytes) {
    size_t stack = stackBytes < 256 * 1024 ? 256 * 1024 : stackBytes;
    AcquireSRWLockExclusive(&g_startLock);
    g_start.main = main;
    g_start.arg = arg;
    InterlockedExchange(&g_startTaken, 0);
    HANDLE handle = CreateThread(nullptr, stack, threadTrampoline, nullptr,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (handle != nullptr) {
        LONG notYet = 0;
        while (InterlockedCompareExchange(&g_startTaken, 0, 0) == 0) {
            WaitOnAddress((PVOID)&g_startTaken, &notYet, sizeof notYet, 100);
        }
    }
    ReleaseSRWLockExclusive(&g_startLock);
    if (handle == nullptr) return false;
    thread->id = HandleToULong(handle);
    thread->valid = 1;
    return true;
}

bool threadJoin(Thread* thread, uint32_t timeoutMs) {
    if (thread->valid == 0) return true;
    DWORD wait = timeoutMs == kWaitForever ? INFINITE : timeoutMs;
    if (WaitForSingleObject(threadHandleOf(thread), wait) != WAIT_OBJECT_0) return false;
    CloseHandle(threadHandleOf(thread));
    thread->valid = 0;
    thread->id = 0;
    return true;
}

bool threadIsCurrent(const Thread* thread) {
    return thread->valid != 0 && GetThreadId(threadHandleOf(thread)) == GetCurrentThreadId();
}

void raiseThreadPriority() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
}

bool envSetDefault(const char* name, const char* value) {
    if (getenv(name) != nullptr) return true;
    return _putenv_s(name, value) == 0;
}

}  // namespace plat
}  // namespace ups
