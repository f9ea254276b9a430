// Timer service, completion slots and the timer resolution rule.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "process_threads.h"
#include "services.h"

using namespace ups;
using testing_support::threadCount;

namespace {

typedef std::chrono::steady_clock Clock;

std::atomic<int> g_fired{0};
std::atomic<int64_t> g_firedAtMs{0};

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
}

int recordExpiry(MasterInstance*) {
    g_firedAtMs = nowMs();
    ++g_fired;
    return 1;
}

// Keeps the timer thread away for longer than a stop used to wait for it, as
// a loaded machine can; the stackLock is free meanwhile.
std::atomic<int> g_slowState{0};  // 1 while away, 2 when back
int slowExpiry(MasterInstance*) {
    g_slowState = 1;
    giveStackLock();
    std::this_thread::sleep_for(std::chrono::milliseconds(5500));
    takeStackLock();
    g_slowState = 2;
    return 1;
}

// Waits until the timer callback has run or the limit has passed; true when it ran.
bool waitForExpiry(int limitMs) {
    int64_t end = nowMs() + limitMs;
    while (g_fired == 0 && nowMs() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return g_fired != 0;
}

// A thread that has been joined may linger in /proc for a moment.
int threadCountSettled(int expected) {
    int count = threadCount();
    for (int i = 0; i < 100 && count != expected; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        count = threadCount();
    }
    return count;
}

class TimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_fired = 0;
        ASSERT_TRUE(startTimerService());
    }
    void TearDown() override {
        plat::setTickOffset(0);
        globalShutdown();
        EXPECT_FALSE(timerServiceRunning());
    }

    // Takes a slot with the recording callback and arms it.
    TimerSlot* arm(uint16_t timeoutMs) {
        TimerSlot* slot = takeTimerSlot(timeoutMs, recordExpiry, nullptr);
        EXPECT_NE(slot, nullptr);
        if (slot != nullptr) {
            EXPECT_EQ(startTimer(slot), Success);
        }
        return slot;
    }
};

TEST_F(TimerTest, ZeroTimeoutFiresOnNextTick) {
    int64_t armedAt = nowMs();
    TimerSlot* slot = arm(0);
    ASSERT_TRUE(waitForExpiry(200));
    EXPECT_LT(g_firedAtMs - armedAt, 200);
    // Fired once and disarmed.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(g_fired, 1);
    EXPECT_EQ(slot->armed, 0u);
    freeTimerSlot(slot);
}

TEST_F(TimerTest, StoppedTimerDoesNotFire) {
    TimerSlot* slot = arm(50);
    EXPECT_EQ(stopTimer(slot), Success);
    EXPECT_FALSE(waitForExpiry(300));
    freeTimerSlot(slot);
}

TEST_F(TimerTest, TimerArmedJustBeforeTickWrapWaitsItsTimeout) {
    // Put the tick 20 ms below the 32-bit wrap: the 300 ms time-out spans it.
    plat::setTickOffset(0);
    plat::setTickOffset(0xFFFFFFFFu - 20u - plat::tickMs());
    ASSERT_GT(plat::tickMs(), 0xFFFFFFFFu - 100u);

    int64_t armedAt = nowMs();
    TimerSlot* slot = arm(300);
    EXPECT_FALSE(waitForExpiry(150)) << "fired at once across the wrap";
    ASSERT_TRUE(waitForExpiry(3000));
    EXPECT_GE(g_firedAtMs - armedAt, 250);
    EXPECT_LT(plat::tickMs(), 100000u);  // the tick really wrapped meanwhile
    freeTimerSlot(slot);
}

TEST(TimerResolution, SystemMinimumAtLeastFiveCappedByMaximum) {
    EXPECT_EQ(plat::timerResolution(1, 1000000), 5u);
    EXPECT_EQ(plat::timerResolution(16, 1000000), 16u);
    EXPECT_EQ(plat::timerResolution(3, 4), 4u);
    EXPECT_EQ(plat::timerResolution(5, 5), 5u);
}

// ---- Completion slots ----

TEST(CompletionSlot, LaterPostReplacesUntakenCode) {
    EventSlot* slot = takeEventSlot();
    ASSERT_NE(slot, nullptr);
    uint8_t code = 0;
    EXPECT_FALSE(takeCompletion(slot, &code));
    EXPECT_EQ(postCompletion(slot, 3), Success);
    EXPECT_EQ(postCompletion(slot, 2), Success);
    EXPECT_TRUE(plat::eventWait(&slot->event, 1000));
    EXPECT_TRUE(takeCompletion(slot, &code));
    EXPECT_EQ(code, 2);
    EXPECT_FALSE(takeCompletion(slot, &code));  // taken once only
    // Auto-reset: the two posts left one signal, and the wait consumed it.
    EXPECT_FALSE(plat::eventWait(&slot->event, 50));
    freeEventSlot(slot);
}

TEST(CompletionSlot, PostWakesWaiterInAnotherThread) {
    EventSlot* slot = takeEventSlot();
    ASSERT_NE(slot, nullptr);
    std::thread poster([slot] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(postCompletion(slot, 5), Success);
    });
    EXPECT_TRUE(plat::eventWait(&slot->event, 3000));
    uint8_t code = 0;
    EXPECT_TRUE(takeCompletion(slot, &code));
    EXPECT_EQ(code, 5);
    poster.join();
    freeEventSlot(slot);
}

// ---- Service start and stop ----

TEST(TimerService, StopEndsThreadAndRestartMakesAWorkingOne) {
    // Any thread a sanitizer runtime adds at the first thread start exists
    // before counting begins.
    std::thread([] {}).join();
    globalShutdown();
    const int idle = threadCount();

    ASSERT_TRUE(startTimerService());
    EXPECT_EQ(threadCountSettled(idle + 1), idle + 1);
    EXPECT_NE(timerServiceResolution(), 0u);

    globalShutdown();
    EXPECT_FALSE(timerServiceRunning());
    EXPECT_EQ(threadCountSettled(idle), idle);

    ASSERT_TRUE(startTimerService());
    EXPECT_EQ(threadCountSettled(idle + 1), idle + 1);
    g_fired = 0;
    TimerSlot* slot = takeTimerSlot(0, recordExpiry, nullptr);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(startTimer(slot), Success);
    EXPECT_TRUE(waitForExpiry(1000));

    globalShutdown();
    EXPECT_EQ(threadCountSettled(idle), idle);
    // Stopping frees every slot: the old reference is no longer a pool entry.
    EXPECT_EQ(startTimer(slot), InvalidArgument);

    // However late the thread comes back, the stop returns only after it.
    g_slowState = 0;
    ASSERT_TRUE(startTimerService());
    TimerSlot* slow = takeTimerSlot(0, slowExpiry, nullptr);
    ASSERT_NE(slow, nullptr);
    EXPECT_EQ(startTimer(slow), Success);
    int64_t end = nowMs() + 5000;
    while (g_slowState == 0 && nowMs() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(g_slowState, 1);
    globalShutdown();
    EXPECT_EQ(g_slowState, 2) << "the stop returned while the timer thread still ran";
    EXPECT_EQ(threadCountSettled(idle), idle);
}

}  // namespace
