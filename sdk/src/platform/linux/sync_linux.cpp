// Locks, auto-reset events and threads on POSIX threads.
#include <errno.h>
#include <pthread.h>
#include <sched.h>
#include <string.h>
#include <time.h>

#include "../platform.h"

namespace ups {
namespace plat {

static_assert(sizeof(pthread_mutex_t) <= sizeof(Lock::storage), "lock storage");
static_assert(sizeof(pthread_mutex_t) <= sizeof(Event::mutex), "event mutex storage");
static_assert(sizeof(pthread_cond_t) <= sizeof(Event::cond), "event cond storage");
static_assert(sizeof(pthread_t) <= sizeof(Thread::id), "thread id storage");

static pthread_mutex_t* mutexOf(Lock* lock) {
    return reinterpret_cast<pthread_mutex_t*>(lock->storage);
}
static pthread_mutex_t* mutexOf(Event* event) {
    return reinterpret_cast<pthread_mutex_t*>(event->mutex);
}
static pthread_cond_t* condOf(Event* event) {
    return reinterpret_cast<pthread_cond_t*>(event->cond);
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

bool eventCreate(Event* event) {
    memset(event, 0, sizeof *event);
    if (pthread_mutex_init(mutexOf(event), nullptr) != 0) return false;
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    int rc = pthread_cond_init(condOf(event), &attr);
    pthread_condattr_destroy(&attr);
    if (rc != 0) {
        pthread_mutex_destroy(mutexOf(event));
        return false;
    }
    event->valid = 1;
    return true;
}

void eventClose(Event* event) {
    if (event->valid == 0) return;
    pthread_cond_destroy(condOf(event));
    pthread_mutex_destroy(mutexOf(event));
    memset(event, 0, sizeof *event);
}

bool eventSignal(Event* event) {
    if (event->valid == 0) return false;
    pthread_mutex_lock(mutexOf(event));
    event->signalled = 1;
    pthread_cond_signal(condOf(event));
    pthread_mutex_unlock(mutexOf(event));
    return true;
}

bool eventWait(Event* event, uint32_t timeoutMs) {
    if (event->valid == 0) return false;
    struct timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += timeoutMs / 1000;
    deadline.tv_nsec += (long)(timeoutMs % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    pthread_mutex_lock(mutexOf(event));
    int rc = 0;
    while (event->signalled == 0 && rc != ETIMEDOUT) {
        if (timeoutMs == kWaitForever) {
            rc = pthread_cond_wait(condOf(event), mutexOf(event));
        } else {
            rc = pthread_cond_timedwait(condOf(event), mutexOf(event), &deadline);
        }
    }
    bool signalled = event->signalled != 0;
    event->signalled = 0;
    pthread_mutex_unlock(mutexOf(event));
    return signalled;
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

void threadAbandon(Thread* thread) {
    if (thread->valid == 0) return;
    pthread_detach((pthread_t)thread->id);
    thread->valid = 0;
    thread->id = 0;
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
