// Locks and threads on POSIX threads; auto-reset events on a futex.
#include <errno.h>
#include <linux/futex.h>
#include <pthread.h>
#include <sched.h>
#include <string.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "../platform.h"

namespace ups {
namespace plat {

static_assert(sizeof(pthread_mutex_t) <= sizeof(Lock::storage), "lock storage");
static_assert(sizeof(pthread_t) <= sizeof(Thread::id), "thread id storage");

static pthread_mutex_t* mutexOf(Lock* lock) {
    return reinterpret_cast<pthread_mutex_t*>(lock->storage);
}
void lockCreate(Lock* lock) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(mutexOf(lock), &attr);
    pthread_mutexattr_destroy(&attr);
    lock->valid = 1;
}

void lockDestroy(Lock* lock) {
    if (lock->valid == 0) return;
    pthread_mutex_destroy(mutexOf(lock));
    lock->valid = 0;
}

void lockTake(Lock* lock) {
    pthread_mutex_lock(mutexOf(lock));
}
void lockGive(Lock* lock) {
    pthread_mutex_unlock(mutexOf(lock));
}

// Events are a flag and a futex word: a signal that meets no waiter costs no
// system call, and one that meets a waiter costs one wake.
static long futexCall(uint32_t* word, int op, uint32_t value, const struct timespec* deadline) {
    return syscall(SYS_futex, word, op, value, deadline, nullptr, FUTEX_BITSET_MATCH_ANY);
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
    // it sleeps (the futex compares the word), so no wake-up is lost.
    if (__atomic_load_n(&event->waiters, __ATOMIC_SEQ_CST) != 0) {
        futexCall(&event->signalled, FUTEX_WAKE_PRIVATE, 1, nullptr);
    }
    return true;
}

bool eventWait(Event* event, uint32_t timeoutMs) {
    if (__atomic_load_n(&event->valid, __ATOMIC_SEQ_CST) == 0) return false;
    // A look without waiting needs no system call.
    if (timeoutMs == 0) return __atomic_exchange_n(&event->signalled, 0, __ATOMIC_SEQ_CST) != 0;
    struct timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += timeoutMs / 1000;
    deadline.tv_nsec += (long)(timeoutMs % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    for (;;) {
        if (__atomic_exchange_n(&event->signalled, 0, __ATOMIC_SEQ_CST) != 0) return true;
        __atomic_add_fetch(&event->waiters, 1, __ATOMIC_SEQ_CST);
        // Sleeps only while the flag is still clear; the deadline is absolute
        // on CLOCK_MONOTONIC.
        long rc = futexCall(&event->signalled, FUTEX_WAIT_BITSET_PRIVATE, 0,
                            timeoutMs == kWaitForever ? nullptr : &deadline);
        int error = rc == 0 ? 0 : errno;
        __atomic_sub_fetch(&event->waiters, 1, __ATOMIC_SEQ_CST);
        if (error == ETIMEDOUT) {
            return __atomic_exchange_n(&event->signalled, 0, __ATOMIC_SEQ_CST) != 0;
        }
    }
}

bool threadStart(Thread* thread, ThreadMain main, void* arg, size_t stackBytes) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    // Sanitizer builds need far more stack than the library itself.
    size_t stack = stackBytes < 256 * 1024 ? 256 * 1024 : stackBytes;
    pthread_attr_setstacksize(&attr, stack);
    pthread_t id;
    int rc = pthread_create(&id, &attr, main, arg);
    pthread_attr_destroy(&attr);
    if (rc != 0) return false;
    thread->id = (unsigned long)id;
    thread->valid = 1;
    return true;
}

bool threadJoin(Thread* thread, uint32_t timeoutMs) {
    if (thread->valid == 0) return true;
    if (timeoutMs == kWaitForever) {
        if (pthread_join((pthread_t)thread->id, nullptr) != 0) return false;
        thread->valid = 0;
        thread->id = 0;
        return true;
    }
    struct timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += timeoutMs / 1000;
    deadline.tv_nsec += (long)(timeoutMs % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    int rc = pthread_timedjoin_np((pthread_t)thread->id, nullptr, &deadline);
    if (rc != 0) return false;
    thread->valid = 0;
    thread->id = 0;
    return true;
}

bool threadIsCurrent(const Thread* thread) {
    return thread->valid != 0 && pthread_equal((pthread_t)thread->id, pthread_self()) != 0;
}

void raiseThreadPriority() {
    // Real-time scheduling needs privileges; without them the thread simply
    // keeps its normal priority.
    struct sched_param param;
    memset(&param, 0, sizeof param);
    param.sched_priority = sched_get_priority_min(SCHED_FIFO) + 1;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

}  // namespace plat
}  // namespace ups
